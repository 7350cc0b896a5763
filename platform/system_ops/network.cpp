#include "system_ops/network.hpp"

#include "system_ops/tool.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

namespace system_ops::network {

namespace {

CurrentSlot<NetworkService>& slot()
{
    static CurrentSlot<NetworkService> instance([]() -> std::shared_ptr<NetworkService> {
        return std::make_shared<NmcliNetwork>();
    });
    return instance;
}

std::string on_off(bool enabled)
{
    return enabled ? "on" : "off";
}

std::string for_message(std::string_view text)
{
    return cmd_runner::clean_text(text, {.max_chars = 128, .trim = true});
}

// nmcli prints "--" for an empty value outside terse mode and nothing in it; both mean none.
std::optional<std::string> value_or_none(std::string value)
{
    if (value.empty() || value == "--") {
        return std::nullopt;
    }
    return value;
}

// "aa:bb:cc:dd:ee:ff" (nmcli takes such a network name for an access point's hardware address).
bool looks_like_bssid(std::string_view text)
{
    if (text.size() != 17) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i % 3 == 2) {
            if (c != ':') {
                return false;
            }
        } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

Status check_password(std::string_view password)
{
    const bool hex64 = password.size() == 64 && std::ranges::all_of(password, [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    });
    const bool printable = std::ranges::all_of(password, [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u != 0x7f;
    });
    if (!printable) {
        return std::unexpected(std::string("the Wi-Fi password must not contain control characters"));
    }
    if (!hex64 && (password.size() < 8 || password.size() > 63)) {
        return std::unexpected(std::string("the Wi-Fi password must be 8 to 63 characters long"));
    }
    return {};
}

// The UUID in "Connection 'x' (0b5c...-...) successfully added."
std::optional<std::string> added_uuid(std::string_view output)
{
    const auto close = output.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    const auto open = output.rfind('(', close);
    if (open == std::string_view::npos) {
        return std::nullopt;
    }
    const auto uuid = output.substr(open + 1, close - open - 1);
    const bool shaped = uuid.size() == 36 && std::ranges::all_of(uuid, [](char c) {
        return c == '-' || std::isxdigit(static_cast<unsigned char>(c)) != 0;
    });
    if (!shaped) {
        return std::nullopt;
    }
    return std::string(uuid);
}

}  // namespace

std::shared_ptr<NetworkService> current()
{
    return slot().get();
}

std::shared_ptr<NetworkService> replace_current(std::shared_ptr<NetworkService> service)
{
    return slot().replace(std::move(service));
}

Result<std::vector<WifiNetwork>> list_wifi_networks()
{
    return current()->list_wifi_networks();
}
Result<bool> get_wifi()
{
    return current()->get_wifi();
}

std::vector<WifiNetwork> parse_wifi_list(std::string_view text)
{
    std::vector<WifiNetwork> networks;
    for (const auto line : detail::split_lines(text)) {
        const auto fields = detail::split_terse(line);
        // A name from the air: no control or direction-changing characters, at most the 32 bytes an SSID has.
        std::string ssid = cmd_runner::clean_text(fields.size() == 4 ? fields[1] : "", {.max_bytes = 32});
        if (fields.size() != 4 || ssid.empty()) {
            continue;  // a hidden network (no name), or a line that is not one of ours
        }
        WifiNetwork network{.ssid = std::move(ssid),
                            .security = value_or_none(std::string(detail::trim(fields[2]))).value_or(""),
                            .in_use = detail::trim(fields[0]) == "*"};
        const auto signal = detail::parse_int(detail::trim(fields[3]));
        network.signal = static_cast<std::uint8_t>(std::clamp<std::int64_t>(signal.value_or(0), 0, 100));
        // Several access points of one network: one entry, in use when any is, as strong as the strongest.
        const auto same = std::ranges::find(networks, network.ssid, &WifiNetwork::ssid);
        if (same == networks.end()) {
            networks.push_back(std::move(network));
            continue;
        }
        same->in_use = same->in_use || network.in_use;
        if (network.signal > same->signal) {
            same->signal = network.signal;
            if (!network.security.empty()) {
                same->security = std::move(network.security);
            }
        }
    }
    std::ranges::stable_sort(networks, [](const WifiNetwork& a, const WifiNetwork& b) {
        return a.in_use != b.in_use ? a.in_use : a.signal > b.signal;
    });
    return networks;
}
Status set_wifi(bool enabled)
{
    return current()->set_wifi(enabled);
}
Result<RadioState> get_radio_state()
{
    return current()->get_radio_state();
}
Status set_airplane_mode(bool enabled)
{
    return current()->set_airplane_mode(enabled);
}
Result<std::optional<WiredDevice>> get_wired()
{
    return current()->get_wired();
}
Status set_wired(bool enabled)
{
    return current()->set_wired(enabled);
}
Status set_hotspot(bool enabled)
{
    return current()->set_hotspot(enabled);
}
Status set_mobile_broadband(bool enabled)
{
    return current()->set_mobile_broadband(enabled);
}
Result<std::vector<VpnConnection>> list_vpn_connections()
{
    return current()->list_vpn_connections();
}
Status set_vpn_connection(std::string_view name, bool enabled)
{
    return current()->set_vpn_connection(name, enabled);
}
Status connect_wifi(std::string_view ssid, std::optional<std::string_view> password)
{
    return current()->connect_wifi(ssid, password);
}

// ---- NmcliNetwork ----------------------------------------------------------------------------------------------

NmcliNetwork::NmcliNetwork(std::shared_ptr<cmd_runner::Runner> runner) : NmcliNetwork(std::move(runner), {}) {}

NmcliNetwork::NmcliNetwork(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)), options_(options)
{
}

