#include "panes/appearance/appearance_model.hpp"

#include "setting_tables/labels.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "prefs/settings_file.hpp"
#include "prefs/window_appearance.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <cmath>
#include <limits>

namespace settings::panes::appearance {

namespace pp = preference_pane;
namespace ch = setting_tables;
namespace table = setting_tables::appearance;

vorn_ui::Theme theme_by_name(std::string_view name)
{
    if (name.starts_with("custom:")) {
        return vorn_ui::Theme::configured();
    }
    if (ch::is_theme_name(name)) {
        if (auto theme = vorn_ui::Theme::named(name)) {
            return std::move(*theme);
        }
    }
    return vorn_ui::Theme::dark();
}

vorn_ui::Theme theme_from_prefs(const prefs::AppearancePrefs& prefs)
{
    vorn_ui::Theme theme = prefs.high_contrast ? vorn_ui::Theme::high_contrast_theme() : theme_by_name(prefs.theme);
    return std::move(theme)
        .with_ui_scale(static_cast<float>(prefs.ui_scale))
        .with_text_scale(static_cast<float>(prefs.text_scale))
        .with_reduced_motion(prefs.reduce_motion);
}

vorn_ui::Theme window_theme(const prefs::AppearancePrefs& prefs)
{
    vorn_ui::Theme theme = theme_by_name(prefs.theme)
                               .with_ui_scale(static_cast<float>(prefs.ui_scale))
                               .with_text_scale(static_cast<float>(prefs.text_scale))
                               .with_reduced_motion(prefs.reduce_motion);
    theme.high_contrast = prefs.high_contrast;
    return theme;
}

std::string appearance_save_failed_text(std::string_view error)
{
    return fmt::format("Appearance could not be saved: {}", error);
}

AppearanceModel AppearanceModel::load() { return AppearanceModel(prefs::load_settings_file().appearance); }

AppearanceSync AppearanceModel::sync(page_doc::Document& doc)
{
    if (!seeded_) {
        // The controls start from the stored values too, not from what an earlier visit left in the document.
        for (const table::Setting& row : table::settings()) {
            if (row.kind == table::Kind::Switch) {
                pp::publish_bool(host_, doc, row.key, row.flag(prefs_));
                pp::put_bool_if_changed(doc, pp::edit_key(row.key), row.flag(prefs_));
            } else {
                const std::string label = row.label(prefs_);
                pp::publish_text(host_, doc, row.key, label);
                pp::put_text_if_changed(doc, pp::edit_key(row.key), label);
            }
        }
        seeded_ = true;
    }

    prefs::AppearancePrefs next = prefs_;
    for (const table::Setting& row : table::settings()) {
        if (row.kind == table::Kind::Switch) {
            row.set_flag(next, pp::reconcile_bool(doc, host_, row.key, row.flag(prefs_)).value);
            continue;
        }
        // A text that is no label of the row is not taken: the keys show the label in force again.
        const std::string in_force = row.label(prefs_);
        if (const auto chosen = pp::reconcile_text(doc, host_, row.key, in_force);
            chosen.changed && !row.take(next, chosen.value)) {
            pp::restore_text(doc, host_, row.key, in_force);
        }
    }

    if (next == prefs_) {
        return {};
    }
    const AppearanceSync outcome{
        .changed = true,
        .scale_changed = next.text_scale != prefs_.text_scale || next.ui_scale != prefs_.ui_scale,
    };
    prefs_ = std::move(next);
    prefs::SettingsFile file = prefs::load_settings_file();
    file.appearance = prefs_;
    if (auto saved = prefs::save_settings_file(file); !saved) {
        VORN_WARN("appearance_save", "failed to persist appearance prefs: {}", saved.error());
        save_error_ = saved.error();
    } else {
        save_error_.reset();
    }
    prefs::set_window_appearance(prefs_);
    return outcome;
}

}  // namespace settings::panes::appearance
