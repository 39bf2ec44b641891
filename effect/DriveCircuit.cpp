#include "DriveCircuit.h"

#include <cmath>

// Figures from a circuit fit: keep every digit and every evaluation order as they are.

const DiodeTable diode_table = {
    0.0f,
    0.5937f,
    54.379f,
    100,
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

} // namespace

double diodeclip(double y) {
    const double t = std::fabs(y) * kTableScale;
    const int32_t i = TruncToInt32(t);
    double u;
    if (i < 0) {
        u = 0.0;
    } else if (i > 98) {
        u = kTableTop;
    } else {
        const double f = t - i;
        u = static_cast<double>(diode_table.values[i + 1]) * f +
            (1.0 - f) * static_cast<double>(diode_table.values[i]);
    }
    return std::copysign(u, y);
}

void DriveCircuit::Calc(double rate) {
    double fs = TruncToInt32(rate);
    fs = fs < 1.0 ? 1.0 : fs;
    fs = fs > 192000.0 ? 192000.0 : fs;
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
}

double DriveCircuit::Process(double x, double gain, double level) {
    // Control targets on exponential tapers, then one-pole smoothing.
    const double gTerm = (std::exp((1.0 - gain) * 5.0) - 1.0) * kSmoothTerm;
    const double lTerm = (std::exp(level * 7.0) - 1.0) * kSmoothTerm;
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
    return out;
}
