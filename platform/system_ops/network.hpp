#pragma once
// Network switches of the machine through NetworkManager's command-line client (`nmcli`, terse output): the Wi-Fi
// radio, airplane mode, the wired device, the hotspot, mobile broadband, VPN connections and joining a Wi-Fi
// network. A password never appears in a command's arguments (which every user can read in /proc); it reaches nmcli
// on standard input.
//
// The free functions forward to the current NetworkService (see current.hpp); the real one is NmcliNetwork.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::network {

// The connection profile that holds the hotspot set up by the settings (its name in NetworkManager).
inline constexpr std::string_view hotspot_connection_name = "Vorn Hotspot";

// The machine's wired Ethernet device.
struct WiredDevice {
    std::string interface;                    // "enp3s0"
    std::optional<std::string> connection;    // the active profile's name
    std::optional<std::string> ipv4_address;  // the first IPv4 address, without its prefix length
    bool enabled = false;                     // connected

    friend bool operator==(const WiredDevice&, const WiredDevice&) = default;
};
using WiredState = WiredDevice;

struct RadioState {
    bool wifi_hardware_enabled = false;  // no hardware switch (or rfkill) blocks Wi-Fi
    bool wifi_enabled = false;
    bool airplane_mode = false;               // Wi-Fi and mobile broadband both switched off
    bool mobile_broadband_available = false;  // a modem is present and not blocked by hardware
    bool mobile_broadband = false;            // mobile broadband switched on (and available)
    bool hotspot_active = false;              // a Wi-Fi connection runs in access-point mode

    friend bool operator==(const RadioState&, const RadioState&) = default;
};

struct VpnConnection {
    std::string name;
    std::string uuid;
    std::string kind;  // "vpn" or "wireguard"
    bool active = false;

    friend bool operator==(const VpnConnection&, const VpnConnection&) = default;
};

// A Wi-Fi network in range: the access points of one name taken together.
struct WifiNetwork {
    std::string ssid;
    // NetworkManager's words for the protection, e.g. "WPA2", "WPA1 WPA2", "WPA3", "WPA2 802.1X"; empty when open.
    std::string security;
    std::uint8_t signal = 0;  // the strongest access point, 0 to 100
    bool in_use = false;      // the machine is connected to it

    [[nodiscard]] bool open() const { return security.empty(); }
    // Joined with a user name and password rather than a passphrase.
    [[nodiscard]] bool enterprise() const { return security.find("802.1X") != std::string::npos; }

    friend bool operator==(const WifiNetwork&, const WifiNetwork&) = default;
};

class NetworkService {
public:
    virtual ~NetworkService() = default;

    // The Wi-Fi networks in range (hidden networks left out), the one in use first, then by signal strength. Empty
    // when the radio is off.
    [[nodiscard]] virtual Result<std::vector<WifiNetwork>> list_wifi_networks() = 0;

    // Whether the Wi-Fi radio is switched on.
    [[nodiscard]] virtual Result<bool> get_wifi() = 0;
    [[nodiscard]] virtual Status set_wifi(bool enabled) = 0;
    [[nodiscard]] virtual Result<RadioState> get_radio_state() = 0;
    // On: every radio NetworkManager controls is switched off; off: they are switched on again.
    [[nodiscard]] virtual Status set_airplane_mode(bool enabled) = 0;
    // None when the machine has no (managed) wired device.
    [[nodiscard]] virtual Result<std::optional<WiredDevice>> get_wired() = 0;
    // Connects or disconnects the wired device.
    [[nodiscard]] virtual Status set_wired(bool enabled) = 0;
    // On: starts the hotspot profile (hotspot_connection_name), which must have been set up. Off: stops every
    // Wi-Fi connection that runs in access-point mode.
    [[nodiscard]] virtual Status set_hotspot(bool enabled) = 0;
    [[nodiscard]] virtual Status set_mobile_broadband(bool enabled) = 0;
    [[nodiscard]] virtual Result<std::vector<VpnConnection>> list_vpn_connections() = 0;
    // Brings the VPN connection of that name up or down. An error when no VPN connection, or more than one, has
    // that name.
    [[nodiscard]] virtual Status set_vpn_connection(std::string_view name, bool enabled) = 0;
    // Joins the Wi-Fi network. With a password a profile for the network is created and activated with the
    // password handed over on standard input; the profile is removed again when the activation fails.
    [[nodiscard]] virtual Status connect_wifi(std::string_view ssid, std::optional<std::string_view> password) = 0;
};

[[nodiscard]] std::shared_ptr<NetworkService> current();
std::shared_ptr<NetworkService> replace_current(std::shared_ptr<NetworkService> service);

