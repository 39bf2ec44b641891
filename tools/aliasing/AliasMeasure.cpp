#include "tools/aliasing/AliasMeasure.h"

#include "effect/ZerubHQ.h"
#include "effect/ZerubProcess.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace aliasing {

namespace {

constexpr double kPi = 3.14159265358979323846;

// In-place radix-2 transform (size a power of two).
void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * kPi / static_cast<double>(len);
        for (size_t k = 0; k < len / 2; ++k) {
            // Each twiddle computed directly: no error builds up along a row.
            const std::complex<double> w = std::polar(1.0, angle * static_cast<double>(k));
            for (size_t i = 0; i < n; i += len) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

struct ZerubState {
    DriveCircuit left, right;
    ZerubHQ hq;
    float discard[kBlockFrames] = {};
};

} // namespace

int ToneBin(double rate, double f) {
    int bin = static_cast<int>(std::lround(f * kFftSize / rate));
    if (bin % 2 == 0) ++bin;
    return std::clamp(bin, 1, kFftSize / 2 - 1);
}

double BinFrequency(double rate, int bin) {
    return rate * bin / kFftSize;
}

bool MeasureSpectrum(double rate, double f, const Processor& process, Spectrum* out) {
    const int bin = ToneBin(rate, f);
    const int settle = static_cast<int>(std::ceil(rate / kFftSize)) * kFftSize;
    const int total = settle + kFftSize;
    std::vector<float> in(static_cast<size_t>(total)), result(in.size());
    for (int n = 0; n < total; ++n)
        in[n] = static_cast<float>(
            kToneAmplitude *
            std::sin(2.0 * kPi * bin * static_cast<double>(n % kFftSize) / kFftSize));
    for (int done = 0; done < total; done += kBlockFrames) {
        const int n = std::min(kBlockFrames, total - done);
        if (!process(in.data() + done, result.data() + done, n)) return false;
    }
    std::vector<std::complex<double>> spectrum(static_cast<size_t>(kFftSize));
    for (int n = 0; n < kFftSize; ++n) {
        const float x = result[static_cast<size_t>(settle) + static_cast<size_t>(n)];
        if (!std::isfinite(x)) return false;
        spectrum[n] = x;
    }
    Fft(spectrum);
    const double fundamental = std::norm(spectrum[bin]);
    if (!(fundamental > 0.0)) return false;
    out->rate = rate;
    out->bin = bin;
    out->power.resize(kFftSize / 2 + 1);
    for (int k = 0; k <= kFftSize / 2; ++k)
        out->power[k] = std::norm(spectrum[k]) / fundamental;
    return true;
}

Figures Analyse(const Spectrum& s, double bandTop) {
    double strongest = 0.0, sum = 0.0;
    for (int k = 1; k < static_cast<int>(s.power.size()) && BinFrequency(s.rate, k) <= bandTop;
         ++k) {
        if (k % s.bin == 0) continue;
        strongest = std::max(strongest, s.power[k]);
        sum += s.power[k];
    }
    // Nothing at all measures as the floor of double precision rather than minus infinity.
    return {10.0 * std::log10(std::max(strongest, 1e-30)), 10.0 * std::log10(std::max(sum, 1e-30))};
}

Processor ZerubProcessor(double rate, bool hq, double gain, double level) {
    auto state = std::make_shared<ZerubState>();
    return [state, rate, hq, gain, level](const float* in, float* out, int n) {
        if (n < 0 || n > kBlockFrames) return false;
        const float* ins[2] = {in, in};
        float* outs[2] = {out, state->discard};
        if (hq)
            state->hq.Process(state->left, state->right, rate, gain, level, false, ins, outs, n);
        else
            ProcessZerubBlock(state->left, state->right, rate, gain, level, false, ins, outs, n);
        return true;
    };
}

} // namespace aliasing
