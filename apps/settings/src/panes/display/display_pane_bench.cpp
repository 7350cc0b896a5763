// The Displays page over two outputs with the machine in memory: a frame of the open page (sync, layout, draw), and
// the first frame, which builds the view.
#include "panes/display/display_pane.hpp"
#include "panes/display/testing/display_world.hpp"

#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>

namespace settings::panes::display {
namespace {

using namespace display::testing;

struct Machine {
    World world;
    RuntimeFolder runtime;
    std::shared_ptr<config_sections::hardware::FakeDisplayHardware> hardware =
        std::make_shared<config_sections::hardware::FakeDisplayHardware>(laptop_and_monitor());
    config_sections::hardware::ScopedDisplayHardware scoped{hardware};

    [[nodiscard]] DisplayPane pane() const
    {
        auto model = DisplayModel::create(world.backend(), false);
        model.set_probe_answer(0.62F, true);
        return DisplayPane(std::move(model));
    }
};

void BM_DisplayPageFrame(benchmark::State& state)
{
    Machine machine;
    page_doc::Document doc;
    DisplayPane pane = machine.pane();
    vorn_ui::HeadlessWindow window(pane, doc, {1280, 2600});
    window.frame();
    window.frame();
    for (auto _ : state) {
        window.frame();
    }
}
BENCHMARK(BM_DisplayPageFrame)->Unit(benchmark::kMillisecond);

void BM_DisplayPageOpen(benchmark::State& state)
{
    Machine machine;
    for (auto _ : state) {
        page_doc::Document doc;
        DisplayPane pane = machine.pane();
        vorn_ui::HeadlessWindow window(pane, doc, {1280, 2600});
        window.frame();
        benchmark::DoNotOptimize(pane.content());
    }
}
BENCHMARK(BM_DisplayPageOpen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::display
