#pragma once
// The Bluetooth page's widget: one card "Bluetooth" with the power switch beside its title, the discovery and
// refresh buttons, the status sentence and one entry per device (name, main button, details, state with battery;
// opened: address, signal, and for a paired device trust, rename and forget).
//
// The view is built once and its values are changed in place: the names, state captions, signal, status and
// button captions follow the model at every sync. It is built again only when entries or controls appear or go
// (a device listed or gone, a main button that becomes another verb, details opened or closed, the status line
// shown or hidden); the control that had the focus gets it back in the new view, found by its control id (a
// device's main button by its device when the verb changed), and the alias being typed is kept.
//
// Every control writes its document key (bluetooth_model.hpp); the model acts on it. The power switch is also
// bound to the Bluetooth section's "bluetooth" action of the static resource contract.
//
//   auto pane = std::make_unique<BluetoothPane>(std::make_shared<BluezBackend>(), BluetoothWorkers::background());
//   pane->share_operation_cells(app.operation_requests(), app.operation_status());

#include "panes/bluetooth/bluetooth_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include "vorn_actions/binding.hpp"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vorn_ui::widget::button {
class Button;
}
namespace vorn_ui::widget::text {
class Text;
}
namespace vorn_ui::widget::toggle {
class Toggle;
}

namespace settings::panes::bluetooth {

inline constexpr std::string_view loading_caption = "Loading…";
inline constexpr std::string_view trust_caption =
    "A trusted device may use previously authorised services without another confirmation. This does not force "
    "reconnection.";
inline constexpr std::string_view sound_caption =
    "Sound exposes profiles and codecs only when PipeWire reports selectable capabilities.";
inline constexpr std::string_view missing_power_action =
    "Bluetooth power action is part of the static resource contract";

class BluetoothPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::bluetooth::BluetoothPane", "BluetoothPane")

    // Loads the adapter and devices on the workers; the page shows "Loading…" until they are in.
    BluetoothPane(std::shared_ptr<BluetoothBackend> backend, BluetoothWorkers workers);
    // Starts from a known reading.
    BluetoothPane(std::shared_ptr<BluetoothBackend> backend, BluetoothWorkers workers, BluetoothSnapshot state);
    ~BluetoothPane() override;

    // The application's operation cells in place of the model's own.
    void share_operation_cells(operations::OperationRequestCell requests, operations::OperationStatusCell status);

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;

    [[nodiscard]] const BluetoothModel& model() const { return *model_; }
    // How often the view has been built (the first build counts); values changed in place do not count.
    [[nodiscard]] int builds() const { return builds_; }

private:
    // The widgets of one device entry whose values change in place (null: not part of the entry).
    struct Entry {
        vorn_ui::widget::text::Text* name = nullptr;
        vorn_ui::widget::text::Text* state = nullptr;
        vorn_ui::widget::text::Text* address = nullptr;
        vorn_ui::widget::text::Text* signal = nullptr;
        vorn_ui::widget::button::Button* forget = nullptr;
    };

    [[nodiscard]] std::string view_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> device_entry(const BluetoothDevice& device,
                                                                const page_doc::Document* doc);
    // Writes the model's values into the widgets of the current view; answers whether anything changed.
    bool update_values();
    // The control that has the focus, as a rebuilt view finds it again.
    struct FocusedControl {
        std::string id;
        std::optional<std::string> main_of;  // the device whose main button it is
        std::optional<std::pair<std::size_t, std::size_t>> selection;  // a text field's anchor and caret
    };
    [[nodiscard]] std::optional<FocusedControl> focused_control() const;
    // Gives the focus to the same control of the new view (a device's main button under another verb), with the
    // text field's selection.
    void restore_focus(const FocusedControl& focused);

    std::unique_ptr<BluetoothModel> model_;
    std::optional<vorn_actions::ActionBinding<bool>> power_binding_;
    // The document of the current sync, while the view is built from it (the alias being typed is kept).
    const page_doc::Document* building_from_ = nullptr;

    // Of the current view.
    vorn_ui::widget::toggle::Toggle* power_toggle_ = nullptr;
    vorn_ui::widget::button::Button* scan_button_ = nullptr;
    vorn_ui::widget::text::Text* status_line_ = nullptr;
    vorn_ui::widget::text::Text* empty_line_ = nullptr;
    std::map<std::string, Entry, std::less<>> entries_;         // by device path
    std::map<std::string, vorn_ui::Widget*, std::less<>> controls_;  // by control id
    std::map<std::string, std::string, std::less<>> main_buttons_;  // control id of a main button -> device path
    std::string built_key_;
    int builds_ = 0;
};

}  // namespace settings::panes::bluetooth
