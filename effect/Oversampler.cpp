#include "effect/Oversampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

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
    double tap[HalfbandFilter::kMaxPairs] = {};
    const double half = 2.0 * pairs - 1.0; // distance from the centre to the outermost tap
    const double norm = BesselI0(beta);
    double sum = 0.0;
    for (int i = 0; i < pairs; ++i) {
        const double d = 2.0 * i + 1.0;
        const double r = d / half;
        const double window = BesselI0(beta * std::sqrt(1.0 - r * r)) / norm;
        tap[i] = std::sin(kPi * d / 2.0) / (kPi * d) * window;
        sum += tap[i];
    }
    // The centre tap is 1/2; the pairs add the other half at DC.
    HalfbandFilter f;
    f.pairs = pairs;
    for (int i = 0; i < pairs; ++i)
        f.tap[i] = static_cast<float>(tap[i] * (0.25 / sum));
    return f;
}

} // namespace

double HalfbandFilter::Magnitude(double f) const {
    double h = 0.5;
    for (int i = 0; i < pairs; ++i)
        h += 2.0 * static_cast<double>(tap[i]) * std::cos(2.0 * kPi * f * (2.0 * i + 1.0));
    return std::fabs(h);
}

namespace {

// The largest magnitude over [from, to] (cycles per sample at the filter's rate), from samples
// `perLobe` to each 1/(4K) of frequency (a lobe of the response is about that wide). The cosines
// of the odd multiples come from a recurrence: a few multiplies per tap and sample.
double PeakMagnitude(const HalfbandFilter& f, double from, double to, int perLobe) {
    const int n = static_cast<int>(perLobe * 4.0 * f.pairs * (to - from)) + 1;
    double peak = 0.0;
    for (int p = 0; p <= n; ++p) {
        const double w = 2.0 * kPi * (from + (to - from) * p / n);
        const double step = 2.0 * std::cos(2.0 * w);
        double before = std::cos(w), now = std::cos(3.0 * w); // cos(w (2i - 1)), cos(w (2i + 1))
        double h = 0.5 + 2.0 * static_cast<double>(f.tap[0]) * before;
        for (int i = 1; i < f.pairs; ++i) {
            h += 2.0 * static_cast<double>(f.tap[i]) * now;
            const double next = step * now - before;
            before = now;
            now = next;
        }
        peak = std::max(peak, std::fabs(h));
    }
    return peak;
}

} // namespace

HalfbandFilter DesignFirstHalfband(double hostRate) {
    // At twice the host rate: the band to keep ends at pass, the stop band starts at 1/2 - pass.
    const double floor = 44100.0;
    const double pass = 20000.0 / (2.0 * (hostRate > floor ? hostRate : floor));
    const double stop = 0.5 - pass;
    const double goal = std::pow(10.0, -100.5 / 20.0); // half a dB for what the samples miss
    // The search starts a little short of Kaiser's estimate of the length for 100 dB.
    const double taps = (100.0 - 7.95) / (14.36 * (stop - pass));
    int pairs = static_cast<int>((taps + 1.0) / 4.0) - 2;
    pairs = pairs < 1 ? 1 : pairs;
    HalfbandFilter best;
    for (; pairs <= kFirstHalfbandMaxPairs; ++pairs) {
        // The window's shape trades the lobes' height against the transition's width. A Kaiser
        // design's highest lobes are those next to the stop band's edge: the shape is chosen on
        // the first three, then the whole band is checked.
        const double nearEdge = std::min(0.5, stop + 3.0 / (4.0 * pairs));
        double bestPeak = 1.0;
        for (int tenth = 90; tenth <= 120; ++tenth) {
            const HalfbandFilter f = DesignHalfband(pairs, tenth / 10.0);
            const double peak = PeakMagnitude(f, stop, nearEdge, 16);
            if (peak < bestPeak) bestPeak = peak, best = f;
        }
        if (bestPeak <= goal && PeakMagnitude(best, stop, 0.5, 64) <= goal) break;
    }
    return best; // the largest design when none meets the goal (a rate below 44.1 kHz's scale)
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

} // namespace

int OversampleLatencyFrames(int stages, int firstPairs) {
    stages = ClampStages(stages);
    const long factor = 1L << stages;
    return static_cast<int>((OversampleCircuitDelay(stages, firstPairs) + factor - 1) / factor);
}

