// Memory contexts, handle pools, object selection, reference counts and clipping.
#include "gdi/swell-gdi.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

unsigned int Pixel(HDC dc, int w, int x, int y) {
    return static_cast<const unsigned int*>(SWELL_GetCtxFrameBuffer(dc))[y * w + x];
}

HFONT MakeFont(int height) {
    return CreateFont(height, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "");
}

TEST(GdiContext, MemoryContextIsZeroedAlignedAndTopDown) {
    HDC dc = SWELL_CreateMemContext(nullptr, 3, 2);
    ASSERT_NE(dc, nullptr);
    auto* px = static_cast<const unsigned int*>(SWELL_GetCtxFrameBuffer(dc));
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(px) % 64, 0u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(px[i], 0u) << i;

    // Red 0xFF, green 0x80, blue 0x40 lands in the pixel word with blue in the lowest byte, and
    // row 0 of the drawing is the first row in memory.
    HBRUSH brush = CreateSolidBrush(0xFF8040);
    RECT top = {0, 0, 3, 1};
    SWELL_FillRect(dc, &top, brush);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(Pixel(dc, 3, x, 0) & 0xFFFFFF, 0xFF8040u);
        EXPECT_EQ(Pixel(dc, 3, x, 1), 0u);
    }
    DeleteObject(brush);
    SWELL_DeleteGfxContext(dc);
}

TEST(GdiContext, RefusesUnusableSizes) {
    EXPECT_EQ(SWELL_CreateMemContext(nullptr, 0, 5), nullptr);
    EXPECT_EQ(SWELL_CreateMemContext(nullptr, 5, -1), nullptr);
    EXPECT_EQ(SWELL_CreateMemContext(nullptr, 40000, 1), nullptr);
    EXPECT_EQ(SWELL_CreateMemContext(nullptr, 1, 1 << 30), nullptr);
}

TEST(GdiContext, ReleasedAndForeignHandlesAreRejected) {
    HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
    ASSERT_NE(dc, nullptr);
    HFONT font = MakeFont(12);
    SWELL_DeleteGfxContext(dc);
    // The record now waits in the pool; every call must ignore it.
    EXPECT_EQ(SWELL_GetCtxFrameBuffer(dc), nullptr);
    EXPECT_EQ(SWELL_GetCtxGC(dc), nullptr);
    EXPECT_EQ(SelectObject(dc, font), nullptr);
    SetTextColor(dc, 0x123456);
    EXPECT_EQ(GetTextColor(dc), 0);
    SWELL_DeleteGfxContext(dc); // a second delete does nothing

    HDC__* foreign = reinterpret_cast<HDC__*>(&font);
    EXPECT_EQ(SWELL_GetCtxFrameBuffer(foreign), nullptr);
    EXPECT_EQ(SWELL_GetCtxFrameBuffer(nullptr), nullptr);
    DeleteObject(font);
}

TEST(GdiContext, PooledRecordsComeBackCleared) {
    std::vector<HDC> dcs;
    for (int i = 0; i < 120; ++i) {
        HDC dc = SWELL_CreateMemContext(nullptr, 2, 2);
        ASSERT_NE(dc, nullptr);
        SetTextColor(dc, 0xFFFFFF);
        SetBkMode(dc, OPAQUE);
        dcs.push_back(dc);
    }
    HFONT font = MakeFont(12);
    SelectObject(dcs[0], font);
    for (HDC dc : dcs)
        SWELL_DeleteGfxContext(dc);

    // Whatever records are reused start from nothing: black text, no font, transparent.
    for (int i = 0; i < 120; ++i) {
        HDC dc = SWELL_CreateMemContext(nullptr, 2, 2);
        ASSERT_NE(dc, nullptr);
        EXPECT_EQ(GetTextColor(dc), 0);
        EXPECT_EQ(SelectObject(dc, font), reinterpret_cast<HGDIOBJ>(SWELL_OBJ_FONT));
        dcs[i] = dc;
    }
    for (HDC dc : dcs)
        SWELL_DeleteGfxContext(dc);
    DeleteObject(font);
}

