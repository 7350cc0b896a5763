#include "system_ops/network_connections.hpp"

#include "system_ops/network.hpp"
#include "system_ops/tool.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <sodium.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>

namespace system_ops::network {

namespace {

CurrentSlot<ConnectionService>& slot()
{
    static CurrentSlot<ConnectionService> instance([]() -> std::shared_ptr<ConnectionService> {
        return std::make_shared<NmcliConnections>();
    });
    return instance;
}

std::string for_message(std::string_view text)
{
    return cmd_runner::clean_text(text, {.max_chars = 128, .trim = true});
}

// Names from NetworkManager (profile names, host names, device names) as the page may show and keep them.
std::string clean_name(std::string_view text)
{
    return cmd_runner::clean_text(text, {.max_bytes = 256, .trim = true});
}

bool has_control(std::string_view text)
{
    return std::ranges::any_of(text, [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

std::string lower(std::string text)
{
    std::ranges::transform(text, text.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return text;
}

bool blank(std::string_view text)
{
    return detail::trim(text).empty();
}

std::optional<std::string> value_or_none(std::string_view value)
{
    value = detail::trim(value);
    if (value.empty() || value == "--") {
        return std::nullopt;
    }
    return std::string(value);
}

// nmcli's multi-value lists: "a,b", "a, b" or "a | b".
std::vector<std::string> split_values(std::string_view text)
{
    std::vector<std::string> values;
    std::string current;
    const auto flush = [&] {
        if (auto value = value_or_none(current)) {
            values.push_back(std::move(*value));
        }
        current.clear();
    };
    for (const char c : text) {
        if (c == ',' || c == '|') {
            flush();
        } else {
            current.push_back(c);
        }
    }
    flush();
    return values;
}

std::string join(const std::vector<std::string>& values)
{
    std::string out;
    for (const auto& value : values) {
        out += (out.empty() ? "" : ",") + value;
    }
    return out;
}

// The lines "setting.property:value" of nmcli's terse multi-line output, by property. The value is everything
// after the first ":" (these lines do not escape colons); a later line of the same name wins.
std::map<std::string, std::string, std::less<>> property_lines(std::string_view text)
{
    std::map<std::string, std::string, std::less<>> properties;
    for (const auto line : detail::split_lines(text)) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            continue;
        }
        properties[std::string(line.substr(0, colon))] = std::string(line.substr(colon + 1));
    }
    return properties;
}

// The property of the lines "IP4.ADDRESS[1]:..." "IP4.ADDRESS[2]:...", in order.
std::vector<std::string> indexed_values(std::string_view text, std::string_view property)
{
    std::vector<std::string> values;
    for (const auto line : detail::split_lines(text)) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const auto key = line.substr(0, colon);
        if (key == property || (key.starts_with(property) && key.size() > property.size() &&
                                key[property.size()] == '[')) {
            if (auto value = value_or_none(line.substr(colon + 1))) {
                values.push_back(std::move(*value));
            }
        }
    }
    return values;
}

Connectivity connectivity_of(std::string_view text)
{
    text = detail::trim(text);
    if (text == "none") {
        return Connectivity::Offline;
    }
    if (text == "portal") {
        return Connectivity::SignInRequired;
    }
    if (text == "limited") {
        return Connectivity::Limited;
    }
    if (text == "full") {
        return Connectivity::Connected;
    }
    return Connectivity::NotChecked;
}

std::optional<std::string_view> metered_value(std::uint8_t value)
{
    switch (value) {
    case metered::automatic: return "unknown";
    case metered::yes: return "yes";
    case metered::no: return "no";
    default: return std::nullopt;
    }
}

std::optional<std::string_view> mac_value(std::uint8_t value)
{
    switch (value) {
    case mac_policy::permanent: return "permanent";
    case mac_policy::random: return "random";
    case mac_policy::stable: return "stable";
    default: return std::nullopt;
    }
}

std::string_view eap_name(EapMethod method)
{
    switch (method) {
    case EapMethod::Ttls: return "ttls";
    case EapMethod::Tls: return "tls";
    case EapMethod::Peap: break;
    }
    return "peap";
}

// The UUID in "Connection 'x' (0b5c...-...) successfully added."
std::optional<std::string> added_uuid(std::string_view output)
{
    const auto close = output.rfind(')');
    const auto open = close == std::string_view::npos ? std::string_view::npos : output.rfind('(', close);
    if (open == std::string_view::npos) {
        return std::nullopt;
    }
    std::string uuid(output.substr(open + 1, close - open - 1));
    if (!check_profile_uuid(uuid)) {
        return std::nullopt;
    }
    return uuid;
}

Status check_readable_file(std::string_view path, std::string_view what)
{
    if (blank(path)) {
        return std::unexpected(fmt::format("Choose the {}.", what));
    }
    if (path.front() != '/') {
        return std::unexpected(fmt::format("The {} must be given as an absolute path.", what));
    }
    if (path.find('\0') != std::string_view::npos || has_control(path)) {
        return std::unexpected(fmt::format("The path of the {} contains control characters.", what));
    }
    const std::string file(path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error) || ::access(file.c_str(), R_OK) != 0) {
        return std::unexpected(fmt::format("The {} {} cannot be read.", what, for_message(path)));
    }
    return {};
}

// A value handed to nmcli as a property value: no control characters (they would change the meaning of the
// passwd-file lines or the stored keyfile) and not empty.
Status check_text(std::string_view text, std::string_view what, std::size_t max_bytes = 256)
{
    if (blank(text)) {
        return std::unexpected(fmt::format("Enter the {}.", what));
    }
    if (text.size() > max_bytes) {
        return std::unexpected(fmt::format("The {} must be at most {} bytes long.", what, max_bytes));
    }
    if (has_control(text)) {
        return std::unexpected(fmt::format("The {} must not contain control characters.", what));
    }
    return {};
}

// "setting.property:secret\n" for nmcli's passwd-file, built without leaving copies behind.
std::string secret_line(std::string_view property, std::string_view secret)
{
    std::string line;
    line.reserve(property.size() + secret.size() + 2);
    line.append(property).append(":").append(secret).push_back('\n');
    return line;
}

}  // namespace

std::shared_ptr<ConnectionService> current_connections()
{
    return slot().get();
}

std::shared_ptr<ConnectionService> replace_current(std::shared_ptr<ConnectionService> service)
{
    return slot().replace(std::move(service));
}

Result<Connectivity> get_connectivity()
{
    return current_connections()->get_connectivity();
}
Result<std::string> captive_portal_uri()
{
    return current_connections()->captive_portal_uri();
}
Result<ConnectionDiagnostics> connection_diagnostics()
{
    return current_connections()->connection_diagnostics();
}
Result<std::vector<SavedNetworkProfile>> list_saved_network_profiles()
{
    return current_connections()->list_saved_network_profiles();
}
Result<ConnectionProfileSettings> connection_profile_settings(std::string_view uuid)
{
    return current_connections()->connection_profile_settings(uuid);
}
Status set_network_autoconnect(std::string_view uuid, bool enabled)
{
    return current_connections()->set_network_autoconnect(uuid, enabled);
}
Status forget_network_profile(std::string_view uuid)
{
    return current_connections()->forget_network_profile(uuid);
}
Status configure_ipv4(std::string_view uuid, const Ipv4Request& request)
{
    return current_connections()->configure_ipv4(uuid, request);
}
Status configure_connection_policy_patch(std::string_view uuid, const ConnectionPolicyPatch& patch)
{
    return current_connections()->configure_connection_policy_patch(uuid, patch);
}
Status connect_enterprise_wifi(const EnterpriseWifiRequest& request, std::string_view password)
{
    return current_connections()->connect_enterprise_wifi(request, password);
}
Status configure_hotspot(const HotspotConfiguration& configuration)
{
    return current_connections()->configure_hotspot(configuration);
}
Result<std::vector<HotspotClient>> list_hotspot_clients()
{
    return current_connections()->list_hotspot_clients();
}
Status create_mobile_profile(std::string_view name, std::string_view apn)
{
    return current_connections()->create_mobile_profile(name, apn);
}

// ---- Checks --------------------------------------------------------------------------------------------------------

Status check_profile_uuid(std::string_view uuid)
{
    const bool shaped = !uuid.empty() && uuid.size() <= 64 && uuid.front() != '-' &&
                        std::ranges::all_of(uuid, [](char c) {
                            return c == '-' || std::isxdigit(static_cast<unsigned char>(c)) != 0;
                        });
    if (!shaped) {
        return std::unexpected(fmt::format("\"{}\" is not a connection profile identifier", for_message(uuid)));
    }
    return {};
}

Status check_ipv4_request(const Ipv4Request& request)
{
    const auto check_list = [](const std::vector<std::string>& values, std::string_view what) -> Status {
        if (values.size() > max_ipv4_list_entries) {
            return std::unexpected(
                fmt::format("At most {} {} can be set; {} were given.", max_ipv4_list_entries, what, values.size()));
        }
        for (const auto& value : values) {
            if (blank(value) || has_control(value) || value.find(',') != std::string::npos) {
                return std::unexpected(fmt::format("\"{}\" is not one of the {}.", for_message(value), what));
            }
        }
        return {};
    };
    if (auto ok = check_list(request.addresses, "addresses"); !ok) {
        return ok;
    }
    if (auto ok = check_list(request.dns, "DNS servers"); !ok) {
        return ok;
    }
    if (!request.automatic && request.addresses.empty()) {
        return std::unexpected(std::string("Manual addressing needs at least one address with its prefix length."));
    }
    if (request.gateway && (blank(*request.gateway) || has_control(*request.gateway))) {
        return std::unexpected(std::string("The gateway is not an address."));
    }
    return {};
}

Status check_policy_patch(const ConnectionPolicyPatch& patch)
{
    if (patch.metered && !metered_value(*patch.metered)) {
        return std::unexpected(std::string("The metered choice is not one of Automatic, Metered or Unmetered."));
    }
    if (patch.mac_policy && !mac_value(*patch.mac_policy)) {
        return std::unexpected(std::string("The hardware address choice is not a known policy."));
    }
    if (patch.proxy && patch.proxy->url) {
        const std::string& url = *patch.proxy->url;
        const bool scheme = url.starts_with("http://") || url.starts_with("https://") || url.starts_with("file://");
        if (!scheme || has_control(url) || url.size() > 2048) {
            return std::unexpected(
                std::string("The automatic proxy address must begin with http://, https:// or file://."));
        }
    }
    return {};
}

Status check_enterprise_request(const EnterpriseWifiRequest& request, std::string_view password)
{
    if (request.ssid.empty() || request.ssid.size() > 32 || has_control(request.ssid)) {
        return std::unexpected(std::string("The network name (SSID) must be 1 to 32 bytes long."));
    }
    if (!blank(request.profile_name)) {
        if (auto ok = check_text(request.profile_name, "profile name"); !ok) {
            return ok;
        }
    }
    if (auto ok = check_text(request.identity, "user name or identity"); !ok) {
        return ok;
    }
    if (request.anonymous_identity) {
        if (auto ok = check_text(*request.anonymous_identity, "anonymous identity"); !ok) {
            return ok;
        }
    }
    if (auto ok = check_readable_file(request.ca_certificate, "CA certificate"); !ok) {
        return ok;
    }
    if (request.method == EapMethod::Tls) {
        if (auto ok = check_readable_file(request.client_certificate.value_or(""), "client certificate"); !ok) {
            return ok;
        }
        if (auto ok = check_readable_file(request.private_key.value_or(""), "private key"); !ok) {
            return ok;
        }
    } else {
        if (password.empty()) {
            return std::unexpected(std::string("Enter the password."));
        }
        if (request.phase2 && has_control(*request.phase2)) {
            return std::unexpected(std::string("The inner authentication is not a known method."));
        }
    }
    if (has_control(password)) {
        return std::unexpected(std::string("The password must not contain control characters."));
    }
    return {};
}

Status check_mobile_profile(std::string_view name, std::string_view apn)
{
    if (auto ok = check_text(name, "profile name"); !ok) {
        return ok;
    }
    // An access point name is made of letters, digits, "." and "-" (3GPP TS 23.003), at most 100 bytes.
    const bool valid_apn = apn.size() <= 100 && std::ranges::all_of(apn, [](char c) {
                               return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-';
                           });
    if (!valid_apn) {
        return std::unexpected(
            std::string("The access point name may only use letters, digits, dots and hyphens (at most 100)."));
    }
    return {};
}

ConnectionProfileSettings parse_profile_settings(std::string_view text)
{
    const auto properties = property_lines(text);
    const auto get = [&](std::string_view key) -> std::optional<std::string_view> {
        const auto found = properties.find(key);
        if (found == properties.end()) {
            return std::nullopt;
        }
        return std::string_view(found->second);
    };

    ConnectionProfileSettings settings;
    if (const auto method = get("ipv4.method"); method && (*method == "auto" || *method == "manual")) {
        Ipv4Settings ipv4{.automatic = *method == "auto"};
        ipv4.addresses = split_values(get("ipv4.addresses").value_or(""));
        ipv4.dns = split_values(get("ipv4.dns").value_or(""));
        ipv4.gateway = value_or_none(get("ipv4.gateway").value_or(""));
        settings.ipv4 = std::move(ipv4);
    }
    if (const auto method = get("proxy.method")) {
        ProxySettings proxy;
        if (*method == "auto") {
            proxy.url = value_or_none(get("proxy.pac-url").value_or(""));
        }
        proxy.browser_only = detail::parse_flag(get("proxy.browser-only").value_or("no")).value_or(false) ? 1 : 0;
        settings.proxy = std::move(proxy);
    }
    const auto metered_text = detail::trim(get("connection.metered").value_or(""));
    settings.metered = metered_text == "unknown" ? metered::automatic
                       : metered_text == "yes"   ? metered::yes
                       : metered_text == "no"    ? metered::no
                                                 : unknown_policy;
    const auto type = detail::trim(get("connection.type").value_or(""));
    const auto mac = detail::trim(get(fmt::format("{}.cloned-mac-address", type)).value_or(""));
    settings.mac_policy = mac == "permanent" ? mac_policy::permanent
                          : mac == "random"  ? mac_policy::random
                          : mac == "stable"  ? mac_policy::stable
                                             : unknown_policy;
    return settings;
}

// ---- NmcliConnections ----------------------------------------------------------------------------------------------

NmcliConnections::NmcliConnections(std::shared_ptr<cmd_runner::Runner> runner)
    : NmcliConnections(std::move(runner), {})
{
}

NmcliConnections::NmcliConnections(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)), options_(std::move(options))
{
}

