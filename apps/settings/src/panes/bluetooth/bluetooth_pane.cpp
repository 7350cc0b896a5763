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

// Keeps a pointer to a widget while handing its box on.
template <class W>
ph::WidgetBox keep(std::unique_ptr<W> widget, W*& into)
{
    into = widget.get();
    return widget;
}

std::unique_ptr<Text> caption_text(std::string_view text)
{
    return std::make_unique<Text>(Text(std::string(text)).with_size(ph::kCaptionText).caption());
}

// "Label ........ value" with the value's Text kept for later changes.
ph::WidgetBox value_line(std::string_view label, std::string_view value, Text*& into)
{
    auto shown = std::make_unique<Text>(Text(std::string(value)).with_size(ph::kBodyText));
    into = shown.get();
    return ph::setting_row(label, std::move(shown));
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

template <class W>
bool set_text_if(W* widget, const std::string& text)
{
    if (widget == nullptr || widget->text() == text) {
        return false;
    }
    widget->set_text(text);
    return true;
}

bool set_caption_if(Button* button, std::string_view caption)
{
    if (button == nullptr || button->caption() == caption) {
        return false;
    }
    button->set_caption(std::string(caption));
    return true;
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
    (void)model_->take_structure_dirty();  // the view compares its own key and values below
    const bool rebuild = content() == nullptr || view_key() != built_key_;
    std::optional<FocusedControl> focused = rebuild ? focused_control() : std::nullopt;
    building_from_ = &doc;
    refresh_view(doc, ctx);
    building_from_ = nullptr;
    if (focused) {
        restore_focus(*focused);
    }
    if (update_values()) {
        ctx.changed = true;
    }
}

std::string BluetoothPane::view_key() const
{
    std::string key = fmt::format("{}|{}|", model_->loading(), model_->status_text().has_value());
    const auto& devices = model_->devices();
    for (const BluetoothDevice* device : shown_devices(devices)) {
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
    ++builds_;
    built_key_ = view_key();
    entries_.clear();
    controls_.clear();
    main_buttons_.clear();
    status_line_ = nullptr;
    empty_line_ = nullptr;

    const auto control = [this]<class W>(std::string id, std::unique_ptr<W> widget) -> ph::WidgetBox {
        controls_[std::move(id)] = widget.get();
        return widget;
    };

    std::vector<ph::WidgetBox> body;
    auto scan = std::make_unique<Button>(std::string(scan_button_id), std::string(discovery_label(model_->scanning())),
                                         std::string(scan_key));
    scan_button_ = scan.get();
    body.push_back(Row()
                       .with_spacing(8.0f)
                       .push(control(std::string(scan_button_id), std::move(scan)))
                       .push(control(std::string(refresh_button_id),
                                     std::make_unique<Button>(std::string(refresh_button_id), "Refresh",
                                                              std::string(refresh_key))))
                       .push(Spacer::flexible())
                       .boxed());
    if (model_->status_text()) {
        body.push_back(keep(caption_text(*model_->status_text()), status_line_));
    }
    if (model_->loading()) {
        body.push_back(caption_text(loading_caption));
    } else {
        const auto shown = shown_devices(model_->devices());
        for (const BluetoothDevice* device : shown) {
            body.push_back(device_entry(*device, building_from_));
        }
        if (shown.empty()) {
            body.push_back(keep(caption_text(empty_list_caption(model_->scanning())), empty_line_));
        }
    }

    auto power = std::make_unique<Toggle>(Toggle(std::string(power_toggle_id), std::string(enabled_key))
                                              .with_id(std::string(power_toggle_widget_id))
                                              .with_label("Bluetooth")
                                              .with_enabled(!model_->loading())
                                              .on_action(*power_binding_));
    power_toggle_ = power.get();
    controls_[std::string(power_toggle_id)] = power_toggle_;
    auto card = vorn_ui::card::surface("Bluetooth", std::move(power),
                                       std::make_unique<Column>(ph::compact_stack(std::move(body))))
                    .boxed();
    std::vector<ph::WidgetBox> cards;
    cards.push_back(std::move(card));
    return std::make_unique<Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> BluetoothPane::device_entry(const BluetoothDevice& device,
                                                             const page_doc::Document* doc)
{
    const std::string& path = device.path;
    Entry& entry = entries_[path];
    const bool expanded = model_->expanded_device() == path;
    const auto control = [this]<class W>(std::string id, std::unique_ptr<W> widget) -> ph::WidgetBox {
        controls_[std::move(id)] = widget.get();
        return widget;
    };

    const DeviceAction action = main_action(device, model_->pairing_device());
    const std::string main_id = main_button_id(path, action.verb);
    main_buttons_[main_id] = path;
    std::vector<ph::WidgetBox> parts;
    parts.push_back(
        Row()
            .with_spacing(8.0f)
            .push(keep(std::make_unique<Text>(Text(device.name).with_size(kDeviceNameText)), entry.name))
            .push(Spacer::flexible())
            .push(control(main_id, std::make_unique<Button>(main_id, std::string(action.label),
                                                            bluetooth_device_widget_id(path, action.verb))))
            .push(control(device_control_id("details", path),
                          std::make_unique<Button>(device_control_id("details", path),
                                                   std::string(details_label(expanded)),
                                                   bluetooth_device_widget_id(path, "details"))))
            .boxed());
    parts.push_back(keep(caption_text(state_caption(device)), entry.state));

    if (expanded) {
        parts.push_back(value_line("Address", device.address, entry.address));
        if (const auto signal = signal_text(device)) {
            parts.push_back(value_line("Signal", *signal, entry.signal));
        }
        if (device.paired) {
            const std::string trust_id = device_control_id("trusted", path);
            parts.push_back(ph::setting_row(
                "Trust this device",
                control(trust_id, std::make_unique<Toggle>(Toggle(trust_id, bluetooth_device_widget_id(path, "trusted"))
                                                               .with_label("Trust this device")))));
            parts.push_back(caption_text(trust_caption));
            // The field shows what is already typed (a rebuild keeps it); the model empties it after a rename.
            const std::string alias_key = bluetooth_device_widget_id(path, "alias");
            const std::string typed = doc != nullptr ? page_doc::doc_text(*doc, alias_key).value_or("") : "";
            const std::string alias_id = alias_field_id(path);
            parts.push_back(control(alias_id, std::make_unique<TextInput>(TextInput(alias_id)
                                                                              .with_kind(vorn_ui::text_input_kind::name)
                                                                              .with_placeholder(device.name)
                                                                              .with_label("Device name")
                                                                              .with_initial_value(typed)
                                                                              .with_change_path(alias_key))));
            const std::string rename_id = device_control_id("rename", path);
            const std::string forget_id = device_control_id("forget", path);
            auto forget = std::make_unique<Button>(forget_id,
                                                   std::string(forget_label(model_->pending_forget() == path)),
                                                   bluetooth_device_widget_id(path, "forget"));
            entry.forget = forget.get();
            auto rename = std::make_unique<Button>(rename_id, "Rename", bluetooth_device_widget_id(path, "rename"));
            parts.push_back(Row()
                                .with_spacing(8.0f)
                                .push(control(rename_id, std::move(rename)))
                                .push(control(forget_id, std::move(forget)))
                                .push(Spacer::flexible())
                                .boxed());
        }
        if (is_audio_device(device)) {
            parts.push_back(caption_text(sound_caption));
        }
    }
    return std::make_unique<Column>(Column().push(std::make_unique<Column>(ph::compact_stack(std::move(parts)))));
}

bool BluetoothPane::update_values()
{
    bool changed = false;
    changed |= set_caption_if(scan_button_, discovery_label(model_->scanning()));
    if (model_->status_text()) {
        changed |= set_text_if(status_line_, *model_->status_text());
    }
    changed |= set_text_if(empty_line_, std::string(empty_list_caption(model_->scanning())));
    if (power_toggle_ != nullptr && power_toggle_->is_enabled() == model_->loading()) {
        power_toggle_->set_enabled(!model_->loading());
        changed = true;
    }
    for (const BluetoothDevice* device : shown_devices(model_->devices())) {
        const auto found = entries_.find(device->path);
        if (found == entries_.end()) {
            continue;
        }
        Entry& entry = found->second;
        changed |= set_text_if(entry.name, device->name);
        changed |= set_text_if(entry.state, state_caption(*device));
        changed |= set_text_if(entry.address, device->address);
        if (const auto signal = signal_text(*device)) {
            changed |= set_text_if(entry.signal, *signal);
        }
        changed |= set_caption_if(entry.forget, forget_label(model_->pending_forget() == device->path));
    }
    return changed;
}

std::optional<BluetoothPane::FocusedControl> BluetoothPane::focused_control() const
{
    for (const auto& [id, widget] : controls_) {
        if (!widget->is_focused()) {
            continue;
        }
        FocusedControl focused{.id = id};
        if (const auto main = main_buttons_.find(id); main != main_buttons_.end()) {
            focused.main_of = main->second;
        }
        if (const auto* field = dynamic_cast<const TextInput*>(widget)) {
            focused.selection = std::pair{field->anchor(), field->caret()};
        }
        return focused;
    }
    return std::nullopt;
}

void BluetoothPane::restore_focus(const FocusedControl& focused)
{
    vorn_ui::Widget* target = nullptr;
    if (const auto same = controls_.find(focused.id); same != controls_.end()) {
        target = same->second;
    } else if (focused.main_of) {
        // A main button whose verb changed: the device's main button now.
        const auto main =
            std::ranges::find_if(main_buttons_, [&](const auto& pair) { return pair.second == *focused.main_of; });
        if (main != main_buttons_.end()) {
            target = controls_.at(main->first);
        }
    }
    if (target == nullptr) {
        return;
    }
    target->set_focus(true);
    if (auto* field = dynamic_cast<TextInput*>(target); field != nullptr && focused.selection) {
        field->select(focused.selection->first, focused.selection->second);
    }
}

}  // namespace settings::panes::bluetooth
