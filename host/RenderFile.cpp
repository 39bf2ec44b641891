#include "host/RenderFile.h"

#include "host/AURenderer.h"
#include "host/ParamAssignment.h"
#include "host/PresetFile.h"
#include "host/ProgressBar.h"
#include "host/WavFile.h"

#include <cerrno>
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

} // namespace

Status RenderFile(const RenderFileOptions& options, int progressFd) {
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

    // The channel count is refused from the header, before any sample is read.
    AudioFileShape shape;
    if (Status s = ProbeAudioFile(options.input, &shape); !s) return s;
    if (shape.channels > kMaxChannels)
        return Status::Fail("cannot render " + options.input + ": " +
                            std::to_string(shape.channels) +
                            " channels; the effect takes mono or stereo");
    PlanarAudio in;
    if (Status s = ReadAudioFile(options.input, &in, kMaxChannels); !s) return s;

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
    try {
        Status s = RenderAll(renderer, in, options.blockFrames, &out, [&](long done, long total) {
            if (showProgress) bar.Update(done, total);
        });
        if (!s) return s;
    } catch (const std::bad_alloc&) {
        return Status::Fail("cannot render " + options.input + ": not enough memory");
    }
    if (showProgress) bar.Finish();
    return WriteWav(options.output, out, format->subtype);
}
