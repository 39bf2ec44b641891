// The wrapper driven as a careless or hostile host drives it: through the host API on
// factory-made instances, from two threads, with refused settings and bad state.
#include "AUTestSupport.h"
#include "au/au_preset_utils.h"
#include "effect/Zerub.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

extern "C" OSStatus Zerub_Entry(ComponentParameters* params, void* storage);
extern "C" OSStatus Zerub_ViewEntry(ComponentParameters* params, void* storage);

namespace {

// A sine on every channel the host is asked for, recording how many it was asked for.
struct Tone {
    UInt32 lastBuffers = 0;
    static OSStatus Render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* t,
                           UInt32, UInt32 frames, AudioBufferList* list) {
        static_cast<Tone*>(refCon)->lastBuffers = list->mNumberBuffers;
        for (UInt32 c = 0; c < list->mNumberBuffers; ++c) {
            float* data = static_cast<float*>(list->mBuffers[c].mData);
            for (UInt32 s = 0; data && s < frames; ++s)
                data[s] = static_cast<float>(0.5 * std::sin((t->mSampleTime + s) * 0.05));
        }
        return noErr;
    }
};

struct Stereo {
    explicit Stereo(UInt32 n) : left(n), right(n) {
        list.n = 2;
        list.b[0] = {1, n * 4, left.data()};
        list.b[1] = {1, n * 4, right.data()};
    }
    AudioBufferList* Get() { return reinterpret_cast<AudioBufferList*>(&list); }
    std::vector<float> left, right;
    struct {
        UInt32 n;
        AudioBuffer b[2];
    } list;
};

OSStatus Render(AudioUnit unit, double sampleTime, Stereo& out) {
    AudioTimeStamp t = {};
    t.mSampleTime = sampleTime;
    t.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    return AudioUnitRender(unit, &flags, &t, 0, static_cast<UInt32>(out.left.size()), out.Get());
}

void Connect(AudioUnit unit, Tone* tone) {
    AURenderCallbackStruct cb = {Tone::Render, tone};
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback,
                                   kAudioUnitScope_Input, 0, &cb, sizeof cb),
              noErr);
}

float Peak(const std::vector<float>& x) {
    float peak = 0;
    for (float v : x)
        peak = std::isfinite(v) ? std::max(peak, std::fabs(v)) : INFINITY;
    return peak;
}

OSStatus CountingNotify(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*,
                        UInt32, UInt32, AudioBufferList*) {
    if (*flags & kAudioUnitRenderAction_PostRender) ++*static_cast<std::atomic<int>*>(refCon);
    return noErr;
}

} // namespace

TEST(AUHostApi, RenderNotifyListChangesOnlyBetweenRenders) {
    HostUnit u(ProductComponent());
    IPlugAU* plug = u.Plug();
    ASSERT_NE(plug, nullptr);
    std::atomic<int> count{0}, stage{0};
    // While a render holds the plug-in mutex, adding and removing must wait for it.
    plug->GetMutex()->Enter();
    std::thread control([&] {
        AudioUnitAddRenderNotify(u.unit, CountingNotify, &count);
        stage = 1;
        AudioUnitRemoveRenderNotify(u.unit, CountingNotify, &count);
        stage = 2;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(stage.load(), 0);
    plug->GetMutex()->Leave();
    control.join();
    EXPECT_EQ(stage.load(), 2);

    // And a render thread against a thread that keeps changing the list: no crash, and every
    // render tells each entry present at its start before and after.
    Tone tone;
    Connect(u.unit, &tone);
    ASSERT_EQ(AudioUnitInitialize(u.unit), noErr);
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        std::atomic<int> local{0};
        while (!stop) {
            AudioUnitAddRenderNotify(u.unit, CountingNotify, &local);
            AudioUnitRemoveRenderNotify(u.unit, CountingNotify, &local);
        }
    });
    Stereo out(64);
    for (int i = 0; i < 3000; ++i)
        ASSERT_EQ(Render(u.unit, 64.0 * i, out), noErr);
    stop = true;
    churn.join();
    EXPECT_TRUE(std::isfinite(Peak(out.left)));
}

