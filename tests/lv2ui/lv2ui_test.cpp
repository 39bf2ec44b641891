// The bundle's UI in a small LV2 UI host under a private X server: its window and size, the
// pixels it shows against the windowless editor, edits and gestures from XTest's pointer, port
// events, closing and reopening, two UIs at once, and a UI without a parent.
#include "../window/FakeDesktopOpener.h"
#include "../window/XvfbDisplay.h"
#include "LV2UITestHost.h"

#include "editor/IGraphicsHeadless.h"
#include "effect/Zerub.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kW = 333, kH = 511;
constexpr uint32_t kStereoGain = 4, kStereoLevel = 5, kStereoEnabled = 6;
constexpr uint32_t kMonoGain = 2;

// The windowless editor's pixels at the given real values (0x00RRGGBB), and its controls' areas.
struct Reference {
    std::unique_ptr<IPlugAU> plug;
    IGraphics* gui = nullptr;

    Reference() {
        IGraphicsHeadless::SetDefaultResourceDir(ZERUB_SOURCE_DIR "/resources/img");
        plug.reset(MakePlug(nullptr));
        gui = plug ? dynamic_cast<IGraphics*>(plug->GetGUI()) : nullptr;
    }
    std::vector<uint32_t> At(double gain, double level, double bypass) {
        plug->GetParam(Zerub::kGain)->Set(gain);
        plug->GetParam(Zerub::kLevel)->Set(level);
        plug->GetParam(Zerub::kBypass)->Set(bypass);
        plug->RedrawParamControls();
        IRECT r;
        while (gui->IsDirty(&r))
            gui->Draw(&r);
        std::vector<uint32_t> out(static_cast<size_t>(kW) * kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                out[static_cast<size_t>(y) * kW + x] =
                    LICE_GetPixel(gui->GetBackBuffer(), x, y) & 0xffffff;
        return out;
    }
};

int CountDifferent(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size()) return -1;
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

std::vector<float> WritesTo(const LV2UITestHost& host, uint32_t port) {
    std::vector<float> values;
    for (const UIMessage& m : host.messages)
        if (m.kind == UIMessage::kWrite && m.port == port) values.push_back(m.value);
    return values;
}

// Every test runs under the private X server, beside the windowless editor as reference.
class LV2UI : public testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!StartXvfb(&why)) GTEST_SKIP() << why;
    }
    // The centre of control idx (1 Gain, 2 Level, 3 bypass, 4 link).
    std::pair<int, int> Centre(int idx) const {
        const IRECT* r = ref.gui->GetControl(idx)->GetRECT();
        return {(r->left + r->right) / 2, (r->top + std::min(r->bottom, kH)) / 2};
    }
    // The left button pressed on the Gain knob's centre, which it returns.
    std::pair<int, int> PressOnGain(LV2UITestHost& host) const {
        const auto [x, y] = Centre(1);
        host.MoveTo(x, y);
        host.Press(1);
        return {x, y};
    }
    // How many pixels of host's UI differ from the windowless editor at these values.
    int Differs(const LV2UITestHost& host, double gain, double level, double bypass) {
        return CountDifferent(host.Pixels(host.UIWindow(), kW, kH), ref.At(gain, level, bypass));
    }
    // After the port events given: the editor at these values, and nothing sent back to the host.
    void ExpectShowsWithoutWriting(LV2UITestHost& host, double gain, double level, double bypass) {
        host.Idle();
        EXPECT_EQ(Differs(host, gain, level, bypass), 0);
        EXPECT_TRUE(host.messages.empty()) << "a port event went back to the host";
    }
    Reference ref;
};

TEST_F(LV2UI, OpensAs333x511ChildOfTheHostsParentAndTellsItsSize) {
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    int w = 0, h = 0;
    ASSERT_TRUE(host.WindowSize(host.UIWindow(), &w, &h));
    EXPECT_EQ(w, kW);
    EXPECT_EQ(h, kH);
    EXPECT_EQ(host.ParentOf(host.UIWindow()), host.ParentWindow());
    EXPECT_EQ(host.resizedWidth, kW);
    EXPECT_EQ(host.resizedHeight, kH);
    EXPECT_EQ(host.Idle(), 0);
}

TEST_F(LV2UI, ShowsTheWindowlessEditorsPixelsAndPortEventsWriteNothingBack) {
    ASSERT_NE(ref.gui, nullptr);
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    EXPECT_EQ(Differs(host, 0.5, 0.5, 0.0), 0);

    host.PortEvent(kStereoGain, 1.0f);
    host.PortEvent(kStereoLevel, 0.0f);
    host.PortEvent(kStereoEnabled, 0.0f); // the host's bypass
    ExpectShowsWithoutWriting(host, 1.0, 0.0, 1.0);
}

