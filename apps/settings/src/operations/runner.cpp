#include "operations/runner.hpp"

#include "operations/applied.hpp"
#include "operations/live_state.hpp"

#include "actions/payloads/codec.hpp"

#include "config_sections/display_hardware.hpp"
#include "sound_graph/audio.hpp"
#include "vorn_log/log.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace settings::operations {

namespace {

using vorn_ui::OperationClass;
using vorn_ui::OperationCompletion;
using vorn_ui::ResourceOperationStart;
using namespace settings::actions;

// The kinds the runner takes, in the order they are compared.
constexpr std::array<std::string_view, 14> device_local_kinds{
    InputOperation::kind,     KeyboardSourceOperation::kind, TimeDateOperation::kind,  UpdateOperation::kind,
    PowerOperation::kind,     NetworkOperation::kind,        BluetoothOperation::kind, StorageOperation::kind,
    AudioOperation::kind,     DisplayOperation::kind,        PrinterOperation::kind,   UserOperation::kind,
    AgentModelOperation::kind, DeviceMeshOperation::kind};

// How many operations that ended unpolled are remembered for a late poll.
constexpr std::size_t max_unreported = 8;

ResourceOperationStart fail(std::string message)
{
    return ResourceOperationStart::failed(std::move(message));
}

}  // namespace

DeviceLocalRunner::DeviceLocalRunner(RunnerHost& host, RunnerOptions options)
    : host_(host), options_(std::move(options))
{
    if (!options_.keyboard_layouts) {
        options_.keyboard_layouts = system_keyboard_layouts;
    }
}

bool DeviceLocalRunner::handles_kind(std::string_view kind)
{
    return std::ranges::find(device_local_kinds, kind) != device_local_kinds.end();
}

std::chrono::steady_clock::time_point DeviceLocalRunner::now() const
{
    return options_.clock ? options_.clock() : std::chrono::steady_clock::now();
}

std::optional<std::string> DeviceLocalRunner::finished_operation_kind() const
{
    if (!in_flight_) {
        return std::nullopt;
    }
    return in_flight_->key;
}

ResourceOperationStart DeviceLocalRunner::start(const vorn_ui::OperationId& id, OperationClass cls,
                                                std::string_view kind, std::string_view payload)
{
    if (cls != OperationClass::Effect) {
        return fail(std::string(effect_only_message));
    }
    if (in_flight_) {
        if (now() < in_flight_->deadline) {
            return fail(std::string(busy_message));
        }
        // The running operation is past its deadline and was never polled to its end: it ends here, so that it
        // cannot block this and every later operation. A late poll for it reports the time-out.
        VORN_WARN("device_local_operation", "operation timed out without a report: {}", in_flight_->key);
        const vorn_ui::OperationId stuck = in_flight_->id;
        abandon();
        in_flight_.reset();
        remember_unreported(
            OperationCompletion::failed(stuck, std::string(failure_code), std::string(timed_out_message), false));
    }
    if (!handles_kind(kind)) {
        return ResourceOperationStart::not_handled();
    }

    bool handed_over = false;
    std::string key;
    auto answer = run(kind, payload, handed_over, key);
    if (answer.kind == ResourceOperationStart::Kind::Pending) {
        const bool long_running = kind == UpdateOperation::kind || kind == AgentModelOperation::kind;
        in_flight_ = InFlight{.id = id,
                              .key = std::move(key),
                              .deadline = now() + (long_running ? options_.long_deadline : options_.deadline),
                              .handed_over = handed_over};
    }
    return answer;
}

ResourceOperationStart DeviceLocalRunner::run(std::string_view kind, std::string_view payload, bool& handed_over,
                                              std::string& key)
{
    // Decodes the payload as T; a decoding error is the failure, before any section change.
#define VORN_DECODE(T, name)                        \
    auto name = decode_payload<T>(payload);         \
    if (!name) {                                    \
        return fail(std::move(name.error()));       \
    }

    // The three kinds the runner applies itself. The key is formed before the change is made, so that a change
    // is never applied and then reported as failed.
    if (kind == InputOperation::kind) {
        VORN_DECODE(InputOperation, operation);
        host_.select_section(Section::MouseKeyboard);
        key = operation_key(*operation);
        return publish_operation_result(key, apply_input_operation(*operation, options_.keyboard_layouts));
    }
    if (kind == KeyboardSourceOperation::kind) {
        VORN_DECODE(KeyboardSourceOperation, operation);
        host_.select_section(Section::MouseKeyboard);
        key = operation_key(*operation);
        return publish_operation_result(key, apply_keyboard_source_operation(*operation, options_.keyboard_layouts));
    }
    if (kind == TimeDateOperation::kind) {
        VORN_DECODE(TimeDateOperation, operation);
        host_.select_section(Section::TimeDate);
        key = operation_key(*operation);
        return publish_operation_result(key, apply_time_date_operation(*operation));
    }

    // The kinds the owning page performs.
    handed_over = true;
    if (kind == UpdateOperation::kind) {
        VORN_DECODE(UpdateOperation, operation);
        host_.select_section(Section::Updates);
        return hand_over(*operation, check_update_operation(*operation), key);
    }
    if (kind == PowerOperation::kind) {
        VORN_DECODE(PowerOperation, operation);
        host_.select_section(Section::Power);
        return hand_over(*operation, check_power_operation(*operation, live_power_state()), key);
    }
    if (kind == NetworkOperation::kind) {
        VORN_DECODE(NetworkOperation, operation);
        host_.select_section(Section::Network);
        return hand_over(*operation, check_network_operation(*operation, live_network_state()), key);
    }
    if (kind == BluetoothOperation::kind) {
        VORN_DECODE(BluetoothOperation, operation);
        host_.select_section(Section::Bluetooth);
        return hand_over(*operation, check_bluetooth_operation(*operation, live_bluetooth_state()), key);
    }
    if (kind == StorageOperation::kind) {
        VORN_DECODE(StorageOperation, operation);
        host_.select_section(Section::Storage);
        const auto state = options_.storage_state ? options_.storage_state() : live_storage_state();
        return hand_over(*operation, check_storage_operation(*operation, state), key);
    }
    if (kind == AudioOperation::kind) {
        VORN_DECODE(AudioOperation, operation);
        // The graph is read before the page is rebuilt.
        const auto graph = sound_graph::audio::enumerate();
        host_.select_section(Section::Sound);
        return hand_over(*operation, check_audio_operation(*operation, audio_live_state(graph)), key);
    }
    if (kind == DisplayOperation::kind) {
        VORN_DECODE(DisplayOperation, operation);
        host_.select_section(Section::Displays);
        const auto state = display_live_state(config_sections::hardware::DisplayHardwareSnapshot::load());
        return hand_over(*operation, check_display_operation(*operation, state), key);
    }
    if (kind == PrinterOperation::kind) {
        VORN_DECODE(PrinterOperation, operation);
        host_.select_section(Section::Printers);
        return hand_over(*operation, check_printer_operation(*operation, live_printer_state()), key);
    }
    if (kind == UserOperation::kind) {
        VORN_DECODE(UserOperation, operation);
        host_.select_section(Section::Users);
        return hand_over(*operation, CheckResult{}, key);
    }
    if (kind == AgentModelOperation::kind) {
        VORN_DECODE(AgentModelOperation, operation);
        host_.select_section(Section::AgentModels);
        return hand_over(*operation, CheckResult{}, key);
    }
    if (kind == DeviceMeshOperation::kind) {
        VORN_DECODE(DeviceMeshOperation, operation);
        host_.select_section(Section::DevicesSync);
        return hand_over(*operation, CheckResult{}, key);
    }
#undef VORN_DECODE
    return ResourceOperationStart::not_handled();
}

