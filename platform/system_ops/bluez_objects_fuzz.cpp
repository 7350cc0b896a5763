// BlueZ's object tree is read from busctl's JSON, and every name in it comes from the air: any text gives a tree or
// an error, never a crash, and what the tree holds is safe to show and to pass on to busctl.
#include "system_ops/bluez.hpp"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace system_ops::bluez;
    const auto tree = parse_managed_objects(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!tree) {
        return 0;
    }
    for (const auto& adapter : tree->adapters) {
        require(is_adapter_path(adapter.path));
    }
    for (const auto& device : tree->devices) {
        require(is_device_path(device.path));
        require(!device.name.empty() && device.name.size() <= max_name_bytes);
        require(cmd_runner::clean_text(device.name, {.trim = true}) == device.name);
        require(cmd_runner::clean_text(device.icon, {.trim = true}) == device.icon);
        require(device.address.size() == 17);
        require(!device.battery || *device.battery <= 100);
    }
    if (const Adapter* adapter = tree->default_adapter()) {
        for (const auto& device : tree->devices_of(*adapter)) {
            require(adapter_of_path(device.path) == adapter->path);
        }
    }
    return 0;
}
