#include "raster/lice_bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

bool aligned64(const void* p) {
    return ((uintptr_t)p & 63) == 0;
}

// A bitmap that stores its rows bottom-up, to check that readers honour the flag.
class FlippedBitmap : public LICE_MemBitmap {
public:
    FlippedBitmap(int w, int h) : LICE_MemBitmap(w, h, 4) {}
    bool isFlipped() override { return true; }
};

TEST(MemBitmap, EmptyThenResized) {
    LICE_MemBitmap bm(0, 0, 4);
    EXPECT_EQ(bm.getBits(), nullptr);
    EXPECT_EQ(bm.getWidth(), 0);
    EXPECT_EQ(bm.getHeight(), 0);
    EXPECT_TRUE(bm.resize(10, 5));
    EXPECT_EQ(bm.getRowSpan(), 12);
    EXPECT_GE(bm.getAllocSize(), 240);
    ASSERT_NE(bm.getBits(), nullptr);
    EXPECT_TRUE(aligned64(bm.getBits()));
    memset(bm.getBits(), 0xab, 240); // the whole promised area is writable (checked by ASan)
}

TEST(MemBitmap, LineAlignmentMask) {
    struct {
        unsigned int align;
        int width, span;
    } cases[] = {{0, 5, 5}, {1, 5, 5},  {4, 5, 8},    {4, 8, 8}, {8, 9, 16},
                 {6, 5, 6}, {64, 1, 1}, {64, 16, 32}, {3, 7, 7}};
    for (const auto& c : cases) {
        LICE_MemBitmap bm(c.width, 1, c.align);
        EXPECT_EQ(bm.getRowSpan(), c.span) << "align " << c.align << " width " << c.width;
    }
}

TEST(MemBitmap, ResizeKeepsBlockUntilItMustGrow) {
    LICE_MemBitmap bm(16, 16, 4);
    LICE_pixel* bits = bm.getBits();
    bits[0] = 0x12345678;
    EXPECT_FALSE(bm.resize(16, 16));
    EXPECT_EQ(bm.getBits(), bits);
    EXPECT_EQ(bits[0], 0x12345678u);

    EXPECT_TRUE(bm.resize(8, 8)); // shrinking keeps the block and its contents
    EXPECT_EQ(bm.getBits(), bits);
    EXPECT_EQ(bits[0], 0x12345678u);
    EXPECT_EQ(bm.getAllocSize(), 16 * 16 * 4);

    EXPECT_TRUE(bm.resize(16, 20)); // growth takes 5/4 of the need
    EXPECT_EQ(bm.getAllocSize(), 16 * 20 * 4 + 16 * 20);
    EXPECT_TRUE(aligned64(bm.getBits()));
    EXPECT_EQ(bm.getBits()[0], 0x12345678u); // realloc keeps the data
}

TEST(MemBitmap, NonPositiveSizeFreesTheBlock) {
    LICE_MemBitmap bm(10, 10, 4);
    EXPECT_TRUE(bm.resize(0, 7));
    EXPECT_EQ(bm.getWidth(), 0);
    EXPECT_EQ(bm.getHeight(), 0);
    EXPECT_EQ(bm.getBits(), nullptr);
    EXPECT_EQ(bm.getAllocSize(), 0);
    EXPECT_TRUE(bm.resize(3, -1));
    EXPECT_EQ(bm.getBits(), nullptr);
}

TEST(MemBitmap, HugeRequestFailsCleanly) {
    LICE_MemBitmap bm(4, 4, 4);
    EXPECT_TRUE(bm.resize(1 << 20, 1 << 20)); // 4 TiB: more than a 32-bit size can hold
    EXPECT_EQ(bm.getWidth(), 0);
    EXPECT_EQ(bm.getHeight(), 0);
    EXPECT_EQ(bm.getBits(), nullptr);
}

// Fails every request above a byte limit.
size_t s_limit = 0;
void* limitedRealloc(void* p, size_t n) {
    return n > s_limit ? nullptr : realloc(p, n);
}

struct AllocatorGuard {
    ~AllocatorGuard() { LICE_MemBitmap::SetReallocForTesting(nullptr); }
};

TEST(MemBitmap, FailedGrowthFallsBackToTheNeedThenToEmpty) {
    AllocatorGuard guard;
    LICE_MemBitmap::SetReallocForTesting(limitedRealloc);
    s_limit = 1 << 20;
    LICE_MemBitmap bm(16, 16, 4);
    ASSERT_NE(bm.getBits(), nullptr);

    // 5/4 of 16 x 20 x 4 plus slack is refused; the bare need (1280 + 63 bytes) is granted.
    s_limit = 16 * 20 * 4 + 63;
    EXPECT_TRUE(bm.resize(16, 20));
    EXPECT_EQ(bm.getAllocSize(), 16 * 20 * 4);
    ASSERT_NE(bm.getBits(), nullptr);
    EXPECT_TRUE(aligned64(bm.getBits()));
    memset(bm.getBits(), 0, 16 * 20 * 4);

    // Nothing more to be had: the bitmap reports 0 x 0 with no bits, and can recover later.
    s_limit = 0;
    EXPECT_TRUE(bm.resize(64, 64));
    EXPECT_EQ(bm.getWidth(), 0);
    EXPECT_EQ(bm.getHeight(), 0);
    EXPECT_EQ(bm.getBits(), nullptr);
    s_limit = 1 << 20;
    EXPECT_TRUE(bm.resize(64, 64));
    EXPECT_EQ(bm.getWidth(), 64);
    ASSERT_NE(bm.getBits(), nullptr);

    // A first allocation that fails leaves the constructor's bitmap empty.
    s_limit = 0;
    LICE_MemBitmap none(8, 8, 4);
    EXPECT_EQ(none.getBits(), nullptr);
    EXPECT_EQ(none.getWidth(), 0);
}

