#include "DriveCircuit.h"

#include <cmath>
#include <cstring>

#if defined(ZERUB_PORTABLE_LANES)
#elif defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__aarch64__) && defined(__ARM_NEON)
#include <arm_neon.h>
#endif

// Figures from a circuit fit: keep every digit and every evaluation order as they are.

const DiodeTable diode_table = {
    0.0f,
    0.5937f,
    54.379f,
    kDiodeTableEntries,
    {
        0.0f,          0.0035175879f, 0.0105527639f, 0.0175879393f, 0.0246231146f, 0.0316582918f,
        0.0386934653f, 0.0457286425f, 0.052763816f,  0.0597989932f, 0.0668341666f, 0.0738693401f,
        0.080904521f,  0.0879396945f, 0.094974868f,  0.102010041f,  0.109045215f,  0.116080388f,
        0.123115562f,  0.130150735f,  0.137185901f,  0.144221067f,  0.151256248f,  0.158291414f,
        0.165326566f,  0.172361732f,  0.179396883f,  0.186432034f,  0.19346717f,   0.200502306f,
        0.207537428f,  0.214572549f,  0.22160764f,   0.228642702f,  0.235677749f,  0.242712751f,
        0.249747708f,  0.256782591f,  0.26381743f,   0.270852178f,  0.277886778f,  0.284921259f,
        0.29195556f,   0.298989594f,  0.306023359f,  0.313056737f,  0.320089668f,  0.327121973f,
        0.334153533f,  0.341184139f,  0.348213524f,  0.355241388f,  0.362267315f,  0.369290829f,
        0.376311272f,  0.383327842f,  0.390339494f,  0.397345006f,  0.404342771f,  0.411330789f,
        0.41830653f,   0.425266922f,  0.432208061f,  0.43912518f,   0.446012408f,  0.452862561f,
        0.459667027f,  0.466415375f,  0.473095447f,  0.479693055f,  0.486192077f,  0.492574662f,
        0.498821527f,  0.504912674f,  0.510828018f,  0.516548634f,  0.522057533f,  0.52734071f,
        0.532387912f,  0.537192941f,  0.541753948f,  0.546072841f,  0.550154984f,  0.554008543f,
        0.557643771f,  0.561072052f,  0.564305782f,  0.567357481f,  0.570239663f,  0.572964311f,
        0.575543046f,  0.577986658f,  0.580305278f,  0.582508385f,  0.584604561f,  0.586601794f,
        0.588507295f,  0.590327799f,  0.592069328f,  0.593737483f,
    },
};

namespace {

// Truncation toward zero as the x86 conversion instruction does it: NaN and values outside the
// 32-bit range give the most negative integer (a plain cast would be undefined there).
int32_t TruncToInt32(double x) {
    if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(x);
}

// The index scale, 54.379 as a float, widened.
constexpr double kTableScale = 54.37900161743164;
// The last table entry widened: the level beyond the table's end.
constexpr double kTableTop = 0.5937374830245972;

// Cubic coefficients (c3, c2, c1, c0) of each gain-network coefficient in the sample rate, in the
// order aGain[0..3], aBase[0..3], bGain[0..3], bBase[0..3].
constexpr double kNetwork[16][4] = {
    {1.25177089698758e-14, 2.5041238200267e-10, 1.16405210306984e-09, -2.44107917543592e-22},
    {-3.75531269096275e-14, -2.5041238200267e-10, 1.16405210306984e-09, -7.32323752630777e-22},
    {3.75531269096275e-14, -2.5041238200267e-10, -1.16405210306984e-09, -7.32323752630777e-22},
    {-1.25177089698758e-14, 2.5041238200267e-10, -1.16405210306984e-09, -2.44107917543592e-22},
    {1.17666464316832e-16, 2.62521807834115e-12, 5.33888839386713e-09, 2.47670660227637e-08},
    {-3.52999392950497e-16, -2.62521807834115e-12, 5.33888839386713e-09, 7.4301198068291e-08},
    {3.52999392950497e-16, -2.62521807834115e-12, -5.33888839386713e-09, 7.4301198068291e-08},
    {-1.17666464316832e-16, 2.62521807834115e-12, -5.33888839386713e-09, 2.47670660227637e-08},
    {1.22568007880329e-14, 2.45193032406485e-10, 1.14033291664283e-09, -2.39133877988791e-22},
    {-3.67704023640987e-14, -2.45193032406485e-10, 1.14033291664283e-09, -7.17401633966372e-22},
    {3.67704023640987e-14, -2.45193032406485e-10, -1.14033291664283e-09, -7.17401633966372e-22},
    {-1.22568007880329e-14, 2.45193032406485e-10, -1.14033291664283e-09, -2.39133877988791e-22},
    {1.15213927407509e-16, 4.92837629021427e-10, 7.50825799262758e-09, 2.4262402481764e-08},
    {-3.45641782222527e-16, -4.92837629021427e-10, 7.50825799262758e-09, 7.27872074452919e-08},
    {3.45641782222527e-16, -4.92837629021427e-10, -7.50825799262758e-09, 7.27872074452919e-08},
    {-1.15213927407509e-16, 4.92837629021427e-10, -7.50825799262758e-09, 2.4262402481764e-08},
};

double Cubic(const double (&c)[4], double fs) {
    return ((c[0] * fs + c[1]) * fs + c[2]) * fs + c[3];
}

// (1 - 0.993) / (e^5 - 1): scales a control's exponential taper so the smoother settles on it.
constexpr double kSmoothTerm = 4.748558434412966e-05;
constexpr double kSmoothPole = 0.993;
constexpr double kOutputGain = 1.01121153899942e-05;

// The controls' exponential tapers: the value each smoother settles on for a raw control value.
// Process computes them every sample, the block path once per change of the controls.
inline double GainTarget(double gain) {
    return (std::exp((1.0 - gain) * 5.0) - 1.0) * kSmoothTerm;
}
inline double LevelTarget(double level) {
    return (std::exp(level * 7.0) - 1.0) * kSmoothTerm;
}

} // namespace