TEST(GdiObjects, SelectObjectTracksEachSlot) {
    HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
    HFONT font = MakeFont(12);
    HFONT other = MakeFont(14);
    HPEN pen = CreatePen(PS_SOLID, 1, 0xFF0000);
    HBRUSH brush = CreateSolidBrush(0x00FF00);
    const HGDIOBJ noPen = reinterpret_cast<HGDIOBJ>(SWELL_OBJ_PEN);
    const HGDIOBJ noBrush = reinterpret_cast<HGDIOBJ>(SWELL_OBJ_BRUSH);
    const HGDIOBJ noFont = reinterpret_cast<HGDIOBJ>(SWELL_OBJ_FONT);

    EXPECT_EQ(SelectObject(dc, font), noFont);
    EXPECT_EQ(SelectObject(dc, font), font); // already selected
    EXPECT_EQ(SelectObject(dc, other), font);
    EXPECT_EQ(SelectObject(dc, pen), noPen); // slots are independent
    EXPECT_EQ(SelectObject(dc, brush), noBrush);
    EXPECT_EQ(SelectObject(dc, noFont), other); // empties the font slot
    EXPECT_EQ(SelectObject(dc, noFont), noFont);
    EXPECT_EQ(SelectObject(dc, noPen), pen);
    EXPECT_EQ(SelectObject(dc, noBrush), brush);

    // Invalid objects change nothing.
    int local = 0;
    EXPECT_EQ(SelectObject(dc, nullptr), nullptr);
    EXPECT_EQ(SelectObject(dc, reinterpret_cast<HGDIOBJ>(SWELL_OBJ_BITMAP)), nullptr);
    EXPECT_EQ(SelectObject(dc, reinterpret_cast<HGDIOBJ>(&local)), nullptr);
    EXPECT_EQ(SelectObject(nullptr, font), nullptr);
    EXPECT_EQ(SelectObject(dc, font), noFont);

    DeleteObject(other);
    EXPECT_EQ(SelectObject(dc, other), nullptr); // released
    EXPECT_EQ(SelectObject(dc, font), font);

    DeleteObject(font);
    DeleteObject(pen);
    DeleteObject(brush);
    SWELL_DeleteGfxContext(dc);
}

TEST(GdiObjects, StockObjectsSurviveDeletion) {
    HGDIOBJ pen = GetStockObject(NULL_PEN);
    HGDIOBJ brush = GetStockObject(NULL_BRUSH);
    ASSERT_NE(pen, nullptr);
    ASSERT_NE(brush, nullptr);
    EXPECT_NE(pen, brush);
    EXPECT_EQ(GetStockObject(0), nullptr);
    EXPECT_EQ(GetStockObject(3), nullptr);
    EXPECT_EQ(GetStockObject(NULL_PEN), pen);

    DeleteObject(pen);
    DeleteObject(brush);
    HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
    EXPECT_EQ(SelectObject(dc, pen), reinterpret_cast<HGDIOBJ>(SWELL_OBJ_PEN));
    EXPECT_EQ(SelectObject(dc, brush), reinterpret_cast<HGDIOBJ>(SWELL_OBJ_BRUSH));
    // The null brush paints nothing.
    RECT all = {0, 0, 4, 4};
    SWELL_FillRect(dc, &all, static_cast<HBRUSH>(brush));
    EXPECT_EQ(Pixel(dc, 4, 1, 1), 0u);
    SWELL_DeleteGfxContext(dc);
}

TEST(GdiObjects, CloneAddsAnOwnerThatDeleteDropsFirst) {
    HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
    HFONT font = MakeFont(12);
    EXPECT_EQ(SWELL_CloneGDIObject(font), font);
    EXPECT_EQ(SWELL_CloneGDIObject(font), font);
    DeleteObject(font);
    DeleteObject(font);
    EXPECT_EQ(SelectObject(dc, font), reinterpret_cast<HGDIOBJ>(SWELL_OBJ_FONT)); // still alive
    DeleteObject(font);
    EXPECT_EQ(SelectObject(dc, font), nullptr); // released by the third delete
    DeleteObject(font);                         // and a fourth is ignored

    for (uintptr_t v = 0; v < 5; ++v)
        DeleteObject(reinterpret_cast<HGDIOBJ>(v));
    EXPECT_EQ(SWELL_CloneGDIObject(reinterpret_cast<HGDIOBJ>(SWELL_OBJ_FONT)), nullptr);
    SWELL_DeleteGfxContext(dc);
}

