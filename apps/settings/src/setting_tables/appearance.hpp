#pragma once
// The Appearance page's setting table: theme, text size and UI scale (choices carried as labels), high contrast and
// reduced motion (switches), each with its document and set-setting key, the section's action and the stored
// field of the "appearance" section. The page's model and rows, the Appearance section's actions and the
// set-setting action's storing are built from it.

#include "prefs/records.hpp"
#include "setting_tables/labels.hpp"

#include <span>
#include <string>
#include <string_view>

namespace settings::setting_tables::appearance {

enum class Kind : std::uint8_t { Switch, Choice };

struct Setting {
    Kind kind;
    std::string_view key;     // "appearance.theme"
    std::string_view action;  // the section's action id: "theme"
    std::string_view title;   // the row's title: "Theme"
    std::string_view description;  // below a switch's title (empty for choices)
    // Choices: the action's title ("Set theme"); switches: what "Turn on ..."/"Turn off ..." name ("high contrast").
    std::string_view action_text;
    ChoiceList choices;                                                 // Choice only
    bool (*flag)(const prefs::AppearancePrefs&) = nullptr;              // Switch only
    void (*set_flag)(prefs::AppearancePrefs&, bool) = nullptr;          // Switch only
    std::string (*label)(const prefs::AppearancePrefs&) = nullptr;      // Choice only: the label in force
    bool (*take)(prefs::AppearancePrefs&, std::string_view) = nullptr;  // Choice only: false for no label
};

inline constexpr std::string_view theme_key = "appearance.theme";
inline constexpr std::string_view text_size_key = "appearance.text_size";
inline constexpr std::string_view ui_scale_key = "appearance.ui_scale";
inline constexpr std::string_view high_contrast_key = "appearance.high_contrast";
inline constexpr std::string_view reduce_motion_key = "appearance.reduce_motion";

// In the order the section publishes them: theme, high contrast, reduced motion, text size, UI scale.
[[nodiscard]] std::span<const Setting> settings();
[[nodiscard]] const Setting* find(std::string_view key);

// "“Aqua” is not a theme name." for the theme, else "Text size cannot be “Huge”: choose Small, Default, ...".
[[nodiscard]] std::string not_a_choice(const Setting& setting, std::string_view text);

}  // namespace settings::setting_tables::appearance
