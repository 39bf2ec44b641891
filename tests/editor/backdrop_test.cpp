// The background copied only where something drew since it was last copied whole: every frame,
// full or partial, strict or not, at 1x and scaled, is pixel for pixel the frame drawn over a
// background copied afresh (the reference editor forgets what it knows before every draw).
#include "EditorTestSupport.h"
#include "GoldenImage.h"
#include "editor/IControls.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// Every drawing primitive that is not a bitmap, placed by the value and reaching past the
// control's own rectangle (as careless controls do), so that what it leaves behind is visible.
class ShapesControl : public IControl {
public:
    ShapesControl(IPlugBase* plug, IRECT area, int paramIdx) : IControl(plug, area, paramIdx) {}
    bool Draw(IGraphics* g) override {
        const int d = int(mNormValue * 30.0);
        const IColor red(255, 220, 40, 40), green(160, 40, 200, 40), blue(255, 40, 40, 220);
        g->FillCircle(&red, mArea.left + d, mArea.top, 9.5f, nullptr, true);
        g->DrawArc(&green, float(mArea.right), float(mArea.top + d), 12.0f, 0.3f, 2.5f, nullptr,
                   true);
        g->DrawCircle(&blue, float(mArea.left + d), float(mArea.bottom), 7.0f, nullptr, true);
        IRECT box(mArea.left - 6 + d, mArea.top + 4, mArea.left + 14 + d, mArea.top + 18);
        g->FillRoundRect(&green, &box, nullptr, 4, true);
        g->RoundRect(&blue, &box, nullptr, 3, true);
        g->FillTriangle(&blue, mArea.left, mArea.bottom + d / 3, mArea.left + 20, mArea.bottom,
                        mArea.left + 8 + d, mArea.bottom + 12);
        g->DrawRadialLine(&red, float(mArea.right), float(mArea.bottom), float(mNormValue * 6.0),
                          2.0f, 25.0f, nullptr, true);
        g->DrawPoint(&red, float(mArea.right + 3 + d), float(mArea.top - 3));
        g->ForcePixel(&green, mArea.left - 2, mArea.top - 2 + d);
        return true;
    }
};

struct Scene {
    LICE_MemBitmap backdrop{200, 200, 4}, dial{24, 24, 4};
    EditorTestPlug plug{3};
    RecordingGraphics* gui = nullptr;
    ITextControl* text = nullptr;
    IMouseMod none;

    Scene(double scale, bool strict) {
        plug.GetParam(0)->InitDouble("Drive", 0.5, 0.0, 1.0, 0.01, "%");
        plug.GetParam(1)->InitDouble("Tone", 0.2, 0.0, 1.0, 0.01);
        plug.GetParam(2)->InitDouble("Shape", 0.0, 0.0, 1.0, 0.01);
        gui = new RecordingGraphics(&plug, 200, 200, 0);
        // No two neighbouring pixels alike, so that any pixel left over from another frame shows.
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x)
                LICE_PutPixel(
                    &backdrop, x, y,
                    LICE_RGBA((x * 37 + y * 11) & 255, (x * 5 + y * 29) & 255, (x ^ y) & 255, 255),
                    1.0f, LICE_COMBINE_COPY);
        LICE_FillRect(&dial, 0, 0, 24, 24, LICE_RGBA(30, 30, 30, 255), 1.0f, LICE_COMBINE_COPY);
        LICE_FillRect(&dial, 10, 0, 4, 12, LICE_RGBA(250, 250, 250, 255), 1.0f, LICE_COMBINE_COPY);
        IBitmap bg(&backdrop, 200, 200);
        gui->AttachControl(new IBitmapControl(&plug, 0, 0, -1, &bg, IChannelBlend::kBlendClobber));
        const IColor white = COLOR_WHITE;
        gui->AttachControl(new IKnobLineControl(&plug, IRECT(80, 40, 120, 80), 0, &white));
        IBitmap dialImage(&dial, 24, 24);
        gui->AttachControl(new IKnobRotaterControl(&plug, 150, 20, 1, &dialImage));
        gui->AttachControl(new ShapesControl(&plug, IRECT(40, 120, 70, 140), 2));
        IText style(14, &white, nullptr, IText::kStyleNormal, IText::kAlignCenter);
        text = new ITextControl(&plug, IRECT(120, 160, 150, 172), &style, "x");
        gui->AttachControl(text);
        plug.AttachGraphics(gui);
        plug.RedrawParamControls();
        gui->SetStrictDrawing(strict);
        gui->SetScale(scale);
        gui->PrepDraw();
    }
    bool Cycle(bool forget) {
        IRECT r;
        if (!gui->IsDirty(&r)) return false;
        if (forget) gui->GetBits(); // the reference: the background copied wherever asked
        gui->Draw(&r);
        return true;
    }
    void DrawAll() {
        while (Cycle(false)) {
        }
    }
};

