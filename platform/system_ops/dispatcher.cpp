#include "system_ops/dispatcher.hpp"

#include <fmt/format.h>

#include <string>
#include <utility>

namespace system_ops {
namespace {

// Calls one entry of the current table with the arguments unchanged, or answers that it is not available.
template <class Entry, class... Args>
Status forward(Entry SystemCalls::*entry, std::string_view operation, Args&&... args)
{
    const SystemCalls calls = current_system_calls();
    const Entry& function = calls.*entry;
    if (!function) {
        return std::unexpected(fmt::format("{} is not available on this system", operation));
    }
    return function(std::forward<Args>(args)...);
}

}  // namespace

Status Dispatcher::set_airplane_mode(bool enabled)
{
    return forward(&SystemCalls::set_airplane_mode, "airplane mode", enabled);
}
Status Dispatcher::set_hotspot(bool enabled) { return forward(&SystemCalls::set_hotspot, "the hotspot", enabled); }
Status Dispatcher::set_mobile_broadband(bool enabled)
{
    return forward(&SystemCalls::set_mobile_broadband, "mobile broadband", enabled);
}
Status Dispatcher::set_vpn_connection(std::string_view name, bool enabled)
{
    return forward(&SystemCalls::set_vpn_connection, "VPN control", name, enabled);
}
Status Dispatcher::set_mute(bool muted) { return forward(&SystemCalls::set_mute, "output mute", muted); }

Status RealDispatcher::set_brightness(float percent)
{
    return forward(&SystemCalls::set_brightness, "brightness control", percent);
}
Status RealDispatcher::set_volume(float percent)
{
    return forward(&SystemCalls::set_volume, "volume control", percent);
}
Status RealDispatcher::set_wifi(bool enabled) { return forward(&SystemCalls::set_wifi, "Wi-Fi control", enabled); }
Status RealDispatcher::set_bluetooth(bool enabled)
{
    return forward(&SystemCalls::set_bluetooth, "Bluetooth control", enabled);
}
Status RealDispatcher::connect_bluetooth(std::string_view device)
{
    return forward(&SystemCalls::connect_bluetooth, "Bluetooth control", device);
}
Status RealDispatcher::disconnect_bluetooth(std::string_view device)
{
    return forward(&SystemCalls::disconnect_bluetooth, "Bluetooth control", device);
}
Status RealDispatcher::set_wired(bool enabled)
{
    return forward(&SystemCalls::set_wired, "wired network control", enabled);
}
Status RealDispatcher::connect_wifi(std::string_view ssid, std::optional<std::string_view> password)
{
    return forward(&SystemCalls::connect_wifi, "Wi-Fi control", ssid, password);
}
Status RealDispatcher::set_power_profile(PowerProfile profile)
{
    return forward(&SystemCalls::set_power_profile, "power profile control", profile);
}
Status RealDispatcher::toggle_mute() { return forward(&SystemCalls::toggle_mute, "output mute"); }

Status TimeBackend::set_timezone(std::string_view zone)
{
    return forward(&SystemCalls::set_timezone, "time zone control", zone);
}
Status SystemTimeBackend::set_ntp(bool enabled)
{
    return forward(&SystemCalls::set_ntp, "automatic time control", enabled);
}

}  // namespace system_ops
