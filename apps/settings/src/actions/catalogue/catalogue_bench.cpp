#include "actions/catalogue/catalogue.hpp"
#include "actions/catalogue/platform.hpp"

#include <benchmark/benchmark.h>

namespace settings::actions::catalogue {
namespace {

// The whole tree of the sample machine, as the application object builds it for every whole-tree request.
void BM_BuildSampleTree(benchmark::State& state)
{
    ScopedPlatform platform(std::make_shared<FakePlatform>(FakePlatform::sample()));
    page_doc::Document doc;
    std::vector<account_registry::Account> accounts{account_registry::Account("mail-1", "email")};
    for (auto _ : state) {
        auto roots = build_root_resource(doc, accounts);
        benchmark::DoNotOptimize(roots);
    }
}
BENCHMARK(BM_BuildSampleTree);

// One section rebuilt for an address, as resolve_resource_address and the page bindings do.
void BM_ResolvePrinter(benchmark::State& state)
{
    ScopedPlatform platform(std::make_shared<FakePlatform>(FakePlatform::sample()));
    page_doc::Document doc;
    for (auto _ : state) {
        auto printer = resolve_resource_address(doc, {}, "settings.printer:Office");
        benchmark::DoNotOptimize(printer);
    }
}
BENCHMARK(BM_ResolvePrinter);

}  // namespace
}  // namespace settings::actions::catalogue
