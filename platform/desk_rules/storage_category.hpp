#pragma once
// The categories of the storage scan: what the Storage page sizes and labels per category.

#include <array>
#include <cstdint>
#include <string_view>

namespace desk_rules {

enum class StorageCategory : std::uint8_t {
    InstalledApps = 0,  // installed applications
    AppData = 1,        // application data
    Cache = 2,          // caches
    SyncedFiles = 3,    // files kept by the sync-storage client
};

// Every category in display order.
inline constexpr std::array<StorageCategory, 4> storage_categories{
    StorageCategory::InstalledApps, StorageCategory::AppData, StorageCategory::Cache, StorageCategory::SyncedFiles};

// "Installed apps", "App data", "Cache", "Synced files".
[[nodiscard]] std::string_view label(StorageCategory category);

}  // namespace desk_rules
