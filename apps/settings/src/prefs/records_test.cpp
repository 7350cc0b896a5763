#include "prefs/records.hpp"
#include "prefs/sections.hpp"
#include "prefs/test_support.hpp"

#include "json_text/json_text.hpp"
#include "json_text/record.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace settings::prefs {
namespace {

// One stored form and what it decodes to (none: the record fails).
template <class R>
struct Case {
    const char* stored;
    std::optional<R> expected;
};

template <class R>
void expect_decodes(const std::vector<Case<R>>& cases)
{
    for (const auto& c : cases) {
        const auto value = json_text::parse(c.stored);
        ASSERT_TRUE(value) << c.stored;
        const auto decoded = json_text::decode<R>(*value);
        if (c.expected) {
            ASSERT_TRUE(decoded) << c.stored << ": " << decoded.error();
            EXPECT_EQ(*decoded, *c.expected) << c.stored;
        } else {
            EXPECT_FALSE(decoded) << c.stored << " should fail";
        }
    }
}

template <class R>
std::string error_of(const char* stored)
{
    auto decoded = json_text::decode<R>(*json_text::parse(stored));
    return decoded ? std::string("<decoded>") : decoded.error();
}

TEST(PreferenceRecords, DisplayPrefsDecodeTable)
{
    expect_decodes<DisplayPrefs>({
        {R"({"auto_brightness": true, "night_light": false})", DisplayPrefs{.auto_brightness = true}},
        {R"({"scale": 1.25, "night_light": true, "auto_brightness": false, "extra": [1]})",
         DisplayPrefs{.night_light = true, .scale = 1.25}},
        {R"({"auto_brightness": true, "night_light": true, "night_light_temperature": 4500, "scale": 2})",
         DisplayPrefs{.auto_brightness = true, .night_light = true, .night_light_temperature = 4500, .scale = 2.0}},
        {R"([true, false])", DisplayPrefs{.auto_brightness = true}},
        {R"([true, true, 3000, 1.5])",
         DisplayPrefs{.auto_brightness = true, .night_light = true, .night_light_temperature = 3000, .scale = 1.5}},
        {R"({"night_light": false})", std::nullopt},
        {R"({"auto_brightness": true, "night_light": false, "night_light_temperature": 3700.0})", std::nullopt},
        {R"({"auto_brightness": true, "night_light": false, "night_light_temperature": -1})", std::nullopt},
        {R"({"auto_brightness": true, "night_light": false, "scale": null})", std::nullopt},
        {R"({"Auto_Brightness": true, "night_light": false})", std::nullopt},
        {R"([true])", std::nullopt},
        {R"([true, false, 3700, 1.0, 5])", std::nullopt},
        {R"({})", std::nullopt},
        {R"("display")", std::nullopt},
    });
    EXPECT_EQ(error_of<DisplayPrefs>(R"({"night_light": false})"), "missing field `auto_brightness`");
    EXPECT_EQ(error_of<DisplayPrefs>("[true]"), "invalid length 1, expected struct DisplayPrefs with 4 elements");
    EXPECT_EQ(error_of<DisplayPrefs>("[true, true, 1, 1.0, 1]"), "invalid length 5, expected fewer elements in array");
    EXPECT_EQ(error_of<DisplayPrefs>(R"({"auto_brightness": true, "night_light": false, "night_light_temperature": 3700.0})"),
              "invalid type: floating point `3700.0`, expected u32");
    EXPECT_EQ(error_of<DisplayPrefs>("7"), "invalid type: integer `7`, expected struct DisplayPrefs");
}

TEST(PreferenceRecords, AudioPrefsDecodeTable)
{
    expect_decodes<AudioPrefs>({
        {R"({"event_sounds": false, "chat_join": true, "chat_leave": false})",
         AudioPrefs{.event_sounds = false, .chat_leave = false}},
        {R"({"event_sounds": true, "chat_join": true, "chat_leave": true, "output_device": "hdmi", "input_device": null,
             "balance": 0.7, "mono_output": true})",
         AudioPrefs{.output_device = "hdmi", .balance = 0.7f, .mono_output = true}},
        {R"({"event_sounds": true, "chat_join": true, "chat_leave": true, "balance": 1})", AudioPrefs{.balance = 1.0f}},
        {R"({"event_sounds": true, "chat_join": true})", std::nullopt},
        {R"({"event_sounds": true, "chat_join": true, "chat_leave": true, "output_device": 5})", std::nullopt},
        {R"([true, true])", std::nullopt},
    });
    // A 32-bit balance is written back widened.
    EXPECT_EQ(json_text::compact(Json(AudioPrefs{.balance = 0.7f})["balance"]), "0.699999988079071");
}

