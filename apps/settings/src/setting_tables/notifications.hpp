#pragma once
// The Notifications page's tables: the quiet-hour presets, the focus weekday choices, the temporary mute choices,
// and the global switches with their stored key, control id, titles and stored field. The page, the resource
// contract and the set-setting action read the same tables.
//
//   focus_preset_label(1260)      -> "20:00" (as far from "22:00"; the earlier preset wins)
//   focus_preset_minute("07:00")  -> 420
//   mute_label(now + 3000, now)   -> "For 1 hour"

#include "prefs/records.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace settings::setting_tables::notifications {

struct Preset {
    std::string_view label;
    std::uint16_t minute;
};
inline constexpr std::array<Preset, 9> focus_presets{{{"18:00", 1080},
                                                      {"20:00", 1200},
                                                      {"22:00", 1320},
                                                      {"23:00", 1380},
                                                      {"00:00", 0},
                                                      {"06:00", 360},
                                                      {"07:00", 420},
                                                      {"08:00", 480},
                                                      {"09:00", 540}}};

struct WeekdayChoice {
    std::string_view label;
    std::uint8_t mask;
};
inline constexpr std::array<WeekdayChoice, 3> weekday_choices{{{"Every day", 0}, {"Weekdays", 31}, {"Weekends", 96}}};

struct MuteChoice {
    std::string_view label;
    std::int64_t seconds;
};
inline constexpr std::array<MuteChoice, 4> mute_choices{
    {{"Not muted", 0}, {"For 1 hour", 3600}, {"For 8 hours", 28800}, {"For 24 hours", 86400}}};

// The preset nearest to min(minute, 1439), no wrapping around midnight; the first in table order wins a tie.
[[nodiscard]] std::string_view focus_preset_label(std::uint32_t minute);
[[nodiscard]] std::optional<std::uint16_t> focus_preset_minute(std::string_view label);
// "Every day" for a mask no choice has.
[[nodiscard]] std::string_view weekday_mask_label(std::uint32_t mask);
[[nodiscard]] std::optional<std::uint8_t> weekday_mask(std::string_view label);
// "Not muted" when unset or over; else the shortest choice that covers what remains.
[[nodiscard]] std::string_view mute_label(std::optional<std::int64_t> muted_until, std::int64_t now);
[[nodiscard]] std::optional<std::int64_t> mute_seconds(std::string_view label);
// now + seconds, saturating; none for "Not muted".
[[nodiscard]] std::optional<std::int64_t> muted_until_for(std::int64_t seconds, std::int64_t now);

// The page's global switches, in the order the page syncs them after Do Not Disturb.
struct Switch {
    std::string_view key;         // stored (set-setting) key: "notifications.show_banners"
    std::string_view control_id;  // "notifications.banners"
    std::string_view title;
    std::string_view description;
    bool prefs::NotificationPrefs::*field = nullptr;  // none for the focus schedule's switch
};
[[nodiscard]] std::span<const Switch> switches();  // do_not_disturb first
[[nodiscard]] const Switch* find_switch(std::string_view key);
[[nodiscard]] bool switch_value(const Switch& row, const prefs::NotificationPrefs& prefs);
void set_switch(const Switch& row, prefs::NotificationPrefs& prefs, bool on);

inline constexpr std::string_view dnd_key = "notifications.do_not_disturb";
inline constexpr std::string_view focus_start_key = "notifications.focus.start";
inline constexpr std::string_view focus_end_key = "notifications.focus.end";
inline constexpr std::string_view focus_days_key = "notifications.focus.days";

// "notifications.app.<id>.<field>" for the rule fields "banners", "previews", "sounds", "badges", "priority",
// "priority_contacts" and "mute".
[[nodiscard]] std::string app_key(std::string_view app_id, std::string_view field);

}  // namespace settings::setting_tables::notifications
