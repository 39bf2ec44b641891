#include "host/AudioStats.h"

#include <cmath>

namespace {

double ToDb(double linear) {
    return 20.0 * std::log10(linear); // log10(0) is -inf, which prints as such
}

} // namespace

double AudioLevels::PeakDb() const {
    return ToDb(peak);
}

double AudioLevels::RmsDb() const {
    return ToDb(rms);
}

AudioLevels MeasureLevels(const PlanarAudio& audio) {
    AudioLevels levels;
    double sumSquares = 0.0;
    long count = 0;
    for (const auto& channel : audio.channels) {
        for (float s : channel) {
            const double x = s;
            levels.peak = std::fmax(levels.peak, std::fabs(x));
            sumSquares += x * x;
        }
        count += static_cast<long>(channel.size());
    }
    levels.rms = count > 0 ? std::sqrt(sumSquares / static_cast<double>(count)) : 0.0;
    return levels;
}
