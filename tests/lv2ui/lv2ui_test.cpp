// The bundle's UI in a small LV2 UI host under a private X server: its window and size, the
// pixels it shows against the windowless editor, edits and gestures from XTest's pointer, port
// events (both bypass ports among them), closing and reopening, two UIs at once, a UI without a
// parent, a window the host makes larger, and hosts that destroy the UI's window under it.
#include "../window/FakeDesktopOpener.h"
#include "../window/XvfbDisplay.h"
#include "LV2UITestHost.h"

#include "editor/IGraphicsHeadless.h"
#include "effect/Zerub.h"
#include "raster/lice.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kW = 333, kH = 511;
constexpr uint32_t kStereoGain = 4, kStereoLevel = 5, kStereoEnabled = 6, kStereoBy = 7;
constexpr uint32_t kMonoGain = 2, kMonoEnabled = 4, kMonoBy = 5;
constexpr uint32_t kStereoQuality = 8, kMonoQuality = 6;

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

std::vector<float> WritesTo(const LV2UITestHost& host, uint32_t port) {
    std::vector<float> values;
    for (const UIMessage& m : host.messages)
        if (m.kind == UIMessage::kWrite && m.port == port) values.push_back(m.value);
    return values;
}

// Runs body in a child process, which makes X connections of its own (it never uses the
// parent's), and answers how the child ended: its exit status, or 128 + the ending signal.
// Xlib's default error handler, when it fires, exits with 1.
int InChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Open/close rounds for the tests of hosts that destroy the UI's window: a few by default;
// ZERUB_LV2UI_ROUNDS=300 for a longer run by hand.
int Rounds(int fallback) {
    const char* n = std::getenv("ZERUB_LV2UI_ROUNDS");
    return n && std::atoi(n) > 0 ? std::atoi(n) : fallback;
}

// Every test runs under the private X server, beside the windowless editor as reference.
class LV2UI : public testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!StartXvfb(&why)) GTEST_SKIP() << why;
        // No remembered zoom, whatever this user chose in an editor.
        setenv("XDG_CONFIG_HOME", "/nonexistent/zerub-test", 1);
    }
    // The centre of control idx (1 Gain, 2 Level, 3 bypass, 4 link, 5 HQ).
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

// The earlier builds' "by" port, which some hosts show and old sessions restore, bypasses the
// sound: the switch shows it, and a press of the switch decides alone (both ports written).
TEST_F(LV2UI, TheSwitchShowsEitherBypassPortAndAPressWritesBoth) {
    const auto [x, y] = Centre(3);
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    host.PortEvent(kStereoGain, 1.0f);
    host.PortEvent(kStereoLevel, 0.0f);
    host.PortEvent(kStereoBy, 1.0f); // "enabled" stays 1
    ExpectShowsWithoutWriting(host, 1.0, 0.0, 1.0);

    host.Click(1, x, y); // what the user sees bypassed becomes active, whatever "by" held
    EXPECT_EQ(WritesTo(host, kStereoEnabled), std::vector<float>{1.0f});
    EXPECT_EQ(WritesTo(host, kStereoBy), std::vector<float>{0.0f});
    EXPECT_EQ(Differs(host, 1.0, 0.0, 0.0), 0);
    host.messages.clear();
    host.Click(1, x + 20, y); // and bypassed again, through the host's own bypass alone
    EXPECT_EQ(WritesTo(host, kStereoEnabled), std::vector<float>{0.0f});
    EXPECT_EQ(WritesTo(host, kStereoBy), std::vector<float>{0.0f});
    EXPECT_EQ(Differs(host, 1.0, 0.0, 1.0), 0);
    // Both writes lie inside one gesture on both ports.
    ASSERT_EQ(host.messages.size(), 6u);
    for (int i : {0, 1})
        EXPECT_EQ(host.messages[i].kind, UIMessage::kGrab);
    for (int i : {4, 5})
        EXPECT_EQ(host.messages[i].kind, UIMessage::kRelease);

    // Either port alone bypasses: "by" back at 0 leaves "enabled" 0 bypassing.
    host.messages.clear();
    host.PortEvent(kStereoEnabled, 0.0f);
    host.PortEvent(kStereoBy, 1.0f);
    host.PortEvent(kStereoBy, 0.0f);
    ExpectShowsWithoutWriting(host, 1.0, 0.0, 1.0);
    host.PortEvent(kStereoEnabled, 1.0f);
    ExpectShowsWithoutWriting(host, 1.0, 0.0, 0.0);
    host.PortEvent(kStereoBy, std::nanf("")); // ignored, as the effect ignores it
    host.PortEvent(kStereoBy, 0.5f);          // below 1: not bypassed, as the effect reads it
    ExpectShowsWithoutWriting(host, 1.0, 0.0, 0.0);
}

