// The text outputs of the machine's tools (nmcli, powerprofilesctl, wpctl, timedatectl, busctl for BlueZ) are read
// without a crash whatever they hold, and what the readers keep of names from the air is cleaned and bounded. The
// first byte picks the reader; the rest is the tool's output.
#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/audio.hpp"
#include "system_ops/bluez.hpp"
#include "system_ops/network.hpp"
#include "system_ops/network_connections.hpp"
#include "system_ops/power.hpp"
#include "system_ops/tool.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool clean(std::string_view text)
{
    return cmd_runner::clean_text(text) == text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 6) {
        case 0:  // nmcli -t -f IN-USE,SSID,SECURITY,SIGNAL device wifi list
            for (const auto& network : system_ops::network::parse_wifi_list(text)) {
                require(!network.ssid.empty() && network.ssid.size() <= 32 && clean(network.ssid));
                require(network.signal <= 100);
            }
            break;
        case 1:  // nmcli -t connection show uuid U
            (void)system_ops::network::parse_profile_settings(text);
            break;
        case 2:  // powerprofilesctl list
            (void)system_ops::power::parse_profile_list(text);
            break;
        case 3:  // wpctl get-volume
            if (const auto volume = system_ops::audio::parse_get_volume(text)) {
                require(volume->volume >= 0.0F);
            }
            break;
        case 4:  // timedatectl show
            (void)system_ops::detail::parse_key_values(text);
            break;
        default:  // busctl --json=short call org.bluez / ... GetManagedObjects
            if (const auto tree = system_ops::bluez::parse_managed_objects(text)) {
                for (const auto& device : tree->devices) {
                    require(device.name.size() <= system_ops::bluez::max_name_bytes && clean(device.name));
                    require(clean(device.icon));
                }
            }
            break;
    }
    return 0;
}
