#include "system_ops/battery.hpp"

#include "system_ops/tool.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

namespace system_ops::battery {

namespace {

CurrentSlot<BatteryService>& slot()
{
    static CurrentSlot<BatteryService> instance([]() -> std::shared_ptr<BatteryService> {
        return std::make_shared<SysfsBattery>();
    });
    return instance;
}

// The first line of a sysfs attribute, trimmed; none when it cannot be read.
std::optional<std::string> attribute(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    return std::string(detail::trim(line));
}

std::optional<std::int64_t> number(const std::filesystem::path& file)
{
    const auto text = attribute(file);
    return text ? detail::parse_int(*text) : std::nullopt;
}

std::uint32_t percent_of(std::int64_t value)
{
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, 100));
}

// One power supply directory as far as these functions read it.
struct Supply {
    std::string kernel_name;
    std::string type;  // "Battery", "UPS", "Mains", "USB", ...
    bool system = true;  // not a peripheral (scope "Device")
    bool present = true;
    std::optional<std::int64_t> capacity;
    std::string status = "Unknown";
    std::optional<std::int64_t> cycle_count;
    std::optional<std::int64_t> now;
    std::optional<std::int64_t> full;
    std::optional<std::int64_t> design;
    std::optional<std::string> model;
    std::filesystem::path dir;
};

Supply read_supply(const std::filesystem::path& dir)
{
    Supply s;
    s.dir = dir;
    s.kernel_name = dir.filename().string();
    s.type = attribute(dir / "type").value_or("");
    s.system = attribute(dir / "scope").value_or("System") != "Device";
    s.present = number(dir / "present").value_or(1) != 0;
    s.capacity = number(dir / "capacity");
    if (auto status = attribute(dir / "status"); status && !status->empty()) {
        s.status = std::move(*status);
    }
    s.cycle_count = number(dir / "cycle_count");
    // Capacities come either in energy (µWh) or in charge (µAh); a battery reports one kind consistently.
    if (number(dir / "energy_full")) {
        s.now = number(dir / "energy_now");
        s.full = number(dir / "energy_full");
        s.design = number(dir / "energy_full_design");
    } else {
        s.now = number(dir / "charge_now");
        s.full = number(dir / "charge_full");
        s.design = number(dir / "charge_full_design");
    }
    if (auto model = attribute(dir / "model_name"); model && !model->empty()) {
        s.model = cmd_runner::clean_text(*model, {.max_chars = 64, .trim = true});
    }
    return s;
}

std::vector<Supply> read_supplies(const std::filesystem::path& root, std::error_code& ec)
{
    std::vector<Supply> supplies;
    for (const auto& entry : std::filesystem::directory_iterator(root / "class" / "power_supply", ec)) {
        supplies.push_back(read_supply(entry.path()));
    }
    std::ranges::sort(supplies, {}, &Supply::kernel_name);
    return supplies;
}

std::uint32_t supply_percent(const Supply& s)
{
    if (s.capacity) {
        return percent_of(*s.capacity);
    }
    if (s.now && s.full && *s.full > 0) {
        return percent_of(std::llround(100.0 * static_cast<double>(*s.now) / static_cast<double>(*s.full)));
    }
    return 0;
}

std::string status_summary(std::string_view status)
{
    if (status == "Charging") {
        return "Charging";
    }
    if (status == "Discharging") {
        return "On battery";
    }
    if (status == "Full") {
        return "Fully charged";
    }
    if (status == "Not charging") {
        return "Plugged in, not charging";
    }
    return "Unknown";
}

}  // namespace

std::shared_ptr<BatteryService> current()
{
    return slot().get();
}

std::shared_ptr<BatteryService> replace_current(std::shared_ptr<BatteryService> service)
{
    return slot().replace(std::move(service));
}

Result<std::vector<PowerDevice>> power_devices()
{
    return current()->power_devices();
}

Result<ChargeCapability> set_charge_limit_checked(std::uint32_t percent)
{
    return current()->set_charge_limit_checked(percent);
}

std::optional<ChargeCapability> charge_capability()
{
    return current()->charge_capability();
}

// ---- BatteryInfo -----------------------------------------------------------------------------------------------

BatteryInfo BatteryInfo::from_system()
{
    return current()->battery_info();
}

std::string BatteryInfo::summary() const
{
    if (!present) {
        return "No battery";
    }
    return status_summary(status);
}

std::optional<std::uint32_t> BatteryInfo::health_percent() const
{
    if (!present || !full_capacity || !design_capacity || *design_capacity <= 0 || *full_capacity < 0) {
        return std::nullopt;
    }
    return percent_of(std::llround(100.0 * *full_capacity / *design_capacity));
}

