#pragma once
// The power profile of the machine (Power Saver, Balanced, Performance), through power-profiles-daemon's command-line
// client `powerprofilesctl`.
//
// The free functions forward to the current PowerService (see current.hpp); the real one is PowerprofilesctlPower.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/result.hpp"
#include "system_ops/system_calls.hpp"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::power {

class PowerService {
public:
    virtual ~PowerService() = default;
    [[nodiscard]] virtual Result<PowerProfile> get_power_profile() = 0;
    // The profiles this machine offers, in the order Power Saver, Balanced, Performance.
    [[nodiscard]] virtual Result<std::vector<PowerProfile>> available_power_profiles() = 0;
    [[nodiscard]] virtual Status set_power_profile(PowerProfile profile) = 0;
};

[[nodiscard]] std::shared_ptr<PowerService> current();
std::shared_ptr<PowerService> replace_current(std::shared_ptr<PowerService> service);

[[nodiscard]] Result<PowerProfile> get_power_profile();
[[nodiscard]] Result<std::vector<PowerProfile>> available_power_profiles();
[[nodiscard]] Status set_power_profile(PowerProfile profile);

// The daemon's name of a profile: "power-saver", "balanced", "performance".
[[nodiscard]] std::string_view profile_name(PowerProfile profile);
[[nodiscard]] std::optional<PowerProfile> profile_from_name(std::string_view name);

// Reads the output of `powerprofilesctl list`: the profiles it names (each on a line "  name:" or "* name:"), in the
// order of PowerProfile, and the active one (marked "*").
struct ProfileList {
    std::vector<PowerProfile> profiles;
    std::optional<PowerProfile> active;
    friend bool operator==(const ProfileList&, const ProfileList&) = default;
};
[[nodiscard]] ProfileList parse_profile_list(std::string_view text);

// ---- The real backend ----------------------------------------------------------------------------------------------

class PowerprofilesctlPower final : public PowerService {
public:
    struct Options {
        std::chrono::milliseconds read_limit = std::chrono::seconds(5);
        // Long enough for an authentication dialog of polkit.
        std::chrono::milliseconds write_limit = std::chrono::seconds(60);
    };

    explicit PowerprofilesctlPower(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    PowerprofilesctlPower(std::shared_ptr<cmd_runner::Runner> runner, Options options);

    Result<PowerProfile> get_power_profile() override;
    Result<std::vector<PowerProfile>> available_power_profiles() override;
    Status set_power_profile(PowerProfile profile) override;

private:
    Result<std::string> powerprofilesctl(std::vector<std::string> args, std::chrono::milliseconds limit);

    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
};

// ---- The fake ------------------------------------------------------------------------------------------------------

// Answers from its state and applies every change to it. Safe to share between threads.
class FakePower final : public PowerService {
public:
    struct State {
        PowerProfile active = PowerProfile::Balanced;
        std::vector<PowerProfile> available = {PowerProfile::PowerSaver, PowerProfile::Balanced,
                                               PowerProfile::Performance};
        // When set, every call fails with this text (the daemon is not running).
        std::optional<std::string> failure;
        std::vector<PowerProfile> profiles_set;  // every profile asked for, in order
    };

    FakePower() = default;
    explicit FakePower(State state) : state_(std::move(state)) {}

    [[nodiscard]] State state() const;
    void set_state(State state);

    Result<PowerProfile> get_power_profile() override;
    Result<std::vector<PowerProfile>> available_power_profiles() override;
    // A profile the machine does not offer is refused like the daemon refuses it.
    Status set_power_profile(PowerProfile profile) override;

private:
    mutable std::mutex mutex_;
    State state_;
};

}  // namespace system_ops::power
