#include "keyboard_layouts/keyboard_layouts.hpp"

#include <benchmark/benchmark.h>

namespace {

// What the first use of the catalogue costs: reading and parsing the system's rules file.
void BM_FirstLoadOfTheSystemCatalogue(benchmark::State& state)
{
    const std::vector<std::filesystem::path> files(settings::keyboard_layouts::system_rules_files.begin(),
                                                   settings::keyboard_layouts::system_rules_files.end());
    for (auto _ : state) {
        auto catalog = settings::keyboard_layouts::load_catalog(files);
        benchmark::DoNotOptimize(catalog);
    }
}
BENCHMARK(BM_FirstLoadOfTheSystemCatalogue)->Unit(benchmark::kMillisecond);

}  // namespace
