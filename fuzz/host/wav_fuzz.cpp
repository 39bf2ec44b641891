// Audio input through the host's reader (libsndfile underneath): any bytes give either one line
// of refusal or audio whose shape agrees with the header the probe reads.
#include "FuzzSupport.h"
#include "host/WavFile.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static fuzz::MemoryFile file;
    const std::string& path = file.Write(bytes, size);

    AudioFileShape shape;
    const Status probed = ProbeAudioFile(path, &shape);
    PlanarAudio audio;
    const Status read = ReadAudioFile(path, &audio);
    for (const Status* s : {&probed, &read})
        if (!*s && s->message().find('\n') != std::string::npos)
            fuzz::Fail("a refusal is more than one line");
    if (!read) return 0;
    if (!probed) fuzz::Fail("a file that reads does not probe");
    if (audio.sampleRate != shape.sampleRate || audio.NumChannels() != shape.channels)
        fuzz::Fail("the audio read disagrees with the header");
    if (audio.NumChannels() < 1 || audio.sampleRate < 1 || audio.NumFrames() > shape.frames)
        fuzz::Fail("the audio read has an impossible shape");
    for (const auto& channel : audio.channels)
        if (channel.size() != audio.channels[0].size()) fuzz::Fail("channels of different lengths");
    return 0;
}
