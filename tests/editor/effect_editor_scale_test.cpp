// The effect's editor drawn headless at scale factors above 1: its size, its likeness to the 1x
// drawing, the sharpness the artwork sets give it, and the mapping of editor to device pixels.
#include "EditorTestSupport.h"
#include "GoldenImage.h"
#include "editor/IControls.h"
#include "editor/IGraphicsHeadless.h"
#include "effect/Zerub.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

const char* const kImgDir = ZERUB_SOURCE_DIR "/resources/img";

struct Editor {
    std::unique_ptr<IPlugAU> plug;
    IGraphics* gui = nullptr;

    explicit Editor(double scale) {
        IGraphicsHeadless::SetDefaultResourceDir(kImgDir);
        plug.reset(MakePlug(nullptr));
        gui = plug ? dynamic_cast<IGraphics*>(plug->GetGUI()) : nullptr;
        if (!gui) return;
        gui->SetScale(scale);
        IRECT all(0, 0, gui->Width(), gui->Height());
        gui->Draw(&all);
    }
    LICE_IBitmap* Shot() const { return gui->GetBackBuffer(); }
};

int Channel(LICE_pixel p, int c) {
    return c == 0 ? LICE_GETR(p) : (c == 1 ? LICE_GETG(p) : LICE_GETB(p));
}

// Mean absolute difference per colour channel between a and the 2 x 2 box average of b.
double MeanDifferenceToHalf(LICE_IBitmap* a, LICE_IBitmap* b) {
    double sum = 0.0;
    for (int y = 0; y < a->getHeight(); ++y)
        for (int x = 0; x < a->getWidth(); ++x)
            for (int c = 0; c < 3; ++c) {
                const int box = Channel(LICE_GetPixel(b, 2 * x, 2 * y), c) +
                                Channel(LICE_GetPixel(b, 2 * x + 1, 2 * y), c) +
                                Channel(LICE_GetPixel(b, 2 * x, 2 * y + 1), c) +
                                Channel(LICE_GetPixel(b, 2 * x + 1, 2 * y + 1), c);
                sum += std::fabs(box / 4.0 - Channel(LICE_GetPixel(a, x, y), c));
            }
    return sum / (3.0 * a->getWidth() * a->getHeight());
}

// Edge energy: the mean squared difference between horizontal and vertical neighbours.
double EdgeEnergy(LICE_IBitmap* bm) {
    double sum = 0.0;
    for (int y = 0; y + 1 < bm->getHeight(); ++y)
        for (int x = 0; x + 1 < bm->getWidth(); ++x)
            for (int c = 0; c < 3; ++c) {
                const int p = Channel(LICE_GetPixel(bm, x, y), c);
                const int dx = Channel(LICE_GetPixel(bm, x + 1, y), c) - p;
                const int dy = Channel(LICE_GetPixel(bm, x, y + 1), c) - p;
                sum += dx * dx + dy * dy;
            }
    return sum / (double(bm->getWidth()) * bm->getHeight());
}

TEST(EditorScale, TheBackBufferIsTheEditorTimesTheScale) {
    const struct {
        double scale;
        int w, h;
    } cases[] = {{1.0, 333, 511}, {1.5, 500, 767}, {2.0, 666, 1022}, {3.0, 999, 1533}};
    for (const auto& c : cases) {
        Editor e(c.scale);
        ASSERT_NE(e.gui, nullptr);
        EXPECT_EQ(e.gui->GetScale(), c.scale);
        EXPECT_EQ(e.Shot()->getWidth(), c.w) << c.scale;
        EXPECT_EQ(e.Shot()->getHeight(), c.h) << c.scale;
        EXPECT_EQ(e.gui->Width(), 333); // the layout stays in editor pixels
    }
    Editor e(1.0);
    EXPECT_EQ(e.gui->SetScale(0.5), 1.0);
    EXPECT_EQ(e.gui->SetScale(9.0), 4.0);
    EXPECT_EQ(e.gui->SetScale(std::nan("")), 4.0);
    EXPECT_EQ(e.gui->ScaleToFit(666, 1022), 2.0);
    EXPECT_EQ(e.gui->ScaleToFit(416, 639), 1.25);
    EXPECT_EQ(e.gui->ScaleToFit(100, 100), 1.0);
}

TEST(EditorScale, TwiceTheScaleHalvedMatchesTheOneTimesDrawingAndIsSharperThanItsEnlargement) {
    Editor one(1.0), two(2.0);
    ASSERT_NE(one.gui, nullptr);
    ASSERT_NE(two.gui, nullptr);
    const double diff = MeanDifferenceToHalf(one.Shot(), two.Shot());
    EXPECT_LT(diff, 1.5) << "the 2x drawing halved differs from the 1x one";

    LICE_MemBitmap enlarged(666, 1022);
    LICE_ScaledBlit(&enlarged, one.Shot(), 0, 0, 666, 1022, 0.0f, 0.0f, 333.0f, 511.0f, 1.0f,
                    LICE_COMBINE_COPY | LICE_COMBINE_FILTER_BILINEAR);
    const double drawn = EdgeEnergy(two.Shot()), blurred = EdgeEnergy(&enlarged);
    EXPECT_GT(drawn, 1.5 * blurred) << "drawn " << drawn << ", enlarged " << blurred;
}