Result<std::string> NmcliConnections::nmcli(std::vector<std::string> args, std::chrono::milliseconds limit)
{
    return detail::run_tool(*runner_, {.program = "nmcli", .args = std::move(args), .time_limit = limit});
}

Status NmcliConnections::activate(const std::string& uuid, std::optional<std::string> secret)
{
    // nmcli gives up a little before the runner would stop it, so that its own message explains the failure.
    const auto wait_seconds =
        std::max<long long>(1, std::chrono::duration_cast<std::chrono::seconds>(options_.activate_limit).count() - 5);
    std::vector<std::string> args = {"-w", std::to_string(wait_seconds), "connection", "up", "uuid", uuid};
    if (secret) {
        args.insert(args.end(), {"passwd-file", "/dev/stdin"});
    }
    detail::ToolCall call{.program = "nmcli", .args = std::move(args), .time_limit = options_.activate_limit};
    call.input = std::move(secret);  // run_tool wipes it once nmcli has ended
    return detail::done(detail::run_tool(*runner_, std::move(call)));
}

Result<std::string> NmcliConnections::add_profile(std::vector<std::string> args)
{
    const auto added = write(std::move(args));
    if (!added) {
        return std::unexpected(added.error());
    }
    auto uuid = added_uuid(*added);
    if (!uuid) {
        return std::unexpected(fmt::format("nmcli did not report the new connection: \"{}\"", for_message(*added)));
    }
    return std::move(*uuid);
}

