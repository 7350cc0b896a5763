#pragma once
// What the Appearance page keeps and decides, apart from its widgets: the appearance preferences (section
// "appearance" of the settings file), their reconciliation with the page document in both directions, the save,
// and the theme the whole window is drawn with.
//
// Document keys: the setting keys of the Appearance setting table (setting_tables/appearance.hpp; the page's
// controls write each one's edit key, K + ".edit"):
//   "appearance.theme"         a theme name ("Dark", "Nord", ...)
//   "appearance.text_size"     a text scale label ("Small", "Default", "Large", "Larger")
//   "appearance.ui_scale"      a UI scale label ("90%" ... "150%")
//   "appearance.high_contrast", "appearance.reduce_motion"   booleans
//
// A text that is no name or label of its table is not taken: the keys are put back to what is in force, and the
// settings file is written only when a preference value really changed.

#include "page_doc/page_doc.hpp"
#include "prefs/records.hpp"
#include "setting_tables/appearance.hpp"
#include "vorn_ui/actions/action_host.hpp"
#include "vorn_ui/theme.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::appearance {

using setting_tables::appearance::high_contrast_key;
using setting_tables::appearance::reduce_motion_key;
using setting_tables::appearance::text_size_key;
using setting_tables::appearance::theme_key;
using setting_tables::appearance::ui_scale_key;

// The theme a stored name stands for: "custom:..." the user's configured theme, one of the twelve names its theme,
// anything else the dark theme.
[[nodiscard]] vorn_ui::Theme theme_by_name(std::string_view name);

// The look the page shows as "Applied theme": the high-contrast theme when high contrast is on, else the named
// theme; with both scales and reduced motion.
[[nodiscard]] vorn_ui::Theme theme_from_prefs(const prefs::AppearancePrefs& prefs);

// The theme the window is drawn with: the named theme (high contrast does not replace it) with both scales and the
// high-contrast and reduced-motion flags set.
[[nodiscard]] vorn_ui::Theme window_theme(const prefs::AppearancePrefs& prefs);

struct AppearanceSync {
    bool changed = false;        // a preference changed (and a save was made)
    bool scale_changed = false;  // the text or UI scale changed: the window's layout must be built anew
};

class AppearanceModel {
public:
    explicit AppearanceModel(prefs::AppearancePrefs prefs) : prefs_(std::move(prefs)) {}
    // With the preferences of the settings file.
    [[nodiscard]] static AppearanceModel load();

    // Seeds the document on the first call, then reconciles the five keys, saves a changed section.
    AppearanceSync sync(page_doc::Document& doc);

    [[nodiscard]] const prefs::AppearancePrefs& prefs() const { return prefs_; }
    // The reason of the last failed save; cleared by the next successful one.
    [[nodiscard]] const std::optional<std::string>& save_error() const { return save_error_; }
    [[nodiscard]] vorn_ui::ActionHost& host() { return host_; }

private:
    prefs::AppearancePrefs prefs_;
    vorn_ui::ActionHost host_;
    bool seeded_ = false;
    std::optional<std::string> save_error_;
};

// The sentence shown when the section could not be saved.
[[nodiscard]] std::string appearance_save_failed_text(std::string_view error);

}  // namespace settings::panes::appearance
