#pragma once
// The Mouse & Keyboard page. Its controls are bound to the actions of the Mouse & Keyboard section: the
// device-local operation runner changes the input preferences and the system and shows this section again, so the
// page is rebuilt with the new values. Spell checking and auto-correction are kept by the page itself.

#include "panes/mouse_keyboard/mouse_keyboard_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include <memory>

namespace settings::panes::mouse_keyboard {

class MouseKeyboardPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::mouse_keyboard::MouseKeyboardPane", "MouseKeyboardPane")

    explicit MouseKeyboardPane(MouseKeyboardModel model);
    MouseKeyboardPane();

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] const MouseKeyboardModel& model() const { return model_; }

private:
    [[nodiscard]] std::string view_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;

    MouseKeyboardModel model_;
};

[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_mouse_keyboard_pane();

}  // namespace settings::panes::mouse_keyboard
