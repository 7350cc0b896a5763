#pragma once
// The built-in panel's backlight and the ambient light sensor.
//
// The level is read from the kernel's backlight class (<sysfs root>/class/backlight/<device>/{actual_brightness,
// max_brightness}; the root is /sys and can be replaced for tests) and changed through systemd-logind, which lets the
// user of the active session set it without further rights (`busctl call ... org.freedesktop.login1.Session
// SetBrightness`). With several backlight devices the firmware's one is preferred, then a platform one, then a raw
// (driver) one.
//
// The free functions forward to the current DisplayService (see current.hpp); the real one is SysfsDisplay.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace system_ops::display {

class DisplayService {
public:
    virtual ~DisplayService() = default;
    // The panel's level from 0 to 1, or why there is none (no backlight, as on most desktops).
    [[nodiscard]] virtual Result<float> get_brightness() = 0;
    [[nodiscard]] virtual bool has_ambient_light_sensor() = 0;
    // Sets the panel's level in percent (clamped to 0..100; NaN is refused).
    [[nodiscard]] virtual Status set_brightness(float percent) = 0;
};

[[nodiscard]] std::shared_ptr<DisplayService> current();
std::shared_ptr<DisplayService> replace_current(std::shared_ptr<DisplayService> service);

[[nodiscard]] Result<float> get_brightness();
[[nodiscard]] bool has_ambient_light_sensor();
[[nodiscard]] Status set_brightness(float percent);

// ---- The real backend ----------------------------------------------------------------------------------------------

class SysfsDisplay final : public DisplayService {
public:
    struct Options {
        std::filesystem::path sysfs_root = "/sys";
        std::chrono::milliseconds time_limit = std::chrono::seconds(5);
    };

    explicit SysfsDisplay(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    SysfsDisplay(std::shared_ptr<cmd_runner::Runner> runner, Options options);

    Result<float> get_brightness() override;
    // An industrial-I/O device that reports illuminance (<root>/bus/iio/devices/iio:device*/in_illuminance_*).
    bool has_ambient_light_sensor() override;
    Status set_brightness(float percent) override;

    // The backlight device used: its name and its maximum level; an error when there is none.
    struct Backlight {
        std::string name;  // "intel_backlight"
        long long max = 0;
    };
    [[nodiscard]] Result<Backlight> backlight() const;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
};

// ---- The fake ------------------------------------------------------------------------------------------------------

class FakeDisplay final : public DisplayService {
public:
    struct State {
        Result<float> brightness = 0.5F;  // 0 to 1
        bool ambient_light_sensor = false;
        std::optional<std::string> failure;  // every change fails with this text when set
        std::vector<float> percents_set;
    };

    FakeDisplay() = default;
    explicit FakeDisplay(State state) : state_(std::move(state)) {}

    [[nodiscard]] State state() const;
    void set_state(State state);

    Result<float> get_brightness() override;
    bool has_ambient_light_sensor() override;
    Status set_brightness(float percent) override;

private:
    mutable std::mutex mutex_;
    State state_;
};

}  // namespace system_ops::display
