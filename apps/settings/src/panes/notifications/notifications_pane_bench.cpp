// The Notifications page in the headless window over a private home and a platform listing a few or many
// applications: building, laying out and drawing it, and a frame in which nothing changed (the page syncs every
// frame while it is shown).
#include "panes/notifications/notifications_pane.hpp"

#include "actions/catalogue/platform.hpp"
#include "page_doc/page_doc.hpp"
#include "test_support/temp_home.hpp"
#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

namespace settings::panes::notifications {
namespace {

namespace cat = actions::catalogue;

std::shared_ptr<cat::FakePlatform> platform_with(int count)
{
    auto platform = std::make_shared<cat::FakePlatform>();
    for (int i = 0; i < count; ++i) {
        platform->notification_app_list.push_back({fmt::format("org.example.App{}", i), fmt::format("App {}", i)});
    }
    return platform;
}

struct Page {
    Page() : window(pane, document, {1040, 4000}) { window.frame(); }
    page_doc::Document document;
    NotificationsPane pane;
    vorn_ui::HeadlessWindow window;
};

void BM_BuildLayOutAndDraw(benchmark::State& state)
{
    test_support::ConfigHome home("vorn-notifications-bench");
    cat::ScopedPlatform scoped(platform_with(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        Page page;
        benchmark::DoNotOptimize(page.window.last_frame());
    }
}
BENCHMARK(BM_BuildLayOutAndDraw)->Arg(2)->Arg(30)->Unit(benchmark::kMillisecond);

void BM_UnchangedFrame(benchmark::State& state)
{
    test_support::ConfigHome home("vorn-notifications-bench");
    cat::ScopedPlatform scoped(platform_with(static_cast<int>(state.range(0))));
    Page page;
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.window.frame());
    }
}
BENCHMARK(BM_UnchangedFrame)->Arg(2)->Arg(30)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::notifications
