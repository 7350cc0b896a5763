#include "panes/appearance/appearance_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "page_helpers/layout.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>

#include <cmath>

namespace settings::panes::appearance {

namespace ph = page_helpers;
namespace cat = actions::catalogue;
namespace table = setting_tables::appearance;
using preference_pane::edit_key;

namespace {

std::string percent(float factor) { return fmt::format("{}%", std::lround(static_cast<double>(factor) * 100.0)); }

// A row of the setting table as its control: the control writes the row's edit key (the model reconciles it with
// the setting key); a choice is bound to its action of the one built section, and a switch, whose action is a
// parameterless "Turn on ..."/"Turn off ...", requires that action for automation.
ph::WidgetBox control(const table::Setting& row, const cat::SectionBindings& bindings,
                      const prefs::AppearancePrefs& prefs)
{
    if (row.kind == table::Kind::Switch) {
        bindings.require(row.action);
        return vorn_ui::Toggle("settings." + std::string(row.key), edit_key(row.key))
            .with_id(std::string(row.key))
            .with_label(std::string(row.title))
            .boxed();
    }
    return vorn_ui::Dropdown(std::string(row.key), {row.choices.choices.begin(), row.choices.choices.end()})
        .with_key(edit_key(row.key))
        .with_placeholder(row.label(prefs))
        .with_label(std::string(row.title))
        .on_action(bindings.choice(row.action))
        .boxed();
}

ph::WidgetBox setting_row(std::string_view key, const cat::SectionBindings& bindings,
                          const prefs::AppearancePrefs& prefs)
{
    const table::Setting& row = *table::find(key);
    if (row.kind == table::Kind::Switch) {
        return ph::setting_row_described(row.title, row.description, control(row, bindings, prefs));
    }
    return ph::setting_row_fixed(row.title, control(row, bindings, prefs));
}

}  // namespace

AppearancePane::AppearancePane(AppearanceModel model)
    : PreferencePane({"appearance", "Appearance", "Change appearance preferences"}),
      model_(std::move(model)),
      window_theme_(window_theme(model_.prefs()))
{
}

AppearancePane::AppearancePane() : AppearancePane(AppearanceModel::load()) {}

void AppearancePane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    if (model_.sync(doc).changed) {
        window_theme_ = window_theme(model_.prefs());
        ctx.changed = true;
    }
    refresh_view(doc, ctx);
}

// The save error's caption is the only row that comes and goes; every value changes in place.
std::string AppearancePane::structure_key() const { return model_.save_error() ? "error" : ""; }

namespace {

constexpr std::string_view applied_theme_id = "appearance.applied.theme";
constexpr std::string_view applied_ui_scale_id = "appearance.applied.ui_scale";
constexpr std::string_view applied_text_scale_id = "appearance.applied.text_scale";
constexpr std::string_view applied_motion_id = "appearance.applied.reduced_motion";
constexpr std::string_view save_error_id = "appearance.save_error";

}  // namespace

bool AppearancePane::show_values()
{
    const vorn_ui::Theme applied = theme_from_prefs(model_.prefs());
    bool changed = show_text(applied_theme_id, applied.name);
    changed |= show_text(applied_ui_scale_id, percent(applied.ui_scale));
    changed |= show_text(applied_text_scale_id, percent(applied.text_scale));
    changed |= show_text(applied_motion_id, applied.reduced_motion ? "On" : "Off");
    if (const auto& error = model_.save_error()) {
        changed |= show_text(save_error_id, appearance_save_failed_text(*error));
    }
    return changed;
}

std::unique_ptr<vorn_ui::Widget> AppearancePane::build_view()
{
    const prefs::AppearancePrefs& p = model_.prefs();
    const vorn_ui::Theme applied = theme_from_prefs(p);
    // One section for every control of the view.
    const cat::SectionBindings bindings = cat::appearance_bindings();

    std::vector<ph::WidgetBox> theme_rows;
    for (const std::string_view key : {theme_key, ui_scale_key, text_size_key}) {
        theme_rows.push_back(setting_row(key, bindings, p));
    }

    std::vector<ph::WidgetBox> access_rows;
    for (const std::string_view key : {high_contrast_key, reduce_motion_key}) {
        access_rows.push_back(setting_row(key, bindings, p));
    }

    std::vector<ph::WidgetBox> applied_rows;
    applied_rows.push_back(ph::value_row("Active theme", applied.name, applied_theme_id));
    applied_rows.push_back(ph::value_row("UI scale", percent(applied.ui_scale), applied_ui_scale_id));
    applied_rows.push_back(ph::value_row("Text scale", percent(applied.text_scale), applied_text_scale_id));
    applied_rows.push_back(
        ph::value_row("Reduced motion", applied.reduced_motion ? "On" : "Off", applied_motion_id));

    std::vector<ph::WidgetBox> cards;
    cards.push_back(ph::labelled_card("Theme", ph::compact_stack(std::move(theme_rows))));
    cards.push_back(ph::labelled_card("Accessibility", ph::compact_stack(std::move(access_rows))));
    cards.push_back(ph::labelled_card("Applied theme", ph::compact_stack(std::move(applied_rows))));
    cards.push_back(ph::labelled_card("Shared with your apps", ph::caption(shared_caption)));
    if (const auto& error = model_.save_error()) {
        cards.push_back(ph::caption(appearance_save_failed_text(*error), save_error_id));
    }
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> boxed_appearance_pane() { return std::make_unique<AppearancePane>(); }

}  // namespace settings::panes::appearance
