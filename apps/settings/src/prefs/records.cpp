#include "prefs/records.hpp"

#include "json_text/record.hpp"
#include "prefs/sections.hpp"

#include <fmt/format.h>

#include <cmath>
#include <tuple>
#include <type_traits>

namespace settings::prefs {
namespace {

using json_text::RecordReader;
using json_text::Status;
using json_text::value_or_null;

// A stored field: its member name, the record's member, and whether a record without it fails to read.
template <class R, class T>
struct Field {
    const char* name;
    T R::*member;
    bool required;
};

template <class R, class T>
constexpr Field<R, T> required(const char* name, T R::*member)
{
    return {name, member, true};
}

template <class R, class T>
constexpr Field<R, T> defaulted(const char* name, T R::*member)
{
    return {name, member, false};
}

// Each record's fields, once, in stored order; writing and reading both follow this table.
template <class R>
constexpr auto fields_of();

template <>
constexpr auto fields_of<AudioPrefs>()
{
    return std::tuple{
        required("event_sounds", &AudioPrefs::event_sounds),
        required("chat_join", &AudioPrefs::chat_join),
        required("chat_leave", &AudioPrefs::chat_leave),
        defaulted("output_device", &AudioPrefs::output_device),
        defaulted("input_device", &AudioPrefs::input_device),
        defaulted("balance", &AudioPrefs::balance),
        defaulted("mono_output", &AudioPrefs::mono_output),
    };
}

template <>
constexpr auto fields_of<DisplayPrefs>()
{
    return std::tuple{
        required("auto_brightness", &DisplayPrefs::auto_brightness),
        required("night_light", &DisplayPrefs::night_light),
        defaulted("night_light_temperature", &DisplayPrefs::night_light_temperature),
        defaulted("scale", &DisplayPrefs::scale),
    };
}

template <>
constexpr auto fields_of<InputPrefs>()
{
    return std::tuple{
        defaulted("natural_scroll", &InputPrefs::natural_scroll),
        defaulted("touchpad_natural_scroll", &InputPrefs::touchpad_natural_scroll),
        defaulted("mouse_natural_scroll", &InputPrefs::mouse_natural_scroll),
        defaulted("tap_to_click", &InputPrefs::tap_to_click),
        defaulted("pointer_speed", &InputPrefs::pointer_speed),
        defaulted("touchpad_pointer_speed", &InputPrefs::touchpad_pointer_speed),
        defaulted("mouse_pointer_speed", &InputPrefs::mouse_pointer_speed),
        defaulted("key_repeat", &InputPrefs::key_repeat),
        defaulted("key_repeat_delay_ms", &InputPrefs::key_repeat_delay_ms),
        defaulted("key_repeat_rate_hz", &InputPrefs::key_repeat_rate_hz),
        defaulted("keyboard_layout", &InputPrefs::keyboard_layout),
        defaulted("tap_drag", &InputPrefs::tap_drag),
        defaulted("disable_while_typing", &InputPrefs::disable_while_typing),
        defaulted("middle_emulation", &InputPrefs::middle_emulation),
        defaulted("left_handed", &InputPrefs::left_handed),
        defaulted("accel_profile", &InputPrefs::accel_profile),
        defaulted("touchpad_gestures", &InputPrefs::touchpad_gestures),
        defaulted("compose_key", &InputPrefs::compose_key),
        defaulted("keyboard_layouts", &InputPrefs::keyboard_layouts),
        defaulted("pen_output", &InputPrefs::pen_output),
    };
}

template <>
constexpr auto fields_of<PowerPrefs>()
{
    return std::tuple{
        required("auto_suspend", &PowerPrefs::auto_suspend),
        defaulted("suspend_minutes", &PowerPrefs::suspend_minutes),
        defaulted("saver_suspend_minutes", &PowerPrefs::saver_suspend_minutes),
        defaulted("balanced_suspend_minutes", &PowerPrefs::balanced_suspend_minutes),
        defaulted("performance_suspend_minutes", &PowerPrefs::performance_suspend_minutes),
        required("blank_minutes", &PowerPrefs::blank_minutes),
        defaulted("lock_minutes", &PowerPrefs::lock_minutes),
        defaulted("lid_close_action", &PowerPrefs::lid_close_action),
        defaulted("power_key_action", &PowerPrefs::power_key_action),
        defaulted("low_battery_percent", &PowerPrefs::low_battery_percent),
        defaulted("critical_battery_percent", &PowerPrefs::critical_battery_percent),
        defaulted("critical_action", &PowerPrefs::critical_action),
    };
}

template <>
constexpr auto fields_of<UpdatePrefs>()
{
    return std::tuple{
        required("auto", &UpdatePrefs::auto_update),
        required("channel", &UpdatePrefs::channel),
        required("last_checked", &UpdatePrefs::last_checked),
    };
}

template <>
constexpr auto fields_of<AppearancePrefs>()
{
    return std::tuple{
        required("theme", &AppearancePrefs::theme),
        required("high_contrast", &AppearancePrefs::high_contrast),
        required("reduce_motion", &AppearancePrefs::reduce_motion),
        required("text_scale", &AppearancePrefs::text_scale),
        defaulted("ui_scale", &AppearancePrefs::ui_scale),
    };
}

template <>
constexpr auto fields_of<NotificationPrefs>()
{
    return std::tuple{
        defaulted("do_not_disturb", &NotificationPrefs::do_not_disturb),
        defaulted("show_banners", &NotificationPrefs::show_banners),
        defaulted("show_previews", &NotificationPrefs::show_previews),
        defaulted("play_sounds", &NotificationPrefs::play_sounds),
        defaulted("show_on_lock_screen", &NotificationPrefs::show_on_lock_screen),
        defaulted("show_badges", &NotificationPrefs::show_badges),
        defaulted("focus", &NotificationPrefs::focus),
        defaulted("per_app", &NotificationPrefs::per_app),
    };
}

template <>
constexpr auto fields_of<AccessibilityPrefs>()
{
    return std::tuple{
        defaulted("large_cursor", &AccessibilityPrefs::large_cursor),
        defaulted("cursor_size", &AccessibilityPrefs::cursor_size),
        defaulted("screen_reader", &AccessibilityPrefs::screen_reader),
        defaulted("on_screen_keyboard", &AccessibilityPrefs::on_screen_keyboard),
        defaulted("sticky_keys", &AccessibilityPrefs::sticky_keys),
        defaulted("slow_keys", &AccessibilityPrefs::slow_keys),
        defaulted("visual_alerts", &AccessibilityPrefs::visual_alerts),
        defaulted("color_filter", &AccessibilityPrefs::color_filter),
        defaulted("magnifier_zoom", &AccessibilityPrefs::magnifier_zoom),
        defaulted("cursor_crosshair", &AccessibilityPrefs::cursor_crosshair),
        defaulted("thick_text_caret", &AccessibilityPrefs::thick_text_caret),
        defaulted("switch_control", &AccessibilityPrefs::switch_control),
        defaulted("switch_key_pair", &AccessibilityPrefs::switch_key_pair),
        defaulted("switch_scan_ms", &AccessibilityPrefs::switch_scan_ms),
        defaulted("screen_reader_rate", &AccessibilityPrefs::screen_reader_rate),
        defaulted("screen_reader_voice", &AccessibilityPrefs::screen_reader_voice),
    };
}

template <>
constexpr auto fields_of<Locale>()
{
    return std::tuple{
        defaulted("currency", &Locale::currency),
        defaulted("date_format", &Locale::date_format),
        defaulted("time_format", &Locale::time_format),
        defaulted("measurement", &Locale::measurement),
        defaulted("number_style", &Locale::number_style),
        defaulted("first_day_of_week", &Locale::first_day_of_week),
    };
}

template <class T>
Json stored(const T& value)
{
    if constexpr (std::is_same_v<T, float>) {
        return static_cast<double>(value);  // the float's own value, not its nearest double printed anew
    } else if constexpr (requires { value.has_value(); }) {
        return value_or_null(value);
    } else {
        return Json(value);  // a std::map keeps its ids in byte order
    }
}

template <class R>
void write_record(Json& j, const R& record)
{
    j = Json::object();
    std::apply([&](const auto&... field) { ((j[field.name] = stored(record.*field.member)), ...); }, fields_of<R>());
}

// What a record read whole must also hold beyond its fields' types.
template <class R>
Status check(const R&)
{
    return {};
}

template <>
Status check(const AppearancePrefs& v)
{
    // A scale out of range would leave no usable window (1e308 draws nothing, 0 and -1 collapse the layout).
    for (const auto& [name, scale] : {std::pair{"text_scale", v.text_scale}, std::pair{"ui_scale", v.ui_scale}}) {
        if (!(scale >= min_scale && scale <= max_scale)) {
            return std::unexpected(fmt::format("{} {} is out of range, expected {} to {}", name, scale, min_scale,
                                               max_scale));
        }
    }
    return {};
}

template <class R>
Status read_record(const Json& j, R& out, const char* type_name)
{
    R v;
    constexpr auto fields = fields_of<R>();
    RecordReader r(j, type_name, std::tuple_size_v<decltype(fields)>);
    std::apply(
        [&](const auto&... field) {
            ((field.required ? r.required(field.name, v.*field.member) : r.defaulted(field.name, v.*field.member)),
             ...);
        },
        fields);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    if (auto ok = check(v); !ok) {
        return ok;
    }
    out = std::move(v);
    return {};
}

}  // namespace

#define VORN_PREFS_RECORD(R)                                                                                        \
    void to_json(Json& j, const R& v) { write_record(j, v); }                                                       \
    Status read_value(const Json& j, R& out) { return read_record(j, out, #R); }

VORN_PREFS_RECORD(AudioPrefs)
VORN_PREFS_RECORD(DisplayPrefs)
VORN_PREFS_RECORD(InputPrefs)
VORN_PREFS_RECORD(PowerPrefs)
VORN_PREFS_RECORD(UpdatePrefs)
VORN_PREFS_RECORD(AppearancePrefs)
VORN_PREFS_RECORD(NotificationPrefs)
VORN_PREFS_RECORD(AccessibilityPrefs)
VORN_PREFS_RECORD(Locale)

#undef VORN_PREFS_RECORD

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
