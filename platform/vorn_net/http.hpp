#pragma once
// The blocking HTTPS client: one request at a time on the calling thread, over HTTPS only, with the system's trust
// roots, fixed time limits and a cap on the response body.
//
//   auto client = vorn_net::http::blocking_client()
//                     .timeout(std::chrono::seconds(8))
//                     .connect_timeout(std::chrono::seconds(8))
//                     .no_redirects()
//                     .build();
//   auto response = client->send({.method = "PROPFIND", .url = url, .headers = {{"Depth", "0"}},
//                                 .basic_auth = vorn_net::http::BasicAuth{user, password}, .body = body});
//
// A credential given as basic_auth travels only in the Authorization header, which is built in a locked buffer;
// libcurl's own copies of requests live in memory that is wiped when libcurl frees it. Nothing here logs.
// A request ends early, as ErrorKind::Cancelled, soon after its stop token is stopped (libcurl looks at it at least
// once a second).

#include "vorn_net/tls.hpp"

#include <chrono>
#include <cstddef>
#include <expected>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace vorn_net::http {

struct Header {
    std::string name;
    std::string value;
};

// HTTP Basic authentication (RFC 7617): "Authorization: Basic base64(user ":" password)".
struct BasicAuth {
    std::string_view user;
    std::string_view password;
};

struct Request {
    std::string_view method;  // a token, "GET", "PROPFIND", ...
    std::string_view url;     // an absolute https URL
    std::vector<Header> headers;
    std::optional<BasicAuth> basic_auth;
    std::string_view body;
    std::stop_token stop;
};

struct Response {
    long status = 0;
    std::string body;
};

enum class ErrorKind : std::uint8_t {
    Transport,  // no answer: name, connection, TLS, time limit, protocol (the text says which)
    TooLarge,   // the body passed the client's cap
    Cancelled,  // the stop token was stopped
};

struct Error {
    ErrorKind kind = ErrorKind::Transport;
    std::string text;
};

struct ClientSettings {
    std::chrono::milliseconds timeout{std::chrono::seconds(30)};
    std::optional<std::chrono::milliseconds> connect_timeout;
    std::optional<std::string> user_agent;  // none: no User-Agent header
    bool follow_redirects = true;           // at most 10, and only to https
    std::size_t max_body_bytes = std::size_t{4} << 20;
    TrustOptions trust;
};

class Client {
public:
    [[nodiscard]] std::expected<Response, Error> send(const Request& request) const;
    [[nodiscard]] const ClientSettings& settings() const { return settings_; }

private:
    friend class ClientBuilder;
    Client(ClientSettings settings, TrustRoots roots) : settings_(std::move(settings)), roots_(std::move(roots)) {}

    ClientSettings settings_;
    TrustRoots roots_;
};

class ClientBuilder {
public:
    [[nodiscard]] ClientBuilder timeout(std::chrono::milliseconds limit) &&;
    [[nodiscard]] ClientBuilder connect_timeout(std::chrono::milliseconds limit) &&;
    [[nodiscard]] ClientBuilder user_agent(std::string agent) &&;
    // A 3xx answer is returned as it is.
    [[nodiscard]] ClientBuilder no_redirects() &&;
    [[nodiscard]] ClientBuilder max_body_bytes(std::size_t bytes) &&;
    [[nodiscard]] ClientBuilder trust(TrustOptions options) &&;
    // Loads the trust roots; fails when they (or libcurl) cannot be set up.
    [[nodiscard]] std::expected<Client, std::string> build() &&;

private:
    ClientSettings settings_;
};

// A builder preset with the system's trust settings.
[[nodiscard]] ClientBuilder blocking_client();

}  // namespace vorn_net::http