Result<std::optional<std::string>> NmcliConnections::active_device(std::string_view uuid)
{
    const auto out = read({"-t", "-f", "UUID,DEVICE", "connection", "show", "--active"});
    if (!out) {
        return std::unexpected(out.error());
    }
    for (const auto line : detail::split_lines(*out)) {
        const auto fields = detail::split_terse(line);
        if (fields.size() >= 2 && fields[0] == uuid) {
            return value_or_none(fields[1]);
        }
    }
    return std::optional<std::string>{};
}

Result<std::string> NmcliConnections::profile_type(std::string_view uuid)
{
    const auto out = read({"-g", "connection.type", "connection", "show", "uuid", std::string(uuid)});
    if (!out) {
        return std::unexpected(out.error());
    }
    return std::string(detail::trim(*out));
}

Result<Connectivity> NmcliConnections::get_connectivity()
{
    const auto out = read({"-t", "-f", "CONNECTIVITY", "general"});
    if (!out) {
        return std::unexpected(out.error());
    }
    const auto lines = detail::split_lines(*out);
    return connectivity_of(lines.empty() ? std::string_view{} : lines.front());
}

Result<std::string> NmcliConnections::captive_portal_uri()
{
    const auto out = detail::run_tool(
        *runner_, {.program = "busctl",
                   .args = {"--system", "--json=short", "get-property", "org.freedesktop.NetworkManager",
                            "/org/freedesktop/NetworkManager", "org.freedesktop.NetworkManager",
                            "ConnectivityCheckUri"},
                   .time_limit = options_.read_limit});
    if (!out) {
        return std::unexpected(out.error());
    }
    const auto reply = nlohmann::json::parse(*out, nullptr, false);
    if (reply.is_discarded() || !reply.is_object() || !reply.contains("data") || !reply["data"].is_string()) {
        return std::unexpected(
            fmt::format("NetworkManager answered an unreadable check address \"{}\"", for_message(*out)));
    }
    const auto uri = reply["data"].get<std::string>();
    if (uri.empty()) {
        return std::unexpected(std::string("NetworkManager has no connectivity check address configured"));
    }
    if ((!uri.starts_with("http://") && !uri.starts_with("https://")) || has_control(uri)) {
        return std::unexpected(
            fmt::format("NetworkManager's check address \"{}\" is not a web address", for_message(uri)));
    }
    return uri;
}

