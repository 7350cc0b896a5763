#pragma once
// NetworkManager's connections as the Network page edits them: the internet connectivity and the captive-portal
// address, the saved connection profiles with their settings (automatic connection, IPv4 addressing, metered,
// hardware-address policy, automatic proxy), diagnostics of the current connection, and the connections the page
// creates (enterprise Wi-Fi, the hotspot, mobile broadband).
//
// Profiles are named by their UUID and reach nmcli as the one argument after the keyword "uuid"; names and other
// values from the user or the air are single arguments, never read by a shell. Passwords never appear in a
// command's arguments: they reach nmcli on standard input ("passwd-file /dev/stdin").
//
// The free functions forward to the current ConnectionService (see current.hpp); the real one is NmcliConnections.
// Every call blocks for at most its time limit and may be made from any thread.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/hotspot.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::network {

// NetworkManager's view of the internet connection.
enum class Connectivity : std::uint8_t {
    NotChecked = 0,      // unknown: no check configured or not yet run
    Offline = 1,         // no network connection at all
    SignInRequired = 2,  // a captive portal intercepts the traffic
    Limited = 3,         // connected, but the internet is not reachable
    Connected = 4,       // full internet access
};

// "802-11-wireless" (Wi-Fi) and "802-3-ethernet" (wired) as nmcli names profile types.
inline constexpr std::string_view wifi_profile_type = "802-11-wireless";
inline constexpr std::string_view ethernet_profile_type = "802-3-ethernet";

// The most addresses, or DNS servers, one IPv4 request may carry.
inline constexpr std::size_t max_ipv4_list_entries = 17;

struct SavedNetworkProfile {
    std::string name;
    std::string uuid;
    std::string connection_type;  // "802-11-wireless", "802-3-ethernet", "vpn", "gsm", ...
    bool autoconnect = false;

    friend bool operator==(const SavedNetworkProfile&, const SavedNetworkProfile&) = default;
};

struct Ipv4Settings {
    std::vector<std::string> addresses;  // "192.0.2.10/24"
    std::vector<std::string> dns;
    std::optional<std::string> gateway;
    bool automatic = true;  // DHCP (method "auto"); false: manual addressing

    friend bool operator==(const Ipv4Settings&, const Ipv4Settings&) = default;
};

// The profile's proxy setting: an automatic-proxy (PAC) address, or none for no proxy.
struct ProxySettings {
    std::optional<std::string> url;
    std::uint8_t browser_only = 0;  // 1: only browsers use the proxy

    friend bool operator==(const ProxySettings&, const ProxySettings&) = default;
};

inline constexpr std::uint8_t unknown_policy = 255;

namespace metered {
inline constexpr std::uint8_t automatic = 0;
inline constexpr std::uint8_t yes = 1;
inline constexpr std::uint8_t no = 2;
}  // namespace metered

namespace mac_policy {
inline constexpr std::uint8_t permanent = 0;  // the hardware's own address
inline constexpr std::uint8_t random = 1;     // a new address on each connection
inline constexpr std::uint8_t stable = 2;     // one address per network, kept across connections
}  // namespace mac_policy

struct ConnectionProfileSettings {
    // None when the profile has no IPv4 setting this page can edit (disabled, link-local, shared, ...).
    std::optional<Ipv4Settings> ipv4;
    // None when the profile carries no proxy setting.
    std::optional<ProxySettings> proxy;
    std::uint8_t metered = unknown_policy;     // metered::automatic, yes, no, else unknown
    std::uint8_t mac_policy = unknown_policy;  // mac_policy::permanent, random, stable, else unknown

    friend bool operator==(const ConnectionProfileSettings&, const ConnectionProfileSettings&) = default;
};

struct Ipv4Request {
    bool automatic = true;
    std::vector<std::string> addresses;
    std::optional<std::string> gateway;
    std::vector<std::string> dns;
};

// Changes of a profile's policy; an absent member is left as it is.
struct ConnectionPolicyPatch {
    std::optional<std::uint8_t> metered;
    std::optional<std::uint8_t> mac_policy;
    std::optional<ProxySettings> proxy;  // url none: no proxy

