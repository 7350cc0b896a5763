#include "panes/bluetooth/bluetooth_model.hpp"

#include "sections/section.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <deque>
#include <mutex>
#include <type_traits>
#include <utility>

namespace settings::panes::bluetooth {

namespace {

using page_doc::Document;
using Op = BluetoothOperation;

// The per-device presses, in the order the keys of a device are first written.
constexpr std::array<std::string_view, 7> press_verbs = {"pair", "connect", "cancel", "disconnect",
                                                         "details", "rename", "forget"};

// Acts on a press once: answers whether it was set, and clears it first.
bool consume(Document& doc, const std::string& key)
{
    if (page_doc::doc_bool(doc, key) != true) {
        return false;
    }
    doc.put_bool(key, false);
    return true;
}

}  // namespace

// ---- Keys, labels and ids ----

std::string bluetooth_device_key(std::string_view path)
{
    const auto slash = path.rfind('/');
    std::string key(slash == std::string_view::npos ? path : path.substr(slash + 1));
    std::ranges::replace(key, '.', '_');
    return key;
}

std::string bluetooth_device_widget_id(std::string_view path, std::string_view verb)
{
    return fmt::format("bluetooth.device.{}.{}", bluetooth_device_key(path), verb);
}

DeviceAction main_action(const BluetoothDevice& device, const std::optional<std::string>& pairing_device)
{
    if (pairing_device == device.path) {
        return {"cancel", "Cancel pairing"};
    }
    if (device.paired && device.connected) {
        return {"disconnect", "Disconnect"};
    }
    if (device.paired) {
        return {"connect", "Connect"};
    }
    return {"pair", "Pair"};
}

std::string state_caption(const BluetoothDevice& device)
{
    std::string caption = device.connected ? "Connected" : device.paired ? "Paired" : "Nearby";
    if (device.battery) {
        caption += fmt::format(" · Battery {}%", static_cast<int>(*device.battery));
    }
    return caption;
}

std::optional<std::string> signal_text(const BluetoothDevice& device)
{
    if (!device.rssi) {
        return std::nullopt;
    }
    return fmt::format("{} dBm", static_cast<int>(*device.rssi));
}

bool is_audio_device(const BluetoothDevice& device)
{
    return device.icon.starts_with("audio-");
}

std::string_view discovery_label(bool scanning)
{
    return scanning ? "Stop discovery" : "Find devices";
}

std::string_view empty_list_caption(bool scanning)
{
    return scanning ? "Looking for nearby devices…"
                    : "No devices found. Put a device in pairing mode, then start discovery.";
}

std::string_view details_label(bool expanded)
{
    return expanded ? "Less" : "Details";
}

std::string_view forget_label(bool confirming)
{
    return confirming ? "Confirm forget" : "Forget…";
}

std::string main_button_id(std::string_view path, std::string_view verb)
{
    return fmt::format("settings.bluetooth.{}.{}", bluetooth_device_key(path), verb);
}

std::string device_control_id(std::string_view part, std::string_view path)
{
    return fmt::format("settings.bluetooth.{}.{}", part, bluetooth_device_key(path));
}

std::string alias_field_id(std::string_view path)
{
    return fmt::format("bluetooth.alias.{}", bluetooth_device_key(path));
}

// ---- Worker answers ----

class BluetoothModel::Inbox {
public:
    explicit Inbox(vorn_ui::WakeHandle wake) : wake_(std::move(wake)) {}

    void put(Answer answer)
    {
        {
            const std::lock_guard lock(mutex_);
            answers_.push_back(std::move(answer));
        }
        wake_.wake();
    }

    std::deque<Answer> take()
    {
        const std::lock_guard lock(mutex_);
        return std::exchange(answers_, {});
    }

private:
    std::mutex mutex_;
    std::deque<Answer> answers_;
    vorn_ui::WakeHandle wake_;
};

struct BluetoothModel::Reading {
    system_ops::Result<std::vector<BluetoothDevice>> devices;
    system_ops::Result<bool> scanning;
    system_ops::Result<bool> powered;

