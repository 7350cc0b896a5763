#pragma once
// What the Power page reads and changes outside itself: the power profiles (power-profiles-daemon), the battery,
// the power devices and the charge cap (the kernel's power-supply class), the battery history (our own sampler's
// file) and the "power" section of the settings file.
//
// Every read and change here may wait on a daemon or the kernel, so the page calls them only from its workers.
// The backends are shared and safe to call from any thread.
//
//   PowerBackends backends = PowerBackends::system();
//   BatteryState battery = read_battery(backends);     // on a worker
//   ProfileState profiles = read_profiles(backends);   // on another

#include "prefs/records.hpp"
#include "system_ops/battery.hpp"
#include "system_ops/dispatcher.hpp"
#include "system_ops/power.hpp"

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace settings::panes::power {

using system_ops::PowerProfile;
using system_ops::battery::BatteryInfo;
using system_ops::battery::ChargeCapability;
using system_ops::battery::ChargeControlKind;
using system_ops::battery::PowerDevice;
using system_ops::battery::PowerDeviceKind;

// The battery side of the machine, read once when the page opens.
struct BatteryState {
    BatteryInfo battery;
    std::vector<PowerDevice> devices;           // empty when they could not be listed (logged)
    std::optional<ChargeCapability> capability;  // none: no charge control
    std::vector<std::uint32_t> history;          // charges of the last 30 days, oldest first
    friend bool operator==(const BatteryState&, const BatteryState&) = default;
};

// The power profiles of the machine.
struct ProfileState {
    std::vector<PowerProfile> available;  // in table order, with the active one
    PowerProfile active = PowerProfile::Balanced;
    bool active_known = false;  // false: `active` is the first available profile (or Balanced), not the daemon's word
    // "Power-profile service is unavailable: {}." when a read failed.
    std::optional<std::string> unavailable;
    friend bool operator==(const ProfileState&, const ProfileState&) = default;
};

// The profile state from the daemon's two answers: the active profile is offered also when the list lacks it; an
// unreadable active profile is taken as the first available one, else Balanced; errors are joined by "; ", the
// list's prefixed by "capabilities: ".
[[nodiscard]] ProfileState profile_state(const system_ops::Result<PowerProfile>& active,
                                         const system_ops::Result<std::vector<PowerProfile>>& available);

struct PowerBackends {
    std::shared_ptr<system_ops::power::PowerService> profiles;  // reading the profiles
    std::shared_ptr<system_ops::Dispatcher> dispatcher;         // changing the profile
    std::shared_ptr<system_ops::battery::BatteryService> battery;
    std::function<std::vector<std::uint32_t>()> history;  // the battery history's charges, oldest first

    // The machine's own: powerprofilesctl, /sys and the sampler's file in the state folder.
    [[nodiscard]] static PowerBackends system();
};

[[nodiscard]] BatteryState read_battery(const PowerBackends& backends);
[[nodiscard]] ProfileState read_profiles(const PowerBackends& backends);

// The latest readings of this process: a page that opens shows them at once while it reads the machine again.
class LastReadings {
public:
    [[nodiscard]] std::optional<BatteryState> battery() const;
    [[nodiscard]] std::optional<ProfileState> profiles() const;
    void keep(BatteryState state);
    void keep(ProfileState state);

private:
    mutable std::mutex mutex_;
    std::optional<BatteryState> battery_;
    std::optional<ProfileState> profiles_;
};
[[nodiscard]] std::shared_ptr<LastReadings> process_readings();

// ---- The settings file ---------------------------------------------------------------------------------------------

// The "power" section of the settings file (its defaults when there is none).
[[nodiscard]] prefs::PowerPrefs load_power_prefs();
// Loads the settings file, changes its "power" section and saves it; why not, when it could not be saved.
using SavePowerPrefs =
    std::function<std::expected<void, std::string>(const std::function<void(prefs::PowerPrefs&)>& change)>;
[[nodiscard]] std::expected<void, std::string> save_power_prefs(const std::function<void(prefs::PowerPrefs&)>& change);

}  // namespace settings::panes::power
