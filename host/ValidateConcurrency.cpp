// Concurrency: a render thread against a control thread that sets parameters, saves and restores
// the state, resets, and adds and removes render-notify procedures and property listeners. The
// group runs in a process of its own, so a crash is reported rather than fatal.
#include "host/ValidateSupport.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace validate {
namespace {

constexpr double kSeconds = 2.0;
constexpr int kBurst = 8;

OSStatus QuietNotify(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                     AudioBufferList*) {
    return noErr;
}

// Stays registered and takes its time, so that the render is often inside the notify list while
// the control thread changes it.
OSStatus LingeringNotify(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                         AudioBufferList*) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(20);
    while (std::chrono::steady_clock::now() < until) {
    }
    return noErr;
}

void QuietListener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}

} // namespace

void ConcurrencyChecks(Context& context, AudioUnit unit, Report& report) {
    const std::string check = "concurrency: render against parameters, state, reset, notify and "
                              "listeners for 2 s";
    Rig rig(unit, 2, kDefaultRate, 512);
    rig.signal = Noise;
    if (const OSStatus s = rig.Start(); s != noErr) {
        report.Check(check, false, "does not initialise (" + StatusText(s) + ")");
        return;
    }
    int lingering = 0;
    AudioUnitAddRenderNotify(unit, LingeringNotify, &lingering);
    std::atomic<bool> stop{false};
    std::atomic<long> renders{0};
    std::atomic<OSStatus> renderStatus{noErr};
    std::atomic<bool> finite{true};
    std::thread renderer([&] {
        while (!stop.load()) {
            const OSStatus s = rig.Render(256);
            if (s != noErr) {
                renderStatus = s;
                break;
            }
            if (!AllFinite(rig.out[0]) || !AllFinite(rig.out[1])) finite = false;
            ++renders;
        }
    });

    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(kSeconds);
    long rounds = 0;
    int tags[kBurst] = {};
    while (std::chrono::steady_clock::now() < end && renderStatus.load() == noErr) {
        for (const ParameterDescription& p : context.parameters) {
            std::uniform_real_distribution<float> pick(p.minValue, p.maxValue);
            AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0,
                                  IsSwitch(p) ? p.defaultValue : pick(context.random), 0);
        }
        OSStatus gs = noErr;
        if (CFPropertyListRef state = SaveClassInfo(unit, &gs)) {
            RestoreClassInfo(unit, state);
            CFRelease(state);
        }
        if (rounds % 8 == 0) AudioUnitReset(unit, kAudioUnitScope_Global, 0);
        // Bursts of different sizes, so that a unit's lists grow and shrink (and move, if it
        // reallocates them) while the render walks them.
        for (int cycle = 0; cycle < 64; ++cycle) {
            const int burst = 1 + (cycle + static_cast<int>(rounds)) % kBurst;
            for (int i = 0; i < burst; ++i) {
                AudioUnitAddRenderNotify(unit, QuietNotify, &tags[i]);
                AudioUnitAddPropertyListener(unit, kAudioUnitProperty_ParameterList, QuietListener,
                                             &tags[i]);
            }
            for (int i = burst - 1; i >= 0; --i) {
                AudioUnitRemoveRenderNotify(unit, QuietNotify, &tags[i]);
                AudioUnitRemovePropertyListenerWithUserData(unit, kAudioUnitProperty_ParameterList,
                                                            QuietListener, &tags[i]);
            }
        }
        ++rounds;
    }
    stop = true;
    renderer.join();
    AudioUnitRemoveRenderNotify(unit, LingeringNotify, &lingering);
    AudioUnitUninitialize(unit);
    std::string problem;
    if (renderStatus.load() != noErr)
        problem = "a render failed (" + StatusText(renderStatus.load()) + ")";
    else if (!finite.load())
        problem = "NaN, infinity or unwritten samples in the output";
    else if (renders.load() == 0)
        problem = "nothing rendered";
    report.Check(check, problem.empty(),
                 problem + " (" + std::to_string(renders.load()) + " renders, " +
                     std::to_string(rounds) + " control rounds)");
}

} // namespace validate
