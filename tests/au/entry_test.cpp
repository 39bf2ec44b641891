#include "AUTestSupport.h"
#include "effect/Zerub.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>

#include <cstring>
#include <string>
#include <vector>

extern "C" OSStatus Zerub_Entry(ComponentParameters* params, void* storage);

namespace {

// An instance opened through the component-manager entry, closed at the end. The platform
// instance only provides the handle whose storage the open selector sets.
class EntryInstance {
public:
    EntryInstance() {
        EXPECT_EQ(AudioComponentInstanceNew(ProductComponent(), &instance), noErr);
        original = GetComponentInstanceStorage(reinterpret_cast<ComponentInstance>(instance));
        ParamBlock open(kComponentOpenSelect, {A(instance)});
        EXPECT_EQ(Zerub_Entry(open.Get(), nullptr), noErr);
        plug = reinterpret_cast<IPlugAU*>(
            GetComponentInstanceStorage(reinterpret_cast<ComponentInstance>(instance)));
    }
    ~EntryInstance() {
        ParamBlock close(kComponentCloseSelect, {});
        if (plug) Zerub_Entry(close.Get(), plug);
        // The factory-made object is still the record's: restore the storage it expects.
        SetComponentInstanceStorage(reinterpret_cast<ComponentInstance>(instance), original);
        AudioComponentInstanceDispose(instance);
    }
    OSStatus Call(SInt16 what, std::initializer_list<long> args) {
        ParamBlock block(what, args);
        return Zerub_Entry(block.Get(), plug);
    }

    AudioComponentInstance instance = nullptr;
    Handle original = nullptr;
    IPlugAU* plug = nullptr;
};

} // namespace

TEST(AUEntry, LookupTable) {
    for (SInt16 s : {1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 14, 15, 16, 17, 18})
        EXPECT_NE(IPlugAUFactory::Lookup(s), nullptr) << s;
    for (SInt16 s : {0, 8, 12, 13, 19, 257, -1, 0x0301})
        EXPECT_EQ(IPlugAUFactory::Lookup(s), nullptr) << s;
}

TEST(AUEntry, OpenCanDoVersionClose) {
    EntryInstance unit;
    ASSERT_NE(unit.plug, nullptr);
    EXPECT_STREQ(unit.plug->GetEffectName(), "Zerub");
    EXPECT_EQ(unit.Call(kComponentVersionSelect, {}), 0x10000);
    for (long s : {1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 14, 15, 16, 17})
        EXPECT_EQ(unit.Call(kComponentCanDoSelect, {s}), 1) << s;
    for (long s : {8, 12, 13, 18, 0, -1, 257})
        EXPECT_EQ(unit.Call(kComponentCanDoSelect, {s}), 0) << s;
    EXPECT_EQ(unit.Call(8, {}), badComponentSelector);
    EXPECT_EQ(unit.Call(12, {}), badComponentSelector);
    // The effect takes no MIDI.
    EXPECT_EQ(unit.Call(kMusicDeviceMIDIEventSelect, {0x90, 60, 100, 0}), badComponentSelector);
    EXPECT_EQ(unit.Call(kMusicDeviceSysExSelect, {0, 0}), badComponentSelector);
    EXPECT_EQ(unit.Call(kMusicDevicePrepareInstrumentSelect, {0}), noErr);
    EXPECT_EQ(Zerub_Entry(nullptr, unit.plug), paramErr);
}

