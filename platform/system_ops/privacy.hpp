#pragma once
// What the Device Privacy & Security page reports about this machine: the camera and microphone hardware with
// their kill switches, the microphone's mute, which applications use them now, and the device's security state
// (disk encryption, Secure Boot, the firewall). Everything is read under an injectable root folder ("/" on the
// machine) and every tool runs through the bounded command runner, so the probes are slow only up to their time
// limits: call them on a worker.
//
// A probe that could not answer says "Unavailable"; "Not encrypted", "Disabled" and "Not active" are said only when
// a probe actually answered so.
//
//   system_ops::privacy::Probes probes;  // the machine's own root and tools
//   const auto status = system_ops::privacy::get_privacy_status(probes);
//   const auto security = system_ops::privacy::get_device_security(probes);

#include "cmd_runner/cmd_runner.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::privacy {

inline constexpr std::string_view unavailable = "Unavailable";

enum class KillSwitch { NoneReported, Available, BlockedBySoftware, BlockedByHardware };
enum class MicrophoneMute { NotMuted, Muted, NotReported };
enum class PrivacyDevice { Camera, Microphone };

struct ActiveUse {
    std::string application;
    PrivacyDevice device = PrivacyDevice::Microphone;

    friend bool operator==(const ActiveUse&, const ActiveUse&) = default;
};

struct PrivacyStatus {
    bool camera_present = false;
    MicrophoneMute microphone_mute = MicrophoneMute::NotReported;
    KillSwitch camera_switch = KillSwitch::NoneReported;
    KillSwitch microphone_switch = KillSwitch::NoneReported;
    std::vector<ActiveUse> active_uses;

    friend bool operator==(const PrivacyStatus&, const PrivacyStatus&) = default;
};

// The three values of the "Device security" card, as the page shows them.
struct DeviceSecurity {
    std::string disk_encryption;  // "Encrypted", "Not encrypted" or "Unavailable"
    std::string secure_boot;      // "Enabled", "Disabled" or "Unavailable"
    std::string firewall;         // "Active · firewalld", "Active · nftables", "Not active" or "Unavailable"

    friend bool operator==(const DeviceSecurity&, const DeviceSecurity&) = default;
};

// Where the probes look. The sound layer is reached through the two functions (the page gives the PipeWire graph
// and wpctl); without them the microphone's mute is not reported and no use is listed.
struct Probes {
    std::filesystem::path root = "/";
    std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner();
    // The default input's mute; nothing when the sound layer does not say.
    std::function<std::optional<bool>()> microphone_muted;
    // The applications recording or capturing now, in the graph's order.
    std::function<std::vector<ActiveUse>()> active_uses;
};

// The text of a kill switch: "Present · no kill switch reported" / "Not available" when none is reported.
[[nodiscard]] std::string kill_switch_label(KillSwitch state, bool present);

// Runs the tool (5 s, 1 MiB); its standard output, cleaned and trimmed, when it ran and exited with status 0.
[[nodiscard]] std::optional<std::string> run_privacy_probe(cmd_runner::Runner& runner, std::string program,
                                                           std::vector<std::string> args);

[[nodiscard]] PrivacyStatus get_privacy_status(const Probes& probes);

// The disk encryption of the root file system: findmnt for its device (without a btrfs "[/subvolume]" suffix; a
// composefs or overlay root is followed to /sysroot), then lsblk for the device stack below it.
[[nodiscard]] std::string disk_encryption(const Probes& probes);
// Secure Boot from the EFI variable under <root>/sys/firmware/efi/efivars.
[[nodiscard]] std::string secure_boot(const Probes& probes);
// firewalld first, then the nftables ruleset.
[[nodiscard]] std::string firewall(const Probes& probes);
[[nodiscard]] DeviceSecurity get_device_security(const Probes& probes);

}  // namespace system_ops::privacy
