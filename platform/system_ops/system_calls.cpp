#include "system_ops/system_calls.hpp"

#include "system_ops/audio.hpp"
#include "system_ops/bluez.hpp"
#include "system_ops/display.hpp"
#include "system_ops/network.hpp"
#include "system_ops/power.hpp"
#include "system_ops/time.hpp"

#include <mutex>
#include <string>

namespace system_ops {
namespace {

std::mutex table_mutex;

SystemCalls& table()
{
    static SystemCalls installed = system_layer_calls();
    return installed;
}

}  // namespace

SystemCalls system_layer_calls()
{
    SystemCalls calls;
    calls.set_brightness = &display::set_brightness;
    calls.set_volume = &audio::set_volume;
    calls.set_wifi = &network::set_wifi;
    calls.set_bluetooth = &bluez::set_powered;
    calls.connect_bluetooth = &bluez::connect;
    calls.disconnect_bluetooth = &bluez::disconnect;
    calls.set_wired = &network::set_wired;
    calls.set_airplane_mode = &network::set_airplane_mode;
    calls.set_hotspot = &network::set_hotspot;
    calls.set_mobile_broadband = &network::set_mobile_broadband;
    calls.set_vpn_connection = &network::set_vpn_connection;
    calls.connect_wifi = &network::connect_wifi;
    calls.set_power_profile = &power::set_power_profile;
    calls.toggle_mute = &audio::toggle_mute;
    calls.set_mute = &audio::set_mute;
    calls.set_timezone = &time::set_timezone;
    calls.set_ntp = &time::set_ntp;
    return calls;
}

SystemCalls current_system_calls()
{
    const std::lock_guard lock(table_mutex);
    return table();
}

SystemCalls replace_system_calls(SystemCalls calls)
{
    const std::lock_guard lock(table_mutex);
    std::swap(table(), calls);
    return calls;
}

}  // namespace system_ops
