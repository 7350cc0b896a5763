#include "account_probe/network_probe.hpp"

#include "account_probe/imap_session.hpp"
#include "account_probe/imap_text.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "dav_client/dav_client.hpp"
#include "text_utf8/text_utf8.hpp"

#include <fmt/format.h>

#include <utility>

namespace settings::account_probe {

namespace {

using Result = std::expected<std::string, std::string>;
using account_registry::Account;
using account_registry::Json;

Result failure(std::string_view sentence) { return std::unexpected(std::string(sentence)); }

const Json* member(const Json& config, std::string_view name)
{
    if (!config.is_object()) {
        return nullptr;
    }
    const auto found = config.find(name);
    return found == config.end() ? nullptr : &*found;
}

const std::string* text_member(const Json& config, std::string_view name)
{
    const Json* value = member(config, name);
    return value != nullptr && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}

Result probe_mail(const Account& account, std::string_view secret, const NetworkProbeOptions& options,
                  std::stop_token stop)
{
    auto roots = vorn_net::system_roots(options.trust);
    if (!roots) {
        return failure("could not load the trusted certificates");
    }
    const std::string* host_text = text_member(account.config, "imap_host");
    // The host is used trimmed: a space copied in with the address must not make it unresolvable.
    const std::string_view host = host_text != nullptr ? text_utf8::trim_white_space(*host_text) : std::string_view{};
    if (host.empty()) {
        return failure("account has no IMAP server");
    }
    std::uint16_t port = 993;
    if (const Json* value = member(account.config, "imap_port"); value != nullptr && value->is_number_integer() &&
                                                                  (value->is_number_unsigned() || *value >= 0) &&
                                                                  value->get<std::uint64_t>() < 65536) {
        port = static_cast<std::uint16_t>(value->get<std::uint64_t>());
    }
    std::string_view login;
    if (const std::string* username = text_member(account.config, "username");
        username != nullptr && !text_utf8::trim_white_space(*username).empty()) {
        login = *username;
    } else if (const std::string* email = text_member(account.config, "email")) {
        login = *email;
    } else {
        return failure("account has no IMAP login name");
    }
    if (secret.empty()) {
        return failure("account has no saved password");
    }
    login = text_utf8::trim_white_space(login);
    if (imap::has_control_characters(login)) {
        return failure("login contains unsupported control characters");
    }
    secret = text_utf8::trim_white_space(secret);
    if (imap::has_control_characters(secret)) {
        return failure("login contains unsupported control characters");
    }
    auto tls = vorn_net::client_config_with_roots(*roots);
    if (!tls) {
        return failure("could not initialize secure protocol versions");
    }
    if (!vorn_net::is_valid_server_name(host)) {
        return failure("invalid IMAP server name");
    }
    const ImapSignIn sign_in{.host = std::string(host),
                             .port = port,
                             .login = login,
                             .secret = secret,
                             .tls = &*tls,
                             .server_name = std::string(host)};
    return probe_imap(sign_in, options.imap, options.resolve, std::move(stop));
}

Result probe_dav(const Account& account, std::string_view secret, const NetworkProbeOptions& options,
                 std::stop_token stop)
{
    const std::string* address = text_member(account.config, account.type_id == "webdav" ? "base_url" : "server_url");
    if (address == nullptr) {
        return failure("account has no server URL");
    }
    auto url = dav_client::parse_server_url(*address);
    if (!url) {
        return failure("account has an invalid server URL");
    }
    if (url->scheme != "https") {
        return failure("refusing to send a credential without HTTPS");
    }
    if (url->has_credentials) {
        return failure("server URL must not contain credentials");
    }
    const std::string* username = text_member(account.config, "username");
    if (username == nullptr) {
        return failure("account has no username");
    }
    auto http = dav_client::build_http_client({.timeout = options.dav.request,
                                               .connect_timeout = options.dav.connect,
                                               .no_redirect = true,
                                               .max_response_bytes = options.dav.max_response_bytes,
                                               .trust = options.trust});
    if (!http) {
        return failure("could not initialize the secure HTTP client");
    }
    const dav_client::DavClient client(std::move(*http), *username, secret);
    const dav_client::Property resource_type{"DAV:", "resourcetype"};
    auto response = dav_client::propfind(client, url->url, dav_client::Depth::Zero, {&resource_type, 1}, stop);
    if (!response) {
        if (stop.stop_requested()) {
            return failure(accounts::AccountProbe::cancelled_message);
        }
        // The transport's text may quote the server (a certificate's name): cleaned like any text from outside.
        return failure("connection failed: " +
                       cmd_runner::clean_text(response.error().text(), {.max_bytes = 512, .trim = true}));
    }
    if (response->status >= 200 && response->status <= 299) {
        return std::string("Server accepted the signed-in DAV request");
    }
    if (response->status == 401) {
        return failure("server rejected the saved credential");
    }
    return failure(fmt::format("server returned HTTP {}", response->status));
}

}  // namespace

NetworkAccountProbe::NetworkAccountProbe(NetworkProbeOptions options) : options_(std::move(options)) {}

std::expected<std::string, std::string> NetworkAccountProbe::probe(const Account& account,
                                                                   std::string_view secret) const
{
    return probe_cancellable(account, secret, {});
}

std::expected<std::string, std::string> NetworkAccountProbe::probe_cancellable(const Account& account,
                                                                               std::string_view secret,
                                                                               std::stop_token stop) const
{
    if (account.type_id == "email") {
        return probe_mail(account, secret, options_, std::move(stop));
    }
    if (account.type_id == "caldav" || account.type_id == "webdav" || account.type_id == "nextcloud") {
        return probe_dav(account, secret, options_, std::move(stop));
    }
    return failure("unsupported account type");
}

std::shared_ptr<const accounts::AccountProbe> default_account_probe()
{
    return std::make_shared<NetworkAccountProbe>();
}

}  // namespace settings::account_probe
