#pragma once
// Bluetooth through BlueZ: the adapter's radio and discovery, and the devices it knows (listed, paired, connected,
// trusted, renamed and forgotten), driven with `bluetoothctl` (and `busctl` for a device's alias, which bluetoothctl
// can only set interactively).
//
// A device is named by its BlueZ object path ("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF"): the identity every
// per-device operation takes (the operations also accept the bare address "AA:BB:CC:DD:EE:FF"). bluetoothctl works on
// the default adapter, which is the first one ("hci0" on almost every machine); the paths are formed for the lowest
// adapter index found in /sys/class/bluetooth.
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

// How a pairing ended.
enum class PairResultKind : std::uint8_t {
    PairedConnected,      // paired, then connected
    PairedConnectFailed,  // paired, but the connection that follows failed (error holds why)
    PairFailed,           // not paired (error holds why)
};

struct PairOutcome {
    PairResultKind kind = PairResultKind::PairFailed;
    std::string error;  // empty for PairedConnected

    friend bool operator==(const PairOutcome&, const PairOutcome&) = default;
};

class BluezService {
public:
    virtual ~BluezService() = default;
    // The devices of the default adapter, in the order BlueZ lists them.
    [[nodiscard]] virtual Result<std::vector<BluetoothDevice>> devices() = 0;
    // Whether the adapter's radio is on.
    [[nodiscard]] virtual Result<bool> is_powered() = 0;
    // Whether the adapter is looking for devices.
    [[nodiscard]] virtual Result<bool> is_scanning() = 0;
    [[nodiscard]] virtual Status set_powered(bool powered) = 0;
    // Starts looking for devices; discovery goes on until stop_scan() (or a time limit of the backend).
    [[nodiscard]] virtual Status start_scan() = 0;
    [[nodiscard]] virtual Status stop_scan() = 0;
    // Pairs with the device and then connects it. Blocks until both are done (pairing may wait for the user).
    [[nodiscard]] virtual PairOutcome pair(std::string_view device) = 0;
    [[nodiscard]] virtual Status cancel_pairing(std::string_view device) = 0;
    [[nodiscard]] virtual Status connect(std::string_view device) = 0;
    [[nodiscard]] virtual Status disconnect(std::string_view device) = 0;
    [[nodiscard]] virtual Status set_trusted(std::string_view device, bool trusted) = 0;
    // Renames the device; an empty alias gives it back its own name.
    [[nodiscard]] virtual Status set_alias(std::string_view device, std::string_view alias) = 0;
    // Removes the device with its bond and keys.
    [[nodiscard]] virtual Status forget(std::string_view device) = 0;
};

[[nodiscard]] std::shared_ptr<BluezService> current();
std::shared_ptr<BluezService> replace_current(std::shared_ptr<BluezService> service);

[[nodiscard]] Result<std::vector<BluetoothDevice>> devices();
[[nodiscard]] Result<bool> is_powered();
[[nodiscard]] Result<bool> is_scanning();
[[nodiscard]] Status set_powered(bool powered);
[[nodiscard]] Status start_scan();
[[nodiscard]] Status stop_scan();
[[nodiscard]] PairOutcome pair(std::string_view device);
[[nodiscard]] Status cancel_pairing(std::string_view device);
[[nodiscard]] Status connect(std::string_view device);
[[nodiscard]] Status disconnect(std::string_view device);
[[nodiscard]] Status set_trusted(std::string_view device, bool trusted);
[[nodiscard]] Status set_alias(std::string_view device, std::string_view alias);
[[nodiscard]] Status forget(std::string_view device);

// "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF" for an adapter and an address; none when the address is not six pairs
// of hexadecimal digits separated by ":".
[[nodiscard]] std::optional<std::string> device_path(std::string_view adapter, std::string_view address);
// The address of a device path ("AA:BB:CC:DD:EE:FF"), or none when the text is not such a path.
[[nodiscard]] std::optional<std::string> address_of_path(std::string_view path);

// The address a device operation names: the address of a device path, or an address itself (upper-cased); none for
// anything else.
[[nodiscard]] std::optional<std::string> device_address(std::string_view device);

// Parses the output of `bluetoothctl info <address>` into the device (path and address are the caller's).
[[nodiscard]] Result<BluetoothDevice> parse_info(std::string_view text);

// The adapter's "Powered" and "Discovering" flags from the output of `bluetoothctl show`.
struct AdapterState {
    bool powered = false;
    bool discovering = false;
    friend bool operator==(const AdapterState&, const AdapterState&) = default;
};
[[nodiscard]] Result<AdapterState> parse_show(std::string_view text);

