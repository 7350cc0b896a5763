#pragma once
// What the Storage page calls: the storage policy of desk_rules (where the user's applications keep their files,
// how much each category uses, the cache preview and its removal), the sync-storage service (its accounting and
// eviction) and the desktop's Disks and Backups tools.
//
// Everything but the tool launch may take long (a walk of a large home, a service that does not answer), so the
// page calls it from its workers only. The backend keeps no state: it is safe to call from several threads.

#include "desk_rules/storage.hpp"
#include "synced_files/storage_client.hpp"
#include "system_ops/result.hpp"
#include "system_ops/tool_intent.hpp"

#include <cstddef>
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>

namespace settings::panes::storage {

using desk_rules::storage::CleanupError;
using desk_rules::storage::CleanupPreview;
using desk_rules::storage::CleanupReport;
using desk_rules::storage::StorageRoots;
using desk_rules::storage::StorageSnapshot;
using synced_files::storage::EvictionReport;
using synced_files::storage::EvictionSelection;
using synced_files::storage::SyncedFileState;
using synced_files::storage::SyncedStorageSnapshot;
using system_ops::tool_intent::Tool;

// One reading of the local storage: the roots, their scan and the preview of the cache root.
struct LocalReading {
    StorageRoots roots;
    StorageSnapshot snapshot;
    // None without a cache root, or when the preview failed (preview_error then says why).
    std::optional<CleanupPreview> preview;
    std::optional<std::string> preview_error;
};

class StorageBackend {
public:
    StorageBackend() = default;
    StorageBackend(const StorageBackend&) = delete;
    StorageBackend& operator=(const StorageBackend&) = delete;
    virtual ~StorageBackend() = default;

    // Finds the roots, scans them and previews the cache root; a stop request cuts the walk short.
    [[nodiscard]] virtual LocalReading read_local(std::stop_token stop) = 0;
    [[nodiscard]] virtual std::expected<CleanupReport, CleanupError> apply_cleanup(
        const CleanupPreview& preview, std::span<const std::size_t> indices) = 0;
    // Connects to the sync-storage service and asks it; a connection failure is the error.
    [[nodiscard]] virtual std::expected<SyncedStorageSnapshot, std::string> synced_snapshot() = 0;
    [[nodiscard]] virtual std::expected<EvictionReport, std::string> evict(
        std::span<const EvictionSelection> selection) = 0;
    // Starts the tool and returns at once (it is not waited for).
    [[nodiscard]] virtual system_ops::Status open_tool(Tool tool) = 0;
};

// The machine's: desk_rules::storage, the service at its socket, system_ops::tool_intent.
class SystemStorageBackend final : public StorageBackend {
public:
    struct Options {
        std::function<StorageRoots()> roots = [] { return StorageRoots::discover(); };
        std::filesystem::path socket = std::filesystem::path(synced_files::storage::default_socket_path);
        synced_files::storage::Timeouts timeouts;
        desk_rules::storage::WalkLimits limits;
    };

    SystemStorageBackend() : SystemStorageBackend(Options{}) {}
    explicit SystemStorageBackend(Options options) : options_(std::move(options)) {}

    LocalReading read_local(std::stop_token stop) override;
    std::expected<CleanupReport, CleanupError> apply_cleanup(const CleanupPreview& preview,
                                                             std::span<const std::size_t> indices) override;
    std::expected<SyncedStorageSnapshot, std::string> synced_snapshot() override;
    std::expected<EvictionReport, std::string> evict(std::span<const EvictionSelection> selection) override;
    system_ops::Status open_tool(Tool tool) override;

private:
    Options options_;
};

}  // namespace settings::panes::storage
