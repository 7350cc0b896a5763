#include "panes/appearance/appearance_model.hpp"

#include "panes/appearance/choices/choices.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "prefs/settings_file.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <cmath>
#include <limits>

namespace settings::panes::appearance {

namespace pp = preference_pane;
namespace ch = choices;

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

namespace {

std::optional<prefs::AppearancePrefs>& window_appearance_slot()
{
    static std::optional<prefs::AppearancePrefs> slot;
    return slot;
}

}  // namespace

const prefs::AppearancePrefs& window_appearance()
{
    auto& slot = window_appearance_slot();
    if (!slot) {
        slot = prefs::load_settings_file().appearance;
    }
    return *slot;
}

void set_window_appearance(const prefs::AppearancePrefs& prefs) { window_appearance_slot() = prefs; }

std::optional<vorn_ui::Theme> window_theme_override()
{
    const prefs::AppearancePrefs& appearance = window_appearance();
    if (appearance == prefs::AppearancePrefs{}) {
        return std::nullopt;
    }
    return window_theme(appearance);
}

AppearanceModel AppearanceModel::load() { return AppearanceModel(prefs::load_settings_file().appearance); }

namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();

// A label of a scale table chosen in the document: its factor when the table knows it, else the key is put back.
template <class FromLabel>
void take_scale(page_doc::Document& doc, vorn_ui::ActionHost& host, std::string_view key, std::string_view label,
                double& factor, FromLabel from_label)
{
    const auto chosen = pp::reconcile_text(doc, host, key, label);
    if (!chosen.changed) {
        return;
    }
    if (const std::optional<double> value = from_label(chosen.value)) {
        if (std::abs(*value - factor) > epsilon) {
            factor = *value;
        }
        return;
    }
    pp::restore_text(doc, host, key, label);
}

}  // namespace

AppearanceSync AppearanceModel::sync(page_doc::Document& doc)
{
    if (!seeded_) {
        pp::publish_text(host_, doc, theme_key, prefs_.theme);
        pp::publish_text(host_, doc, text_size_key, ch::text_scale_label(prefs_.text_scale));
        pp::publish_text(host_, doc, ui_scale_key, ch::ui_scale_label(prefs_.ui_scale));
        pp::publish_bool(host_, doc, high_contrast_key, prefs_.high_contrast);
        pp::publish_bool(host_, doc, reduce_motion_key, prefs_.reduce_motion);
        // The controls start from the stored values too, not from what an earlier visit left in the document.
        pp::put_text_if_changed(doc, pp::edit_key(theme_key), prefs_.theme);
        pp::put_text_if_changed(doc, pp::edit_key(text_size_key), ch::text_scale_label(prefs_.text_scale));
        pp::put_text_if_changed(doc, pp::edit_key(ui_scale_key), ch::ui_scale_label(prefs_.ui_scale));
        pp::put_bool_if_changed(doc, pp::edit_key(high_contrast_key), prefs_.high_contrast);
        pp::put_bool_if_changed(doc, pp::edit_key(reduce_motion_key), prefs_.reduce_motion);
        seeded_ = true;
    }

    prefs::AppearancePrefs next = prefs_;
    if (const auto theme = pp::reconcile_text(doc, host_, theme_key, prefs_.theme); theme.changed) {
        if (ch::is_theme_name(theme.value)) {
            next.theme = theme.value;
        } else {
            pp::restore_text(doc, host_, theme_key, prefs_.theme);
        }
    }
    take_scale(doc, host_, text_size_key, ch::text_scale_label(prefs_.text_scale), next.text_scale,
               ch::text_scale_from_label);
    take_scale(doc, host_, ui_scale_key, ch::ui_scale_label(prefs_.ui_scale), next.ui_scale, ch::ui_scale_from_label);
    next.high_contrast = pp::reconcile_bool(doc, host_, high_contrast_key, prefs_.high_contrast).value;
    next.reduce_motion = pp::reconcile_bool(doc, host_, reduce_motion_key, prefs_.reduce_motion).value;

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
    set_window_appearance(prefs_);
    return outcome;
}

}  // namespace settings::panes::appearance
