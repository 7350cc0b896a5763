#pragma once
// What the Storage page's five cards say, from the model's state: titles, rows, captions and button labels, with no
// widget in sight. The view builds one card per function below, in this order: "Storage use", "Synced storage",
// "Largest items", the cache cleanup card and "Storage tools".

#include "panes/storage/storage_model.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::storage {

// How many synced files, largest items and cache items a card lists.
inline constexpr std::size_t listed_rows = 8;

inline constexpr std::string_view not_available_text = "Not available";
inline constexpr std::string_view measuring_text = "Measuring\u2026";

struct ValueRow {
    std::string label;
    std::string value;
    friend bool operator==(const ValueRow&, const ValueRow&) = default;
};

// ---- "Storage use" ------------------------------------------------------------------------------------------------

inline constexpr std::string_view storage_use_title = "Storage use";

// One row per category in display order. Synced files: the synced total of every usage entry, or "Not available"
// without a synced snapshot. The others: "Measuring…" until the first scan is in, "Not available" for a category
// the scan could not measure (or without a scan), else its total.
[[nodiscard]] std::vector<ValueRow> storage_use_rows(const StorageModel& model);
// A caption under the rows when the figures are partial ("2 folders could not be read; …"), else none.
[[nodiscard]] std::optional<std::string> storage_use_note(const StorageModel& model);

// ---- "Synced storage" ---------------------------------------------------------------------------------------------

inline constexpr std::string_view synced_title = "Synced storage";
inline constexpr std::string_view synced_not_available_text = "Sync storage accounting is not available.";
inline constexpr std::string_view verifying_text = "Verifying remote copies and freeing local space\u2026";
inline constexpr std::string_view nothing_reclaimable_text =
    "Nothing is safely reclaimable. Dirty, pinned, shared, and unverified content stays local.";
inline constexpr std::string_view offline_text =
    "You are offline. Local synced content stays available and cannot be reclaimed.";

struct SyncedCard {
    // Without a synced snapshot the card holds only this caption.
    std::optional<std::string> only_caption;
    // "On this device", "On other devices only", "Safe to free".
    std::vector<ValueRow> totals;
    std::optional<std::string> status;
    // The first eight reclaimable files.
    std::vector<ValueRow> files;
    // "Verifying…", "Nothing is safely reclaimable…" or the offline text; none when the button is offered.
    std::optional<std::string> footer;
    // "Free {}" (control storage.sync.free), offered when something is safe to free and no eviction runs.
    std::optional<std::string> button_label;
    friend bool operator==(const SyncedCard&, const SyncedCard&) = default;
};
[[nodiscard]] SyncedCard synced_card(const StorageModel& model);

// ---- "Largest items" ----------------------------------------------------------------------------------------------

inline constexpr std::string_view largest_title = "Largest items";
inline constexpr std::string_view no_items_text = "No Vorn application storage was found on this device.";

struct LargestItems {
    std::vector<ValueRow> rows;  // "{name} · {category}", the size; the eight largest
    std::optional<std::string> caption;  // when there are no rows
    friend bool operator==(const LargestItems&, const LargestItems&) = default;
};
[[nodiscard]] LargestItems largest_items(const StorageModel& model);

// ---- Cache cleanup ------------------------------------------------------------------------------------------------

inline constexpr std::string_view cleanup_preview_title = "Cache cleanup preview";
inline constexpr std::string_view cleanup_title = "Cache cleanup";
inline constexpr std::string_view cleanup_caption =
    "Only the cache items listed below will be removed. App data, synced files, and installed packages are never "
    "part of this action.";
inline constexpr std::string_view no_cache_caption = "There is no application cache to clean.";
inline constexpr std::string_view removing_text = "Removing\u2026";
inline constexpr std::string_view cache_item_fallback = "Cache item";

struct CleanupCard {
    std::string title;
    // "Remove {}" (control storage.clean) with the total of every item; "Removing…" while the cleanup runs
    // (`busy`: the button does nothing then); none without items.
    std::optional<std::string> button_label;
    bool busy = false;
    std::string caption;
    // The eight largest items, then one row for the rest: "{n} more cache items" with their total.
    std::vector<ValueRow> rows;
    // Why the last cleanup failed, or why there is no preview.
    std::optional<std::string> status;
    friend bool operator==(const CleanupCard&, const CleanupCard&) = default;
};
[[nodiscard]] CleanupCard cleanup_card(const StorageModel& model);
// The label of a cache item: its file name, "Cache item" when it has none or it is not UTF-8.
[[nodiscard]] std::string cache_item_label(const desk_rules::storage::CacheItem& item);
// "1 more cache item", "4 more cache items".
[[nodiscard]] std::string more_items_label(std::size_t count);

// ---- "Storage tools" ----------------------------------------------------------------------------------------------

inline constexpr std::string_view tools_title = "Storage tools";
inline constexpr std::string_view tools_caption =
    "These open the exact specialist workspace through the shell. Settings does not duplicate destructive disk or "
    "restore workflows.";

struct ToolRow {
    std::string_view title;
    std::string_view description;
    std::string_view control_id;
    std::string_view button_label;
    std::string_view flag;  // the key the button sets
};
inline constexpr std::array<ToolRow, 2> tool_rows{
    ToolRow{"Disks", "Partitions, formatting, drive health, and removable media", disks_control_id, "Open Disks",
            disks_flag},
    ToolRow{"Backups", "Backup history, schedules, retention, and restore", backups_control_id, "Open Backups",
            backups_flag},
};
// The last failed launch (model.tools_status()), shown under the rows.

}  // namespace settings::panes::storage
