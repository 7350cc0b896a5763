#include "desk_rules/storage_category.hpp"

namespace desk_rules {

std::string_view label(StorageCategory category)
{
    switch (category) {
    case StorageCategory::InstalledApps: return "Installed apps";
    case StorageCategory::AppData: return "App data";
    case StorageCategory::Cache: return "Cache";
    case StorageCategory::SyncedFiles: return "Synced files";
    }
    return "Unknown";
}

}  // namespace desk_rules
