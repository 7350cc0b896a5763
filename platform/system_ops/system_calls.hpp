#pragma once
// The seam between the Dispatcher (and TimeBackend) and the system layer's backends.
//
// Every operation of RealDispatcher and every default operation of Dispatcher and TimeBackend hands its arguments to
// one function of this table and answers that function's answer unchanged. The installed table holds the system
// layer's free functions (system_ops::network::set_airplane_mode, system_ops::audio::set_mute,
// system_ops::time::set_timezone, ...), which reach the current backend of their namespace; an empty entry answers
// the error "<operation> is not available on this system". Tests replace single backends with ScopedCurrent (current.hpp) or
// the whole table with ScopedSystemCalls.

#include "system_ops/result.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace system_ops {

// The power profiles of the power-profile service, in their order.
enum class PowerProfile : std::uint8_t { PowerSaver, Balanced, Performance };

struct SystemCalls {
    std::function<Status(float percent)> set_brightness;
    std::function<Status(float percent)> set_volume;
    std::function<Status(bool enabled)> set_wifi;
    std::function<Status(bool enabled)> set_bluetooth;
    std::function<Status(std::string_view device)> connect_bluetooth;
    std::function<Status(std::string_view device)> disconnect_bluetooth;
    std::function<Status(bool enabled)> set_wired;
    std::function<Status(bool enabled)> set_airplane_mode;
    std::function<Status(bool enabled)> set_hotspot;
    std::function<Status(bool enabled)> set_mobile_broadband;
    std::function<Status(std::string_view name, bool enabled)> set_vpn_connection;
    std::function<Status(std::string_view ssid, std::optional<std::string_view> password)> connect_wifi;
    std::function<Status(PowerProfile profile)> set_power_profile;
    std::function<Status()> toggle_mute;
    std::function<Status(bool muted)> set_mute;
    std::function<Status(std::string_view zone)> set_timezone;
    std::function<Status(bool enabled)> set_ntp;
};

// The system layer's own table.
[[nodiscard]] SystemCalls system_layer_calls();
// The table in use (a copy; safe from any thread).
[[nodiscard]] SystemCalls current_system_calls();
// Puts `calls` in place and answers the previous table. An empty entry answers "not available".
SystemCalls replace_system_calls(SystemCalls calls);

// Puts a table in place for the guard's lifetime.
class [[nodiscard]] ScopedSystemCalls {
public:
    explicit ScopedSystemCalls(SystemCalls calls) : previous_(replace_system_calls(std::move(calls))) {}
    ~ScopedSystemCalls() { replace_system_calls(std::move(previous_)); }
    ScopedSystemCalls(const ScopedSystemCalls&) = delete;
    ScopedSystemCalls& operator=(const ScopedSystemCalls&) = delete;

private:
    SystemCalls previous_;
};

}  // namespace system_ops
