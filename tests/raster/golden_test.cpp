// One scene that uses every primitive, compared with a committed PNG. On a difference the
// actual image and a difference mask are written to the working directory (the build folder);
// the committed image is rewritten only when ZERUB_UPDATE_GOLDEN=1 is set.
#include "raster/lice.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using rtest::pixelAt;

const int kW = 320, kH = 280;

// A knob-like sprite with straight alpha: dark disc, lit rim, pointer, soft transparent edge.
void drawSprite(LICE_IBitmap* s) {
    LICE_Clear(s, 0x00000000);
    LICE_FillCircle(s, 23.5f, 23.5f, 21.0f, 0xff303438, 1.0f, 0, true);
    LICE_GradRect(s, 4, 4, 40, 20, 0.9f, 0.9f, 1.0f, 0.35f, 0, 0, 0, 0, -0.02f, -0.02f, -0.02f,
                  -0.015f, LICE_COMBINE_ADD);
    LICE_Circle(s, 23.5f, 23.5f, 21.0f, 0xffc8c8d0, 1.0f, 0, true);
    LICE_Line(s, 24, 24, 24, 6, 0xffff8020, 1.0f, 0, true);
    LICE_Line(s, 23, 24, 23, 6, 0xffff8020, 0.5f, 0, false);
}

