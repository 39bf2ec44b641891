// The built component's editor as a host sees it: the view from the unit's Cocoa view factory
// in a window under a private X server, the mouse driven with xdotool, the parameter read back
// and the audio rendered through the host interface.
#include "WindowTestSupport.h"

#include "host/AURenderer.h"
#include "host/HostApi.h"

#include <AudioUnit/AUCocoaUIView.h>
#include <ZerubPlatform/HostExtensions.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kGain = 0;
constexpr int kBlock = 512;

// Every event the unit announces, in order.
struct Announcements {
    AudioUnit unit = nullptr;
    std::mutex lock;
    std::vector<std::pair<AudioUnitEventType, float>> events;

    static void Receive(void* refCon, void*, const AudioUnitEvent* event, UInt64,
                        AudioUnitParameterValue value) {
        auto* self = static_cast<Announcements*>(refCon);
        if (event->mEventType == kAudioUnitEvent_PropertyChange ||
            event->mArgument.mParameter.mAudioUnit != self->unit ||
            event->mArgument.mParameter.mParameterID != kGain)
            return;
        std::lock_guard<std::mutex> guard(self->lock);
        self->events.push_back({event->mEventType, value});
    }
    bool GestureEnded() {
        std::lock_guard<std::mutex> guard(lock);
        return !events.empty() && events.back().first == kAudioUnitEvent_EndParameterChangeGesture;
    }
};

// The view a host gets: the class named by the Cocoa UI property, asked for its view.
NSView* ViewFromFactory(AudioUnit unit) {
    AudioUnitCocoaViewInfo info = {};
    UInt32 size = sizeof info;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info,
                             &size) != noErr)
        return nil;
    Class factoryClass = NSClassFromString(
        [NSString stringWithUTF8String:FromCFString(info.mCocoaAUViewClass[0]).c_str()]);
    CFRelease(info.mCocoaAUViewClass[0]);
    if (info.mCocoaAUViewBundleLocation) CFRelease(info.mCocoaAUViewBundleLocation);
    if (!factoryClass) return nil;
    id<AUCocoaUIBase> factory = [[factoryClass alloc] init];
    EXPECT_EQ([factory interfaceVersion], 0u);
    EXPECT_STREQ([[(id)factory description] UTF8String], "Zerub View");
    NSView* view = [factory uiViewForAudioUnit:unit withSize:NSMakeSize(0, 0)];
    [(id)factory release];
    return view;
}

// Two seconds of a stereo 220 Hz tone at -12 dBFS.
std::vector<std::vector<float>> Tone() {
    std::vector<std::vector<float>> tone(2, std::vector<float>(kBlock * 8));
    for (size_t i = 0; i < tone[0].size(); ++i)
        tone[0][i] = tone[1][i] = 0.25f * std::sin(2.0 * M_PI * 220.0 * i / 44100.0);
    return tone;
}

std::vector<float> RenderTone(AURenderer& renderer) {
    const auto tone = Tone();
    std::vector<float> out;
    std::vector<float> left(kBlock), right(kBlock);
    for (size_t at = 0; at < tone[0].size(); at += kBlock) {
        const float* in[2] = {&tone[0][at], &tone[1][at]};
        float* o[2] = {left.data(), right.data()};
        EXPECT_TRUE(renderer.Render(in, o, kBlock));
        out.insert(out.end(), left.begin(), left.end());
    }
    return out;
}

float MaxDifference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return std::numeric_limits<float>::infinity();
    float most = 0.0f;
    for (size_t i = 0; i < a.size(); ++i)
        most = std::max(most, std::fabs(a[i] - b[i]));
    return most;
}

// Runs a shell command on a thread while the caller keeps the event loop going. (Its exit status
// is not to be trusted here: GNUstep reaps child processes itself.)
class Background {
public:
    explicit Background(const std::string& command) : thread(&Background::Run, this, command) {}
    ~Background() { thread.join(); }
    bool Finished() const { return finished; }

private:
    void Run(std::string command) {
        RunCommand(command);
        finished = true;
    }
    std::atomic<bool> finished{false};
    std::thread thread;
};

struct ComponentEditor : ::testing::Test {
    AURenderer renderer{ZERUB_BUNDLE_DIR};
    void SetUp() override {
        // The view opens at the zoom the user last chose, kept under XDG_CONFIG_HOME: none here.
        setenv("XDG_CONFIG_HOME", "/nonexistent/zerub-test", 1);
        ASSERT_TRUE(renderer.Open(44100.0, 2, kBlock));
    }
};

} // namespace

