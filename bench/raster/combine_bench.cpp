// Every combine operation through LICE_Blit and LICE_FillRect over a 512 x 512 bitmap.
#include "raster/lice.h"

#include <benchmark/benchmark.h>

namespace {

void noise(LICE_IBitmap* bm, unsigned int seed) {
    for (int y = 0; y < bm->getHeight(); ++y) {
        LICE_pixel* row = bm->getBits() + (size_t)y * bm->getRowSpan();
        for (int x = 0; x < bm->getWidth(); ++x) {
            seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
            row[x] = seed;
        }
    }
}

struct Bitmaps {
    LICE_MemBitmap src{512, 512, 4}, dest{512, 512, 4};
    Bitmaps() { noise(&src, 1), noise(&dest, 2); }
};

Bitmaps& bitmaps() {
    static Bitmaps b;
    return b;
}

// Arguments: mode, alpha in 1/256.
void BM_BlitCombine(benchmark::State& state) {
    Bitmaps& b = bitmaps();
    const int mode = (int)state.range(0);
    const float alpha = state.range(1) / 256.0f;
    for (auto _ : state) {
        LICE_Blit(&b.dest, &b.src, 0, 0, nullptr, alpha, mode);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 512 * 512);
}

void BM_FillCombine(benchmark::State& state) {
    Bitmaps& b = bitmaps();
    const int mode = (int)state.range(0);
    const float alpha = state.range(1) / 256.0f;
    for (auto _ : state) {
        LICE_FillRect(&b.dest, 0, 0, 512, 512, 0xc0806040, alpha, mode);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 512 * 512);
}

void modes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"mode", "alpha256"});
    for (int sa : {0, LICE_COMBINE_USE_SOURCE_ALPHA})
        for (int op = 0; op <= 5; ++op)
            b->Args({sa | op, 192})->Args({sa | op, 256});
    b->Args({0, 128});                                                // whole-word half mix
    b->Args({LICE_COMBINE_CHANNEL(LICE_PIXEL_A, LICE_PIXEL_B), 256}); // channel copy
}

void fillModes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"mode", "alpha256"});
    for (int op = 0; op <= 5; ++op)
        b->Args({op, 200})->Args({op, 256});
    b->Args({0, 64})->Args({0, 128})->Args({0, 192});
}

BENCHMARK(BM_BlitCombine)->Apply(modes);
BENCHMARK(BM_FillCombine)->Apply(fillModes);

} // namespace