void drawScene(LICE_IBitmap* bm, LICE_IBitmap* sprite) {
    // Background: vertical gradient, then a checker of the whole-word fills.
    LICE_GradRect(bm, 0, 0, kW, kH, 0.10f, 0.12f, 0.16f, 1.0f, 0.0005f, 0, 0.0008f, 0, 0, 0.0012f,
                  0.0006f, 0, 0);
    for (int i = 0; i < 8; ++i)
        LICE_FillRect(bm, 4 + i * 12, 4, 10, 10, 0xffe0c040, (i % 4 + 1) * 0.25f, 0);
    LICE_FillRect(bm, 100, 4, 30, 10, 0xff4080ff, 0.6f, LICE_COMBINE_ADD);
    LICE_FillRect(bm, 134, 4, 30, 10, 0x80ff2020, 1.0f, LICE_COMBINE_USE_SOURCE_ALPHA);
    LICE_FillRect(bm, 168, 4, 30, 10, 0xff808080, 1.0f, LICE_COMBINE_MUL);
    LICE_FillRect(bm, 202, 4, 30, 10, 0xffc0c0c0, 1.0f, LICE_COMBINE_OVERLAY);
    LICE_FillRect(bm, 236, 4, 30, 10, 0xff40ff40, 0.8f, LICE_COMBINE_DIVIDE);
    LICE_FillRect(bm, 270, 4, 46, 10, 0xff00a0a0, 1.0f, LICE_COMBINE_HSVADJ);
    LICE_FillRect(bm, -10, 230, 30, 30, 0xffffffff, 0.5f, 0); // hangs off the corner

    // Blits of the sprite: plain, source alpha, half, weighted, channel copy, every mode.
    const int modes[] = {0, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005};
    for (int i = 0; i < 7; ++i)
        LICE_Blit(bm, sprite, 4 + i * 44, 20, nullptr, i == 0 ? 1.0f : 0.85f, modes[i]);
    LICE_Blit(bm, sprite, 4, 70, 0, 0, 48, 48, 0.5f, 0);
    LICE_Blit(bm, sprite, 48, 70, 8, 8, 32, 32, 0.3f, LICE_COMBINE_USE_SOURCE_ALPHA);
    LICE_Blit(bm, sprite, 84, 70, nullptr, 1.0f, LICE_COMBINE_CHANNEL(LICE_PIXEL_A, LICE_PIXEL_R));

    // Scaled: nearest up, bilinear up, box down, mirrored, fractional source.
    LICE_ScaledBlit(bm, sprite, 136, 70, 72, 72, 0, 0, 48, 48, 1.0f, 0x10000);
    LICE_ScaledBlit(bm, sprite, 210, 70, 72, 72, 0, 0, 48, 48, 1.0f, 0x10100);
    LICE_ScaledBlit(bm, sprite, 284, 70, 16, 16, 0, 0, 48, 48, 1.0f, 0x10100);
    LICE_ScaledBlit(bm, sprite, 300, 70, 20, 20, 0, 0, 48, 48, 1.0f, 0x10100);
    LICE_ScaledBlit(bm, sprite, 332, 94, -40, 40, 0, 0, 48, 48, 1.0f, 0x10000);

    // Rotated knobs at a few angles, nearest and filtered.
    for (int i = 0; i < 4; ++i)
        LICE_RotatedBlit(bm, sprite, 4 + i * 50, 124, 48, 48, 0, 0, 48, 48, -2.2f + i * 1.4f, true,
                         1.0f, i % 2 ? 0x10100 : 0x10000, 0, 0);

    // Shapes.
    LICE_Line(bm, 210, 150, 316, 176, 0xffffffff, 1.0f, 0, true);
    LICE_Line(bm, 210, 156, 316, 182, 0xffffffff, 1.0f, 0, false);
    LICE_Line(bm, 210, 162, 316, 140, 0xff40ffff, 0.7f, LICE_COMBINE_ADD, true);
    LICE_Line(bm, 210, 186, 260, 236, 0xffff40ff, 1.0f, 0, true);
    LICE_Line(bm, 220, 186, 270, 236, 0xffff40ff, 0.75f, 0, false);
    LICE_Line(bm, -50, 239, 400, 200, 0xffffff00, 0.25f, 0, false);
    LICE_DrawRect(bm, 276, 190, 40, 44, 0xff80ff80, 1.0f, 0);
    LICE_RoundRect(bm, 280.0f, 194.0f, 32.0f, 36.0f, 8, 0xffff8080, 1.0f, 0, true);
    for (int i = 0; i < 6; ++i) {
        const float r = 1.5f + i * 0.5f;
        LICE_Circle(bm, 10.0f + i * 12, 186.0f, r, 0xffffffff, 1.0f, 0, true);
        LICE_Circle(bm, 10.0f + i * 12, 200.0f, r, 0xffffffff, 1.0f, 0, false);
    }
    LICE_Circle(bm, 100, 196, 12.3f, 0xff60c0ff, 1.0f, 0, true);
    LICE_Circle(bm, 130, 196, 12, 0xff60c0ff, 1.0f, 0, false);
    LICE_FillCircle(bm, 160, 196, 12.6f, 0xffffa040, 0.8f, 0, true);
    LICE_FillCircle(bm, 190, 196, 12, 0xffffa040, 0.5f, 0, false);
    LICE_Arc(bm, 100, 224, 11, -1.0f, 2.5f, 0xffff4040, 1.0f, 0, true);
    LICE_Arc(bm, 130, 224, 11, 0.5f, 4.0f, 0xffff4040, 1.0f, 0, false);
    LICE_FillTrapezoid(bm, 150, 160, 212, 140, 200, 236, 0xff8040ff, 0.5f, 0);
    LICE_FillTriangle(bm, 10, 236, 40, 212, 70, 236, 0xff40ff80, 0.75f, 0);
    const int px[] = {210, 240, 250, 230, 205}, py[] = {200, 196, 214, 236, 224};
    LICE_FillConvexPolygon(bm, px, py, 5, 0xffffffff, 0.35f, LICE_COMBINE_ADD);
    static const unsigned char glyph[5 * 7] = {0x00, 0x80, 0xff, 0x80, 0x00, 0x80, 0xff, 0x40, 0xff,
                                               0x80, 0xff, 0x40, 0x00, 0x40, 0xff, 0xff, 0xff, 0xff,
                                               0xff, 0xff, 0xff, 0x40, 0x00, 0x40, 0xff, 0xff, 0x00,
                                               0x00, 0x00, 0xff, 0xff, 0x00, 0x00, 0x00, 0xff};
    for (int i = 0; i < 6; ++i)
        LICE_DrawGlyph(bm, 250 + i * 7, 124, 0xffffffff, glyph, 5, 7, 1.0f - i * 0.15f, i % 3);
    for (int i = 0; i < 40; ++i)
        LICE_PutPixel(bm, 250 + i, 136 + (i % 3), 0xffff0000, 0.6f, 0);

    // The smaller line shapes along the bottom strip.
    LICE_BorderedRect(bm, 4, 244, 40, 30, 0xff203040, 0xffc0c0c0, 1.0f, 0);
    LICE_FLine(bm, 50.3f, 246.7f, 110.6f, 272.2f, 0xffffc000, 1.0f, 0, true);
    LICE_DashedLine(bm, 50, 274, 110, 244, 4, 3, 0xff80ffff, 1.0f, 0, false);
    LICE_DrawQBezier(bm, 120, 274, 150, 230, 180, 274, 0xffff80c0, 1.0f, 0, true);
    LICE_DrawCBezier(bm, 190, 246, 320, 246, 180, 274, 300, 274, 0xffc0ff80, 0.8f, 0, false);

    // Blur and the rectangle operations on a patch.
    LICE_Blur(bm, bm, 210, 100, 210, 100, 40, 30);
    LICE_MultiplyAddRect(bm, 284, 100, 32, 20, 0.5f, 1.2f, 1.0f, 1.0f, 40, 0, -20, 0);
    LICE_ClearRect(bm, 300, 124, 16, 8, 0xff00ffff, 0x00ff0000);
}

