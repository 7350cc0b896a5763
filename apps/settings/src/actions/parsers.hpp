#pragma once
// The argument parsers of the device-local actions: each factory captures what its action needs when the action is
// built and answers a Parser (action_builders.hpp) that reads one invocation's arguments into the typed operation,
// encoded under its vocabulary's kind. Parsers never fail:
//
//   - booleans: "value"; absent gives false
//   - numbers: "value"; absent gives 0.0; passed on unchanged except the Mouse & Keyboard levels, clamped to 0..1
//   - texts ("choice", "percent", "label", "endpoint", "model"): absent gives the empty text unless a fallback is
//     named below
//   - a choice looked up by label takes the first record whose label equals the text byte for byte; no match gives
//     no_device (4294967295), or for a stream route no device at all ("Default" also gives no device)
//   - the charge limit reads "percent" without its trailing "%" characters as an unsigned decimal (an optional "+"
//     first, no white space); anything else gives the captured default
//
// Range checks are not done here: the device-local runner and the pages check the values when they perform them.
//
// A parser built with a template or selector outside its family is a broken invariant of the static contract and
// stops the program when it is built (see each factory).

#include "actions/payloads/operations.hpp"
#include "actions/action_builders.hpp"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::actions {

// The device id a label lookup answers when no record carries the label.
inline constexpr std::uint32_t no_device = std::numeric_limits<std::uint32_t>::max();

// One choice of a drop-down that stands for an id of the live audio graph.
struct ChoiceRecord {
    std::string label;
    std::uint32_t value = 0;
    friend bool operator==(const ChoiceRecord&, const ChoiceRecord&) = default;
};

// ---- Power (kind "settings.power-operation")
// auto_suspend: SetAutoSuspend { enabled }.
[[nodiscard]] Parser power_auto_suspend_parser();
// lid, power_key, critical: selector "lid" SetLidAction, "power-key" SetPowerKeyAction, any other
// SetCriticalAction; each { action: choice }.
[[nodiscard]] Parser power_action_parser(std::string_view selector);
// profile and the timeouts: selector "active" SetProfile { profile: choice }, "blank" SetBlankTimeout { label },
// "lock" SetLockTimeout { label }, any other selector s SetSuspendTimeout { profile: s, label }.
[[nodiscard]] Parser power_choice_parser(std::string_view selector);
// set-charge-cap: SetChargeLimit { percent } from "percent", else `default_percent`.
[[nodiscard]] Parser charge_limit_parser(std::uint32_t default_percent);
// The charge-limit reading rule alone.
[[nodiscard]] std::optional<std::uint32_t> parse_charge_percent(std::string_view text);

// ---- Sound (kind "settings.audio-operation")
[[nodiscard]] Parser output_muted_parser();  // muted: SetOutputMuted { muted }
[[nodiscard]] Parser mono_parser();          // mono: SetMono { enabled }
[[nodiscard]] Parser output_volume_parser(); // volume: SetOutputVolume { value }
[[nodiscard]] Parser input_volume_parser();  // input-volume: SetInputVolume { value }
[[nodiscard]] Parser balance_parser();       // balance: SetBalance { value }
// output-device: SelectOutput { device_id } by label over `outputs`.
[[nodiscard]] Parser output_device_parser(std::vector<ChoiceRecord> outputs);
// input-device: SelectInput { device_id } by label over `inputs`.
[[nodiscard]] Parser input_device_parser(std::vector<ChoiceRecord> inputs);
// The Sound page's device drop-downs: selector "output-device" SelectOutput, any other SelectInput.
[[nodiscard]] Parser audio_device_choice_parser(std::string_view selector, std::vector<ChoiceRecord> devices);
// audio-device object, profile: SetDeviceProfile { device_id, profile_index } by label over `profiles`.
[[nodiscard]] Parser device_profile_parser(std::uint32_t device_id, std::vector<ChoiceRecord> profiles);
// playback/recording object, route: RouteStream { stream_id, playback, device_id } by label over `devices`;
// "Default" or an unknown label routes to no device (null).
[[nodiscard]] Parser stream_route_parser(std::uint32_t stream_id, bool playback, std::vector<ChoiceRecord> devices);
// playback/recording object, volume and muted.
[[nodiscard]] Parser stream_volume_parser(std::uint32_t stream_id);
[[nodiscard]] Parser stream_muted_parser(std::uint32_t stream_id);

