// Frame cost of a settings window of about 300 widgets at 1280 × 800 in the headless window: the whole frame,
// its layout and its drawing with text measurements cached, and a first frame with an empty text cache.

#include "vorn_ui/headless.hpp"
#include "vorn_ui/testing/large_page.hpp"

#include <benchmark/benchmark.h>
#include <cairo.h>

namespace vorn_ui {
namespace {

HeadlessOptions bench_options()
{
    HeadlessOptions options;
    options.record_text = false;
    return options;
}

void BM_FrameWarm(benchmark::State& state)
{
    HeadlessWindow w(testing::large_window(), {1280, 800}, bench_options());
    w.frame();
    double layout = 0.0;
    double draw = 0.0;
    for (auto _ : state) {
        const FrameStats stats = w.frame();
        layout += stats.layout_ms;
        draw += stats.draw_ms;
    }
    state.counters["widgets"] = static_cast<double>(testing::count_widgets(w.root()));
    state.counters["layout_ms"] = benchmark::Counter(layout, benchmark::Counter::kAvgIterations);
    state.counters["draw_ms"] = benchmark::Counter(draw, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FrameWarm)->Unit(benchmark::kMillisecond);

void BM_LayoutWarm(benchmark::State& state)
{
    HeadlessWindow w(testing::large_window(), {1280, 800}, bench_options());
    w.frame();
    for (auto _ : state) {
        FrameStats stats;
        w.driver().layout(stats);
        benchmark::DoNotOptimize(stats.nodes);
    }
}
BENCHMARK(BM_LayoutWarm)->Unit(benchmark::kMillisecond);

void BM_DrawWarm(benchmark::State& state)
{
    HeadlessWindow w(testing::large_window(), {1280, 800}, bench_options());
    w.frame();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1280, 800);
    for (auto _ : state) {
        cairo_t* cr = cairo_create(surface);
        FrameStats stats;
        w.driver().draw(cr, stats);
        cairo_destroy(cr);
    }
    cairo_surface_destroy(surface);
}
BENCHMARK(BM_DrawWarm)->Unit(benchmark::kMillisecond);

// A frame after the page was scrolled: the same layouts, other texts visible.
void BM_FrameScrolled(benchmark::State& state)
{
    HeadlessWindow w(testing::large_window(), {1280, 800}, bench_options());
    w.frame();
    double offset = 0.0;
    for (auto _ : state) {
        offset = offset > 1500.0 ? 0.0 : offset + 120.0;
        state.PauseTiming();
        w.driver().dispatch(PointerWheel{{700.0, 400.0}, 0.0, offset == 0.0 ? -5000.0 : 120.0, false, {}});
        state.ResumeTiming();
        w.frame();
    }
}
BENCHMARK(BM_FrameScrolled)->Unit(benchmark::kMillisecond);

// The first frame of a new window: every text shaped afresh.
void BM_FirstFrameCold(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto window = std::make_unique<HeadlessWindow>(testing::large_window(), WindowSize{1280, 800},
                                                       bench_options());
        state.ResumeTiming();
        window->frame();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstFrameCold)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vorn_ui
