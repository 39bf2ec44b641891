// Each note is an extended plucked-string loop: a delay line one period long, fed at the pick by
// a burst of filtered noise shaped by the pick position, and closed through a two-point average
// with a loss factor that sets the ring time. Releasing a note raises the loss, as a fretting
// hand lifting off the string does; palm-muted notes start with a high loss and a darker pick.
#include "host/DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double kBeat = 0.5; // seconds at 120 beats per minute

// Notes as MIDI numbers: low E string and the E blues scale above it.
constexpr int E2 = 40, G2 = 43, A2 = 45, Bb2 = 46, B2 = 47, D3 = 50, E3 = 52, A3 = 57;

struct Note {
    double beat;     // start, in beats from the top
    double length;   // beats until the string is damped
    int pitch;       // MIDI note number
    double velocity; // 0..1, pick strength
    bool muted;      // palm-muted
};

// Small, fixed-seed generator: std:: distributions differ between library versions.
class Noise {
public:
    double Next() { // uniform in [-1, 1)
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<double>(state >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }

private:
    uint64_t state = 0x2545F4914F6CDD1DULL;
};

void AddPair(std::vector<Note>& notes, double beat, int pitch, double velocity, bool muted) {
    notes.push_back({beat, 0.5, pitch, velocity, muted});
}

// A power chord strummed down: strings a few milliseconds apart, low to high.
void AddChord(std::vector<Note>& notes, double beat, double length, const std::vector<int>& pitches,
              double velocity) {
    constexpr double kStrumBeats = 0.024; // 12 ms between strings
    for (size_t i = 0; i < pitches.size(); ++i)
        notes.push_back({beat + kStrumBeats * static_cast<double>(i), length, pitches[i],
                         velocity * (1.0 - 0.08 * static_cast<double>(i)), false});
}

// Four bars of eighth notes: a muted low-E pulse answered by open notes of the blues scale,
// ending on E5, A5, G5 and E5 chords.
std::vector<Note> Riff() {
    std::vector<Note> notes;
    const int answers[3][4] = {{G2, A2, Bb2, A2}, {G2, D3, B2, A2}, {G2, A2, Bb2, B2}};
    for (int bar = 0; bar < 3; ++bar) {
        const double top = bar * 4.0;
        const int* answer = answers[bar];
        AddPair(notes, top + 0.0, E2, 1.0, true);
        AddPair(notes, top + 0.5, E2, 0.7, true);
        AddPair(notes, top + 1.0, answer[0], 0.85, false);
        AddPair(notes, top + 1.5, E2, 0.7, true);
        AddPair(notes, top + 2.0, answer[1], 0.9, false);
        AddPair(notes, top + 2.5, E2, 0.7, true);
        AddPair(notes, top + 3.0, answer[2], 0.85, false);
        AddPair(notes, top + 3.5, answer[3], 0.8, false);
    }
    AddChord(notes, 12.0, 1.9, {E2, B2, E3}, 0.75);
    AddChord(notes, 14.0, 0.45, {A2, E3, A3}, 0.7);
    AddChord(notes, 14.5, 0.45, {G2, D3}, 0.7);
    AddChord(notes, 15.0, 2.0, {E2, B2, E3}, 0.75);
    return notes;
}

// Loss per pass through the loop for a 60 dB decay in t60 seconds at frequency f.
double LoopLoss(double f, double t60) {
    return std::pow(10.0, -3.0 / (f * t60));
}

// Adds one plucked note into out (mono, at rate).
void Pluck(const Note& note, double rate, Noise& noise, std::vector<double>& out) {
    const double f = 440.0 * std::pow(2.0, (note.pitch - 69) / 12.0);
    // The two-point average delays by half a sample; the rest of the period is the delay line,
    // read between samples by linear interpolation.
    const double delay = rate / f - 0.5;
    const int size = static_cast<int>(delay) + 2;
    std::vector<double> line(size, 0.0);

    const double ringT60 = note.muted ? 0.5 : 3.5 - 0.05 * (note.pitch - E2);
    const double ringLoss = LoopLoss(f, ringT60);
    const double dampLoss = LoopLoss(f, 0.06);
    // Harder picks are brighter: the burst's low-pass opens with velocity; palm mutes are dark.
    const double brightness = note.muted ? 0.3 : 0.35 + 0.5 * note.velocity;

    // The burst: one period of low-passed noise, with the pick position's comb (the wave
    // reflected from the near end cancels part of it) at one seventh of the string.
    const int burst = static_cast<int>(delay);
    const int pickOffset = std::max(1, burst / 7);
    std::vector<double> excite(burst, 0.0);
    double lp = 0.0;
    for (int i = 0; i < burst; ++i) {
        lp += brightness * (noise.Next() - lp);
        excite[i] = lp;
    }
    for (int i = burst - 1; i >= pickOffset; --i)
        excite[i] -= excite[i - pickOffset];

    const long start = std::lround(note.beat * kBeat * rate);
    const long release = start + std::lround(note.length * kBeat * rate);
    const long end =
        std::min<long>(static_cast<long>(out.size()), release + static_cast<long>(0.3 * rate));
    const double gain = 0.5 * note.velocity;
    int write = 0;
    double previous = 0.0;
    for (long n = start; n < end; ++n) {
        // Read the sample delay behind the write position.
        double readPos = write - delay;
        while (readPos < 0.0)
            readPos += size;
        const int i0 = static_cast<int>(readPos);
        const int i1 = (i0 + 1) % size;
        const double frac = readPos - i0;
        const double delayed = line[i0] + frac * (line[i1] - line[i0]);

        const double loss = n < release ? ringLoss : dampLoss;
        const double filtered = loss * 0.5 * (delayed + previous);
        previous = delayed;
        const long k = n - start;
        const double input = k < burst ? gain * excite[k] : 0.0;
        const double y = input + filtered;
        line[write] = y;
        write = (write + 1) % size;
        out[n] += y;
    }
}

} // namespace

PlanarAudio MakeDemoRiff() {
    std::vector<double> mix(kDemoFrames, 0.0);
    Noise noise;
    for (const Note& note : Riff())
        Pluck(note, kDemoSampleRate, noise, mix);

    // Remove any offset the loops leave, then set the peak.
    double x1 = 0.0, y1 = 0.0;
    for (double& s : mix) {
        const double y = s - x1 + 0.995 * y1;
        x1 = s;
        y1 = y;
        s = y;
    }
    double peak = 0.0;
    for (double s : mix)
        peak = std::max(peak, std::fabs(s));
    const double scale = peak > 0.0 ? std::pow(10.0, kDemoPeakDb / 20.0) / peak : 0.0;

    PlanarAudio riff(kDemoSampleRate, 1, kDemoFrames);
    for (int i = 0; i < kDemoFrames; ++i)
        riff.channels[0][i] = static_cast<float>(mix[i] * scale);
    return riff;
}