// ---- Network, Bluetooth, Updates
[[nodiscard]] Parser wifi_parser();                // wifi: NetworkOperation::SetWifiEnabled { enabled }
[[nodiscard]] Parser bluetooth_power_parser();     // bluetooth: BluetoothOperation::SetPowered { enabled }
[[nodiscard]] Parser update_automatic_parser();    // automatic: UpdateOperation::SetAutomatic { enabled }
[[nodiscard]] Parser update_metered_parser();      // metered: UpdateOperation::SetMetered { allowed }
[[nodiscard]] Parser update_schedule_parser();     // schedule: UpdateOperation::SetSchedule { schedule: choice }

// ---- Displays (kind "settings.display-operation")
[[nodiscard]] Parser auto_brightness_parser();          // SetAutoBrightness { enabled }
[[nodiscard]] Parser night_light_parser();              // SetNightLight { enabled }
[[nodiscard]] Parser night_light_temperature_parser();  // SetNightLightTemperature { label: choice }
[[nodiscard]] Parser display_scale_parser();            // SetScale { label: choice }
[[nodiscard]] Parser brightness_parser();               // SetBrightness { value }, unclamped

enum class OutputSwitch : std::uint8_t { Enabled, Primary, Hdr, Vrr };
// display-output object, enabled/primary/hdr/vrr: SetEnabled, SetPrimary, SetHdr, SetVrr for `connector`.
[[nodiscard]] Parser output_switch_parser(std::string connector, OutputSwitch which);
// display-output object and the Displays page's output drop-downs: selector "scale" SetOutputScale, "position"
// SetPosition, "mirror" SetMirror, "mode" SetModeLabel, "transform" SetTransformLabel, "color-profile"
// SetColorProfileLabel, each { connector, label: choice }. Any other selector stops the program with
// "internal error: entered unreachable code: action id is validated before constructing the closure".
[[nodiscard]] Parser output_choice_parser(std::string connector, std::string_view selector);

// ---- Mouse & Keyboard
// The switches: the InputOperation variant of `template_operation` (its own field is ignored) { enabled }. A
// template that is not one of the eight switches stops the program with
// "internal error: entered unreachable code: input bool resources only contain boolean operations".
[[nodiscard]] Parser input_switch_parser(const InputOperation& template_operation);
// The levels: SetTouchpadPointerSpeed, SetMousePointerSpeed or SetKeyRepeat (from the template) { value clamped
// to 0..1 }. Any other template stops the program with
// "internal error: entered unreachable code: input number resources only contain numeric operations".
[[nodiscard]] Parser input_level_parser(const InputOperation& template_operation);
// The choices: `make(choice)`, or `make(fallback)` when no choice is given.
using InputChoiceConstructor = InputOperation (*)(std::string choice);
[[nodiscard]] InputOperation make_acceleration_profile(std::string choice);
[[nodiscard]] InputOperation make_compose_key(std::string choice);
[[nodiscard]] InputOperation make_active_source(std::string choice);
[[nodiscard]] Parser input_choice_parser(InputChoiceConstructor make, std::string fallback);
// add-source: KeyboardSourceOperation::Add { label } from "label", else `fallback_label`.
[[nodiscard]] Parser add_source_parser(std::string fallback_label);

// ---- Time & Date (kind "settings.time-date-operation")
// automatic-time and 24-hour: template SetAutomaticTime gives SetAutomaticTime { enabled }, SetHourCycle gives
// SetHourCycle { h24 }. The SetTimezone template stops the program with
// "internal error: entered unreachable code: time boolean resource must be boolean".
[[nodiscard]] Parser time_switch_parser(const TimeDateOperation& template_operation);
// timezone: SetTimezone { timezone: choice }, "UTC" when no choice is given.
[[nodiscard]] Parser timezone_parser();

// ---- Devices & Sync (kind "settings.device-mesh-operation")
using MeshChoiceConstructor = DeviceMeshOperation (*)(std::string choice);
[[nodiscard]] DeviceMeshOperation make_mesh_role(std::string choice);
[[nodiscard]] DeviceMeshOperation make_mesh_replication(std::string choice);
[[nodiscard]] Parser mesh_choice_parser(MeshChoiceConstructor make);             // role, replication
[[nodiscard]] Parser mesh_service_parser(std::string service);                  // SetService { service, enabled }
[[nodiscard]] Parser workspace_available_parser(std::uint64_t workspace_id);    // SetWorkspace { id, enabled }

// ---- Agent Models (kind "settings.agent-provider-operation")
// set-details: SetDetails { id, label, endpoint, model }; a missing label or endpoint is "", a missing model none.
[[nodiscard]] Parser provider_details_parser(std::string provider_id);

}  // namespace settings::actions
