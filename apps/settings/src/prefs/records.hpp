#pragma once
// The preference records: one section of the settings file each ("audio", "display", ...), and the Locale kept in
// its member "locale". Default-constructed records hold the defaults.
//
// Stored form: an object with every field, in the order of the record (an absent optional value as null,
// enumerations by name, integers as integers, floats with a fraction). Reading: members in any order, unknown ones
// ignored; a missing member takes its default unless the field is marked "required" below, in which case the whole
// record fails; the positional form (an array of the fields in order) is read as well; a value of the wrong type
// or out of range fails the whole record. A failed section takes its default in the settings file.

#include "config_sections/notification_policy.hpp"
#include "json_text/json_text.hpp"
#include "prefs/enums.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace settings::prefs {

using json_text::Json;
using config_sections::notification_policy::AppNotificationRule;
using config_sections::notification_policy::FocusSchedule;

// Member "audio".
struct AudioPrefs {
    bool event_sounds = true;  // required
    bool chat_join = true;     // required
    bool chat_leave = true;    // required
    std::optional<std::string> output_device;
    std::optional<std::string> input_device;
    float balance = 0.5f;  // left-right, 0.5 centred
    bool mono_output = false;

    friend bool operator==(const AudioPrefs&, const AudioPrefs&) = default;
};

// Member "display".
struct DisplayPrefs {
    bool auto_brightness = false;  // required
    bool night_light = false;      // required
    std::uint32_t night_light_temperature = 3700;  // kelvin
    double scale = 1.0;

    friend bool operator==(const DisplayPrefs&, const DisplayPrefs&) = default;
};

// Member "input"; every member may be missing.
struct InputPrefs {
    bool natural_scroll = false;  // the single flag of older files
    std::optional<bool> touchpad_natural_scroll = true;
    std::optional<bool> mouse_natural_scroll = false;
    bool tap_to_click = true;
    double pointer_speed = 0.5;
    std::optional<double> touchpad_pointer_speed;
    std::optional<double> mouse_pointer_speed;
    double key_repeat = 0.5;
    std::optional<std::uint32_t> key_repeat_delay_ms;
    std::optional<std::uint32_t> key_repeat_rate_hz;
    std::string keyboard_layout = "us";
    bool tap_drag = true;
    bool disable_while_typing = true;
    bool middle_emulation = true;
    bool left_handed = false;
    std::string accel_profile = "adaptive";  // "flat" means no acceleration
    bool touchpad_gestures = true;
    std::optional<std::string> compose_key;  // "ralt", "menu", "caps", "rwin", "lwin"
    std::vector<std::string> keyboard_layouts = {"us"};
    std::optional<std::string> pen_output;  // display connector for pen and tablet input

    friend bool operator==(const InputPrefs&, const InputPrefs&) = default;
};

// Member "power".
struct PowerPrefs {
    bool auto_suspend = true;  // required
    std::uint32_t suspend_minutes = 15;
    std::uint32_t saver_suspend_minutes = 10;
    std::uint32_t balanced_suspend_minutes = 15;
    std::uint32_t performance_suspend_minutes = 30;
    std::uint32_t blank_minutes = 10;  // required
    std::uint32_t lock_minutes = 5;
    PowerAction lid_close_action = PowerAction::Suspend;
    PowerAction power_key_action = PowerAction::Suspend;
    std::uint32_t low_battery_percent = 15;
    std::uint32_t critical_battery_percent = 5;
    PowerAction critical_action = PowerAction::Suspend;

    friend bool operator==(const PowerPrefs&, const PowerPrefs&) = default;
};

// Member "updates"; every member is required.
struct UpdatePrefs {
    bool auto_update = true;  // stored as "auto"
    std::string channel = "Stable";
    std::string last_checked = "Never";

    friend bool operator==(const UpdatePrefs&, const UpdatePrefs&) = default;
};

// Member "appearance"; a save merges these fields into the stored object, keeping members of other writers.
struct AppearancePrefs {
    std::string theme = "Dark";   // required
    bool high_contrast = false;   // required
    bool reduce_motion = false;   // required
    double text_scale = 1.0;      // required
    double ui_scale = 1.0;

    friend bool operator==(const AppearancePrefs&, const AppearancePrefs&) = default;
};

// Member "notifications"; every member may be missing.
struct NotificationPrefs {
    bool do_not_disturb = false;
    bool show_banners = true;
    bool show_previews = true;
    bool play_sounds = true;
    bool show_on_lock_screen = false;
    bool show_badges = true;
    FocusSchedule focus;
    std::map<std::string, AppNotificationRule> per_app;  // by application id, stored in byte order

    friend bool operator==(const NotificationPrefs&, const NotificationPrefs&) = default;
};

// Member "accessibility"; every member may be missing.
struct AccessibilityPrefs {
    bool large_cursor = false;
    std::uint32_t cursor_size = 24;  // pixels
    bool screen_reader = false;
    bool on_screen_keyboard = false;
    bool sticky_keys = false;
    bool slow_keys = false;
    bool visual_alerts = false;
    ColorFilter color_filter = ColorFilter::None;
    std::uint8_t magnifier_zoom = 1;  // 1 = off
    bool cursor_crosshair = false;
    bool thick_text_caret = false;
    bool switch_control = false;
    SwitchKeyPair switch_key_pair = SwitchKeyPair::F6F7;
    std::uint16_t switch_scan_ms = 0;  // 0 = manual
    std::uint16_t screen_reader_rate = 100;
    ScreenReaderVoice screen_reader_voice = ScreenReaderVoice::System;

    friend bool operator==(const AccessibilityPrefs&, const AccessibilityPrefs&) = default;
};

// Member "locale" (kept by load_locale/save_locale); every member may be missing.
struct Locale {
    Currency currency = Currency::USD;
    DateFormat date_format = DateFormat::ISO;
    HourCycle time_format = HourCycle::H24;
    Measurement measurement = Measurement::Metric;
    NumberStyle number_style = NumberStyle::DecimalPoint;
    Weekday first_day_of_week = Weekday::Monday;

    friend bool operator==(const Locale&, const Locale&) = default;
};

// Encoders (nlohmann's hook: `Json j = prefs;`) and strict decoders (`json_text::decode<DisplayPrefs>(value)`).
void to_json(Json& j, const AudioPrefs& value);
void to_json(Json& j, const DisplayPrefs& value);
void to_json(Json& j, const InputPrefs& value);
void to_json(Json& j, const PowerPrefs& value);
void to_json(Json& j, const UpdatePrefs& value);
void to_json(Json& j, const AppearancePrefs& value);
void to_json(Json& j, const NotificationPrefs& value);
void to_json(Json& j, const AccessibilityPrefs& value);
void to_json(Json& j, const Locale& value);

json_text::Status read_value(const Json& v, AudioPrefs& out);
json_text::Status read_value(const Json& v, DisplayPrefs& out);
json_text::Status read_value(const Json& v, InputPrefs& out);
json_text::Status read_value(const Json& v, PowerPrefs& out);
json_text::Status read_value(const Json& v, UpdatePrefs& out);
json_text::Status read_value(const Json& v, AppearancePrefs& out);
json_text::Status read_value(const Json& v, NotificationPrefs& out);
json_text::Status read_value(const Json& v, AccessibilityPrefs& out);
json_text::Status read_value(const Json& v, Locale& out);

}  // namespace settings::prefs
