// Per-channel model of an analogue drive stage: input coupling, a third-order gain network whose
// coefficients follow the smoothed Gain control, a table-driven diode clipper, and a second-order
// output stage scaled by the smoothed Level control.
//
// Output is bit-exact across builds that keep every product and sum rounded on its own: build
// with -ffp-contract=off and without fast-math. This file depends on nothing else in the project.
#pragma once

#include <cstdint>
#include <limits>

// The clipper's curve record. Only the curve values are read at run time; the header fields
// document the curve (lower and upper level, index scale, entry count).
constexpr int kDiodeTableEntries = 100;
struct DiodeTable {
    float lower;
    float upper;
    float scale;
    int32_t count;
    float values[kDiodeTableEntries];
};

extern const DiodeTable diode_table;

// The highest rate the circuit computes its coefficients for; above it, it runs as if at this.
constexpr double kDriveCircuitMaxRate = 192000.0;

// The clipping curve: odd-symmetric, linear interpolation over the table for
// |y| < (kDiodeTableEntries - 1) / scale, flat at the last entry beyond. NaN gives a zero of the
// NaN's sign.
double diodeclip(double y);

class DriveCircuit {
public:
    DriveCircuit() = default;

    // Recomputes the coefficients for a sample rate in Hz, truncated to an integer and clamped to
    // [1, kDriveCircuitMaxRate]. Leaves the per-sample state alone. Call before each block's first
    // Process.
    void Calc(double sampleRate);
    // Calc, unless the last Calc was given this very rate: the coefficients depend on nothing
    // else, so a block need not recompute them.
    void CalcIfChanged(double sampleRate);

    // One sample: the definition every faster path must reproduce bit for bit. gain and level
    // are the raw control values in [0, 1]. When the filter state stops being finite (a NaN or
    // infinite input, or an overflow), the filter memories are cleared after the sample, so the
    // next sample starts clean; the smoothed controls are kept.
    double Process(double x, double gain, double level);

    // Zeroes the filter memories (input coupling, gain network, output stage), not the smoothed
    // controls.
    void ClearFilterMemories();
    bool FilterMemoriesFinite() const;

    // Coefficients, written by Calc. Effective gain-network coefficients are
    // A_k = aGain[k] * g + aBase[k] and B_k = bGain[k] * g + bBase[k].
    double sampleRate = 0.0;
    double aGain[4] = {}, aBase[4] = {};
    double bGain[4] = {}, bBase[4] = {};
    double outA0 = 0.0, outA1 = 0.0, outA2 = 0.0;
    double outInvA0 = 0.0;
    double outScale = 0.0;

    // Per-sample state, zero at construction. The smoothed controls are never reset, so a new
    // instance fades in and the controls carry across bypass, host resets and rate changes; the
    // filter memories are cleared by ClearFilterMemories (a host reset, a non-finite sample).
    double gainSmooth = 0.0;
    double levelSmooth = 0.0;
    double inPrev = 0.0;
    double coupledPrev = 0.0;
    double net1 = 0.0, net2 = 0.0, net3 = 0.0;
    double out1 = 0.0, out2 = 0.0;

    // Memos, not state (kept last so that state and coefficients compare as one run of bytes):
    // the rate Calc was last given, and the block path's control targets for the last gain and
    // level it saw, so that a block whose controls did not move spends no exp.
    double calcRate = std::numeric_limits<double>::quiet_NaN();
    double memoGain = std::numeric_limits<double>::quiet_NaN();
    double memoLevel = std::numeric_limits<double>::quiet_NaN();
    double memoGainTarget = 0.0, memoLevelTarget = 0.0;
};

// Runs two circuits over a block with the controls held: bit-identical to calling Process on
// each circuit once per sample with the same arguments. The two channels share SIMD lanes, so
// this costs about what one channel costs. Calc must have run on both. in and out may alias.
void ProcessBlockPair(DriveCircuit& a, DriveCircuit& b, const double* inA, const double* inB,
                      double* outA, double* outB, int nFrames, double gain, double level);
// The same for single-precision buffers, as hosts hand them over: each input is widened and each
// output narrowed inside the loop, so the result is bit-identical to
// float(Process(double(x), gain, level)) per sample. in and out may alias.
void ProcessBlockPair(DriveCircuit& a, DriveCircuit& b, const float* inA, const float* inB,
                      float* outA, float* outB, int nFrames, double gain, double level);
