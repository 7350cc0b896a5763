#pragma once
// Batteries, UPS units and the battery charge cap, read from the kernel's power-supply class
// (<sysfs root>/class/power_supply; the root is /sys and can be replaced for tests).
//
// The free functions forward to the current BatteryService (see current.hpp); the real one is SysfsBattery.

#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace system_ops::battery {

// The machine's own batteries taken together (peripherals such as a mouse are not counted).
struct BatteryInfo {
    bool present = false;
    std::uint32_t percent = 0;  // charge, 0 to 100
    std::optional<std::uint32_t> cycle_count;
    bool charge_limited = false;            // a charge cap below 100% is in force
    std::uint32_t charge_limit_percent = 100;
    // The kernel's status: "Charging", "Discharging", "Full", "Not charging" or "Unknown".
    std::string status = "Unknown";
    // Full-charge and design capacity (µWh or µAh, the same unit for both), when reported.
    std::optional<double> full_capacity;
    std::optional<double> design_capacity;

    // The current battery (see current.hpp).
    [[nodiscard]] static BatteryInfo from_system();

    // "Charging", "On battery", "Fully charged", "Plugged in, not charging", "Unknown", or "No battery".
    [[nodiscard]] std::string summary() const;
    // Full-charge capacity as a percentage of the design capacity (at most 100), when both are reported.
    [[nodiscard]] std::optional<std::uint32_t> health_percent() const;
    [[nodiscard]] std::string health_explanation() const;

    friend bool operator==(const BatteryInfo&, const BatteryInfo&) = default;
};

enum class PowerDeviceKind : std::uint8_t { Battery, Ups };

// One battery or UPS, including peripherals.
struct PowerDevice {
    std::string name;   // model name, else the kernel's name ("BAT0")
    std::string state;  // as BatteryInfo::summary() words it
    std::optional<std::string> model;
    std::uint32_t percent = 0;
    PowerDeviceKind kind = PowerDeviceKind::Battery;

    friend bool operator==(const PowerDevice&, const PowerDevice&) = default;
};

// How the hardware limits charging.
enum class ChargeControlKind : std::uint8_t {
    StopThreshold = 0,     // charge_control_end_threshold (with or without a start threshold)
    ConservationMode = 1,  // a laptop's on/off conservation mode (ideapad)
    PairedThresholds = 2,  // start and end thresholds that must be written together
};

struct ChargeCapability {
    std::vector<std::uint32_t> supported_percentages;  // ascending, always ending with 100
    std::uint32_t current_percent = 100;
    ChargeControlKind kind = ChargeControlKind::StopThreshold;
    bool adjusts_start = false;  // a start threshold exists and may have to move with the cap

    friend bool operator==(const ChargeCapability&, const ChargeCapability&) = default;
};

class BatteryService {
public:
    virtual ~BatteryService() = default;
    [[nodiscard]] virtual BatteryInfo battery_info() = 0;
    [[nodiscard]] virtual Result<std::vector<PowerDevice>> power_devices() = 0;
    // None when the hardware has no charge control (or it cannot be read).
    [[nodiscard]] virtual std::optional<ChargeCapability> charge_capability() = 0;
    // Sets the charge cap to one of the capability's supported percentages and reads it back: the capability the
    // hardware reports afterwards, or why the cap was not applied (also when the hardware kept another value).
    [[nodiscard]] virtual Result<ChargeCapability> set_charge_limit_checked(std::uint32_t percent) = 0;
};

[[nodiscard]] std::shared_ptr<BatteryService> current();
std::shared_ptr<BatteryService> replace_current(std::shared_ptr<BatteryService> service);

[[nodiscard]] Result<std::vector<PowerDevice>> power_devices();
[[nodiscard]] std::optional<ChargeCapability> charge_capability();
[[nodiscard]] Result<ChargeCapability> set_charge_limit_checked(std::uint32_t percent);

// ---- The real backend ----------------------------------------------------------------------------------------------

class SysfsBattery final : public BatteryService {
public:
    // The caps offered for a stop threshold; the firmware accepts any percentage, these are the useful ones.
    static constexpr std::uint32_t stop_threshold_choices[] = {50, 60, 70, 80, 90, 100};
    // An ideapad's conservation mode holds the charge at about 60%.
    static constexpr std::uint32_t conservation_percent = 60;

    explicit SysfsBattery(std::filesystem::path sysfs_root = "/sys");

    BatteryInfo battery_info() override;
    Result<std::vector<PowerDevice>> power_devices() override;
    std::optional<ChargeCapability> charge_capability() override;
    // Writes the kernel's attributes directly, which needs the rights to do so (root, or a udev rule that hands the
    // attribute to the user); a refusal is reported with the system's reason.
    Result<ChargeCapability> set_charge_limit_checked(std::uint32_t percent) override;

private:
    std::filesystem::path root_;
};

// ---- The fake ------------------------------------------------------------------------------------------------------

class FakeBattery final : public BatteryService {
public:
    struct State {
        BatteryInfo info;
        Result<std::vector<PowerDevice>> devices = std::vector<PowerDevice>{};
        std::optional<ChargeCapability> capability;
        // When set, set_charge_limit_checked fails with this text.
        std::optional<std::string> change_failure;
    };

    FakeBattery() = default;
    explicit FakeBattery(State state) : state_(std::move(state)) {}

    void set_state(State state);
    BatteryInfo battery_info() override;
    Result<std::vector<PowerDevice>> power_devices() override;
    std::optional<ChargeCapability> charge_capability() override;
    Result<ChargeCapability> set_charge_limit_checked(std::uint32_t percent) override;

private:
    std::mutex mutex_;
    State state_;
};

}  // namespace system_ops::battery