    [[nodiscard]] bool empty() const { return !metered && !mac_policy && !proxy; }
};

enum class EapMethod : std::uint8_t { Peap = 0, Ttls = 1, Tls = 2 };

struct EnterpriseWifiRequest {
    std::string profile_name;  // blank: the SSID
    std::string ssid;
    std::string identity;
    std::optional<std::string> anonymous_identity;
    std::string ca_certificate;  // absolute path of the organisation's CA certificate (mandatory)
    EapMethod method = EapMethod::Peap;
    std::optional<std::string> phase2;  // inner authentication of PEAP and TTLS: "mschapv2", "pap", "chap", ...
    std::optional<std::string> client_certificate;  // TLS
    std::optional<std::string> private_key;         // TLS
};

// A device connected to the hotspot.
struct HotspotClient {
    std::string name;  // its host name, else its hardware address
    std::string mac;
    std::optional<std::int32_t> signal_dbm;

    friend bool operator==(const HotspotClient&, const HotspotClient&) = default;
};

struct ConnectionDiagnostics {
    std::string manager_state;  // NetworkManager's state: "connected", "connecting", "disconnected", "asleep", ...
    Connectivity connectivity = Connectivity::NotChecked;
    std::optional<std::string> device;
    std::optional<std::string> address;
    std::optional<std::string> gateway;
    std::vector<std::string> dns;
    std::vector<std::string> notes;  // sentences on what looks wrong

    friend bool operator==(const ConnectionDiagnostics&, const ConnectionDiagnostics&) = default;
};

class ConnectionService {
public:
    virtual ~ConnectionService() = default;

    [[nodiscard]] virtual Result<Connectivity> get_connectivity() = 0;
    // The address that leads a browser to the captive portal's sign-in page (NetworkManager's connectivity check
    // address, which the portal intercepts). Only http and https addresses.
    [[nodiscard]] virtual Result<std::string> captive_portal_uri() = 0;
    [[nodiscard]] virtual Result<ConnectionDiagnostics> connection_diagnostics() = 0;

    [[nodiscard]] virtual Result<std::vector<SavedNetworkProfile>> list_saved_network_profiles() = 0;
    [[nodiscard]] virtual Result<ConnectionProfileSettings> connection_profile_settings(std::string_view uuid) = 0;
    [[nodiscard]] virtual Status set_network_autoconnect(std::string_view uuid, bool enabled) = 0;
    [[nodiscard]] virtual Status forget_network_profile(std::string_view uuid) = 0;
    // Saves the IPv4 settings and applies them at once when the profile is active.
    [[nodiscard]] virtual Status configure_ipv4(std::string_view uuid, const Ipv4Request& request) = 0;
    // Nothing to change is a success without a call.
    [[nodiscard]] virtual Status configure_connection_policy_patch(std::string_view uuid,
                                                                   const ConnectionPolicyPatch& patch) = 0;

    // Creates the enterprise profile and connects it; the profile is removed again when the connection fails.
    [[nodiscard]] virtual Status connect_enterprise_wifi(const EnterpriseWifiRequest& request,
                                                         std::string_view password) = 0;
    // Creates or updates the hotspot profile (hotspot_connection_name) and starts it.
    [[nodiscard]] virtual Status configure_hotspot(const HotspotConfiguration& configuration) = 0;
    // Empty while no hotspot runs.
    [[nodiscard]] virtual Result<std::vector<HotspotClient>> list_hotspot_clients() = 0;
    [[nodiscard]] virtual Status create_mobile_profile(std::string_view name, std::string_view apn) = 0;
};

[[nodiscard]] std::shared_ptr<ConnectionService> current_connections();
std::shared_ptr<ConnectionService> replace_current(std::shared_ptr<ConnectionService> service);

