// The effect's editor with its value readout and typed-value field, headless at scale 1 and 2:
// where the boxes sit against the artwork, that they cover no control, that they leave no trace,
// and that double-click reset and Shift's fine drag hold at every scale. With
// ZERUB_SNAPSHOT_DIR set, the readout and the field are written there as PNG files to look at.
#include "GoldenImage.h"
#include "editor/IGraphicsHeadless.h"
#include "effect/Zerub.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

const char* const kImgDir = ZERUB_SOURCE_DIR "/resources/img";
constexpr int kGainIdx = 1, kLevelIdx = 2, kBypassIdx = 3;

class EffectEditorValues : public testing::TestWithParam<double> {
protected:
    std::unique_ptr<IPlugAU> plug;
    IGraphics* gui = nullptr;
    IMouseMod none, left{true}, shift{true, false, true};

    void SetUp() override {
        IGraphicsHeadless::SetDefaultResourceDir(kImgDir);
        plug.reset(MakePlug(nullptr));
        ASSERT_TRUE(plug);
        gui = dynamic_cast<IGraphics*>(plug->GetGUI());
        ASSERT_NE(gui, nullptr);
        gui->SetScale(GetParam());
        IRECT all(0, 0, gui->Width(), gui->Height());
        gui->Draw(&all);
        Settle();
    }
    void Settle() {
        IRECT r;
        while (gui->IsDirty(&r))
            gui->Draw(&r);
    }
    IRECT Area(int idx) const { return *gui->GetControl(idx)->GetRECT(); }
    void Hover(int idx) {
        const IRECT a = Area(idx);
        gui->OnMouseOver((a.left + a.right) / 2, (a.top + a.bottom) / 2, &none);
        Settle();
    }
    void Snapshot(const char* what) {
        const char* dir = std::getenv("ZERUB_SNAPSHOT_DIR");
        if (!dir || !*dir) return;
        const std::string path =
            std::string(dir) + "/" + what + "@" + std::to_string(int(GetParam() * 100)) + ".png";
        EXPECT_TRUE(WritePNG(path, gui->GetBackBuffer())) << path;
    }
    std::unique_ptr<LICE_MemBitmap> Copy() const {
        LICE_IBitmap* bm = gui->GetBackBuffer();
        auto copy = std::make_unique<LICE_MemBitmap>(bm->getWidth(), bm->getHeight(), 4);
        LICE_Blit(copy.get(), bm, 0, 0, 0, 0, bm->getWidth(), bm->getHeight(), 1.0f,
                  LICE_COMBINE_COPY);
        return copy;
    }
};

TEST_P(EffectEditorValues, EachKnobsReadoutSitsBelowItOnTheFaceplateAndLeavesNoTrace) {
    const auto before = Copy();
    const IRECT bar(0, 481, gui->Width(), gui->Height()); // the bottom bar
    for (int idx : {kGainIdx, kLevelIdx}) {
        SCOPED_TRACE(idx);
        Hover(idx);
        ASSERT_TRUE(gui->ValueOverlayShown());
        EXPECT_STREQ(gui->ValueOverlayText(), idx == kGainIdx ? "Gain 0.50 %" : "Level 0.50 %");
        const IRECT box = gui->ValueOverlayArea();
        EXPECT_EQ(box.top, Area(idx).bottom + IGraphics::kReadoutGap);
        EXPECT_EQ((box.left + box.right) / 2, (Area(idx).left + Area(idx).right) / 2);
        EXPECT_GE(box.left, 0);
        EXPECT_LE(box.right, gui->Width());
        for (int other : {kGainIdx, kLevelIdx, kBypassIdx})
            EXPECT_FALSE(box.Overlaps(Area(other))) << "covers control " << other;
        EXPECT_FALSE(box.Overlaps(bar));
        // Text laid out at the scale: the box keeps its editor size within a pixel or two.
        EXPECT_GT(box.W(), 50);
        EXPECT_LT(box.W(), 110);
        EXPECT_GT(box.H(), 12);
        EXPECT_LT(box.H(), 26);
        Snapshot(idx == kGainIdx ? "readout-gain" : "readout-level");
        // The field opens in the readout's place, at least as wide.
        ASSERT_TRUE(gui->OpenValueEntry(idx));
        for (const char* c = "0.7"; *c; ++c)
            gui->OnKeyTyped(0, 0, -1, *c);
        Settle();
        EXPECT_EQ(gui->ValueOverlayArea().top, box.top);
        EXPECT_GE(gui->ValueOverlayArea().W(), box.W());
        Snapshot(idx == kGainIdx ? "field-gain" : "field-level");
        gui->CancelValueEntry();
        gui->OnMouseOut();
        Settle();
        EXPECT_EQ(CountDifferentPixels(gui->GetBackBuffer(), before.get()), 0);
    }
}

TEST_P(EffectEditorValues, DoubleClickResetAndShiftsFineDragHoldAtEveryScale) {
    const IRECT a = Area(kGainIdx);
    const int x = (a.left + a.right) / 2, y = (a.top + a.bottom) / 2;
    IParam* gain = plug->GetParam(Zerub::kGain);
    gui->OnMouseDown(x, y, &left);
    gui->OnMouseDrag(x, y - 31, &left);
    gui->OnMouseUp(x, y - 31, &left);
    const double coarse = gain->Value() - 0.5;
    EXPECT_NEAR(coarse, 31.0 / 62.0 / 4.0, 1e-9);
    gui->OnMouseDblClick(x, y, &left);
    gui->OnMouseUp(x, y, &left);
    EXPECT_EQ(gain->Value(), 0.5);
    gui->OnMouseDown(x, y, &shift);
    gui->OnMouseDrag(x, y - 31, &shift);
    gui->OnMouseUp(x, y - 31, &shift);
    EXPECT_NEAR(gain->Value() - 0.5, coarse / 10.0, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Scales, EffectEditorValues, testing::Values(1.0, 2.0));

} // namespace
