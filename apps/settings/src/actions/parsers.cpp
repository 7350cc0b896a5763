#include "actions/parsers.hpp"

#include "actions/action_payload.hpp"
#include "actions/contract.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <expected>
#include <memory>
#include <type_traits>
#include <utility>

namespace settings::actions {

using vorn_actions::ActionArgs;
using vorn_actions::EncodedAction;

namespace {

bool read_bool(const ActionArgs& args) { return args.boolean("value").value_or(false); }
// The number "value"; absent, null and non-finite numbers are refused rather than read as 0.
std::expected<double, vorn_actions::ActionError> read_number(const ActionArgs& args)
{
    const auto number = args.number("value");
    if (!number || !std::isfinite(*number)) {
        return std::unexpected(
            vorn_actions::ActionError(vorn_actions::ActionError::Kind::InvalidArguments, "\"value\" must be a finite number"));
    }
    return *number;
}
std::string read_text(const ActionArgs& args, std::string_view name, std::string_view fallback = {})
{
    auto text = args.text(name);
    return text ? std::move(*text) : std::string(fallback);
}
std::string read_choice(const ActionArgs& args) { return read_text(args, "choice"); }

// Clamped with explicit comparisons so that a NaN passes through unchanged.
double clamp_unit(double value)
{
    if (value < 0.0) {
        return 0.0;
    }
    if (value > 1.0) {
        return 1.0;
    }
    return value;
}

std::optional<std::uint32_t> find_label(const std::vector<ChoiceRecord>& records, std::string_view label)
{
    const auto it = std::ranges::find(records, label, &ChoiceRecord::label);
    return it == records.end() ? std::nullopt : std::optional(it->value);
}

// A parser that builds operation Op from the arguments with `build`.
template <class Op, class Build>
Parser parser_of(Build build)
{
    return [build = std::move(build)](const ActionArgs& args) -> EncodedAction { return operation_action(Op(build(args))); };
}

// A parser that builds operation Op from the number "value" with `build`, or refuses a missing number.
template <class Op, class Build>
Parser number_parser_of(Build build)
{
    return [build = std::move(build)](const ActionArgs& args) -> std::expected<EncodedAction, vorn_actions::ActionError> {
        const auto number = read_number(args);
        if (!number) {
            return std::unexpected(number.error());
        }
        return operation_action(Op(build(*number)));
    };
}

template <class Op, class Variant>
Parser bool_parser()
{
    return parser_of<Op>([](const ActionArgs& args) { return Variant{read_bool(args)}; });
}

template <class Op, class Variant>
Parser number_parser()
{
    return number_parser_of<Op>([](double value) { return Variant{value}; });
}

template <class Op, class Variant>
Parser choice_parser()
{
    return parser_of<Op>([](const ActionArgs& args) { return Variant{read_choice(args)}; });
}

using SharedRecords = std::shared_ptr<const std::vector<ChoiceRecord>>;
SharedRecords share(std::vector<ChoiceRecord> records)
{
    return std::make_shared<const std::vector<ChoiceRecord>>(std::move(records));
}

}  // namespace

// ---- Power

Parser power_auto_suspend_parser() { return bool_parser<PowerOperation, PowerOperation::SetAutoSuspend>(); }

Parser power_action_parser(std::string_view selector)
{
    if (selector == "lid") {
        return choice_parser<PowerOperation, PowerOperation::SetLidAction>();
    }
    if (selector == "power-key") {
        return choice_parser<PowerOperation, PowerOperation::SetPowerKeyAction>();
    }
    return choice_parser<PowerOperation, PowerOperation::SetCriticalAction>();
}

Parser power_choice_parser(std::string_view selector)
{
    if (selector == "active") {
        return choice_parser<PowerOperation, PowerOperation::SetProfile>();
    }
    if (selector == "blank") {
        return choice_parser<PowerOperation, PowerOperation::SetBlankTimeout>();
    }
    if (selector == "lock") {
        return choice_parser<PowerOperation, PowerOperation::SetLockTimeout>();
    }
    return parser_of<PowerOperation>([profile = std::string(selector)](const ActionArgs& args) {
        return PowerOperation::SetSuspendTimeout{profile, read_choice(args)};
    });
}

std::optional<std::uint32_t> parse_charge_percent(std::string_view text)
{
    while (text.ends_with('%')) {
        text.remove_suffix(1);
    }
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    if (text.empty() || !std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::uint32_t percent = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), percent);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return percent;
}

