#pragma once
// The Storage page without its widgets: the local scan with its cache preview, the synced-storage accounting, and
// what the page's four actions do (remove the previewed caches, free synced files, open Disks, open Backups).
//
// Nothing slow runs on the UI thread. One-shot workers do it and hand their one result back through a channel that
// sync() looks at without waiting; each wakes the UI loop when it ends:
//   "vorn-storage-scan"   finds the roots, scans them and previews the cache (at once, and again after a cleanup;
//                         a cleanup's removal runs on it too, before the new scan);
//   "vorn-storage-sync"   asks the sync-storage service for its accounting (at once, and after each eviction);
//   "vorn-storage-evict"  asks the service to evict every reclaimable synced file.
// A worker that outlives the page drops its result; the model's destructor stops a walk still running.
//
// Presses and operations share one path: a button writes true at its flag key (table below), an operation taken
// from the request cell writes the same flag, and sync() takes the flag and acts. An operation waits when its
// answer depends on a reading still in progress (CleanupCaches while the first scan runs, FreeSyncedFiles while
// the accounting loads); a press never waits (its button is not offered then). Every outcome goes to the status
// cell only while it shows exactly that operation running (finish_operation); failures of a cleanup or a tool
// launch are also kept for the page to show (cleanup_status, tools_status), so a press that fails says so.
//
//   StorageModel model({.backend = std::make_shared<SystemStorageBackend>()});
//   model.use_operation_requests(app.requests);
//   model.use_operation_status(app.status);
//   every frame: model.sync(document); if (model.take_structure_dirty()) rebuild the cards (storage_text.hpp)

#include "panes/storage/storage_backend.hpp"

#include "actions/payloads/system.hpp"
#include "operations/cells.hpp"

