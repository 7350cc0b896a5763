// The Apps & Files page over 24 kinds with four applications each: a frame of the open page (sync, layout, draw)
// and opening the page (the view built).
#include "panes/personal_apps/personal_apps_pane.hpp"

#include "actions/catalogue/platform.hpp"
#include "page_doc/page_doc.hpp"
#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace settings::panes::personal_apps {
namespace {

namespace cat = actions::catalogue;
namespace defaults = desk_rules::defaults;

std::vector<defaults::AppCandidate> machine()
{
    std::vector<defaults::AppCandidate> apps;
    for (int a = 0; a < 4; ++a) {
        defaults::AppCandidate app{"org.example.app" + std::to_string(a), "App " + std::to_string(a), {}};
        for (int k = 0; k < 24; ++k) {
            app.kinds.push_back("mime:application/x-type" + std::to_string(k));
        }
        apps.push_back(std::move(app));
    }
    return apps;
}

// A platform publishing the machine's kinds, and a settings file in a temporary folder.
const cat::ScopedPlatform& scoped()
{
    struct Folder {
        std::filesystem::path path;
        Folder()
        {
            std::string pattern = (std::filesystem::temp_directory_path() / "vorn-apps-bench-XXXXXX").string();
            path = ::mkdtemp(pattern.data());
            ::setenv("XDG_CONFIG_HOME", path.c_str(), 1);
            ::setenv("HOME", path.c_str(), 1);
        }
        ~Folder()
        {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Folder folder;
    static const cat::ScopedPlatform platform([] {
        auto p = std::make_shared<cat::FakePlatform>();
        const auto apps = machine();
        for (const auto& kind : defaults::kinds(apps)) {
            cat::DefaultAppKind published{kind, defaults::ResourceKind{kind}.display_label(), {}, {}};
            for (const auto& app : defaults::candidates(apps, kind)) {
                published.candidates.push_back({app.id, app.name});
            }
            p->default_kinds.push_back(std::move(published));
        }
        return p;
    }());
    return platform;
}

void BM_PersonalAppsPageFrame(benchmark::State& state)
{
    scoped();
    page_doc::Document doc;
    PersonalAppsPane pane(PersonalAppsModel(machine(), defaults::PersonalDefaults{}));
    vorn_ui::HeadlessWindow window(pane, doc, {1000, 900});
    window.frame();
    for (auto _ : state) {
        window.frame();
    }
}
BENCHMARK(BM_PersonalAppsPageFrame)->Unit(benchmark::kMillisecond);

void BM_PersonalAppsPageOpen(benchmark::State& state)
{
    scoped();
    for (auto _ : state) {
        page_doc::Document doc;
        PersonalAppsPane pane(PersonalAppsModel(machine(), defaults::PersonalDefaults{}));
        vorn_ui::HeadlessWindow window(pane, doc, {1000, 900});
        window.frame();
        benchmark::DoNotOptimize(pane.content());
    }
}
BENCHMARK(BM_PersonalAppsPageOpen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::personal_apps
