// Audio files read a block at a time through libsndfile, so that memory stays flat whatever the
// length of the file.
#pragma once

#include "host/Status.h"

#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;

class AudioFileReader {
public:
    AudioFileReader();
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    // Opens any file libsndfile reads. The file is opened without waiting (a FIFO would wait for
    // a writer) and refused unless it is a regular file. More than maxChannels is refused.
    Status Open(const std::string& path, int maxChannels = 64);

    int SampleRate() const { return sampleRate; }
    int NumChannels() const { return channels; }
    // The frames the file should hold: the most that its header or libsndfile claims.
    long long ClaimedFrames() const { return claimed; }
    // The frames libsndfile expects to read (0 when it cannot tell).
    long long ExpectedFrames() const { return expected; }
    long long FramesRead() const { return framesRead; }

    // Reads up to maxFrames frames into NumChannels() planar buffers. Fewer than maxFrames only
    // at the end of the file (*read is 0 once everything is read).
    Status Read(float* const* planar, int maxFrames, int* read);

    // One line when the file holds fewer frames than claimed, else empty: what was read once the
    // end is reached, what libsndfile expects to read before.
    std::string ShortfallWarning() const;

private:
    struct Source;
    std::string path;
    int fd = -1;
    std::unique_ptr<Source> source;
    sf_private_tag* file = nullptr;
    int sampleRate = 0;
    int channels = 0;
    long long claimed = 0;
    long long expected = 0;
    long long framesRead = 0;
    bool atEnd = false;
    std::vector<float> interleaved; // one chunk of interleaved frames
};

// The data the header of a file claims, read from its first size bytes: the frames, and for a
// header whose data size libsndfile may misread, where that size lies (sizeAt, 4 bytes, 0 when
// nothing is to be mended). False when the bytes hold no header this knows.
struct HeaderClaim {
    long long frames = 0;
    long long dataOffset = 0;
    long long dataBytes = 0;
    size_t sizeAt = 0;
};
bool AuHeaderClaim(const unsigned char* bytes, size_t size, HeaderClaim* claim);
// The frames the data chunk of a Sony Wave64 header claims (PCM or float: a block is a frame).
bool W64HeaderClaim(const unsigned char* bytes, size_t size, long long* frames);