Result<std::string> NmcliNetwork::nmcli(std::vector<std::string> args, std::optional<std::string> input)
{
    return detail::run_tool(*runner_, {.program = "nmcli",
                                       .args = std::move(args),
                                       .time_limit = options_.read_limit,
                                       .input = std::move(input)});
}

Result<std::string> NmcliNetwork::nmcli_activate(std::vector<std::string> args, std::optional<std::string> input)
{
    // nmcli gives up a little before the runner would stop it, so that its own message explains the failure.
    const auto wait_seconds =
        std::max<long long>(1, std::chrono::duration_cast<std::chrono::seconds>(options_.activate_limit).count() - 5);
    args.insert(args.begin(), {"-w", std::to_string(wait_seconds)});
    return detail::run_tool(*runner_, {.program = "nmcli",
                                       .args = std::move(args),
                                       .time_limit = options_.activate_limit,
                                       .input = std::move(input)});
}

Result<std::vector<WifiNetwork>> NmcliNetwork::list_wifi_networks()
{
    const auto out = nmcli({"-t", "-f", "IN-USE,SSID,SECURITY,SIGNAL", "device", "wifi", "list", "--rescan", "auto"});
    if (!out) {
        return std::unexpected(out.error());
    }
    return parse_wifi_list(*out);
}

Result<bool> NmcliNetwork::get_wifi()
{
    const auto out = nmcli({"-t", "-f", "WIFI", "radio"});
    if (!out) {
        return std::unexpected(out.error());
    }
    const auto lines = detail::split_lines(*out);
    const auto flag = lines.empty() ? std::nullopt : detail::parse_flag(lines.front());
    if (!flag) {
        return std::unexpected(fmt::format("nmcli reported an unreadable Wi-Fi state \"{}\"", for_message(*out)));
    }
    return *flag;
}

Status NmcliNetwork::set_wifi(bool enabled)
{
    return detail::done(nmcli({"radio", "wifi", on_off(enabled)}));
}

Result<std::vector<std::string>> NmcliNetwork::active_access_points()
{
    const auto active = nmcli({"-t", "-f", "UUID,TYPE", "connection", "show", "--active"});
    if (!active) {
        return std::unexpected(active.error());
    }
    std::vector<std::string> uuids;
    for (const auto line : detail::split_lines(*active)) {
        const auto fields = detail::split_terse(line);
        if (fields.size() < 2 || fields[1] != "802-11-wireless" || fields[0].empty()) {
            continue;
        }
        const auto mode = nmcli({"-g", "802-11-wireless.mode", "connection", "show", "uuid", fields[0]});
        if (mode && detail::trim(*mode) == "ap") {
            uuids.push_back(fields[0]);
        }
    }
    return uuids;
}