Result<ConnectionDiagnostics> NmcliConnections::connection_diagnostics()
{
    const auto general = read({"-t", "-f", "STATE,CONNECTIVITY", "general"});
    if (!general) {
        return std::unexpected(general.error());
    }
    ConnectionDiagnostics result;
    if (const auto lines = detail::split_lines(*general); !lines.empty()) {
        const auto fields = detail::split_terse(lines.front());
        result.manager_state = clean_name(fields[0]);
        if (fields.size() > 1) {
            result.connectivity = connectivity_of(fields[1]);
        }
    }

    const auto devices = read({"-t", "-f", "DEVICE,TYPE,STATE", "device"});
    if (!devices) {
        return std::unexpected(devices.error());
    }
    for (const auto line : detail::split_lines(*devices)) {
        const auto fields = detail::split_terse(line);
        if (fields.size() >= 3 && fields[2] == "connected" && fields[1] != "loopback" && !fields[0].empty()) {
            result.device = clean_name(fields[0]);
            break;
        }
    }
    if (!result.device) {
        result.notes.emplace_back("No network device is connected.");
    } else {
        const auto shown = read({"-t", "-f", "IP4.ADDRESS,IP4.GATEWAY,IP4.DNS", "device", "show", *result.device});
        if (!shown) {
            return std::unexpected(shown.error());
        }
        const auto addresses = indexed_values(*shown, "IP4.ADDRESS");
        if (!addresses.empty()) {
            result.address = clean_name(addresses.front());
        }
        const auto gateways = indexed_values(*shown, "IP4.GATEWAY");
        if (!gateways.empty()) {
            result.gateway = clean_name(gateways.front());
        }
        for (const auto& dns : indexed_values(*shown, "IP4.DNS")) {
            result.dns.push_back(clean_name(dns));
        }
        result.device = clean_name(*result.device);
        if (!result.address) {
            result.notes.emplace_back("The connected device has no IPv4 address.");
        }
        if (!result.gateway) {
            result.notes.emplace_back("There is no default gateway, so traffic cannot leave the local network.");
        }
        if (result.dns.empty()) {
            result.notes.emplace_back("No DNS servers are configured, so names cannot be looked up.");
        }
    }
    if (result.connectivity == Connectivity::SignInRequired) {
        result.notes.emplace_back("The network asks for a sign-in in the browser before it gives internet access.");
    } else if (result.connectivity == Connectivity::Limited) {
        result.notes.emplace_back("The network is connected, but the internet cannot be reached through it.");
    }
    return result;
}