TEST(AUHostApi, NullRenderNotifyIsRefused) {
    HostUnit u(ProductComponent());
    EXPECT_EQ(AudioUnitAddRenderNotify(u.unit, nullptr, nullptr), paramErr);
    IPlugAU* plug = MakePlug(nullptr);
    ParamBlock add(kAudioUnitAddRenderNotifySelect, {0, 0});
    EXPECT_EQ(Zerub_Entry(add.Get(), plug), paramErr);
    delete plug;

    Tone tone;
    Connect(u.unit, &tone);
    ASSERT_EQ(AudioUnitInitialize(u.unit), noErr);
    Stereo out(64);
    EXPECT_EQ(Render(u.unit, 0, out), noErr); // nothing null was kept to be called
}

TEST(AUHostApi, RenderNotifyRemovalMatchesUserData) {
    std::atomic<int> a{0}, b{0};
    HostUnit u(ProductComponent());
    Tone tone;
    Connect(u.unit, &tone);
    ASSERT_EQ(AudioUnitInitialize(u.unit), noErr);
    ASSERT_EQ(AudioUnitAddRenderNotify(u.unit, CountingNotify, &a), noErr);
    ASSERT_EQ(AudioUnitAddRenderNotify(u.unit, CountingNotify, &b), noErr);
    std::atomic<int> other{0};
    EXPECT_EQ(AudioUnitRemoveRenderNotify(u.unit, CountingNotify, &other), noErr); // no match
    EXPECT_EQ(AudioUnitRemoveRenderNotify(u.unit, CountingNotify, &b), noErr);
    Stereo out(64);
    ASSERT_EQ(Render(u.unit, 0, out), noErr);
    EXPECT_EQ(a.load(), 1);
    EXPECT_EQ(b.load(), 0);

    // The same through the component-manager entry (arguments: procedure, user data).
    IPlugAU* plug = MakePlug(nullptr);
    ASSERT_EQ(plug->DoInitialize(), noErr);
    ParamBlock addA(kAudioUnitAddRenderNotifySelect, {A(CountingNotify), A(&a)});
    ParamBlock addB(kAudioUnitAddRenderNotifySelect, {A(CountingNotify), A(&b)});
    ParamBlock removeB(kAudioUnitRemoveRenderNotifySelect, {A(CountingNotify), A(&b)});
    EXPECT_EQ(Zerub_Entry(addA.Get(), plug), noErr);
    EXPECT_EQ(Zerub_Entry(addB.Get(), plug), noErr);
    EXPECT_EQ(Zerub_Entry(removeB.Get(), plug), noErr);
    AudioTimeStamp t = {};
    t.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    ParamBlock render(kAudioUnitRenderSelect, {A(&flags), A(&t), 0, 64, A(out.Get())});
    EXPECT_EQ(Zerub_Entry(render.Get(), plug), noErr);
    EXPECT_EQ(a.load(), 2);
    EXPECT_EQ(b.load(), 0);
    delete plug;
}

TEST(AUHostApi, NotifyProcedureMayRemoveEntriesDuringTheRender) {
    HostUnit u(ProductComponent());
    Tone tone;
    Connect(u.unit, &tone);
    ASSERT_EQ(AudioUnitInitialize(u.unit), noErr);
    struct SelfRemover {
        AudioUnit unit;
        std::atomic<int> other{0};
        static OSStatus Proc(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                             UInt32, UInt32, AudioBufferList*) {
            SelfRemover* self = static_cast<SelfRemover*>(refCon);
            AudioUnitRemoveRenderNotify(self->unit, Proc, self);
            AudioUnitRemoveRenderNotify(self->unit, CountingNotify, &self->other);
            return noErr;
        }
    } remover{u.unit};
    ASSERT_EQ(AudioUnitAddRenderNotify(u.unit, SelfRemover::Proc, &remover), noErr);
    ASSERT_EQ(AudioUnitAddRenderNotify(u.unit, CountingNotify, &remover.other), noErr);
    Stereo out(64);
    EXPECT_EQ(Render(u.unit, 0, out), noErr);
    EXPECT_EQ(Render(u.unit, 64, out), noErr);
    EXPECT_EQ(remover.other.load(), 0);
}

