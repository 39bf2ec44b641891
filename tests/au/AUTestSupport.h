// Helpers for driving the wrapper the way a host does: component-manager parameter blocks for
// the entry point, a small plug-in with groups and a display-text parameter, and factory-made
// instances of both plug-ins reached through the host API.
#pragma once

#include "au/IPlugAU.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <new>
#include <vector>

extern "C" AudioComponentPlugInInterface* Zerub_Factory(const AudioComponentDescription*);

// A parameter block: the platform stores the arguments last-first.
class ParamBlock {
public:
    ParamBlock(SInt16 what, std::initializer_list<long> args) {
        storage.resize(sizeof(ComponentParameters) + args.size() * sizeof(long), 0);
        ComponentParameters* p = Get();
        p->what = what;
        p->paramSize = static_cast<UInt8>(args.size() * sizeof(long));
        int i = static_cast<int>(args.size()) - 1;
        for (long a : args)
            p->params[i--] = a;
    }
    ComponentParameters* Get() { return reinterpret_cast<ComponentParameters*>(storage.data()); }

private:
    std::vector<unsigned char> storage;
};

template <class T>
long A(T value) {
    return (long)(value);
}

// Four parameters: two in group "Tone", one in "Out", and a switch with display texts.
class GroupedAU : public IPlugAU {
public:
    GroupedAU(const char* io = "1-1 2-2", bool inst = false, int scChans = 0)
        : IPlugAU(IPlugInstanceInfo(), 4, io, 2, "Grouped", "", "Maker", 0x10000, FourCC("Grp1"),
                  FourCC("Mkr1"), 0, false, false, inst, scChans) {
        GetParam(0)->InitDouble("Gain", 0.5, 0.0, 1.0, 0.01, "%", "Tone");
        GetParam(1)->InitDouble("Tilt", 0.0, -1.0, 1.0, 0.01, "", "Out");
        GetParam(2)->InitDouble("Bass", 0.0, -12.0, 12.0, 0.1, "dB", "Tone");
        GetParam(3)->InitEnum("Mode", 0, 3);
        GetParam(3)->SetDisplayText(0, "soft");
        GetParam(3)->SetDisplayText(1, "hard");
        GetParam(3)->SetDisplayText(2, "fuzz");
        GetParam(1)->SetIsMeta(true);
        GetParam(3)->SetCanAutomate(false);
        MakePreset("first", 0.1, 0.2, 0.3, 1);
        MakePreset("second", 0.4, 0.5, 0.6, 2);
    }
    void OnParamChange(int idx) override {
        IPlugAU::OnParamChange(idx);
        changes.push_back(idx);
    }
    std::vector<int> changes;
};

// A factory for GroupedAU, built the way the product's is.
inline AudioComponentPlugInInterface* GroupedFactory(const AudioComponentDescription*) {
    IPlugAUFactory* factory = IPlugAUFactory::Create(sizeof(GroupedAU));
    if (!factory) return nullptr;
    factory->construct = [](void* memory, AudioComponentInstance instance) {
        (new (memory) GroupedAU())->SetComponentInstance(instance);
    };
    return &factory->interface;
}

// The two plug-ins registered in this process (once each), so that instances are live
// platform objects made by their factories.
inline AudioComponent ProductComponent() {
    static AudioComponent component = [] {
        AudioComponentDescription desc = {kAudioUnitType_Effect, FourCC("ZRB1"), FourCC("Qmor"), 0,
                                          0};
        return AudioComponentRegister(&desc, CFSTR("Quillmoor: Zerub"), 0x10000, Zerub_Factory);
    }();
    return component;
}

inline AudioComponent GroupedComponent() {
    static AudioComponent component = [] {
        AudioComponentDescription desc = {kAudioUnitType_Effect, FourCC("Grp1"), FourCC("Mkr1"), 0,
                                          0};
        return AudioComponentRegister(&desc, CFSTR("Maker: Grouped"), 0x10000, GroupedFactory);
    }();
    return component;
}

// One instance reached through the host API only, disposed at the end.
class HostUnit {
public:
    explicit HostUnit(AudioComponent component) {
        EXPECT_EQ(AudioComponentInstanceNew(component, &unit), noErr);
    }
    ~HostUnit() {
        if (unit) AudioComponentInstanceDispose(unit);
    }
    HostUnit(const HostUnit&) = delete;
    HostUnit& operator=(const HostUnit&) = delete;

    // The wrapper object, as the editor view entries find it.
    IPlugAU* Plug() const {
        IPlugAU* plug = nullptr;
        UInt32 size = sizeof plug;
        EXPECT_EQ(AudioUnitGetProperty(unit, static_cast<AudioUnitPropertyID>(-101),
                                       kAudioUnitScope_Global, 0, &plug, &size),
                  noErr);
        return plug;
    }
    Float32 Param(AudioUnitParameterID id) const {
        Float32 v = -100;
        EXPECT_EQ(AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v), noErr);
        return v;
    }
    SInt32 PresetNumber() const {
        AUPreset preset = {};
        UInt32 size = sizeof preset;
        EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_PresentPreset,
                                       kAudioUnitScope_Global, 0, &preset, &size),
                  noErr);
        if (preset.presetName) CFRelease(preset.presetName);
        return preset.presetNumber;
    }
    CFPropertyListRef Save() const {
        CFPropertyListRef state = nullptr;
        UInt32 size = sizeof state;
        EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global,
                                       0, &state, &size),
                  noErr);
        return state;
    }
    OSStatus Restore(CFPropertyListRef state) const {
        return AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                    &state, sizeof state);
    }

    AudioUnit unit = nullptr;
};