Result<std::vector<SavedNetworkProfile>> NmcliConnections::list_saved_network_profiles()
{
    const auto out = read({"-t", "-f", "NAME,UUID,TYPE,AUTOCONNECT", "connection", "show"});
    if (!out) {
        return std::unexpected(out.error());
    }
    std::vector<SavedNetworkProfile> profiles;
    for (const auto line : detail::split_lines(*out)) {
        const auto fields = detail::split_terse(line);
        if (fields.size() < 4 || !check_profile_uuid(fields[1])) {
            continue;
        }
        profiles.push_back({.name = clean_name(fields[0]),
                            .uuid = fields[1],
                            .connection_type = clean_name(fields[2]),
                            .autoconnect = detail::parse_flag(fields[3]).value_or(false)});
    }
    return profiles;
}

Result<ConnectionProfileSettings> NmcliConnections::connection_profile_settings(std::string_view uuid)
{
    if (auto ok = check_profile_uuid(uuid); !ok) {
        return std::unexpected(ok.error());
    }
    const auto out = read({"-t", "connection", "show", "uuid", std::string(uuid)});
    if (!out) {
        return std::unexpected(out.error());
    }
    return parse_profile_settings(*out);
}

Status NmcliConnections::set_network_autoconnect(std::string_view uuid, bool enabled)
{
    if (auto ok = check_profile_uuid(uuid); !ok) {
        return ok;
    }
    return detail::done(
        write({"connection", "modify", "uuid", std::string(uuid), "connection.autoconnect", enabled ? "yes" : "no"}));
}

