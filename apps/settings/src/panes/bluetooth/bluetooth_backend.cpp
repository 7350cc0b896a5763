#include "panes/bluetooth/bluetooth_backend.hpp"

#include "page_workers/page_workers.hpp"

namespace settings::panes::bluetooth {

namespace bluez = system_ops::bluez;

system_ops::Result<std::vector<BluetoothDevice>> BluezBackend::devices()
{
    return bluez::devices();
}
system_ops::Result<bool> BluezBackend::is_powered()
{
    return bluez::is_powered();
}
system_ops::Result<bool> BluezBackend::is_scanning()
{
    return bluez::is_scanning();
}
system_ops::Status BluezBackend::set_powered(bool powered)
{
    return bluez::set_powered(powered);
}
system_ops::Status BluezBackend::start_scan()
{
    return bluez::start_scan();
}
system_ops::Status BluezBackend::stop_scan()
{
    return bluez::stop_scan();
}
PairOutcome BluezBackend::pair(std::string_view device)
{
    return bluez::pair(device);
}
system_ops::Status BluezBackend::cancel_pairing(std::string_view device)
{
    return bluez::cancel_pairing(device);
}
system_ops::Status BluezBackend::connect(std::string_view device)
{
    return bluez::connect(device);
}
system_ops::Status BluezBackend::disconnect(std::string_view device)
{
    return bluez::disconnect(device);
}
system_ops::Status BluezBackend::set_trusted(std::string_view device, bool trusted)
{
    return bluez::set_trusted(device, trusted);
}
system_ops::Status BluezBackend::set_alias(std::string_view device, std::string_view alias)
{
    return bluez::set_alias(device, alias);
}
system_ops::Status BluezBackend::forget(std::string_view device)
{
    return bluez::forget(device);
}

BluetoothWorkers BluetoothWorkers::background()
{
    return {.actions = page_workers::serial_executor(), .pairing = page_workers::detached_executor()};
}

}  // namespace settings::panes::bluetooth
