// Audio files through libsndfile.
#pragma once

#include "host/PlanarAudio.h"
#include "host/Status.h"

#include <string>

// Writes audio as a 32-bit float WAV file. The data goes to a temporary file in the same folder,
// which is renamed to path only once every sample is written and the file is closed, so path
// either keeps its old contents or holds the complete new file; a failure removes the temporary.
Status WriteWavFloat(const std::string& path, const PlanarAudio& audio);

// Reads any file libsndfile understands into 32-bit float samples.
Status ReadAudioFile(const std::string& path, PlanarAudio* audio);
