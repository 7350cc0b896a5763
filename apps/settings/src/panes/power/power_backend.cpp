#include "panes/power/power_backend.hpp"

#include "battery_history/battery_history.hpp"
#include "prefs/settings_file.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>

namespace settings::panes::power {

ProfileState profile_state(const system_ops::Result<PowerProfile>& active,
                           const system_ops::Result<std::vector<PowerProfile>>& available)
{
    ProfileState state;
    if (available) {
        state.available = *available;
    }
    if (active) {
        state.active = *active;
        state.active_known = true;
        if (std::ranges::find(state.available, *active) == state.available.end()) {
            state.available.push_back(*active);
        }
    } else if (!state.available.empty()) {
        state.active = state.available.front();
    }
    std::ranges::sort(state.available);
    std::vector<std::string> errors;
    if (!active) {
        errors.push_back(active.error());
    }
    if (!available) {
        errors.push_back("capabilities: " + available.error());
    }
    if (!errors.empty()) {
        state.unavailable = fmt::format("Power-profile service is unavailable: {}.", fmt::join(errors, "; "));
    }
    return state;
}

PowerBackends PowerBackends::system()
{
    return {.profiles = system_ops::power::current(),
            .dispatcher = std::make_shared<system_ops::RealDispatcher>(),
            .battery = system_ops::battery::current(),
            .history = []() -> std::vector<std::uint32_t> {
                const auto file = battery_history::default_history_path();
                if (!file) {
                    return {};
                }
                return battery_history::load_battery_history(*file, battery_history::Clock::now());
            }};
}

BatteryState read_battery(const PowerBackends& backends)
{
    BatteryState state{.battery = backends.battery->battery_info(),
                       .capability = backends.battery->charge_capability(),
                       .history = backends.history ? backends.history() : std::vector<std::uint32_t>{}};
    if (auto devices = backends.battery->power_devices()) {
        state.devices = std::move(*devices);
    } else {
        VORN_WARN("power_pane", "power devices not listed: {}", devices.error());
    }
    return state;
}

ProfileState read_profiles(const PowerBackends& backends)
{
    const auto active = backends.profiles->get_power_profile();
    const auto available = backends.profiles->available_power_profiles();
    return profile_state(active, available);
}

std::optional<BatteryState> LastReadings::battery() const
{
    const std::lock_guard lock(mutex_);
    return battery_;
}

std::optional<ProfileState> LastReadings::profiles() const
{
    const std::lock_guard lock(mutex_);
    return profiles_;
}

void LastReadings::keep(BatteryState state)
{
    const std::lock_guard lock(mutex_);
    battery_ = std::move(state);
}

void LastReadings::keep(ProfileState state)
{
    const std::lock_guard lock(mutex_);
    profiles_ = std::move(state);
}

std::shared_ptr<LastReadings> process_readings()
{
    static const auto readings = std::make_shared<LastReadings>();
    return readings;
}

prefs::PowerPrefs load_power_prefs()
{
    return prefs::load_settings_file().power;
}

std::expected<void, std::string> save_power_prefs(const std::function<void(prefs::PowerPrefs&)>& change)
{
    auto file = prefs::load_settings_file();
    change(file.power);
    if (auto saved = prefs::save_settings_file(file); !saved) {
        return std::unexpected(std::move(saved.error()));
    }
    return {};
}

}  // namespace settings::panes::power
