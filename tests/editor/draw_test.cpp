// Drawing primitives and the redraw: frame offsets, clipping to the redraw rectangle, the blend
// mapping, shapes and text.
#include "EditorTestSupport.h"
#include "editor/IControls.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr LICE_pixel kWhite = 0xFFFFFFFFu;

LICE_pixel Coded(int x, int y) {
    return 0xFF000000u | (unsigned(y) << 8) | unsigned(x);
}

struct Drawing : ::testing::Test {
    EditorTestPlug plug{1};
    RecordingGraphics* gui = nullptr;

    void SetUp() override {
        plug.GetParam(0)->InitDouble("Drive", 0.5, 0.0, 1.0, 0.01);
        gui = new RecordingGraphics(&plug, 64, 64, 0);
        IColor white = COLOR_WHITE;
        gui->AttachPanelBackground(&white);
    }
    void Attach() { plug.AttachGraphics(gui); }
    void TearDown() override {
        if (plug.GetGUI() != gui) delete gui; // never handed to the plug-in
    }
    void DrawRect(IRECT r) { gui->Draw(&r); }
    LICE_pixel At(int x, int y) { return LICE_GetPixel(gui->GetBackBuffer(), x, y); }
};

TEST_F(Drawing, FrameSixteenOfAThirtyOneFrameStripIsReadFromRow750) {
    std::unique_ptr<LICE_MemBitmap> strip(MakeCodedStrip(10, 1550));
    IBitmap bmp(strip.get(), 10, 1550, 31);
    auto* knob = new IKnobMultiControl(&plug, 5, 5, 0, &bmp);
    gui->AttachControl(knob);
    Attach(); // value 0.5: frame 16
    DrawRect(IRECT(0, 0, 64, 64));
    EXPECT_EQ(At(5, 5), Coded(0, 750)); // (int)(15 x 1550 / 31 + 0.5)
    EXPECT_EQ(At(14, 54), Coded(9, 799));
    EXPECT_EQ(At(15, 5), kWhite);

    gui->SetParameterFromPlug(0, 1.0, true); // frame 31
    DrawRect(IRECT(0, 0, 64, 64));
    EXPECT_EQ(At(5, 5), Coded(0, 1500));

    std::unique_ptr<LICE_MemBitmap> row(MakeCodedStrip(90, 4));
    IBitmap across(row.get(), 90, 4, 3, true);
    IRECT dest(20, 60, 50, 64);
    gui->DrawBitmap(&across, &dest, 3, nullptr);
    EXPECT_EQ(At(20, 60), Coded(60, 0));
}

TEST_F(Drawing, RedrawTouchesOnlyTheRedrawRectangle) {
    std::unique_ptr<LICE_MemBitmap> strip(MakeCodedStrip(40, 40));
    IBitmap bmp(strip.get(), 40, 40, 1);
    gui->AttachControl(new IBitmapControl(&plug, 10, 10, -1, &bmp));
    Attach();
    DrawRect(IRECT(0, 0, 64, 64));
    IColor black = COLOR_BLACK;
    IRECT all(0, 0, 64, 64);
    gui->FillIRect(&black, &all);

    // Strict: the panel (a fill, not clipped) and the bitmap, clipped to the rectangle.
    DrawRect(IRECT(20, 20, 30, 25));
    EXPECT_EQ(At(20, 20), Coded(10, 10));
    EXPECT_EQ(At(29, 24), Coded(19, 14));
    EXPECT_EQ(At(30, 24), kWhite);
    EXPECT_EQ(At(19, 20), kWhite);
    EXPECT_EQ(At(25, 25), kWhite);
}

TEST_F(Drawing, BlendMethodsMapOntoCombineModes) {
    LICE_MemBitmap half(4, 4, 4);
    LICE_Clear(&half, 0x80FF0000u); // red at half alpha
    IBitmap bmp(&half, 4, 4, 1);
    gui->AttachControl(new IBitmapControl(&plug, 0, 0, -1, &bmp)); // normal
    gui->AttachControl(new IBitmapControl(&plug, 10, 0, -1, &bmp, IChannelBlend::kBlendClobber));
    gui->AttachControl(new IBitmapControl(&plug, 20, 0, -1, &bmp, IChannelBlend::kBlendAdd));
    auto* grayed = new IBitmapControl(&plug, 30, 0, -1, &bmp, IChannelBlend::kBlendClobber);
    gui->AttachControl(grayed);
    grayed->GrayOut(true);
    Attach();
    DrawRect(IRECT(0, 0, 64, 64));

    const LICE_pixel normal = At(0, 0);
    EXPECT_EQ(LICE_GETR(normal), 255);
    EXPECT_GT(LICE_GETG(normal), 100); // white shows through
    EXPECT_LT(LICE_GETG(normal), 160);
    EXPECT_EQ(At(10, 0), 0x80FF0000u); // overwrite: copied verbatim, alpha included
    EXPECT_EQ(At(20, 0), kWhite);      // additive on white saturates
    const LICE_pixel quarter = At(30, 0);
    EXPECT_EQ(LICE_GETR(quarter), 255);
    EXPECT_GT(LICE_GETG(quarter), 180); // a quarter of the way from white
    EXPECT_LT(LICE_GETG(quarter), 200);
}

