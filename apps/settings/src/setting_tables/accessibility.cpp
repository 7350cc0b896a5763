#include "setting_tables/accessibility.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>

namespace settings::setting_tables::accessibility {

using prefs::ColorFilter;
using prefs::ScreenReaderVoice;
using prefs::SwitchKeyPair;

namespace {

// A switch over a boolean field.
#define VORN_A11Y_SWITCH(key, action, action_title, title, description, needs, member)                              \
    Setting{Kind::Switch, key, action, action_title, title, description, needs, {},                                  \
            [](const Values& v) { return v.member; }, [](Values& v, bool on) { v.member = on; }, nullptr, nullptr}

// A choice over a field read and written through a label table.
#define VORN_A11Y_CHOICE(key, action, action_title, title, needs, list, to_label, from_label, member, cast)          \
    Setting{Kind::Choice, key, action, action_title, title, {}, needs, list(), nullptr, nullptr,                     \
            [](const Values& v) { return to_label(cast(v.member)); },                                                \
            [](Values& v, std::string_view label) {                                                                  \
                const auto value = from_label(label);                                                                \
                if (value) {                                                                                         \
                    v.member = static_cast<decltype(v.member)>(*value);                                              \
                }                                                                                                    \
                return value.has_value();                                                                            \
            }}

template <class T>
constexpr T same(T value)
{
    return value;
}

constexpr std::uint8_t code(auto value) { return static_cast<std::uint8_t>(value); }

const std::array<Setting, 19> table{{
    VORN_A11Y_SWITCH("a11y.high_contrast", "high-contrast", "Set high contrast", "High contrast",
                     "Maximise contrast for low-vision comfort", Needs::Nothing, appearance.high_contrast),
    VORN_A11Y_SWITCH("a11y.reduce_motion", "reduce-motion", "Set reduced motion", "Reduce motion",
                     "Skip animations and transitions", Needs::Nothing, appearance.reduce_motion),
    VORN_A11Y_SWITCH("a11y.large_cursor", "large-cursor", "Set large cursor", "Large cursor",
                     "Enlarge the mouse pointer so it is easy to find", Needs::Nothing, accessibility.large_cursor),
    VORN_A11Y_SWITCH("a11y.sticky_keys", "sticky-keys", "Set sticky keys", "Sticky keys",
                     "Type shortcuts one key at a time instead of holding a chord", Needs::Nothing,
                     accessibility.sticky_keys),
    VORN_A11Y_SWITCH("a11y.slow_keys", "slow-keys", "Set slow keys", "Slow keys",
                     "Ignore brief, accidental key presses", Needs::Nothing, accessibility.slow_keys),
    VORN_A11Y_SWITCH("a11y.visual_alerts", "visual-alerts", "Set visual alerts", "Visual alerts",
                     "Flash a clear screen-edge alert when a notification arrives", Needs::Nothing,
                     accessibility.visual_alerts),
    VORN_A11Y_SWITCH("a11y.cursor_crosshair", "pointer-crosshair", "Set pointer crosshair", "Pointer crosshair",
                     "Draw high-contrast guide lines through the pointer", Needs::Nothing,
                     accessibility.cursor_crosshair),
    VORN_A11Y_SWITCH("a11y.thick_text_caret", "thick-text-caret", "Set thicker text cursor", "Thicker text cursor",
                     "Use a wider insertion caret in Vorn applications", Needs::Nothing,
                     accessibility.thick_text_caret),
    VORN_A11Y_SWITCH("a11y.switch_control", "switch-control", "Set switch control", "Switch control",
                     "Translate a hardware switch pair into standard Tab and Enter actions", Needs::Nothing,
                     accessibility.switch_control),
    VORN_A11Y_SWITCH("a11y.on_screen_keyboard", "on-screen-keyboard", "Set on-screen keyboard", "On-screen keyboard",
                     "Show the keyboard automatically for focused text fields", Needs::OnScreenKeyboard,
                     accessibility.on_screen_keyboard),
    VORN_A11Y_SWITCH("a11y.screen_reader", "screen-reader", "Set screen reader", "Screen reader",
                     "Read focused controls and live announcements aloud", Needs::SpeechEngine,
                     accessibility.screen_reader),
    VORN_A11Y_CHOICE("a11y.text_size", "text-size", "Set text size", "Text size", Needs::Nothing, text_size_choices,
                     text_scale_label, text_scale_from_label, appearance.text_scale, same),
    VORN_A11Y_CHOICE("a11y.cursor_size", "cursor-size", "Set cursor size", "Cursor size", Needs::Nothing,
                     cursor_size_choices, cursor_size_label, cursor_size_from_label, accessibility.cursor_size, same),
    VORN_A11Y_CHOICE("a11y.color_filter", "colour-filter", "Set colour filter", "Colour filter", Needs::Nothing,
                     colour_filter_choices, color_filter_label, color_filter_from_label, accessibility.color_filter,
                     code),
    VORN_A11Y_CHOICE("a11y.magnifier", "magnifier", "Set magnifier lens", "Magnifier lens", Needs::Nothing,
                     magnifier_choices, magnifier_label, magnifier_zoom_from_label, accessibility.magnifier_zoom,
                     same),
    VORN_A11Y_CHOICE("a11y.switch_keys", "switch-keys", "Set switch keys", "Switch keys (next / activate)",
                     Needs::Nothing, switch_keys_choices, switch_key_pair_label, switch_key_pair_from_label,
                     accessibility.switch_key_pair, code),
    VORN_A11Y_CHOICE("a11y.switch_scan", "switch-scan", "Set automatic switch scan", "Automatic scan", Needs::Nothing,
                     switch_scan_choices, switch_scan_label, switch_scan_from_label, accessibility.switch_scan_ms,
                     same),
    VORN_A11Y_CHOICE("a11y.reader_rate", "speech-rate", "Set screen-reader speech rate", "Speech rate",
                     Needs::SpeechEngine, speech_rate_choices, speech_rate_label, speech_rate_from_label,
                     accessibility.screen_reader_rate, same),
    VORN_A11Y_CHOICE("a11y.reader_voice", "speech-voice", "Set screen-reader voice", "Voice", Needs::SpeechEngine,
                     speech_voice_choices, screen_reader_voice_label, screen_reader_voice_from_label,
                     accessibility.screen_reader_voice, code),
}};

#undef VORN_A11Y_SWITCH
#undef VORN_A11Y_CHOICE

}  // namespace

std::span<const Setting> settings() { return table; }

const Setting* find(std::string_view key)
{
    const auto it = std::ranges::find(table, key, &Setting::key);
    return it == table.end() ? nullptr : &*it;
}

bool offered(const Setting& setting, bool speech_engine, bool on_screen_keyboard)
{
    switch (setting.needs) {
    case Needs::SpeechEngine: return speech_engine;
    case Needs::OnScreenKeyboard: return on_screen_keyboard;
    case Needs::Nothing: break;
    }
    return true;
}

bool flag_of(const Setting& setting, const Values& values)
{
    return setting.flag != nullptr && setting.flag(values);
}

std::string_view label_of(const Setting& setting, const Values& values)
{
    return setting.label != nullptr ? setting.label(values) : std::string_view();
}

std::string not_a_choice(const Setting& setting, std::string_view text)
{
    return fmt::format("{} cannot be \u201C{}\u201D: choose {}.", setting.title, text, setting.choices.hint);
}

}  // namespace settings::setting_tables::accessibility