double diodeclip(double y) {
    const double t = std::fabs(y) * kTableScale;
    const int32_t i = TruncToInt32(t);
    double u;
    if (i < 0) {
        u = 0.0;
    } else if (i >= kDiodeTableEntries - 1) { // no entry i + 1 to interpolate towards
        u = kTableTop;
    } else {
        const double f = t - i;
        u = static_cast<double>(diode_table.values[i + 1]) * f +
            (1.0 - f) * static_cast<double>(diode_table.values[i]);
    }
    return std::copysign(u, y);
}

void DriveCircuit::Calc(double rate) {
    // Clamp before truncating: a rate past the 32-bit range would truncate to the most negative
    // integer and run at 1 Hz. NaN fails the test and ends at 1 Hz.
    double fs = TruncToInt32(rate > kDriveCircuitMaxRate ? kDriveCircuitMaxRate : rate);
    fs = fs < 1.0 ? 1.0 : fs;
    sampleRate = fs;

    for (int k = 0; k < 4; ++k) {
        aGain[k] = Cubic(kNetwork[k], fs);
        aBase[k] = Cubic(kNetwork[4 + k], fs);
        bGain[k] = Cubic(kNetwork[8 + k], fs);
        bBase[k] = Cubic(kNetwork[12 + k], fs);
    }

    outA0 = (2.02242307799883e-10 * fs + 1.11254784429064e-05) * fs + 1.07575695638236e-05;
    outA2 = (2.02242307799883e-10 * fs - 1.11254784429064e-05) * fs + 1.07575695638236e-05;
    // The fit squared the rate in single precision; keep that rounding.
    const float fs32 = static_cast<float>(fs);
    const float square = fs32 * fs32;
    outA1 = static_cast<double>(square) * -4.04484615599767e-10 + 2.15151391276472e-05;
    outInvA0 = 1.0 / outA0;
    outScale = fs / outA0;
    calcRate = rate;
}

void DriveCircuit::CalcIfChanged(double rate) {
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): the bits, so -0 and NaN count
    if (std::memcmp(&rate, &calcRate, sizeof rate) != 0) Calc(rate);
}

double DriveCircuit::Process(double x, double gain, double level) {
    // Control targets on exponential tapers, then one-pole smoothing.
    const double gTerm = GainTarget(gain);
    const double lTerm = LevelTarget(level);
    const double g = gainSmooth * kSmoothPole + gTerm;

    const double a0 = aGain[0] * g + aBase[0];
    const double a1 = aGain[1] * g + aBase[1];
    const double a2 = aGain[2] * g + aBase[2];
    const double a3 = aGain[3] * g + aBase[3];
    const double b0 = bGain[0] * g + bBase[0];
    const double b1 = bGain[1] * g + bBase[1];
    const double b2 = bGain[2] * g + bBase[2];
    const double b3 = bGain[3] * g + bBase[3];

    const double h = (coupledPrev + x) - inPrev;
    const double r = h - (a3 * net3 + (a2 * net2 + a1 * net1)) / a0;
    const double y = (b3 * net3 + (b2 * net2 + (b1 * net1 + b0 * r))) / a0;
    const double c = diodeclip(y);
    const double v = c - (outA2 * out2 + outA1 * out1) * outInvA0;
    const double L = lTerm + levelSmooth * kSmoothPole;
    const double out = ((L * v) * kOutputGain + (-(L * kOutputGain)) * out2) * outScale;

    inPrev = x;
    coupledPrev = h;
    net3 = net2;
    net2 = net1;
    net1 = r;
    out2 = out1;
    out1 = v;
    gainSmooth = g;
    levelSmooth = L;
    // A non-finite value never leaves the network by itself: start the next sample clean. This
    // sample's output is finite all the same, as the clipper maps NaN and infinity to zero.
    if (!(std::isfinite(coupledPrev) && std::isfinite(net1) && std::isfinite(out1)))
        ClearFilterMemories();
    return out;
}

