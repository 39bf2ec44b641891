// System bitmaps: span rounding, context reuse, fresh zeroed contexts and flipped re-pointing.
#include "raster/lice_sysbitmap.h"

#include "gdi/swell-gdi.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

bool AllZero(LICE_SysBitmap& bm) {
    for (int y = 0; y < bm.getHeight(); ++y)
        for (int x = 0; x < bm.getWidth(); ++x)
            if (bm.getBits()[y * bm.getRowSpan() + x]) return false;
    return true;
}

TEST(SysBitmap, EmptyUntilResized) {
    LICE_SysBitmap bm;
    EXPECT_EQ(bm.getBits(), nullptr);
    EXPECT_EQ(bm.getDC(), nullptr);
    EXPECT_EQ(bm.getWidth(), 0);
    EXPECT_EQ(bm.getRowSpan(), 0);
    EXPECT_FALSE(bm.resize(0, 0));
    EXPECT_FALSE(bm.isFlipped());
    EXPECT_EQ(bm.Extended(1, nullptr), 0);
}

TEST(SysBitmap, SpanIsTheWidthRoundedUpToFour) {
    const int widths[][2] = {{1, 4}, {4, 4}, {5, 8}, {101, 104}, {333, 336}};
    for (const auto& w : widths) {
        LICE_SysBitmap bm(w[0], 3);
        EXPECT_EQ(bm.getWidth(), w[0]);
        EXPECT_EQ(bm.getHeight(), 3);
        EXPECT_EQ(bm.getRowSpan(), w[1]) << w[0];
        ASSERT_NE(bm.getBits(), nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(bm.getBits()) % 64, 0u);
        EXPECT_EQ(SWELL_GetCtxFrameBuffer(bm.getDC()), bm.getBits());
        EXPECT_TRUE(AllZero(bm));
    }
}

TEST(SysBitmap, SmallerSizesReuseTheContextLargerOnesReplaceIt) {
    LICE_SysBitmap bm(0, 0);
    EXPECT_TRUE(bm.resize(100, 50));
    HDC__* dc = bm.getDC();
    LICE_pixel* bits = bm.getBits();
    bits[0] = 0xFF123456;
    EXPECT_FALSE(bm.resize(100, 50));

    EXPECT_TRUE(bm.resize(90, 40));
    EXPECT_EQ(bm.getDC(), dc);
    EXPECT_EQ(bm.getBits(), bits);
    EXPECT_EQ(bm.getRowSpan(), 100);
    EXPECT_EQ(bm.getWidth(), 90);
    EXPECT_EQ(bm.getBits()[0], 0xFF123456u); // contents kept

    EXPECT_TRUE(bm.resize(100, 50)); // back up to the allocation: still the same context
    EXPECT_EQ(bm.getDC(), dc);

    EXPECT_TRUE(bm.resize(101, 50));
    EXPECT_EQ(bm.getRowSpan(), 104);
    ASSERT_NE(bm.getBits(), nullptr);
    EXPECT_TRUE(AllZero(bm));        // a fresh context
    EXPECT_TRUE(bm.resize(101, 51)); // taller needs a new one too
    EXPECT_EQ(bm.getRowSpan(), 104);
    EXPECT_TRUE(AllZero(bm));
}

TEST(SysBitmap, DrawingThroughTheContextLandsInTheBits) {
    LICE_SysBitmap bm(10, 4);
    HBRUSH brush = CreateSolidBrush(0x204080);
    RECT r = {2, 1, 3, 2};
    SWELL_FillRect(bm.getDC(), &r, brush);
    DeleteObject(brush);
    EXPECT_EQ(bm.getBits()[1 * bm.getRowSpan() + 2] & 0xFFFFFF, 0x204080u);
    EXPECT_EQ(bm.getBits()[1 * bm.getRowSpan() + 3], 0u);
}

TEST(SysBitmap, NonPositiveAndImpossibleSizesLeaveNoStorage) {
    LICE_SysBitmap bm(16, 16);
    EXPECT_FALSE(bm.resize(16, 0));
    EXPECT_EQ(bm.getBits(), nullptr);
    EXPECT_EQ(bm.getDC(), nullptr);
    EXPECT_EQ(bm.getWidth(), 0);
    EXPECT_EQ(bm.getHeight(), 0);

    EXPECT_TRUE(bm.resize(16, 16));
    EXPECT_FALSE(bm.resize(-4, 16)); // never keeps a context for a negative width
    EXPECT_EQ(bm.getBits(), nullptr);
    EXPECT_EQ(bm.getWidth(), 0);

    EXPECT_TRUE(bm.resize(40000, 2)); // beyond what a context can hold
    EXPECT_EQ(bm.getBits(), nullptr);
    EXPECT_EQ(bm.getWidth(), 0);
    EXPECT_EQ(bm.getHeight(), 0);
    EXPECT_EQ(bm.getRowSpan(), 0);
    EXPECT_TRUE(bm.resize(8, 8));
    EXPECT_NE(bm.getBits(), nullptr);
}

class FlippedSysBitmap : public LICE_SysBitmap {
public:
    using LICE_SysBitmap::LICE_SysBitmap;
    bool isFlipped() override { return true; }
};

TEST(SysBitmap, FlippedBitmapsUseTheLastRowsOfALargerContext) {
    FlippedSysBitmap bm(8, 10);
    LICE_pixel* block = bm.getBits();
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(bm.resize(8, 6));
    EXPECT_EQ(bm.getBits(), block + 4 * 8);
    EXPECT_TRUE(bm.resize(5, 10));
    EXPECT_EQ(bm.getBits(), block);
}

} // namespace