TEST(AUEntry, PropertyCallsThroughTheEntry) {
    EntryInstance unit;
    UInt32 size = 0;
    Boolean writable = true;
    // An info request answers as the get does: the output bus has a name.
    EXPECT_EQ(unit.Call(kAudioUnitGetPropertyInfoSelect,
                        {A(kAudioUnitProperty_ElementName), A(kAudioUnitScope_Output), 0, A(&size),
                         A(&writable)}),
              noErr);
    EXPECT_EQ(size, sizeof(CFStringRef));
    EXPECT_FALSE(writable);

    Float64 rate = 0;
    size = sizeof rate;
    EXPECT_EQ(
        unit.Call(kAudioUnitGetPropertySelect, {A(kAudioUnitProperty_SampleRate),
                                                A(kAudioUnitScope_Global), 0, A(&rate), A(&size)}),
        noErr);
    EXPECT_EQ(rate, 44100.0);
    const Float64 newRate = 48000.0;
    EXPECT_EQ(unit.Call(kAudioUnitSetPropertySelect,
                        {A(kAudioUnitProperty_SampleRate), A(kAudioUnitScope_Global), 0,
                         A(&newRate), A(sizeof newRate)}),
              noErr);
    EXPECT_EQ(unit.plug->GetSampleRate(), 48000.0);

    // Set parameter: the value travels as a Float32 in its argument slot.
    long slot = 0;
    const Float32 value = 0.75f;
    std::memcpy(&slot, &value, sizeof value);
    EXPECT_EQ(unit.Call(kAudioUnitSetParameterSelect,
                        {Zerub::kGain, A(kAudioUnitScope_Global), 0, slot, 0}),
              noErr);
    Float32 read = 0;
    EXPECT_EQ(unit.Call(kAudioUnitGetParameterSelect,
                        {Zerub::kGain, A(kAudioUnitScope_Global), 0, A(&read)}),
              noErr);
    EXPECT_EQ(read, 0.75f);
    EXPECT_EQ(unit.Call(kAudioUnitInitializeSelect, {}), noErr);
    EXPECT_TRUE(unit.plug->IsActive());
    EXPECT_EQ(unit.Call(kAudioUnitUninitializeSelect, {}), noErr);
    EXPECT_FALSE(unit.plug->IsActive());
    EXPECT_EQ(unit.Call(kAudioUnitResetSelect, {0, 0}), noErr);
}

TEST(AUEntry, FactoryRecordOpensAndCloses) {
    AudioComponentPlugInInterface* iface = Zerub_Factory(nullptr);
    ASSERT_NE(iface, nullptr);
    int instance = 0;
    ASSERT_EQ(iface->Open(iface, reinterpret_cast<AudioComponentInstance>(&instance)), noErr);
    IPlugAU* plug = reinterpret_cast<IPlugAUFactory*>(iface)->Plug();
    EXPECT_EQ(plug->GetComponentInstance(), reinterpret_cast<AudioComponentInstance>(&instance));
    EXPECT_EQ(plug->NPresets(), 1);
    EXPECT_NE(plug->GetHost(), kHostUninit); // identified at open
    auto init =
        reinterpret_cast<AudioUnitInitializeProc>(iface->Lookup(kAudioUnitInitializeSelect));
    EXPECT_EQ(init(iface), noErr);
    EXPECT_EQ(iface->Close(iface), noErr);
}

extern "C" OSStatus Zerub_ViewEntry(ComponentParameters* params, void* storage);

TEST(AUEntry, CarbonViewGetsNoControl) {
    EntryInstance unit;
    ASSERT_NE(unit.plug, nullptr);
    AudioComponentInstance viewInstance = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(ProductComponent(), &viewInstance), noErr);
    const Handle viewOriginal =
        GetComponentInstanceStorage(reinterpret_cast<ComponentInstance>(viewInstance));
    ParamBlock open(kComponentOpenSelect, {A(viewInstance)});
    ASSERT_EQ(Zerub_ViewEntry(open.Get(), nullptr), noErr);
    void* record = GetComponentInstanceStorage(reinterpret_cast<ComponentInstance>(viewInstance));
    ASSERT_NE(record, nullptr);

    ControlRef control = reinterpret_cast<ControlRef>(&unit);
    ParamBlock create(kAudioUnitCarbonViewCreateSelect,
                      {A(unit.instance), 0, 0, 0, 0, A(&control)});
    EXPECT_EQ(Zerub_ViewEntry(create.Get(), record), noErr); // the effect has an editor
    EXPECT_EQ(control, nullptr);                             // but no Carbon window to give
    ParamBlock orphan(kAudioUnitCarbonViewCreateSelect, {0, 0, 0, 0, 0, A(&control)});
    EXPECT_EQ(Zerub_ViewEntry(orphan.Get(), record), badComponentSelector);
    ParamBlock other(0x0302, {});
    EXPECT_EQ(Zerub_ViewEntry(other.Get(), record), badComponentSelector);
    ParamBlock close(kComponentCloseSelect, {});
    EXPECT_EQ(Zerub_ViewEntry(close.Get(), record), noErr);
    SetComponentInstanceStorage(reinterpret_cast<ComponentInstance>(viewInstance), viewOriginal);
    AudioComponentInstanceDispose(viewInstance);
}