TEST(GdiClip, PushSetPopNarrowsAndRestores) {
    HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
    HBRUSH white = CreateSolidBrush(0xFFFFFF);
    HBRUSH grey = CreateSolidBrush(0x808080);
    RECT all = {0, 0, 4, 4};
    RECT one = {1, 2, 2, 3};

    SWELL_PushClipRegion(dc);
    SWELL_SetClipRegion(dc, &one);
    SWELL_FillRect(dc, &all, white);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(Pixel(dc, 4, x, y) & 0xFFFFFF, (x == 1 && y == 2) ? 0xFFFFFFu : 0u);

    // Clips nest: an inverted rectangle is empty.
    RECT inverted = {3, 3, 0, 0};
    SWELL_PushClipRegion(dc);
    SWELL_SetClipRegion(dc, &inverted);
    SWELL_FillRect(dc, &all, grey);
    EXPECT_EQ(Pixel(dc, 4, 1, 2) & 0xFFFFFF, 0xFFFFFFu);
    SWELL_PopClipRegion(dc);
    SWELL_PopClipRegion(dc);

    // Rectangles reaching past the ends of the int range are cut to the context.
    RECT huge = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    SWELL_PushClipRegion(dc);
    SWELL_SetClipRegion(dc, &huge);
    SWELL_FillRect(dc, &huge, white);
    EXPECT_EQ(Pixel(dc, 4, 0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(Pixel(dc, 4, 3, 3) & 0xFFFFFF, 0xFFFFFFu);
    SWELL_PopClipRegion(dc);

    // Extra pops are ignored and the context keeps drawing.
    SWELL_PopClipRegion(dc);
    SWELL_FillRect(dc, &all, grey);
    EXPECT_EQ(Pixel(dc, 4, 0, 0) & 0xFFFFFF, 0x808080u);
    EXPECT_EQ(Pixel(dc, 4, 3, 3) & 0xFFFFFF, 0x808080u);

    DeleteObject(white);
    DeleteObject(grey);
    SWELL_DeleteGfxContext(dc);
}

TEST(GdiColors, TextColorKeepsTwentyFourBits) {
    HDC dc = SWELL_CreateMemContext(nullptr, 2, 2);
    EXPECT_EQ(GetTextColor(dc), 0);
    SetTextColor(dc, static_cast<int>(0xFF123456u));
    EXPECT_EQ(GetTextColor(dc), 0x123456);
    EXPECT_EQ(GetTextColor(nullptr), 0);
    SWELL_DeleteGfxContext(dc);
}

} // namespace

namespace {

// Contexts, fonts and text from several threads at once: the pools and the text engine are
// shared, so unguarded access shows up as crashes, sanitizer reports or differing results.
TEST(GdiThreads, PoolsAndTextAreSharedSafely) {
    constexpr int kThreads = 4, kRounds = 60;
    int widths[kThreads] = {};
    bool ok[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &widths, &ok] {
            bool good = true;
            int width = -1;
            for (int i = 0; i < kRounds; ++i) {
                HDC dc = SWELL_CreateMemContext(nullptr, 64, 16);
                HFONT font = CreateFont(12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Monaco");
                good &= dc && font;
                SelectObject(dc, font);
                RECT r = {0, 0, 0, 0};
                SWELL_DrawText(dc, "Level", -1, &r, DT_CALCRECT);
                RECT box = {0, 0, 64, 16};
                SWELL_DrawText(dc, "Level", -1, &box, 0);
                if (width < 0) width = r.right;
                good &= r.right == width && r.right > 0;
                SWELL_DeleteGfxContext(dc);
                DeleteObject(font);
            }
            widths[t] = width;
            ok[t] = good;
        });
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_TRUE(ok[t]) << t;
        EXPECT_EQ(widths[t], widths[0]);
    }
}

} // namespace
