#pragma once
// The label tables pages and the resource contract share. The settings file stores numbers, codes and enumeration
// values; pages, page documents and the actions of the sections carry labels. These tables are the one definition
// of those labels, of the rules between label and value, and of the choice lists the resource contract publishes.
// Every contract list is exactly a page table, so any choice automation can set is one the pages apply.
//
//   text_scale_label(1.2)              -> "Large"      (nearest entry, ties to the earlier one)
//   text_scale_from_label("Larger")    -> 1.3
//   text_scale_from_label("large")     -> none         (labels compare byte for byte; the caller keeps its value)
//   speech_rate_label(120)             -> "Fast"
//   speech_voice_choices().hint        -> "System voice, English (US), English (UK), German, French, Spanish"
//   detect_screen_reader_engine()      -> "Speech Dispatcher" when speech-dispatcher is on PATH

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace settings::setting_tables {

template <class T>
struct Choice {
    std::string_view label;
    T value;
};

template <class T, std::size_t N>
constexpr std::array<std::string_view, N> labels_of(const std::array<Choice<T>, N>& table)
{
    std::array<std::string_view, N> labels{};
    for (std::size_t i = 0; i < N; ++i) {
        labels[i] = table[i].label;
    }
    return labels;
}

// ---- Tables, each in the order its dropdown lists it -------------------------------------------------------------

// Themes (AppearancePrefs::theme).
inline constexpr std::array<std::string_view, 12> kThemeNames{
    "Dark", "Light", "Vorn Blue", "Catppuccin Mocha", "Catppuccin Latte", "Dracula",
    "Nord", "Gruvbox", "Gruvbox Light", "Solarized", "OLED", "Beige"};

// Text scale factor (AppearancePrefs::text_scale).
inline constexpr std::array<Choice<double>, 4> kTextScales{{
    {"Small", 0.85}, {"Default", 1.0}, {"Large", 1.15}, {"Larger", 1.3}}};

// Interface scale factor (AppearancePrefs::ui_scale).
inline constexpr std::array<Choice<double>, 5> kUiScales{{
    {"90%", 0.9}, {"100%", 1.0}, {"110%", 1.1}, {"125%", 1.25}, {"150%", 1.5}}};

// Cursor size in pixels (AccessibilityPrefs::cursor_size).
inline constexpr std::array<Choice<std::uint32_t>, 4> kCursorSizes{{
    {"Default", 24}, {"Large", 36}, {"Larger", 48}, {"Largest", 64}}};

// Colour filter (AccessibilityPrefs::color_filter), by the filter's value: none, grayscale, inverted, both.
inline constexpr std::array<Choice<std::uint8_t>, 4> kColorFilters{{
    {"Off", 0}, {"Grayscale", 1}, {"Inverted", 2}, {"Grayscale + inverted", 3}}};

// Magnifier lens zoom factor (AccessibilityPrefs::magnifier_zoom); 1 is off. The sign is U+00D7.
inline constexpr std::array<Choice<std::uint8_t>, 3> kMagnifierLenses{{
    {"Off", 1}, {"2\u00D7", 2}, {"3\u00D7", 3}}};

// Keys that drive switch control (AccessibilityPrefs::switch_key_pair): the first moves, the second activates.
inline constexpr std::array<Choice<std::uint8_t>, 3> kSwitchKeyPairs{{
    {"F6 / F7", 0}, {"F9 / F10", 1}, {"1 / 2", 2}}};

// Automatic switch scan interval in milliseconds (AccessibilityPrefs::switch_scan_ms); 0 is manual stepping.
inline constexpr std::array<Choice<std::uint16_t>, 4> kSwitchScans{{
    {"Manual", 0}, {"1 second", 1000}, {"2 seconds", 2000}, {"3 seconds", 3000}}};

// Screen-reader speech rate (AccessibilityPrefs::screen_reader_rate): the value each label stores.
inline constexpr std::array<Choice<std::uint16_t>, 4> kSpeechRates{{
    {"Slow", 65}, {"Default", 100}, {"Fast", 140}, {"Very fast", 185}}};

// Screen-reader voice (AccessibilityPrefs::screen_reader_voice), by the voice's value.
inline constexpr std::array<Choice<std::uint8_t>, 6> kScreenReaderVoices{{
    {"System voice", 0}, {"English (US)", 1}, {"English (UK)", 2}, {"German", 3}, {"French", 4}, {"Spanish", 5}}};

// Compose key (InputPrefs::compose_key), by its stored code; "Disabled" stores none.
inline constexpr std::string_view kComposeKeyDisabled = "Disabled";
inline constexpr std::array<Choice<std::string_view>, 5> kComposeKeys{{
    {"Right Alt", "ralt"}, {"Menu", "menu"}, {"Caps Lock", "caps"}, {"Right Super", "rwin"}, {"Left Super", "lwin"}}};
// "Disabled", then the keys: the list the page and the contract offer.
inline constexpr std::array<std::string_view, 6> kComposeKeyLabels{"Disabled",   "Right Alt",   "Menu",
                                                                   "Caps Lock", "Right Super", "Left Super"};

// Pointer acceleration profile (InputPrefs::accel_profile), by its stored name.
inline constexpr std::array<Choice<std::string_view>, 2> kAccelerationProfiles{{{"Adaptive", "adaptive"},
                                                                                {"Flat", "flat"}}};
inline constexpr std::array<std::string_view, 2> kAccelerationLabels{"Adaptive", "Flat"};

// ---- Value to label, label to value -------------------------------------------------------------------------------
// A label is matched byte for byte (case-sensitive). "None" means the text is no label of the table: the caller
// leaves the preference as it is.

[[nodiscard]] bool is_theme_name(std::string_view text);

[[nodiscard]] std::string_view text_scale_label(double factor);  // nearest; ties to the earlier entry
[[nodiscard]] std::optional<double> text_scale_from_label(std::string_view label);

[[nodiscard]] std::string_view ui_scale_label(double factor);  // nearest; ties to the earlier entry
[[nodiscard]] std::optional<double> ui_scale_from_label(std::string_view label);

[[nodiscard]] std::string_view cursor_size_label(std::uint32_t pixels);  // nearest; ties to the earlier entry
[[nodiscard]] std::optional<std::uint32_t> cursor_size_from_label(std::string_view label);

[[nodiscard]] std::string_view color_filter_label(std::uint8_t filter);  // "Off" for an unknown value
[[nodiscard]] std::optional<std::uint8_t> color_filter_from_label(std::string_view label);

[[nodiscard]] std::string_view magnifier_label(std::uint8_t zoom);  // 2 and 3 have a lens; any other zoom is "Off"
[[nodiscard]] std::optional<std::uint8_t> magnifier_zoom_from_label(std::string_view label);  // "Off" gives 1

[[nodiscard]] std::string_view switch_key_pair_label(std::uint8_t pair);  // the first pair for an unknown value
[[nodiscard]] std::optional<std::uint8_t> switch_key_pair_from_label(std::string_view label);

[[nodiscard]] std::string_view switch_scan_label(std::uint16_t milliseconds);  // "Manual" for any other interval
[[nodiscard]] std::optional<std::uint16_t> switch_scan_from_label(std::string_view label);  // "Manual" gives 0

// Below 76 "Slow", 76 to 115 "Default", 116 to 160 "Fast", 161 and above "Very fast".
[[nodiscard]] std::string_view speech_rate_label(std::uint16_t rate);
[[nodiscard]] std::optional<std::uint16_t> speech_rate_from_label(std::string_view label);  // "Default" gives 100

[[nodiscard]] std::string_view screen_reader_voice_label(std::uint8_t voice);  // "System voice" for an unknown value
[[nodiscard]] std::optional<std::uint8_t> screen_reader_voice_from_label(std::string_view label);

// "Right Alt" for "ralt", ...; "Disabled" for none or an unknown code.
[[nodiscard]] std::string_view compose_key_label(const std::optional<std::string>& code);
// The stored code of a label: none for "Disabled"; an error for a text that is no label.
[[nodiscard]] std::optional<std::optional<std::string_view>> compose_key_from_label(std::string_view label);
// "Flat" for "flat", otherwise "Adaptive".
[[nodiscard]] std::string_view acceleration_label(std::string_view stored);
[[nodiscard]] std::optional<std::string_view> acceleration_from_label(std::string_view label);

// ---- Choice lists of the resource contract ------------------------------------------------------------------------
// The choices a set-setting action offers, in dropdown order, and the hint text published with them.

struct ChoiceList {
    std::span<const std::string_view> choices;
    std::string_view hint;
};

[[nodiscard]] ChoiceList theme_choices();         // Appearance "theme" (its hint names six of the twelve themes)
[[nodiscard]] ChoiceList text_size_choices();     // Appearance "text_size", Accessibility "text-size"
[[nodiscard]] ChoiceList ui_scale_choices();      // Appearance "ui_scale"
[[nodiscard]] ChoiceList cursor_size_choices();   // Accessibility "cursor-size"
[[nodiscard]] ChoiceList colour_filter_choices(); // Accessibility "colour-filter"
[[nodiscard]] ChoiceList magnifier_choices();     // Accessibility "magnifier"
[[nodiscard]] ChoiceList switch_keys_choices();   // Accessibility "switch-keys"
[[nodiscard]] ChoiceList switch_scan_choices();   // Accessibility "switch-scan"
[[nodiscard]] ChoiceList speech_rate_choices();   // Accessibility "speech-rate"
[[nodiscard]] ChoiceList speech_voice_choices();  // Accessibility "speech-voice"

// ---- Assistive technology on this machine --------------------------------------------------------------------------
// Checked each time the Accessibility page builds its view and each time the Accessibility section is built.

// Whether a directory of the search path holds a regular file `name` (symbolic links followed; the executable bit
// plays no part). `path_list` is a PATH value: directories separated by ":", an empty entry meaning the current
// directory. The one-argument form reads the environment variable PATH and answers false when it is not set.
[[nodiscard]] bool find_on_path(std::string_view name);
[[nodiscard]] bool find_on_path(std::string_view name, std::string_view path_list);

// The speech engine a screen reader would use, by its shown name: "Speech Dispatcher" (speech-dispatcher) first,
// else "eSpeak NG" (espeak-ng); none without either. Without an engine neither the page nor the contract offers
// the screen reader switch, the speech rate or the voice.
[[nodiscard]] std::optional<std::string_view> detect_screen_reader_engine();
[[nodiscard]] std::optional<std::string_view> detect_screen_reader_engine(std::string_view path_list);
[[nodiscard]] bool has_screen_reader_engine();

}  // namespace settings::setting_tables
