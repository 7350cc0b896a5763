// Speed of what the user feels most: switching sections (build the page, lay out and draw the window) and one
// keystroke in the search field (filter the sidebar, lay out and draw). Aims: under 16 ms and under 8 ms. And the
// whole resource tree as a request on the UI thread gets it, from the snapshot of the machine.
#include "app/settings_app.hpp"

#include "actions/catalogue/catalogue.hpp"
#include "app/platform_snapshot.hpp"
#include "app/test_support.hpp"
#include "page_doc/page_doc.hpp"
#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>

#include <thread>

namespace settings::app {
namespace {

void BM_SelectSection(benchmark::State& state)
{
    testing::PrivateHome home;
    page_doc::Document doc;
    auto app = SettingsApp::create();
    vorn_ui::HeadlessWindow window(*app, doc, {1280, 800});
    window.frame();
    const Section target = sidebar_order()[static_cast<std::size_t>(state.range(0))];
    const Section other = target == Section::Network ? Section::Bluetooth : Section::Network;
    state.SetLabel(std::string(target.id()));
    for (auto _ : state) {
        state.PauseTiming();
        app->select_section(other);
        window.frame();
        state.ResumeTiming();
        (void)app->section_requests().publish(target);
        window.frame();
    }
}
BENCHMARK(BM_SelectSection)->DenseRange(0, static_cast<int>(Section::kCount) - 1)->Unit(benchmark::kMillisecond);

void BM_SearchKeystroke(benchmark::State& state)
{
    testing::PrivateHome home;
    page_doc::Document doc;
    auto app = SettingsApp::create();
    vorn_ui::HeadlessWindow window(*app, doc, {1280, 800});
    window.frame();
    bool longer = false;
    for (auto _ : state) {
        longer = !longer;
        (void)app->search_text().publish(longer ? "sou" : "so");
        window.frame();
    }
}
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond);

// The whole tree of the sample machine served from its snapshot (compare the catalogue's BM_BuildSampleTree, which
// asks the machine itself).
void BM_WholeTreeFromSnapshot(benchmark::State& state)
{
    auto snapshot = std::make_shared<SnapshotPlatform>(
        std::make_shared<catalogue::FakePlatform>(catalogue::FakePlatform::sample()));
    while (snapshot->version() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const catalogue::ScopedPlatform platform(snapshot);
    page_doc::Document doc;
    const std::vector<account_registry::Account> accounts{account_registry::Account("mail-1", "email")};
    for (auto _ : state) {
        auto roots = catalogue::root_resource(doc, accounts);
        benchmark::DoNotOptimize(roots);
    }
}
BENCHMARK(BM_WholeTreeFromSnapshot);

}  // namespace
}  // namespace settings::app
