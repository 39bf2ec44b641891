// Helpers for driving the wrapper the way a host does: component-manager parameter blocks for
// the entry point, and a small plug-in with groups and a display-text parameter.
#pragma once

#include "au/IPlugAU.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

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
