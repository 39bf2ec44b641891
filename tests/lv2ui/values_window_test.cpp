// The value readout and field through the real X11 path: the UI in a small LV2 host under a
// private X server, the pointer and keys from XTest, at scale 1 and 2. The window's pixels are
// compared with the windowless editor hovered at the same knob.
#include "../window/XvfbDisplay.h"
#include "LV2UITestHost.h"

#include "editor/IGraphicsHeadless.h"
#include "effect/Zerub.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kW = 333, kH = 511;
constexpr uint32_t kStereoGain = 4;
constexpr int kGainIdx = 1; // the Gain knob's place in the editor

// The windowless editor at a scale, with the pointer over the Gain knob or nowhere.
struct Reference {
    std::unique_ptr<IPlugAU> plug;
    IGraphics* gui = nullptr;
    IRECT readout;

    explicit Reference(double scale) {
        IGraphicsHeadless::SetDefaultResourceDir(ZERUB_SOURCE_DIR "/resources/img");
        plug.reset(MakePlug(nullptr));
        gui = plug ? dynamic_cast<IGraphics*>(plug->GetGUI()) : nullptr;
        if (gui) gui->SetScale(scale);
    }
    IRECT Gain() const { return *gui->GetControl(kGainIdx)->GetRECT(); }
    // The first rows of the drawing, as many as asked (the private server's screen is 768 high).
    std::vector<uint32_t> Pixels(bool hovered, int rows) {
        IMouseMod none;
        const IRECT g = Gain();
        if (hovered)
            gui->OnMouseOver((g.left + g.right) / 2, (g.top + g.bottom) / 2, &none);
        else
            gui->OnMouseOut();
        IRECT r;
        while (gui->IsDirty(&r))
            gui->Draw(&r);
        if (hovered) readout = gui->ValueOverlayArea();
        LICE_IBitmap* bm = gui->GetBackBuffer();
        std::vector<uint32_t> out;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < bm->getWidth(); ++x)
                out.push_back(LICE_GetPixel(bm, x, y) & 0xffffff);
        return out;
    }
};

// The messages since the last call, as text: "G" grab, "R" release, "W<port>=<value>".
std::string Heard(LV2UITestHost& host) {
    std::string out;
    for (const UIMessage& m : host.messages) {
        if (m.kind == UIMessage::kGrab) out += "G ";
        if (m.kind == UIMessage::kRelease) out += "R ";
        if (m.kind == UIMessage::kWrite) {
            char w[48];
            std::snprintf(w, sizeof w, "W%u=%.2f ", m.port, double(m.value));
            out += w;
        }
    }
    host.messages.clear();
    return out;
}

class LV2UIValues : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        std::string why;
        if (!StartXvfb(&why)) GTEST_SKIP() << why;
    }
};

TEST_P(LV2UIValues, HoverShowsTheReadoutKeysStepAndATypedValueIsWritten) {
    const int s = GetParam();
    Reference ref(s);
    ASSERT_NE(ref.gui, nullptr);
    const int w = kW * s, h = std::min(kH * s, 700);
    const std::vector<uint32_t> plain = ref.Pixels(false, h);
    const std::vector<uint32_t> hovered = ref.Pixels(true, h);
    ASSERT_NE(CountDifferent(plain, hovered), 0);

    LV2UITestHost host;
    host.parentW = 1100;
    host.parentH = 1100;
    host.scaleOption = float(s);
    ASSERT_TRUE(host.Open(kStereoURI));
    const IRECT g = ref.Gain();
    const int gx = (g.left + g.right) / 2 * s, gy = (g.top + g.bottom) / 2 * s;

    host.MoveTo(w + 20, 10); // off the editor
    EXPECT_EQ(CountDifferent(host.Pixels(host.UIWindow(), w, h), plain), 0);
    host.MoveTo(gx, gy);
    EXPECT_EQ(CountDifferent(host.Pixels(host.UIWindow(), w, h), hovered), 0);

    // Keys over the knob, each change in a grab of its own.
    host.Key("Up");
    EXPECT_EQ(Heard(host), "G W4=0.51 R ");
    host.Key("End");
    host.Key("End"); // already there: nothing
    host.Key("Home");
    EXPECT_EQ(Heard(host), "G W4=1.00 R G W4=0.00 R ");

    // A double click on the readout opens the field; typed text is written on Return.
    const int rx = (ref.readout.left + ref.readout.right) / 2 * s;
    const int ry = (ref.readout.top + ref.readout.bottom) / 2 * s;
    host.MoveTo(rx, ry);
    host.Click(1, rx, ry);
    host.Click(1, rx, ry);
    for (const char* key : {"0", "period", "2", "5", "Return"})
        host.Key(key);
    EXPECT_EQ(Heard(host), "G W4=0.25 R ");

    // Garbage changes nothing, Escape closes the field, and the arrows step again.
    host.Click(1, rx, ry);
    host.Click(1, rx, ry);
    for (const char* key : {"x", "Return", "Escape"})
        host.Key(key);
    EXPECT_EQ(Heard(host), "");
    host.MoveTo(gx, gy);
    host.Key("Down");
    EXPECT_EQ(Heard(host), "G W4=0.24 R ");

    host.MoveTo(w + 20, 10);
    host.PortEvent(kStereoGain, 0.5f);
    host.Idle();
    EXPECT_EQ(CountDifferent(host.Pixels(host.UIWindow(), w, h), plain), 0)
        << "the readout is gone once the pointer has left";
}

INSTANTIATE_TEST_SUITE_P(Scales, LV2UIValues, testing::Values(1, 2));

} // namespace