TEST_F(ComponentEditor, DraggingGainUpIsWhatTheHostReadsAndHears) {
    REQUIRE_DISPLAY();
    AudioUnit unit = renderer.Unit();
    Announcements heard;
    heard.unit = unit;
    AUEventListenerRef listener = ZerubAddEventListener(&Announcements::Receive, &heard);

    NSView* view = ViewFromFactory(unit);
    ASSERT_NE(view, nil);
    // Bottom left at (100, 100) on a 768-pixel screen: the top left is at (100, 157).
    NSWindow* window = WindowAround(view);
    [window setTitle:@"Zerub window test"];
    [window orderFront:nil];
    {
        // Wait for the window to be on the screen, then drag the Gain knob (centre at editor
        // point (194, 202)) upwards by 40 pixels.
        Background drag("xdotool search --sync --name 'Zerub window test' >/dev/null && "
                        "xdotool mousemove 294 359 sleep 0.2 mousedown 1 sleep 0.2 "
                        "mousemove 294 349 sleep 0.2 mousemove 294 334 sleep 0.2 "
                        "mousemove 294 319 sleep 0.2 mouseup 1");
        EXPECT_TRUE(PumpUntil([&] { return drag.Finished() && heard.GestureEnded(); }, 60.0));
    }
    ZerubRemoveEventListener(listener);

    std::vector<std::pair<AudioUnitEventType, float>> events = heard.events;
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().first, kAudioUnitEvent_BeginParameterChangeGesture);
    EXPECT_EQ(events.back().first, kAudioUnitEvent_EndParameterChangeGesture);
    float last = -1.0f;
    for (const auto& [type, value] : events)
        if (type == kAudioUnitEvent_ParameterValueChange) last = value;
    AudioUnitParameterValue gain = -1.0f;
    ASSERT_EQ(AudioUnitGetParameter(unit, kGain, kAudioUnitScope_Global, 0, &gain), noErr);
    EXPECT_EQ(gain, last);
    EXPECT_GT(gain, 0.55f); // upwards from the default 0.5

    // What is heard afterwards is the effect at the new Gain, and not at the old one. The editor
    // keeps Gain in double precision, the host reads it as a float: the audio agrees closely.
    const std::vector<float> afterDrag = RenderTone(renderer);
    AURenderer atNewGain(ZERUB_BUNDLE_DIR), atDefault(ZERUB_BUNDLE_DIR);
    ASSERT_TRUE(atNewGain.Open(44100.0, 2, kBlock));
    ASSERT_TRUE(atDefault.Open(44100.0, 2, kBlock));
    ASSERT_TRUE(atNewGain.SetParam(kGain, gain));
    EXPECT_LT(MaxDifference(afterDrag, RenderTone(atNewGain)), 1e-5);
    EXPECT_GT(MaxDifference(afterDrag, RenderTone(atDefault)), 1e-2);

    [window orderOut:nil];
    [window setContentView:nil];
    [window release];
}

TEST_F(ComponentEditor, OpenedAndClosedWhileAnotherThreadRenders) {
    REQUIRE_DISPLAY();
    AudioUnit unit = renderer.Unit();
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0}, failures{0};
    std::thread audio([&] {
        const auto tone = Tone();
        std::vector<float> left(kBlock), right(kBlock);
        const float* in[2] = {tone[0].data(), tone[1].data()};
        float* out[2] = {left.data(), right.data()};
        while (!stop && blocks < 100000) {
            if (!renderer.Render(in, out, kBlock)) ++failures;
            ++blocks;
        }
    });

    NSWindow* window = nil;
    for (int round = 0; round < 3; ++round) {
        NSView* view = ViewFromFactory(unit);
        ASSERT_NE(view, nil);
        if (!window) {
            window = WindowAround(view);
            [window orderFront:nil];
        } else {
            [window setContentView:view];
        }
        // The host moves Gain while the editor is open; the editor follows on its timer.
        const int before = blocks;
        AudioUnitSetParameter(unit, kGain, kAudioUnitScope_Global, 0, 0.2f * round, 0);
        EXPECT_TRUE(PumpUntil([&] { return blocks > before + 20; }, 60.0));
        [window setContentView:nil]; // closes the editor
    }
    stop = true;
    audio.join();
    EXPECT_EQ(failures, 0);
    [window orderOut:nil];
    [window release];
}

TEST_F(ComponentEditor, TwoInstancesShowTheirEditorsAtOnce) {
    REQUIRE_DISPLAY();
    AURenderer second(ZERUB_BUNDLE_DIR);
    ASSERT_TRUE(second.Open(44100.0, 2, kBlock));
    NSView* a = ViewFromFactory(renderer.Unit());
    NSView* b = ViewFromFactory(second.Unit());
    ASSERT_NE(a, nil);
    ASSERT_NE(b, nil);
    EXPECT_NE(a, b);
    NSWindow* wa = WindowAround(a, 50.0, 100.0);
    NSWindow* wb = WindowAround(b, 450.0, 100.0);
    [wa orderFront:nil];
    [wb orderFront:nil];
    // Each view draws its own unit: Gain 0 in one, 1 in the other, and the pictures differ.
    AudioUnitSetParameter(renderer.Unit(), kGain, kAudioUnitScope_Global, 0, 0.0f, 0);
    AudioUnitSetParameter(second.Unit(), kGain, kAudioUnitScope_Global, 0, 1.0f, 0);
    NSBitmapImageRep* ia = nil;
    NSBitmapImageRep* ib = nil;
    auto capture = [](NSView* v) {
        NSBitmapImageRep* rep = [v bitmapImageRepForCachingDisplayInRect:[v bounds]];
        [v display];
        [v cacheDisplayInRect:[v bounds] toBitmapImageRep:rep];
        return rep;
    };
    // Knob pixels differ once both timers have caught up with the host's values.
    auto knobsDiffer = [&]() -> bool {
        ia = capture(a);
        ib = capture(b);
        const unsigned char* pa = [ia bitmapData];
        const unsigned char* pb = [ib bitmapData];
        const size_t n = size_t([ia bytesPerRow]) * size_t([ia pixelsHigh]);
        return n == size_t([ib bytesPerRow]) * size_t([ib pixelsHigh]) &&
               std::memcmp(pa, pb, n) != 0;
    };
    EXPECT_TRUE(PumpUntil(knobsDiffer, 60.0));
    [wa orderOut:nil];
    [wb orderOut:nil];
    [wa setContentView:nil];
    [wb setContentView:nil];
    [wa release];
    [wb release];
}