void DriveCircuit::ClearFilterMemories() {
    inPrev = coupledPrev = 0.0;
    net1 = net2 = net3 = 0.0;
    out1 = out2 = 0.0;
}

bool DriveCircuit::FilterMemoriesFinite() const {
    return std::isfinite(inPrev) && std::isfinite(coupledPrev) && std::isfinite(net1) &&
           std::isfinite(net2) && std::isfinite(net3) && std::isfinite(out1) && std::isfinite(out2);
}

// ---- Block path ----
//
// The same operations as Process in the same order, with what a block holds constant taken out
// of the loop: the control targets (the two exp) are computed once, and again only when the
// controls change; float buffers are widened and narrowed inside the loop, where the chain leaves
// the execution units idle, not in passes of their own. The loop-carried chain (the
// gain network's multiply, two additions, division and subtraction) sets the pace, so the two
// channels run side by side in the two lanes of a SIMD register (below): each lane performs
// exactly the IEEE operations of the scalar code, and nothing is contracted or reassociated.
//
// Non-finite state is rare, so the block is run in chunks and the state checked after each; a
// chunk that left a circuit non-finite is run again for that circuit through Process, which
// clears the memories at the right sample.
//
// Subnormal values are computed, not flushed: after an input that leaves the coupling stage at
// exactly zero, the network decays into a cycle of subnormal values whose outputs are themselves
// subnormal (and give signed zeros in single precision), so flushing would change output bits.

namespace {

constexpr int kChunk = 256;

// A scalar rerun of one circuit over one chunk, with the targets Process computes itself.
template <typename T>
void RunScalar(DriveCircuit& c, const T* x, T* out, int n, double gain, double level) {
    for (int s = 0; s < n; ++s)
        out[s] = static_cast<T>(c.Process(x[s], gain, level));
}

// The control targets Process computes on every sample; a block holds the controls, so it needs
// them once, and only when they changed since the last block.
void ControlTargets(DriveCircuit& c, double gain, double level, double& gTerm, double& lTerm) {
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): the bits, so -0 and NaN count
    if (std::memcmp(&gain, &c.memoGain, sizeof gain) != 0) {
        c.memoGainTarget = GainTarget(gain);
        c.memoGain = gain;
    }
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): the bits, so -0 and NaN count
    if (std::memcmp(&level, &c.memoLevel, sizeof level) != 0) {
        c.memoLevelTarget = LevelTarget(level);
        c.memoLevel = level;
    }
    gTerm = c.memoGainTarget;
    lTerm = c.memoLevelTarget;
}

// ---- Two lanes ----
//
// The block path runs on a pair of doubles, one lane per channel, with the operations below: SSE2
// on x86-64, NEON on 64-bit ARM, and two plain doubles elsewhere (or with
// ZERUB_PORTABLE_LANES). Each performs exactly the IEEE operation of the scalar code on each
// lane, so all three give the definition's bits.

// The loop's parts are lambdas over shared registers; a call per sample would put them in memory.
#if defined(__GNUC__)
#define ZERUB_INLINE __attribute__((always_inline))
#else
#define ZERUB_INLINE
#endif

#if defined(ZERUB_PORTABLE_LANES)
#define ZERUB_LANES_PORTABLE 1
#elif defined(__SSE2__)
#define ZERUB_LANES_SSE2 1
#elif defined(__aarch64__) && defined(__ARM_NEON)
#define ZERUB_LANES_NEON 1
#else
#define ZERUB_LANES_PORTABLE 1
#endif

struct WideTable {
    double v[kDiodeTableEntries + 1];
};

// The curve widened to double; T[i] and T[i + 1] are adjacent, so one unaligned load reads both.
// The last entry is repeated once, for the clamped index below.
WideTable Widen() {
    WideTable t{};
    for (int i = 0; i < kDiodeTableEntries; ++i)
        t.v[i] = static_cast<double>(diode_table.values[i]);
    t.v[kDiodeTableEntries] = t.v[kDiodeTableEntries - 1];
    return t;
}

const WideTable kWide = Widen();

// The clipper on both lanes is branch-free (a heavily driven signal crosses the table's end at
// random), in fewer operations than its three cases: t is never negative, so the conversion
// fails (NaN, or 2^31 and beyond: the curve gives 0) exactly where !(t < 2^31). Elsewhere t is
// clamped to 99, where the interpolation reads T[99] with weight 1 and its copy T[100] with
// weight 0, which is T[99] exactly: the flat part. Below 99 nothing changes. A NaN clamps to 99
// (a valid index, then masked).
constexpr double kClipEnd = kDiodeTableEntries - 1; // the last entry's index
constexpr double kClipLimit = 2147483648.0;

#if defined(ZERUB_LANES_SSE2)

