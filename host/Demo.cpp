#include "host/Demo.h"

#include "effect/ZerubSounds.h"

#include "host/AudioStats.h"
#include "host/DemoSignal.h"
#include "host/WavFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

const DemoSetting kDemoSettings[3] = {
    {kZerubSounds[0].demoFile, kZerubSounds[0].gain, kZerubSounds[0].level},
    {kZerubSounds[1].demoFile, kZerubSounds[1].gain, kZerubSounds[1].level},
    {kZerubSounds[2].demoFile, kZerubSounds[2].gain, kZerubSounds[2].level},
};

namespace {

// The effect's parameter IDs, as its host interface numbers them.
constexpr int kGainParam = 0;
constexpr int kLevelParam = 1;

// One line per file; paths are padded to width so that the figures line up.
void Summarise(std::ostream& report, const std::string& path, int width, const AudioLevels& levels,
               const AudioLevels& input, const std::string& setting) {
    char figures[128];
    std::snprintf(figures, sizeof figures, "peak %7.2f dBFS  RMS %7.2f dBFS  out/in %+6.2f dB",
                  levels.PeakDb(), levels.RmsDb(), levels.RmsDb() - input.RmsDb());
    report << path << std::string(width - std::min<int>(width, path.size()) + 2, ' ') << figures
           << "  " << setting << '\n';
}

std::string DescribeSetting(const DemoSetting& s) {
    char text[64];
    std::snprintf(text, sizeof text, "Gain %.2f, Level %.2f", s.gain, s.level);
    return text;
}

Status RenderSetting(const DemoSetting& setting, const PlanarAudio& dry,
                     const RendererFactory& makeRenderer, PlanarAudio* wet) {
    std::unique_ptr<Renderer> renderer = makeRenderer();
    if (!renderer) return Status::Fail("cannot create the effect");
    Status s = renderer->Open(dry.sampleRate, dry.NumChannels(), kDemoBlockFrames);
    if (s) s = renderer->SetParam(kGainParam, setting.gain);
    if (s) s = renderer->SetParam(kLevelParam, setting.level);
    if (s) s = RenderAll(*renderer, dry, kDemoBlockFrames, wet);
    return s;
}

} // namespace

Status RunDemo(const std::string& outDir, const RendererFactory& makeRenderer,
               std::ostream& report) {
    std::error_code error;
    fs::create_directories(outDir, error);
    if (error) return Status::Fail("cannot create folder " + outDir + ": " + error.message());
    if (!fs::is_directory(outDir, error))
        return Status::Fail("cannot create folder " + outDir + ": not a folder");

    const PlanarAudio dry = MakeDemoRiff();
    const AudioLevels dryLevels = MeasureLevels(dry);

    const std::string dryPath = (fs::path(outDir) / kDemoDryFile).string();
    int width = static_cast<int>(dryPath.size());
    for (const DemoSetting& setting : kDemoSettings)
        width =
            std::max(width, static_cast<int>((fs::path(outDir) / setting.file).string().size()));

    if (Status s = WriteWavFloat(dryPath, dry); !s) return s;
    Summarise(report, dryPath, width, dryLevels, dryLevels, "dry input");

    for (const DemoSetting& setting : kDemoSettings) {
        PlanarAudio wet;
        if (Status s = RenderSetting(setting, dry, makeRenderer, &wet); !s) return s;
        const std::string path = (fs::path(outDir) / setting.file).string();
        if (Status s = WriteWavFloat(path, wet); !s) return s;
        Summarise(report, path, width, MeasureLevels(wet), dryLevels, DescribeSetting(setting));
    }
    return Status::Ok();
}