std::string goldenPath() {
    return std::string(ZERUB_SOURCE_DIR) + "/tests/raster/golden/raster_scene.png";
}

TEST(Golden, RasterScene) {
    LICE_MemBitmap sprite(48, 48, 4), scene(kW, kH, 4);
    drawSprite(&sprite);
    // The sprite goes through a PNG file and back, so the loader is part of the scene.
    const std::string spritePath = testing::TempDir() + "zerub_scene_sprite.png";
    ASSERT_TRUE(rtest::writePNG(spritePath, &sprite));
    std::unique_ptr<LICE_IBitmap> loaded(LICE_LoadPNG(spritePath.c_str()));
    remove(spritePath.c_str());
    ASSERT_TRUE(loaded);
    ASSERT_EQ(LICE_BitmapCmp(loaded.get(), &sprite), 0);

    // Part of the scene is drawn into a bottom-up bitmap and copied in, to cover that path.
    rtest::FlippedBitmap flipped(kW, kH);
    drawScene(&flipped, loaded.get());
    LICE_Copy(&scene, &flipped);

    if (getenv("ZERUB_UPDATE_GOLDEN") && std::string(getenv("ZERUB_UPDATE_GOLDEN")) == "1") {
        ASSERT_TRUE(rtest::writePNG(goldenPath(), &scene));
        GTEST_SKIP() << "golden image rewritten: " << goldenPath();
    }
    std::unique_ptr<LICE_IBitmap> golden(LICE_LoadPNG(goldenPath().c_str()));
    ASSERT_TRUE(golden) << "missing " << goldenPath() << " (ZERUB_UPDATE_GOLDEN=1 writes it)";
    int box[4] = {0, 0, 0, 0};
    const int cmp = LICE_BitmapCmpEx(golden.get(), &scene, 0xffffffff, box);
    if (cmp) {
        LICE_MemBitmap diff(kW, kH, 4);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                *pixelAt(&diff, x, y) = LICE_GetPixel(golden.get(), x, y) == *pixelAt(&scene, x, y)
                                            ? 0xff000000
                                            : 0xffff00ff;
        rtest::writePNG("raster_scene_actual.png", &scene);
        rtest::writePNG("raster_scene_diff.png", &diff);
    }
    EXPECT_EQ(cmp, 0) << "differences in x " << box[0] << ".." << box[0] + box[2] - 1 << ", y "
                      << box[1] << ".." << box[1] + box[3] - 1
                      << "; raster_scene_actual.png and raster_scene_diff.png written";
}

} // namespace
