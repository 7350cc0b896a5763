#include "panes/storage/storage_backend.hpp"

#include "vorn_log/log.hpp"

#include <utility>

namespace settings::panes::storage {

LocalReading SystemStorageBackend::read_local(std::stop_token stop)
{
    LocalReading reading;
    reading.roots = options_.roots();
    reading.snapshot = desk_rules::storage::scan_storage(reading.roots, stop, options_.limits);
    if (reading.roots.cache_root) {
        auto preview = desk_rules::storage::preview_cache_cleanup(*reading.roots.cache_root, stop, options_.limits);
        if (preview) {
            reading.preview = std::move(*preview);
        } else {
            VORN_WARN("storage_preview", "cache preview failed: {}", preview.error());
            reading.preview_error = std::move(preview.error());
        }
    }
    return reading;
}

std::expected<CleanupReport, CleanupError> SystemStorageBackend::apply_cleanup(const CleanupPreview& preview,
                                                                               std::span<const std::size_t> indices)
{
    return desk_rules::storage::apply_cleanup(preview, indices);
}

std::expected<SyncedStorageSnapshot, std::string> SystemStorageBackend::synced_snapshot()
{
    auto client = synced_files::storage::StorageClient::connect(options_.socket, options_.timeouts);
    if (!client) {
        return std::unexpected(std::move(client.error()));
    }
    return client->snapshot();
}

std::expected<EvictionReport, std::string> SystemStorageBackend::evict(std::span<const EvictionSelection> selection)
{
    auto client = synced_files::storage::StorageClient::connect(options_.socket, options_.timeouts);
    if (!client) {
        return std::unexpected(std::move(client.error()));
    }
    return client->evict(selection);
}

system_ops::Status SystemStorageBackend::open_tool(Tool tool)
{
    return system_ops::tool_intent::open_tool(tool);
}

}  // namespace settings::panes::storage
