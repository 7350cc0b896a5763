#pragma once
// The live state the device-local checks compare a request with, read through the system layers (system_ops,
// sound_graph, config_sections). Each piece is read only when the request's variant needs it; tests put the layers'
// fakes in place (system_ops::ScopedCurrent, config_sections::hardware::ScopedDisplayHardware).

#include "actions/payloads/checks.hpp"

#include "config_sections/display_hardware.hpp"
#include "sound_graph/audio.hpp"

#include <expected>
#include <string>
#include <string_view>

namespace settings::operations {

// Wired networking through system_ops::network::get_wired (its error text unchanged).
[[nodiscard]] actions::NetworkLiveState live_network_state();
// Bluetooth devices through system_ops::bluez::devices (its error text unchanged).
[[nodiscard]] actions::BluetoothLiveState live_bluetooth_state();
// The charge-limit percentages through system_ops::battery::charge_capability.
[[nodiscard]] actions::PowerLiveState live_power_state();
// Print queues and job ids through system_ops::printing (a listing error is reported as such).
[[nodiscard]] actions::PrinterLiveState live_printer_state();
// The zones through system_ops::time::list_timezones (a listing error is reported as such).
[[nodiscard]] actions::TimeDateLiveState live_time_state();
// The cache folder of desk_rules::storage, the sync-storage service's socket and the Disks and Backups programs on
// PATH (looks only: nothing is walked, connected or started).
[[nodiscard]] actions::StorageLiveState live_storage_state();

// The ids of a sound graph (from sound_graph::audio::enumerate).
[[nodiscard]] actions::AudioLiveState audio_live_state(const sound_graph::audio::AudioGraph& graph);

// What the checks need of one output: its modes with their labels, its colour profiles with the labels the
// Displays page offers and reads back (description, " · ", identifier), HDR and variable refresh.
[[nodiscard]] actions::LiveOutput live_output(const config_sections::hardware::OutputDescriptor& output);

// The live output of a connector in a snapshot: "live display capabilities are unavailable" without a snapshot,
// "display output is no longer available" when no output has the connector.
[[nodiscard]] std::expected<actions::LiveOutput, std::string> find_live_output(
    const std::expected<config_sections::hardware::DisplayHardwareSnapshot, std::string>& snapshot,
    std::string_view connector);

// The checks' view of a display snapshot (taken once, before the check).
[[nodiscard]] actions::DisplayLiveState display_live_state(
    std::expected<config_sections::hardware::DisplayHardwareSnapshot, std::string> snapshot);

}  // namespace settings::operations