#include "page_doc/page_doc.hpp"
#include "vorn_ui/state.hpp"
#include "page_workers/one_shot.hpp"

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::storage {

using actions::StorageOperation;

// ---- Controls and flags -------------------------------------------------------------------------------------------

inline constexpr std::string_view clean_control_id = "storage.clean";
inline constexpr std::string_view cleanup_flag = "storage.cleanup.confirmed.edit";
inline constexpr std::string_view free_control_id = "storage.sync.free";
inline constexpr std::string_view free_flag = "storage.sync.free.edit";
inline constexpr std::string_view disks_control_id = "storage.disks";
inline constexpr std::string_view disks_flag = "storage.open.disks.edit";
inline constexpr std::string_view backups_control_id = "storage.backups";
inline constexpr std::string_view backups_flag = "storage.open.backups.edit";

// The flag key an operation sets.
[[nodiscard]] std::string_view flag_key(const StorageOperation& operation);

// ---- Sentences ----------------------------------------------------------------------------------------------------

inline constexpr std::string_view loading_synced_text = "Loading synced storage\u2026";
inline constexpr std::string_view synced_ended_text = "Sync storage service ended unexpectedly.";
inline constexpr std::string_view eviction_ended_text =
    "The sync storage request ended unexpectedly; nothing was assumed removed.";
inline constexpr std::string_view reclamation_done_text = "Synced-file reclamation completed.";
inline constexpr std::string_view no_cache_text = "No reclaimable application cache is available.";
inline constexpr std::string_view caches_cleaned_text = "Application caches cleaned.";
inline constexpr std::string_view no_synced_files_text = "No reclaimable synced files are available.";
inline constexpr std::string_view scan_ended_text = "The storage scan ended without a result.";

// "Sync storage service unavailable: {}".
[[nodiscard]] std::string synced_unavailable_text(std::string_view error);
// "Nothing was removed: {}".
[[nodiscard]] std::string nothing_removed_text(std::string_view error);
// "Could not clean application caches: {}".
[[nodiscard]] std::string cleanup_failed_text(std::string_view error);
// The status after an eviction report: freed and queued files, freed only, or queued only.
[[nodiscard]] std::string eviction_text(const EvictionReport& report);

// Every file whose reclaimable bytes are not zero, in snapshot order.
[[nodiscard]] std::vector<EvictionSelection> eviction_selection(const SyncedStorageSnapshot& snapshot);

// ---- Workers ------------------------------------------------------------------------------------------------------

using page_workers::StartThread;

// What the scan worker hands back: a fresh reading, and for a cleanup the removal's outcome (no reading when a
// cleanup removed nothing).
struct LocalResult {
    std::optional<std::expected<CleanupReport, CleanupError>> cleanup;
    std::optional<LocalReading> reading;
};

// ---- The model ----------------------------------------------------------------------------------------------------

class StorageModel {
public:
    struct Environment {
        std::shared_ptr<StorageBackend> backend = std::make_shared<SystemStorageBackend>();
        StartThread start_thread = page_workers::start_detached_thread;
    };

    // Starts the local reading and the synced snapshot.
    explicit StorageModel(Environment environment);
    // Stops a walk still running; late results are dropped.
    ~StorageModel();
    StorageModel(const StorageModel&) = delete;
    StorageModel& operator=(const StorageModel&) = delete;

    // The application's request and status cells, in place of the model's own.
    void use_operation_requests(operations::OperationRequestCell cell);
    void use_operation_status(operations::OperationStatusCell cell);
    [[nodiscard]] bool shares_requests() const { return shares_requests_; }
    [[nodiscard]] const operations::OperationRequestCell& operation_requests() const { return requests_; }
    [[nodiscard]] const operations::OperationStatusCell& operation_status() const { return status_cell_; }

    // One pass on the UI thread; never waits. Takes a storage request (its flag is set in `document`), takes in the
    // workers' results, then acts on the flags: cleanup, free synced files, Disks, Backups.
    void sync(page_doc::Document& document);

    // Asks the service for its accounting again (a worker; its result replaces any older one still awaited).
    void start_synced_snapshot();

    // Publishes Done (success) or Failed with the sentence when the status cell shows this operation running, by
    // its whole key; otherwise nothing. Answers whether it published.
    bool finish_operation(const StorageOperation& operation, const std::expected<std::string, std::string>& outcome);

    // ---- What the view shows
    // The first local reading has not arrived yet.
    [[nodiscard]] bool measuring() const { return !snapshot_ && local_channel_ != nullptr; }
    // A cleanup is removing the previewed caches.
    [[nodiscard]] bool cleaning() const { return cleaning_; }
    [[nodiscard]] const std::optional<StorageRoots>& roots() const { return roots_; }
    [[nodiscard]] const std::optional<StorageSnapshot>& snapshot() const { return snapshot_; }
    [[nodiscard]] const std::optional<CleanupPreview>& cleanup_preview() const { return preview_; }
    [[nodiscard]] const std::optional<SyncedStorageSnapshot>& synced_snapshot() const { return synced_; }
    [[nodiscard]] bool evicting() const { return evicting_; }
    // The Synced storage card's status.
    [[nodiscard]] const std::optional<std::string>& status() const { return status_; }
    // Why the local figures are missing (the scan worker could not start or ended without a result).
    [[nodiscard]] const std::optional<std::string>& local_problem() const { return local_problem_; }
    // Why the cache preview is missing (it could not be made), and the last failed cleanup.
    [[nodiscard]] const std::optional<std::string>& preview_problem() const { return preview_problem_; }
    [[nodiscard]] const std::optional<std::string>& cleanup_status() const { return cleanup_status_; }
    // The last failed launch of Disks or Backups.
    [[nodiscard]] const std::optional<std::string>& tools_status() const { return tools_status_; }

    // Whether the cards must be rebuilt since the last call.
    bool take_structure_dirty();

private:
    using SyncedAnswer = std::expected<SyncedStorageSnapshot, std::string>;
    using EvictionAnswer = std::expected<EvictionReport, std::string>;

    void take_request(page_doc::Document& document);
    void receive_synced();
    void receive_eviction();
    void receive_local();
    void handle_cleanup(page_doc::Document& document);
    void handle_free(page_doc::Document& document);
    void handle_tool(page_doc::Document& document, Tool tool);
    // Starts the scan worker: a reading, or a cleanup of `cleanup` followed by a reading. The problem when no
    // worker could be started.
    std::optional<std::string> start_local(std::optional<CleanupPreview> cleanup);
    void start_reading();
    void adopt(LocalReading reading);
    [[nodiscard]] bool running(const StorageOperation& operation) const;

    Environment environment_;
    vorn_ui::WakeHandle wake_;
    std::stop_source stop_;
    operations::OperationRequestCell requests_{std::nullopt};
    operations::OperationStatusCell status_cell_{operations::OperationStatus::idle()};
    bool shares_requests_ = false;

    std::optional<StorageRoots> roots_;
    std::optional<StorageSnapshot> snapshot_;
    std::optional<CleanupPreview> preview_;
    std::optional<SyncedStorageSnapshot> synced_;
    std::optional<std::string> status_;
    std::optional<std::string> local_problem_;
    std::optional<std::string> preview_problem_;
    std::optional<std::string> cleanup_status_;
    std::optional<std::string> tools_status_;
    bool evicting_ = false;
    bool cleaning_ = false;
    bool structure_dirty_ = true;

    // The workers' channels; an answer left empty says the worker ended without one.
    std::shared_ptr<page_workers::Channel<LocalResult>> local_channel_;
    std::shared_ptr<page_workers::Channel<std::optional<SyncedAnswer>>> synced_channel_;
    std::shared_ptr<page_workers::Channel<std::optional<EvictionAnswer>>> eviction_channel_;
};

}  // namespace settings::panes::storage
