#pragma once
// The Sound page's own wpctl controls: the default output and input, the level of the default input, and the
// device list that `wpctl status` prints (used when the graph itself cannot be read).
//
// Every call runs wpctl through the bounded command runner (5 s, 1 MiB) and may be made from any thread: the
// controls keep no state of their own. Fakes for page tests are in sound_graph/testing/fakes.hpp.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/audio.hpp"
#include "system_ops/result.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sound_graph::audio {

using system_ops::Result;
using system_ops::Status;

// One output or input the user can choose. Devices are told apart by id, never by name: two devices may well
// share a display name.
struct DeviceChoice {
    std::string name;       // what the user sees
    std::uint32_t id = 0;   // the node id
    bool is_default = false;
    std::string node_name;  // the system name, when known (empty for choices read from `wpctl status`)

    friend bool operator==(const DeviceChoice&, const DeviceChoice&) = default;
};

struct DeviceChoices {
    std::vector<DeviceChoice> outputs;
    std::vector<DeviceChoice> inputs;

    // The first entry marked default, or none.
    [[nodiscard]] const DeviceChoice* default_output() const;
    [[nodiscard]] const DeviceChoice* default_input() const;

    friend bool operator==(const DeviceChoices&, const DeviceChoices&) = default;
};

// Reads the sinks and sources of the "Audio" part of `wpctl status`; the sinks and sources wpctl lists under
// "Video" (cameras and screen casts) are not sound devices. An entry reads "│  *   48. Speakers   [vol: 0.40]":
// "*" marks the default, the number is the node id, a bracketed suffix is dropped. Lines that do not read like
// that are skipped; names are cleaned and bounded to 256 bytes.
[[nodiscard]] DeviceChoices parse_wpctl_status(std::string_view text);

// The default output and input (PipeWire's configured defaults).
class DefaultDeviceControl {
public:
    virtual ~DefaultDeviceControl() = default;
    // The outputs and inputs with the current defaults, as `wpctl status` lists them.
    [[nodiscard]] virtual Result<DeviceChoices> list_devices() = 0;
    // Makes the node (a sink or a source) the default of its kind.
    [[nodiscard]] virtual Status set_default(std::uint32_t node_id) = 0;
};

// The level of the default input.
class SourceVolumeControl {
public:
    virtual ~SourceVolumeControl() = default;
    // Its volume (0 to 1) and mute; an error when PipeWire names no default input.
    [[nodiscard]] virtual Result<system_ops::audio::VolumeState> get_volume_state() = 0;
    // percent is clamped to 0..100 and sent with two decimals (75 → "0.75").
    [[nodiscard]] virtual Status set_volume(float percent) = 0;
};

class WpctlDefaultDevice final : public DefaultDeviceControl {
public:
    explicit WpctlDefaultDevice(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    Result<DeviceChoices> list_devices() override;
    Status set_default(std::uint32_t node_id) override;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
};

class WpctlSourceVolume final : public SourceVolumeControl {
public:
    explicit WpctlSourceVolume(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    Result<system_ops::audio::VolumeState> get_volume_state() override;
    Status set_volume(float percent) override;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
};

}  // namespace sound_graph::audio
