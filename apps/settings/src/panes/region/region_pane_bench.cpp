// The Region & Formats page: a frame of the open page (sync, layout, draw), a frame after a currency is chosen
// (the choice taken, the preview changed in place), and opening the page (the view built).
#include "panes/region/region_pane.hpp"

#include "page_doc/page_doc.hpp"
#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace settings::panes::region {
namespace {

// The default locale, saved into a settings file of a temporary folder: nothing of the user's is read or written.
RegionModel defaults()
{
    struct Folder {
        std::filesystem::path path;
        Folder()
        {
            std::string pattern = (std::filesystem::temp_directory_path() / "vorn-region-bench-XXXXXX").string();
            path = ::mkdtemp(pattern.data());
        }
        ~Folder()
        {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Folder folder;
    ::setenv("XDG_CONFIG_HOME", folder.path.c_str(), 1);
    ::setenv("HOME", folder.path.c_str(), 1);
    return RegionModel(prefs::Locale{});
}

void BM_RegionPageFrame(benchmark::State& state)
{
    page_doc::Document doc;
    RegionPane pane(defaults());
    vorn_ui::HeadlessWindow window(pane, doc, {1000, 900});
    window.frame();
    for (auto _ : state) {
        window.frame();
    }
}
BENCHMARK(BM_RegionPageFrame)->Unit(benchmark::kMillisecond);

void BM_RegionPageCurrencyChange(benchmark::State& state)
{
    page_doc::Document doc;
    RegionPane pane(defaults());
    vorn_ui::HeadlessWindow window(pane, doc, {1000, 900});
    window.frame();
    bool euro = false;
    for (auto _ : state) {
        euro = !euro;
        doc.put_str("region.currency.edit", euro ? "EUR" : "USD");
        window.frame();
    }
}
BENCHMARK(BM_RegionPageCurrencyChange)->Unit(benchmark::kMillisecond);

void BM_RegionPageOpen(benchmark::State& state)
{
    for (auto _ : state) {
        page_doc::Document doc;
        RegionPane pane(defaults());
        vorn_ui::HeadlessWindow window(pane, doc, {1000, 900});
        window.frame();
        benchmark::DoNotOptimize(pane.content());
    }
}
BENCHMARK(BM_RegionPageOpen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::region
