#pragma once
// The account connection check over the network: an IMAP sign-in over implicit TLS for mail accounts, one
// authenticated WebDAV PROPFIND for CalDAV, WebDAV and Nextcloud accounts. Each check reports one sentence:
//
//   "IMAP sign-in succeeded", "IMAP server rejected the saved credential", "could not reach mail.example.org:993:
//   Connection refused", "Server accepted the signed-in DAV request", "server returned HTTP 403", ...
//
// A check blocks its thread for at most its step limits (8 s each; the connection attempts to all addresses of a
// host share one 8 s budget), and ends within a fraction of a second with "connection check cancelled" once its
// stop token is stopped. The credential is only read: it goes onto the TLS stream (inside the LOGIN command or the
// Authorization header, both built in locked memory) and into no log line or sentence. Server lines and bodies are
// read up to a cap, so a hostile server cannot make a check read without end.
//
// The probe keeps no state between checks; one shared instance serves every caller, and checks may run at once on
// different threads.

#include "accounts/probe.hpp"

#include "vorn_net/tls.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace settings::account_probe {

// The IP addresses of a host (texts such as "192.0.2.1" or "2001:db8::1"), in the order to try them, or an error
// text. Called on a thread of its own: a resolution that overruns its limit is left to finish there.
using Resolver = std::function<std::expected<std::vector<std::string>, std::string>(const std::string& host,
                                                                                     std::uint16_t port)>;

// The system's resolver (getaddrinfo).
[[nodiscard]] std::expected<std::vector<std::string>, std::string> system_resolve(const std::string& host,
                                                                                  std::uint16_t port);

struct ImapLimits {
    std::chrono::milliseconds resolve{std::chrono::seconds(8)};
    std::chrono::milliseconds connect_budget{std::chrono::seconds(8)};  // shared by all addresses
    std::chrono::milliseconds step{std::chrono::seconds(8)};            // TLS, greeting, LOGIN, LOGOUT each
    std::size_t max_line_bytes = std::size_t{64} << 10;
    std::size_t max_received_bytes = std::size_t{1} << 20;  // everything the server sends in one check
};

struct DavLimits {
    std::chrono::milliseconds request{std::chrono::seconds(8)};
    std::chrono::milliseconds connect{std::chrono::seconds(8)};
    std::size_t max_response_bytes = std::size_t{1} << 20;
};

struct NetworkProbeOptions {
    vorn_net::TrustOptions trust;  // a test's CA beside the system's roots
    ImapLimits imap;
    DavLimits dav;
    Resolver resolve;  // none: system_resolve
};

class NetworkAccountProbe final : public accounts::AccountProbe {
public:
    NetworkAccountProbe() = default;
    explicit NetworkAccountProbe(NetworkProbeOptions options);

    [[nodiscard]] std::expected<std::string, std::string> probe(const account_registry::Account& account,
                                                                std::string_view secret) const override;
    [[nodiscard]] std::expected<std::string, std::string> probe_cancellable(
        const account_registry::Account& account, std::string_view secret, std::stop_token stop) const override;

private:
    NetworkProbeOptions options_;
};

// The one probe the application shares with its pages.
[[nodiscard]] std::shared_ptr<const accounts::AccountProbe> default_account_probe();

}  // namespace settings::account_probe