using Lanes2 = __m128d;

inline Lanes2 Pair(double a, double b) {
    return _mm_set_pd(b, a); // lane 0 holds a
}
inline Lanes2 Splat(double x) {
    return _mm_set1_pd(x);
}
inline Lanes2 Add(Lanes2 a, Lanes2 b) {
    return _mm_add_pd(a, b);
}
inline Lanes2 Sub(Lanes2 a, Lanes2 b) {
    return _mm_sub_pd(a, b);
}
inline Lanes2 Mul(Lanes2 a, Lanes2 b) {
    return _mm_mul_pd(a, b);
}
inline Lanes2 Div(Lanes2 a, Lanes2 b) {
    return _mm_div_pd(a, b);
}
inline Lanes2 Negate(Lanes2 a) {
    return _mm_xor_pd(a, _mm_set1_pd(-0.0));
}
inline void Store(double* p, Lanes2 v) {
    _mm_store_pd(p, v);
}
inline Lanes2 Load(const double* p) {
    return _mm_load_pd(p);
}
inline void Extract(Lanes2 v, double& a, double& b) {
    _mm_storel_pd(&a, v);
    _mm_storeh_pd(&b, v);
}

// One sample of each channel into the two lanes, and back out. Single precision is widened and
// narrowed here, inside the loop, where the recurrence leaves the units idle; each conversion is
// the one a scalar cast performs (widening is exact, narrowing rounds as the current mode says).
inline Lanes2 LoadPair(const double* a, const double* b) {
    return _mm_loadh_pd(_mm_load_sd(a), b);
}
inline Lanes2 LoadPair(const float* a, const float* b) {
    return _mm_cvtps_pd(_mm_unpacklo_ps(_mm_load_ss(a), _mm_load_ss(b)));
}
inline void StorePair(Lanes2 v, double* a, double* b) {
    _mm_storel_pd(a, v);
    _mm_storeh_pd(b, v);
}
inline void StorePair(Lanes2 v, float* a, float* b) {
    const __m128 f = _mm_cvtpd_ps(v);
    _mm_store_ss(a, f);
    _mm_store_ss(b, _mm_shuffle_ps(f, f, _MM_SHUFFLE(1, 1, 1, 1)));
}

// Two frames at once: single precision moves two samples of a channel in one load or store.
inline void LoadTwoPairs(const double* a, const double* b, Lanes2& first, Lanes2& second) {
    first = LoadPair(a, b);
    second = LoadPair(a + 1, b + 1);
}
inline void LoadTwoPairs(const float* a, const float* b, Lanes2& first, Lanes2& second) {
    const __m128 ab =
        _mm_unpacklo_ps(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a))),
                        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b))));
    first = _mm_cvtps_pd(ab);                     // a[0], b[0]
    second = _mm_cvtps_pd(_mm_movehl_ps(ab, ab)); // a[1], b[1]
}
inline void StoreTwoPairs(Lanes2 first, Lanes2 second, double* a, double* b) {
    StorePair(first, a, b);
    StorePair(second, a + 1, b + 1);
}
inline void StoreTwoPairs(Lanes2 first, Lanes2 second, float* a, float* b) {
    __m128 f = _mm_movelh_ps(_mm_cvtpd_ps(first), _mm_cvtpd_ps(second)); // a0 b0 a1 b1
    f = _mm_shuffle_ps(f, f, _MM_SHUFFLE(3, 1, 2, 0));                   // a0 a1 b0 b1
    _mm_storel_pi(reinterpret_cast<__m64*>(a), f);
    _mm_storeh_pi(reinterpret_cast<__m64*>(b), f);
}

inline Lanes2 ClipPair(Lanes2 y) {
    const __m128d signMask = _mm_set1_pd(-0.0);
    const __m128d t = _mm_mul_pd(_mm_andnot_pd(signMask, y), _mm_set1_pd(kTableScale));
    const __m128d fails = _mm_cmpnlt_pd(t, _mm_set1_pd(kClipLimit));
    const __m128d clamped = _mm_min_pd(t, _mm_set1_pd(kClipEnd)); // NaN gives the second
    const __m128i i = _mm_cvttpd_epi32(clamped);
    const __m128d f = _mm_sub_pd(clamped, _mm_cvtepi32_pd(i));
    // Both indices (0 to 99) in one move to a general register.
    const uint64_t pair = static_cast<uint64_t>(_mm_cvtsi128_si64(i));
    const __m128d p0 = _mm_loadu_pd(kWide.v + static_cast<uint32_t>(pair));
    const __m128d p1 = _mm_loadu_pd(kWide.v + (pair >> 32));
    const __m128d lo = _mm_unpacklo_pd(p0, p1); // T[i]
    const __m128d hi = _mm_unpackhi_pd(p0, p1); // T[i + 1]
    const __m128d u = _mm_andnot_pd(
        fails, _mm_add_pd(_mm_mul_pd(hi, f), _mm_mul_pd(_mm_sub_pd(_mm_set1_pd(1.0), f), lo)));
    return _mm_or_pd(u, _mm_and_pd(signMask, y)); // u is never negative: copysign
}