TEST(GetPixel, ClipsAndHonoursFlip) {
    LICE_MemBitmap bm(3, 2, 4);
    for (int i = 0; i < 8; ++i)
        bm.getBits()[i] = 0x100u + i;
    EXPECT_EQ(LICE_GetPixel(&bm, 0, 0), 0x100u);
    EXPECT_EQ(LICE_GetPixel(&bm, 2, 1), 0x106u);
    EXPECT_EQ(LICE_GetPixel(&bm, 3, 0), 0u);
    EXPECT_EQ(LICE_GetPixel(&bm, -1, 0), 0u);
    EXPECT_EQ(LICE_GetPixel(&bm, 0, 2), 0u);
    EXPECT_EQ(LICE_GetPixel(nullptr, 0, 0), 0u);

    FlippedBitmap fl(3, 2);
    fl.getBits()[0] = 0xaa;               // memory row 0 is the bottom row
    fl.getBits()[fl.getRowSpan()] = 0xbb; // memory row 1 is the top row
    EXPECT_EQ(LICE_GetPixel(&fl, 0, 0), 0xbbu);
    EXPECT_EQ(LICE_GetPixel(&fl, 0, 1), 0xaau);
}

void fill(LICE_IBitmap& bm, LICE_pixel v) {
    for (int y = 0; y < bm.getHeight(); ++y)
        for (int x = 0; x < bm.getRowSpan(); ++x)
            bm.getBits()[y * bm.getRowSpan() + x] = v;
}

TEST(BitmapCmp, NullsAndSizes) {
    LICE_MemBitmap a(4, 4, 4), b(6, 9, 4), c(4, 7, 4);
    EXPECT_EQ(LICE_BitmapCmp(nullptr, nullptr), 0);
    EXPECT_EQ(LICE_BitmapCmp(nullptr, &a), -1);
    EXPECT_EQ(LICE_BitmapCmp(&a, nullptr), 1);
    EXPECT_EQ(LICE_BitmapCmp(&a, &b), 2); // width first, even though heights differ too
    EXPECT_EQ(LICE_BitmapCmp(&b, &a), -2);
    EXPECT_EQ(LICE_BitmapCmp(&a, &c), 3);
}

TEST(BitmapCmp, MaskAndBoundingBox) {
    LICE_MemBitmap a(7, 6, 4), b(7, 6, 4);
    fill(a, 0xff102030);
    fill(b, 0xff102030);
    // The padding column beyond the width must not count.
    b.getBits()[7] = 0;
    int box[4] = {9, 9, 9, 9};
    EXPECT_EQ(LICE_BitmapCmp(&a, &b, box), 0);
    EXPECT_EQ(box[0] + box[1] + box[2] + box[3], 0);

    b.getBits()[2 * 8 + 1] = 0x00102030; // alpha only, at (1, 2)
    EXPECT_EQ(LICE_BitmapCmpEx(&a, &b, 0x00ffffff), 0);
    EXPECT_NE(LICE_BitmapCmp(&a, &b), 0);
    b.getBits()[4 * 8 + 5] = 0xff102031; // (5, 4)
    b.getBits()[3 * 8 + 0] = 0xff112030; // (0, 3)
    EXPECT_EQ(LICE_BitmapCmpEx(&a, &b, 0x00ffffff), 1);
    EXPECT_EQ(LICE_BitmapCmp(&a, &b, box), 1);
    EXPECT_EQ(box[0], 0);
    EXPECT_EQ(box[1], 2);
    EXPECT_EQ(box[2], 6);
    EXPECT_EQ(box[3], 3);
    EXPECT_EQ(LICE_BitmapCmpEx(&a, &b, 0x00ffffff, box), 1);
    EXPECT_EQ(box[0], 0);
    EXPECT_EQ(box[1], 3);
    EXPECT_EQ(box[3], 2);
}

TEST(BitmapCmp, FlippedRowsCompareByPicture) {
    LICE_MemBitmap a(2, 3, 4);
    FlippedBitmap f(2, 3);
    fill(a, 0);
    fill(f, 0);
    a.getBits()[0] = 7;                  // top-left
    f.getBits()[2 * f.getRowSpan()] = 7; // top-left of a flipped bitmap lives in the last row
    EXPECT_EQ(LICE_BitmapCmp(&a, &f), 0);
}

} // namespace
