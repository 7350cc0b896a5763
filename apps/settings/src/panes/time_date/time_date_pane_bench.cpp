// The Time & Date page over a fake time service and the machine's tzdata: a frame of the open page (sync, layout,
// draw of the map's dots), and opening it (the zone catalogue read, the view built).
#include "panes/time_date/time_date_pane.hpp"

#include "page_doc/page_doc.hpp"
#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace settings::panes::time_date {
namespace {

TimeDateModel::Options fakes()
{
    // No settings file: the clock format is the default one, and nothing of the user's is read.
    ::setenv("XDG_CONFIG_HOME", "/nonexistent/vorn-time-date-bench", 1);
    using system_ops::time::FakeTime;
    FakeTime::State state;
    state.zones = system_ops::time::read_zone_list(std::string(kZoneinfoRoot));
    if (!state.zones) {
        state.zones = std::vector<std::string>{"America/New_York", "Europe/Berlin", "UTC"};
    }
    state.status->zone = "Europe/Berlin";
    return {.time = std::make_shared<FakeTime>(std::move(state)),
            // The read is taken at once, on the calling thread.
            .start_worker = [](std::function<void()> work) { work(); }};
}

void BM_TimeDatePageFrame(benchmark::State& state)
{
    page_doc::Document doc;
    TimeDatePane pane(fakes());
    vorn_ui::HeadlessWindow window(pane, doc, {1280, 1100});
    window.frame();
    window.frame();
    for (auto _ : state) {
        window.frame();
    }
}
BENCHMARK(BM_TimeDatePageFrame)->Unit(benchmark::kMillisecond);

void BM_TimeDatePageOpen(benchmark::State& state)
{
    const TimeDateModel::Options options = fakes();
    for (auto _ : state) {
        page_doc::Document doc;
        TimeDatePane pane(options);
        vorn_ui::HeadlessWindow window(pane, doc, {1280, 1100});
        window.frame();
        benchmark::DoNotOptimize(pane.map());
    }
}
BENCHMARK(BM_TimeDatePageOpen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::time_date
