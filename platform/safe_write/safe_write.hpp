#pragma once
// Whole-file writes that never leave a torn file behind.
//
// write_file() writes the contents to a temporary file in the same directory, flushes it to disk, renames it over
// the target and flushes the directory, so that after a crash the path holds either the old or the new contents.
// An existing file keeps its permission bits (and its owner where the process may set it); a new file gets
// 0666 minus the umask, or 0600 for a private (credential-bearing) file. A symlink is written through: its target
// is replaced and the link stays.

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

namespace safe_write {

struct Options {
    // Mode 0600 whatever the file had before: for files that hold credentials or secrets.
    bool private_file = false;
};

// Errors read "could not write <path>: <reason>".
[[nodiscard]] std::expected<void, std::string> write_file(const std::filesystem::path& path, std::string_view contents,
                                                          Options options = {});

// Removes the file and flushes its directory, so the removal survives a crash. A missing file is not an error.
[[nodiscard]] std::expected<void, std::string> remove_file(const std::filesystem::path& path);

// Deletes the temporary files an interrupted write_file() of `path` left in its directory. Call it only while no
// other write of `path` can be in progress (for example while holding the file's lock).
void remove_stale_temporaries(const std::filesystem::path& path);

}  // namespace safe_write
