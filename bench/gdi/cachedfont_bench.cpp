// Cached-font text: the glyph path (blending cached coverage) against the native GDI path, onto
// the kinds of bitmap the editor draws into.
#include "raster/lice.h"

#include "gdi/swell-gdi.h"

#include <benchmark/benchmark.h>

namespace {

LICE_CachedFont* MakeFont(int flags) {
    auto* f = new LICE_CachedFont;
    f->SetFromHFont(CreateFont(12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Monaco"),
                    FONT_OWNS_HFONT | flags);
    f->SetTextColor(0xFFFFFFFF);
    return f;
}

template <class Bitmap>
void DrawLabel(benchmark::State& state, int flags) {
    LICE_CachedFont* f = MakeFont(flags);
    Bitmap bm(200, 40);
    RECT r = {0, 0, 200, 40};
    f->DrawText(&bm, "Gain 0.50 dB", -1, &r, TEXT_HCENTER | TEXT_NOCLIP); // fills the cache
    for (auto _ : state)
        benchmark::DoNotOptimize(
            f->DrawText(&bm, "Gain 0.50 dB", -1, &r, TEXT_HCENTER | TEXT_NOCLIP));
    delete f;
}

void BM_GlyphPathMem(benchmark::State& s) {
    DrawLabel<LICE_MemBitmap>(s, 0);
}
void BM_GlyphPathMono(benchmark::State& s) {
    DrawLabel<LICE_MemBitmap>(s, FONT_MONO);
}
void BM_NativePathSys(benchmark::State& s) {
    DrawLabel<LICE_SysBitmap>(s, FONT_PREFER_NATIVE);
}
void BM_NativePathMem(benchmark::State& s) {
    DrawLabel<LICE_MemBitmap>(s, FONT_PREFER_NATIVE);
}
BENCHMARK(BM_GlyphPathMem);
BENCHMARK(BM_GlyphPathMono);
BENCHMARK(BM_NativePathSys);
BENCHMARK(BM_NativePathMem);

void BM_RenderAsciiCache(benchmark::State& state) {
    for (auto _ : state) {
        LICE_CachedFont* f = MakeFont(FONT_PRERENDER_ASCII);
        benchmark::DoNotOptimize(f);
        delete f;
    }
}
BENCHMARK(BM_RenderAsciiCache);

} // namespace