[[nodiscard]] Result<std::vector<WifiNetwork>> list_wifi_networks();
[[nodiscard]] Result<bool> get_wifi();
[[nodiscard]] Status set_wifi(bool enabled);
[[nodiscard]] Result<RadioState> get_radio_state();
[[nodiscard]] Status set_airplane_mode(bool enabled);
[[nodiscard]] Result<std::optional<WiredDevice>> get_wired();
[[nodiscard]] Status set_wired(bool enabled);
[[nodiscard]] Status set_hotspot(bool enabled);
[[nodiscard]] Status set_mobile_broadband(bool enabled);
[[nodiscard]] Result<std::vector<VpnConnection>> list_vpn_connections();
[[nodiscard]] Status set_vpn_connection(std::string_view name, bool enabled);
[[nodiscard]] Status connect_wifi(std::string_view ssid, std::optional<std::string_view> password);

// Reads the output of `nmcli -t -f IN-USE,SSID,SECURITY,SIGNAL device wifi list`: one network per name, the one in
// use first, then by signal.
[[nodiscard]] std::vector<WifiNetwork> parse_wifi_list(std::string_view text);

// ---- The real backend ----------------------------------------------------------------------------------------------

class NmcliNetwork final : public NetworkService {
public:
    struct Options {
        std::chrono::milliseconds read_limit = std::chrono::seconds(10);
        // Activating a connection waits for NetworkManager (nmcli -w) a little less than this.
        std::chrono::milliseconds activate_limit = std::chrono::seconds(60);
    };

    explicit NmcliNetwork(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    NmcliNetwork(std::shared_ptr<cmd_runner::Runner> runner, Options options);

    // Asks NetworkManager to scan again when its last scan is older than 30 s (nmcli's --rescan auto).
    Result<std::vector<WifiNetwork>> list_wifi_networks() override;
    Result<bool> get_wifi() override;
    Status set_wifi(bool enabled) override;
    Result<RadioState> get_radio_state() override;
    Status set_airplane_mode(bool enabled) override;
    Result<std::optional<WiredDevice>> get_wired() override;
    Status set_wired(bool enabled) override;
    Status set_hotspot(bool enabled) override;
    Status set_mobile_broadband(bool enabled) override;
    Result<std::vector<VpnConnection>> list_vpn_connections() override;
    Status set_vpn_connection(std::string_view name, bool enabled) override;
    Status connect_wifi(std::string_view ssid, std::optional<std::string_view> password) override;

private:
    Result<std::string> nmcli(std::vector<std::string> args, std::optional<std::string> input = std::nullopt);
    Result<std::string> nmcli_activate(std::vector<std::string> args, std::optional<std::string> input = std::nullopt);
    Result<std::vector<std::string>> active_access_points();

    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
};

// ---- The fake ------------------------------------------------------------------------------------------------------

// Answers from its state and applies every change to it, like a machine would. Safe to share between threads.
class FakeNetwork final : public NetworkService {
public:
    struct State {
        RadioState radio{.wifi_hardware_enabled = true, .wifi_enabled = true};
        std::optional<WiredDevice> wired = WiredDevice{.interface = "enp3s0"};
        std::vector<VpnConnection> vpns;
        std::vector<WifiNetwork> wifi_networks;  // in range (listed only while Wi-Fi is on)
        bool hotspot_configured = false;
        // When set, every operation fails with this text (NetworkManager not running).
        std::optional<std::string> failure;
        // The Wi-Fi networks joined, with the password given (for assertions on the flow, not on secrecy).
        std::vector<std::pair<std::string, std::optional<std::string>>> joined;
    };

    FakeNetwork() = default;
    explicit FakeNetwork(State state) : state_(std::move(state)) {}

    [[nodiscard]] State state() const;
    template <class F>
    void change(F&& f)
    {
        const std::lock_guard lock(mutex_);
        f(state_);
    }

    Result<std::vector<WifiNetwork>> list_wifi_networks() override;
    Result<bool> get_wifi() override;
    Status set_wifi(bool enabled) override;
    Result<RadioState> get_radio_state() override;
    Status set_airplane_mode(bool enabled) override;
    Result<std::optional<WiredDevice>> get_wired() override;
    Status set_wired(bool enabled) override;
    Status set_hotspot(bool enabled) override;
    Status set_mobile_broadband(bool enabled) override;
    Result<std::vector<VpnConnection>> list_vpn_connections() override;
    Status set_vpn_connection(std::string_view name, bool enabled) override;
    Status connect_wifi(std::string_view ssid, std::optional<std::string_view> password) override;

private:
    mutable std::mutex mutex_;
    State state_;
};

}  // namespace system_ops::network
