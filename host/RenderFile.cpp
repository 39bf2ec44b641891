#include "host/RenderFile.h"

#include "host/AURenderer.h"
#include "host/AtomicFile.h"
#include "host/AudioFileReader.h"
#include "host/ParamAssignment.h"
#include "host/PresetFile.h"
#include "host/ProgressBar.h"
#include "host/WavFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The effect takes mono or stereo.
constexpr int kMaxChannels = 2;
// Files shorter than this render too quickly for a progress bar to be worth drawing.
constexpr double kProgressSeconds = 5.0;
// Frames read, rendered and written at a time (rounded to whole blocks): 512 KB a buffer in
// stereo, whatever the length of the file.
constexpr int kSpanFrames = 65536;

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

// Parameters, preset and bypass as the options give them. Names are checked before anything else
// is changed, so a typo costs nothing.
Status Configure(const RenderFileOptions& options, AURenderer* renderer) {
    std::vector<ParamAssignment> assignments;
    if (Status s = ResolveParams(options.params, renderer->Parameters(), &assignments); !s)
        return s;
    if (!options.preset.empty()) {
        CFPropertyListRef state = nullptr;
        if (Status s = ReadPresetFile(options.preset, renderer->Unit(), &state); !s) return s;
        CFOwner owner(state);
        if (Status s = RestorePreset(options.preset, renderer->Unit(), state); !s) return s;
    }
    if (options.bypass)
        if (Status s = renderer->SetBypass(true); !s) return s;
    if (options.hq)
        if (Status s = renderer->SetQuality(1); !s) return s;
    return ApplyParams(renderer->Unit(), assignments);
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
    AudioFileReader reader;
    if (Status s = reader.Open(options.input); !s) return s;
    const int nChannels = reader.NumChannels();
    const int rate = reader.SampleRate();
    if (nChannels > kMaxChannels)
        return Status::Fail("cannot render " + options.input + ": " + std::to_string(nChannels) +
                            " channels; the effect takes mono or stereo");
    std::vector<std::string> rateWarnings;
    if (rate > kCircuitMaxRate)
        rateWarnings.push_back(Printable(options.input) + " is at " + std::to_string(rate) +
                               " Hz; the circuit computes its coefficients at " +
                               std::to_string(kCircuitMaxRate) + " Hz");
    // A file cut short is named first, as it is found first when the file is read.
    const auto addWarnings = [&] {
        const std::string shortfall = reader.ShortfallWarning();
        if (!shortfall.empty()) summary->warnings.push_back(shortfall);
        summary->warnings.insert(summary->warnings.end(), rateWarnings.begin(), rateWarnings.end());
    };

    AURenderer renderer(options.component);
    if (Status s = renderer.Open(rate, nChannels, options.blockFrames); !s) {
        addWarnings();
        return s;
    }
    if (Status s = Configure(options, &renderer); !s) {
        addWarnings();
        return s;
    }

    // An interrupted render removes its temporary before the signal ends the program.
    InterruptDeferral interrupts;
    WavFileWriter writer;
    if (Status s = writer.Open(options.output, rate, nChannels, format->subtype); !s) {
        addWarnings();
        return s;
    }

    // The file goes through in spans of whole blocks, so the blocks fall where they would if it
    // were rendered in one piece.
    const int span = options.blockFrames * std::max(1, kSpanFrames / options.blockFrames);
    PlanarAudio in(rate, nChannels, span), out(rate, nChannels, span);
    std::vector<float*> ins(static_cast<size_t>(nChannels)), outs(static_cast<size_t>(nChannels));
    for (int c = 0; c < nChannels; ++c) {
        ins[c] = in.channels[c].data();
        outs[c] = out.channels[c].data();
    }
    const long long expected = reader.ExpectedFrames();
    ProgressBar bar(progressFd, "rendering " + Printable(options.input));
    const bool showProgress =
        progressFd >= 0 && bar.Enabled() && expected > kProgressSeconds * rate;
    std::function<void(int)> afterBlock;
    long long done = 0;
    if (showProgress)
        afterBlock = [&](int inSpan) {
            bar.Update(static_cast<long>(done + inSpan), static_cast<long>(expected));
        };

    Status result = Status::Ok();
    for (int frames = span; result && frames == span;) {
        if (interrupts.Interrupted()) {
            writer.Abandon();
            interrupts.Resume();
            result = Status::Fail("interrupted");
            break;
        }
        result = reader.Read(ins.data(), span, &frames);
        if (!result || frames == 0) break;
        const double start = ThreadCpuSeconds();
        result = RenderBlocks(renderer, ins.data(), outs.data(), nChannels, frames,
                              options.blockFrames, afterBlock);
        summary->renderCpuSeconds += ThreadCpuSeconds() - start;
        if (result) result = writer.Write(outs.data(), frames);
        done += frames;
    }
    addWarnings();
    if (!result) return result;
    if (Status s = writer.Commit(); !s) return s;
    if (showProgress) bar.Finish();
    summary->frames = reader.FramesRead();
    summary->sampleRate = rate;
    summary->channels = nChannels;
    summary->blocks = (summary->frames + options.blockFrames - 1) / options.blockFrames;
    return Status::Ok();
}
