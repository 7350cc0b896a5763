#pragma once
// The Mouse & Keyboard page. Its controls are bound to the actions of the Mouse & Keyboard section: the
// device-local operation runner changes the input preferences and the system and shows this section. The page
// follows the application's operation-status cell (with_operation_status): whenever the runner publishes into it,
// the next sync reads the input preferences again and shows what changed, so an operation from a control or from
// automation shows on the open page. Spell checking and auto-correction are kept by the page itself.
//
//   MouseKeyboardPane().with_operation_status(app.operation_status())

#include "operations/cells.hpp"
#include "panes/mouse_keyboard/mouse_keyboard_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include <cstdint>
#include <memory>

namespace settings::panes::mouse_keyboard {

class MouseKeyboardPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::mouse_keyboard::MouseKeyboardPane", "MouseKeyboardPane")

    explicit MouseKeyboardPane(MouseKeyboardModel model);
    MouseKeyboardPane();

    // Follows the application's operation-status cell instead of the page's own idle one.
    [[nodiscard]] MouseKeyboardPane with_operation_status(const operations::OperationStatusCell& cell) &&;

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] const MouseKeyboardModel& model() const { return model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    MouseKeyboardModel model_;
    operations::OperationStatusCell operation_status_{operations::OperationStatus::idle()};
    std::uint64_t status_seen_ = 0;  // the cell's version when the input preferences were last read
    // The input preferences were read again (or the view is new): the controls show them, so a change the runner
    // refused goes back to the value in force. Set only then, so that a slider being dragged is not put back.
    bool input_unshown_ = true;
};

// The page as the pane factory builds it, following `operation_status`.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_mouse_keyboard_pane(
    const operations::OperationStatusCell& operation_status);

}  // namespace settings::panes::mouse_keyboard