TEST(EditorScale, AFactorBetweenSetsIsTheLargerSetScaledDown) {
    // 1.5 is drawn from the 2x set: halved, a 3 x 3 block of it averages like the 2x's 4 x 4.
    Editor two(2.0), mid(1.5);
    ASSERT_NE(mid.gui, nullptr);
    double sum = 0.0;
    int n = 0;
    for (int y = 0; y + 3 <= 767; y += 3)
        for (int x = 0; x + 3 <= 500; x += 3)
            for (int c = 0; c < 3; ++c) {
                double a = 0.0, b = 0.0;
                for (int k = 0; k < 9; ++k)
                    a += Channel(LICE_GetPixel(mid.Shot(), x + k % 3, y + k / 3), c);
                for (int k = 0; k < 16; ++k)
                    b +=
                        Channel(LICE_GetPixel(two.Shot(), x / 3 * 4 + k % 4, y / 3 * 4 + k / 4), c);
                sum += std::fabs(a / 9.0 - b / 16.0);
                ++n;
            }
    EXPECT_LT(sum / n, 2.0);
}

TEST(EditorScale, EditorAndDevicePixelsMapBothWays) {
    Editor e(1.5);
    ASSERT_NE(e.gui, nullptr);
    EXPECT_EQ(e.gui->ToDevice(IRECT(164, 172, 226, 234)), IRECT(246, 258, 339, 351));
    EXPECT_EQ(e.gui->ToEditor(246), 164);
    EXPECT_EQ(e.gui->ToEditor(248), 165);
    EXPECT_EQ(e.gui->ToEditor(IRECT(246, 258, 339, 351)), IRECT(164, 172, 226, 234));
    // Device pixel 0 of every editor pixel hits what the editor pixel hits.
    for (int x = 160; x < 230; ++x)
        EXPECT_EQ(e.gui->GetMouseControlIdx(e.gui->ToEditor(e.gui->ToDevice(x)), 200),
                  e.gui->GetMouseControlIdx(x, 200));
}

// Artwork sets made here: a two-frame strip (red over blue, 4 x 4 frames) at 1x, its 2x set, and
// a 3x set of the wrong size.
struct Sets : ::testing::Test {
    std::filesystem::path dir;
    EditorTestPlug plug{1};

    static void Strip(const std::filesystem::path& path, int frameW, int frameH, int frames) {
        LICE_MemBitmap bm(frameW, frameH * frames);
        for (int f = 0; f < frames; ++f)
            LICE_FillRect(&bm, 0, f * frameH, frameW, frameH,
                          f == 0 ? LICE_RGBA(255, 0, 0, 255) : LICE_RGBA(0, 0, 255, 255), 1.0f,
                          LICE_COMBINE_COPY);
        ASSERT_TRUE(WritePNG(path.string(), &bm));
    }
    void SetUp() override {
        char name[] = "/tmp/zerub-sets-XXXXXX";
        dir = mkdtemp(name);
        Strip(dir / "STRIP.png", 4, 4, 2);
        Strip(dir / "STRIP@2x.png", 8, 8, 2);
        Strip(dir / "STRIP@3x.png", 10, 10, 2); // not 3 times the 1x: never used
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    // An editor of 4 x 8 at scale showing frame 2 of the strip at the top.
    std::unique_ptr<IGraphicsHeadless> Draw(int id, double scale, int frame) {
        auto gui = std::make_unique<IGraphicsHeadless>(&plug, 4, 8, 0);
        gui->SetResourceDir(dir.c_str());
        gui->PrepDraw();
        gui->SetScale(scale);
        IBitmap strip = gui->LoadIBitmap(id, "STRIP.png", 2);
        EXPECT_EQ(strip.width, 4); // the record stays in editor pixels
        IColor white = COLOR_WHITE;
        gui->AttachPanelBackground(&white);
        auto* control = new IBitmapControl(&plug, 0, 0, -1, &strip);
        control->SetValueFromPlug(frame == 2 ? 1.0 : 0.0);
        gui->AttachControl(control);
        IRECT all(0, 0, 4, 8);
        gui->Draw(&all);
        return gui;
    }
};

TEST_F(Sets, EachFrameIsScaledDownOnItsOwnAndAWrongSizedSetIsEnlargedFromTheOneX) {
    // 1.5 from the 2x set: 6 x 6 of blue, and below it the panel, with no red row from frame 1.
    auto mid = Draw(7301, 1.5, 2);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(LICE_GetPixel(mid->GetBackBuffer(), x, y),
                      y < 6 ? LICE_RGBA(0, 0, 255, 255) : LICE_RGBA(255, 255, 255, 255))
                << x << "," << y;
    // 3: the 3x set is not 12 x 24, so the 1x is enlarged; still 12 x 12 of frame 1's red.
    auto three = Draw(7302, 3.0, 1);
    EXPECT_EQ(three->GetBackBuffer()->getWidth(), 12);
    for (int y = 0; y < 12; ++y)
        EXPECT_EQ(LICE_GetPixel(three->GetBackBuffer(), 6, y), LICE_RGBA(255, 0, 0, 255)) << y;
    EXPECT_EQ(LICE_GetPixel(three->GetBackBuffer(), 6, 12), LICE_RGBA(255, 255, 255, 255));
}

} // namespace