[[nodiscard]] Result<Connectivity> get_connectivity();
[[nodiscard]] Result<std::string> captive_portal_uri();
[[nodiscard]] Result<ConnectionDiagnostics> connection_diagnostics();
[[nodiscard]] Result<std::vector<SavedNetworkProfile>> list_saved_network_profiles();
[[nodiscard]] Result<ConnectionProfileSettings> connection_profile_settings(std::string_view uuid);
[[nodiscard]] Status set_network_autoconnect(std::string_view uuid, bool enabled);
[[nodiscard]] Status forget_network_profile(std::string_view uuid);
[[nodiscard]] Status configure_ipv4(std::string_view uuid, const Ipv4Request& request);
[[nodiscard]] Status configure_connection_policy_patch(std::string_view uuid, const ConnectionPolicyPatch& patch);
[[nodiscard]] Status connect_enterprise_wifi(const EnterpriseWifiRequest& request, std::string_view password);
[[nodiscard]] Status configure_hotspot(const HotspotConfiguration& configuration);
[[nodiscard]] Result<std::vector<HotspotClient>> list_hotspot_clients();
[[nodiscard]] Status create_mobile_profile(std::string_view name, std::string_view apn);

// Checks made before NetworkManager sees a request (also used by fakes, so that tests see the same refusals).
[[nodiscard]] Status check_profile_uuid(std::string_view uuid);
[[nodiscard]] Status check_ipv4_request(const Ipv4Request& request);
[[nodiscard]] Status check_policy_patch(const ConnectionPolicyPatch& patch);
// The CA certificate (and for TLS the client certificate and key) must be absolute paths of readable files.
[[nodiscard]] Status check_enterprise_request(const EnterpriseWifiRequest& request, std::string_view password);
[[nodiscard]] Status check_mobile_profile(std::string_view name, std::string_view apn);

// Reads `nmcli -t connection show uuid U` (one "setting.property:value" line each).
[[nodiscard]] ConnectionProfileSettings parse_profile_settings(std::string_view text);

// ---- The real backend ----------------------------------------------------------------------------------------------

class NmcliConnections final : public ConnectionService {
public:
    struct Options {
        std::chrono::milliseconds read_limit = std::chrono::seconds(10);
        std::chrono::milliseconds write_limit = std::chrono::seconds(30);
        // Activating a connection waits for NetworkManager (nmcli -w) a little less than this.
        std::chrono::milliseconds activate_limit = std::chrono::seconds(60);
        // Where NetworkManager's DHCP server for shared connections keeps its leases ("dnsmasq-<device>.leases").
        std::filesystem::path leases_dir = "/var/lib/NetworkManager";
    };

    explicit NmcliConnections(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    NmcliConnections(std::shared_ptr<cmd_runner::Runner> runner, Options options);

    Result<Connectivity> get_connectivity() override;
    Result<std::string> captive_portal_uri() override;
    Result<ConnectionDiagnostics> connection_diagnostics() override;
    Result<std::vector<SavedNetworkProfile>> list_saved_network_profiles() override;
    Result<ConnectionProfileSettings> connection_profile_settings(std::string_view uuid) override;
    Status set_network_autoconnect(std::string_view uuid, bool enabled) override;
    Status forget_network_profile(std::string_view uuid) override;
    Status configure_ipv4(std::string_view uuid, const Ipv4Request& request) override;
    Status configure_connection_policy_patch(std::string_view uuid, const ConnectionPolicyPatch& patch) override;
    Status connect_enterprise_wifi(const EnterpriseWifiRequest& request, std::string_view password) override;
    Status configure_hotspot(const HotspotConfiguration& configuration) override;
    Result<std::vector<HotspotClient>> list_hotspot_clients() override;
    Status create_mobile_profile(std::string_view name, std::string_view apn) override;

private:
    Result<std::string> nmcli(std::vector<std::string> args, std::chrono::milliseconds limit);
    Result<std::string> read(std::vector<std::string> args) { return nmcli(std::move(args), options_.read_limit); }
    Result<std::string> write(std::vector<std::string> args) { return nmcli(std::move(args), options_.write_limit); }
    // `connection up uuid U`, with `secret` ("setting.property:value") handed over on standard input.
    Status activate(const std::string& uuid, std::optional<std::string> secret);
    // `connection add ...`: the new profile's UUID.
    Result<std::string> add_profile(std::vector<std::string> args);
    // The device a profile is active on, if it is.
    Result<std::optional<std::string>> active_device(std::string_view uuid);
    Result<std::string> profile_type(std::string_view uuid);

    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
};

}  // namespace system_ops::network
