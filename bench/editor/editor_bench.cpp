// The effect's editor drawn headless: a full redraw of the whole editor at scale 1 and at 2 side by
// side (the argument is the scale in percent: 2 has four times the pixels), and the incremental
// frame after one knob change, each in microseconds per frame.
#include "editor/IGraphicsHeadless.h"
#include "effect/Zerub.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct Editor {
    std::unique_ptr<IPlugAU> plug;
    IGraphics* gui = nullptr;

    Editor() {
        IGraphicsHeadless::SetDefaultResourceDir(ZERUB_SOURCE_DIR "/resources/img");
        plug.reset(MakePlug(nullptr));
        gui = plug ? dynamic_cast<IGraphics*>(plug->GetGUI()) : nullptr;
    }
    bool Frame() {
        IRECT r;
        return gui->IsDirty(&r) && gui->Draw(&r);
    }
};

void BM_FullRedraw(benchmark::State& state) {
    Editor e;
    if (!e.gui) {
        state.SkipWithError("no editor");
        return;
    }
    e.gui->SetScale(state.range(0) / 100.0);
    while (e.Frame()) { // the artwork at this scale is made before the timing starts
    }
    for (auto _ : state) {
        e.gui->SetAllControlsDirty();
        benchmark::DoNotOptimize(e.Frame());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FullRedraw)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

// Each frame follows a new Gain value, so only the knob's 62 x 62 area is redrawn: the
// background under it and the knob itself.
void BM_KnobChangeIncremental(benchmark::State& state) {
    Editor e;
    if (!e.gui) {
        state.SkipWithError("no editor");
        return;
    }
    while (e.Frame()) {
    }
    double value = 0.0;
    for (auto _ : state) {
        value = value >= 1.0 ? 0.0 : value + 1.0 / 30.0;
        e.gui->SetParameterFromPlug(Zerub::kGain, value, true);
        benchmark::DoNotOptimize(e.Frame());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KnobChangeIncremental)->Unit(benchmark::kMicrosecond);

} // namespace