// True when the smoother's next value is, bit for bit, its current one: from then on it stays
// there, and everything computed from it is the same on every sample.
inline bool Settled(Lanes2 next, Lanes2 current) {
    return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_castpd_si128(next), _mm_castpd_si128(current))) ==
           0xFFFF;
}

#elif defined(ZERUB_LANES_NEON)

using Lanes2 = float64x2_t;

inline Lanes2 Pair(double a, double b) {
    return vsetq_lane_f64(b, vdupq_n_f64(a), 1); // lane 0 holds a
}
inline Lanes2 Splat(double x) {
    return vdupq_n_f64(x);
}
inline Lanes2 Add(Lanes2 a, Lanes2 b) {
    return vaddq_f64(a, b);
}
inline Lanes2 Sub(Lanes2 a, Lanes2 b) {
    return vsubq_f64(a, b);
}
inline Lanes2 Mul(Lanes2 a, Lanes2 b) {
    return vmulq_f64(a, b);
}
inline Lanes2 Div(Lanes2 a, Lanes2 b) {
    return vdivq_f64(a, b);
}
inline Lanes2 Negate(Lanes2 a) {
    return vnegq_f64(a);
}
inline void Store(double* p, Lanes2 v) {
    vst1q_f64(p, v);
}
inline Lanes2 Load(const double* p) {
    return vld1q_f64(p);
}
inline void Extract(Lanes2 v, double& a, double& b) {
    a = vgetq_lane_f64(v, 0);
    b = vgetq_lane_f64(v, 1);
}

// Conversions as a scalar cast performs them: widening exact, narrowing to nearest.
inline Lanes2 LoadPair(const double* a, const double* b) {
    return Pair(*a, *b);
}
inline Lanes2 LoadPair(const float* a, const float* b) {
    return vcvt_f64_f32(vset_lane_f32(*b, vdup_n_f32(*a), 1));
}
inline void StorePair(Lanes2 v, double* a, double* b) {
    vst1q_lane_f64(a, v, 0);
    vst1q_lane_f64(b, v, 1);
}
inline void StorePair(Lanes2 v, float* a, float* b) {
    const float32x2_t f = vcvt_f32_f64(v);
    vst1_lane_f32(a, f, 0);
    vst1_lane_f32(b, f, 1);
}
inline void LoadTwoPairs(const double* a, const double* b, Lanes2& first, Lanes2& second) {
    const float64x2_t va = vld1q_f64(a), vb = vld1q_f64(b);
    first = vzip1q_f64(va, vb);
    second = vzip2q_f64(va, vb);
}
inline void LoadTwoPairs(const float* a, const float* b, Lanes2& first, Lanes2& second) {
    const float32x2_t va = vld1_f32(a), vb = vld1_f32(b);
    first = vcvt_f64_f32(vzip1_f32(va, vb));
    second = vcvt_f64_f32(vzip2_f32(va, vb));
}
inline void StoreTwoPairs(Lanes2 first, Lanes2 second, double* a, double* b) {
    vst1q_f64(a, vzip1q_f64(first, second));
    vst1q_f64(b, vzip2q_f64(first, second));
}
inline void StoreTwoPairs(Lanes2 first, Lanes2 second, float* a, float* b) {
    const float32x2_t f0 = vcvt_f32_f64(first), f1 = vcvt_f32_f64(second);
    vst1_f32(a, vzip1_f32(f0, f1));
    vst1_f32(b, vzip2_f32(f0, f1));
}

inline Lanes2 ClipPair(Lanes2 y) {
    const float64x2_t t = vmulq_f64(vabsq_f64(y), vdupq_n_f64(kTableScale));
    const uint64x2_t inRange = vcltq_f64(t, vdupq_n_f64(kClipLimit));
    // The minimum that takes the number when one side is NaN, as the definition's clamp does.
    const float64x2_t clamped = vminnmq_f64(t, vdupq_n_f64(kClipEnd));
    const int64x2_t i = vcvtq_s64_f64(clamped);
    const float64x2_t f = vsubq_f64(clamped, vcvtq_f64_s64(i));
    const float64x2_t p0 = vld1q_f64(kWide.v + vgetq_lane_s64(i, 0));
    const float64x2_t p1 = vld1q_f64(kWide.v + vgetq_lane_s64(i, 1));
    const float64x2_t lo = vzip1q_f64(p0, p1); // T[i]
    const float64x2_t hi = vzip2q_f64(p0, p1); // T[i + 1]
    const float64x2_t sum =
        vaddq_f64(vmulq_f64(hi, f), vmulq_f64(vsubq_f64(vdupq_n_f64(1.0), f), lo));
    const uint64x2_t u = vandq_u64(inRange, vreinterpretq_u64_f64(sum));
    // u is never negative: the sign bit from y is copysign.
    return vbslq_f64(vdupq_n_u64(0x8000000000000000ull), y, vreinterpretq_f64_u64(u));
}