TEST_F(LV2UI, TheMonoUIReadsAndWritesTheMonoBypassPorts) {
    const auto [x, y] = Centre(3);
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kMonoURI));
    host.PortEvent(kMonoBy, 1.0f);
    ExpectShowsWithoutWriting(host, 0.5, 0.5, 1.0);
    host.Click(1, x, y);
    EXPECT_EQ(WritesTo(host, kMonoEnabled), std::vector<float>{1.0f});
    EXPECT_EQ(WritesTo(host, kMonoBy), std::vector<float>{0.0f});
}

// Hosts with a wider window of their own size the UI's window themselves (392 x 511, 600 x
// 675): every pixel of it is painted, the editor centred and the rest in one colour, the mean
// of the artwork's outermost pixels; the pointer still lands where the editor shows.
TEST_F(LV2UI, AWindowTheHostMakesLargerIsPaintedEdgeToEdge) {
    const std::vector<uint32_t> editor = ref.At(0.5, 0.5, 0.0);
    uint64_t sum[3] = {}, n = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (x == 0 || y == 0 || x == kW - 1 || y == kH - 1) {
                const uint32_t p = editor[static_cast<size_t>(y) * kW + x];
                for (int c = 0; c < 3; ++c)
                    sum[c] += (p >> (16 - 8 * c)) & 0xff;
                ++n;
            }
    uint32_t edge = 0;
    for (int c = 0; c < 3; ++c)
        edge |= static_cast<uint32_t>((sum[c] + n / 2) / n) << (16 - 8 * c);
    constexpr uint32_t kUnpainted = 0x00ff00; // the parent's background, shown where nothing is

    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    int minW = 0, minH = 0, maxW = 0, maxH = 0;
    ASSERT_TRUE(host.SizeHints(host.UIWindow(), &minW, &minH, &maxW, &maxH));
    EXPECT_EQ(std::vector<int>({minW, minH, maxW, maxH}), std::vector<int>({kW, kH, kW, kH}));
    host.SetParentBackground(kUnpainted);
    for (const auto& [w, h] : {std::pair<int, int>{392, 511}, {600, 675}, {333, 511}}) {
        host.ResizeUI(w, h);
        host.Idle();
        const std::vector<uint32_t> pixels = host.Pixels(host.UIWindow(), w, h);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(w) * h);
        const int ox = (w - kW) / 2, oy = (h - kH) / 2;
        int wrongEditor = 0, wrongMargin = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t p = pixels[static_cast<size_t>(y) * w + x];
                const bool inside = x >= ox && x < ox + kW && y >= oy && y < oy + kH;
                if (inside)
                    wrongEditor += p != editor[static_cast<size_t>(y - oy) * kW + (x - ox)];
                else
                    wrongMargin += p != edge;
            }
        EXPECT_EQ(wrongEditor, 0) << w << " x " << h;
        EXPECT_EQ(wrongMargin, 0) << w << " x " << h;
    }
    host.ResizeUI(600, 675);
    host.Idle();
    const auto [x, y] = Centre(3);
    host.Click(1, x + (600 - kW) / 2, y + (675 - kH) / 2);
    EXPECT_EQ(WritesTo(host, kStereoEnabled), std::vector<float>{0.0f});
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

