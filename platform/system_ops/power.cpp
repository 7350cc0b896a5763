#include "system_ops/power.hpp"

#include "system_ops/tool.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>

namespace system_ops::power {

namespace {

CurrentSlot<PowerService>& slot()
{
    static CurrentSlot<PowerService> instance([]() -> std::shared_ptr<PowerService> {
        return std::make_shared<PowerprofilesctlPower>();
    });
    return instance;
}

constexpr std::array<PowerProfile, 3> all_profiles = {PowerProfile::PowerSaver, PowerProfile::Balanced,
                                                      PowerProfile::Performance};

}  // namespace

std::shared_ptr<PowerService> current()
{
    return slot().get();
}

std::shared_ptr<PowerService> replace_current(std::shared_ptr<PowerService> service)
{
    return slot().replace(std::move(service));
}

Result<PowerProfile> get_power_profile()
{
    return current()->get_power_profile();
}
Result<std::vector<PowerProfile>> available_power_profiles()
{
    return current()->available_power_profiles();
}
Status set_power_profile(PowerProfile profile)
{
    return current()->set_power_profile(profile);
}

std::string_view profile_name(PowerProfile profile)
{
    switch (profile) {
    case PowerProfile::PowerSaver:
        return "power-saver";
    case PowerProfile::Balanced:
        return "balanced";
    case PowerProfile::Performance:
        return "performance";
    }
    return "balanced";
}

std::optional<PowerProfile> profile_from_name(std::string_view name)
{
    for (const auto profile : all_profiles) {
        if (profile_name(profile) == name) {
            return profile;
        }
    }
    return std::nullopt;
}

ProfileList parse_profile_list(std::string_view text)
{
    ProfileList list;
    for (const auto raw : detail::split_lines(text)) {
        // "* balanced:" or "  performance:"; the properties below a profile are indented further.
        if (raw.size() < 4 || (raw[0] != '*' && raw[0] != ' ') || raw[1] != ' ' || raw[2] == ' ' || raw[2] == '\t') {
            continue;
        }
        const auto name = detail::trim(raw.substr(2));
        if (!name.ends_with(':')) {
            continue;
        }
        const auto profile = profile_from_name(name.substr(0, name.size() - 1));
        if (!profile) {
            continue;
        }
        if (std::ranges::find(list.profiles, *profile) == list.profiles.end()) {
            list.profiles.push_back(*profile);
        }
        if (raw[0] == '*') {
            list.active = profile;
        }
    }
    std::ranges::sort(list.profiles);
    return list;
}

// ---- PowerprofilesctlPower -------------------------------------------------------------------------------------

PowerprofilesctlPower::PowerprofilesctlPower(std::shared_ptr<cmd_runner::Runner> runner)
    : PowerprofilesctlPower(std::move(runner), {})
{
}

PowerprofilesctlPower::PowerprofilesctlPower(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)), options_(options)
{
}

Result<std::string> PowerprofilesctlPower::powerprofilesctl(std::vector<std::string> args,
                                                            std::chrono::milliseconds limit)
{
    auto out = detail::run_tool(*runner_, {.program = "powerprofilesctl", .args = std::move(args), .time_limit = limit});
    constexpr std::string_view communication = "Failed to communicate with power-profiles-daemon: ";
    if (!out && out.error().starts_with(communication)) {
        // powerprofilesctl 0.12 words every D-Bus failure so: "Failed to communicate with power-profiles-daemon:
        // g-dbus-error-quark: GDBus.Error:org.freedesktop.DBus.Error.ServiceUnknown: The name net.hadess.PowerProfiles
        // was not provided by any .service files (2)". The D-Bus error's own message is what tells the user why.
        std::string_view error(out.error());
        error.remove_prefix(communication.size());
        std::string_view name;
        if (const auto dbus = error.find("GDBus.Error:"); dbus != std::string_view::npos) {
            error.remove_prefix(dbus + std::string_view("GDBus.Error:").size());
            const auto colon = error.find(": ");
            name = error.substr(0, colon);
            error = colon == std::string_view::npos ? std::string_view() : error.substr(colon + 2);
        }
        const bool absent = name.ends_with(".ServiceUnknown") || name.ends_with(".NameHasNoOwner");
        if (error.empty()) {
            return std::unexpected(std::string("the power profile service is not answering"));
        }
        return std::unexpected(absent ? fmt::format("the power profile service is not answering: {}", error)
                                      : std::string(error));
    }
    if (!out && out.error().starts_with("Traceback")) {
        // powerprofilesctl is a Python script: when the daemon does not answer it prints a whole traceback, whose
        // last part says why ("... GDBus.Error:org.freedesktop.DBus.Error.ServiceUnknown: The name
        // net.hadess.PowerProfiles was not provided by any .service files").
        const auto last = out.error().rfind(": ");
        return std::unexpected(last == std::string::npos
                                   ? std::string("the power profile service is not answering")
                                   : fmt::format("the power profile service is not answering: {}",
                                                 out.error().substr(last + 2)));
    }
    return out;
}

Result<PowerProfile> PowerprofilesctlPower::get_power_profile()
{
    const auto out = powerprofilesctl({"get"}, options_.read_limit);
    if (!out) {
        return std::unexpected(out.error());
    }
    const auto lines = detail::split_lines(*out);
    const auto profile = lines.empty() ? std::nullopt : profile_from_name(detail::trim(lines.front()));
    if (!profile) {
        return std::unexpected(fmt::format("powerprofilesctl reported an unknown power profile \"{}\"",
                                           cmd_runner::clean_text(*out, {.max_chars = 64, .trim = true})));
    }
    return *profile;
}

Result<std::vector<PowerProfile>> PowerprofilesctlPower::available_power_profiles()
{
    const auto out = powerprofilesctl({"list"}, options_.read_limit);
    if (!out) {
        return std::unexpected(out.error());
    }
    auto list = parse_profile_list(*out);
    if (list.profiles.empty()) {
        return std::unexpected(std::string("powerprofilesctl listed no power profiles"));
    }
    return std::move(list.profiles);
}

Status PowerprofilesctlPower::set_power_profile(PowerProfile profile)
{
    return detail::done(powerprofilesctl({"set", std::string(profile_name(profile))}, options_.write_limit));
}

// ---- FakePower -------------------------------------------------------------------------------------------------

FakePower::State FakePower::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

void FakePower::set_state(State state)
{
    const std::lock_guard lock(mutex_);
    state_ = std::move(state);
}

Result<PowerProfile> FakePower::get_power_profile()
{
    const std::lock_guard lock(mutex_);
    if (state_.failure) {
        return std::unexpected(*state_.failure);
    }
    return state_.active;
}

Result<std::vector<PowerProfile>> FakePower::available_power_profiles()
{
    const std::lock_guard lock(mutex_);
    if (state_.failure) {
        return std::unexpected(*state_.failure);
    }
    return state_.available;
}

Status FakePower::set_power_profile(PowerProfile profile)
{
    const std::lock_guard lock(mutex_);
    if (state_.failure) {
        return std::unexpected(*state_.failure);
    }
    state_.profiles_set.push_back(profile);
    if (std::ranges::find(state_.available, profile) == state_.available.end()) {
        return std::unexpected(fmt::format("the power profile {} is not available on this machine", profile_name(profile)));
    }
    state_.active = profile;
    return {};
}

}  // namespace system_ops::power