std::string BatteryInfo::health_explanation() const
{
    const auto health = health_percent();
    if (!health) {
        return "This battery does not report its design capacity.";
    }
    return fmt::format("A full charge holds {}% of the energy this battery held when it was new.", *health);
}

// ---- SysfsBattery ----------------------------------------------------------------------------------------------

SysfsBattery::SysfsBattery(std::filesystem::path sysfs_root) : root_(std::move(sysfs_root)) {}

BatteryInfo SysfsBattery::battery_info()
{
    std::error_code ec;
    std::vector<Supply> batteries;
    for (auto& s : read_supplies(root_, ec)) {
        if (s.type == "Battery" && s.system && s.present) {
            batteries.push_back(std::move(s));
        }
    }
    BatteryInfo info;
    if (batteries.empty()) {
        return info;
    }
    info.present = true;

    // Several batteries (some laptops have two) count by what they hold, when they all say so.
    const bool weighable = std::ranges::all_of(batteries, [](const Supply& s) { return s.now && s.full && *s.full > 0; });
    if (batteries.size() > 1 && weighable) {
        double now = 0;
        double full = 0;
        for (const auto& s : batteries) {
            now += static_cast<double>(*s.now);
            full += static_cast<double>(*s.full);
        }
        info.percent = percent_of(std::llround(100.0 * now / full));
    } else {
        std::uint64_t sum = 0;
        for (const auto& s : batteries) {
            sum += supply_percent(s);
        }
        info.percent = static_cast<std::uint32_t>(sum / batteries.size());
    }

    const auto any = [&](std::string_view status) {
        return std::ranges::any_of(batteries, [&](const Supply& s) { return s.status == status; });
    };
    if (any("Charging")) {
        info.status = "Charging";
    } else if (any("Discharging")) {
        info.status = "Discharging";
    } else if (std::ranges::all_of(batteries, [](const Supply& s) { return s.status == "Full"; })) {
        info.status = "Full";
    } else if (any("Not charging")) {
        info.status = "Not charging";
    }

    for (const auto& s : batteries) {
        if (s.cycle_count && *s.cycle_count > 0) {  // 0 is what batteries without a counter report
            info.cycle_count = static_cast<std::uint32_t>(std::min<std::int64_t>(*s.cycle_count, UINT32_MAX));
            break;
        }
    }
    if (std::ranges::all_of(batteries, [](const Supply& s) { return s.full && s.design; })) {
        double full = 0;
        double design = 0;
        for (const auto& s : batteries) {
            full += static_cast<double>(*s.full);
            design += static_cast<double>(*s.design);
        }
        info.full_capacity = full;
        info.design_capacity = design;
    }
    if (const auto capability = charge_capability(); capability && capability->current_percent < 100) {
        info.charge_limited = true;
        info.charge_limit_percent = capability->current_percent;
    }
    return info;
}

Result<std::vector<PowerDevice>> SysfsBattery::power_devices()
{
    std::error_code ec;
    const auto supplies = read_supplies(root_, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        return std::unexpected(fmt::format("could not read the power supplies: {}", ec.message()));
    }
    std::vector<PowerDevice> devices;
    for (const auto& s : supplies) {
        if ((s.type != "Battery" && s.type != "UPS") || !s.present) {
            continue;
        }
        devices.push_back({.name = s.model.value_or(s.kernel_name),
                           .state = status_summary(s.status),
                           .model = s.model,
                           .percent = supply_percent(s),
                           .kind = s.type == "UPS" ? PowerDeviceKind::Ups : PowerDeviceKind::Battery});
    }
    return devices;
}

std::optional<ChargeCapability> SysfsBattery::charge_capability()
{
    std::error_code ec;
    for (const auto& s : read_supplies(root_, ec)) {
        if (s.type != "Battery" || !s.system) {
            continue;
        }
        const auto end = number(s.dir / "charge_control_end_threshold");
        if (!end || *end < 1 || *end > 100) {
            continue;
        }
        ChargeCapability capability{.current_percent = percent_of(*end),
                                    .kind = ChargeControlKind::StopThreshold,
                                    .adjusts_start = std::filesystem::exists(s.dir / "charge_control_start_threshold")};
        capability.supported_percentages.assign(std::begin(stop_threshold_choices), std::end(stop_threshold_choices));
        if (std::ranges::find(capability.supported_percentages, capability.current_percent) ==
            capability.supported_percentages.end()) {
            capability.supported_percentages.push_back(capability.current_percent);
            std::ranges::sort(capability.supported_percentages);
        }
        return capability;
    }
    // Lenovo IdeaPads switch a fixed conservation level on or off instead.
    for (const auto& entry :
         std::filesystem::directory_iterator(root_ / "bus" / "platform" / "drivers" / "ideapad_acpi", ec)) {
        const auto mode = number(entry.path() / "conservation_mode");
        if (!mode || (*mode != 0 && *mode != 1)) {
            continue;
        }
        return ChargeCapability{.supported_percentages = {conservation_percent, 100},
                                .current_percent = *mode == 1 ? conservation_percent : 100,
                                .kind = ChargeControlKind::ConservationMode};
    }
    return std::nullopt;
}

