#include "panes/storage/storage_model.hpp"

#include "vorn_log/log.hpp"
#include "vorn_ui/format.hpp"

#include <fmt/format.h>

#include <utility>

namespace settings::panes::storage {

namespace {

constexpr std::string_view log_tag = "storage";

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

using page_workers::guarded;
using page_workers::start_one_shot;
using page_workers::try_receive;

std::string_view tool_name(Tool tool)
{
    return tool == Tool::Disks ? "Disks" : "Backups";
}

}  // namespace

// ---- Texts ---------------------------------------------------------------------------------------------------------

std::string_view flag_key(const StorageOperation& operation)
{
    using Op = StorageOperation;
    return std::visit(Overloaded{
                          [](const Op::CleanupCaches&) { return cleanup_flag; },
                          [](const Op::FreeSyncedFiles&) { return free_flag; },
                          [](const Op::OpenDisks&) { return disks_flag; },
                          [](const Op::OpenBackups&) { return backups_flag; },
                      },
                      operation.value);
}

std::string synced_unavailable_text(std::string_view error)
{
    return fmt::format("Sync storage service unavailable: {}", error);
}

std::string nothing_removed_text(std::string_view error)
{
    return fmt::format("Nothing was removed: {}", error);
}

std::string cleanup_failed_text(std::string_view error)
{
    return fmt::format("Could not clean application caches: {}", error);
}

std::string eviction_text(const EvictionReport& report)
{
    const std::string freed = vorn_ui::format::bytes_si(report.freed_bytes);
    if (report.queued > 0 && report.evicted > 0) {
        return fmt::format("Freed {} from {} synced file(s); {} more queued for verified background reclamation.",
                           freed, report.evicted, report.queued);
    }
    if (report.queued > 0) {
        return fmt::format("{} synced file(s) queued for verified background reclamation; nothing is counted as "
                           "free until GC confirms it.",
                           report.queued);
    }
    return fmt::format("Freed {} from {} synced files.", freed, report.evicted);
}

std::vector<EvictionSelection> eviction_selection(const SyncedStorageSnapshot& snapshot)
{
    std::vector<EvictionSelection> selection;
    for (const SyncedFileState& file : snapshot.files) {
        if (file.reclaimable_bytes != 0) {
            selection.push_back(EvictionSelection::from(file));
        }
    }
    return selection;
}

// ---- The model -----------------------------------------------------------------------------------------------------

StorageModel::StorageModel(Environment environment)
    : environment_(std::move(environment)), wake_(vorn_ui::WakeHandle::create())
{
    start_reading();
    start_synced_snapshot();
}

StorageModel::~StorageModel()
{
    stop_.request_stop();
}

void StorageModel::use_operation_requests(operations::OperationRequestCell cell)
{
    requests_ = std::move(cell);
    shares_requests_ = true;
}

void StorageModel::use_operation_status(operations::OperationStatusCell cell)
{
    status_cell_ = std::move(cell);
}

bool StorageModel::take_structure_dirty()
{
    return std::exchange(structure_dirty_, false);
}

bool StorageModel::running(const StorageOperation& operation) const
{
    return status_cell_.get().is_running(operations::operation_key(operation));
}

bool StorageModel::finish_operation(const StorageOperation& operation,
                                    const std::expected<std::string, std::string>& outcome)
{
    const std::string key = operations::operation_key(operation);
    if (!status_cell_.get().is_running(key)) {
        return false;
    }
    auto next = outcome ? operations::OperationStatus::done(key, *outcome)
                        : operations::OperationStatus::failed(key, outcome.error());
    if (const auto published = status_cell_.publish(std::move(next)); !published) {
        VORN_WARN(log_tag, "storage operation outcome not published: {}", published.error().message());
        return false;
    }
    return true;
}

void StorageModel::sync(page_doc::Document& document)
{
    take_request(document);
    receive_synced();
    receive_eviction();
    receive_local();
    handle_cleanup(document);
    handle_free(document);
    handle_tool(document, Tool::Disks);
    handle_tool(document, Tool::Backups);
}

void StorageModel::take_request(page_doc::Document& document)
{
    if (const auto operation = operations::take_operation_request<StorageOperation>(requests_)) {
        document.put_bool(flag_key(*operation), true);
    }
}

// ---- Workers -------------------------------------------------------------------------------------------------------

void StorageModel::start_synced_snapshot()
{
    auto started = start_one_shot<std::optional<SyncedAnswer>>(
        environment_.start_thread, "vorn-storage-sync", wake_,
        [backend = environment_.backend] { return guarded([&] { return backend->synced_snapshot(); }); });
    structure_dirty_ = true;
    if (!started) {
        synced_channel_.reset();
        synced_.reset();
        status_ = synced_unavailable_text(fmt::format("could not start a worker: {}", started.error()));
        return;
    }
    synced_channel_ = std::move(*started);
    if (!synced_) {
        status_ = std::string(loading_synced_text);
    }
}

std::optional<std::string> StorageModel::start_local(std::optional<CleanupPreview> cleanup)
{
    const bool cleaning = cleanup.has_value();
    auto started = start_one_shot<LocalResult>(
        environment_.start_thread, "vorn-storage-scan", wake_,
        [backend = environment_.backend, stop = stop_.get_token(), cleanup = std::move(cleanup)] {
            LocalResult result;
            if (cleanup) {
                try {
                    result.cleanup = backend->apply_cleanup(*cleanup, desk_rules::storage::all_items(*cleanup));
                } catch (const std::exception& error) {
                    result.cleanup = std::unexpected(CleanupError{.message = error.what(), .removed_items = 0});
                }
                if (!*result.cleanup && result.cleanup->error().removed_items == 0) {
                    // Nothing changed: the page keeps what it shows.
                    return result;
                }
            }
            try {
                result.reading = backend->read_local(stop);
            } catch (const std::exception& error) {
                VORN_WARN(log_tag, "storage scan failed: {}", error.what());
            }
            return result;
        });
    structure_dirty_ = true;
    if (!started) {
        return fmt::format("could not start a worker: {}", started.error());
    }
    local_channel_ = std::move(*started);
    cleaning_ = cleaning;
    return std::nullopt;
}

void StorageModel::start_reading()
{
    if (const auto problem = start_local(std::nullopt)) {
        local_problem_ = fmt::format("The storage scan could not start: {}", *problem);
    }
}

void StorageModel::adopt(LocalReading reading)
{
    roots_ = std::move(reading.roots);
    snapshot_ = std::move(reading.snapshot);
    preview_ = std::move(reading.preview);
    preview_problem_ = std::move(reading.preview_error);
    local_problem_.reset();
    structure_dirty_ = true;
}

// ---- Results -------------------------------------------------------------------------------------------------------

void StorageModel::receive_synced()
{
    auto arrival = try_receive(synced_channel_, [] { return std::optional<SyncedAnswer>(); });
    if (!arrival) {
        return;
    }
    synced_channel_.reset();
    structure_dirty_ = true;
    if (auto& answer = *arrival) {
        if (*answer) {
            synced_ = std::move(**answer);
            if (status_ == loading_synced_text) {
                status_.reset();
            }
        } else {
            synced_.reset();
            status_ = synced_unavailable_text(answer->error());
        }
        return;
    }
    synced_.reset();
    status_ = std::string(synced_ended_text);
}

void StorageModel::receive_eviction()
{
    auto arrival = try_receive(eviction_channel_, [] { return std::optional<EvictionAnswer>(); });
    if (!arrival) {
        return;
    }
    eviction_channel_.reset();
    evicting_ = false;
    structure_dirty_ = true;
    const StorageOperation free_files{StorageOperation::FreeSyncedFiles{}};
    if (auto& answer = *arrival) {
        if (*answer) {
            start_synced_snapshot();  // fresh accounting
            status_ = eviction_text(**answer);
            finish_operation(free_files, std::string(reclamation_done_text));
        } else {
            std::string text = nothing_removed_text(answer->error());
            status_ = text;
            finish_operation(free_files, std::unexpected(std::move(text)));
        }
        return;
    }
    status_ = std::string(eviction_ended_text);
    finish_operation(free_files, std::unexpected(std::string(synced_ended_text)));
}

void StorageModel::receive_local()
{
    // A worker that ended without a word hands back neither a reading nor a cleanup.
    auto arrival = try_receive(local_channel_, [] { return LocalResult{}; });
    if (!arrival) {
        return;
    }
    local_channel_.reset();
    const bool was_cleaning = std::exchange(cleaning_, false);
    structure_dirty_ = true;
    const StorageOperation cleanup{StorageOperation::CleanupCaches{}};

    LocalResult* result = &*arrival;
    if (!result->reading && !result->cleanup) {
        if (was_cleaning) {
            std::string text = cleanup_failed_text("the cleanup ended without a result");
            cleanup_status_ = text;
            finish_operation(cleanup, std::unexpected(std::move(text)));
            start_reading();  // show what is left
        } else {
            local_problem_ = std::string(scan_ended_text);
        }
        return;
    }
    if (result->reading) {
        adopt(std::move(*result->reading));
    } else if (!was_cleaning) {
        local_problem_ = std::string(scan_ended_text);
    }
    if (!was_cleaning || !result->cleanup) {
        return;
    }
    if (*result->cleanup) {
        cleanup_status_.reset();
        finish_operation(cleanup, std::string(caches_cleaned_text));
    } else {
        std::string text = cleanup_failed_text(result->cleanup->error().text());
        cleanup_status_ = text;
        finish_operation(cleanup, std::unexpected(std::move(text)));
    }
}

// ---- Flags ---------------------------------------------------------------------------------------------------------

void StorageModel::handle_cleanup(page_doc::Document& document)
{
    if (!page_doc::doc_bool(document, cleanup_flag).value_or(false)) {
        return;
    }
    const StorageOperation cleanup{StorageOperation::CleanupCaches{}};
    if (local_channel_) {
        // A reading or a cleanup is under way. The operation waits for it; a press cannot have come from a button
        // (none is offered meanwhile), and acting on it later would remove what the user has not seen.
        if (running(cleanup)) {
            return;
        }
        page_doc::take_doc_flag(document, cleanup_flag);
        return;
    }
    page_doc::take_doc_flag(document, cleanup_flag);
    if (!preview_ || preview_->items.empty()) {
        finish_operation(cleanup, std::unexpected(std::string(no_cache_text)));
        return;
    }
    if (const auto problem = start_local(*preview_)) {
        std::string text = cleanup_failed_text(*problem);
        cleanup_status_ = text;
        finish_operation(cleanup, std::unexpected(std::move(text)));
    }
}

void StorageModel::handle_free(page_doc::Document& document)
{
    if (!page_doc::doc_bool(document, free_flag).value_or(false)) {
        return;
    }
    const StorageOperation free_files{StorageOperation::FreeSyncedFiles{}};
    if (!evicting_ && synced_channel_) {
        return;  // the accounting is loading: decide on the fresh figures
    }
    page_doc::take_doc_flag(document, free_flag);
    if (evicting_ || !synced_) {
        finish_operation(free_files, std::unexpected(std::string(no_synced_files_text)));
        return;
    }
    auto selection = eviction_selection(*synced_);
    if (selection.empty()) {
        finish_operation(free_files, std::unexpected(std::string(no_synced_files_text)));
        return;
    }
    auto started = start_one_shot<std::optional<EvictionAnswer>>(
        environment_.start_thread, "vorn-storage-evict", wake_,
        [backend = environment_.backend, selection = std::move(selection)] {
            return guarded([&] { return backend->evict(selection); });
        });
    structure_dirty_ = true;
    if (!started) {
        std::string text = nothing_removed_text(fmt::format("could not start a worker: {}", started.error()));
        status_ = text;
        finish_operation(free_files, std::unexpected(std::move(text)));
        return;
    }
    eviction_channel_ = std::move(*started);
    evicting_ = true;
}

void StorageModel::handle_tool(page_doc::Document& document, Tool tool)
{
    const bool disks = tool == Tool::Disks;
    if (!page_doc::take_doc_flag(document, disks ? disks_flag : backups_flag)) {
        return;
    }
    const StorageOperation operation = disks ? StorageOperation{StorageOperation::OpenDisks{}}
                                             : StorageOperation{StorageOperation::OpenBackups{}};
    const auto opened = guarded([&] { return environment_.backend->open_tool(tool); });
    if (opened) {
        if (tools_status_) {
            tools_status_.reset();
            structure_dirty_ = true;
        }
        finish_operation(operation, fmt::format("Opened {}.", tool_name(tool)));
        return;
    }
    VORN_WARN(log_tag, "could not open {}: {}", tool_name(tool), opened.error());
    tools_status_ = opened.error();
    structure_dirty_ = true;
    finish_operation(operation, std::unexpected(opened.error()));
}

}  // namespace settings::panes::storage
