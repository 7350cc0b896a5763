#pragma once
// Bluetooth devices known to BlueZ, read with `bluetoothctl`.
//
// A device is named by its BlueZ object path ("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF"): the identity every
// per-device operation takes. bluetoothctl works on the default adapter, which is the first one ("hci0" on almost
// every machine); the paths are formed for the lowest adapter index found in /sys/class/bluetooth.
//
// The free functions forward to the current BluezService (see current.hpp); the real one is BluetoothctlBluez.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::bluez {

struct BluetoothDevice {
    std::string path;     // the BlueZ object path
    std::string address;  // "AA:BB:CC:DD:EE:FF"
    std::string name;     // the alias the user sees (the remote name unless renamed), else the address
    std::string icon;     // "audio-headset", "input-mouse", ...; empty when unknown
    std::optional<std::int16_t> rssi;    // signal strength in dBm, while discovered
    std::optional<std::uint8_t> battery;  // battery level in percent
    bool paired = false;
    bool trusted = false;
    bool connected = false;

    friend bool operator==(const BluetoothDevice&, const BluetoothDevice&) = default;
};

class BluezService {
public:
    virtual ~BluezService() = default;
    // The devices of the default adapter, in the order BlueZ lists them.
    [[nodiscard]] virtual Result<std::vector<BluetoothDevice>> devices() = 0;
};

[[nodiscard]] std::shared_ptr<BluezService> current();
std::shared_ptr<BluezService> replace_current(std::shared_ptr<BluezService> service);

[[nodiscard]] Result<std::vector<BluetoothDevice>> devices();

// "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF" for an adapter and an address; none when the address is not six pairs
// of hexadecimal digits separated by ":".
[[nodiscard]] std::optional<std::string> device_path(std::string_view adapter, std::string_view address);
// The address of a device path ("AA:BB:CC:DD:EE:FF"), or none when the text is not such a path.
[[nodiscard]] std::optional<std::string> address_of_path(std::string_view path);

// Parses the output of `bluetoothctl info <address>` into the device (path and address are the caller's).
[[nodiscard]] Result<BluetoothDevice> parse_info(std::string_view text);

// ---- The real backend ----------------------------------------------------------------------------------------------

class BluetoothctlBluez final : public BluezService {
public:
    struct Options {
        std::filesystem::path sysfs_root = "/sys";
        // bluetoothctl waits for bluetoothd for ever when the service is not running; the limit ends that.
        std::chrono::milliseconds time_limit = std::chrono::seconds(5);
    };

    explicit BluetoothctlBluez(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    BluetoothctlBluez(std::shared_ptr<cmd_runner::Runner> runner, Options options);

    Result<std::vector<BluetoothDevice>> devices() override;

    // "hci0", or the lowest-numbered adapter under <sysfs_root>/class/bluetooth.
    [[nodiscard]] std::string adapter_name() const;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
};

// ---- The fake ------------------------------------------------------------------------------------------------------

class FakeBluez final : public BluezService {
public:
    FakeBluez() = default;
    explicit FakeBluez(Result<std::vector<BluetoothDevice>> devices) : devices_(std::move(devices)) {}

    void set_devices(Result<std::vector<BluetoothDevice>> devices);
    Result<std::vector<BluetoothDevice>> devices() override;

private:
    std::mutex mutex_;
    Result<std::vector<BluetoothDevice>> devices_ = std::vector<BluetoothDevice>{};
};

}  // namespace system_ops::bluez