int OversampleLatencyFrames(double hostRate) {
    const int stages = OversampleStagesFor(hostRate);
    return stages == 0 ? 0 : OversampleLatencyFrames(stages, DesignFirstHalfband(hostRate).pairs);
}

void Oversampler::Setup(double hostRate) {
    const int k = OversampleStagesFor(hostRate);
    Setup(k, k > 0 ? DesignFirstHalfband(hostRate) : HalfbandFilter());
}

void Oversampler::Setup(int stageCount, const HalfbandFilter& firstStage) {
    stages = ClampStages(stageCount);
    first = firstStage;
    int offset = 0;
    for (int s = 0; s < stages; ++s) {
        const int line = 2 * Filter(s).pairs - 1 + (kOversampleBufferSize >> (stages - s));
        lines[s].up = offset;
        lines[s].even = offset + line;
        lines[s].odd = offset + 2 * line;
        offset += OversampleLines(stages, s);
    }
    const long delay = OversampleCircuitDelay(stages, stages > 0 ? first.pairs : 0);
    latency = OversampleLatencyFrames(stages, stages > 0 ? first.pairs : 0);
    pad = static_cast<int>(static_cast<long>(latency) * Factor() - delay);
    Clear();
}

void Oversampler::Clear() {
    std::memset(pool, 0, sizeof pool);
    std::memset(padHist, 0, sizeof padHist);
}