// The scale comes from the host's ui:scaleFactor, else GDK_SCALE, else Xft.dpi / 96. At 2 the
// window, its size hints and the size told to ui:resize are 666 x 1022, and a drag on the knob
// (in the window's own pixels, twice as far) writes what the same drag writes at 1.
class LV2UIScale : public LV2UI {
protected:
    enum Source { kNone, kOption, kGdkScale, kXftDpi };
    // Opens host with the scale given through source; the desktop settings are undone at once.
    bool OpenWith(LV2UITestHost& host, Source source, const char* value) {
        host.parentW = 1100;
        host.parentH = 1100;
        if (source == kOption) host.scaleOption = float(std::atof(value));
        if (source == kGdkScale) setenv("GDK_SCALE", value, 1);
        if (source == kXftDpi)
            host.SetResources((std::string("Xft.dpi:\t") + value + "\n").c_str());
        const bool opened = host.Open(kStereoURI);
        unsetenv("GDK_SCALE");
        host.SetResources(nullptr);
        return opened;
    }
    std::vector<float> DragGainUp(LV2UITestHost& host, int scale) const {
        const auto [x, y] = Centre(1);
        host.MoveTo(x * scale, y * scale);
        host.Press(1);
        for (int step = 1; step <= 5; ++step)
            host.MoveTo(x * scale, (y - 8 * step) * scale);
        host.Release(1);
        return WritesTo(host, kStereoGain);
    }
    void ExpectSize(LV2UITestHost& host, int w, int h) {
        int ww = 0, wh = 0, minW = 0, minH = 0, maxW = 0, maxH = 0;
        ASSERT_TRUE(host.WindowSize(host.UIWindow(), &ww, &wh));
        EXPECT_EQ(ww, w);
        EXPECT_EQ(wh, h);
        EXPECT_EQ(host.resizedWidth, w);
        EXPECT_EQ(host.resizedHeight, h);
        ASSERT_TRUE(host.SizeHints(host.UIWindow(), &minW, &minH, &maxW, &maxH));
        EXPECT_TRUE(minW == w && maxW == w && minH == h && maxH == h)
            << minW << "x" << minH << " to " << maxW << "x" << maxH;
    }
};

TEST_F(LV2UIScale, AtTwoFromTheHostGdkScaleOrXftDpiTheWindowDoublesAndDragsWriteAsAtOne) {
    std::vector<float> atOne;
    {
        LV2UITestHost host;
        ASSERT_TRUE(OpenWith(host, kNone, nullptr));
        ExpectSize(host, kW, kH);
        atOne = DragGainUp(host, 1);
        ASSERT_GE(atOne.size(), 2u);
    }
    const std::pair<Source, const char*> sources[] = {
        {kOption, "2"}, {kGdkScale, "2"}, {kXftDpi, "192"}};
    for (const auto& [source, value] : sources) {
        SCOPED_TRACE(source);
        LV2UITestHost host;
        ASSERT_TRUE(OpenWith(host, source, value));
        ExpectSize(host, 666, 1022);
        EXPECT_EQ(DragGainUp(host, 2), atOne);
        EXPECT_EQ(host.messages.front().kind, UIMessage::kGrab);
        EXPECT_EQ(host.messages.back().kind, UIMessage::kRelease);
    }
}

