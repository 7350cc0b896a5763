#include "panes/appearance/appearance_pane.hpp"

#include "page_helpers/layout.hpp"
#include "panes/appearance/choices/choices.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>

#include <cmath>

namespace settings::panes::appearance {

namespace ph = page_helpers;
namespace ch = choices;
using preference_pane::edit_key;

namespace {

std::vector<std::string> texts(std::span<const std::string_view> labels)
{
    return {labels.begin(), labels.end()};
}

template <std::size_t N, class T>
std::vector<std::string> labels(const std::array<ch::Choice<T>, N>& table)
{
    std::vector<std::string> out;
    for (const auto& choice : table) {
        out.emplace_back(choice.label);
    }
    return out;
}

std::string percent(float factor) { return fmt::format("{}%", std::lround(static_cast<double>(factor) * 100.0)); }

ph::WidgetBox dropdown(std::string_view key, std::string_view title, std::vector<std::string> choices,
                       std::string_view placeholder)
{
    return vorn_ui::Dropdown(std::string(key), std::move(choices))
        .with_key(edit_key(key))
        .with_placeholder(std::string(placeholder))
        .with_label(std::string(title))
        .boxed();
}

ph::WidgetBox toggle(std::string_view key, std::string_view title)
{
    return vorn_ui::Toggle("settings." + std::string(key), edit_key(key))
        .with_id(std::string(key))
        .with_label(std::string(title))
        .boxed();
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

    std::vector<ph::WidgetBox> theme_rows;
    theme_rows.push_back(ph::setting_row_fixed(
        "Theme", dropdown(theme_key, "Theme", texts(ch::kThemeNames), applied.name)));
    theme_rows.push_back(ph::setting_row_fixed(
        "UI scale", dropdown(ui_scale_key, "UI scale", labels(ch::kUiScales), ch::ui_scale_label(p.ui_scale))));
    theme_rows.push_back(ph::setting_row_fixed(
        "Text size",
        dropdown(text_size_key, "Text size", labels(ch::kTextScales), ch::text_scale_label(p.text_scale))));

    std::vector<ph::WidgetBox> access_rows;
    access_rows.push_back(ph::setting_row_described("High contrast", "Maximise contrast for low-vision comfort",
                                                    toggle(high_contrast_key, "High contrast")));
    access_rows.push_back(ph::setting_row_described("Reduce motion", "Skip animations and transitions",
                                                    toggle(reduce_motion_key, "Reduce motion")));

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
