#pragma once
// The Accessibility page's setting table: one row per setting with its document and set-setting key, the section's
// action id and title, the row's title and description, its choices, what the machine must offer for the row to
// be shown, and the stored field. The page's model seeds, reconciles and saves from it, the page builds its rows
// from it, the resource contract builds the Accessibility section's actions from it, and the set-setting action
// stores a value through it.
//
//   const Setting* row = find("a11y.cursor_size");
//   row->take(values, "Large")     -> true, values.accessibility.cursor_size == 36
//   row->take(values, "Huge")      -> false, values unchanged

#include "prefs/records.hpp"
#include "setting_tables/labels.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace settings::setting_tables::accessibility {

// What the page shows: the accessibility section and the three appearance fields it shares with Appearance (high
// contrast, reduced motion, text size).
struct Values {
    prefs::AppearancePrefs appearance;
    prefs::AccessibilityPrefs accessibility;
    friend bool operator==(const Values&, const Values&) = default;
};

// What the machine must offer for a row to be shown and its action published.
enum class Needs : std::uint8_t { Nothing, SpeechEngine, OnScreenKeyboard };

enum class Kind : std::uint8_t { Switch, Choice };

struct Setting {
    Kind kind;
    std::string_view key;           // document and set-setting key: "a11y.sticky_keys"
    std::string_view action;        // the section's action id: "sticky-keys"
    std::string_view action_title;  // "Set sticky keys"
    std::string_view title;         // the row's title and the control's accessible name
    std::string_view description;   // below a switch's title (empty for choices)
    Needs needs;
    ChoiceList choices;                                            // Choice only
    bool (*flag)(const Values&) = nullptr;                         // Switch only
    void (*set_flag)(Values&, bool) = nullptr;                     // Switch only
    std::string_view (*label)(const Values&) = nullptr;            // Choice only: the label in force
    bool (*take)(Values&, std::string_view) = nullptr;             // Choice only: false for a text that is no label
};

// Switches first (in the order the section publishes them), then choices.
[[nodiscard]] std::span<const Setting> settings();
[[nodiscard]] const Setting* find(std::string_view key);

// Whether a row is shown and its action published on a machine that offers these.
[[nodiscard]] bool offered(const Setting& setting, bool speech_engine, bool on_screen_keyboard);

// The value a row shows, as its document holds it.
[[nodiscard]] bool flag_of(const Setting& setting, const Values& values);
[[nodiscard]] std::string_view label_of(const Setting& setting, const Values& values);

// The sentence for a text that is no label of the row: "Cursor size cannot be “Huge”: choose Default, Large,
// Larger or Largest."
[[nodiscard]] std::string not_a_choice(const Setting& setting, std::string_view text);

}  // namespace settings::setting_tables::accessibility
