#include "host/WavFile.h"

#include "host/AtomicFile.h"
#include "host/AudioFileReader.h"

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

// Copies what an unnamed temporary holds to a device or FIFO.
Status CopyToDevice(int from, const std::string& device, const std::string& path) {
    if (lseek(from, 0, SEEK_SET) != 0)
        return Status::Fail("cannot write " + path + ": " + ErrnoText());
    const int to = open(device.c_str(), O_WRONLY | O_CLOEXEC);
    if (to < 0) return Status::Fail("cannot write " + path + ": " + ErrnoText());
    Status result = Status::Ok();
    std::vector<char> buffer(1 << 16);
    while (result) {
        const ssize_t n = read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) result = Status::Fail("cannot write " + path + ": " + ErrnoText());
        if (n <= 0) break;
        result = WriteAll(to, buffer.data(), static_cast<size_t>(n), path);
    }
    if (close(to) != 0 && result)
        result = Status::Fail("cannot write " + path + ": " + ErrnoText());
    return result;
}

// A file with no name in the temporary folder, gone once closed.
int UnnamedTemporary() {
    const char* folder = std::getenv("TMPDIR");
    if (!folder || !*folder) folder = "/tmp";
    int fd = open(folder, O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string name = std::string(folder) + "/zerub-host-XXXXXX";
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) unlink(name.c_str());
    return fd;
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
    WavFileWriter writer;
    if (Status s = writer.Open(path, audio.sampleRate, audio.NumChannels(), subtype); !s) return s;
    std::vector<const float*> planar(audio.channels.size());
    const int nFrames = audio.NumFrames();
    for (int start = 0; start < nFrames; start += kChunkFrames) {
        for (size_t c = 0; c < planar.size(); ++c)
            planar[c] = audio.channels[c].data() + start;
        if (Status s = writer.Write(planar.data(), std::min(kChunkFrames, nFrames - start)); !s)
            return s;
    }
    return writer.Commit();
}

WavFileWriter::WavFileWriter() = default;

WavFileWriter::~WavFileWriter() {
    Abandon();
}

void WavFileWriter::Abandon() {
    if (file) sf_close(file);
    file = nullptr;
    if (fd >= 0) close(fd);
    fd = -1;
    if (!temporary.empty()) unlink(temporary.c_str());
    temporary.clear();
    sizeLimit.reset();
}

Status WavFileWriter::Open(const std::string& name, int sampleRate, int nChannels, int subtype) {
    if (fd >= 0) return Status::Fail("cannot write " + name + ": already open");
    path = name;
    if (sampleRate <= 0)
        return Status::Fail("cannot write " + path + ": sample rate " + std::to_string(sampleRate) +
                            " Hz");
    if (nChannels <= 0) return Status::Fail("cannot write " + path + ": no channels");
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = nChannels;
    info.format = SF_FORMAT_WAV | subtype;
    if (!sf_format_check(&info))
        return Status::Fail("cannot write " + path + ": " + std::to_string(info.channels) +
                            " channels at " + std::to_string(info.samplerate) +
                            " Hz is not a valid WAV format");

    OutputTarget resolved;
    if (Status s = ResolveOutputTarget(path, &resolved); !s) return s;
    target = resolved.path;
    straight = resolved.straight;
    sizeLimit = std::make_unique<FileSizeLimitAsError>();
    if (straight) {
        fd = UnnamedTemporary();
    } else {
        temporary = TemporaryNameFor(target);
        // 0666 less the umask: the finished file gets the permissions any new file would.
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) temporary.clear();
    }
    if (fd < 0) {
        Status failed = Status::Fail("cannot write " + path + ": " + ErrnoText());
        Abandon();
        return failed;
    }
    // The descriptor stays ours (SF_FALSE) so that it can be synced and its close checked.
    file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        Status failed = Status::Fail("cannot write " + path + ": " + sf_strerror(nullptr));
        Abandon();
        return failed;
    }
    // Integer samples past full scale are clipped; without this libsndfile wraps them round.
    if (subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE)
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    channels = nChannels;
    interleaved.assign(static_cast<size_t>(kChunkFrames) * channels, 0.0f);
    return Status::Ok();
}

