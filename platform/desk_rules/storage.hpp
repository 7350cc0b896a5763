#pragma once
// The storage policy of the user's applications: where their files live (StorageRoots), how much space each
// category uses and which items are largest (scan_storage), and the removal of application caches after the user
// has seen what goes (preview_cache_cleanup, then apply_cleanup).
//
// Walks read every folder relative to an open descriptor of its parent and never follow a symbolic link: a link is
// counted as the small file it is, never as what it points to, and a folder that is a mount point (another file
// system, or a bind mount) is not entered. A walk looks at most WalkLimits::max_entries entries and enters folders
// at most WalkLimits::max_depth levels deep; it ends early when its stop token is triggered. A folder that cannot
// be read is counted as such, and the snapshot says when a bound or the stop token cut the walk short. Sizes are
// the space files take on disk (allocated blocks), each file counted once however many hard links it has.
//
// Removal happens only inside the cache root. apply_cleanup opens the root once (it must still be the folder the
// preview measured), then reaches every item and everything below it through descriptors opened beneath it with
// symbolic links and mount crossings refused, checks each item is still the file or folder the preview listed, and
// unlinks by name relative to the folder that holds it. No link, rename or mount swapped into the cache between the
// preview and the removal can lead it outside.
//
// All functions block; run them on a worker thread. They keep no state and are safe to call from several threads.
//
//   auto roots = desk_rules::storage::StorageRoots::discover();
//   auto snapshot = desk_rules::storage::scan_storage(roots, stop_token);
//   auto preview = desk_rules::storage::preview_cache_cleanup(*roots.cache_root, stop_token);
//   ... show preview->items ...
//   auto removed = desk_rules::storage::apply_cleanup(*preview, all_indices(*preview));

#include "desk_rules/storage_category.hpp"

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

namespace desk_rules::storage {

// One folder whose contents count towards a category.
struct StorageRoot {
    StorageCategory category = StorageCategory::AppData;
    std::filesystem::path path;
    friend bool operator==(const StorageRoot&, const StorageRoot&) = default;
};

// The user's base folders, as the XDG base-directory rules name them (absolute paths, or none).
struct UserFolders {
    std::optional<std::filesystem::path> home;
    std::optional<std::filesystem::path> data;    // $XDG_DATA_HOME or ~/.local/share
    std::optional<std::filesystem::path> config;  // $XDG_CONFIG_HOME or ~/.config
    std::optional<std::filesystem::path> state;   // $XDG_STATE_HOME or ~/.local/state
    std::optional<std::filesystem::path> cache;   // $XDG_CACHE_HOME or ~/.cache

    // From the environment; a variable that is not an absolute path counts as unset.
    [[nodiscard]] static UserFolders from_environment();
};

// Where the user's applications keep their files.
struct StorageRoots {
    // Installed apps: "<data>/vorn/apps" (one folder per installed package). App data: the data, configuration
    // and state folders (one item per application folder in them). Cache: the cache folder. Synced files are
    // accounted by the sync-storage service, not here. A folder named twice is kept once, under its first
    // category; a root inside another root is measured as its own and left out of the outer one.
    std::vector<StorageRoot> roots;
    // The folder cleanup may empty: the cache folder, unless it is "/", the home folder, or holds the home, data,
    // configuration or state folder (then there is none, and the Cache category is not measured either).
    std::optional<std::filesystem::path> cache_root;

    [[nodiscard]] static StorageRoots discover() { return for_folders(UserFolders::from_environment()); }
    [[nodiscard]] static StorageRoots for_folders(const UserFolders& folders);

    friend bool operator==(const StorageRoots&, const StorageRoots&) = default;
};

struct WalkLimits {
    // Folders deeper than this below a root are not entered (their contents are not counted).
    std::size_t max_depth = 64;
    // Entries looked at in one walk, over all roots; the walk ends when it is reached.
    std::uint64_t max_entries = 2'000'000;
    // Largest items a snapshot keeps.
    std::size_t max_listed = 100;
};

// One item of a root: an application's folder (or a file) directly in it.
struct StorageEntry {
    std::string name;  // the file name, cleaned for display (at most 255 bytes)
    std::filesystem::path path;
    std::uint64_t bytes = 0;
    StorageCategory category = StorageCategory::AppData;
    friend bool operator==(const StorageEntry&, const StorageEntry&) = default;
};

struct StorageSnapshot {
    // Bytes per measured category (an unmeasured category has no entry).
    std::map<StorageCategory, std::uint64_t> totals;
    // Categories without a figure, in display order: no root, or none of its roots could be read.
    std::vector<StorageCategory> unmeasured;
    // The largest items of every root with a size above zero, largest first (equal sizes in category order, then
    // by name), at most WalkLimits::max_listed.
    std::vector<StorageEntry> entries;
    // Folders that could not be opened or read (their contents are not counted).
    std::uint64_t unreadable_folders = 0;
    // Folders left out on purpose: deeper than the depth bound, or a mount point.
    std::uint64_t skipped_folders = 0;
    // False when the entry bound or the stop token ended the walk before it had seen everything.
    bool complete = true;
    bool stopped = false;

    [[nodiscard]] std::uint64_t total(StorageCategory category) const;
    [[nodiscard]] bool measured(StorageCategory category) const;
};

// Measures every root. Never fails: what cannot be read is counted in the snapshot.
[[nodiscard]] StorageSnapshot scan_storage(const StorageRoots& roots, std::stop_token stop = {},
                                           const WalkLimits& limits = {});

// One item the cleanup would remove: a file or folder directly in the cache root.
struct CacheItem {
    std::filesystem::path path;  // the cache root / the item's name
    std::uint64_t bytes = 0;
    // What the preview saw at that name; apply_cleanup leaves the name alone when something else is there now.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool folder = false;
    friend bool operator==(const CacheItem&, const CacheItem&) = default;
};

struct CleanupPreview {
    std::filesystem::path root;
    std::uint64_t root_device = 0;
    std::uint64_t root_inode = 0;
    // The regular files and folders in the root that take space, largest first (equal sizes by name). Links,
    // sockets, empty folders and mount points are not cache items.
    std::vector<CacheItem> items;
    std::uint64_t total_bytes = 0;
    // False when a bound or the stop token cut the measuring short (sizes are then at least what is shown).
    bool complete = true;
    std::uint64_t unreadable_folders = 0;
};

// Measures what cleaning the cache root would remove. A root that does not exist has nothing to clean (no items).
// Errors: a root that is not a folder, is not the user's own, or cannot be opened or read.
[[nodiscard]] std::expected<CleanupPreview, std::string> preview_cache_cleanup(const std::filesystem::path& cache_root,
                                                                              std::stop_token stop = {},
                                                                              const WalkLimits& limits = {});

struct CleanupReport {
    std::uint64_t removed_items = 0;
    std::uint64_t removed_bytes = 0;  // as the preview measured them
};

struct CleanupError {
    std::string message;  // one sentence (several problems: the first, and how many more)
    std::uint64_t removed_items = 0;  // items removed in spite of the problem

    [[nodiscard]] const std::string& text() const { return message; }
};

// Removes the preview's items at `indices`. Every index is checked before anything is removed. An item already
// gone counts as removed; an item replaced by something else since the preview is left in place and reported.
[[nodiscard]] std::expected<CleanupReport, CleanupError> apply_cleanup(const CleanupPreview& preview,
                                                                      std::span<const std::size_t> indices);

// 0, 1, ..., items - 1: every item of the preview.
[[nodiscard]] std::vector<std::size_t> all_items(const CleanupPreview& preview);

}  // namespace desk_rules::storage
