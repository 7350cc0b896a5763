#include "prefs/records.hpp"

#include "json_text/record.hpp"
#include "prefs/sections.hpp"

#include <fmt/format.h>

#include <cmath>

namespace settings::prefs {
namespace {

using json_text::RecordReader;
using json_text::Status;
using json_text::value_or_null;

template <class T>
Status commit(const RecordReader& reader, T& value, T& out)
{
    if (auto ok = reader.finish(); !ok) {
        return ok;
    }
    out = std::move(value);
    return {};
}

}  // namespace

void to_json(Json& j, const AudioPrefs& v)
{
    j = Json::object();
    j["event_sounds"] = v.event_sounds;
    j["chat_join"] = v.chat_join;
    j["chat_leave"] = v.chat_leave;
    j["output_device"] = value_or_null(v.output_device);
    j["input_device"] = value_or_null(v.input_device);
    j["balance"] = static_cast<double>(v.balance);
    j["mono_output"] = v.mono_output;
}

Status read_value(const Json& j, AudioPrefs& out)
{
    AudioPrefs v;
    RecordReader r(j, "AudioPrefs", 7);
    r.required("event_sounds", v.event_sounds)
        .required("chat_join", v.chat_join)
        .required("chat_leave", v.chat_leave)
        .defaulted("output_device", v.output_device)
        .defaulted("input_device", v.input_device)
        .defaulted("balance", v.balance)
        .defaulted("mono_output", v.mono_output);
    return commit(r, v, out);
}

void to_json(Json& j, const DisplayPrefs& v)
{
    j = Json::object();
    j["auto_brightness"] = v.auto_brightness;
    j["night_light"] = v.night_light;
    j["night_light_temperature"] = v.night_light_temperature;
    j["scale"] = v.scale;
}

Status read_value(const Json& j, DisplayPrefs& out)
{
    DisplayPrefs v;
    RecordReader r(j, "DisplayPrefs", 4);
    r.required("auto_brightness", v.auto_brightness)
        .required("night_light", v.night_light)
        .defaulted("night_light_temperature", v.night_light_temperature)
        .defaulted("scale", v.scale);
    return commit(r, v, out);
}

void to_json(Json& j, const InputPrefs& v)
{
    j = Json::object();
    j["natural_scroll"] = v.natural_scroll;
    j["touchpad_natural_scroll"] = value_or_null(v.touchpad_natural_scroll);
    j["mouse_natural_scroll"] = value_or_null(v.mouse_natural_scroll);
    j["tap_to_click"] = v.tap_to_click;
    j["pointer_speed"] = v.pointer_speed;
    j["touchpad_pointer_speed"] = value_or_null(v.touchpad_pointer_speed);
    j["mouse_pointer_speed"] = value_or_null(v.mouse_pointer_speed);
    j["key_repeat"] = v.key_repeat;
    j["key_repeat_delay_ms"] = value_or_null(v.key_repeat_delay_ms);
    j["key_repeat_rate_hz"] = value_or_null(v.key_repeat_rate_hz);
    j["keyboard_layout"] = v.keyboard_layout;
    j["tap_drag"] = v.tap_drag;
    j["disable_while_typing"] = v.disable_while_typing;
    j["middle_emulation"] = v.middle_emulation;
    j["left_handed"] = v.left_handed;
    j["accel_profile"] = v.accel_profile;
    j["touchpad_gestures"] = v.touchpad_gestures;
    j["compose_key"] = value_or_null(v.compose_key);
    j["keyboard_layouts"] = v.keyboard_layouts;
    j["pen_output"] = value_or_null(v.pen_output);
}

Status read_value(const Json& j, InputPrefs& out)
{
    InputPrefs v;
    RecordReader r(j, "InputPrefs", 20);
    r.defaulted("natural_scroll", v.natural_scroll)
        .defaulted("touchpad_natural_scroll", v.touchpad_natural_scroll)
        .defaulted("mouse_natural_scroll", v.mouse_natural_scroll)
        .defaulted("tap_to_click", v.tap_to_click)
        .defaulted("pointer_speed", v.pointer_speed)
        .defaulted("touchpad_pointer_speed", v.touchpad_pointer_speed)
        .defaulted("mouse_pointer_speed", v.mouse_pointer_speed)
        .defaulted("key_repeat", v.key_repeat)
        .defaulted("key_repeat_delay_ms", v.key_repeat_delay_ms)
        .defaulted("key_repeat_rate_hz", v.key_repeat_rate_hz)
        .defaulted("keyboard_layout", v.keyboard_layout)
        .defaulted("tap_drag", v.tap_drag)
        .defaulted("disable_while_typing", v.disable_while_typing)
        .defaulted("middle_emulation", v.middle_emulation)
        .defaulted("left_handed", v.left_handed)
        .defaulted("accel_profile", v.accel_profile)
        .defaulted("touchpad_gestures", v.touchpad_gestures)
        .defaulted("compose_key", v.compose_key)
        .defaulted("keyboard_layouts", v.keyboard_layouts)
        .defaulted("pen_output", v.pen_output);
    return commit(r, v, out);
}

void to_json(Json& j, const PowerPrefs& v)
{
    j = Json::object();
    j["auto_suspend"] = v.auto_suspend;
    j["suspend_minutes"] = v.suspend_minutes;
    j["saver_suspend_minutes"] = v.saver_suspend_minutes;
    j["balanced_suspend_minutes"] = v.balanced_suspend_minutes;
    j["performance_suspend_minutes"] = v.performance_suspend_minutes;
    j["blank_minutes"] = v.blank_minutes;
    j["lock_minutes"] = v.lock_minutes;
    j["lid_close_action"] = v.lid_close_action;
    j["power_key_action"] = v.power_key_action;
    j["low_battery_percent"] = v.low_battery_percent;
    j["critical_battery_percent"] = v.critical_battery_percent;
    j["critical_action"] = v.critical_action;
}

Status read_value(const Json& j, PowerPrefs& out)
{
    PowerPrefs v;
    RecordReader r(j, "PowerPrefs", 12);
    r.required("auto_suspend", v.auto_suspend)
        .defaulted("suspend_minutes", v.suspend_minutes)
        .defaulted("saver_suspend_minutes", v.saver_suspend_minutes)
        .defaulted("balanced_suspend_minutes", v.balanced_suspend_minutes)
        .defaulted("performance_suspend_minutes", v.performance_suspend_minutes)
        .required("blank_minutes", v.blank_minutes)
        .defaulted("lock_minutes", v.lock_minutes)
        .defaulted("lid_close_action", v.lid_close_action)
        .defaulted("power_key_action", v.power_key_action)
        .defaulted("low_battery_percent", v.low_battery_percent)
        .defaulted("critical_battery_percent", v.critical_battery_percent)
        .defaulted("critical_action", v.critical_action);
    return commit(r, v, out);
}

void to_json(Json& j, const UpdatePrefs& v)
{
    j = Json::object();
    j["auto"] = v.auto_update;
    j["channel"] = v.channel;
    j["last_checked"] = v.last_checked;
}

Status read_value(const Json& j, UpdatePrefs& out)
{
    UpdatePrefs v;
    RecordReader r(j, "UpdatePrefs", 3);
    r.required("auto", v.auto_update).required("channel", v.channel).required("last_checked", v.last_checked);
    return commit(r, v, out);
}

void to_json(Json& j, const AppearancePrefs& v)
{
    j = Json::object();
    j["theme"] = v.theme;
    j["high_contrast"] = v.high_contrast;
    j["reduce_motion"] = v.reduce_motion;
    j["text_scale"] = v.text_scale;
    j["ui_scale"] = v.ui_scale;
}

Status read_value(const Json& j, AppearancePrefs& out)
{
    AppearancePrefs v;
    RecordReader r(j, "AppearancePrefs", 5);
    r.required("theme", v.theme)
        .required("high_contrast", v.high_contrast)
        .required("reduce_motion", v.reduce_motion)
        .required("text_scale", v.text_scale)
        .defaulted("ui_scale", v.ui_scale);
    // A scale out of range would leave no usable window (1e308 draws nothing, 0 and -1 collapse the layout).
    for (const auto& [name, scale] : {std::pair{"text_scale", v.text_scale}, std::pair{"ui_scale", v.ui_scale}}) {
        if (!r.failed() && !(scale >= min_scale && scale <= max_scale)) {
            return std::unexpected(fmt::format("{} {} is out of range, expected {} to {}", name, scale, min_scale,
                                               max_scale));
        }
    }
    return commit(r, v, out);
}

void to_json(Json& j, const NotificationPrefs& v)
{
    j = Json::object();
    j["do_not_disturb"] = v.do_not_disturb;
    j["show_banners"] = v.show_banners;
    j["show_previews"] = v.show_previews;
    j["play_sounds"] = v.play_sounds;
    j["show_on_lock_screen"] = v.show_on_lock_screen;
    j["show_badges"] = v.show_badges;
    j["focus"] = v.focus;
    Json per_app = Json::object();  // std::map keeps the ids in byte order
    for (const auto& [id, rule] : v.per_app) {
        per_app[id] = rule;
    }
    j["per_app"] = std::move(per_app);
}

Status read_value(const Json& j, NotificationPrefs& out)
{
    NotificationPrefs v;
    RecordReader r(j, "NotificationPrefs", 8);
    r.defaulted("do_not_disturb", v.do_not_disturb)
        .defaulted("show_banners", v.show_banners)
        .defaulted("show_previews", v.show_previews)
        .defaulted("play_sounds", v.play_sounds)
        .defaulted("show_on_lock_screen", v.show_on_lock_screen)
        .defaulted("show_badges", v.show_badges)
        .defaulted("focus", v.focus)
        .defaulted("per_app", v.per_app);
    return commit(r, v, out);
}

void to_json(Json& j, const AccessibilityPrefs& v)
{
    j = Json::object();
    j["large_cursor"] = v.large_cursor;
    j["cursor_size"] = v.cursor_size;
    j["screen_reader"] = v.screen_reader;
    j["on_screen_keyboard"] = v.on_screen_keyboard;
    j["sticky_keys"] = v.sticky_keys;
    j["slow_keys"] = v.slow_keys;
    j["visual_alerts"] = v.visual_alerts;
    j["color_filter"] = v.color_filter;
    j["magnifier_zoom"] = v.magnifier_zoom;
    j["cursor_crosshair"] = v.cursor_crosshair;
    j["thick_text_caret"] = v.thick_text_caret;
    j["switch_control"] = v.switch_control;
    j["switch_key_pair"] = v.switch_key_pair;
    j["switch_scan_ms"] = v.switch_scan_ms;
    j["screen_reader_rate"] = v.screen_reader_rate;
    j["screen_reader_voice"] = v.screen_reader_voice;
}

Status read_value(const Json& j, AccessibilityPrefs& out)
{
    AccessibilityPrefs v;
    RecordReader r(j, "AccessibilityPrefs", 16);
    r.defaulted("large_cursor", v.large_cursor)
        .defaulted("cursor_size", v.cursor_size)
        .defaulted("screen_reader", v.screen_reader)
        .defaulted("on_screen_keyboard", v.on_screen_keyboard)
        .defaulted("sticky_keys", v.sticky_keys)
        .defaulted("slow_keys", v.slow_keys)
        .defaulted("visual_alerts", v.visual_alerts)
        .defaulted("color_filter", v.color_filter)
        .defaulted("magnifier_zoom", v.magnifier_zoom)
        .defaulted("cursor_crosshair", v.cursor_crosshair)
        .defaulted("thick_text_caret", v.thick_text_caret)
        .defaulted("switch_control", v.switch_control)
        .defaulted("switch_key_pair", v.switch_key_pair)
        .defaulted("switch_scan_ms", v.switch_scan_ms)
        .defaulted("screen_reader_rate", v.screen_reader_rate)
        .defaulted("screen_reader_voice", v.screen_reader_voice);
    return commit(r, v, out);
}

void to_json(Json& j, const Locale& v)
{
    j = Json::object();
    j["currency"] = v.currency;
    j["date_format"] = v.date_format;
    j["time_format"] = v.time_format;
    j["measurement"] = v.measurement;
    j["number_style"] = v.number_style;
    j["first_day_of_week"] = v.first_day_of_week;
}

Status read_value(const Json& j, Locale& out)
{
    Locale v;
    RecordReader r(j, "Locale", 6);
    r.defaulted("currency", v.currency)
        .defaulted("date_format", v.date_format)
        .defaulted("time_format", v.time_format)
        .defaulted("measurement", v.measurement)
        .defaulted("number_style", v.number_style)
        .defaulted("first_day_of_week", v.first_day_of_week);
    return commit(r, v, out);
}

template <class R>
std::optional<R> decode_section(const Json& value)
{
    if (auto whole = json_text::decode<R>(value)) {
        return std::move(*whole);
    }
    if (!value.is_object()) {
        return std::nullopt;
    }
    // Each member is tried on its own, over the defaults; one that does not read takes its field's default.
    Json defaults;
    to_json(defaults, R{});
    Json repaired = Json::object();
    for (const auto& [key, member] : value.items()) {
        Json probe = defaults;
        probe[key] = member;
        if (json_text::decode<R>(probe)) {
            repaired[key] = member;
        } else if (const auto fallback = defaults.find(key); fallback != defaults.end()) {
            repaired[key] = *fallback;
        }
    }
    auto decoded = json_text::decode<R>(repaired);
    if (!decoded) {
        return std::nullopt;  // a required member is missing
    }
    return std::move(*decoded);
}

template std::optional<AudioPrefs> decode_section<AudioPrefs>(const Json&);
template std::optional<DisplayPrefs> decode_section<DisplayPrefs>(const Json&);
template std::optional<InputPrefs> decode_section<InputPrefs>(const Json&);
template std::optional<PowerPrefs> decode_section<PowerPrefs>(const Json&);
template std::optional<UpdatePrefs> decode_section<UpdatePrefs>(const Json&);
template std::optional<AppearancePrefs> decode_section<AppearancePrefs>(const Json&);
template std::optional<NotificationPrefs> decode_section<NotificationPrefs>(const Json&);
template std::optional<AccessibilityPrefs> decode_section<AccessibilityPrefs>(const Json&);

}  // namespace settings::prefs