Status WavFileWriter::Write(const float* const* planar, int nFrames) {
    if (!file) return Status::Fail("cannot write " + path + ": not open");
    for (int start = 0; start < nFrames; start += kChunkFrames) {
        const int frames = std::min(kChunkFrames, nFrames - start);
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                interleaved[static_cast<size_t>(i) * channels + c] = planar[c][start + i];
        if (sf_writef_float(file, interleaved.data(), frames) != frames) {
            Status failed = Status::Fail("cannot write " + path + ": " + sf_strerror(file));
            Abandon();
            return failed;
        }
    }
    return Status::Ok();
}

Status WavFileWriter::Commit() {
    if (!file) return Status::Fail("cannot write " + path + ": not open");
    // sf_close writes the final header sizes; its failure means a broken file.
    const int closeError = sf_close(file);
    file = nullptr;
    Status result = Status::Ok();
    if (closeError != 0)
        result = Status::Fail("cannot write " + path + ": " + sf_error_number(closeError));
    if (result && straight) {
        result = CopyToDevice(fd, target, path);
    } else if (result) {
        if (fsync(fd) != 0) result = Status::Fail("cannot write " + path + ": " + ErrnoText());
        const int closed = close(fd);
        fd = -1;
        if (closed != 0 && result)
            result = Status::Fail("cannot write " + path + ": " + ErrnoText());
        if (result && rename(temporary.c_str(), target.c_str()) != 0)
            result = Status::Fail("cannot write " + path + ": " + ErrnoText());
        if (result) temporary.clear();
    }
    Abandon();
    return result;
}

Status ProbeAudioFile(const std::string& path, AudioFileShape* shape) {
    AudioFileReader reader;
    if (Status s = reader.Open(path, INT_MAX); !s) return s;
    shape->sampleRate = reader.SampleRate();
    shape->channels = reader.NumChannels();
    shape->frames = reader.ExpectedFrames();
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
    AudioFileReader reader;
    if (Status s = reader.Open(path, maxChannels); !s) return s;
    const long long expected = reader.ExpectedFrames();
    if (expected > INT_MAX)
        return Status::Fail("cannot read " + path + ": too long (" + std::to_string(expected) +
                            " frames; at most " + std::to_string(INT_MAX) + ")");
    const int nChannels = reader.NumChannels();
    PlanarAudio read;
    PlanarAudio chunk;
    std::vector<float*> planar(static_cast<size_t>(nChannels));
    try {
        read = PlanarAudio(reader.SampleRate(), nChannels, 0);
        // A compressed stream's header may claim far more than the file holds: room for the
        // claim is made only up to a bound, past which the channels grow as they are read.
        for (std::vector<float>& channel : read.channels)
            channel.reserve(static_cast<size_t>(std::min<long long>(expected, 1 << 24)));
        chunk = PlanarAudio(reader.SampleRate(), nChannels, kChunkFrames);
        for (int c = 0; c < nChannels; ++c)
            planar[c] = chunk.channels[c].data();
        for (int frames = kChunkFrames; frames == kChunkFrames;) {
            if (Status s = reader.Read(planar.data(), kChunkFrames, &frames); !s) return s;
            if (reader.FramesRead() > INT_MAX)
                return Status::Fail("cannot read " + path + ": too long (more than " +
                                    std::to_string(INT_MAX) + " frames)");
            for (int c = 0; c < nChannels; ++c)
                read.channels[c].insert(read.channels[c].end(), planar[c], planar[c] + frames);
        }
    } catch (const std::bad_alloc&) {
        return Status::Fail("cannot read " + path + ": not enough memory for " +
                            std::to_string(expected) + " frames of " + std::to_string(nChannels) +
                            " channels");
    }
    const std::string warning = reader.ShortfallWarning();
    if (warnings && !warning.empty()) warnings->push_back(warning);
    *audio = std::move(read);
    return Status::Ok();
}