Status NmcliConnections::forget_network_profile(std::string_view uuid)
{
    if (auto ok = check_profile_uuid(uuid); !ok) {
        return ok;
    }
    return detail::done(write({"connection", "delete", "uuid", std::string(uuid)}));
}

Status NmcliConnections::configure_ipv4(std::string_view uuid, const Ipv4Request& request)
{
    if (auto ok = check_profile_uuid(uuid); !ok) {
        return ok;
    }
    if (auto ok = check_ipv4_request(request); !ok) {
        return ok;
    }
    const auto modified = write({"connection", "modify", "uuid", std::string(uuid),
                                 "ipv4.method", request.automatic ? "auto" : "manual",
                                 "ipv4.addresses", join(request.addresses),
                                 "ipv4.gateway", request.gateway.value_or(""),
                                 "ipv4.dns", join(request.dns),
                                 // Servers of one's own replace those of the DHCP server, for this profile only.
                                 "ipv4.ignore-auto-dns", request.dns.empty() ? "no" : "yes"});
    if (!modified) {
        return std::unexpected(modified.error());
    }
    const auto device = active_device(uuid);
    if (!device) {
        return std::unexpected(device.error());
    }
    if (!*device) {
        return {};  // used the next time the profile connects
    }
    const auto reapplied = write({"device", "reapply", **device});
    if (!reapplied) {
        return std::unexpected(fmt::format("the settings were saved but could not be applied to {} now: {}",
                                           for_message(**device), reapplied.error()));
    }
    return {};
}

