#include "effect/Oversampler.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Zeroth-order modified Bessel function of the first kind, by its power series.
double BesselI0(double x) {
    double sum = 1.0, term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 200 && term > sum * 1e-17; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

HalfbandFilter DesignHalfband(int pairs, double beta) {
    HalfbandFilter f;
    f.pairs = pairs;
    const double half = 2.0 * pairs - 1.0; // distance from the centre to the outermost tap
    const double norm = BesselI0(beta);
    double sum = 0.0;
    for (int i = 0; i < pairs; ++i) {
        const double d = 2.0 * i + 1.0;
        const double r = d / half;
        const double window = BesselI0(beta * std::sqrt(1.0 - r * r)) / norm;
        f.tap[i] = std::sin(kPi * d / 2.0) / (kPi * d) * window;
        sum += f.tap[i];
    }
    // The centre tap is 1/2; the pairs add the other half at DC.
    for (int i = 0; i < pairs; ++i)
        f.tap[i] *= 0.25 / sum;
    return f;
}

} // namespace

double HalfbandFilter::Magnitude(double f) const {
    double h = 0.5;
    for (int i = 0; i < pairs; ++i)
        h += 2.0 * tap[i] * std::cos(2.0 * kPi * f * (2.0 * i + 1.0));
    return std::fabs(h);
}

// Transition from 20 kHz to 24.1 kHz at 88.2 kHz, with margin beyond 100 dB.
const HalfbandFilter& SharpHalfband() {
    static const HalfbandFilter filter = DesignHalfband(kSharpHalfbandPairs, 10.8);
    return filter;
}

// At four times the host rate the band to keep ends at 20 kHz and the first stage already
// removes everything from 24.1 kHz to the host rate, so only 68.2 kHz up must go at 176.4 kHz.
const HalfbandFilter& WideHalfband() {
    static const HalfbandFilter filter = DesignHalfband(kWideHalfbandPairs, 10.5);
    return filter;
}

int OversampleStagesFor(double hostRate) {
    int k = 0;
    while (k < kOversampleMaxStages && hostRate > 0.0 &&
           hostRate * static_cast<double>(2 << k) <= kOversampleMaxCircuitRate)
        ++k;
    return k;
}

namespace {

int ClampStages(int stages) {
    return stages < 0 ? 0 : (stages > kOversampleMaxStages ? kOversampleMaxStages : stages);
}

const HalfbandFilter& StageFilter(int stage) {
    return stage == 0 ? SharpHalfband() : WideHalfband();
}

// Each stage's filters, up and down, delay by its centre tap twice at its own rate; the sum in
// samples at the circuit's rate.
long CircuitRateDelay(int stages) {
    long delay = 0;
    for (int s = 0; s < stages; ++s)
        delay += 2 * (2L * StageFilter(s).pairs - 1) * (1L << (stages - 1 - s));
    return delay;
}

} // namespace

int OversampleLatencyFrames(int stages) {
    stages = ClampStages(stages);
    const long factor = 1L << stages;
    return static_cast<int>((CircuitRateDelay(stages) + factor - 1) / factor);
}

void Oversampler::Setup(int stageCount) {
    stages = ClampStages(stageCount);
    int offset = 0;
    for (int s = 0; s < stages; ++s) {
        const HalfbandFilter& f = StageFilter(s);
        up[s].filter = down[s].filter = &f;
        up[s].hist = offset;
        down[s].even = offset + 4 * f.pairs;
        down[s].odd = offset + 8 * f.pairs;
        offset += 10 * f.pairs;
    }
    const long delay = CircuitRateDelay(stages);
    latency = OversampleLatencyFrames(stages);
    pad = static_cast<int>(static_cast<long>(latency) * Factor() - delay);
    Clear();
}

void Oversampler::Clear() {
    for (int s = 0; s < kOversampleMaxStages; ++s)
        up[s].pos = down[s].evenPos = down[s].oddPos = 0;
    std::memset(pool, 0, sizeof pool);
    std::memset(padHist, 0, sizeof padHist);
    padPos = 0;
}

void Oversampler::UpStep(UpStage& s, double* buf, int end, int m) {
    const int pairs = s.filter->pairs, width = 2 * pairs;
    const double* tap = s.filter->tap;
    const double* in = buf + end - m;
    double* out = buf + end - 2 * m;
    for (int j = 0; j < m; ++j) {
        const double x = in[j]; // read before out[2j + 1] may overwrite it
        s.pos = s.pos == 0 ? width - 1 : s.pos - 1;
        double* hist = pool + s.hist;
        hist[s.pos] = hist[s.pos + width] = x;
        const double* w = hist + s.pos; // w[i] is the input i samples back
        double acc = 0.0;
        for (int i = 0; i < pairs; ++i)
            acc += tap[i] * (w[pairs - 1 - i] + w[pairs + i]);
        out[2 * j] = 2.0 * acc;
        out[2 * j + 1] = w[pairs - 1];
    }
}

void Oversampler::DownStep(DownStage& s, double* buf, int m) {
    const int pairs = s.filter->pairs, width = 2 * pairs;
    const double* tap = s.filter->tap;
    for (int j = 0; j < m; ++j) {
        const double even = buf[2 * j], odd = buf[2 * j + 1];
        s.evenPos = s.evenPos == 0 ? width - 1 : s.evenPos - 1;
        double* evens = pool + s.even;
        double* odds = pool + s.odd;
        evens[s.evenPos] = evens[s.evenPos + width] = even;
        const double* w = evens + s.evenPos;
        double acc = 0.0;
        for (int i = 0; i < pairs; ++i)
            acc += tap[i] * (w[pairs - 1 - i] + w[pairs + i]);
        // The odd ring's oldest entry is the one the centre tap reaches.
        buf[j] = acc + 0.5 * odds[s.oddPos + pairs - 1];
        s.oddPos = s.oddPos == 0 ? pairs - 1 : s.oddPos - 1;
        odds[s.oddPos] = odds[s.oddPos + pairs] = odd;
    }
}

void Oversampler::PadDelay(double* buf, int n) {
    if (pad == 0) return;
    for (int j = 0; j < n; ++j) {
        const double x = buf[j];
        buf[j] = padHist[padPos];
        padHist[padPos] = x;
        padPos = padPos + 1 == pad ? 0 : padPos + 1;
    }
}

template <typename T>
void Oversampler::UpImpl(const T* in, int n, double* buf) {
    const int end = n * Factor();
    for (int j = 0; j < n; ++j)
        buf[end - n + j] = static_cast<double>(in[j]);
    for (int s = 0, m = n; s < stages; ++s, m *= 2)
        UpStep(up[s], buf, end, m);
    PadDelay(buf, end);
}

template <typename T>
void Oversampler::DownImpl(double* buf, int n, T* out) {
    for (int s = stages - 1; s >= 0; --s)
        DownStep(down[s], buf, n << s);
    for (int j = 0; j < n; ++j)
        out[j] = static_cast<T>(buf[j]);
}

void Oversampler::Up(const double* in, int n, double* buf) {
    UpImpl(in, n, buf);
}
void Oversampler::Up(const float* in, int n, double* buf) {
    UpImpl(in, n, buf);
}
void Oversampler::Down(double* buf, int n, double* out) {
    DownImpl(buf, n, out);
}
void Oversampler::Down(double* buf, int n, float* out) {
    DownImpl(buf, n, out);
}