TEST(Backdrop, EveryFrameEqualsTheFrameOverAFreshBackground) {
    const char* const texts[] = {"x", "a line far wider than its box", "", "mid text", "Wg|"};
    for (double scale : {1.0, 1.5, 2.0}) {
        for (bool strict : {true, false}) {
            SCOPED_TRACE("scale " + std::to_string(scale) + (strict ? " strict" : " loose"));
            Scene fast(scale, strict), reference(scale, strict);
            uint32_t seed = 12345;
            for (int step = 0; step < 120; ++step) {
                seed = seed * 1664525u + 1013904223u;
                const int action = int(seed >> 24) % 8;
                const double value = double((seed >> 8) & 1023) / 1023.0;
                for (Scene* s : {&fast, &reference}) {
                    switch (action) {
                    case 0:
                    case 1:
                    case 2:
                        s->gui->SetParameterFromPlug(action, value, true);
                        break;
                    case 3:
                        s->text->SetTextFromPlug(texts[(seed >> 4) % 5]);
                        break;
                    case 4: // the value readout comes beside the knob, or goes
                        if (value < 0.5)
                            s->gui->OnMouseOver(100, 60, &s->none);
                        else
                            s->gui->OnMouseOut();
                        break;
                    case 5:
                        s->text->Hide(value < 0.5);
                        break;
                    case 6: // a dimmed background is blended, not copied
                        s->gui->GetControl(0)->GrayOut(value < 0.2);
                        s->gui->GetControl(0)->SetDirty(false);
                        break;
                    default:
                        s->gui->SetAllControlsDirty();
                        break;
                    }
                }
                while (fast.Cycle(false)) {
                    ASSERT_TRUE(reference.Cycle(true)) << "step " << step;
                    ASSERT_EQ(CountDifferentPixels(fast.gui->GetBackBuffer(),
                                                   reference.gui->GetBackBuffer()),
                              0)
                        << "step " << step << ", action " << action;
                }
            }
        }
    }
}

TEST(Backdrop, AFullRedrawCopiesTheBackgroundOnlyWhereSomethingDrew) {
    for (double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        Scene s(scale, true);
        s.DrawAll();
        LICE_IBitmap* back = s.gui->GetBackBuffer();
        const int k = int(scale);
        // Written behind the editor's back (GetBackBuffer is for reading), where nothing draws,
        // and beside the knob's line (at 0.5 it points up from the centre, 100, 60).
        const LICE_pixel mark = LICE_RGBA(1, 2, 3, 255);
        LICE_PutPixel(back, 10 * k, 190 * k, mark, 1.0f, LICE_COMBINE_COPY);
        LICE_PutPixel(back, 101 * k, 50 * k, mark, 1.0f, LICE_COMBINE_COPY);
        s.gui->SetAllControlsDirty();
        s.DrawAll();
        EXPECT_EQ(LICE_GetPixel(back, 10 * k, 190 * k), mark) << "the whole background copied";
        EXPECT_NE(LICE_GetPixel(back, 101 * k, 50 * k), mark);

        // Raw access through GetBits may have written anywhere: the next copy is whole.
        s.gui->GetBits();
        s.gui->SetAllControlsDirty();
        s.DrawAll();
        EXPECT_NE(LICE_GetPixel(back, 10 * k, 190 * k), mark);
    }
}

} // namespace