TEST_F(LV2UI, PortEventsOfOtherPortsFormatsOrNonFiniteValuesChangeNothing) {
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    host.PortEvent(0, 1.0f);  // an audio port
    host.PortEvent(99, 1.0f); // no port at all
    host.PortEvent(kStereoGain, std::nanf(""));
    const double asDouble = 1.0; // a double where a float belongs
    host.RawPortEvent(kStereoGain, sizeof asDouble, 0, &asDouble);
    const float value = 1.0f; // a float in another protocol
    host.RawPortEvent(kStereoGain, sizeof value, 7, &value);
    host.PortEvent(kStereoLevel, -5.0f); // clamped to the minimum: the knob shows 0
    ExpectShowsWithoutWriting(host, 0.5, 0.0, 0.0);
}

TEST_F(LV2UI, DraggingGainUpWritesRisingValuesBetweenOneGrabAndItsRelease) {
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    const auto [x, y] = PressOnGain(host);
    for (int step = 1; step <= 5; ++step)
        host.MoveTo(x, y - 8 * step);
    host.Release(1);

    ASSERT_GE(host.messages.size(), 3u);
    EXPECT_EQ(host.messages.front().kind, UIMessage::kGrab);
    EXPECT_EQ(host.messages.front().port, kStereoGain);
    EXPECT_EQ(host.messages.back().kind, UIMessage::kRelease);
    EXPECT_EQ(host.messages.back().port, kStereoGain);
    const std::vector<float> gains = WritesTo(host, kStereoGain);
    ASSERT_GE(gains.size(), 2u);
    for (size_t i = 1; i < gains.size(); ++i)
        EXPECT_GT(gains[i], gains[i - 1]);
    EXPECT_GT(gains.front(), 0.5f);
    EXPECT_LE(gains.back(), 1.0f);
    for (size_t i = 1; i + 1 < host.messages.size(); ++i)
        EXPECT_EQ(host.messages[i].kind, UIMessage::kWrite) << "grabbed twice or released early";
    // The knob shows what was written.
    EXPECT_EQ(Differs(host, gains.back(), 0.5, 0), 0);
}

TEST_F(LV2UI, TheWheelTurnsAKnobByOneStepInAGestureOfItsOwn) {
    const auto [x, y] = Centre(2);
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    host.Click(4, x, y); // wheel up
    host.Click(5, x, y); // and down again
    host.Click(5, x, y);
    ASSERT_EQ(host.messages.size(), 9u);
    const float expected[3] = {0.51f, 0.5f, 0.49f};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(host.messages[3 * i].kind, UIMessage::kGrab);
        EXPECT_EQ(host.messages[3 * i + 1].kind, UIMessage::kWrite);
        EXPECT_EQ(host.messages[3 * i + 1].port, kStereoLevel);
        EXPECT_NEAR(host.messages[3 * i + 1].value, expected[i], 1e-6);
        EXPECT_EQ(host.messages[3 * i + 2].kind, UIMessage::kRelease);
    }
}

TEST_F(LV2UI, ADoubleClickOnTheSwitchIsTwoPressesAsOnTheCocoaView) {
    const auto [x, y] = Centre(3);
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    host.Click(1, x, y);
    host.Click(1, x, y);
    EXPECT_EQ(WritesTo(host, kStereoEnabled), (std::vector<float>{0.0f, 1.0f}));
    // A right click is a press too, but never a double click.
    host.messages.clear();
    host.Click(3, x, y);
    host.Click(3, x, y);
    EXPECT_EQ(WritesTo(host, kStereoEnabled), (std::vector<float>{0.0f, 1.0f}));
}

TEST_F(LV2UI, TheMonoUIWritesAndReadsTheMonoPortNumbers) {
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kMonoURI));
    const auto [x, y] = PressOnGain(host);
    host.MoveTo(x, y - 20);
    host.Release(1);
    ASSERT_FALSE(host.messages.empty());
    for (const UIMessage& m : host.messages)
        EXPECT_EQ(m.port, kMonoGain);

    host.messages.clear();
    host.PortEvent(2, 1.0f);
    host.PortEvent(3, 0.0f);
    host.PortEvent(4, 0.0f); // "enabled" off: bypassed
    ExpectShowsWithoutWriting(host, 1.0, 0.0, 1.0);
}

TEST_F(LV2UI, ClosingInTheMiddleOfADragReleasesTheGrab) {
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    const auto [x, y] = PressOnGain(host);
    host.MoveTo(x, y - 16);
    host.Close();
    host.Release(1); // leaves the server's button up for the next test
    ASSERT_GE(host.messages.size(), 2u);
    EXPECT_EQ(host.messages.front().kind, UIMessage::kGrab);
    EXPECT_EQ(host.messages.back().kind, UIMessage::kRelease);
    EXPECT_EQ(host.messages.back().port, kStereoGain);
}

TEST_F(LV2UI, AHostThatDestroysItsWindowFirstCanStillCloseTheUI) {
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    host.DestroyParent();
    host.Close(); // an X error here would end this process
    LV2UITestHost again;
    ASSERT_TRUE(again.Open(kStereoURI));
    again.DestroyParent();
    EXPECT_NE(again.Idle(), 0); // the view is gone: idle says so
    again.Close();
}

