// The Storage page over a backend that answers at once with full cards (twelve largest items, twelve cache items,
// synced files): a frame of the open page (sync, layout, draw), and the first frame, which builds the view.
#include "panes/storage/storage_pane.hpp"

#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>

#include <fmt/format.h>

namespace settings::panes::storage {
namespace {

using desk_rules::StorageCategory;

class ReadyBackend final : public StorageBackend {
public:
    LocalReading read_local(std::stop_token /*stop*/) override
    {
        LocalReading reading;
        reading.snapshot.totals = {{StorageCategory::InstalledApps, 2'400'000'000},
                                   {StorageCategory::AppData, 830'000'000},
                                   {StorageCategory::Cache, 310'000'000}};
        CleanupPreview preview{.root = "/home/ada/.cache"};
        for (std::uint64_t i = 0; i < 12; ++i) {
            reading.snapshot.entries.push_back({.name = fmt::format("so.vorn.App{}", i),
                                                .path = fmt::format("/home/ada/.local/share/app{}", i),
                                                .bytes = (12 - i) * 50'000'000,
                                                .category = StorageCategory::AppData});
            preview.items.push_back({.path = fmt::format("/home/ada/.cache/app{}", i), .bytes = (12 - i) * 4'000'000});
            preview.total_bytes += (12 - i) * 4'000'000;
        }
        reading.roots.cache_root = preview.root;
        reading.preview = std::move(preview);
        return reading;
    }
    std::expected<CleanupReport, CleanupError> apply_cleanup(const CleanupPreview& /*preview*/,
                                                             std::span<const std::size_t> /*indices*/) override
    {
        return CleanupReport{};
    }
    std::expected<SyncedStorageSnapshot, std::string> synced_snapshot() override
    {
        return SyncedStorageSnapshot{
            .files = {{.id = "a", .display_name = "Report.pdf", .reclaimable_bytes = 1'000'000, .generation = 1},
                      {.id = "b", .display_name = "Holiday.mp4", .reclaimable_bytes = 500'000, .generation = 2}},
            .usage = {{.label = "Home",
                       .synced_total = 5'000'000,
                       .on_device = 2'000'000,
                       .remote_only = 3'000'000,
                       .safe_to_free = 1'500'000}},
            .online = true};
    }
    std::expected<EvictionReport, std::string> evict(std::span<const EvictionSelection> /*selection*/) override
    {
        return std::unexpected(std::string("not in the benchmark"));
    }
    system_ops::Status open_tool(Tool /*tool*/) override { return {}; }
};

StorageModel::Environment ready()
{
    return {.backend = std::make_shared<ReadyBackend>(),
            // The readings are taken at once, on the calling thread.
            .start_thread = [](std::string_view, std::function<void()> work) -> std::expected<void, std::string> {
                work();
                return {};
            }};
}

void BM_StoragePageFrame(benchmark::State& state)
{
    page_doc::Document doc;
    StoragePane pane(ready());
    vorn_ui::HeadlessWindow window(pane, doc, {1280, 1900});
    window.frame();
    window.frame();
    for (auto _ : state) {
        window.frame();
    }
}
BENCHMARK(BM_StoragePageFrame)->Unit(benchmark::kMillisecond);

void BM_StoragePageOpen(benchmark::State& state)
{
    for (auto _ : state) {
        page_doc::Document doc;
        StoragePane pane(ready());
        vorn_ui::HeadlessWindow window(pane, doc, {1280, 1900});
        window.frame();
        benchmark::DoNotOptimize(pane.content());
    }
}
BENCHMARK(BM_StoragePageOpen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::storage