Result<RadioState> NmcliNetwork::get_radio_state()
{
    const auto radio = nmcli({"-t", "-f", "WIFI-HW,WIFI,WWAN-HW,WWAN", "radio"});
    if (!radio) {
        return std::unexpected(radio.error());
    }
    const auto lines = detail::split_lines(*radio);
    const auto fields = lines.empty() ? std::vector<std::string>{} : detail::split_terse(lines.front());
    if (fields.size() != 4) {
        return std::unexpected(fmt::format("nmcli reported an unreadable radio state \"{}\"", for_message(*radio)));
    }
    // A hardware switch reads "enabled", "disabled" or (newer NetworkManager) "missing" when there is no radio.
    const auto flag = [](const std::string& text) { return detail::parse_flag(text).value_or(false); };
    RadioState state{.wifi_hardware_enabled = flag(fields[0]), .wifi_enabled = flag(fields[1])};
    const bool wwan_hardware = flag(fields[2]);
    const bool wwan = flag(fields[3]);

    const auto devices = nmcli({"-t", "-f", "TYPE", "device"});
    if (!devices) {
        return std::unexpected(devices.error());
    }
    bool modem = false;
    for (const auto line : detail::split_lines(*devices)) {
        const auto type = detail::split_terse(line).front();
        modem = modem || type == "gsm" || type == "cdma";
    }
    state.mobile_broadband_available = modem && wwan_hardware;
    state.mobile_broadband = state.mobile_broadband_available && wwan;
    state.airplane_mode = !state.wifi_enabled && !wwan;

    const auto access_points = active_access_points();
    if (!access_points) {
        return std::unexpected(access_points.error());
    }
    state.hotspot_active = !access_points->empty();
    return state;
}

Status NmcliNetwork::set_airplane_mode(bool enabled)
{
    return detail::done(nmcli({"radio", "all", on_off(!enabled)}));
}

Result<std::optional<WiredDevice>> NmcliNetwork::get_wired()
{
    const auto out = nmcli({"-t", "-f", "DEVICE,TYPE,STATE,CONNECTION", "device"});
    if (!out) {
        return std::unexpected(out.error());
    }
    for (const auto line : detail::split_lines(*out)) {
        auto fields = detail::split_terse(line);
        if (fields.size() < 4 || fields[1] != "ethernet" || fields[0].empty() || fields[2] == "unmanaged") {
            continue;
        }
        WiredDevice device{.interface = fields[0],
                           .connection = value_or_none(fields[3]),
                           .enabled = fields[2].starts_with("connected")};
        if (device.enabled) {
            // Several addresses are separated by " | "; the first is shown, without its prefix length.
            if (const auto addresses = nmcli({"-g", "IP4.ADDRESS", "device", "show", device.interface})) {
                const auto lines = detail::split_lines(*addresses);
                if (!lines.empty()) {
                    std::string first = detail::split_terse(lines.front()).front();
                    first = std::string(detail::trim(first.substr(0, first.find(" | "))));
                    first = first.substr(0, first.find('/'));
                    device.ipv4_address = value_or_none(std::move(first));
                }
            }
        }
        return device;
    }
    return std::optional<WiredDevice>{};
}

Status NmcliNetwork::set_wired(bool enabled)
{
    const auto wired = get_wired();
    if (!wired) {
        return std::unexpected(wired.error());
    }
    if (!*wired) {
        return std::unexpected(std::string("no wired network device was found"));
    }
    return detail::done(nmcli_activate({"device", enabled ? "connect" : "disconnect", (*wired)->interface}));
}

Status NmcliNetwork::set_hotspot(bool enabled)
{
    if (!enabled) {
        const auto access_points = active_access_points();
        if (!access_points) {
            return std::unexpected(access_points.error());
        }
        for (const auto& uuid : *access_points) {
            const auto down = nmcli_activate({"connection", "down", "uuid", uuid});
            if (!down) {
                return std::unexpected(down.error());
            }
        }
        return {};
    }
    const auto profiles = nmcli({"-t", "-f", "NAME,UUID,TYPE", "connection", "show"});
    if (!profiles) {
        return std::unexpected(profiles.error());
    }
    for (const auto line : detail::split_lines(*profiles)) {
        const auto fields = detail::split_terse(line);
        if (fields.size() >= 3 && fields[0] == hotspot_connection_name && fields[2] == "802-11-wireless" &&
            !fields[1].empty()) {
            return detail::done(nmcli_activate({"connection", "up", "uuid", fields[1]}));
        }
    }
    return std::unexpected(std::string("the hotspot has not been set up yet"));
}

Status NmcliNetwork::set_mobile_broadband(bool enabled)
{
    return detail::done(nmcli({"radio", "wwan", on_off(enabled)}));
}

