// Pixel word, rectangles and the bitmap interface every raster operation draws through.
//
// A pixel is the 32-bit word 0xAARRGGBB with straight (not premultiplied) alpha, stored
// little-endian: in memory the bytes of a pixel are B, G, R, A. Combine operations address the
// channels by those byte indices (LICE_PIXEL_B .. LICE_PIXEL_A).
//
// Rows: a bitmap is getHeight() rows of getRowSpan() pixels (the span counts pixels, not bytes),
// the first getWidth() of which are visible. Row 0 in memory is the top row unless isFlipped(),
// in which case it is the bottom row; every operation that walks rows honours the flag.
//
// Bitmaps are not synchronised: each is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

typedef unsigned int LICE_pixel;
typedef unsigned char LICE_pixel_chan;

// Byte index of each channel inside a pixel in memory.
enum {
    LICE_PIXEL_B = 0,
    LICE_PIXEL_G = 1,
    LICE_PIXEL_R = 2,
    LICE_PIXEL_A = 3,
};

// Colour word from components 0..255 (each is masked to 8 bits).
#define LICE_RGBA(r, g, b, a)                                                                      \
    ((LICE_pixel)((((unsigned int)(b)) & 0xffu) | ((((unsigned int)(g)) & 0xffu) << 8) |           \
                  ((((unsigned int)(r)) & 0xffu) << 16) | ((((unsigned int)(a)) & 0xffu) << 24)))
#define LICE_GETB(v) ((int)(((unsigned int)(v)) & 0xffu))
#define LICE_GETG(v) ((int)((((unsigned int)(v)) >> 8) & 0xffu))
#define LICE_GETR(v) ((int)((((unsigned int)(v)) >> 16) & 0xffu))
#define LICE_GETA(v) ((int)((((unsigned int)(v)) >> 24) & 0xffu))

// Integer rectangle: right and bottom are exclusive. The GDI layer shares this definition; the
// guard lets either header come first.
#ifndef ZERUB_RECT_DEFINED
#define ZERUB_RECT_DEFINED
struct RECT {
    int left, top, right, bottom;
};
#endif

// Platform drawing-context handle of the GDI layer.
struct HDC__;

class LICE_IBitmap {
public:
    virtual ~LICE_IBitmap() {}

    // Pixel (0,0) of memory row 0, or null when there is no storage.
    virtual LICE_pixel* getBits() = 0;
    virtual int getWidth() = 0;
    virtual int getHeight() = 0;
    // Pixels per row (at least the width).
    virtual int getRowSpan() = 0;
    virtual bool isFlipped() { return false; }
    // True when the size changed. Pointers from getBits() are invalid afterwards.
    virtual bool resize(int w, int h) = 0;
    virtual HDC__* getDC() { return nullptr; }
    // Extension hook; no id is defined, every id answers 0.
    virtual intptr_t Extended(int /*id*/, void* /*data*/) { return 0; }
};

// A bitmap on a plain heap block: 64-byte aligned, rows padded to the line alignment, grown by
// 5/4 of the need and never shrunk on resize, so resizing while a window is dragged does not
// reallocate. New memory is not cleared. Allocation failure leaves a 0 x 0 bitmap with null bits.
class LICE_MemBitmap : public LICE_IBitmap {
public:
    // linealign: the row span is the width rounded up to a multiple of linealign's lowest set bit
    // (below 2 means no padding; the mask is capped at 16). Every caller here passes 4.
    LICE_MemBitmap(int w = 0, int h = 0, unsigned int linealign = 4);
    ~LICE_MemBitmap() override;
    LICE_MemBitmap(const LICE_MemBitmap&) = delete;
    LICE_MemBitmap& operator=(const LICE_MemBitmap&) = delete;

    LICE_pixel* getBits() override;
    int getWidth() override { return m_width; }
    int getHeight() override { return m_height; }
    int getRowSpan() override { return (m_width + m_linealign) & ~m_linealign; }
    bool resize(int w, int h) override;

    // Bytes usable in the block (excluding the alignment slack).
    int getAllocSize() const { return m_allocsize; }

    // Replaces the allocator (blocks are still released with free); tests use it to inject
    // failures. Null restores realloc. Not synchronised: set it before any bitmap is used.
    using ReallocFn = void* (*)(void* block, size_t bytes);
    static void SetReallocForTesting(ReallocFn fn);

private:
    void* m_fb = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_allocsize = 0;
    int m_linealign = 0;
};

// Resizes dest to src's size and copies every pixel verbatim. Does nothing when either is null.
void LICE_Copy(LICE_IBitmap* dest, LICE_IBitmap* src);

// The pixel at (x, y) counted from the top, or 0 outside the bitmap or without storage.
LICE_pixel LICE_GetPixel(LICE_IBitmap* bm, int x, int y);

// 0 when equal. Different sizes give width(b) - width(a), then height(b) - height(a). Pixels differ
// when (pa ^ pb) & mask is non-zero. With coordsOut, writes the box of the differences as
// {left, top, width, height} (zeros when none) and returns 1 if any.
int LICE_BitmapCmp(LICE_IBitmap* a, LICE_IBitmap* b, int* coordsOut = nullptr);
int LICE_BitmapCmpEx(LICE_IBitmap* a, LICE_IBitmap* b, LICE_pixel mask, int* coordsOut = nullptr);
