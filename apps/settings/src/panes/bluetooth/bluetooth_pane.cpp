#include "panes/bluetooth/bluetooth_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "actions/contract.hpp"
#include "page_helpers/layout.hpp"
#include "vorn_ui/widgets.hpp"
#include "vorn_ui/widgets/card.hpp"

#include <fmt/format.h>

#include <set>
#include <utility>

namespace settings::panes::bluetooth {

namespace {

namespace ph = page_helpers;
using vorn_ui::Button;
using vorn_ui::Column;
using vorn_ui::Row;
using vorn_ui::Spacer;
using vorn_ui::Text;
using vorn_ui::TextInput;
using vorn_ui::Toggle;

constexpr float kDeviceNameText = 13.0f;

// The ids of the texts the view changes in place: "bluetooth.<part>" for the page, "bluetooth.<part>.<device key>"
// for an entry.
std::string text_id(std::string_view part, std::string_view path = {})
{
    return path.empty() ? fmt::format("bluetooth.{}", part)
                        : fmt::format("bluetooth.{}.{}", part, bluetooth_device_key(path));
}

// The devices the view shows: in list order, the first of two paths with one device key (the model's keys belong
// to it).
std::vector<const BluetoothDevice*> shown_devices(const std::vector<BluetoothDevice>& devices)
{
    std::vector<const BluetoothDevice*> shown;
    std::set<std::string, std::less<>> keys;
    for (const auto& device : devices) {
        if (keys.insert(bluetooth_device_key(device.path)).second) {
            shown.push_back(&device);
        }
    }
    return shown;
}

vorn_actions::ActionBinding<bool> power_binding()
{
    auto binding = actions::catalogue::bluetooth_toggle_binding("bluetooth");
    if (!binding) {
        actions::contract_violation(missing_power_action);
    }
    return std::move(*binding);
}

}  // namespace

BluetoothPane::BluetoothPane(std::shared_ptr<BluetoothBackend> backend, BluetoothWorkers workers)
    : PreferencePane({"bluetooth", "Bluetooth", "Pair and manage Bluetooth devices"}),
      model_(std::make_unique<BluetoothModel>(std::move(backend), std::move(workers))),
      power_binding_(power_binding())
{
}

BluetoothPane::BluetoothPane(std::shared_ptr<BluetoothBackend> backend, BluetoothWorkers workers,
                             BluetoothSnapshot state)
    : PreferencePane({"bluetooth", "Bluetooth", "Pair and manage Bluetooth devices"}),
      model_(std::make_unique<BluetoothModel>(std::move(backend), std::move(workers), std::move(state))),
      power_binding_(power_binding())
{
}

BluetoothPane::~BluetoothPane() = default;

void BluetoothPane::share_operation_cells(operations::OperationRequestCell requests,
                                          operations::OperationStatusCell status)
{
    model_->share_operation_requests(std::move(requests));
    model_->share_operation_status(std::move(status));
}

void BluetoothPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    // The controls first write what the user did, so that the model acts on it in this same pass.
    if (content() != nullptr) {
        content()->sync(doc, ctx);
    }
    model_->sync(doc);
    (void)model_->take_structure_dirty();  // the view compares its structure key and shows the values itself
    const std::optional<std::string> main_focused = focused_main_button();
    building_from_ = &doc;
    refresh_view(doc, ctx);
    building_from_ = nullptr;
    // A main button that became another verb is another control: the device's new main button takes the focus.
    if (main_focused) {
        const auto verb = main_verbs_.find(*main_focused);
        auto* button =
            verb != main_verbs_.end() ? control<vorn_ui::Button>(main_button_id(*main_focused, verb->second)) : nullptr;
        if (button != nullptr && !button->is_focused()) {
            button->set_focus(true);
            ctx.changed = true;
        }
    }
}

std::optional<std::string> BluetoothPane::focused_main_button() const
{
    for (const auto& [path, verb] : main_verbs_) {
        if (const auto* button = control<vorn_ui::Button>(main_button_id(path, verb)); button && button->is_focused()) {
            return path;
        }
    }
    return std::nullopt;
}

std::string BluetoothPane::structure_key() const
{
    std::string key = fmt::format("{}|{}|", model_->loading(), model_->status_text().has_value());
    for (const BluetoothDevice* device : shown_devices(model_->devices())) {
        key += fmt::format("{}:{}", bluetooth_device_key(device->path),
                           main_action(*device, model_->pairing_device()).verb);
        if (model_->expanded_device() == device->path) {
            // The opened entry's rows, and the alias field's placeholder (the name).
            key += fmt::format(":open:{}:{}:{}:{}", device->paired, device->rssi.has_value(), is_audio_device(*device),
                               device->name);
        }
        key += '|';
    }
    return key;
}

