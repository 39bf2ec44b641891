// Real-time safety: nothing inside a render allocates, frees, takes a mutex other than the
// unit's own (the plug-in mutex), waits on a read-write lock or a semaphore, sleeps, maps memory,
// or makes a file or socket call. The unit's own mutex is told apart by what the same calls take
// on another instance: a mutex this instance's parameter changes or renders take and another
// instance's do not is the instance's own, whether the unit guards its parameters with it or
// keeps them lock-free; a lock two instances share (a global lock, the allocator's) is not
// allowed.
#include "host/RenderProbe.h"
#include "host/ValidateSupport.h"

#include <map>
#include <set>
#include <string>

namespace validate {
namespace {

std::set<const void*> MutexesOf(const renderprobe::Counts& counts) {
    return std::set<const void*>(counts.mutex, counts.mutex + counts.mutexes);
}

std::set<const void*> TakenBySetParameter(AudioUnit unit, const ParameterDescription& p) {
    renderprobe::Arm();
    AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, StateValue(p), 0);
    renderprobe::Disarm();
    std::set<const void*> taken = MutexesOf(renderprobe::Read());
    AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    return taken;
}

// What another instance's parameter changes and renders take: the mutexes no instance owns.
std::set<const void*> TakenByAnother(Context& context, Report& report, const std::string& check) {
    std::set<const void*> taken;
    AudioComponentInstance other = context.Fresh(report, check);
    if (!other) return taken;
    if (!context.parameters.empty()) taken = TakenBySetParameter(other, context.parameters.front());
    {
        Rig rig(other, 2, kDefaultRate, 1024);
        rig.signal = Noise;
        OSStatus s = rig.Start();
        if (s == noErr) s = rig.Render(1024); // outside the count, as on the instance checked
        rig.probe = true;
        for (int block = 0; block < 4 && s == noErr; ++block) {
            s = rig.Render(block % 2 ? 137 : 1024);
            const std::set<const void*> more = MutexesOf(renderprobe::Read());
            taken.insert(more.begin(), more.end());
        }
        rig.probe = false;
        AudioUnitUninitialize(other);
    }
    AudioComponentInstanceDispose(other);
    return taken;
}

} // namespace

void RealtimeChecks(Context& context, AudioUnit unit, Report& report) {
    const std::string allocCheck = "real-time: no heap allocation or free inside render";
    const std::string lockCheck = "real-time: no lock other than the plug-in mutex inside render";

    // The instance's own mutexes: taken by its parameter changes and renders, not by another
    // instance's (below).
    std::set<const void*> own;
    if (!context.parameters.empty() && renderprobe::LocksCounted())
        own = TakenBySetParameter(unit, context.parameters.front());

    Rig rig(unit, 2, kDefaultRate, 1024);
    rig.signal = Noise;
    OSStatus s = rig.Start();
    // One render outside the count: a unit may touch memory the first time round (pages, lazy
    // symbol binding) without that being its doing.
    if (s == noErr) s = rig.Render(1024);
    long allocations = 0, frees = 0, unrecorded = 0;
    std::map<const void*, long> taken;
    std::map<std::string, long> calls;
    rig.probe = true;
    for (int block = 0; block < 48 && s == noErr; ++block) {
        // Parameters move between blocks, as automation does.
        for (const ParameterDescription& p : context.parameters)
            if (!IsSwitch(p))
                AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0,
                                      block % 2 ? p.maxValue : p.minValue, 0);
        s = rig.Render(block % 3 == 0 ? 1024 : 137);
        const renderprobe::Counts counts = renderprobe::Read();
        allocations += counts.allocations;
        frees += counts.frees;
        unrecorded += counts.unrecorded;
        for (int i = 0; i < counts.mutexes; ++i)
            taken[counts.mutex[i]] += counts.taken[i];
        for (int i = 0; i < counts.calls; ++i)
            calls[counts.call[i]] += counts.made[i];
    }
    rig.probe = false;
    AudioUnitUninitialize(unit);
    for (const ParameterDescription& p : context.parameters)
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    if (s != noErr) {
        report.Check(allocCheck, false, "render fails (" + StatusText(s) + ")");
        return;
    }

    if (renderprobe::AllocationsCounted())
        report.Check(allocCheck, allocations == 0 && frees == 0,
                     std::to_string(allocations) + " allocations and " + std::to_string(frees) +
                         " frees in 48 renders");
    else
        report.Skip(allocCheck, "the sanitizer runtime of this build owns the allocator");

    const std::string callCheck = "real-time: no read-write lock, semaphore wait, sleep, memory "
                                  "mapping, file or socket call inside render";
    if (renderprobe::CallsCounted()) {
        std::string made;
        for (const auto& [name, count] : calls)
            made += (made.empty() ? "" : ", ") + name + " " + std::to_string(count) + " times";
        report.Check(callCheck, calls.empty(), made + " in 48 renders");
    } else {
        report.Skip(callCheck, "the sanitizer runtime of this build owns those calls");
    }

    if (!renderprobe::LocksCounted()) {
        report.Skip(lockCheck, "the sanitizer runtime of this build owns the locks");
        return;
    }
    for (const auto& [mutex, count] : taken)
        own.insert(mutex);
    for (const void* m : TakenByAnother(context, report, lockCheck))
        own.erase(m);
    // Of the instance's own mutexes, the one render takes most is the plug-in mutex.
    const void* pluginMutex = nullptr;
    for (const auto& [mutex, count] : taken)
        if (own.count(mutex) && (!pluginMutex || count > taken[pluginMutex])) pluginMutex = mutex;
    long others = unrecorded;
    int distinct = 0;
    for (const auto& [mutex, count] : taken)
        if (mutex != pluginMutex) {
            others += count;
            ++distinct;
        }
    report.Check(lockCheck, others == 0,
                 std::to_string(others) + " acquisitions of " + std::to_string(distinct) +
                     " other mutexes in 48 renders" +
                     (pluginMutex ? "" : " (no mutex of the instance's own was seen)"));
}

} // namespace validate