inline bool Settled(Lanes2 next, Lanes2 current) {
    const uint64x2_t same = vceqq_u64(vreinterpretq_u64_f64(next), vreinterpretq_u64_f64(current));
    return (vgetq_lane_u64(same, 0) & vgetq_lane_u64(same, 1)) == ~0ull;
}

#else // portable

struct Lanes2 {
    double a, b;
};

inline Lanes2 Pair(double a, double b) {
    return {a, b};
}
inline Lanes2 Splat(double x) {
    return {x, x};
}
inline Lanes2 Add(Lanes2 x, Lanes2 y) {
    return {x.a + y.a, x.b + y.b};
}
inline Lanes2 Sub(Lanes2 x, Lanes2 y) {
    return {x.a - y.a, x.b - y.b};
}
inline Lanes2 Mul(Lanes2 x, Lanes2 y) {
    return {x.a * y.a, x.b * y.b};
}
inline Lanes2 Div(Lanes2 x, Lanes2 y) {
    return {x.a / y.a, x.b / y.b};
}
inline Lanes2 Negate(Lanes2 x) {
    return {-x.a, -x.b};
}
inline void Store(double* p, Lanes2 v) {
    p[0] = v.a;
    p[1] = v.b;
}
inline Lanes2 Load(const double* p) {
    return {p[0], p[1]};
}
inline void Extract(Lanes2 v, double& a, double& b) {
    a = v.a;
    b = v.b;
}
template <typename T>
inline Lanes2 LoadPair(const T* a, const T* b) {
    return {static_cast<double>(*a), static_cast<double>(*b)};
}
template <typename T>
inline void StorePair(Lanes2 v, T* a, T* b) {
    *a = static_cast<T>(v.a);
    *b = static_cast<T>(v.b);
}
template <typename T>
inline void LoadTwoPairs(const T* a, const T* b, Lanes2& first, Lanes2& second) {
    first = LoadPair(a, b);
    second = LoadPair(a + 1, b + 1);
}
template <typename T>
inline void StoreTwoPairs(Lanes2 first, Lanes2 second, T* a, T* b) {
    StorePair(first, a, b);
    StorePair(second, a + 1, b + 1);
}

inline double ClipLane(double y) {
    const double t = std::fabs(y) * kTableScale;
    const bool inRange = t < kClipLimit;
    const double clamped = t < kClipEnd ? t : kClipEnd; // NaN gives the end
    const int i = static_cast<int>(clamped);
    const double f = clamped - static_cast<double>(i);
    const double u = inRange ? kWide.v[i + 1] * f + (1.0 - f) * kWide.v[i] : 0.0;
    return std::copysign(u, y);
}
inline Lanes2 ClipPair(Lanes2 y) {
    return {ClipLane(y.a), ClipLane(y.b)};
}

inline bool Settled(Lanes2 next, Lanes2 current) {
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): the bits, so -0 and NaN count
    return std::memcmp(&next, &current, sizeof next) == 0;
}

#endif

struct PairState {
    Lanes2 gs, ls, ip, cp, n1, n2, n3, o1, o2;
};

struct PairCoefficients {
    Lanes2 aG[4], aB[4], bG[4], bB[4];
    Lanes2 oA1, oA2, oInv, oScale;
};