Parser charge_limit_parser(std::uint32_t default_percent)
{
    return parser_of<PowerOperation>([default_percent](const ActionArgs& args) {
        const std::optional<std::string> text = args.text("percent");
        const std::optional<std::uint32_t> percent = text ? parse_charge_percent(*text) : std::nullopt;
        return PowerOperation::SetChargeLimit{percent.value_or(default_percent)};
    });
}

// ---- Sound

Parser output_muted_parser() { return bool_parser<AudioOperation, AudioOperation::SetOutputMuted>(); }
Parser mono_parser() { return bool_parser<AudioOperation, AudioOperation::SetMono>(); }
Parser output_volume_parser() { return number_parser<AudioOperation, AudioOperation::SetOutputVolume>(); }
Parser input_volume_parser() { return number_parser<AudioOperation, AudioOperation::SetInputVolume>(); }
Parser balance_parser() { return number_parser<AudioOperation, AudioOperation::SetBalance>(); }

Parser output_device_parser(std::vector<ChoiceRecord> outputs)
{
    return audio_device_choice_parser("output-device", std::move(outputs));
}

Parser input_device_parser(std::vector<ChoiceRecord> inputs)
{
    return audio_device_choice_parser("input-device", std::move(inputs));
}

Parser audio_device_choice_parser(std::string_view selector, std::vector<ChoiceRecord> devices)
{
    SharedRecords records = share(std::move(devices));
    if (selector == "output-device") {
        return parser_of<AudioOperation>([records](const ActionArgs& args) {
            return AudioOperation::SelectOutput{find_label(*records, read_choice(args)).value_or(no_device)};
        });
    }
    return parser_of<AudioOperation>([records](const ActionArgs& args) {
        return AudioOperation::SelectInput{find_label(*records, read_choice(args)).value_or(no_device)};
    });
}

Parser device_profile_parser(std::uint32_t device_id, std::vector<ChoiceRecord> profiles)
{
    return parser_of<AudioOperation>([device_id, records = share(std::move(profiles))](const ActionArgs& args) {
        return AudioOperation::SetDeviceProfile{device_id, find_label(*records, read_choice(args)).value_or(no_device)};
    });
}

Parser stream_route_parser(std::uint32_t stream_id, bool playback, std::vector<ChoiceRecord> devices)
{
    return parser_of<AudioOperation>(
        [stream_id, playback, records = share(std::move(devices))](const ActionArgs& args) {
            const std::string choice = read_choice(args);
            const std::optional<std::uint32_t> device =
                choice == "Default" ? std::nullopt : find_label(*records, choice);
            return AudioOperation::RouteStream{stream_id, playback, device};
        });
}

Parser stream_volume_parser(std::uint32_t stream_id)
{
    return number_parser_of<AudioOperation>(
        [stream_id](double value) { return AudioOperation::SetStreamVolume{stream_id, value}; });
}

Parser stream_muted_parser(std::uint32_t stream_id)
{
    return parser_of<AudioOperation>([stream_id](const ActionArgs& args) {
        return AudioOperation::SetStreamMuted{stream_id, read_bool(args)};
    });
}

// ---- Network, Bluetooth, Updates

