#include "host/RenderFile.h"

#include "host/AURenderer.h"
#include "host/ParamAssignment.h"
#include "host/PresetFile.h"
#include "host/ProgressBar.h"
#include "host/WavFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The effect takes mono or stereo.
constexpr int kMaxChannels = 2;
// Files shorter than this render too quickly for a progress bar to be worth drawing.
constexpr double kProgressSeconds = 5.0;

// Catches an output that cannot be written before the render rather than after it; the write
// itself still decides.
Status CheckOutputPath(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Status::Fail("cannot write " + path + ": it is a folder");
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    if (stat(folder.c_str(), &info) != 0)
        return Status::Fail("cannot write " + path + ": " + std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) return Status::Fail("cannot write " + path + ": Not a directory");
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return Status::Fail("cannot write " + path + ": " + std::strerror(errno));
    return Status::Ok();
}

// The same file under any spelling (a link, a relative path): same device and inode.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string Decimal(double value, const char* format) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

std::string SummaryLine(const RenderFileOptions& options, const RenderSummary& summary) {
    const double seconds =
        summary.sampleRate > 0 ? static_cast<double>(summary.frames) / summary.sampleRate : 0.0;
    const std::string channels = summary.channels == 1 ? "mono"
                                 : summary.channels == 2
                                     ? "stereo"
                                     : std::to_string(summary.channels) + " channels";
    std::string speed = "too short to time";
    if (summary.renderCpuSeconds > 0.0)
        speed = Decimal(seconds / summary.renderCpuSeconds, "%.0f") + "x real time";
    return Printable(options.input) + " -> " + Printable(options.output) + ": " +
           Decimal(seconds, "%.3g") + " s of " + std::to_string(summary.sampleRate) + " Hz " +
           channels + " in " + std::to_string(summary.blocks) + " blocks, render loop " + speed;
}

Status RenderFile(const RenderFileOptions& options, int progressFd, RenderSummary* summary) {
    const WavSampleFormat* format = FindWavSampleFormat(options.format);
    if (!format) {
        std::string names;
        for (const WavSampleFormat& f : WavSampleFormats())
            names += (names.empty() ? "" : ", ") + std::string(f.name);
        return Status::Fail("unknown --format " + Printable(options.format) + " (one of " + names +
                            ")");
    }
    if (options.blockFrames < 1 || options.blockFrames > kMaxRenderBlock)
        return Status::Fail("--block " + std::to_string(options.blockFrames) + ": takes 1 .. " +
                            std::to_string(kMaxRenderBlock) + " frames");
    if (Status s = CheckOutputPath(options.output); !s) return s;
    if (SameFile(options.input, options.output))
        return Status::Fail("cannot write " + Printable(options.output) +
                            ": it is the input file " + Printable(options.input));

    // The channel count is refused from the header, before any sample is read.
    AudioFileShape shape;
    if (Status s = ProbeAudioFile(options.input, &shape); !s) return s;
    if (shape.channels > kMaxChannels)
        return Status::Fail("cannot render " + options.input + ": " +
                            std::to_string(shape.channels) +
                            " channels; the effect takes mono or stereo");
    PlanarAudio in;
    if (Status s = ReadAudioFile(options.input, &in, kMaxChannels, &summary->warnings); !s)
        return s;
    if (in.sampleRate > kCircuitMaxRate)
        summary->warnings.push_back(Printable(options.input) + " is at " +
                                    std::to_string(in.sampleRate) +
                                    " Hz; the circuit computes its coefficients at " +
                                    std::to_string(kCircuitMaxRate) + " Hz");

    AURenderer renderer(options.component);
    if (Status s = renderer.Open(in.sampleRate, in.NumChannels(), options.blockFrames); !s)
        return s;
    // Names are checked before anything else is changed, so a typo costs nothing.
    std::vector<ParamAssignment> assignments;
    if (Status s = ResolveParams(options.params, renderer.Parameters(), &assignments); !s) return s;
    if (!options.preset.empty()) {
        CFPropertyListRef state = nullptr;
        if (Status s = ReadPresetFile(options.preset, renderer.Unit(), &state); !s) return s;
        CFOwner owner(state);
        if (Status s = RestorePreset(options.preset, renderer.Unit(), state); !s) return s;
    }
    if (options.bypass)
        if (Status s = renderer.SetBypass(true); !s) return s;
    if (Status s = ApplyParams(renderer.Unit(), assignments); !s) return s;

    ProgressBar bar(progressFd, "rendering " + Printable(options.input));
    const bool showProgress =
        progressFd >= 0 && bar.Enabled() && in.NumFrames() > kProgressSeconds * in.sampleRate;
    PlanarAudio out;
    RenderProgress progress;
    if (showProgress) progress = [&bar](long done, long total) { bar.Update(done, total); };
    try {
        Status s = RenderAll(renderer, in, options.blockFrames, &out, progress,
                             &summary->renderCpuSeconds);
        if (!s) return s;
    } catch (const std::bad_alloc&) {
        return Status::Fail("cannot render " + options.input + ": not enough memory");
    }
    if (showProgress) bar.Finish();
    summary->frames = in.NumFrames();
    summary->sampleRate = in.sampleRate;
    summary->channels = in.NumChannels();
    summary->blocks = (in.NumFrames() + options.blockFrames - 1) / options.blockFrames;
    return WriteWav(options.output, out, format->subtype);
}
