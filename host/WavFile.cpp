#include "host/WavFile.h"

#include "host/AtomicFile.h"

#include <sndfile.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kChunkFrames = 4096;

std::string ErrnoText() {
    return std::strerror(errno);
}

Status CheckShape(const std::string& path, const PlanarAudio& audio) {
    if (audio.sampleRate <= 0)
        return Status::Fail("cannot write " + path + ": sample rate " +
                            std::to_string(audio.sampleRate) + " Hz");
    if (audio.channels.empty()) return Status::Fail("cannot write " + path + ": no channels");
    for (const auto& ch : audio.channels)
        if (ch.size() != audio.channels[0].size())
            return Status::Fail("cannot write " + path + ": channels of different lengths");
    return Status::Ok();
}

// Interleaves and writes every frame to an open libsndfile handle.
Status WriteFrames(SNDFILE* file, const PlanarAudio& audio, const std::string& path) {
    const int nChannels = audio.NumChannels();
    const int nFrames = audio.NumFrames();
    std::vector<float> interleaved(static_cast<size_t>(kChunkFrames) * nChannels);
    for (int start = 0; start < nFrames; start += kChunkFrames) {
        const int frames = std::min(kChunkFrames, nFrames - start);
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < nChannels; ++c)
                interleaved[static_cast<size_t>(i) * nChannels + c] = audio.channels[c][start + i];
        if (sf_writef_float(file, interleaved.data(), frames) != frames)
            return Status::Fail("cannot write " + path + ": " + sf_strerror(file));
    }
    return Status::Ok();
}

} // namespace

const std::vector<WavSampleFormat>& WavSampleFormats() {
    static const std::vector<WavSampleFormat> formats = {
        {"float", SF_FORMAT_FLOAT, "32-bit float (default)"},
        {"double", SF_FORMAT_DOUBLE, "64-bit float"},
        {"pcm16", SF_FORMAT_PCM_16, "16-bit integer"},
        {"pcm24", SF_FORMAT_PCM_24, "24-bit integer"},
        {"pcm32", SF_FORMAT_PCM_32, "32-bit integer"},
        {"pcm8", SF_FORMAT_PCM_U8, "8-bit unsigned integer"},
    };
    return formats;
}

const WavSampleFormat* FindWavSampleFormat(const std::string& name) {
    for (const WavSampleFormat& format : WavSampleFormats())
        if (name == format.name) return &format;
    return nullptr;
}

Status WriteWavFloat(const std::string& path, const PlanarAudio& audio) {
    return WriteWav(path, audio, SF_FORMAT_FLOAT);
}

Status WriteWav(const std::string& path, const PlanarAudio& audio, int subtype) {
    if (Status shape = CheckShape(path, audio); !shape) return shape;

    SF_INFO info{};
    info.samplerate = audio.sampleRate;
    info.channels = audio.NumChannels();
    info.format = SF_FORMAT_WAV | subtype;
    if (!sf_format_check(&info))
        return Status::Fail("cannot write " + path + ": " + std::to_string(info.channels) +
                            " channels at " + std::to_string(info.samplerate) +
                            " Hz is not a valid WAV format");

    const std::string temp = TemporaryNameFor(path);
    // 0666 less the umask: the finished file gets the permissions any new file would.
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Status::Fail("cannot write " + path + ": " + ErrnoText());

    // The descriptor stays ours (SF_FALSE) so that it can be synced and its close checked.
    Status result = Status::Ok();
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        result = Status::Fail("cannot write " + path + ": " + sf_strerror(nullptr));
    } else {
        // Integer samples past full scale are clipped; without this libsndfile wraps them round.
        if (subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE)
            sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        result = WriteFrames(file, audio, path);
        // sf_close writes the final header sizes; its failure means a broken file.
        const int closeError = sf_close(file);
        if (result && closeError != 0)
            result = Status::Fail("cannot write " + path + ": " + sf_error_number(closeError));
    }
    if (result && fsync(fd) != 0)
        result = Status::Fail("cannot write " + path + ": " + ErrnoText());
    if (close(fd) != 0 && result)
        result = Status::Fail("cannot write " + path + ": " + ErrnoText());
    if (result && rename(temp.c_str(), path.c_str()) != 0)
        result = Status::Fail("cannot write " + path + ": " + ErrnoText());
    if (!result) unlink(temp.c_str());
    return result;
}

Status ProbeAudioFile(const std::string& path, AudioFileShape* shape) {
    if (access(path.c_str(), R_OK) != 0)
        return Status::Fail("cannot read " + path + ": " + ErrnoText());
    if (std::filesystem::is_directory(path))
        return Status::Fail("cannot read " + path + ": it is a folder");
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return Status::Fail("cannot read " + path + ": " + sf_strerror(nullptr));
    sf_close(file);
    shape->sampleRate = info.samplerate;
    shape->channels = info.channels;
    shape->frames = info.frames;
    return Status::Ok();
}

Status ReadAudioFile(const std::string& path, PlanarAudio* audio, int maxChannels) {
    SF_INFO info{};
    // The system's reason for a file that cannot be opened at all reads better than
    // libsndfile's wrapping of it.
    if (access(path.c_str(), R_OK) != 0)
        return Status::Fail("cannot read " + path + ": " + ErrnoText());
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return Status::Fail("cannot read " + path + ": " + sf_strerror(nullptr));

    Status result = Status::Ok();
    if (info.channels <= 0 || info.samplerate <= 0)
        result = Status::Fail("cannot read " + path + ": no channels or no sample rate");
    else if (info.channels > maxChannels)
        result = Status::Fail("cannot read " + path + ": " + std::to_string(info.channels) +
                              " channels (at most " + std::to_string(maxChannels) + ")");
    else if (info.frames < 0 || info.frames > INT_MAX)
        result = Status::Fail("cannot read " + path + ": too long (" +
                              std::to_string(static_cast<long long>(info.frames)) +
                              " frames; at most " + std::to_string(INT_MAX) + ")");

    if (result) {
        const int nChannels = info.channels;
        const int nFrames = static_cast<int>(info.frames);
        PlanarAudio read;
        std::vector<float> interleaved;
        try {
            read = PlanarAudio(info.samplerate, nChannels, nFrames);
            interleaved.resize(static_cast<size_t>(kChunkFrames) * nChannels);
        } catch (const std::bad_alloc&) {
            sf_close(file);
            return Status::Fail("cannot read " + path + ": not enough memory for " +
                                std::to_string(nFrames) + " frames of " +
                                std::to_string(nChannels) + " channels");
        }
        for (int start = 0; start < nFrames && result; start += kChunkFrames) {
            const int frames = std::min(kChunkFrames, nFrames - start);
            if (sf_readf_float(file, interleaved.data(), frames) != frames) {
                result = Status::Fail("cannot read " + path + ": file ends early");
                break;
            }
            for (int i = 0; i < frames; ++i)
                for (int c = 0; c < nChannels; ++c)
                    read.channels[c][start + i] =
                        interleaved[static_cast<size_t>(i) * nChannels + c];
        }
        if (result) *audio = std::move(read);
    }
    sf_close(file);
    return result;
}