Result<std::vector<VpnConnection>> NmcliNetwork::list_vpn_connections()
{
    const auto out = nmcli({"-t", "-f", "NAME,UUID,TYPE,ACTIVE", "connection", "show"});
    if (!out) {
        return std::unexpected(out.error());
    }
    std::vector<VpnConnection> vpns;
    for (const auto line : detail::split_lines(*out)) {
        auto fields = detail::split_terse(line);
        if (fields.size() < 4 || (fields[2] != "vpn" && fields[2] != "wireguard") || fields[1].empty()) {
            continue;
        }
        vpns.push_back({.name = std::move(fields[0]),
                        .uuid = std::move(fields[1]),
                        .kind = std::move(fields[2]),
                        .active = detail::parse_flag(fields[3]).value_or(false)});
    }
    return vpns;
}

Status NmcliNetwork::set_vpn_connection(std::string_view name, bool enabled)
{
    const auto vpns = list_vpn_connections();
    if (!vpns) {
        return std::unexpected(vpns.error());
    }
    std::vector<const VpnConnection*> named;
    for (const auto& vpn : *vpns) {
        if (vpn.name == name) {
            named.push_back(&vpn);
        }
    }
    if (named.empty()) {
        return std::unexpected(fmt::format("VPN connection \"{}\" no longer exists", for_message(name)));
    }
    if (named.size() > 1) {
        return std::unexpected(fmt::format("more than one VPN connection is named \"{}\"", for_message(name)));
    }
    if (named.front()->active == enabled) {
        return {};
    }
    return detail::done(nmcli_activate({"connection", enabled ? "up" : "down", "uuid", named.front()->uuid}));
}

Status NmcliNetwork::connect_wifi(std::string_view ssid, std::optional<std::string_view> given_password)
{
    if (ssid.empty() || ssid.size() > 32 || ssid.find('\0') != std::string_view::npos) {
        return std::unexpected(std::string("a Wi-Fi network name must be 1 to 32 bytes long"));
    }
    const std::string_view password = given_password.value_or(std::string_view{});
    const bool has_password = !password.empty();
    if (has_password) {
        if (auto valid = check_password(password); !valid) {
            return valid;
        }
    }

    // The security the network announces decides how the profile asks for its password.
    std::optional<std::string> security;
    if (const auto list = nmcli({"-t", "-f", "SSID,SECURITY", "device", "wifi", "list", "--rescan", "no"})) {
        for (const auto line : detail::split_lines(*list)) {
            auto fields = detail::split_terse(line);
            if (fields.size() >= 2 && fields[0] == ssid) {
                security = std::move(fields[1]);
                break;
            }
        }
    }
    const bool open_network = security && (security->empty() || *security == "--");
    if (security && security->find("802.1X") != std::string::npos) {
        return std::unexpected(std::string("this network needs an enterprise (802.1X) sign-in"));
    }
    if (has_password && security && !open_network && security->find("WPA") == std::string::npos) {
        return std::unexpected(std::string("this network uses WEP, which is not supported"));
    }

    if (!has_password || open_network) {
        if (!looks_like_bssid(ssid)) {
            return detail::done(nmcli_activate({"device", "wifi", "connect", std::string(ssid)}));
        }
        // nmcli would read such a name as an access point's address: go through a profile instead.
    }

    std::vector<std::string> add = {"connection", "add", "type", "wifi", "ifname", "*",
                                    "con-name", std::string(ssid), "ssid", std::string(ssid)};
    if (!security) {
        add.insert(add.end(), {"802-11-wireless.hidden", "yes"});
    }
    std::string key_mgmt;
    if (has_password && !open_network) {
        const bool sae_only = security && security->find("WPA3") != std::string::npos &&
                              security->find("WPA2") == std::string::npos &&
                              security->find("WPA1") == std::string::npos;
        key_mgmt = sae_only ? "sae" : "wpa-psk";
        add.insert(add.end(), {"wifi-sec.key-mgmt", key_mgmt, "wifi-sec.psk-flags", "0"});
    }
    const auto added = nmcli(std::move(add));
    if (!added) {
        return std::unexpected(added.error());
    }
    const auto uuid = added_uuid(*added);
    if (!uuid) {
        return std::unexpected(
            fmt::format("nmcli did not report the new connection: \"{}\"", for_message(*added)));
    }

    std::optional<std::string> input;
    std::vector<std::string> up = {"connection", "up", "uuid", *uuid};
    if (!key_mgmt.empty()) {
        // The secret goes to nmcli on standard input ("passwd-file" lines "setting.property:value").
        constexpr std::string_view key = "802-11-wireless-security.psk:";
        input.emplace();
        input->reserve(key.size() + password.size() + 1);
        input->append(key).append(password).push_back('\n');
        up.insert(up.end(), {"passwd-file", "/dev/stdin"});
    }
    const auto activated = nmcli_activate(std::move(up), std::move(input));
    if (!activated) {
        // A profile that never connected would only get in the way of the next attempt.
        (void)nmcli({"connection", "delete", "uuid", *uuid});
        return std::unexpected(activated.error());
    }
    return {};
}

