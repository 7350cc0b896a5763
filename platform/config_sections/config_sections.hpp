#pragma once
// The per-user settings store: where the settings file lies and how JSON files of the store are read and changed.
//
// Reading takes no lock: every write replaces the file atomically, so a reader sees the old or the new text.
// Changing goes through update_json_file(), which reads, changes and writes the file under an exclusive lock on
// "<file>.lock" beside it, so that concurrent writers (pages, the operation runner, other processes) never lose
// each other's changes.

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace config_sections {

using Json = nlohmann::ordered_json;

// "<config dir>/vorn/settings.json" (see user_dirs::config_dir), or none when there is no configuration directory.
[[nodiscard]] std::optional<std::filesystem::path> settings_path();

// The largest file of the store that is read.
inline constexpr std::size_t max_file_size = std::size_t{16} << 20;

// The whole text of a file: none when the file does not exist; an error when it exists but cannot be read, is not a
// regular file (never waited on) or is larger than max_file_size.
[[nodiscard]] std::expected<std::optional<std::string>, std::string> read_text(const std::filesystem::path& path);

// The JSON object stored in the file, or none when it is missing, unreadable or not a JSON object. Members that
// cannot be read are left out (see json_text::ObjectText).
[[nodiscard]] std::optional<Json> read_json_object(const std::filesystem::path& path);

// Reads the JSON object in `path`, lets `change` modify it and writes it back (two-space pretty text), all under
// the file's lock. Creates the parent directories. Only a missing (or blank) file counts as the empty object {}:
//   - a file that exists but cannot be read refuses the change with an error, leaving the file as it is;
//   - `root` holds the members that can be read; every member `change` leaves as it was keeps its text exactly,
//     and a member that cannot be read stays in place unless `change` sets one of that name;
//   - a file that is not a JSON object, or holds anything that cannot be read, is first kept as
//     "<file>.corrupt-<tag>" beside it (once for the same unreadable text, with a warning in the log).
// The file is replaced atomically and keeps its mode; an unchanged text is not written again.
// Returns the path written.
[[nodiscard]] std::expected<std::filesystem::path, std::string> update_json_file(
    const std::filesystem::path& path, const std::function<void(Json& root)>& change);

// Named sections of the settings file (members of its root object that other components keep there, such as
// "text_assistance"). load_section answers none when there is no settings file or no such member.
[[nodiscard]] std::optional<Json> load_section(std::string_view name);
// Changes one section under the settings file's lock; `section` is an empty object when the member is missing or
// is not an object. Every other member of the file stays as it is. The error "no config dir" when there is no
// settings path.
[[nodiscard]] std::expected<std::filesystem::path, std::string> update_section(
    std::string_view name, const std::function<void(Json& section)>& change);

}  // namespace config_sections