Parser wifi_parser() { return bool_parser<NetworkOperation, NetworkOperation::SetWifiEnabled>(); }
Parser bluetooth_power_parser() { return bool_parser<BluetoothOperation, BluetoothOperation::SetPowered>(); }
Parser update_automatic_parser() { return bool_parser<UpdateOperation, UpdateOperation::SetAutomatic>(); }
Parser update_metered_parser() { return bool_parser<UpdateOperation, UpdateOperation::SetMetered>(); }
Parser update_schedule_parser() { return choice_parser<UpdateOperation, UpdateOperation::SetSchedule>(); }

// ---- Displays

Parser auto_brightness_parser() { return bool_parser<DisplayOperation, DisplayOperation::SetAutoBrightness>(); }
Parser night_light_parser() { return bool_parser<DisplayOperation, DisplayOperation::SetNightLight>(); }
Parser night_light_temperature_parser()
{
    return choice_parser<DisplayOperation, DisplayOperation::SetNightLightTemperature>();
}
Parser display_scale_parser() { return choice_parser<DisplayOperation, DisplayOperation::SetScale>(); }
Parser brightness_parser() { return number_parser<DisplayOperation, DisplayOperation::SetBrightness>(); }

Parser output_switch_parser(std::string connector, OutputSwitch which)
{
    return parser_of<DisplayOperation>([connector = std::move(connector), which](const ActionArgs& args) {
        const bool on = read_bool(args);
        switch (which) {
        case OutputSwitch::Enabled: return DisplayOperation(DisplayOperation::SetEnabled{connector, on});
        case OutputSwitch::Primary: return DisplayOperation(DisplayOperation::SetPrimary{connector, on});
        case OutputSwitch::Hdr: return DisplayOperation(DisplayOperation::SetHdr{connector, on});
        case OutputSwitch::Vrr: break;
        }
        return DisplayOperation(DisplayOperation::SetVrr{connector, on});
    });
}

namespace {

template <class Variant>
Parser output_label_parser(std::string connector)
{
    return parser_of<DisplayOperation>([connector = std::move(connector)](const ActionArgs& args) {
        return Variant{connector, read_choice(args)};
    });
}

}  // namespace

Parser output_choice_parser(std::string connector, std::string_view selector)
{
    if (selector == "scale") {
        return output_label_parser<DisplayOperation::SetOutputScale>(std::move(connector));
    }
    if (selector == "position") {
        return output_label_parser<DisplayOperation::SetPosition>(std::move(connector));
    }
    if (selector == "mirror") {
        return output_label_parser<DisplayOperation::SetMirror>(std::move(connector));
    }
    if (selector == "mode") {
        return output_label_parser<DisplayOperation::SetModeLabel>(std::move(connector));
    }
    if (selector == "transform") {
        return output_label_parser<DisplayOperation::SetTransformLabel>(std::move(connector));
    }
    if (selector == "color-profile") {
        return output_label_parser<DisplayOperation::SetColorProfileLabel>(std::move(connector));
    }
    unreachable("action id is validated before constructing the closure");
}

// ---- Mouse & Keyboard

namespace {

// The eight switches carry one `bool enabled`; the three levels one `double value`.
template <class V>
constexpr bool is_input_switch = requires(V v) {
    { v.enabled } -> std::same_as<bool&>;
} && std::tuple_size_v<decltype(V::fields())> == 1;

template <class V>
constexpr bool is_input_level = requires(V v) {
    { v.value } -> std::same_as<double&>;
} && std::tuple_size_v<decltype(V::fields())> == 1;

}  // namespace

Parser input_switch_parser(const InputOperation& template_operation)
{
    const bool is_switch = std::visit(
        [](const auto& v) { return is_input_switch<std::decay_t<decltype(v)>>; }, template_operation.value);
    if (!is_switch) {
        unreachable("input bool resources only contain boolean operations");
    }
    return parser_of<InputOperation>([template_operation](const ActionArgs& args) {
        const bool on = read_bool(args);
        return std::visit(
            [on](const auto& v) -> InputOperation {
                using V = std::decay_t<decltype(v)>;
                if constexpr (is_input_switch<V>) {
                    V made{};
                    made.enabled = on;
                    return made;
                } else {
                    return v;  // not reached: the template was checked when the parser was built
                }
            },
            template_operation.value);
    });
}

