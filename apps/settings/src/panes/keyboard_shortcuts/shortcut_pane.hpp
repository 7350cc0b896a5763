#pragma once
// The Keyboard Shortcuts page: one recorder per shortcut of the catalogue (the system shortcuts, then vim-style
// navigation and the desktop-navigation shortcuts), each with the sentence of its last refused change.

#include "panes/keyboard_shortcuts/shortcut_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include <memory>

namespace settings::panes::keyboard_shortcuts {

class ShortcutPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::keyboard_shortcuts::ShortcutPane", "ShortcutPane")

    explicit ShortcutPane(ShortcutModel model);
    // The stored configurations.
    [[nodiscard]] static ShortcutPane load();

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] const ShortcutModel& model() const { return model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    ShortcutModel model_;
};

[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_shortcut_pane();

}  // namespace settings::panes::keyboard_shortcuts
