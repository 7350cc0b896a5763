// The Power page with fake backends: a frame of the open page (sync, layout, draw), and the first frame, which
// builds the view.
#include "panes/power/power_pane.hpp"

#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>

namespace settings::panes::power {
namespace {

PowerModel::Environment fakes()
{
    using system_ops::battery::FakeBattery;
    FakeBattery::State laptop{
        .info = {.present = true, .percent = 64, .cycle_count = 120, .status = "Discharging",
                 .full_capacity = 45.0, .design_capacity = 50.0},
        .devices = std::vector<PowerDevice>{{.name = "BAT0", .state = "On battery", .percent = 64},
                                            {.name = "ups0", .state = "Charging", .percent = 93,
                                             .kind = PowerDeviceKind::Ups}},
        .capability = ChargeCapability{.supported_percentages = {60, 80, 100}, .current_percent = 100}};
    return {.backends = {.profiles = std::make_shared<system_ops::power::FakePower>(),
                         .dispatcher = std::make_shared<system_ops::RealDispatcher>(),
                         .battery = std::make_shared<FakeBattery>(std::move(laptop)),
                         .history = [] { return std::vector<std::uint32_t>{90, 84, 77, 70, 64}; }},
            // The readings are taken at once, on the calling thread.
            .start_thread = [](std::string_view, std::function<void()> work) -> std::expected<void, std::string> {
                work();
                return {};
            },
            .load_prefs = [] { return prefs::PowerPrefs{}; },
            .save_prefs = [](const auto&) -> std::expected<void, std::string> { return {}; },
            .last_readings = std::make_shared<LastReadings>()};
}

void BM_PowerPageFrame(benchmark::State& state)
{
    page_doc::Document doc;
    PowerPane pane(fakes());
    vorn_ui::HeadlessWindow window(pane, doc, {1280, 1700});
    window.frame();
    window.frame();
    for (auto _ : state) {
        window.frame();
    }
}
BENCHMARK(BM_PowerPageFrame)->Unit(benchmark::kMillisecond);

void BM_PowerPageOpen(benchmark::State& state)
{
    for (auto _ : state) {
        page_doc::Document doc;
        PowerPane pane(fakes());
        vorn_ui::HeadlessWindow window(pane, doc, {1280, 1700});
        window.frame();
        benchmark::DoNotOptimize(pane.content());
    }
}
BENCHMARK(BM_PowerPageOpen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::power
