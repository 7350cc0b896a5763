#include "prefs/settings_file.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <filesystem>

#include <unistd.h>

namespace {

using settings::prefs::SettingsFile;

// A settings file with every section, `rules` per-application rules and members of other components.
struct FullFile {
    explicit FullFile(int rules = 200)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-prefs-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        path = dir / "settings.json";
        SettingsFile file;
        for (int i = 0; i < rules; ++i) {
            file.notifications.per_app[fmt::format("org.example.App{:06}", i)].banners = i % 2 == 0;
        }
        file.input.keyboard_layouts = {"us", "de", "fr:bepo"};
        text = settings::prefs::write_settings_json(
            file, R"({"locale": {"currency": "EUR"}, "text_assistance": {"check_spelling": true}})");
        std::FILE* out = std::fopen(path.c_str(), "w");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
    ~FullFile() { std::filesystem::remove_all(dir); }

    std::filesystem::path dir;
    std::filesystem::path path;
    std::string text;
};

void BM_LoadFullSettingsFile(benchmark::State& state)
{
    const FullFile full;
    for (auto _ : state) {
        auto file = settings::prefs::load_settings_file(full.path);
        benchmark::DoNotOptimize(file);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * full.text.size()));
}
BENCHMARK(BM_LoadFullSettingsFile)->Unit(benchmark::kMicrosecond);

// A file with 100,000 per-application rules (about 6 MB): reading is linear in the size of the file, so this loads
// well within a second.
void BM_LoadManyApplicationRules(benchmark::State& state)
{
    const FullFile full(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto file = settings::prefs::load_settings_file(full.path);
        if (file.notifications.per_app.size() != static_cast<std::size_t>(state.range(0))) {
            state.SkipWithError("the rules were not read");
            break;
        }
        benchmark::DoNotOptimize(file);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * full.text.size()));
}
BENCHMARK(BM_LoadManyApplicationRules)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// A page's save: load, change one section, save (locked read-merge-write, atomic replace with fsync).
void BM_SaveFullSettingsFile(benchmark::State& state)
{
    const FullFile full;
    bool night_light = false;
    for (auto _ : state) {
        auto file = settings::prefs::load_settings_file(full.path);
        night_light = !night_light;
        file.display.night_light = night_light;
        auto saved = settings::prefs::save_settings_file(file, full.path);
        if (!saved) {
            state.SkipWithError(saved.error().c_str());
            break;
        }
    }
}
BENCHMARK(BM_SaveFullSettingsFile)->Unit(benchmark::kMicrosecond);

// The merge and print alone, without the file system.
void BM_MergeSettingsText(benchmark::State& state)
{
    const FullFile full;
    auto file = settings::prefs::parse_settings_file(full.text);
    file.display.night_light = true;
    for (auto _ : state) {
        auto text = settings::prefs::write_settings_json(file, full.text);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_MergeSettingsText)->Unit(benchmark::kMicrosecond);

}  // namespace
