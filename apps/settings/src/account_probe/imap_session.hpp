#pragma once
// One IMAP sign-in over implicit TLS, step by step: resolve the host, connect (one budget for all addresses), TLS
// handshake, greeting, LOGIN, LOGOUT. Runs on the calling thread; every wait is bounded by its step's limit and
// looks at the stop token at least every 50 ms.

#include "account_probe/network_probe.hpp"

#include "vorn_net/tls.hpp"

#include <cstdint>
#include <expected>
#include <stop_token>
#include <string>
#include <string_view>

namespace settings::account_probe {

struct ImapSignIn {
    std::string host;  // resolved, shown in "could not reach {host}:{port}: ..."
    std::uint16_t port = 993;
    std::string_view login;
    std::string_view secret;
    const vorn_net::TlsClientConfig* tls = nullptr;
    std::string server_name;  // checked against the server's certificate
};

// "IMAP sign-in succeeded", or the failure sentence of the step that failed.
[[nodiscard]] std::expected<std::string, std::string> probe_imap(const ImapSignIn& sign_in, const ImapLimits& limits,
                                                                 const Resolver& resolve, std::stop_token stop);

}  // namespace settings::account_probe