template <class Operation>
ResourceOperationStart DeviceLocalRunner::hand_over(const Operation& operation, const CheckResult& checked,
                                                    std::string& key)
{
    if (!checked) {
        return fail(checked.error());
    }
    if constexpr (std::is_same_v<Operation, DeviceMeshOperation>) {
        (void)mesh_requests_.publish(operation);
    } else {
        (void)requests_.publish(PaneOperationRequest{operation});
    }
    key = operation_key(operation);
    (void)status_.publish(OperationStatus::running(key));
    return ResourceOperationStart::pending();
}

ResourceOperationStart DeviceLocalRunner::publish_operation_result(std::string key,
                                                                   const std::expected<std::string, std::string>& outcome)
{
    (void)status_.publish(OperationStatus::running(key));
    (void)status_.publish(outcome ? OperationStatus::done(key, *outcome) : OperationStatus::failed(key, outcome.error()));
    host_.refresh_page();
    return ResourceOperationStart::pending();
}

std::optional<OperationCompletion> DeviceLocalRunner::poll(const vorn_ui::OperationId& id, bool cancel)
{
    if (in_flight_ && in_flight_->id == id) {
        const OperationStatus status = status_.get();
        if (status.is_final_for(in_flight_->key)) {
            in_flight_.reset();
            (void)status_.publish(OperationStatus::idle());
            if (status.state == OperationStatus::State::Done) {
                return OperationCompletion::completed_with(id, vorn_ui::CompletedOperation{{}, status.message});
            }
            return OperationCompletion::failed(id, std::string(failure_code), status.message, false);
        }
        if (cancel) {
            abandon();
            in_flight_.reset();
            return OperationCompletion::cancelled(id, std::string(cancelled_message));
        }
        if (now() >= in_flight_->deadline) {
            VORN_WARN("device_local_operation", "operation timed out: {}", in_flight_->key);
            abandon();
            in_flight_.reset();
            return OperationCompletion::failed(id, std::string(failure_code), std::string(timed_out_message), false);
        }
        return std::nullopt;
    }
    const auto unreported = std::ranges::find(unreported_, id, &OperationCompletion::id);
    if (unreported != unreported_.end()) {
        auto report = std::move(*unreported);
        unreported_.erase(unreported);
        return report;
    }
    return std::nullopt;
}

bool DeviceLocalRunner::owns(const vorn_ui::OperationId& id) const
{
    return (in_flight_ && in_flight_->id == id) ||
           std::ranges::find(unreported_, id, &OperationCompletion::id) != unreported_.end();
}

void DeviceLocalRunner::page_replaced()
{
    if (requests_.get()) {
        (void)requests_.publish(std::nullopt);
    }
    if (mesh_requests_.get()) {
        (void)mesh_requests_.publish(std::nullopt);
    }
    if (in_flight_ && in_flight_->handed_over && status_.get().is_running(in_flight_->key)) {
        (void)status_.publish(OperationStatus::failed(in_flight_->key, std::string(page_closed_message)));
    }
}

void DeviceLocalRunner::abandon()
{
    if (requests_.get()) {
        (void)requests_.publish(std::nullopt);
    }
    if (mesh_requests_.get()) {
        (void)mesh_requests_.publish(std::nullopt);
    }
    // A page that finishes later no longer finds its operation running and drops the outcome.
    (void)status_.publish(OperationStatus::idle());
}

void DeviceLocalRunner::remember_unreported(OperationCompletion report)
{
    if (unreported_.size() == max_unreported) {
        unreported_.pop_front();
    }
    unreported_.push_back(std::move(report));
}

}  // namespace settings::operations
