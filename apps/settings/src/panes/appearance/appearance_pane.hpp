#pragma once
// The Appearance page: theme, UI scale and text size, high contrast and reduced motion. The page saves the
// "appearance" section itself and hands its look to the toolkit as the window's theme, so the whole window shows
// what the page saves; a change of a scale makes the shell build the window anew.

#include "panes/appearance/appearance_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include <memory>

namespace settings::panes::appearance {

inline constexpr std::string_view shared_caption =
    "Your theme, contrast, motion, UI-scale, and text-size choices are read by the compositor and every Vorn app, "
    "so the whole system follows the look you pick here. UI scale grows the entire interface and composes with each "
    "display's own fractional scale; text size adjusts type on top.";

class AppearancePane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::appearance::AppearancePane", "AppearancePane")

    explicit AppearancePane(AppearanceModel model);
    // With the preferences of the settings file.
    AppearancePane();

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] std::optional<vorn_ui::Theme> theme_override() const override { return window_theme_; }

    [[nodiscard]] const AppearanceModel& model() const { return model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    AppearanceModel model_;
    vorn_ui::Theme window_theme_;
};

[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_appearance_pane();

}  // namespace settings::panes::appearance
