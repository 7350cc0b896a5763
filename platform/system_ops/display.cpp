#include "system_ops/display.hpp"

#include "system_ops/tool.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace system_ops::display {

namespace {

CurrentSlot<DisplayService>& slot()
{
    static CurrentSlot<DisplayService> instance([]() -> std::shared_ptr<DisplayService> {
        return std::make_shared<SysfsDisplay>();
    });
    return instance;
}

std::optional<std::string> attribute(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    return std::string(detail::trim(line));
}

std::optional<long long> number(const std::filesystem::path& file)
{
    const auto text = attribute(file);
    const auto value = text ? detail::parse_int(*text) : std::nullopt;
    return value ? std::optional<long long>(*value) : std::nullopt;
}

// The kernel's preference between backlight interfaces: the firmware's one drives the panel the way the maker
// intended; a platform one is vendor-specific; a raw one talks to the graphics driver directly.
int rank(std::string_view type)
{
    if (type == "firmware") {
        return 0;
    }
    if (type == "platform") {
        return 1;
    }
    if (type == "raw") {
        return 2;
    }
    return 3;
}

}  // namespace

std::shared_ptr<DisplayService> current()
{
    return slot().get();
}

std::shared_ptr<DisplayService> replace_current(std::shared_ptr<DisplayService> service)
{
    return slot().replace(std::move(service));
}

Result<float> get_brightness()
{
    return current()->get_brightness();
}
bool has_ambient_light_sensor()
{
    return current()->has_ambient_light_sensor();
}
Status set_brightness(float percent)
{
    return current()->set_brightness(percent);
}

// ---- SysfsDisplay ----------------------------------------------------------------------------------------------

SysfsDisplay::SysfsDisplay(std::shared_ptr<cmd_runner::Runner> runner) : SysfsDisplay(std::move(runner), {}) {}

SysfsDisplay::SysfsDisplay(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)), options_(std::move(options))
{
}

Result<SysfsDisplay::Backlight> SysfsDisplay::backlight() const
{
    std::error_code ec;
    std::optional<Backlight> best;
    int best_rank = 0;
    std::vector<std::filesystem::path> dirs;
    for (const auto& entry : std::filesystem::directory_iterator(options_.sysfs_root / "class" / "backlight", ec)) {
        dirs.push_back(entry.path());
    }
    std::ranges::sort(dirs);  // the same choice on every call
    for (const auto& dir : dirs) {
        const auto max = number(dir / "max_brightness");
        if (!max || *max <= 0) {
            continue;
        }
        const int r = rank(attribute(dir / "type").value_or(""));
        if (!best || r < best_rank) {
            best = Backlight{.name = dir.filename().string(), .max = *max};
            best_rank = r;
        }
    }
    if (!best) {
        return std::unexpected(std::string("this display has no adjustable backlight"));
    }
    return *best;
}

Result<float> SysfsDisplay::get_brightness()
{
    const auto device = backlight();
    if (!device) {
        return std::unexpected(device.error());
    }
    const auto dir = options_.sysfs_root / "class" / "backlight" / device->name;
    // actual_brightness is what the hardware shows; brightness is what was last asked for.
    auto level = number(dir / "actual_brightness");
    if (!level) {
        level = number(dir / "brightness");
    }
    if (!level) {
        return std::unexpected(fmt::format("the backlight level of {} cannot be read", device->name));
    }
    return std::clamp(static_cast<float>(*level) / static_cast<float>(device->max), 0.0F, 1.0F);
}

bool SysfsDisplay::has_ambient_light_sensor()
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(options_.sysfs_root / "bus" / "iio" / "devices", ec)) {
        for (const char* attr : {"in_illuminance_raw", "in_illuminance_input", "in_illuminance0_raw",
                                 "in_illuminance0_input"}) {
            if (std::filesystem::exists(entry.path() / attr, ec)) {
                return true;
            }
        }
    }
    return false;
}

Status SysfsDisplay::set_brightness(float percent)
{
    if (std::isnan(percent)) {
        return std::unexpected(std::string("the brightness level is not a number"));
    }
    const auto device = backlight();
    if (!device) {
        return std::unexpected(device.error());
    }
    const float fraction = std::clamp(percent, 0.0F, 100.0F) / 100.0F;
    const auto level = std::llround(static_cast<double>(fraction) * static_cast<double>(device->max));
    // logind changes the backlight of the caller's own session without extra rights ("auto": the session of this
    // process).
    return detail::done(detail::run_tool(*runner_, {.program = "busctl",
                                                    .args = {"--system", "call", "org.freedesktop.login1",
                                                             "/org/freedesktop/login1/session/auto",
                                                             "org.freedesktop.login1.Session", "SetBrightness", "ssu",
                                                             "backlight", device->name, std::to_string(level)},
                                                    .time_limit = options_.time_limit}));
}

// ---- FakeDisplay -----------------------------------------------------------------------------------------------

FakeDisplay::State FakeDisplay::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

void FakeDisplay::set_state(State state)
{
    const std::lock_guard lock(mutex_);
    state_ = std::move(state);
}

Result<float> FakeDisplay::get_brightness()
{
    const std::lock_guard lock(mutex_);
    return state_.brightness;
}

bool FakeDisplay::has_ambient_light_sensor()
{
    const std::lock_guard lock(mutex_);
    return state_.ambient_light_sensor;
}

Status FakeDisplay::set_brightness(float percent)
{
    const std::lock_guard lock(mutex_);
    if (std::isnan(percent)) {
        return std::unexpected(std::string("the brightness level is not a number"));
    }
    state_.percents_set.push_back(percent);
    if (state_.failure) {
        return std::unexpected(*state_.failure);
    }
    state_.brightness = std::clamp(percent, 0.0F, 100.0F) / 100.0F;
    return {};
}

}  // namespace system_ops::display
