#pragma once
// Notification-policy records of the settings store, kept in the "notifications" section of the settings file.
// Written with every field in the order below (an absent optional value as null); read with every member optional.

#include "json_text/json_text.hpp"

#include <cstdint>
#include <optional>

namespace config_sections::notification_policy {

using Json = nlohmann::ordered_json;

// Scheduled focus (quiet hours). Written as enabled, start_minute, end_minute, weekdays, allow_priority.
struct FocusSchedule {
    std::uint16_t start_minute = 1320;  // minutes after midnight (22:00)
    std::uint16_t end_minute = 420;     // 07:00
    std::uint8_t weekdays = 0;          // day mask: 0 every day, 31 weekdays, 96 weekends
    bool enabled = false;
    bool allow_priority = true;  // priority applications break through

    friend bool operator==(const FocusSchedule&, const FocusSchedule&) = default;
};

// One application's rules; none in an optional flag means the rule does not set that choice.
struct AppNotificationRule {
    std::optional<bool> banners;
    std::optional<bool> sounds;
    std::optional<bool> badges;
    std::optional<bool> previews;
    std::optional<bool> lock_screen;
    std::optional<bool> cross_device;
    bool priority = false;           // may pierce scheduled focus
    bool priority_contacts = false;  // favourite contacts may pierce focus
    std::optional<std::int64_t> muted_until;  // Unix seconds

    friend bool operator==(const AppNotificationRule&, const AppNotificationRule&) = default;
};

void to_json(Json& j, const FocusSchedule& value);
json_text::Status read_value(const Json& v, FocusSchedule& out);

void to_json(Json& j, const AppNotificationRule& value);
json_text::Status read_value(const Json& v, AppNotificationRule& out);

}  // namespace config_sections::notification_policy