std::unique_ptr<vorn_ui::Widget> BluetoothPane::build_view()
{
    main_verbs_.clear();
    std::vector<ph::WidgetBox> body;
    body.push_back(Row()
                       .with_spacing(8.0f)
                       .push(Button(std::string(scan_button_id), std::string(discovery_label(model_->scanning())),
                                    std::string(scan_key)))
                       .push(Button(std::string(refresh_button_id), "Refresh", std::string(refresh_key)))
                       .push(Spacer::flexible())
                       .boxed());
    if (model_->status_text()) {
        body.push_back(ph::caption(*model_->status_text(), text_id("status")));
    }
    if (model_->loading()) {
        body.push_back(ph::caption(loading_caption));
    } else {
        const auto shown = shown_devices(model_->devices());
        for (const BluetoothDevice* device : shown) {
            body.push_back(device_entry(*device));
        }
        if (shown.empty()) {
            body.push_back(ph::caption(empty_list_caption(model_->scanning()), text_id("empty")));
        }
    }

    auto power = Toggle(std::string(power_toggle_id), std::string(enabled_key))
                     .with_id(std::string(power_toggle_widget_id))
                     .with_label("Bluetooth")
                     .with_enabled(!model_->loading())
                     .on_action(*power_binding_)
                     .boxed();
    std::vector<ph::WidgetBox> cards;
    cards.push_back(vorn_ui::card::surface("Bluetooth", std::move(power),
                                           std::make_unique<Column>(ph::compact_stack(std::move(body))))
                        .boxed());
    return std::make_unique<Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> BluetoothPane::device_entry(const BluetoothDevice& device)
{
    const std::string& path = device.path;
    const bool expanded = model_->expanded_device() == path;
    const DeviceAction action = main_action(device, model_->pairing_device());
    main_verbs_[path] = std::string(action.verb);

    std::vector<ph::WidgetBox> parts;
    parts.push_back(Row()
                        .with_spacing(8.0f)
                        .push(Text(device.name).with_size(kDeviceNameText).with_label(text_id("name", path)))
                        .push(Spacer::flexible())
                        .push(Button(main_button_id(path, action.verb), std::string(action.label),
                                     bluetooth_device_widget_id(path, action.verb)))
                        .push(Button(device_control_id("details", path), std::string(details_label(expanded)),
                                     bluetooth_device_widget_id(path, "details")))
                        .boxed());
    parts.push_back(ph::caption(state_caption(device), text_id("state", path)));

    if (expanded) {
        parts.push_back(ph::value_row("Address", device.address, text_id("address", path)));
        if (const auto signal = signal_text(device)) {
            parts.push_back(ph::value_row("Signal", *signal, text_id("signal", path)));
        }
        if (device.paired) {
            const std::string trust_id = device_control_id("trusted", path);
            parts.push_back(ph::setting_row("Trust this device",
                                            Toggle(trust_id, bluetooth_device_widget_id(path, "trusted"))
                                                .with_id(trust_id)
                                                .with_label("Trust this device")
                                                .boxed()));
            parts.push_back(ph::caption(trust_caption));
            // The field shows what is already typed (a new build keeps it); the model empties it after a rename.
            const std::string alias_key = bluetooth_device_widget_id(path, "alias");
            const std::string typed =
                building_from_ != nullptr ? page_doc::doc_text(*building_from_, alias_key).value_or("") : "";
            parts.push_back(TextInput(alias_field_id(path))
                                .with_kind(vorn_ui::text_input_kind::name)
                                .with_placeholder(device.name)
                                .with_label("Device name")
                                .with_initial_value(typed)
                                .with_change_path(alias_key)
                                .boxed());
            parts.push_back(Row()
                                .with_spacing(8.0f)
                                .push(Button(device_control_id("rename", path), "Rename",
                                             bluetooth_device_widget_id(path, "rename")))
                                .push(Button(device_control_id("forget", path),
                                             std::string(forget_label(model_->pending_forget() == path)),
                                             bluetooth_device_widget_id(path, "forget")))
                                .push(Spacer::flexible())
                                .boxed());
        }
        if (is_audio_device(device)) {
            parts.push_back(ph::caption(sound_caption));
        }
    }
    return std::make_unique<Column>(Column().push(std::make_unique<Column>(ph::compact_stack(std::move(parts)))));
}

bool BluetoothPane::show_values()
{
    bool changed = false;
    const std::string_view discovery = discovery_label(model_->scanning());
    if (auto* scan = control<Button>(scan_button_id); scan != nullptr && scan->caption() != discovery) {
        scan->set_caption(std::string(discovery));
        changed = true;
    }
    if (model_->status_text()) {
        changed |= show_text(text_id("status"), *model_->status_text());
    }
    changed |= show_text(text_id("empty"), empty_list_caption(model_->scanning()));
    for (const BluetoothDevice* device : shown_devices(model_->devices())) {
        const std::string& path = device->path;
        changed |= show_text(text_id("name", path), device->name);
        changed |= show_text(text_id("state", path), state_caption(*device));
        changed |= show_text(text_id("address", path), device->address);
        if (const auto signal = signal_text(*device)) {
            changed |= show_text(text_id("signal", path), *signal);
        }
        const std::string_view forget = forget_label(model_->pending_forget() == path);
        if (auto* button = control<Button>(device_control_id("forget", path)); button && button->caption() != forget) {
            button->set_caption(std::string(forget));
            changed = true;
        }
    }
    return changed;
}

}  // namespace settings::panes::bluetooth
