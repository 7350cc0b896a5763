#pragma once
// The system-operations interface through which the Displays, Sound, Power and Network pages change brightness,
// volume, mute, radios, network links, Wi-Fi connections and the power profile.
//
// Every operation answers success or an error sentence (Status), which the page shows or logs as the reason.
// RealDispatcher is stateless; pages hold it as a std::shared_ptr<Dispatcher>, so tests can hand a page a fake.
// Five operations have default bodies that hand their arguments to the system layer unchanged
// (set_airplane_mode, set_hotspot, set_mobile_broadband, set_vpn_connection, set_mute); a fake may keep them.

#include "system_ops/result.hpp"
#include "system_ops/system_calls.hpp"

#include <memory>
#include <optional>
#include <string_view>

namespace system_ops {

class Dispatcher {
public:
    virtual ~Dispatcher() = default;

    // Brightness of the built-in display in percent (0 to 100).
    virtual Status set_brightness(float percent) = 0;
    // Volume of the default output in percent (0 to 100).
    virtual Status set_volume(float percent) = 0;
    virtual Status set_wifi(bool enabled) = 0;
    virtual Status set_bluetooth(bool enabled) = 0;
    virtual Status connect_bluetooth(std::string_view device) = 0;
    virtual Status disconnect_bluetooth(std::string_view device) = 0;
    virtual Status set_wired(bool enabled) = 0;
    virtual Status set_airplane_mode(bool enabled);
    virtual Status set_hotspot(bool enabled);
    virtual Status set_mobile_broadband(bool enabled);
    virtual Status set_vpn_connection(std::string_view name, bool enabled);
    // Joins a Wi-Fi network; the password never reaches a command line.
    virtual Status connect_wifi(std::string_view ssid, std::optional<std::string_view> password) = 0;
    virtual Status set_power_profile(PowerProfile profile) = 0;
    virtual Status toggle_mute() = 0;
    virtual Status set_mute(bool muted);

protected:
    Dispatcher() = default;
    Dispatcher(const Dispatcher&) = default;
    Dispatcher& operator=(const Dispatcher&) = default;
};

// The dispatcher of the running system: every operation goes to the system layer.
class RealDispatcher final : public Dispatcher {
public:
    Status set_brightness(float percent) override;
    Status set_volume(float percent) override;
    Status set_wifi(bool enabled) override;
    Status set_bluetooth(bool enabled) override;
    Status connect_bluetooth(std::string_view device) override;
    Status disconnect_bluetooth(std::string_view device) override;
    Status set_wired(bool enabled) override;
    Status connect_wifi(std::string_view ssid, std::optional<std::string_view> password) override;
    Status set_power_profile(PowerProfile profile) override;
    Status toggle_mute() override;
};

// The time operations the Time & Date page performs. set_timezone hands the zone name to the system layer.
class TimeBackend {
public:
    virtual ~TimeBackend() = default;
    virtual Status set_ntp(bool enabled) = 0;
    virtual Status set_timezone(std::string_view zone);

protected:
    TimeBackend() = default;
    TimeBackend(const TimeBackend&) = default;
    TimeBackend& operator=(const TimeBackend&) = default;
};

// The time backend of the running system.
class SystemTimeBackend final : public TimeBackend {
public:
    Status set_ntp(bool enabled) override;
};

}  // namespace system_ops