TEST(AUHostApi, RefusedSettingsChangeNothing) {
    HostUnit u(ProductComponent());
    Tone tone;
    Connect(u.unit, &tone);
    AudioStreamBasicDescription stereo;
    UInt32 size = sizeof stereo;
    ASSERT_EQ(AudioUnitGetProperty(u.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input,
                                   0, &stereo, &size),
              noErr);
    ASSERT_EQ(stereo.mChannelsPerFrame, 2u);
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output})
        ASSERT_EQ(AudioUnitSetProperty(u.unit, kAudioUnitProperty_StreamFormat, scope, 0, &stereo,
                                       sizeof stereo),
                  noErr);
    ASSERT_EQ(AudioUnitInitialize(u.unit), noErr);

    // No room for a single frame is as bad a size as too many.
    UInt32 frames = 0;
    EXPECT_EQ(AudioUnitSetProperty(u.unit, kAudioUnitProperty_MaximumFramesPerSlice,
                                   kAudioUnitScope_Global, 0, &frames, sizeof frames),
              kAudioUnitErr_InvalidPropertyValue);
    size = sizeof frames;
    EXPECT_EQ(AudioUnitGetProperty(u.unit, kAudioUnitProperty_MaximumFramesPerSlice,
                                   kAudioUnitScope_Global, 0, &frames, &size),
              noErr);
    EXPECT_EQ(frames, 1024u);

    // Mono in against stereo out cannot be, once initialised.
    AudioStreamBasicDescription mono = stereo;
    mono.mChannelsPerFrame = 1;
    mono.mSampleRate = 96000.0;
    EXPECT_EQ(AudioUnitSetProperty(u.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input,
                                   0, &mono, sizeof mono),
              kAudioUnitErr_InvalidProperty);
    AudioStreamBasicDescription after;
    size = sizeof after;
    ASSERT_EQ(AudioUnitGetProperty(u.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input,
                                   0, &after, &size),
              noErr);
    EXPECT_EQ(after.mChannelsPerFrame, 2u);
    EXPECT_EQ(after.mSampleRate, stereo.mSampleRate);

    Stereo out(512);
    ASSERT_EQ(Render(u.unit, 0, out), noErr);
    EXPECT_EQ(tone.lastBuffers, 2u);
    EXPECT_GT(Peak(out.left), 0.0f);
    EXPECT_GT(Peak(out.right), 0.0f);
    EXPECT_EQ(AudioUnitUninitialize(u.unit), noErr);
    EXPECT_EQ(AudioUnitInitialize(u.unit), noErr);
}

TEST(AUHostApi, CarbonViewFindsThePlugInOfFactoryMadeUnits) {
    HostUnit edited(ProductComponent()), plain(GroupedComponent());
    AudioComponentInstance viewInstance = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(GroupedComponent(), &viewInstance), noErr);
    auto* view = reinterpret_cast<ComponentInstance>(viewInstance);
    const Handle original = GetComponentInstanceStorage(view);
    ParamBlock open(kComponentOpenSelect, {A(viewInstance)});
    ASSERT_EQ(Zerub_ViewEntry(open.Get(), nullptr), noErr);
    void* record = GetComponentInstanceStorage(view);

    ControlRef control = reinterpret_cast<ControlRef>(&edited);
    ParamBlock withEditor(kAudioUnitCarbonViewCreateSelect,
                          {A(edited.unit), 0, 0, 0, 0, A(&control)});
    EXPECT_EQ(Zerub_ViewEntry(withEditor.Get(), record), noErr);
    EXPECT_EQ(control, nullptr);
    ParamBlock withoutEditor(kAudioUnitCarbonViewCreateSelect,
                             {A(plain.unit), 0, 0, 0, 0, A(&control)});
    EXPECT_EQ(Zerub_ViewEntry(withoutEditor.Get(), record), badComponentSelector);

    ParamBlock close(kComponentCloseSelect, {});
    EXPECT_EQ(Zerub_ViewEntry(close.Get(), record), noErr);
    SetComponentInstanceStorage(view, original);
    AudioComponentInstanceDispose(viewInstance);
}
