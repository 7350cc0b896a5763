// The Printers page in the headless window over the fake backend: building, laying out and drawing it with many
// queues and jobs, and a frame in which nothing changed (the page syncs every frame while it is shown).
#include "panes/printers/printers_pane.hpp"
#include "panes/printers/testing/fake_printing_backend.hpp"

#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

namespace settings::panes::printers {
namespace {

using testing::FakePrintingBackend;
using testing::ManualThreads;

FakePrintingBackend::State busy_office(int queues, int jobs)
{
    FakePrintingBackend::State state;
    for (int i = 0; i < queues; ++i) {
        state.queues->push_back({.name = fmt::format("Floor{}", i),
                                 .supplies = std::vector<PrinterSupply>{{"Black Toner", 60}, {"Cyan", 20}},
                                 .live_details = true,
                                 .is_default = i == 0,
                                 .accepting_jobs = true,
                                 .state = i % 4 == 1 ? QueueState::Paused : QueueState::Ready});
    }
    for (int i = 0; i < jobs; ++i) {
        state.jobs->push_back({.id = std::to_string(100 + i), .title = "Quarterly report", .owner = "ada",
                               .printer = fmt::format("Floor{}", i % queues), .impressions_completed = 3,
                               .impressions_total = 12, .size = 240'000, .state = JobState::Waiting});
    }
    return state;
}

struct Page {
    explicit Page(int queues, int jobs)
        : backend(std::make_shared<FakePrintingBackend>(busy_office(queues, jobs))),
          pane(PrintersModel::Environment{.backend = backend, .start_thread = threads.starter()}),
          window(pane, document, {1280, 4000})
    {
        window.frame();
        threads.run_all();
        window.frame();
    }
    ManualThreads threads;
    page_doc::Document document;
    std::shared_ptr<FakePrintingBackend> backend;
    PrintersPane pane;
    vorn_ui::HeadlessWindow window;
};

void BM_BuildLayOutAndDraw(benchmark::State& state)
{
    for (auto _ : state) {
        Page page(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
        benchmark::DoNotOptimize(page.window.last_frame());
    }
}
BENCHMARK(BM_BuildLayOutAndDraw)->Args({2, 3})->Args({20, 50})->Unit(benchmark::kMillisecond);

void BM_UnchangedFrame(benchmark::State& state)
{
    Page page(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.window.frame());
    }
}
BENCHMARK(BM_UnchangedFrame)->Args({2, 3})->Args({20, 50})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::printers
