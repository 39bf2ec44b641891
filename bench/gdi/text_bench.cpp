// Text measurement and drawing through the GDI layer (one editor label per iteration).
#include "gdi/swell-gdi.h"

#include <benchmark/benchmark.h>

namespace {

struct Label {
    HDC dc = SWELL_CreateMemContext(nullptr, 200, 40);
    HFONT font = CreateFont(12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Monaco");
    Label() {
        SelectObject(dc, font);
        SetTextColor(dc, 0xFFFFFF);
    }
    ~Label() {
        SWELL_DeleteGfxContext(dc);
        DeleteObject(font);
    }
};

void BM_MeasureLabel(benchmark::State& state) {
    Label l;
    for (auto _ : state) {
        RECT r = {0, 0, 0, 0};
        benchmark::DoNotOptimize(SWELL_DrawText(l.dc, "Gain 0.50 dB", -1, &r, DT_CALCRECT));
    }
}
BENCHMARK(BM_MeasureLabel);

void BM_DrawLabel(benchmark::State& state) {
    Label l;
    for (auto _ : state) {
        RECT r = {0, 0, 200, 40};
        benchmark::DoNotOptimize(SWELL_DrawText(l.dc, "Gain 0.50 dB", -1, &r, DT_CENTER));
    }
}
BENCHMARK(BM_DrawLabel);

void BM_CreateAndDeleteFont(benchmark::State& state) {
    for (auto _ : state) {
        HFONT f = CreateFont(12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Monaco");
        benchmark::DoNotOptimize(f);
        DeleteObject(f);
    }
}
BENCHMARK(BM_CreateAndDeleteFont);

void BM_PooledContext(benchmark::State& state) {
    for (auto _ : state) {
        HDC dc = SWELL_CreateMemContext(nullptr, 64, 16);
        benchmark::DoNotOptimize(dc);
        SWELL_DeleteGfxContext(dc);
    }
}
BENCHMARK(BM_PooledContext);

} // namespace