namespace {

typedef float Float4 __attribute__((vector_size(16)));

inline Float4 Load4(const float* p) {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store4(float* p, Float4 v) {
    std::memcpy(p, &v, sizeof v);
}

// y[j] = sum over i < P of tap[i] * (x[j + P - 1 - i] + x[j + P + i]) for j < m: the pairs of a
// half-band filter whose window starts at x[j]. Sixteen outputs at a time (four vectors, so that
// each tap is read once for them and four sums advance side by side), then four, then one:
// every output's sum runs over i in the same order, so the results are the same in each loop.
template <int P>
void SymmetricPairs(const float* tap, const float* x, int m, float* y) {
    int j = 0;
    for (; j + 16 <= m; j += 16) {
        Float4 a = {}, b = {}, c = {}, d = {};
        const float* lo = x + j + P - 1; // lo[-i] and hi[i] are output j's pair i
        const float* hi = x + j + P;
        for (int i = 0; i < P; ++i) {
            const Float4 t = {tap[i], tap[i], tap[i], tap[i]};
            a += t * (Load4(lo - i) + Load4(hi + i));
            b += t * (Load4(lo - i + 4) + Load4(hi + i + 4));
            c += t * (Load4(lo - i + 8) + Load4(hi + i + 8));
            d += t * (Load4(lo - i + 12) + Load4(hi + i + 12));
        }
        Store4(y + j, a);
        Store4(y + j + 4, b);
        Store4(y + j + 8, c);
        Store4(y + j + 12, d);
    }
    for (; j + 4 <= m; j += 4) {
        Float4 a = {};
        for (int i = 0; i < P; ++i) {
            const Float4 t = {tap[i], tap[i], tap[i], tap[i]};
            a += t * (Load4(x + j + P - 1 - i) + Load4(x + j + P + i));
        }
        Store4(y + j, a);
    }
    for (; j < m; ++j) {
        float acc = 0.0f;
        for (int i = 0; i < P; ++i)
            acc += tap[i] * (x[j + P - 1 - i] + x[j + P + i]);
        y[j] = acc;
    }
}

// One instance of SymmetricPairs per pair count a design can have, so that each runs with its
// count known to the compiler.
typedef void (*PairsFunction)(const float*, const float*, int, float*);

template <int... P>
constexpr std::array<PairsFunction, sizeof...(P)> PairsTable(std::integer_sequence<int, P...>) {
    return {{&SymmetricPairs<P + 1>...}};
}

constexpr std::array<PairsFunction, HalfbandFilter::kMaxPairs> kPairs =
    PairsTable(std::make_integer_sequence<int, HalfbandFilter::kMaxPairs>());

void Pairs(const HalfbandFilter& f, const float* x, int m, float* y) {
    kPairs[static_cast<size_t>(f.pairs - 1)](f.tap, x, m, y);
}

// After a chunk of m inputs the line keeps its last `keep` samples at its start.
void Slide(float* line, int keep, int m) {
    std::memmove(line, line + m, sizeof(float) * static_cast<size_t>(keep));
}

} // namespace

// x[j] is the stage's input j; the line holds x[j - (2K - 1)] .. x[j] for output j's window.
// Even outputs are the filter's pairs (the up filter's gain of 2 makes up for the zeros stuffed
// between inputs); odd outputs fall on the centre tap, the input 2K - 1 (its rate) back.
void Oversampler::UpStep(int s, float* buf, int m) {
    const HalfbandFilter& f = Filter(s);
    const int keep = 2 * f.pairs - 1;
    float* line = pool + lines[s].up;
    std::memcpy(line + keep, buf, sizeof(float) * static_cast<size_t>(m));
    float even[kMostIn];
    Pairs(f, line, m, even);
    const float* odd = line + f.pairs;
    const Float4 two = {2.0f, 2.0f, 2.0f, 2.0f};
    int j = 0;
    for (; j + 4 <= m; j += 4) {
        const Float4 e = two * Load4(even + j), o = Load4(odd + j);
        Store4(buf + 2 * j, __builtin_shufflevector(e, o, 0, 4, 1, 5));
        Store4(buf + 2 * j + 4, __builtin_shufflevector(e, o, 2, 6, 3, 7));
    }
    for (; j < m; ++j) {
        buf[2 * j] = 2.0f * even[j];
        buf[2 * j + 1] = odd[j];
    }
    Slide(line, keep, m);
}

// The even inputs through the pairs, the odd ones through the centre tap (1/2), K back.
void Oversampler::DownStep(int s, float* buf, int m) {
    const HalfbandFilter& f = Filter(s);
    const int keep = 2 * f.pairs - 1;
    float* evens = pool + lines[s].even;
    float* odds = pool + lines[s].odd;
    int j = 0;
    for (; j + 4 <= m; j += 4) {
        const Float4 a = Load4(buf + 2 * j), b = Load4(buf + 2 * j + 4);
        Store4(evens + keep + j, __builtin_shufflevector(a, b, 0, 2, 4, 6));
        Store4(odds + f.pairs + j, __builtin_shufflevector(a, b, 1, 3, 5, 7));
    }
    for (; j < m; ++j) {
        evens[keep + j] = buf[2 * j];
        odds[f.pairs + j] = buf[2 * j + 1];
    }
    Pairs(f, evens, m, buf);
    const Float4 half = {0.5f, 0.5f, 0.5f, 0.5f};
    for (j = 0; j + 4 <= m; j += 4)
        Store4(buf + j, Load4(buf + j) + half * Load4(odds + j));
    for (; j < m; ++j)
        buf[j] += 0.5f * odds[j];
    Slide(evens, keep, m);
    Slide(odds, f.pairs, m);
}

// The last pad samples wait for the next chunk: n >= Factor() > pad.
void Oversampler::PadDelay(float* buf, int n) {
    if (pad == 0) return;
    float next[kOversampleMaxFactor];
    std::memcpy(next, buf + n - pad, sizeof(float) * static_cast<size_t>(pad));
    std::memmove(buf + pad, buf, sizeof(float) * static_cast<size_t>(n - pad));
    std::memcpy(buf, padHist, sizeof(float) * static_cast<size_t>(pad));
    std::memcpy(padHist, next, sizeof(float) * static_cast<size_t>(pad));
}

template <typename T>
void Oversampler::UpImpl(const T* in, int n, float* buf) {
    if constexpr (std::is_same_v<T, float>)
        std::memcpy(buf, in, sizeof(float) * static_cast<size_t>(n));
    else
        for (int j = 0; j < n; ++j)
            buf[j] = static_cast<float>(in[j]);
    for (int s = 0, m = n; s < stages; ++s, m *= 2)
        UpStep(s, buf, m);
    PadDelay(buf, n * Factor());
}

template <typename T>
void Oversampler::DownImpl(float* buf, int n, T* out) {
    for (int s = stages - 1; s >= 0; --s)
        DownStep(s, buf, n << s);
    if constexpr (std::is_same_v<T, float>)
        std::memcpy(out, buf, sizeof(float) * static_cast<size_t>(n));
    else
        for (int j = 0; j < n; ++j)
            out[j] = static_cast<T>(buf[j]);
}

void Oversampler::Up(const double* in, int n, float* buf) {
    UpImpl(in, n, buf);
}
void Oversampler::Up(const float* in, int n, float* buf) {
    UpImpl(in, n, buf);
}
void Oversampler::Down(float* buf, int n, double* out) {
    DownImpl(buf, n, out);
}
void Oversampler::Down(float* buf, int n, float* out) {
    DownImpl(buf, n, out);
}
