// The editor's common raster work, each next to the nearest pixman equivalent. Pixman works on
// premultiplied pixels, so "source alpha" is OVER there; the costs compare, not the pictures.
#include "raster/lice.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

namespace {

void noise(LICE_IBitmap* bm, unsigned int seed, bool opaque) {
    for (int y = 0; y < bm->getHeight(); ++y) {
        LICE_pixel* row = bm->getBits() + (size_t)y * bm->getRowSpan();
        for (int x = 0; x < bm->getWidth(); ++x) {
            seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
            row[x] = opaque ? seed | 0xff000000u : seed;
        }
    }
}

// A pixman image over a bitmap's pixels (no copy).
pixman_image_t* wrap(LICE_IBitmap* bm) {
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, bm->getWidth(), bm->getHeight(),
                                    (uint32_t*)bm->getBits(), bm->getRowSpan() * 4);
}

struct Pair {
    LICE_MemBitmap src, dest;
    pixman_image_t *psrc, *pdest;
    Pair(int sw, int sh, int dw, int dh, bool opaque) : src(sw, sh, 4), dest(dw, dh, 4) {
        noise(&src, 7, opaque), noise(&dest, 9, true);
        psrc = wrap(&src), pdest = wrap(&dest);
    }
    ~Pair() { pixman_image_unref(psrc), pixman_image_unref(pdest); }
};

void items(benchmark::State& state, int pixels) {
    state.SetItemsProcessed(state.iterations() * pixels);
}

// Opaque blit 512 x 512.
void BM_Lice_BlitOpaque(benchmark::State& s) {
    Pair p(512, 512, 512, 512, true);
    for (auto _ : s)
        LICE_Blit(&p.dest, &p.src, 0, 0, nullptr, 1.0f, 0), benchmark::ClobberMemory();
    items(s, 512 * 512);
}
void BM_Pixman_BlitOpaque(benchmark::State& s) {
    Pair p(512, 512, 512, 512, true);
    for (auto _ : s)
        pixman_image_composite32(PIXMAN_OP_SRC, p.psrc, nullptr, p.pdest, 0, 0, 0, 0, 0, 0, 512,
                                 512),
            benchmark::ClobberMemory();
    items(s, 512 * 512);
}

// Blit weighted by the source alpha.
void BM_Lice_BlitSourceAlpha(benchmark::State& s) {
    Pair p(512, 512, 512, 512, false);
    for (auto _ : s)
        LICE_Blit(&p.dest, &p.src, 0, 0, nullptr, 1.0f, LICE_COMBINE_USE_SOURCE_ALPHA),
            benchmark::ClobberMemory();
    items(s, 512 * 512);
}
void BM_Pixman_BlitOver(benchmark::State& s) {
    Pair p(512, 512, 512, 512, false);
    for (auto _ : s)
        pixman_image_composite32(PIXMAN_OP_OVER, p.psrc, nullptr, p.pdest, 0, 0, 0, 0, 0, 0, 512,
                                 512),
            benchmark::ClobberMemory();
    items(s, 512 * 512);
}

// Half-alpha blit of an opaque source.
void BM_Lice_BlitHalf(benchmark::State& s) {
    Pair p(512, 512, 512, 512, true);
    for (auto _ : s)
        LICE_Blit(&p.dest, &p.src, 0, 0, nullptr, 0.5f, 0), benchmark::ClobberMemory();
    items(s, 512 * 512);
}
void BM_Pixman_BlitHalf(benchmark::State& s) {
    Pair p(512, 512, 512, 512, true);
    const pixman_color_t half = {0x8000, 0x8000, 0x8000, 0x8000};
    pixman_image_t* mask = pixman_image_create_solid_fill(&half);
    for (auto _ : s)
        pixman_image_composite32(PIXMAN_OP_OVER, p.psrc, mask, p.pdest, 0, 0, 0, 0, 0, 0, 512, 512),
            benchmark::ClobberMemory();
    pixman_image_unref(mask);
    items(s, 512 * 512);
}

