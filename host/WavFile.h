// Audio files through libsndfile.
#pragma once

#include "host/PlanarAudio.h"
#include "host/Status.h"

#include <memory>
#include <string>
#include <vector>

// Writes audio as a 32-bit float WAV file. The data goes to a temporary file in the same folder,
// which is renamed to path only once every sample is written and the file is closed, so path
// either keeps its old contents or holds the complete new file; a failure removes the temporary.
// A device or FIFO is written straight; a symbolic link stays, and what it names is replaced.
Status WriteWavFloat(const std::string& path, const PlanarAudio& audio);

// The sample formats a WAV file can be written in: the name on the command line and the
// libsndfile subtype.
struct WavSampleFormat {
    const char* name;
    int subtype;
    const char* description;
};
const std::vector<WavSampleFormat>& WavSampleFormats();
const WavSampleFormat* FindWavSampleFormat(const std::string& name); // null when unknown

// As WriteWavFloat, in the given libsndfile subtype. Integer formats clip at full scale.
Status WriteWav(const std::string& path, const PlanarAudio& audio, int subtype);

class FileSizeLimitAsError;
struct sf_private_tag;

// A WAV file written a block at a time, with memory flat whatever its length. A regular file or a
// new path gets a temporary beside it that Commit renames into place; a device or FIFO gets an
// unnamed temporary file (the header's sizes are known only at the end) that Commit copies to it.
// Without a successful Commit the temporary goes and the target is untouched.
class WavFileWriter {
public:
    WavFileWriter();
    ~WavFileWriter();
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // subtype: a libsndfile subtype from WavSampleFormats(); integer formats clip at full scale.
    Status Open(const std::string& path, int sampleRate, int nChannels, int subtype);
    // nFrames of NumChannels planar samples.
    Status Write(const float* const* planar, int nFrames);
    Status Commit();
    // Removes the temporary and leaves the target as it was; Write and Commit then fail.
    void Abandon();

private:
    std::string path;      // as the caller named it, for messages
    std::string target;    // what is finally written
    std::string temporary; // beside the target; empty for a device or FIFO
    bool straight = false;
    int fd = -1;
    int channels = 0;
    sf_private_tag* file = nullptr;
    std::vector<float> interleaved;
    std::unique_ptr<FileSizeLimitAsError> sizeLimit;
};

// The shape of an audio file, read from its header without reading the samples.
struct AudioFileShape {
    int sampleRate = 0;
    int channels = 0;
    long long frames = 0;
};
Status ProbeAudioFile(const std::string& path, AudioFileShape* shape);

// Reads any regular file libsndfile understands into 32-bit float samples. Files with more than
// maxChannels channels, or more frames than an int holds, are refused before anything is read.
// A file that holds fewer frames than its header claims is read as far as it goes, with a line
// saying so added to warnings (when given).
Status ReadAudioFile(const std::string& path, PlanarAudio* audio, int maxChannels = 64,
                     std::vector<std::string>* warnings = nullptr);

// The frames the header of a RIFF WAVE file of integer or float samples claims (its data chunk
// size over the frame size), from the first size bytes of the file. False when the bytes hold no
// such header, or when the data chunk comes later than they reach.
bool WavHeaderFrames(const unsigned char* bytes, size_t size, long long* frames);