TEST_F(LV2UIScale, TheHostsOptionComesFirstAndAnUnreadableSettingIsPassedOver) {
    {
        LV2UITestHost host; // the host says 1: the desktop's 2 does not count
        host.scaleOption = 1.0f;
        ASSERT_TRUE(OpenWith(host, kGdkScale, "2"));
        ExpectSize(host, kW, kH);
    }
    {
        LV2UITestHost host; // GDK_SCALE that is no number: Xft.dpi is next
        setenv("GDK_SCALE", "two", 1);
        ASSERT_TRUE(OpenWith(host, kXftDpi, "144"));
        unsetenv("GDK_SCALE");
        ExpectSize(host, 500, 767);
    }
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
    host.MoveTo(kW + 20, 10); // off the editor: the knob's value readout goes

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

TEST_F(LV2UI, AParentThatNamesNoWindowIsRefusedAndTheHostLives) {
    const int status = InChild([] {
        LV2UITestHost host;
        // Far outside any client's id range: no window has this id.
        if (host.OpenInside(kStereoURI, 0x7ffffff0ul)) return 10;
        host.Idle();
        LV2UITestHost after; // and the next UI opens as usual
        return after.Open(kStereoURI) ? 0 : 11;
    });
    EXPECT_EQ(status, 0) << "1: an X error ended the host; 10: a UI was made in no window";
}

// The order a toolkit host sends without syncing: the parent destroyed, then a port event and
// an idle call, or the cleanup straight away. With Xlib's default error handler in force, an
// error that reaches it ends the host.
TEST_F(LV2UI, AHostThatDestroysTheParentWithoutSyncingSurvivesEveryOrder) {
    const int rounds = Rounds(24);
    const int status = InChild([rounds] {
        for (int round = 0; round < rounds; ++round) {
            LV2UITestHost host;
            if (!host.Open(kStereoURI)) return 10;
            const float gain = (round % 10) / 10.0f;
            switch (round % 4) {
            case 0:
                host.DestroyParentUnsynced();
                host.PortEvent(kStereoGain, gain);
                host.IdleOnce();
                break;
            case 1:
                host.DestroyParentUnsynced();
                break;
            case 2:
                host.DestroyParentUnsynced();
                host.IdleOnce();
                host.PortEvent(kStereoLevel, gain);
                host.IdleOnce();
                break;
            default:
                host.PortEvent(kStereoGain, gain);
                host.DestroyParentUnsynced();
                host.IdleOnce();
                host.IdleOnce();
                break;
            }
            host.Close();
        }
        return 0;
    });
    EXPECT_EQ(status, 0) << "1: an X error ended the host";
}

// Made certain with a server grab: the UI's drawing reaches the server only after its window
// is gone. The error is the UI's: the host's own handler neither hears of it nor is replaced,
// and the UI stops drawing (idle says the view is gone) and closes cleanly.
TEST_F(LV2UI, DrawingIntoAWindowDestroyedUnderTheUIIsCaughtOnItsOwnConnection) {
    const int status = InChild([] {
        InstallCountingXErrorHandler();
        LV2UITestHost host;
        if (!host.Open(kStereoURI)) return 10;
        host.GrabServer();
        host.PortEvent(kStereoGain, 1.0f);
        host.IdleOnce(); // the knob's pixels wait at the server behind the grab
        host.DestroyParentUnsynced();
        host.UngrabServer();
        host.PortEvent(kStereoGain, 0.0f);
        const int answer = host.Idle();
        host.Close();
        if (XErrorsCounted() != 0) return 11;
        if (!CountingXErrorHandlerInstalled()) return 12;
        return answer != 0 ? 0 : 13;
    });
    EXPECT_EQ(status, 0) << "11: the host's handler got the UI's error; 12: the UI replaced "
                            "the host's handler; 13: idle still says the view is open";
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

// The HQ switch writes the quality port (no gesture: it is no parameter) and shows the new
// setting at once; the host's port events move it and are not written back.
TEST_F(LV2UI, TheHQSwitchWritesTheQualityPortAndFollowsTheHost) {
    const auto [x, y] = Centre(5);
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kStereoURI));
    host.Click(1, x, y);
    EXPECT_EQ(WritesTo(host, kStereoQuality), std::vector<float>{1.0f});
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_GT(Differs(host, 0.5, 0.5, 0.0), 0); // the reference still in Standard
    ref.plug->ChangeQuality(Zerub::kQualityHQ);
    EXPECT_EQ(Differs(host, 0.5, 0.5, 0.0), 0);
    host.messages.clear();
    host.Click(1, x, y);
    EXPECT_EQ(WritesTo(host, kStereoQuality), std::vector<float>{0.0f});
    ref.plug->ChangeQuality(Zerub::kQualityStandard);
    EXPECT_EQ(Differs(host, 0.5, 0.5, 0.0), 0);

    host.messages.clear();
    host.PortEvent(kStereoQuality, 1.0f);
    ref.plug->ChangeQuality(Zerub::kQualityHQ);
    ExpectShowsWithoutWriting(host, 0.5, 0.5, 0.0);
    host.PortEvent(kStereoQuality, 0.2f); // the nearest setting, as the plug-in reads it
    ref.plug->ChangeQuality(Zerub::kQualityStandard);
    ExpectShowsWithoutWriting(host, 0.5, 0.5, 0.0);
    host.PortEvent(kStereoQuality, 7.0f);
    host.PortEvent(kStereoQuality, std::nanf(""));
    ref.plug->ChangeQuality(Zerub::kQualityHQ);
    ExpectShowsWithoutWriting(host, 0.5, 0.5, 0.0);
    ref.plug->ChangeQuality(Zerub::kQualityStandard);
}

