#pragma once
// The Bluetooth page's widget: one card "Bluetooth" with the power switch beside its title, the discovery and
// refresh buttons, the status sentence and one entry per device (name, main button, details, state with battery;
// opened: address, signal, and for a paired device trust, rename and forget).
//
// The view is built once and its values are changed in place (show_values): the names, state captions, signal,
// status and button captions follow the model at every sync. It is built again only when entries or controls
// appear or go (a device listed or gone, a main button that becomes another verb, details opened or closed, the
// status line shown or hidden); the control that had the focus gets it back in the new view by its control id, a
// device's main button under its new verb, and the alias being typed is kept.
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

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> device_entry(const BluetoothDevice& device);
    // The device whose main button has the focus, if any.
    [[nodiscard]] std::optional<std::string> focused_main_button() const;

    std::unique_ptr<BluetoothModel> model_;
    std::optional<vorn_actions::ActionBinding<bool>> power_binding_;
    // The document of the current sync, while the view is built from it (the alias being typed is kept).
    const page_doc::Document* building_from_ = nullptr;
    // The verb of each device's main button in the built view, by device path.
    std::map<std::string, std::string, std::less<>> main_verbs_;
};

}  // namespace settings::panes::bluetooth
