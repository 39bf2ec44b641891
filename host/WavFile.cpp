#include "host/WavFile.h"

#include "host/AtomicFile.h"

#include <sndfile.h>

#include <algorithm>
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

// A WAV file built in memory, for outputs that cannot seek back to finish the header.
struct MemoryFile {
    std::vector<unsigned char> bytes;
    sf_count_t position = 0;

    static MemoryFile& Of(void* user) { return *static_cast<MemoryFile*>(user); }
    static sf_count_t Length(void* user) { return static_cast<sf_count_t>(Of(user).bytes.size()); }
    static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
        MemoryFile& f = Of(user);
        const sf_count_t base = whence == SEEK_CUR   ? f.position
                                : whence == SEEK_END ? static_cast<sf_count_t>(f.bytes.size())
                                                     : 0;
        if (base + offset < 0) return -1;
        f.position = base + offset;
        return f.position;
    }
    static sf_count_t Read(void* out, sf_count_t count, void* user) {
        MemoryFile& f = Of(user);
        const sf_count_t size = static_cast<sf_count_t>(f.bytes.size());
        const sf_count_t n = f.position >= size ? 0 : std::min(count, size - f.position);
        if (n > 0) std::memcpy(out, f.bytes.data() + f.position, static_cast<size_t>(n));
        f.position += n;
        return n;
    }
    static sf_count_t Write(const void* data, sf_count_t count, void* user) {
        MemoryFile& f = Of(user);
        const size_t end = static_cast<size_t>(f.position + count);
        try {
            if (end > f.bytes.size()) f.bytes.resize(end);
        } catch (const std::bad_alloc&) {
            return 0;
        }
        std::memcpy(f.bytes.data() + f.position, data, static_cast<size_t>(count));
        f.position += count;
        return count;
    }
    static sf_count_t Tell(void* user) { return Of(user).position; }
};

// Encodes the whole file in memory, then writes it straight to a device or FIFO.
Status WriteWavStraight(const std::string& path, const std::string& device, SF_INFO info,
                        const PlanarAudio& audio, int subtype) {
    SF_VIRTUAL_IO io = {MemoryFile::Length, MemoryFile::Seek, MemoryFile::Read, MemoryFile::Write,
                        MemoryFile::Tell};
    MemoryFile memory;
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
    if (!file) return Status::Fail("cannot write " + path + ": " + sf_strerror(nullptr));
    if (subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE)
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    Status result = WriteFrames(file, audio, path);
    const int closeError = sf_close(file);
    if (result && closeError != 0)
        result = Status::Fail("cannot write " + path + ": " + sf_error_number(closeError));
    if (!result) return result;
    const int fd = open(device.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return Status::Fail("cannot write " + path + ": " + ErrnoText());
    result = WriteAll(fd, memory.bytes.data(), memory.bytes.size(), path);
    if (close(fd) != 0 && result)
        result = Status::Fail("cannot write " + path + ": " + ErrnoText());
    return result;
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

    OutputTarget target;
    if (Status s = ResolveOutputTarget(path, &target); !s) return s;
    const FileSizeLimitAsError sizeLimit;
    if (target.straight) return WriteWavStraight(path, target.path, info, audio, subtype);

    const std::string temp = TemporaryNameFor(target.path);
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
    if (result && rename(temp.c_str(), target.path.c_str()) != 0)
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

bool WavHeaderFrames(const unsigned char* bytes, size_t size, long long* frames) {
    auto u32 = [bytes](size_t at) {
        return static_cast<unsigned long>(bytes[at]) |
               static_cast<unsigned long>(bytes[at + 1]) << 8 |
               static_cast<unsigned long>(bytes[at + 2]) << 16 |
               static_cast<unsigned long>(bytes[at + 3]) << 24;
    };
    auto u16 = [bytes](size_t at) { return static_cast<unsigned>(bytes[at] | bytes[at + 1] << 8); };
    if (!bytes || size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 ||
        std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return false;
    unsigned blockAlign = 0;
    for (size_t at = 12; at + 8 <= size;) {
        const unsigned long length = u32(at + 4);
        if (std::memcmp(bytes + at, "fmt ", 4) == 0) {
            if (length < 16 || at + 8 + 16 > size) return false;
            const unsigned tag = u16(at + 8);
            // PCM, IEEE float and the extensible form of either: one block is one frame.
            if (tag != 1 && tag != 3 && tag != 0xFFFE) return false;
            blockAlign = u16(at + 8 + 12);
        } else if (std::memcmp(bytes + at, "data", 4) == 0) {
            // A streaming writer's placeholder sizes claim nothing.
            if (blockAlign == 0 || length == 0 || length == 0xFFFFFFFFul) return false;
            *frames = static_cast<long long>(length / blockAlign);
            return true;
        }
        // Chunks are padded to an even length.
        const unsigned long long next = at + 8ull + length + (length & 1u);
        if (next > size) return false;
        at = static_cast<size_t>(next);
    }
    return false;
}

Status ReadAudioFile(const std::string& path, PlanarAudio* audio, int maxChannels,
                     std::vector<std::string>* warnings) {
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
    if (result && warnings) {
        // libsndfile quietly reads a file cut short as far as it goes.
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        unsigned char header[65536];
        const ssize_t n = fd >= 0 ? read(fd, header, sizeof header) : -1;
        if (fd >= 0) close(fd);
        long long claimed = 0;
        if (n > 0 && WavHeaderFrames(header, static_cast<size_t>(n), &claimed) &&
            claimed > info.frames)
            warnings->push_back(path + ": the header claims " + std::to_string(claimed) +
                                " frames but the file holds " +
                                std::to_string(static_cast<long long>(info.frames)) +
                                "; rendering those");
    }
    return result;
}