TEST_F(Drawing, ShapesLandWhereTheirRectanglesSay) {
    Attach();
    DrawRect(IRECT(0, 0, 64, 64));
    IColor black = COLOR_BLACK, red = COLOR_RED;

    IRECT box(10, 10, 20, 20);
    gui->FillIRect(&red, &box);
    EXPECT_EQ(At(10, 10), 0xFFFF0000u);
    EXPECT_EQ(At(19, 19), 0xFFFF0000u);
    EXPECT_EQ(At(20, 20), kWhite);

    IRECT outline(30, 30, 40, 40);
    gui->DrawRect(&black, &outline); // edges on both bounds
    EXPECT_EQ(At(30, 30), 0xFF000000u);
    EXPECT_EQ(At(40, 40), 0xFF000000u);
    EXPECT_EQ(At(35, 35), kWhite);

    IRECT round(44, 44, 64, 64);
    gui->FillRoundRect(&black, &round, nullptr, 5, false);
    EXPECT_EQ(At(54, 54), 0xFF000000u);
    EXPECT_EQ(At(44, 54), 0xFF000000u);
    EXPECT_EQ(At(44, 44), kWhite); // the corner is cut

    IRECT column(0, 40, 10, 50);
    gui->DrawVerticalLine(&red, &column, 2.0f); // clamped to the right edge
    EXPECT_EQ(At(10, 45), 0xFFFF0000u);
    gui->DrawHorizontalLine(&red, &column, 0.0f);
    EXPECT_EQ(At(5, 50), 0xFFFF0000u);

    gui->DrawPoint(&red, 2.6f, 2.4f);
    EXPECT_EQ(At(3, 2), 0xFFFF0000u);
    gui->ForcePixel(&black, 1, 1);
    EXPECT_EQ(gui->GetPoint(1, 1), COLOR_BLACK);
    gui->ForcePixel(&black, 64, 0); // outside: ignored, nothing written past the buffer
    gui->ForcePixel(&black, -1, 70);
    EXPECT_EQ(At(0, 1), kWhite);
}

TEST_F(Drawing, TextDrawsInItsColourAndMeasuresByAlignment) {
    Attach();
    DrawRect(IRECT(0, 0, 64, 64));
    IText style(14, &COLOR_BLACK, "DejaVu Sans");
    IRECT r(0, 0, 64, 20);
    EXPECT_TRUE(gui->DrawIText(&style, "", &r)); // nothing to draw
    ASSERT_TRUE(gui->DrawIText(&style, "Hg", &r));
    int dark = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 64; ++x)
            dark += LICE_GETR(At(x, y)) < 128;
    EXPECT_GT(dark, 10);
    EXPECT_EQ(At(0, 40), kWhite);

    IRECT centre(0, 30, 64, 50);
    ASSERT_TRUE(gui->MeasureIText(&style, "Hg", &centre));
    const int w = centre.W();
    EXPECT_GT(w, 8);
    EXPECT_EQ(centre.left, 32 - w / 2);
    EXPECT_GT(centre.H(), 8);
    style.align = IText::kAlignFar;
    IRECT far(0, 30, 64, 50);
    gui->MeasureIText(&style, "Hg", &far);
    EXPECT_EQ(far.right, 64);
    EXPECT_EQ(far.left, 64 - w);
}

TEST_F(Drawing, RotatedBitmapAtZeroKeepsItsCentre) {
    LICE_MemBitmap dot(8, 8, 4);
    LICE_Clear(&dot, 0xFF0000FFu);
    IBitmap bmp(&dot, 8, 8, 1);
    Attach();
    DrawRect(IRECT(0, 0, 64, 64));
    gui->DrawRotatedBitmap(&bmp, 32, 32, 0.0);
    EXPECT_EQ(At(32, 32), 0xFF0000FFu);
    EXPECT_EQ(At(20, 20), kWhite);
    gui->DrawRotatedBitmap(nullptr, 32, 32, 0.0); // nothing, no crash
}

TEST_F(Drawing, RotatedMaskGivesTheBaseItsAlpha) {
    LICE_MemBitmap base(8, 8, 4), opaque(8, 8, 4), clear(8, 8, 4);
    LICE_Clear(&base, 0xFFFF0000u);   // opaque red
    LICE_Clear(&opaque, 0xFF000000u); // a mask that lets everything through
    LICE_Clear(&clear, 0x00000000u);  // neither mask nor top image adds anything
    IBitmap b(&base, 8, 8), shown(&opaque, 8, 8), hidden(&clear, 8, 8);
    Attach();
    DrawRect(IRECT(0, 0, 64, 64));
    gui->DrawRotatedMask(&b, &shown, &hidden, 10, 10, 30.0);
    EXPECT_EQ(At(14, 14), 0xFFFF0000u);
    gui->DrawRotatedMask(&b, &hidden, &hidden, 30, 30, 30.0); // no mask: the base's alpha is 0
    EXPECT_EQ(At(34, 34), kWhite);
}

} // namespace