TEST_F(LV2UI, TheMonoUIWritesItsOwnQualityPort) {
    const auto [x, y] = Centre(5);
    LV2UITestHost host;
    ASSERT_TRUE(host.Open(kMonoURI));
    host.Click(1, x, y);
    EXPECT_EQ(WritesTo(host, kMonoQuality), std::vector<float>{1.0f});
}

// The user's zoom in a private settings folder, removed afterwards.
class LV2UIZoom : public LV2UI {
protected:
    void SetUp() override {
        LV2UI::SetUp();
        if (IsSkipped()) return;
        char name[] = "/tmp/zerub-ui-zoom-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string dir;
};

// Ctrl+= grows the window a step (its size hints and the host's ui:resize with it), Ctrl+-
// shrinks it, Ctrl+wheel steps too, and the next editor opens at the size the user left.
TEST_F(LV2UIZoom, ControlPlusGrowsTheWindowAndTheNextEditorOpensAtTheRememberedSize) {
    {
        LV2UITestHost host;
        ASSERT_TRUE(host.Open(kStereoURI));
        host.MoveTo(150, 300);
        host.ControlKey(XK_equal);
        int w = 0, h = 0;
        ASSERT_TRUE(host.WindowSize(host.UIWindow(), &w, &h));
        EXPECT_EQ(w, 416); // 333 x 1.25
        EXPECT_EQ(h, 639);
        EXPECT_EQ(host.resizedWidth, 416);
        EXPECT_EQ(host.resizedHeight, 639);
        int minW = 0, minH = 0, maxW = 0, maxH = 0;
        ASSERT_TRUE(host.SizeHints(host.UIWindow(), &minW, &minH, &maxW, &maxH));
        EXPECT_EQ(minW, 416);
        EXPECT_EQ(maxH, 639);
        EXPECT_TRUE(host.messages.empty()); // no parameter moved
        host.ControlKey(XK_equal);
        host.ControlKey(XK_minus);
        ASSERT_TRUE(host.WindowSize(host.UIWindow(), &w, &h));
        EXPECT_EQ(w, 416);
        const auto [gx, gy] = Centre(1);
        // Over the Gain knob (at 125 %), Ctrl+wheel zooms rather than turning it.
        host.MoveTo(gx * 5 / 4, gy * 5 / 4);
        host.ControlWheel(4);
        ASSERT_TRUE(host.WindowSize(host.UIWindow(), &w, &h));
        EXPECT_EQ(w, 500); // 333 x 1.5, rounded
        host.ControlWheel(5);
        ASSERT_TRUE(host.WindowSize(host.UIWindow(), &w, &h));
        EXPECT_EQ(w, 416);
        EXPECT_TRUE(host.messages.empty());
    }
    LV2UITestHost next;
    ASSERT_TRUE(next.Open(kStereoURI));
    int w = 0, h = 0;
    ASSERT_TRUE(next.WindowSize(next.UIWindow(), &w, &h));
    EXPECT_EQ(w, 416);
    EXPECT_EQ(h, 639);
    EXPECT_EQ(next.resizedWidth, 416);
    next.MoveTo(100, 100);
    for (int i = 0; i < 3; ++i)
        next.ControlKey(XK_minus); // stops at 100 %
    ASSERT_TRUE(next.WindowSize(next.UIWindow(), &w, &h));
    EXPECT_EQ(w, kW);
    EXPECT_EQ(h, kH);
    EXPECT_EQ(next.resizedHeight, kH);
    next.MoveTo(kW + 20, 10);                   // off the editor: no value readout in the picture
    EXPECT_EQ(Differs(next, 0.5, 0.5, 0.0), 0); // and draws as at 1
}

} // namespace