// ---- The real backend ----------------------------------------------------------------------------------------------

class BluetoothctlBluez final : public BluezService {
public:
    struct Options {
        std::filesystem::path sysfs_root = "/sys";
        // bluetoothctl waits for bluetoothd for ever when the service is not running; the limit ends that.
        std::chrono::milliseconds time_limit = std::chrono::seconds(5);
        // Connecting and disconnecting wait for the device.
        std::chrono::milliseconds connect_limit = std::chrono::seconds(30);
        // Pairing may wait for the user to confirm a code on both sides.
        std::chrono::milliseconds pair_limit = std::chrono::seconds(90);
        // Discovery ends by itself after this long unless stopped earlier.
        std::chrono::seconds scan_limit = std::chrono::seconds(120);
    };

    explicit BluetoothctlBluez(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    BluetoothctlBluez(std::shared_ptr<cmd_runner::Runner> runner, Options options);
    // Stops a discovery this backend started.
    ~BluetoothctlBluez() override;

    Result<std::vector<BluetoothDevice>> devices() override;
    Result<bool> is_powered() override;
    // True while a discovery runs, whether this backend or another program started it.
    Result<bool> is_scanning() override;
    Status set_powered(bool powered) override;
    // BlueZ keeps a discovery going only while the program that asked for it stays connected, so the backend keeps
    // a `bluetoothctl --timeout <scan_limit> scan on` running until stop_scan(), its own destruction or the limit.
    Status start_scan() override;
    Status stop_scan() override;
    PairOutcome pair(std::string_view device) override;
    Status cancel_pairing(std::string_view device) override;
    Status connect(std::string_view device) override;
    Status disconnect(std::string_view device) override;
    Status set_trusted(std::string_view device, bool trusted) override;
    Status set_alias(std::string_view device, std::string_view alias) override;
    Status forget(std::string_view device) override;

    // "hci0", or the lowest-numbered adapter under <sysfs_root>/class/bluetooth.
    [[nodiscard]] std::string adapter_name() const;

private:
    Result<AdapterState> adapter_state();
    Status device_command(std::string_view verb, std::string_view device, std::chrono::milliseconds limit);

    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
    std::mutex scan_mutex_;
    std::optional<cmd_runner::AsyncCommand> scan_;
};

// ---- The fake ------------------------------------------------------------------------------------------------------

// Answers from its state and applies every change to it like BlueZ would (a device operation on a path it does not
// hold fails with "Device <address> not available"). Records every change as one line ("connect <path>",
// "set_powered true", ...). Safe to share between threads.
class FakeBluez final : public BluezService {
public:
    FakeBluez() = default;
    explicit FakeBluez(Result<std::vector<BluetoothDevice>> devices) : devices_(std::move(devices)) {}

    void set_devices(Result<std::vector<BluetoothDevice>> devices);
    void set_powered_state(Result<bool> powered);
    // When set, every change fails with this text.
    void set_failure(std::optional<std::string> failure);
    // What pair() answers for a known, unpaired device (PairedConnected by default).
    void set_pair_outcome(PairOutcome outcome);
    [[nodiscard]] std::vector<std::string> calls() const;

    Result<std::vector<BluetoothDevice>> devices() override;
    Result<bool> is_powered() override;
    Result<bool> is_scanning() override;
    Status set_powered(bool powered) override;
    Status start_scan() override;
    Status stop_scan() override;
    PairOutcome pair(std::string_view device) override;
    Status cancel_pairing(std::string_view device) override;
    Status connect(std::string_view device) override;
    Status disconnect(std::string_view device) override;
    Status set_trusted(std::string_view device, bool trusted) override;
    Status set_alias(std::string_view device, std::string_view alias) override;
    Status forget(std::string_view device) override;

private:
    // The held device of that path (or address), or an error; the lock must be held.
    Result<BluetoothDevice*> find(std::string_view device);
    Status change(std::string call);

    mutable std::mutex mutex_;
    Result<std::vector<BluetoothDevice>> devices_ = std::vector<BluetoothDevice>{};
    Result<bool> powered_ = true;
    bool scanning_ = false;
    std::optional<std::string> failure_;
    PairOutcome pair_outcome_{.kind = PairResultKind::PairedConnected};
    std::vector<std::string> calls_;
};

}  // namespace system_ops::bluez