// ---- FakeNetwork -----------------------------------------------------------------------------------------------

FakeNetwork::State FakeNetwork::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

#define VORN_FAKE_FAILURE()                                  \
    const std::lock_guard lock(mutex_);                      \
    if (state_.failure) {                                    \
        return std::unexpected(*state_.failure);             \
    }

Result<std::vector<WifiNetwork>> FakeNetwork::list_wifi_networks()
{
    VORN_FAKE_FAILURE();
    if (!state_.radio.wifi_enabled) {
        return std::vector<WifiNetwork>{};
    }
    return state_.wifi_networks;
}

Result<bool> FakeNetwork::get_wifi()
{
    VORN_FAKE_FAILURE();
    return state_.radio.wifi_enabled;
}

Status FakeNetwork::set_wifi(bool enabled)
{
    VORN_FAKE_FAILURE();
    state_.radio.wifi_enabled = enabled;
    state_.radio.airplane_mode = false;
    return {};
}

Result<RadioState> FakeNetwork::get_radio_state()
{
    VORN_FAKE_FAILURE();
    return state_.radio;
}

Status FakeNetwork::set_airplane_mode(bool enabled)
{
    VORN_FAKE_FAILURE();
    state_.radio.airplane_mode = enabled;
    state_.radio.wifi_enabled = !enabled;
    state_.radio.mobile_broadband = !enabled && state_.radio.mobile_broadband_available;
    return {};
}

Result<std::optional<WiredDevice>> FakeNetwork::get_wired()
{
    VORN_FAKE_FAILURE();
    return state_.wired;
}

Status FakeNetwork::set_wired(bool enabled)
{
    VORN_FAKE_FAILURE();
    if (!state_.wired) {
        return std::unexpected(std::string("no wired network device was found"));
    }
    state_.wired->enabled = enabled;
    return {};
}

Status FakeNetwork::set_hotspot(bool enabled)
{
    VORN_FAKE_FAILURE();
    if (enabled && !state_.hotspot_configured) {
        return std::unexpected(std::string("the hotspot has not been set up yet"));
    }
    state_.radio.hotspot_active = enabled;
    return {};
}

Status FakeNetwork::set_mobile_broadband(bool enabled)
{
    VORN_FAKE_FAILURE();
    if (enabled && !state_.radio.mobile_broadband_available) {
        return std::unexpected(std::string("no mobile broadband modem is available"));
    }
    state_.radio.mobile_broadband = enabled;
    return {};
}

Result<std::vector<VpnConnection>> FakeNetwork::list_vpn_connections()
{
    VORN_FAKE_FAILURE();
    return state_.vpns;
}

Status FakeNetwork::set_vpn_connection(std::string_view name, bool enabled)
{
    VORN_FAKE_FAILURE();
    const auto named = std::ranges::count_if(state_.vpns, [&](const VpnConnection& v) { return v.name == name; });
    if (named == 0) {
        return std::unexpected(fmt::format("VPN connection \"{}\" no longer exists", name));
    }
    if (named > 1) {
        return std::unexpected(fmt::format("more than one VPN connection is named \"{}\"", name));
    }
    std::ranges::find_if(state_.vpns, [&](const VpnConnection& v) { return v.name == name; })->active = enabled;
    return {};
}

Status FakeNetwork::connect_wifi(std::string_view ssid, std::optional<std::string_view> password)
{
    VORN_FAKE_FAILURE();
    state_.joined.emplace_back(std::string(ssid),
                               password ? std::optional<std::string>(std::string(*password)) : std::nullopt);
    return {};
}

#undef VORN_FAKE_FAILURE

}  // namespace system_ops::network
