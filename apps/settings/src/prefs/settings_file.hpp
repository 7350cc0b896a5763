#pragma once
// The per-user settings file ("vorn/settings.json" in the configuration directory): one JSON object with a member
// per preference section, "version" (always 1, never read), "locale" (see locale.hpp) and members of other
// components, which are all kept as they are.
//
// Use it as: load the whole record, change your section, save it.
//
//   auto file = settings::prefs::load_settings_file();
//   file.display.night_light = true;
//   if (auto saved = settings::prefs::save_settings_file(file); !saved)
//       VORN_WARN("display_prefs_save", "failed to persist display prefs: {}", saved.error());
//
// Loading never fails: a missing, unreadable or damaged file gives the defaults, and a section that is missing or
// does not decode gives that section's default while the others load. The file is read only when it is a regular
// file of at most config_sections::max_file_size bytes, and member by member (json_text::ObjectText): invalid UTF-8,
// a number beyond the double range or nesting too deep in one member (or one field of a section) costs only that
// member (or field). Older forms are migrated on load (the single "natural_scroll" flag, a missing list of keyboard
// layouts).
//
// Saving reads the file again under its lock and writes back only the sections this record changed since it was
// loaded (and the sections the file lacks or cannot decode), so a save never reverts what another page or process saved in the
// meantime; every other member keeps its text exactly, whatever it holds. "appearance" is merged field by field. A
// number that is not finite is never written: that field keeps its previous value. The file is replaced atomically
// and keeps its mode; a file that held anything unreadable is first kept as "settings.json.corrupt-<tag>", once.
// A save that fails answers why in words a user understands ("another program is using the settings file",
// save_failure.hpp); the store's own error, with its paths and system calls, goes to the log.

#include "prefs/records.hpp"

#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace settings::prefs {

struct SettingsFile {
    AudioPrefs audio;
    DisplayPrefs display;
    InputPrefs input;
    PowerPrefs power;
    UpdatePrefs updates;
    AppearancePrefs appearance;
    NotificationPrefs notifications;
    AccessibilityPrefs accessibility;

    // The sections as the loader found them (shared by copies of the record). A record that was not loaded has
    // none, and its save writes every section.
    std::shared_ptr<const SettingsFile> loaded;

    // Compares the eight sections only.
    friend bool operator==(const SettingsFile& a, const SettingsFile& b);
};

// The record from the file at config_sections::settings_path() (defaults without a configuration directory).
[[nodiscard]] SettingsFile load_settings_file();
[[nodiscard]] SettingsFile load_settings_file(const std::filesystem::path& path);

// Decodes a settings text section by section; never fails.
[[nodiscard]] SettingsFile parse_settings_file(std::string_view text);

// Saves to config_sections::settings_path(); the error "no config dir" when there is none. Answers the path
// written, or why nothing was written (the file is then unchanged).
[[nodiscard]] std::expected<std::filesystem::path, std::string> save_settings_file(const SettingsFile& file);
[[nodiscard]] std::expected<std::filesystem::path, std::string> save_settings_file(const SettingsFile& file,
                                                                                   const std::filesystem::path& path);

// The text a save would write over `current`: `current` (when it is a JSON object; otherwise {}) with the record
// merged into it as described above, printed with two-space indentation.
[[nodiscard]] std::string write_settings_json(const SettingsFile& file, std::string_view current);

// Brings keyboard_layout and keyboard_layouts into their normal form (config_sections::hardware::RichInputConfig);
// every other field stays as it is.
void normalise_input_sources(InputPrefs& input);

}  // namespace settings::prefs