Status NmcliConnections::configure_connection_policy_patch(std::string_view uuid, const ConnectionPolicyPatch& patch)
{
    if (auto ok = check_profile_uuid(uuid); !ok) {
        return ok;
    }
    if (auto ok = check_policy_patch(patch); !ok) {
        return ok;
    }
    if (patch.empty()) {
        return {};
    }
    std::vector<std::string> args = {"connection", "modify", "uuid", std::string(uuid)};
    if (patch.metered) {
        args.insert(args.end(), {"connection.metered", std::string(*metered_value(*patch.metered))});
    }
    if (patch.mac_policy) {
        const auto type = profile_type(uuid);
        if (!type) {
            return std::unexpected(type.error());
        }
        if (*type != wifi_profile_type && *type != ethernet_profile_type) {
            return std::unexpected(std::string("Only Wi-Fi and wired profiles have a hardware address policy."));
        }
        args.insert(args.end(), {*type + ".cloned-mac-address", std::string(*mac_value(*patch.mac_policy))});
    }
    if (patch.proxy) {
        if (patch.proxy->url) {
            args.insert(args.end(), {"proxy.method", "auto", "proxy.pac-url", *patch.proxy->url});
        } else {
            args.insert(args.end(), {"proxy.method", "none", "proxy.pac-url", ""});
        }
        args.insert(args.end(), {"proxy.browser-only", patch.proxy->browser_only != 0 ? "yes" : "no"});
    }
    return detail::done(write(std::move(args)));
}

Status NmcliConnections::connect_enterprise_wifi(const EnterpriseWifiRequest& request, std::string_view password)
{
    if (auto ok = check_enterprise_request(request, password); !ok) {
        return ok;
    }
    const std::string name = blank(request.profile_name) ? request.ssid : request.profile_name;
    std::vector<std::string> add = {"connection", "add", "type", "wifi", "ifname", "*", "con-name", name,
                                    "ssid", request.ssid, "wifi-sec.key-mgmt", "wpa-eap",
                                    "802-1x.eap", std::string(eap_name(request.method)),
                                    "802-1x.identity", request.identity,
                                    "802-1x.ca-cert", request.ca_certificate};
    if (request.anonymous_identity) {
        add.insert(add.end(), {"802-1x.anonymous-identity", *request.anonymous_identity});
    }
    std::string secret_property = "802-1x.password";
    if (request.method == EapMethod::Tls) {
        secret_property = "802-1x.private-key-password";
        add.insert(add.end(), {"802-1x.client-cert", *request.client_certificate, "802-1x.private-key",
                               *request.private_key, "802-1x.private-key-password-flags", "0"});
    } else {
        if (request.phase2 && !blank(*request.phase2)) {
            add.insert(add.end(), {"802-1x.phase2-auth", *request.phase2});
        }
        add.insert(add.end(), {"802-1x.password-flags", "0"});
    }
    const auto uuid = add_profile(std::move(add));
    if (!uuid) {
        return std::unexpected(uuid.error());
    }
    std::optional<std::string> secret;
    if (!password.empty()) {
        secret = secret_line(secret_property, password);
    }
    if (auto activated = activate(*uuid, std::move(secret)); !activated) {
        // A profile that never connected would only get in the way of the next attempt.
        (void)write({"connection", "delete", "uuid", *uuid});
        return activated;
    }
    return {};
}

Status NmcliConnections::configure_hotspot(const HotspotConfiguration& configuration)
{
    if (auto ok = configuration.validate(); !ok) {
        return ok;
    }
    const std::string band_value = configuration.band == band::ghz_2_4 ? "bg"
                                   : configuration.band == band::ghz_5 ? "a"
                                                                       : "";
    const auto profiles = list_saved_network_profiles();
    if (!profiles) {
        return std::unexpected(profiles.error());
    }
    // A profile that keeps a passphrase would be started with the old one: the hotspot profile is made anew.
    for (const auto& profile : *profiles) {
        if (profile.name == hotspot_connection_name && profile.connection_type == wifi_profile_type) {
            if (auto deleted = write({"connection", "delete", "uuid", profile.uuid}); !deleted) {
                return std::unexpected(deleted.error());
            }
        }
    }
    std::vector<std::string> add = {"connection", "add", "type", "wifi", "ifname", "*",
                                    "con-name", std::string(hotspot_connection_name),
                                    "autoconnect", "no", "ssid", configuration.ssid,
                                    "802-11-wireless.mode", "ap", "ipv4.method", "shared",
                                    "wifi-sec.key-mgmt", "wpa-psk", "wifi-sec.psk-flags", "0"};
    if (!band_value.empty()) {
        add.insert(add.end(), {"802-11-wireless.band", band_value});
    }
    const auto uuid = add_profile(std::move(add));
    if (!uuid) {
        return std::unexpected(uuid.error());
    }
    return activate(*uuid, secret_line("802-11-wireless-security.psk", configuration.password.view()));
}

