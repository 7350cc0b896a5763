#pragma once
// The locale store: the Locale in the member "locale" of the settings file.

#include "prefs/records.hpp"

#include <expected>
#include <filesystem>
#include <string>

namespace settings::prefs {

// The stored Locale; the default Locale when there is no settings path, the file cannot be read or is not JSON,
// or the member is missing; a member that does not decode takes its default alone.
[[nodiscard]] Locale load_locale();
[[nodiscard]] Locale load_locale(const std::filesystem::path& settings_file);

// Writes "version" 1 and "locale" into the settings file under its lock, leaving every other member as it is.
// The error "no config dir" when there is no settings path.
[[nodiscard]] std::expected<std::filesystem::path, std::string> save_locale(const Locale& locale);
[[nodiscard]] std::expected<std::filesystem::path, std::string> save_locale(const Locale& locale,
                                                                            const std::filesystem::path& settings_file);

// Writes the fields in which `changed` differs from `shown` (the locale a page read and showed) into the stored
// "locale", and "version" 1, leaving the locale's other members as they are stored, values this version cannot
// read included, and every other member of the file. A "locale" that is missing or not an object is written whole:
// what load_locale reads of it, with those fields. Nothing is written when no field differs.
[[nodiscard]] std::expected<std::filesystem::path, std::string> save_locale_changes(const Locale& shown,
                                                                                    const Locale& changed);
[[nodiscard]] std::expected<std::filesystem::path, std::string> save_locale_changes(
    const Locale& shown, const Locale& changed, const std::filesystem::path& settings_file);

// Writes the clock format alone: "time_format" of the stored "locale" (and "version" 1), leaving the locale's other
// members as they are stored, values this version cannot read included. A "locale" that is missing or not an
// object is written whole: what load_locale reads of it, with this clock format.
[[nodiscard]] std::expected<std::filesystem::path, std::string> save_time_format(HourCycle time_format);
[[nodiscard]] std::expected<std::filesystem::path, std::string> save_time_format(
    HourCycle time_format, const std::filesystem::path& settings_file);

}  // namespace settings::prefs
