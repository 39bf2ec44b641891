#include "host/AudioFileReader.h"

#include "host/WavFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kChunkFrames = 4096;
// As far into a file as a header is looked for.
constexpr size_t kHeaderBytes = 65536;

std::string ErrnoText() {
    return std::strerror(errno);
}

// The largest frame count that libsndfile's log says a header gave ("Frames : 8000"): how it
// reports the counts of AIFF, RF64, W64 and the fact chunk of WAV, which it then quietly lowers
// to what the file holds.
long long LoggedFrames(SNDFILE* file) {
    char log[16384] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    static const std::regex line("^\\s*frames\\s*:\\s*([0-9]{1,18})\\s*$",
                                 std::regex::icase | std::regex::multiline);
    long long most = 0;
    const std::string text(log);
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
        most = std::max(most, std::stoll((*it)[1].str()));
    return most;
}

} // namespace

// The file seen through pread, with the data size of a header that libsndfile would misread
// mended to "unknown" (all that follows the header).
struct AudioFileReader::Source {
    int fd = -1;
    sf_count_t length = 0;
    sf_count_t position = 0;
    size_t mendAt = 0;   // 0: nothing mended
    bool hitEnd = false; // a read reached the end of the file

    static Source& Of(void* user) { return *static_cast<Source*>(user); }
    static sf_count_t Length(void* user) { return Of(user).length; }
    static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
        Source& s = Of(user);
        const sf_count_t base = whence == SEEK_CUR ? s.position : whence == SEEK_END ? s.length : 0;
        if (base + offset < 0) return -1;
        s.position = base + offset;
        return s.position;
    }
    static sf_count_t Read(void* out, sf_count_t count, void* user) {
        Source& s = Of(user);
        auto* bytes = static_cast<unsigned char*>(out);
        sf_count_t done = 0;
        while (done < count) {
            const ssize_t n = pread(s.fd, bytes + done, static_cast<size_t>(count - done),
                                    static_cast<off_t>(s.position + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += n;
        }
        if (s.mendAt > 0)
            for (sf_count_t i = 0; i < done; ++i) {
                const sf_count_t at = s.position + i;
                if (at >= static_cast<sf_count_t>(s.mendAt) &&
                    at < static_cast<sf_count_t>(s.mendAt) + 4)
                    bytes[i] = 0xFF;
            }
        s.position += done;
        if (done < count) s.hitEnd = true;
        return done;
    }
    static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t Tell(void* user) { return Of(user).position; }
};

bool AuHeaderClaim(const unsigned char* bytes, size_t size, HeaderClaim* claim) {
    if (!bytes || size < 24) return false;
    bool big;
    if (std::memcmp(bytes, ".snd", 4) == 0)
        big = true;
    else if (std::memcmp(bytes, "dns.", 4) == 0)
        big = false;
    else
        return false;
    auto u32 = [bytes, big](size_t at) {
        unsigned long v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<unsigned long>(bytes[at + (big ? i : 3 - i)]) << (8 * (3 - i));
        return v;
    };
    const unsigned long offset = u32(4), dataBytes = u32(8), encoding = u32(12), channels = u32(20);
    // An unknown size (all that follows the header) claims nothing.
    if (dataBytes == 0xFFFFFFFFul || channels == 0) return false;
    unsigned sampleBytes = 0;
    switch (encoding) {
    case 1:  // mu-law
    case 2:  // 8-bit integer
    case 27: // A-law
        sampleBytes = 1;
        break;
    case 3:
        sampleBytes = 2;
        break;
    case 4:
        sampleBytes = 3;
        break;
    case 5:
    case 6: // float
        sampleBytes = 4;
        break;
    case 7: // double
        sampleBytes = 8;
        break;
    default: // ADPCM: no whole frame per byte count
        return false;
    }
    claim->frames = static_cast<long long>(dataBytes / (sampleBytes * channels));
    claim->dataOffset = static_cast<long long>(offset);
    claim->dataBytes = static_cast<long long>(dataBytes);
    claim->sizeAt = 8;
    return true;
}

bool W64HeaderClaim(const unsigned char* bytes, size_t size, long long* frames) {
    // Chunks are named by GUIDs whose first four bytes spell the RIFF names; sizes are 64-bit,
    // little-endian, and count the chunk's own 24-byte header.
    auto u64 = [bytes](size_t at) {
        unsigned long long v = 0;
        for (int i = 7; i >= 0; --i)
            v = v << 8 | bytes[at + i];
        return v;
    };
    auto u16 = [bytes](size_t at) { return static_cast<unsigned>(bytes[at] | bytes[at + 1] << 8); };
    if (!bytes || size < 40 || std::memcmp(bytes, "riff", 4) != 0 ||
        std::memcmp(bytes + 24, "wave", 4) != 0)
        return false;
    unsigned blockAlign = 0;
    for (size_t at = 40; at + 24 <= size;) {
        const unsigned long long length = u64(at + 16);
        if (length < 24) return false;
        if (std::memcmp(bytes + at, "fmt ", 4) == 0) {
            if (at + 24 + 14 > size) return false;
            blockAlign = u16(at + 24 + 12);
        } else if (std::memcmp(bytes + at, "data", 4) == 0) {
            if (blockAlign == 0) return false;
            *frames = static_cast<long long>((length - 24) / blockAlign);
            return true;
        }
        // Chunks are padded to a multiple of 8 bytes.
        const unsigned long long next = at + ((length + 7) & ~7ull);
        if (next > size || next <= at) return false;
        at = static_cast<size_t>(next);
    }
    return false;
}

AudioFileReader::AudioFileReader() = default;

AudioFileReader::~AudioFileReader() {
    if (file) sf_close(file);
    if (fd >= 0) close(fd);
}

Status AudioFileReader::Open(const std::string& name, int maxChannels) {
    if (fd >= 0) return Status::Fail("cannot read " + name + ": already open");
    path = name;
    // Without blocking: a FIFO would otherwise wait for a writer before it is refused.
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Status::Fail("cannot read " + path + ": " + ErrnoText());
    struct stat info;
    if (fstat(fd, &info) != 0) return Status::Fail("cannot read " + path + ": " + ErrnoText());
    if (S_ISDIR(info.st_mode)) return Status::Fail("cannot read " + path + ": it is a folder");
    if (!S_ISREG(info.st_mode)) return Status::Fail("cannot read " + path + ": not a regular file");
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return Status::Fail("cannot read " + path + ": " + ErrnoText());

    source = std::make_unique<Source>();
    source->fd = fd;
    source->length = static_cast<sf_count_t>(info.st_size);

    // What the header claims, before libsndfile reads it: it lowers a claim past the end of the
    // file to what is there without a word, and misreads an AU size that overflows its sums.
    unsigned char header[kHeaderBytes];
    size_t got = 0;
    while (got < sizeof header) {
        const ssize_t n = pread(fd, header + got, sizeof header - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Status::Fail("cannot read " + path + ": " + ErrnoText());
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    long long headerFrames = 0;
    HeaderClaim au;
    if (WavHeaderFrames(header, got, &headerFrames) || W64HeaderClaim(header, got, &headerFrames)) {
    } else if (AuHeaderClaim(header, got, &au)) {
        headerFrames = au.frames;
        if (au.dataOffset + au.dataBytes > static_cast<long long>(info.st_size))
            source->mendAt = au.sizeAt;
    }

    SF_VIRTUAL_IO io = {Source::Length, Source::Seek, Source::Read, Source::Write, Source::Tell};
    SF_INFO format{};
    file = sf_open_virtual(&io, SFM_READ, &format, source.get());
    if (!file) return Status::Fail("cannot read " + path + ": " + sf_strerror(nullptr));
    if (format.channels <= 0 || format.samplerate <= 0)
        return Status::Fail("cannot read " + path + ": no channels or no sample rate");
    if (format.channels > maxChannels)
        return Status::Fail("cannot read " + path + ": " + std::to_string(format.channels) +
                            " channels (at most " + std::to_string(maxChannels) + ")");
    sampleRate = format.samplerate;
    channels = format.channels;
    // libsndfile's count stands when a stream cannot tell its length (it says the largest).
    expected = format.frames >= 0 && format.frames < SF_COUNT_MAX ? format.frames : 0;
    claimed = std::max({expected, headerFrames, LoggedFrames(file)});
    interleaved.assign(static_cast<size_t>(kChunkFrames) * channels, 0.0f);
    return Status::Ok();
}

Status AudioFileReader::Read(float* const* planar, int maxFrames, int* read) {
    *read = 0;
    if (!file) return Status::Fail("cannot read " + path + ": not open");
    while (*read < maxFrames) {
        const int want = std::min(kChunkFrames, maxFrames - *read);
        const sf_count_t n = sf_readf_float(file, interleaved.data(), want);
        for (sf_count_t i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c)
                planar[c][*read + i] = interleaved[i * channels + c];
        *read += static_cast<int>(n);
        framesRead += n;
        if (n < want) {
            atEnd = true;
            // A decoder stopped by damage before the end of the file fails the read; one stopped
            // by the end of a file cut short has read what is there.
            if (sf_error(file) != SF_ERR_NO_ERROR && !source->hitEnd)
                return Status::Fail("cannot read " + path + ": " + sf_strerror(file));
            break;
        }
    }
    return Status::Ok();
}

std::string AudioFileReader::ShortfallWarning() const {
    const long long holds = atEnd ? framesRead : expected;
    if (claimed <= holds) return "";
    return path + ": the header claims " + std::to_string(claimed) + " frames but the file holds " +
           std::to_string(holds) + "; rendering those";
}