Result<std::vector<HotspotClient>> NmcliConnections::list_hotspot_clients()
{
    const auto active = read({"-t", "-f", "UUID,TYPE,DEVICE", "connection", "show", "--active"});
    if (!active) {
        return std::unexpected(active.error());
    }
    std::optional<std::string> device;
    for (const auto line : detail::split_lines(*active)) {
        const auto fields = detail::split_terse(line);
        if (fields.size() < 3 || fields[1] != wifi_profile_type || !check_profile_uuid(fields[0]) ||
            fields[2].empty()) {
            continue;
        }
        const auto mode = read({"-g", "802-11-wireless.mode", "connection", "show", "uuid", fields[0]});
        if (mode && detail::trim(*mode) == "ap") {
            device = fields[2];
            break;
        }
    }
    std::vector<HotspotClient> clients;
    if (!device || device->find('/') != std::string::npos) {
        return clients;
    }

    // dnsmasq's leases: "<expiry> <mac> <ip> <hostname or *> <client id>".
    std::ifstream leases(options_.leases_dir / ("dnsmasq-" + *device + ".leases"));
    std::string line;
    while (clients.size() < 256 && std::getline(leases, line)) {
        std::vector<std::string> parts;
        std::string part;
        for (const char c : line) {
            if (c == ' ') {
                parts.push_back(std::move(part));
                part.clear();
            } else {
                part.push_back(c);
            }
        }
        parts.push_back(std::move(part));
        if (parts.size() < 4) {
            continue;
        }
        const std::string mac = clean_name(parts[1]);
        const std::string host = parts[3] == "*" ? std::string() : clean_name(parts[3]);
        clients.push_back({.name = host.empty() ? mac : host, .mac = mac});
    }

    // Signal strengths, when the wireless tool is there: "Station aa:bb:.. (on wlan0)" then "\tsignal: -45 dBm".
    const auto stations = detail::run_tool(*runner_, {.program = "iw",
                                                      .args = {"dev", *device, "station", "dump"},
                                                      .time_limit = options_.read_limit});
    if (stations) {
        std::string station;
        for (const auto raw : detail::split_lines(*stations)) {
            const auto text = detail::trim(raw);
            if (text.starts_with("Station ")) {
                station = std::string(text.substr(8, text.find(' ', 8) == std::string_view::npos
                                                         ? std::string_view::npos
                                                         : text.find(' ', 8) - 8));
                station = lower(station);
            } else if (text.starts_with("signal:") && !station.empty()) {
                auto value = detail::trim(text.substr(7));
                value = value.substr(0, value.find_first_of(" ["));
                const auto dbm = detail::parse_int(value);
                for (auto& client : clients) {
                    if (lower(client.mac) == station && dbm) {
                        client.signal_dbm = static_cast<std::int32_t>(*dbm);
                    }
                }
            }
        }
    }
    return clients;
}

Status NmcliConnections::create_mobile_profile(std::string_view name, std::string_view apn)
{
    if (auto ok = check_mobile_profile(name, apn); !ok) {
        return ok;
    }
    std::vector<std::string> add = {"connection", "add", "type", "gsm", "ifname", "*", "con-name", std::string(name)};
    if (!apn.empty()) {
        add.insert(add.end(), {"gsm.apn", std::string(apn)});
    }
    return detail::done(write(std::move(add)));
}

}  // namespace system_ops::network