TEST(PreferenceRecords, PowerPrefsDecodeTable)
{
    expect_decodes<PowerPrefs>({
        {R"({"auto_suspend": false, "blank_minutes": 5})", PowerPrefs{.auto_suspend = false, .blank_minutes = 5}},
        {R"({"auto_suspend": true, "blank_minutes": 10, "lid_close_action": "lock"})",
         PowerPrefs{.lid_close_action = PowerAction::Lock}},
        {R"({"auto_suspend": true, "blank_minutes": 10, "lid_close_action": {"lock": null},
             "critical_action": "ignore"})",
         PowerPrefs{.lid_close_action = PowerAction::Lock, .critical_action = PowerAction::Ignore}},
        {R"({"auto_suspend": true, "blank_minutes": 10, "lid_close_action": "Lock"})", std::nullopt},
        {R"({"auto_suspend": true, "blank_minutes": 10, "lid_close_action": {"lock": 1}})", std::nullopt},
        {R"({"auto_suspend": true, "blank_minutes": 10, "lid_close_action": 1})", std::nullopt},
        {R"({"auto_suspend": true})", std::nullopt},
        {R"([true, 15, 10, 15, 30])", std::nullopt},
        {R"([true, 15, 10, 15, 30, 7])", PowerPrefs{.blank_minutes = 7}},
    });
    EXPECT_EQ(error_of<PowerPrefs>(R"({"auto_suspend": true, "blank_minutes": 10, "power_key_action": "reboot"})"),
              "unknown variant `reboot`, expected one of `suspend`, `lock`, `ignore`");
    EXPECT_EQ(error_of<PowerPrefs>("[true]"), "invalid length 1, expected struct PowerPrefs with 12 elements");
}

TEST(PreferenceRecords, UpdateAndAppearancePrefsDecodeTable)
{
    expect_decodes<UpdatePrefs>({
        {R"({"auto": false, "channel": "Beta", "last_checked": "Today"})",
         UpdatePrefs{.auto_update = false, .channel = "Beta", .last_checked = "Today"}},
        {R"({"auto": true, "channel": "Stable"})", std::nullopt},
        {R"({})", std::nullopt},
    });
    expect_decodes<AppearancePrefs>({
        {R"({"theme": "Light", "high_contrast": true, "reduce_motion": false, "text_scale": 1.25})",
         AppearancePrefs{.theme = "Light", .high_contrast = true, .text_scale = 1.25}},
        {R"({"theme": "Dark", "high_contrast": false, "reduce_motion": false, "text_scale": 1, "ui_scale": 1.5})",
         AppearancePrefs{.ui_scale = 1.5}},
        {R"({"theme": "Dark", "high_contrast": false, "reduce_motion": false, "ui_scale": 1.5})", std::nullopt},
        {R"({"theme": "Dark", "high_contrast": false, "reduce_motion": false, "text_scale": 1, "ui_scale": 0})",
         std::nullopt},
        {R"({"theme": "Dark", "high_contrast": false, "reduce_motion": false, "text_scale": 9.5})", std::nullopt},
        {R"({})", std::nullopt},
    });
    EXPECT_EQ(error_of<AppearancePrefs>(R"(["Dark", false])"),
              "invalid length 2, expected struct AppearancePrefs with 5 elements");
}

TEST(PreferenceRecords, InputPrefsDecodeTable)
{
    expect_decodes<InputPrefs>({
        {R"({})", InputPrefs{}},
        {R"({"keyboard_layouts": ["de", "us"], "keyboard_layout": "de", "compose_key": "ralt",
             "key_repeat_delay_ms": 400, "touchpad_natural_scroll": null, "accel_profile": "flat"})",
         InputPrefs{.touchpad_natural_scroll = std::nullopt,
                    .key_repeat_delay_ms = 400,
                    .keyboard_layout = "de",
                    .accel_profile = "flat",
                    .compose_key = "ralt",
                    .keyboard_layouts = {"de", "us"}}},
        {R"({"pointer_speed": 1})", InputPrefs{.pointer_speed = 1.0}},
        {R"({"keyboard_layouts": "us"})", std::nullopt},
        {R"({"key_repeat_rate_hz": -3})", std::nullopt},
    });
}

TEST(PreferenceRecords, NotificationPrefsDecodeTable)
{
    using config_sections::notification_policy::AppNotificationRule;
    using config_sections::notification_policy::FocusSchedule;
    expect_decodes<NotificationPrefs>({
        {R"({})", NotificationPrefs{}},
        {R"({"do_not_disturb": true, "focus": {"enabled": true}})",
         NotificationPrefs{.do_not_disturb = true, .focus = FocusSchedule{.enabled = true}}},
        {R"({"per_app": {"b": {"priority": true}, "a": {"muted_until": -5, "banners": false}, "b": {"sounds": true}}})",
         NotificationPrefs{.per_app = {{"a", AppNotificationRule{.banners = false, .muted_until = -5}},
                                       {"b", AppNotificationRule{.sounds = true}}}}},
        {R"({"focus": {"start_minute": 70000}})", std::nullopt},
        {R"({"per_app": {"a": {"priority": "yes"}}})", std::nullopt},
        {R"({"per_app": []})", std::nullopt},
    });
}