Parser input_level_parser(const InputOperation& template_operation)
{
    const bool is_level = std::visit(
        [](const auto& v) { return is_input_level<std::decay_t<decltype(v)>>; }, template_operation.value);
    if (!is_level) {
        unreachable("input number resources only contain numeric operations");
    }
    return number_parser_of<InputOperation>([template_operation](double value) {
        const double level = clamp_unit(value);
        return std::visit(
            [level](const auto& v) -> InputOperation {
                using V = std::decay_t<decltype(v)>;
                if constexpr (is_input_level<V>) {
                    V made{};
                    made.value = level;
                    return made;
                } else {
                    return v;  // not reached: the template was checked when the parser was built
                }
            },
            template_operation.value);
    });
}

InputOperation make_acceleration_profile(std::string choice)
{
    return InputOperation::SetAccelerationProfile{std::move(choice)};
}
InputOperation make_compose_key(std::string choice) { return InputOperation::SetComposeKey{std::move(choice)}; }
InputOperation make_active_source(std::string choice) { return InputOperation::SetActiveSource{std::move(choice)}; }

Parser input_choice_parser(InputChoiceConstructor make, std::string fallback)
{
    return parser_of<InputOperation>([make, fallback = std::move(fallback)](const ActionArgs& args) {
        return make(read_text(args, "choice", fallback));
    });
}

Parser add_source_parser(std::string fallback_label)
{
    return parser_of<KeyboardSourceOperation>([fallback = std::move(fallback_label)](const ActionArgs& args) {
        return KeyboardSourceOperation::Add{read_text(args, "label", fallback)};
    });
}

// ---- Time & Date

Parser time_switch_parser(const TimeDateOperation& template_operation)
{
    if (std::holds_alternative<TimeDateOperation::SetHourCycle>(template_operation.value)) {
        return bool_parser<TimeDateOperation, TimeDateOperation::SetHourCycle>();
    }
    if (std::holds_alternative<TimeDateOperation::SetAutomaticTime>(template_operation.value)) {
        return bool_parser<TimeDateOperation, TimeDateOperation::SetAutomaticTime>();
    }
    unreachable("time boolean resource must be boolean");
}

Parser timezone_parser()
{
    return parser_of<TimeDateOperation>(
        [](const ActionArgs& args) { return TimeDateOperation::SetTimezone{read_text(args, "choice", "UTC")}; });
}

// ---- Devices & Sync

DeviceMeshOperation make_mesh_role(std::string choice) { return DeviceMeshOperation::SetRole{std::move(choice)}; }
DeviceMeshOperation make_mesh_replication(std::string choice)
{
    return DeviceMeshOperation::SetReplication{std::move(choice)};
}

Parser mesh_choice_parser(MeshChoiceConstructor make)
{
    return parser_of<DeviceMeshOperation>([make](const ActionArgs& args) { return make(read_choice(args)); });
}

Parser mesh_service_parser(std::string service)
{
    return parser_of<DeviceMeshOperation>([service = std::move(service)](const ActionArgs& args) {
        return DeviceMeshOperation::SetService{service, read_bool(args)};
    });
}

Parser workspace_available_parser(std::uint64_t workspace_id)
{
    return parser_of<DeviceMeshOperation>([workspace_id](const ActionArgs& args) {
        return DeviceMeshOperation::SetWorkspace{workspace_id, read_bool(args)};
    });
}

// ---- Agent Models

Parser provider_details_parser(std::string provider_id)
{
    return parser_of<AgentProviderOperation>([id = std::move(provider_id)](const ActionArgs& args) {
        return AgentProviderOperation::SetDetails{id, read_text(args, "label"), read_text(args, "endpoint"),
                                                  args.text("model")};
    });
}

}  // namespace settings::actions