namespace {

// Writes one sysfs attribute; an error sentence naming it when the kernel refuses.
Status write_attribute(const std::filesystem::path& file, std::uint32_t value)
{
    std::ofstream out(file, std::ios::trunc);
    if (out) {
        out << value << '\n';
        out.flush();
    }
    if (!out) {
        const int error = errno;
        return std::unexpected(fmt::format("could not write {}: {}", file.filename().string(),
                                           error != 0 ? std::strerror(error) : "write error"));
    }
    return {};
}

}  // namespace

Result<ChargeCapability> SysfsBattery::set_charge_limit_checked(std::uint32_t percent)
{
    const auto before = charge_capability();
    if (!before) {
        return std::unexpected(std::string("this battery has no charge limit control"));
    }
    if (std::ranges::find(before->supported_percentages, percent) == before->supported_percentages.end()) {
        return std::unexpected(fmt::format("a {}% charge limit is not supported by this battery", percent));
    }
    std::error_code ec;
    if (before->kind == ChargeControlKind::ConservationMode) {
        for (const auto& entry :
             std::filesystem::directory_iterator(root_ / "bus" / "platform" / "drivers" / "ideapad_acpi", ec)) {
            if (!std::filesystem::exists(entry.path() / "conservation_mode")) {
                continue;
            }
            if (auto written = write_attribute(entry.path() / "conservation_mode", percent < 100 ? 1 : 0); !written) {
                return std::unexpected(written.error());
            }
            break;
        }
    } else {
        for (const auto& s : read_supplies(root_, ec)) {
            if (s.type != "Battery" || !s.system || !number(s.dir / "charge_control_end_threshold")) {
                continue;
            }
            // The firmware refuses a start threshold at or above the end one: lower the start first when the cap
            // goes down, and write the end first when it goes up.
            const auto start = number(s.dir / "charge_control_start_threshold");
            const bool move_start = start && *start >= static_cast<std::int64_t>(percent);
            const std::uint32_t new_start = percent > 10 ? percent - 10 : 0;
            if (move_start) {
                if (auto written = write_attribute(s.dir / "charge_control_start_threshold", new_start); !written) {
                    return std::unexpected(written.error());
                }
            }
            if (auto written = write_attribute(s.dir / "charge_control_end_threshold", percent); !written) {
                return std::unexpected(written.error());
            }
        }
    }
    const auto after = charge_capability();
    if (!after) {
        return std::unexpected(std::string("the charge limit control went away"));
    }
    if (after->current_percent != percent) {
        return std::unexpected(fmt::format("the battery kept a {}% charge limit", after->current_percent));
    }
    return *after;
}

// ---- FakeBattery -----------------------------------------------------------------------------------------------

void FakeBattery::set_state(State state)
{
    const std::lock_guard lock(mutex_);
    state_ = std::move(state);
}

BatteryInfo FakeBattery::battery_info()
{
    const std::lock_guard lock(mutex_);
    return state_.info;
}

Result<std::vector<PowerDevice>> FakeBattery::power_devices()
{
    const std::lock_guard lock(mutex_);
    return state_.devices;
}

std::optional<ChargeCapability> FakeBattery::charge_capability()
{
    const std::lock_guard lock(mutex_);
    return state_.capability;
}

Result<ChargeCapability> FakeBattery::set_charge_limit_checked(std::uint32_t percent)
{
    const std::lock_guard lock(mutex_);
    if (!state_.capability) {
        return std::unexpected(std::string("this battery has no charge limit control"));
    }
    if (std::ranges::find(state_.capability->supported_percentages, percent) ==
        state_.capability->supported_percentages.end()) {
        return std::unexpected(fmt::format("a {}% charge limit is not supported by this battery", percent));
    }
    if (state_.change_failure) {
        return std::unexpected(*state_.change_failure);
    }
    state_.capability->current_percent = percent;
    state_.info.charge_limited = percent < 100;
    state_.info.charge_limit_percent = percent;
    return *state_.capability;
}

}  // namespace system_ops::battery
