// Helpers shared by the raster suites: deterministic noise, a bottom-up bitmap, PNG writing.
#pragma once

#include "raster/lice.h"

#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

namespace rtest {

// xorshift: the same sequence on every run.
struct Rng {
    unsigned int s;
    explicit Rng(unsigned int seed = 2463534242u) : s(seed ? seed : 1) {}
    unsigned int next() {
        s ^= s << 13, s ^= s >> 17, s ^= s << 5;
        return s;
    }
    int range(int lo, int hi) { return lo + (int)(next() % (unsigned)(hi - lo + 1)); }
};

// Stores its rows bottom-up, so every reader and writer must honour isFlipped().
class FlippedBitmap : public LICE_MemBitmap {
public:
    FlippedBitmap(int w, int h) : LICE_MemBitmap(w, h, 4) {}
    bool isFlipped() override { return true; }
};

inline LICE_pixel* pixelAt(LICE_IBitmap* bm, int x, int y) {
    const int row = bm->isFlipped() ? bm->getHeight() - 1 - y : y;
    return bm->getBits() + (size_t)row * bm->getRowSpan() + x;
}

inline void fillNoise(LICE_IBitmap* bm, Rng& rng) {
    for (int y = 0; y < bm->getHeight(); ++y)
        for (int x = 0; x < bm->getWidth(); ++x)
            *pixelAt(bm, x, y) = rng.next();
}

inline void fillSolid(LICE_IBitmap* bm, LICE_pixel v) {
    for (int y = 0; y < bm->getHeight(); ++y)
        for (int x = 0; x < bm->getWidth(); ++x)
            *pixelAt(bm, x, y) = v;
}

// Writes 8-bit RGBA (straight alpha) with libpng; false on any failure.
inline bool writePNG(const std::string& path, LICE_IBitmap* bm) {
    FILE* fp = fopen(path.c_str(), "wb");
    if (!fp) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const int w = bm->getWidth(), h = bm->getHeight();
    std::vector<unsigned char> rgba((size_t)w * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const LICE_pixel p = *pixelAt(bm, x, y);
            unsigned char* o = &rgba[((size_t)y * w + x) * 4];
            o[0] = (unsigned char)LICE_GETR(p), o[1] = (unsigned char)LICE_GETG(p);
            o[2] = (unsigned char)LICE_GETB(p), o[3] = (unsigned char)LICE_GETA(p);
        }
    bool ok = false;
    if (info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, fp);
        png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < h; ++y)
            png_write_row(png, &rgba[(size_t)y * w * 4]);
        png_write_end(png, info);
        ok = true;
    }
    png_destroy_write_struct(&png, info ? &info : nullptr);
    fclose(fp);
    return ok;
}

} // namespace rtest