TEST_F(LV2UI, FiveCloseAndReopenCyclesEachShowTheEditor) {
    LV2UITestHost host;
    for (int cycle = 0; cycle < 5; ++cycle) {
        ASSERT_TRUE(host.Open(kStereoURI)) << "cycle " << cycle;
        EXPECT_EQ(Differs(host, 0.5, 0.5, 0.0), 0) << "cycle " << cycle;
        host.Close();
    }
}

TEST_F(LV2UI, TwoUIsOpenAtOnceEachDrawAndWriteToTheirOwnHost) {
    const auto [x, y] = Centre(3);
    LV2UITestHost a, b;
    ASSERT_TRUE(a.Open(kStereoURI, true, 0, 0));
    ASSERT_TRUE(b.Open(kMonoURI, true, 500, 0));
    b.PortEvent(2, 1.0f);
    b.Idle();
    a.Idle();
    EXPECT_EQ(Differs(a, 0.5, 0.5, 0.0), 0);
    EXPECT_EQ(Differs(b, 1.0, 0.5, 0.0), 0);
    a.Click(1, x, y);
    b.Idle();
    EXPECT_EQ(WritesTo(a, kStereoEnabled), std::vector<float>{0.0f});
    EXPECT_TRUE(b.messages.empty());
}

TEST_F(LV2UI, WithoutAParentItOpensATopLevelWindowThatTheUserCanClose) {
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI, false));
    EXPECT_EQ(host.ParentOf(host.UIWindow()), host.Root());
    EXPECT_EQ(Differs(host, 0.5, 0.5, 0.0), 0);
    // The window manager's close button: the UI closes its window and idle says so.
    host.SendClose();
    EXPECT_NE(host.Idle(), 0);
}

TEST_F(LV2UI, AnOpenEditorWhoseValuesDoNotChangePutsNothingOnScreen) {
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    // Paint over the window behind the UI's back (no expose): a redraw would undo it.
    host.PaintOver(0x123456);
    host.Idle(20);
    const std::vector<uint32_t> pixels = host.Pixels(host.UIWindow(), kW, kH);
    EXPECT_EQ(CountDifferent(pixels, std::vector<uint32_t>(pixels.size(), 0x123456)), 0);
    // A change redraws only what changed: the Gain knob's area, not the Level knob's.
    host.PortEvent(kStereoGain, 1.0f);
    host.Idle();
    const std::vector<uint32_t> after = host.Pixels(host.UIWindow(), kW, kH);
    const std::vector<uint32_t> expected = ref.At(1.0, 0.5, 0.0);
    const IRECT* gain = ref.gui->GetControl(1)->GetRECT();
    int gainPainted = 0, levelPainted = 0;
    const IRECT* level = ref.gui->GetControl(2)->GetRECT();
    for (int y = gain->top; y < gain->bottom; ++y)
        for (int x = gain->left; x < gain->right; ++x)
            gainPainted += after[y * kW + x] == expected[y * kW + x];
    for (int y = level->top; y < level->bottom; ++y)
        for (int x = level->left; x < level->right; ++x)
            levelPainted += after[y * kW + x] != 0x123456;
    EXPECT_EQ(gainPainted, gain->W() * gain->H());
    EXPECT_EQ(levelPainted, 0);
}

TEST_F(LV2UI, TheArtworkIsDecodedOncePerProcessAndSharedByEveryUI) {
    // A copy of the bundle, loaded as a library of its own: its images can be taken away.
    char name[] = "/tmp/zerub-bundle-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string copy = std::string(name) + "/Zerub.lv2";
    ASSERT_EQ(std::system(("cp -r '" ZERUB_LV2_BUNDLE "' '" + copy + "'").c_str()), 0);
    {
        LV2UITestHost first;
        first.bundle = copy;
        ASSERT_TRUE(first.Open(kStereoURI));
        EXPECT_EQ(Differs(first, 0.5, 0.5, 0.0), 0);
        ASSERT_EQ(std::system(("rm -r '" + copy + "/resources'").c_str()), 0);
        // Another instance while the first is open, and one after every UI has gone.
        LV2UITestHost second;
        second.bundle = copy;
        ASSERT_TRUE(second.Open(kMonoURI, true, 500, 0));
        EXPECT_EQ(Differs(second, 0.5, 0.5, 0.0), 0);
    }
    LV2UITestHost third;
    third.bundle = copy;
    ASSERT_TRUE(third.Open(kStereoURI));
    EXPECT_EQ(Differs(third, 0.5, 0.5, 0.0), 0);
    third.Close();
    std::system(("rm -r '" + std::string(name) + "'").c_str());
}

TEST_F(LV2UI, TheMakersLinkOpensWithTheDesktopsHandlerWithoutBlockingTheHost) {
    FakeDesktopOpener opener;
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    host.Click(1, 300, 500);   // the maker's name, bottom right
    EXPECT_EQ(host.Idle(), 0); // the UI is back before the handler has done anything
    opener.Release();
    EXPECT_EQ(opener.Arguments(), "https://www.quillmoor.com/zerub\n");
    EXPECT_TRUE(host.messages.empty());
}

} // namespace
