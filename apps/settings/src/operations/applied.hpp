#pragma once
// The device-local operations the runner applies itself: input preferences and keyboard input sources (in the
// per-user settings file) and time settings (time zone and automatic time through system_ops::time, the clock
// format in the locale store). Each answers the outcome sentence ("tap to click updated") or the refusal or error
// sentence; a refused change leaves the settings file as it was.

#include "actions/payloads/checks.hpp"
#include "actions/payloads/operations.hpp"

#include <expected>
#include <string>

namespace settings::operations {

using Outcome = std::expected<std::string, std::string>;

// The installed keyboard input sources of the system's layout catalogue.
[[nodiscard]] std::vector<actions::KeyboardLayout> system_keyboard_layouts();

// Loads the settings file, checks and changes one input preference, normalises the input sources and saves.
// A failed save: "could not persist input preferences: {}".
[[nodiscard]] Outcome apply_input_operation(const actions::InputOperation& operation,
                                            const actions::KeyboardLayoutCatalogue& catalogue);

// Loads the settings file, normalises the sources (positions refer to the normalised list), edits the list,
// normalises again and saves. A failed save: "could not persist keyboard input sources: {}".
[[nodiscard]] Outcome apply_keyboard_source_operation(const actions::KeyboardSourceOperation& operation,
                                                      const actions::KeyboardLayoutCatalogue& catalogue);

// SetTimezone: the zone must be listed ("time zone is not available on this device"; a list that cannot be read:
// "could not list time zones: {}"), then "time zone updated" or "time zone could not be changed: {}".
// SetAutomaticTime: "automatic time updated" or "automatic time could not be changed: {}".
// SetHourCycle: "clock format updated" or "could not persist clock format: {}".
[[nodiscard]] Outcome apply_time_date_operation(const actions::TimeDateOperation& operation);

}  // namespace settings::operations
