// Level measurements over every sample of every channel.
#pragma once

#include "host/PlanarAudio.h"

struct AudioLevels {
    double peak = 0.0;     // largest magnitude, linear
    double rms = 0.0;      // root mean square, linear
    double PeakDb() const; // dBFS; -inf for silence
    double RmsDb() const;
};

AudioLevels MeasureLevels(const PlanarAudio& audio);
