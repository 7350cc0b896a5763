#include "panes/accessibility/accessibility_model.hpp"

#include "panes/appearance/appearance_model.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "prefs/settings_file.hpp"
#include "prefs/window_appearance.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

namespace settings::panes::accessibility {

namespace pp = preference_pane;
namespace table = setting_tables::accessibility;

std::string label_for(const AccessibilityValues& values, std::string_view key)
{
    const table::Setting* row = table::find(key);
    return row == nullptr ? std::string() : std::string(table::label_of(*row, values));
}

std::string accessibility_save_failed_text(std::string_view error)
{
    return fmt::format("Accessibility settings could not be saved: {}", error);
}

AccessibilityModel AccessibilityModel::load()
{
    prefs::SettingsFile file = prefs::load_settings_file();
    return AccessibilityModel({std::move(file.appearance), std::move(file.accessibility)});
}

bool AccessibilityModel::sync(page_doc::Document& doc)
{
    if (!seeded_) {
        for (const table::Setting& row : table::settings()) {
            if (row.kind == table::Kind::Switch) {
                pp::put_bool_if_changed(doc, row.key, row.flag(values_));
            } else {
                pp::put_text_if_changed(doc, row.key, row.label(values_));
            }
        }
        seeded_ = true;
    }

    AccessibilityValues next = values_;
    for (const table::Setting& row : table::settings()) {
        if (row.kind == table::Kind::Switch) {
            if (const auto on = page_doc::doc_bool(doc, row.key)) {
                row.set_flag(next, *on);
            }
            continue;
        }
        // A label takes its table's value only when it differs from the label in force, so a stored value
        // between two entries (a speech rate of 120 under "Fast") stays as it is until another label is chosen.
        const auto label = page_doc::doc_text(doc, row.key);
        if (label && *label != row.label(next) && !row.take(next, *label)) {
            // No label of the table: nothing changes, and the control shows the value in force again.
            pp::put_text_if_changed(doc, row.key, row.label(next));
        }
    }

    if (next == values_) {
        return false;
    }
    values_ = std::move(next);
    // Only the fields this page owns: the theme and UI scale in the file stay as the Appearance page left them.
    prefs::SettingsFile file = prefs::load_settings_file();
    file.appearance.high_contrast = values_.appearance.high_contrast;
    file.appearance.reduce_motion = values_.appearance.reduce_motion;
    file.appearance.text_scale = values_.appearance.text_scale;
    file.accessibility = values_.accessibility;
    if (auto saved = prefs::save_settings_file(file); !saved) {
        VORN_WARN("accessibility_save", "failed to persist accessibility prefs: {}", saved.error());
        save_error_ = saved.error();
    } else {
        save_error_.reset();
    }
    prefs::set_window_appearance(file.appearance);
    return true;
}

}  // namespace settings::panes::accessibility
