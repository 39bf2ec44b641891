// PNG bytes through the raster loader, both into a new bitmap and into an existing one (which
// the loader resizes). A decoded image is read whole, so that a bitmap smaller than it claims
// shows up under the address sanitizer.
#include "raster/lice.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

unsigned Touch(LICE_IBitmap* bmp) {
    const int w = bmp->getWidth(), h = bmp->getHeight(), span = bmp->getRowSpan();
    if (w <= 0 || h <= 0 || span < w || !bmp->getBits()) {
        std::fprintf(stderr, "fuzz check failed: decoded bitmap %dx%d span %d\n", w, h, span);
        std::abort();
    }
    unsigned sum = 0;
    const LICE_pixel* bits = bmp->getBits();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            sum += bits[static_cast<size_t>(y) * span + x];
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20)) return 0;
    const int len = static_cast<int>(size);
    unsigned sum = 0;
    if (LICE_IBitmap* made = LICE_LoadPNGFromMemory(data, len)) {
        sum += Touch(made);
        delete made;
    }
    LICE_MemBitmap existing(3, 5);
    if (LICE_IBitmap* into = LICE_LoadPNGFromMemory(data, len, &existing)) {
        if (into != &existing) std::abort();
        sum += Touch(into);
    }
    // Keeps the reads from being optimised away.
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