// One chunk of both circuits, inputs xa and xb. kSettled: both
// smoothers have settled (g and L are the same on every sample), so the gain network's
// coefficients and the level's products are formed once, with the same operations.
//
// The loop is split in pipelined parts: the gain network's recurrence (which sets the pace) for
// frame s; its feed-forward sum for frame s - 1 once the controls have settled (so that the
// recurrence's operations, earlier in program order, win the execution units whenever both are
// ready at once); and the clipper and output stage for frame s - kLag, whose input is long
// computed. Run in one piece, the clipper's long latency holds up retirement and the recurrence
// stalls; the operations on each value are the same either way.
template <bool kSettled, typename T>
void RunPairLoop(PairState& st, const PairCoefficients& k, const T* xa, const T* xb, T* outA,
                 T* outB, int n, Lanes2 gTerm, Lanes2 lTerm) {
    constexpr int kLag = 4;
    const Lanes2 pole = Splat(kSmoothPole);
    const Lanes2 k2 = Splat(kOutputGain);

    Lanes2 a0 = Splat(0.0), a1 = a0, a2 = a0, a3 = a0, b0 = a0, b1 = a0, b2 = a0, b3 = a0;
    Lanes2 L = a0, negLk = a0;
    auto coefficients = [&](Lanes2 g) ZERUB_INLINE {
        a0 = Add(Mul(k.aG[0], g), k.aB[0]);
        a1 = Add(Mul(k.aG[1], g), k.aB[1]);
        a2 = Add(Mul(k.aG[2], g), k.aB[2]);
        a3 = Add(Mul(k.aG[3], g), k.aB[3]);
        b0 = Add(Mul(k.bG[0], g), k.bB[0]);
        b1 = Add(Mul(k.bG[1], g), k.bB[1]);
        b2 = Add(Mul(k.bG[2], g), k.bB[2]);
        b3 = Add(Mul(k.bG[3], g), k.bB[3]);
    };
    auto level = [&](Lanes2 l) ZERUB_INLINE {
        L = l;
        negLk = Negate(Mul(L, k2));
    };
    if (kSettled) {
        coefficients(st.gs);
        level(st.ls);
    }

    Lanes2 ip = st.ip, cp = st.cp, n1 = st.n1, n2 = st.n2, n3 = st.n3, o1 = st.o1, o2 = st.o2;
    Lanes2 gs = st.gs, ls = st.ls;
    // The recurrence's values r from frame -3 on (the three before the chunk are its memories),
    // and the gain network's outputs y, two lanes a frame.
    alignas(16) double rLanes[2 * (kChunk + 3)];
    alignas(16) double yLanes[2 * kChunk];
    double* const r0 = rLanes + 6;
    Store(r0 - 6, n3);
    Store(r0 - 4, n2);
    Store(r0 - 2, n1);

    auto recurrence = [&](int s, Lanes2 xs) ZERUB_INLINE {
        if (!kSettled) {
            gs = Add(Mul(gs, pole), gTerm);
            coefficients(gs);
        }
        const Lanes2 h = Sub(Add(cp, xs), ip);
        const Lanes2 fb = Add(Mul(a3, n3), Add(Mul(a2, n2), Mul(a1, n1)));
        const Lanes2 r = Sub(h, Div(fb, a0));
        Store(r0 + 2 * s, r);
        ip = xs;
        cp = h;
        n3 = n2;
        n2 = n1;
        n1 = r;
    };
    // y for frame j, from r of frames j - 3 .. j, with the coefficients of frame j (current
    // until the next recurrence step when they are still moving).
    auto feedForward = [&](int j) ZERUB_INLINE {
        const double* r = r0 + 2 * j;
        const Lanes2 ff =
            Add(Mul(b3, Load(r - 6)),
                Add(Mul(b2, Load(r - 4)), Add(Mul(b1, Load(r - 2)), Mul(b0, Load(r)))));
        Store(yLanes + 2 * j, Div(ff, a0));
    };
    auto output = [&](int s) ZERUB_INLINE -> Lanes2 {
        const Lanes2 c = ClipPair(Load(yLanes + 2 * s));
        const Lanes2 v = Sub(c, Mul(Add(Mul(k.oA2, o2), Mul(k.oA1, o1)), k.oInv));
        if (!kSettled) {
            ls = Add(lTerm, Mul(ls, pole));
            level(ls);
        }
        const Lanes2 out = Mul(Add(Mul(Mul(L, v), k2), Mul(negLk, o2)), k.oScale);
        o2 = o1;
        o1 = v;
        return out;
    };

    constexpr int kFeedLag = kSettled ? 1 : 0;
    int s = 0;
    for (; s < n && s < kLag; ++s) {
        recurrence(s, LoadPair(xa + s, xb + s));
        if (s >= kFeedLag) feedForward(s - kFeedLag);
    }
    // Two frames a turn, so that their samples load and store together. Each output is written
    // after the input of a later frame was read, so an output may be its own input.
    for (; s + 1 < n; s += 2) {
        Lanes2 x0, x1;
        LoadTwoPairs(xa + s, xb + s, x0, x1);
        recurrence(s, x0);
        feedForward(s - kFeedLag);
        const Lanes2 out0 = output(s - kLag);
        recurrence(s + 1, x1);
        feedForward(s + 1 - kFeedLag);
        const Lanes2 out1 = output(s + 1 - kLag);
        StoreTwoPairs(out0, out1, outA + s - kLag, outB + s - kLag);
    }
    for (; s < n; ++s) {
        recurrence(s, LoadPair(xa + s, xb + s));
        feedForward(s - kFeedLag);
        StorePair(output(s - kLag), outA + s - kLag, outB + s - kLag);
    }
    for (int j = n - kFeedLag; j < n; ++j)
        if (j >= 0) feedForward(j);
    for (s = n > kLag ? n - kLag : 0; s < n; ++s)
        StorePair(output(s), outA + s, outB + s);
    st = {gs, ls, ip, cp, n1, n2, n3, o1, o2};
}

