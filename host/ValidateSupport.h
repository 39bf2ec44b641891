// What the validator's checks share: the report, a rig that renders an instance with input from
// a test signal, and small readers. The checks are grouped by subject, one file each; each group
// drives the instance it is given and may open others of the same component.
#pragma once

#include "host/HostApi.h"

#include <AudioToolbox/AudioToolbox.h>

#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace validate {

constexpr double kDefaultRate = 44100.0;
// What the rig's output buffers hold before each render: a value no unit writes by chance, so
// that what is left of it was not rendered.
constexpr float kUnwritten = 1234.5f;

// One line per check: "PASS  name", "FAIL  name: reason", "WARN  name: reason" or
// "SKIP  name: reason". FAIL is for what breaks a host or the API's contract; WARN for what the
// API allows but a careful unit avoids. A quiet report prints nothing and keeps the first
// failure, for checks repeated in shuffled rounds.
class Report {
public:
    explicit Report(std::ostream* stream) : out(stream) {}
    bool Check(const std::string& name, bool ok, const std::string& reason = "");
    bool CheckStatus(const std::string& name, OSStatus status);
    // As Check, for a policy rather than a contract: a miss is a warning, not a failure.
    bool Warn(const std::string& name, bool ok, const std::string& reason = "");
    void Skip(const std::string& name, const std::string& reason);
    int failed = 0;
    int warned = 0;
    int total = 0;
    std::string firstFailure;

private:
    std::ostream* out;
};

struct Context {
    AudioComponent component = nullptr;
    std::string path; // the bundle named on the command line; empty: the search path
    std::vector<ParameterDescription> parameters;
    std::mt19937 random; // seeded from the run's seed
    // A new instance, or null after a failed check named check.
    AudioComponentInstance Fresh(Report& report, const std::string& check);
};

using Group = void (*)(Context&, AudioUnit, Report&);

// The groups, by subject (each in its own file).
void IdentityChecks(Context&, AudioUnit, Report&);
void EntryChecks(Context&, AudioUnit, Report&);
void PropertyChecks(Context&, AudioUnit, Report&);
void FormatChecks(Context&, AudioUnit, Report&);
void ParameterChecks(Context&, AudioUnit, Report&);
void StateChecks(Context&, AudioUnit, Report&);
void RenderChecks(Context&, AudioUnit, Report&);
void RenderMatrixChecks(Context&, AudioUnit, Report&);
void BypassChecks(Context&, AudioUnit, Report&);
void NotifyChecks(Context&, AudioUnit, Report&);
void ListenerChecks(Context&, AudioUnit, Report&);
void RealtimeChecks(Context&, AudioUnit, Report&);
void ConcurrencyChecks(Context&, AudioUnit, Report&);
void LatencyChecks(Context&, AudioUnit, Report&);

std::string Number(double value);
std::string Label(const ParameterDescription& p);
bool IsSwitch(const ParameterDescription& p);
// Whether a unit keeps the parameter in its saved state: not a meter, not read-only, not left
// out of presets.
bool KeptInState(const ParameterDescription& p);
// Every sample finite and written.
bool AllFinite(const std::vector<float>& samples);
// Full-scale white noise from a fixed integer hash: every run repeats it.
float Noise(long n, int c);

OSStatus SetFormat(AudioUnit unit, AudioUnitScope scope, double rate, UInt32 channels);
Float32 GetParam(AudioUnit unit, AudioUnitParameterID id, OSStatus* status);
// "" when every parameter of other has the value in want, else the first difference.
std::string CompareParams(AudioUnit other, const std::map<AudioUnitParameterID, float>& want);
std::map<AudioUnitParameterID, float> ReadParams(AudioUnit unit,
                                                 const std::vector<ParameterDescription>& params);
// Distinct in-range values away from the defaults (switches rounded), as a saved state holds.
float StateValue(const ParameterDescription& p);
// The class-info dictionary (a new reference), or null with the status in *status.
CF_RETURNS_RETAINED CFPropertyListRef SaveClassInfo(AudioUnit unit, OSStatus* status);
OSStatus RestoreClassInfo(AudioUnit unit, CFPropertyListRef state);

// A test signal: sample of channel c at frame n.
using Signal = std::function<float(long n, int c)>;

// Drives one instance with input from a Signal through the render callback, one render call per
// Render. Buffers are sized once, so the rig itself does not allocate while rendering.
class Rig {
public:
    Rig(AudioUnit unit, UInt32 channels = 2, double rate = kDefaultRate, UInt32 maxFrames = 4096);
    ~Rig(); // disconnects the callback, so the unit keeps no pointer to the rig

    // Formats on both sides, the maximum frames and the callback; does not initialise.
    OSStatus Prepare();
    // Prepare, then initialise (uninitialising first).
    OSStatus Start();
    // One render call of frames at the running sample time; the output lands in out.
    OSStatus Render(UInt32 frames, bool sampleTimeValid = true);

    Signal signal = [](long, int) { return 0.0f; };
    std::vector<float> out[2];
    std::vector<float> in[2]; // what the callback supplied for the last block
    long position = 0;
    int pulls = 0;      // input callbacks so far
    bool probe = false; // count allocations and locks around each AudioUnitRender
    const UInt32 channels;
    const double rate;
    const UInt32 maxFrames;

private:
    static OSStatus Supply(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* time,
                           UInt32, UInt32 frames, AudioBufferList* data);
    AudioUnit unit;
};

} // namespace validate
