// Audio Unit events: AUEventListenerNotify and the host listeners that receive them.
#include <AudioToolbox/AudioToolbox.h>
#include <CoreServices/CoreServices.h>
#include <ZerubPlatform/HostExtensions.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

struct AUListenerBase {
    AUEventListenerProc proc;
    void* refCon;
};

namespace {

struct Listeners {
    std::mutex mutex;
    std::vector<std::shared_ptr<AUListenerBase>> entries;
};

Listeners& TheListeners() {
    static auto* listeners = new Listeners();
    return *listeners;
}

UInt64 HostTimeNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<UInt64>(now.tv_sec) * 1000000000ULL + static_cast<UInt64>(now.tv_nsec);
}

} // namespace

AUEventListenerRef ZerubAddEventListener(AUEventListenerProc inProc, void* inRefCon) {
    if (!inProc) return nullptr;
    auto listener = std::make_shared<AUListenerBase>(AUListenerBase{inProc, inRefCon});
    Listeners& listeners = TheListeners();
    std::lock_guard<std::mutex> lock(listeners.mutex);
    listeners.entries.push_back(listener);
    return listener.get();
}

OSStatus ZerubRemoveEventListener(AUEventListenerRef inListener) {
    Listeners& listeners = TheListeners();
    std::lock_guard<std::mutex> lock(listeners.mutex);
    auto found = std::find_if(listeners.entries.begin(), listeners.entries.end(),
                              [&](const auto& entry) { return entry.get() == inListener; });
    if (found == listeners.entries.end()) return paramErr;
    listeners.entries.erase(found);
    return noErr;
}

OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener, void* inSendingObject,
                               const AudioUnitEvent* inEvent) {
    if (!inEvent) return paramErr;
    // Deliver from a snapshot, outside the lock: a listener may add or remove listeners.
    std::vector<std::shared_ptr<AUListenerBase>> targets;
    {
        Listeners& listeners = TheListeners();
        std::lock_guard<std::mutex> lock(listeners.mutex);
        for (const auto& entry : listeners.entries) {
            if (entry.get() != inSendingListener) targets.push_back(entry);
        }
    }
    if (targets.empty()) return noErr;
    AudioUnitParameterValue value = 0;
    if (inEvent->mEventType == kAudioUnitEvent_ParameterValueChange) {
        const AudioUnitParameter& p = inEvent->mArgument.mParameter;
        if (AudioUnitGetParameter(p.mAudioUnit, p.mParameterID, p.mScope, p.mElement, &value) !=
            noErr) {
            value = 0;
        }
    }
    const UInt64 hostTime = HostTimeNow();
    for (const auto& target : targets) {
        target->proc(target->refCon, inSendingObject, inEvent, hostTime, value);
    }
    return noErr;
}

// Announces a parameter value change (as a kAudioUnitEvent_ParameterValueChange event).
static OSStatus AUParameterListenerNotify(AUParameterListenerRef inSendingListener,
                                          void* inSendingObject,
                                          const AudioUnitParameter* inParameter) {
    if (!inParameter) return paramErr;
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter = *inParameter;
    return AUEventListenerNotify(inSendingListener, inSendingObject, &event);
}

OSStatus AUParameterSet(AUParameterListenerRef inSendingListener, void* inSendingObject,
                        const AudioUnitParameter* inParameter, AudioUnitParameterValue inValue,
                        UInt32 inBufferOffsetInFrames) {
    if (!inParameter) return paramErr;
    const OSStatus status = AudioUnitSetParameter(
        inParameter->mAudioUnit, inParameter->mParameterID, inParameter->mScope,
        inParameter->mElement, inValue, inBufferOffsetInFrames);
    if (status != noErr) return status;
    return AUParameterListenerNotify(inSendingListener, inSendingObject, inParameter);
}