// Bilinear scaling into 512 x 512: from 256 x 256 (up) and from 1024 x 1024 (down; the raster
// library box-filters this, pixman samples bilinearly).
void BM_Lice_Scale(benchmark::State& s) {
    const int n = (int)s.range(0);
    Pair p(n, n, 512, 512, true);
    for (auto _ : s)
        LICE_ScaledBlit(&p.dest, &p.src, 0, 0, 512, 512, 0, 0, (float)n, (float)n, 1.0f,
                        LICE_COMBINE_FILTER_BILINEAR),
            benchmark::ClobberMemory();
    items(s, 512 * 512);
}
void BM_Pixman_Scale(benchmark::State& s) {
    const int n = (int)s.range(0);
    Pair p(n, n, 512, 512, true);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(n / 512.0),
                                pixman_double_to_fixed(n / 512.0));
    pixman_image_set_transform(p.psrc, &t);
    pixman_image_set_filter(p.psrc, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    for (auto _ : s)
        pixman_image_composite32(PIXMAN_OP_SRC, p.psrc, nullptr, p.pdest, 0, 0, 0, 0, 0, 0, 512,
                                 512),
            benchmark::ClobberMemory();
    items(s, 512 * 512);
}

// Solid fill 512 x 512.
void BM_Lice_Fill(benchmark::State& s) {
    LICE_MemBitmap d(512, 512, 4);
    for (auto _ : s)
        LICE_FillRect(&d, 0, 0, 512, 512, 0xff336699, 1.0f, 0), benchmark::ClobberMemory();
    items(s, 512 * 512);
}
void BM_Pixman_Fill(benchmark::State& s) {
    LICE_MemBitmap d(512, 512, 4);
    pixman_image_t* pd = wrap(&d);
    const pixman_color_t c = {0x3333, 0x6666, 0x9999, 0xffff};
    const pixman_rectangle16_t r = {0, 0, 512, 512};
    for (auto _ : s)
        pixman_image_fill_rectangles(PIXMAN_OP_SRC, pd, &c, 1, &r), benchmark::ClobberMemory();
    pixman_image_unref(pd);
    items(s, 512 * 512);
}

// One editor frame: the 333 x 511 background, then two 62 x 62 knob frames from a filmstrip.
struct Frame {
    LICE_MemBitmap back{333, 511, 4}, bg{333, 511, 4}, strip{62, 62 * 60, 4};
    pixman_image_t *pback, *pbg, *pstrip;
    Frame() {
        noise(&bg, 3, true), noise(&strip, 4, false), noise(&back, 5, true);
        pback = wrap(&back), pbg = wrap(&bg), pstrip = wrap(&strip);
    }
    ~Frame() { pixman_image_unref(pback), pixman_image_unref(pbg), pixman_image_unref(pstrip); }
};

void BM_Lice_EditorFrame(benchmark::State& s) {
    Frame f;
    int frame = 0;
    for (auto _ : s) {
        LICE_Blit(&f.back, &f.bg, 0, 0, nullptr, 1.0f, 0);
        LICE_Blit(&f.back, &f.strip, 60, 200, 0, 62 * frame, 62, 62, 1.0f,
                  LICE_COMBINE_USE_SOURCE_ALPHA);
        LICE_Blit(&f.back, &f.strip, 210, 200, 0, 62 * (59 - frame), 62, 62, 1.0f,
                  LICE_COMBINE_USE_SOURCE_ALPHA);
        frame = (frame + 1) % 60;
        benchmark::ClobberMemory();
    }
    items(s, 333 * 511 + 2 * 62 * 62);
}
void BM_Pixman_EditorFrame(benchmark::State& s) {
    Frame f;
    int frame = 0;
    for (auto _ : s) {
        pixman_image_composite32(PIXMAN_OP_SRC, f.pbg, nullptr, f.pback, 0, 0, 0, 0, 0, 0, 333,
                                 511);
        pixman_image_composite32(PIXMAN_OP_OVER, f.pstrip, nullptr, f.pback, 0, 62 * frame, 0, 0,
                                 60, 200, 62, 62);
        pixman_image_composite32(PIXMAN_OP_OVER, f.pstrip, nullptr, f.pback, 0, 62 * (59 - frame),
                                 0, 0, 210, 200, 62, 62);
        frame = (frame + 1) % 60;
        benchmark::ClobberMemory();
    }
    items(s, 333 * 511 + 2 * 62 * 62);
}

BENCHMARK(BM_Lice_BlitOpaque);
BENCHMARK(BM_Pixman_BlitOpaque);
BENCHMARK(BM_Lice_BlitSourceAlpha);
BENCHMARK(BM_Pixman_BlitOver);
BENCHMARK(BM_Lice_BlitHalf);
BENCHMARK(BM_Pixman_BlitHalf);
BENCHMARK(BM_Lice_Scale)->Arg(256)->Arg(1024);
BENCHMARK(BM_Pixman_Scale)->Arg(256)->Arg(1024);
BENCHMARK(BM_Lice_Fill);
BENCHMARK(BM_Pixman_Fill);
BENCHMARK(BM_Lice_EditorFrame);
BENCHMARK(BM_Pixman_EditorFrame);

} // namespace