TEST(PreferenceRecords, AccessibilityPrefsAndLocaleDecodeTable)
{
    expect_decodes<AccessibilityPrefs>({
        {R"({})", AccessibilityPrefs{}},
        {R"({"color_filter": "grayscale_inverted", "magnifier_zoom": 4, "switch_key_pair": "digits12",
             "screen_reader_voice": "english_gb", "switch_scan_ms": 800})",
         AccessibilityPrefs{.color_filter = ColorFilter::GrayscaleInverted,
                            .magnifier_zoom = 4,
                            .switch_key_pair = SwitchKeyPair::Digits12,
                            .switch_scan_ms = 800,
                            .screen_reader_voice = ScreenReaderVoice::EnglishGb}},
        {R"({"magnifier_zoom": 256})", std::nullopt},
        {R"({"screen_reader_rate": 65536})", std::nullopt},
        {R"({"color_filter": "Grayscale"})", std::nullopt},
    });
    expect_decodes<Locale>({
        {R"({})", Locale{}},
        {R"({"currency": "JPY", "date_format": "Long", "time_format": "H12", "measurement": "Imperial",
             "number_style": "DecimalComma", "first_day_of_week": "Saturday"})",
         Locale{Currency::JPY, DateFormat::Long, HourCycle::H12, Measurement::Imperial, NumberStyle::DecimalComma,
                Weekday::Saturday}},
        {R"({"first_day_of_week": "Tuesday"})", std::nullopt},
        {R"({"measurement": "metric"})", std::nullopt},
    });
}

// A section of the settings file is read member by member: a bad member alone falls back to its default.
TEST(PreferenceRecords, ASectionMemberThatDoesNotReadFallsBackAlone)
{
    const auto section = [](const char* text) { return *json_text::parse(text); };
    EXPECT_EQ(decode_section<DisplayPrefs>(section(
                  R"({"auto_brightness": true, "night_light": true, "night_light_temperature": 18446744073709551616})")),
              (DisplayPrefs{.auto_brightness = true, .night_light = true}));
    for (const char* scale : {"1e308", "0", "-1", "0.1", "\"big\"", "null"}) {
        const std::string text = std::string(R"({"theme": "Nord", "high_contrast": true, "reduce_motion": false,
            "text_scale": 1.15, "ui_scale": )") + scale + "}";
        EXPECT_EQ(decode_section<AppearancePrefs>(section(text.c_str())),
                  (AppearancePrefs{.theme = "Nord", .high_contrast = true, .text_scale = 1.15})) << scale;
    }
    EXPECT_EQ(decode_section<AccessibilityPrefs>(
                  section(R"({"color_filter": "protanopia", "sticky_keys": true, "cursor_size": -4})")),
              (AccessibilityPrefs{.sticky_keys = true}));
    // Still whole: no object, or a required member missing.
    EXPECT_FALSE(decode_section<DisplayPrefs>(section(R"({"night_light": true})")));
    EXPECT_FALSE(decode_section<AppearancePrefs>(section(R"("Nord")")));
    // The positional form stays strict.
    EXPECT_FALSE(decode_section<DisplayPrefs>(section(R"([true, false, -1])")));
}

TEST(PreferenceRecords, ConfigSectionRecordsWriteEveryFieldInOrder)
{
    using config_sections::notification_policy::AppNotificationRule;
    using config_sections::notification_policy::FocusSchedule;
    EXPECT_EQ(json_text::compact(Json(AppNotificationRule{.priority = true})),
              R"({"banners":null,"sounds":null,"badges":null,"previews":null,"lock_screen":null,)"
              R"("cross_device":null,"priority":true,"priority_contacts":false,"muted_until":null})");
    EXPECT_EQ(json_text::compact(Json(FocusSchedule{})),
              R"({"enabled":false,"start_minute":1320,"end_minute":420,"weekdays":0,"allow_priority":true})");
    EXPECT_EQ(json_text::compact(Json(Locale{})),
              R"({"currency":"USD","date_format":"ISO","time_format":"H24","measurement":"Metric",)"
              R"("number_style":"DecimalPoint","first_day_of_week":"Monday"})");
}

TEST(PreferenceRecords, EnumerationLabelsAndNames)
{
    EXPECT_EQ(label(ColorFilter::None), "Off");
    EXPECT_EQ(label(ColorFilter::GrayscaleInverted), "Grayscale + inverted");
    EXPECT_EQ(from_label<ColorFilter>("Grayscale + inverted"), ColorFilter::GrayscaleInverted);
    EXPECT_EQ(from_label<ColorFilter>("Off"), ColorFilter::None);
    EXPECT_EQ(from_label<ColorFilter>("grayscale"), std::nullopt);
    EXPECT_EQ(label(DateFormat::EU), "European (15/03/2023)");
    EXPECT_EQ(label(PowerAction::Ignore), "Do nothing");
    EXPECT_EQ(label(Measurement::Imperial), "Imperial (°F, mi, lb)");
    EXPECT_EQ(label(Currency::CHF), "CHF");
    EXPECT_EQ(json_name(ScreenReaderVoice::EnglishUs), "english_us");
    EXPECT_EQ(from_json_name<SwitchKeyPair>("f9_f10"), SwitchKeyPair::F9F10);
    const auto weekdays = all_values<Weekday>();
    ASSERT_EQ(weekdays.size(), 3u);
    EXPECT_EQ(label(weekdays[2]), "Saturday");
}

}  // namespace
}  // namespace settings::prefs
