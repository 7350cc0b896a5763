#pragma once
// Bluetooth through BlueZ's D-Bus API on the system bus: the adapter's radio and discovery, and the devices it knows
// (listed, paired, connected, trusted, renamed and forgotten).
//
// Reads and changes run `busctl` through the bounded command runner, one process per call: the whole object tree
// in one ObjectManager.GetManagedObjects call (however many devices there are), properties with `set-property`,
// methods with `call`. Discovery is the one exception: BlueZ keeps a discovery going only while the client that
// asked for it stays on the bus, so the backend holds a bus connection of its own for it (see start_scan).
//
// A device is named by its BlueZ object path ("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF"); anything else is refused
// with a sentence before a command line is built. The backend works on the default adapter: the first of the
// adapters BlueZ lists, in number order (hci0 on almost every machine).
//
// Names are text from the air: every name, alias and icon name is cleaned with cmd_runner::clean_text and bounded
// (a name to 256 bytes) before it leaves this module.
//
// The free functions forward to the current BluezService (see current.hpp); the real one is BusctlBluez.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
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
    std::string name;     // the alias the user sees (the remote name unless renamed), else the address; cleaned
    std::string icon;     // "audio-headset", "input-mouse", ...; empty when unknown; cleaned
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

// Every implementation is safe to call from several threads at once: a page reads and acts from its workers.
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

// The longest name (alias, remote name) kept, in bytes; longer ones are cut on a character boundary.
inline constexpr std::size_t max_name_bytes = 256;

// Whether the text is a D-Bus object path: "/" alone, or "/"-separated elements of ASCII letters, digits and "_",
// none empty and no "/" at the end.
[[nodiscard]] bool is_object_path(std::string_view text);
// Whether the text is the object path of a BlueZ adapter ("/org/bluez/hci0").
[[nodiscard]] bool is_adapter_path(std::string_view text);
// Whether the text is the object path of a BlueZ device ("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF").
[[nodiscard]] bool is_device_path(std::string_view text);
// The adapter of a device path ("/org/bluez/hci0"), or none when the text is no device path.
[[nodiscard]] std::optional<std::string> adapter_of_path(std::string_view path);

// "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF" for an adapter and an address; none when the address is not six pairs
// of hexadecimal digits separated by ":".
[[nodiscard]] std::optional<std::string> device_path(std::string_view adapter, std::string_view address);
// The address of a device path ("AA:BB:CC:DD:EE:FF"), or none when the text is not such a path.
[[nodiscard]] std::optional<std::string> address_of_path(std::string_view path);

// The address a device operation names: the address of a device path, or an address itself (upper-cased); none for
// anything else.
[[nodiscard]] std::optional<std::string> device_address(std::string_view device);

// One adapter of BlueZ's object tree.
struct Adapter {
    std::string path;  // "/org/bluez/hci0"
    bool powered = false;
    bool discovering = false;
    friend bool operator==(const Adapter&, const Adapter&) = default;
};

// BlueZ's adapters (in number order) and devices (in BlueZ's order, with every adapter's devices).
struct BluezObjects {
    std::vector<Adapter> adapters;
    std::vector<BluetoothDevice> devices;

    // The default adapter (the first), or none.
    [[nodiscard]] const Adapter* default_adapter() const;
    // The devices of one adapter, in BlueZ's order.
    [[nodiscard]] std::vector<BluetoothDevice> devices_of(const Adapter& adapter) const;
};

// Reads the reply of `busctl --json=short call org.bluez / org.freedesktop.DBus.ObjectManager GetManagedObjects`.
// Objects whose path or properties are not what BlueZ gives are left out; a property of an unexpected type counts
// as absent. An error only when the text is no such reply at all.
[[nodiscard]] Result<BluezObjects> parse_managed_objects(std::string_view json);

// ---- The real backend ----------------------------------------------------------------------------------------------

namespace detail {
class DiscoverySession;
}

class BusctlBluez final : public BluezService {
public:
    struct Options {
        // Reads and quick changes; bluetoothd answers them at once.
        std::chrono::milliseconds time_limit = std::chrono::seconds(5);
        // Connecting and disconnecting wait for the device.
        std::chrono::milliseconds connect_limit = std::chrono::seconds(30);
        // Pairing may wait for the user to confirm a code on both sides.
        std::chrono::milliseconds pair_limit = std::chrono::seconds(90);
        // A discovery ends by itself after this long unless stopped earlier.
        std::chrono::milliseconds scan_limit = std::chrono::seconds(120);
        // The object tree of a busy place (hundreds of devices advertising their data) is large.
        std::size_t list_output_limit = std::size_t{8} * 1024 * 1024;
    };

    explicit BusctlBluez(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    BusctlBluez(std::shared_ptr<cmd_runner::Runner> runner, Options options);
    // Stops a discovery this backend started.
    ~BusctlBluez() override;
    BusctlBluez(const BusctlBluez&) = delete;
    BusctlBluez& operator=(const BusctlBluez&) = delete;

    // BlueZ's whole object tree, read in one call.
    [[nodiscard]] Result<BluezObjects> objects();

    Result<std::vector<BluetoothDevice>> devices() override;
    Result<bool> is_powered() override;
    // True while a discovery runs, whether this backend or another program started it.
    Result<bool> is_scanning() override;
    Status set_powered(bool powered) override;
    // Clears this client's discovery filter and starts discovery, on a bus connection the backend keeps until
    // stop_scan(), its own destruction or the scan limit (BlueZ ends a discovery when its client leaves the bus).
    Status start_scan() override;
    // Ends this backend's discovery; without one, asks BlueZ to stop a discovery that is still running.
    Status stop_scan() override;
    // Device1.Pair, then Device1.Connect. No agent is registered here: BlueZ asks the desktop's agent for a PIN or
    // a passkey confirmation, or pairs without one when no agent is registered.
    PairOutcome pair(std::string_view device) override;
    Status cancel_pairing(std::string_view device) override;
    Status connect(std::string_view device) override;
    Status disconnect(std::string_view device) override;
    Status set_trusted(std::string_view device, bool trusted) override;
    Status set_alias(std::string_view device, std::string_view alias) override;
    Status forget(std::string_view device) override;

private:
    // The tree, or an error when it holds no adapter.
    Result<BluezObjects> tree_with_adapter();
    Result<Adapter> default_adapter();
    Status device_call(std::string_view device, std::string_view method, std::chrono::milliseconds limit);

    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
    std::mutex scan_mutex_;
    std::unique_ptr<detail::DiscoverySession> scan_;
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
