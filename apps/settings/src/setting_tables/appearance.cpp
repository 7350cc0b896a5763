#include "setting_tables/appearance.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace settings::setting_tables::appearance {

namespace {

// A scale label takes its table's factor; an equal factor (within rounding) leaves the stored one as it is.
template <double& (*Field)(prefs::AppearancePrefs&)>
bool take_scale(prefs::AppearancePrefs& prefs, std::optional<double> factor)
{
    if (!factor) {
        return false;
    }
    double& field = Field(prefs);
    if (std::abs(*factor - field) > std::numeric_limits<double>::epsilon()) {
        field = *factor;
    }
    return true;
}

double& text_scale(prefs::AppearancePrefs& p) { return p.text_scale; }
double& ui_scale(prefs::AppearancePrefs& p) { return p.ui_scale; }

const std::array<Setting, 5> table{{
    {Kind::Choice, theme_key, "theme", "Theme", {}, "Set theme", theme_choices(), nullptr, nullptr,
     [](const prefs::AppearancePrefs& p) { return p.theme; },
     [](prefs::AppearancePrefs& p, std::string_view name) {
         if (!is_theme_name(name)) {
             return false;
         }
         p.theme = std::string(name);
         return true;
     }},
    {Kind::Switch, high_contrast_key, "high_contrast", "High contrast", "Maximise contrast for low-vision comfort",
     "high contrast", {},
     [](const prefs::AppearancePrefs& p) { return p.high_contrast; },
     [](prefs::AppearancePrefs& p, bool on) { p.high_contrast = on; }},
    {Kind::Switch, reduce_motion_key, "reduce_motion", "Reduce motion", "Skip animations and transitions",
     "reduced motion", {},
     [](const prefs::AppearancePrefs& p) { return p.reduce_motion; },
     [](prefs::AppearancePrefs& p, bool on) { p.reduce_motion = on; }},
    {Kind::Choice, text_size_key, "text_size", "Text size", {}, "Set text size", text_size_choices(), nullptr, nullptr,
     [](const prefs::AppearancePrefs& p) { return std::string(text_scale_label(p.text_scale)); },
     [](prefs::AppearancePrefs& p, std::string_view label) {
         return take_scale<text_scale>(p, text_scale_from_label(label));
     }},
    {Kind::Choice, ui_scale_key, "ui_scale", "UI scale", {}, "Set UI scale", ui_scale_choices(), nullptr, nullptr,
     [](const prefs::AppearancePrefs& p) { return std::string(ui_scale_label(p.ui_scale)); },
     [](prefs::AppearancePrefs& p, std::string_view label) {
         return take_scale<ui_scale>(p, ui_scale_from_label(label));
     }},
}};

}  // namespace

std::span<const Setting> settings() { return table; }

const Setting* find(std::string_view key)
{
    const auto it = std::ranges::find(table, key, &Setting::key);
    return it == table.end() ? nullptr : &*it;
}

std::string not_a_choice(const Setting& setting, std::string_view text)
{
    if (setting.key == theme_key) {
        return fmt::format("\u201C{}\u201D is not a theme name.", text);
    }
    return fmt::format("{} cannot be \u201C{}\u201D: choose {}.", setting.title, text, setting.choices.hint);
}

}  // namespace settings::setting_tables::appearance