    static Reading take(BluetoothBackend& backend)
    {
        auto devices = backend.devices();
        auto scanning = backend.is_scanning();
        return {std::move(devices), std::move(scanning), backend.is_powered()};
    }
};

// ---- The model ----

BluetoothModel::BluetoothModel(std::shared_ptr<BluetoothBackend> backend, BluetoothWorkers workers)
    : BluetoothModel(std::move(backend), std::move(workers), BluetoothSnapshot{})
{
    loading_ = true;
    post(workers_.actions, [](BluetoothBackend& backend) -> Answer {
        auto reading = Reading::take(backend);
        return [reading = std::move(reading)](BluetoothModel& model, Document&) {
            model.devices_ = reading.devices.value_or(std::vector<BluetoothDevice>{});
            model.scanning_ = reading.scanning.value_or(false);
            model.powered_ = reading.powered.value_or(false);
            model.loading_ = false;
            model.list_changed_ = true;
        };
    });
}

BluetoothModel::BluetoothModel(std::shared_ptr<BluetoothBackend> backend, BluetoothWorkers workers,
                               BluetoothSnapshot state)
    : backend_(std::move(backend)),
      workers_(std::move(workers)),
      inbox_(std::make_shared<Inbox>(vorn_ui::WakeHandle::create())),
      devices_(std::move(state.devices)),
      powered_(state.powered),
      scanning_(state.scanning),
      requests_(std::nullopt),
      status_(operations::OperationStatus::idle())
{
}

BluetoothModel::~BluetoothModel() = default;

void BluetoothModel::share_operation_requests(operations::OperationRequestCell cell)
{
    requests_ = std::move(cell);
    shares_requests_ = true;
}

void BluetoothModel::share_operation_status(operations::OperationStatusCell cell)
{
    status_ = std::move(cell);
    shares_status_ = true;
}

bool BluetoothModel::take_structure_dirty()
{
    return std::exchange(structure_dirty_, false);
}

void BluetoothModel::post(const Executor& executor, std::function<Answer(BluetoothBackend&)> work)
{
    ++in_flight_;
    executor([backend = backend_, inbox = inbox_, work = std::move(work)] {
        Answer answer = work(*backend);
        inbox->put([answer = std::move(answer)](BluetoothModel& model, Document& doc) {
            --model.in_flight_;
            answer(model, doc);
            model.structure_dirty_ = true;
        });
    });
}

void BluetoothModel::take_answers(Document& doc)
{
    for (auto& answer : inbox_->take()) {
        answer(*this, doc);
    }
}

void BluetoothModel::sync(Document& doc)
{
    take_answers(doc);
    if (loading_) {
        return;
    }
    seed_devices(doc);
    replay(doc);
    apply_power(doc);
    set_discovery(doc);
    refresh_devices(doc);
    run_device_action(doc);
    // A worker that answered at once (or quickly) is heard in this same pass.
    take_answers(doc);
    seed_devices(doc);
}

void BluetoothModel::seed_devices(Document& doc)
{
    if (needs_seed_) {
        doc.put_bool(enabled_key, powered_);
        // A press made while the page was loading is kept.
        for (const auto key : {scan_key, refresh_key}) {
            if (!doc.contains(key)) {
                doc.put_bool(key, false);
            }
        }
        needs_seed_ = false;
    }
    if (!std::exchange(list_changed_, false)) {
        return;
    }
    std::set<std::string, std::less<>> listed;
    for (const auto& device : devices_) {
        std::string key = bluetooth_device_key(device.path);
        // Two paths with one key (the same device on two adapters): the first listed owns the keys.
        if (listed.contains(key)) {
            continue;
        }
        if (!seeded_.contains(key)) {
            for (const auto verb : press_verbs) {
                doc.put_bool(bluetooth_device_widget_id(device.path, verb), false);
            }
            doc.put_bool(bluetooth_device_widget_id(device.path, "trusted"), device.trusted);
            const auto alias = page_doc::seed_text_object(doc, bluetooth_device_widget_id(device.path, "alias"));
            (void)doc.update_text(alias, "");
        }
        listed.insert(std::move(key));
    }
    // A device no longer listed loses its place: if it comes back, its keys are written afresh.
    seeded_ = std::move(listed);
}

const BluetoothDevice* BluetoothModel::find(std::string_view path) const
{
    const auto found = std::ranges::find(devices_, path, &BluetoothDevice::path);
    return found == devices_.end() ? nullptr : &*found;
}

std::string BluetoothModel::name_of(std::string_view path) const
{
    const BluetoothDevice* device = find(path);
    return device != nullptr ? device->name : "Device";
}

void BluetoothModel::finish_operation(const BluetoothOperation& operation, bool failed, const std::string& message)
{
    const std::string key = operations::operation_key(operation);
    if (!status_.get().is_running(key)) {
        return;
    }
    (void)status_.publish(failed ? operations::OperationStatus::failed(key, message)
                                 : operations::OperationStatus::done(key, message));
}

void BluetoothModel::apply_reading(Document& doc, const Reading& reading)
{
    if (reading.devices) {
        devices_ = *reading.devices;
        list_changed_ = true;
    } else {
        status_text_ = fmt::format("Could not refresh devices: {}", reading.devices.error());
    }
    if (reading.scanning) {
        scanning_ = *reading.scanning;
    }
    if (reading.powered && *reading.powered != powered_) {
        powered_ = *reading.powered;
        // The radio was switched elsewhere: the toggle shows it, rather than asking to switch it back.
        if (!power_asked_) {
            doc.put_bool(enabled_key, powered_);
        }
    }
    structure_dirty_ = true;
}

// ---- Operations ----

void BluetoothModel::replay(Document& doc)
{
    auto operation = operations::take_operation_request<BluetoothOperation>(requests_);
    if (!operation) {
        return;
    }
    const auto press_device = [&](const std::string& path, std::string_view verb) {
        if (find(path) == nullptr) {
            finish_operation(*operation, true, "Bluetooth device is no longer available");
            return;
        }
        doc.put_bool(bluetooth_device_widget_id(path, verb), true);
    };
    std::visit(
        [&](const auto& op) {
            using T = std::decay_t<decltype(op)>;
            if constexpr (std::is_same_v<T, Op::SetPowered>) {
                if (op.enabled == powered_ && !power_asked_) {
                    finish_operation(*operation, false, op.enabled ? "Bluetooth is already on." : "Bluetooth is already off.");
                }
                doc.put_bool(enabled_key, op.enabled);
            } else if constexpr (std::is_same_v<T, Op::StartScan>) {
                doc.put_bool(scan_key, true);
            } else if constexpr (std::is_same_v<T, Op::Refresh>) {
                doc.put_bool(refresh_key, true);
            } else if constexpr (std::is_same_v<T, Op::Pair>) {
                press_device(op.path, "pair");
            } else if constexpr (std::is_same_v<T, Op::Connect>) {
                press_device(op.path, "connect");
            } else if constexpr (std::is_same_v<T, Op::Disconnect>) {
                press_device(op.path, "disconnect");
            } else {
                static_assert(std::is_same_v<T, Op::Forget>);
                press_device(op.path, "forget");
            }
        },
        operation->value);
}

// ---- Adapter handlers ----

void BluetoothModel::apply_power(Document& doc)
{
    const auto requested = page_doc::doc_bool(doc, enabled_key);
    // One change at a time: a different request is looked at again once the answer is in.
    if (!requested || *requested == powered_ || power_asked_) {
        return;
    }
    const bool enabled = *requested;
    const BluetoothOperation operation = Op::SetPowered{enabled};
    // The toggle is bound to the section's action: with the application's cells, the radio changes only through
    // that action's running operation.
    if (shares_status_ && !status_.get().is_running(operations::operation_key(operation))) {
        doc.put_bool(enabled_key, powered_);
        return;
    }
    power_asked_ = enabled;
    post(workers_.actions, [enabled, operation](BluetoothBackend& backend) -> Answer {
        auto changed = backend.set_powered(enabled);
        auto reading = Reading::take(backend);
        return [=](BluetoothModel& model, Document& doc) {
            model.power_asked_.reset();
            if (changed) {
                model.powered_ = enabled;
                model.status_text_ = enabled ? "Bluetooth is on." : "Bluetooth is off.";
                model.finish_operation(operation, false, enabled ? "Bluetooth enabled." : "Bluetooth disabled.");
            } else {
                const std::string message = fmt::format("Could not change Bluetooth power: {}", changed.error());
                model.status_text_ = message;
                doc.put_bool(enabled_key, model.powered_);
                model.finish_operation(operation, true, message);
            }
            model.apply_reading(doc, reading);
        };
    });
}

void BluetoothModel::set_discovery(Document& doc)
{
    if (!consume(doc, std::string(scan_key))) {
        return;
    }
    // Each press turns around the state the changes already handed over lead to.
    const bool was_scanning = discovery_changes_ > 0 ? discovery_target_ : scanning_;
    discovery_target_ = !was_scanning;
    ++discovery_changes_;
    post(workers_.actions, [was_scanning](BluetoothBackend& backend) -> Answer {
        auto changed = was_scanning ? backend.stop_scan() : backend.start_scan();
        auto reading = Reading::take(backend);
        return [=](BluetoothModel& model, Document& doc) {
            --model.discovery_changes_;
            const BluetoothOperation operation = Op::StartScan{};
            if (changed) {
                model.scanning_ = !was_scanning;
                model.status_text_ =
                    was_scanning ? "Discovery stopped." : "Discovery started. Use Refresh as devices wake up.";
                model.finish_operation(operation, false,
                                       was_scanning ? "Bluetooth discovery stopped." : "Bluetooth discovery started.");
            } else {
                model.status_text_ = fmt::format("Could not change discovery: {}", changed.error());
                model.finish_operation(operation, true,
                                       fmt::format("Could not change Bluetooth discovery: {}", changed.error()));
            }
            model.apply_reading(doc, reading);
        };
    });
}

void BluetoothModel::refresh_devices(Document& doc)
{
    if (!consume(doc, std::string(refresh_key))) {
        return;
    }
    post(workers_.actions, [](BluetoothBackend& backend) -> Answer {
        auto reading = Reading::take(backend);
        return [reading = std::move(reading)](BluetoothModel& model, Document& doc) {
            const BluetoothOperation operation = Op::Refresh{};
            if (!reading.devices) {
                model.status_text_ = fmt::format("Could not refresh devices: {}", reading.devices.error());
                model.finish_operation(operation, true,
                                       fmt::format("Could not refresh Bluetooth devices: {}", reading.devices.error()));
                return;
            }
            model.apply_reading(doc, reading);
            model.finish_operation(operation, false, "Bluetooth devices refreshed.");
        };
    });
}

// ---- Device handlers ----

void BluetoothModel::run_device_action(Document& doc)
{
    // A change of the list made by an answer taken meanwhile does not change the devices visited here.
    const std::vector<BluetoothDevice> devices = devices_;
    for (const auto& device : devices) {
        const std::string& path = device.path;
        const auto key = [&](std::string_view verb) { return bluetooth_device_widget_id(path, verb); };

        if (consume(doc, key("pair"))) {
            start_pairing(device);
        }
        if (consume(doc, key("cancel"))) {
            post(workers_.actions, [path, name = device.name](BluetoothBackend& backend) -> Answer {
                auto cancelled = backend.cancel_pairing(path);
                return [=](BluetoothModel& model, Document&) {
                    model.status_text_ = cancelled ? fmt::format("Cancelled pairing {}.", name)
                                                   : fmt::format("Could not cancel pairing: {}", cancelled.error());
                };
            });
        }
        for (const std::string_view verb : {"connect", "disconnect"}) {
            if (!consume(doc, key(verb))) {
                continue;
            }
            const bool connect = verb == "connect";
            post(workers_.actions, [path, connect, name = device.name](BluetoothBackend& backend) -> Answer {
                auto done = connect ? backend.connect(path) : backend.disconnect(path);
                auto reading = Reading::take(backend);
                return [=](BluetoothModel& model, Document& doc) {
                    const std::string message =
                        done ? fmt::format("{} {}.", connect ? "Connected" : "Disconnected", name)
                             : fmt::format("Could not {} {}: {} Check that it is awake and in range, then retry.",
                                           connect ? "connect" : "disconnect", name, done.error());
                    model.status_text_ = message;
                    model.finish_operation(connect ? BluetoothOperation(Op::Connect{path})
                                                   : BluetoothOperation(Op::Disconnect{path}),
                                           !done, message);
                    model.apply_reading(doc, reading);
                };
            });
        }
        if (consume(doc, key("details"))) {
            if (expanded_device_ == path) {
                expanded_device_.reset();
            } else {
                expanded_device_ = path;
            }
            structure_dirty_ = true;
        }
        if (const auto wanted = page_doc::doc_bool(doc, key("trusted"));
            wanted && *wanted != device.trusted && !trust_asked_.contains(path)) {
            trust_asked_.emplace(path, *wanted);
            post(workers_.actions, [path, trusted = *wanted, before = device.trusted,
                                    name = device.name](BluetoothBackend& backend) -> Answer {
                auto changed = backend.set_trusted(path, trusted);
                auto reading = Reading::take(backend);
                return [=](BluetoothModel& model, Document& doc) {
                    model.trust_asked_.erase(path);
                    model.apply_reading(doc, reading);
                    if (changed) {
                        model.status_text_ = trusted ? fmt::format("{} is now trusted.", name)
                                                     : fmt::format("{} now requires service authorisation.", name);
                    } else {
                        model.status_text_ = fmt::format("Could not change device trust: {}", changed.error());
                        const BluetoothDevice* now = model.find(path);
                        doc.put_bool(bluetooth_device_widget_id(path, "trusted"), now != nullptr ? now->trusted : before);
                    }
                };
            });
        }
        if (consume(doc, key("rename"))) {
            rename(doc, device);
        }
        if (consume(doc, key("forget"))) {
            forget(device);
        }
    }
}

void BluetoothModel::start_pairing(const BluetoothDevice& device)
{
    if (pairing_device_) {
        // One pairing at a time. An operation asking for another answers at once (the running pairing answers
        // one for its own device).
        if (*pairing_device_ != device.path) {
            finish_operation(Op::Pair{device.path}, true,
                             fmt::format("Could not pair {}: another device is being paired.", device.name));
        }
        return;
    }
    pairing_device_ = device.path;
    status_text_ = fmt::format("Pairing {}… Security prompts appear in system UI.", device.name);
    structure_dirty_ = true;
    post(workers_.pairing, [path = device.path](BluetoothBackend& backend) -> Answer {
        PairingResult result{.path = path, .outcome = backend.pair(path)};
        auto reading = Reading::take(backend);
        return [result = std::move(result), reading = std::move(reading)](BluetoothModel& model, Document& doc) {
            model.handle_pairing_result(doc, result);
            model.apply_reading(doc, reading);
        };
    });
}

void BluetoothModel::handle_pairing_result(Document&, const PairingResult& result)
{
    const std::string name = name_of(result.path);
    std::string message;
    switch (result.outcome.kind) {
    case PairResultKind::PairFailed:
        message = fmt::format("Could not pair {}: {} Check that it is awake and in pairing mode, then retry.", name,
                              result.outcome.error);
        break;
    case PairResultKind::PairedConnectFailed:
        message = fmt::format("{} paired, but did not connect: {} Use Connect to retry.", name, result.outcome.error);
        break;
    case PairResultKind::PairedConnected:
        message = fmt::format("{} is paired and connected.", name);
        break;
    }
    status_text_ = message;
    finish_operation(Op::Pair{result.path}, result.outcome.kind == PairResultKind::PairFailed, message);
    pairing_device_.reset();
}

void BluetoothModel::rename(Document& doc, const BluetoothDevice& device)
{
    const std::string typed = page_doc::doc_text(doc, bluetooth_device_widget_id(device.path, "alias")).value_or("");
    // BlueZ would take an empty name as "go back to the device's own name": a rename never asks for that.
    std::string alias(trim_query(typed));
    if (alias.empty()) {
        status_text_ = fmt::format("Could not rename {}: type a new name first.", device.name);
        structure_dirty_ = true;
        return;
    }
    post(workers_.actions, [path = device.path, alias = std::move(alias),
                            name = device.name](BluetoothBackend& backend) -> Answer {
        auto renamed = backend.set_alias(path, alias);
        auto reading = Reading::take(backend);
        return [=](BluetoothModel& model, Document& doc) {
            if (renamed) {
                model.status_text_ = fmt::format("Renamed device to {}.", alias);
                // The field starts empty again, and so does what the next Rename would send.
                const auto field = page_doc::seed_text_object(doc, bluetooth_device_widget_id(path, "alias"));
                (void)doc.update_text(field, "");
            } else {
                model.status_text_ = fmt::format("Could not rename {}: {}", name, renamed.error());
            }
            model.apply_reading(doc, reading);
        };
    });
}

void BluetoothModel::forget(const BluetoothDevice& device)
{
    const BluetoothOperation operation = Op::Forget{device.path};
    // The operation's caller has confirmed the removal already.
    const bool confirmed =
        pending_forget_ == device.path || status_.get().is_running(operations::operation_key(operation));
    if (!confirmed) {
        pending_forget_ = device.path;
        status_text_ = fmt::format("Forget {}? This removes its bond and keys.", device.name);
        structure_dirty_ = true;
        return;
    }
    post(workers_.actions, [path = device.path, name = device.name, operation](BluetoothBackend& backend) -> Answer {
        auto forgotten = backend.forget(path);
        auto reading = Reading::take(backend);
        return [=](BluetoothModel& model, Document& doc) {
            if (forgotten) {
                model.status_text_ = fmt::format("Forgot {}. Pair it again to reconnect.", name);
                if (model.pending_forget_ == path) {
                    model.pending_forget_.reset();
                }
                model.finish_operation(operation, false, fmt::format("Forgot {}.", name));
            } else {
                const std::string message = fmt::format("Could not forget {}: {}", name, forgotten.error());
                model.status_text_ = message;
                model.finish_operation(operation, true, message);
            }
            model.apply_reading(doc, reading);
        };
    });
}

}  // namespace settings::panes::bluetooth
