#pragma once
// Why the settings file could not be saved, in words a user understands. The store's own error ("could not open
// the lock file /home/…/settings.json.lock: Permission denied") names paths and system calls: it goes to the log,
// and what the page shows beside the control is the sentence of the problem found on the machine.
//
//   if (auto saved = save_settings_file(file); !saved)
//       show("Appearance could not be saved: " + saved.error());   // "… another program is using the settings file"

#include <filesystem>
#include <string>
#include <string_view>

namespace settings::prefs {

enum class SaveProblem {
    NoHome,        // no configuration folder: neither XDG_CONFIG_HOME nor HOME is set
    Busy,          // another writer holds the file's lock
    NoPermission,  // the folder, the file or its lock cannot be written by this user
    ReadOnly,      // the folder is on a read-only file system
    DiskFull,      // no space left on the folder's file system
    NotAFile,      // a folder, a device or a FIFO stands where the file should be
    TooLarge,      // the file is larger than the store reads
    Other,
};

// The sentence for a problem (lower case, no full stop: it follows "… could not be saved: ").
[[nodiscard]] std::string_view save_problem_text(SaveProblem problem);

// What kept the file at `path` from being saved, found by looking at the file, its lock and its folder now;
// `error` is the store's own error text (a lock that timed out is known by it even when released since).
[[nodiscard]] SaveProblem diagnose_save_failure(const std::filesystem::path& path, std::string_view error);

}  // namespace settings::prefs