// Runs one chunk of both circuits and stores the state of each lane whose filter memories
// stayed finite. Returns the lanes that did not (bit 0: a, bit 1: b): their circuits are left as
// they were at the chunk's start, to be run again per sample.
template <typename T>
int RunPair(DriveCircuit& a, DriveCircuit& b, const T* xa, const T* xb, T* outA, T* outB, int n,
            double gTermValue, double lTermValue) {
    PairCoefficients k;
    for (int i = 0; i < 4; ++i) {
        k.aG[i] = Pair(a.aGain[i], b.aGain[i]);
        k.aB[i] = Pair(a.aBase[i], b.aBase[i]);
        k.bG[i] = Pair(a.bGain[i], b.bGain[i]);
        k.bB[i] = Pair(a.bBase[i], b.bBase[i]);
    }
    k.oA1 = Pair(a.outA1, b.outA1);
    k.oA2 = Pair(a.outA2, b.outA2);
    k.oInv = Pair(a.outInvA0, b.outInvA0);
    k.oScale = Pair(a.outScale, b.outScale);

    PairState st = {Pair(a.gainSmooth, b.gainSmooth),
                    Pair(a.levelSmooth, b.levelSmooth),
                    Pair(a.inPrev, b.inPrev),
                    Pair(a.coupledPrev, b.coupledPrev),
                    Pair(a.net1, b.net1),
                    Pair(a.net2, b.net2),
                    Pair(a.net3, b.net3),
                    Pair(a.out1, b.out1),
                    Pair(a.out2, b.out2)};
    const Lanes2 gTerm = Splat(gTermValue), lTerm = Splat(lTermValue);
    const Lanes2 pole = Splat(kSmoothPole);
    const bool settled = Settled(Add(Mul(st.gs, pole), gTerm), st.gs) &&
                         Settled(Add(lTerm, Mul(st.ls, pole)), st.ls);
    if (settled)
        RunPairLoop<true, T>(st, k, xa, xb, outA, outB, n, gTerm, lTerm);
    else
        RunPairLoop<false, T>(st, k, xa, xb, outA, outB, n, gTerm, lTerm);

    // A non-finite memory persists to the chunk's end, so one look at the end finds it. The
    // sum is non-finite when any term is (or, harmlessly, when it overflows: a rerun per sample
    // gives the same result), and x - x is zero exactly when x is finite.
    const Lanes2 sum =
        Add(Add(Add(st.ip, st.cp), Add(st.n1, st.n2)), Add(Add(st.n3, st.o1), st.o2));
    double sumA, sumB;
    Extract(Sub(sum, sum), sumA, sumB);
    const bool keepA = sumA == 0.0, keepB = sumB == 0.0;
    auto store = [&](Lanes2 v, double& da, double& db) {
        double la, lb;
        Extract(v, la, lb);
        if (keepA) da = la;
        if (keepB) db = lb;
    };
    store(st.gs, a.gainSmooth, b.gainSmooth);
    store(st.ls, a.levelSmooth, b.levelSmooth);
    store(st.ip, a.inPrev, b.inPrev);
    store(st.cp, a.coupledPrev, b.coupledPrev);
    store(st.n1, a.net1, b.net1);
    store(st.n2, a.net2, b.net2);
    store(st.n3, a.net3, b.net3);
    store(st.o1, a.out1, b.out1);
    store(st.o2, a.out2, b.out2);
    return (keepA ? 0 : 1) | (keepB ? 0 : 2);
}

template <typename T>
void BlockPair(DriveCircuit& a, DriveCircuit& b, const T* inA, const T* inB, T* outA, T* outB,
               int nFrames, double gain, double level) {
    double gTerm, lTerm;
    ControlTargets(a, gain, level, gTerm, lTerm);
    // A rerun needs the chunk's input: keep a copy when an output overwrites an input.
    const bool aliased = outA == inA || outA == inB || outB == inA || outB == inB;
    T copyA[kChunk], copyB[kChunk];
    for (int start = 0; start < nFrames; start += kChunk) {
        const int n = nFrames - start < kChunk ? nFrames - start : kChunk;
        const T* xa = inA + start;
        const T* xb = inB + start;
        if (aliased) {
            std::memcpy(copyA, xa, sizeof(T) * static_cast<size_t>(n));
            std::memcpy(copyB, xb, sizeof(T) * static_cast<size_t>(n));
            xa = copyA;
            xb = copyB;
        }
        const int rerun = RunPair(a, b, xa, xb, outA + start, outB + start, n, gTerm, lTerm);
        if (rerun & 1) RunScalar(a, xa, outA + start, n, gain, level);
        if (rerun & 2) RunScalar(b, xb, outB + start, n, gain, level);
    }
}

} // namespace

void ProcessBlockPair(DriveCircuit& a, DriveCircuit& b, const double* inA, const double* inB,
                      double* outA, double* outB, int nFrames, double gain, double level) {
    BlockPair(a, b, inA, inB, outA, outB, nFrames, gain, level);
}

void ProcessBlockPair(DriveCircuit& a, DriveCircuit& b, const float* inA, const float* inB,
                      float* outA, float* outB, int nFrames, double gain, double level) {
    BlockPair(a, b, inA, inB, outA, outB, nFrames, gain, level);
}
