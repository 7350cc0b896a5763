#pragma once
// The program's small WebDAV request library: a blocking HTTPS client with fixed time limits, a client handle that
// carries the credentials, and PROPFIND requests with their XML bodies.
//
//   auto http = dav_client::build_http_client({.timeout = 8s, .connect_timeout = 8s, .no_redirect = true});
//   dav_client::DavClient client(*http, "alice", secret);
//   auto response = dav_client::propfind(client, url, dav_client::Depth::Zero, {{"DAV:", "resourcetype"}});
//   // response->status: 207 when the server accepted the request
//
// Copies of a DavClient share one HTTP client and one set of credentials; the password lives in locked memory and
// is wiped when the last copy goes.

#include "vorn_net/http.hpp"
#include "vorn_net/secure_buffer.hpp"

#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace settings::dav_client {

struct DavClientConfig {
    std::chrono::milliseconds timeout{std::chrono::seconds(30)};  // the whole request
    std::optional<std::chrono::milliseconds> connect_timeout;
    std::optional<std::string> user_agent;
    bool no_redirect = false;  // a 3xx answer is returned as it is
    std::size_t max_response_bytes = std::size_t{4} << 20;
    vorn_net::TrustOptions trust;
};

class DavError {
public:
    enum class Kind : std::uint8_t { Http, Io, TooLarge, Response };
    // What is wrong with a response document.
    enum class ResponseKind : std::uint8_t {
        TooLarge,
        NotUtf8,
        Dtd,
        TooManyNodes,
        TooDeep,
        TooManyResources,
        InvalidHref,
        NotMultistatus,
        MalformedXml,
    };

    [[nodiscard]] static DavError http(std::string text) { return {Kind::Http, std::move(text)}; }
    [[nodiscard]] static DavError io(std::string text) { return {Kind::Io, std::move(text)}; }
    [[nodiscard]] static DavError too_large() { return {Kind::TooLarge, {}}; }
    [[nodiscard]] static DavError response(ResponseKind kind);

    [[nodiscard]] Kind kind() const { return kind_; }
    [[nodiscard]] std::optional<ResponseKind> response_kind() const { return response_kind_; }
    // Http and Io: the underlying error's text; TooLarge and Response: a fixed sentence
    // ("DAV response exceeds the size limit", "DAV response is malformed XML", ...).
    [[nodiscard]] std::string text() const;

private:
    DavError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

    Kind kind_;
    std::string text_;
    std::optional<ResponseKind> response_kind_;
};

using HttpClient = std::shared_ptr<const vorn_net::http::Client>;

[[nodiscard]] std::expected<HttpClient, DavError> build_http_client(const DavClientConfig& config);

class DavClient {
public:
    // Shares `http`; keeps its own copy of the password.
    DavClient(HttpClient http, std::string username, std::string_view password);

    [[nodiscard]] const vorn_net::http::Client& http() const { return *http_; }
    [[nodiscard]] std::string_view username() const { return credentials_->username; }
    [[nodiscard]] std::string_view password() const { return credentials_->password.view(); }

private:
    struct Credentials {
        std::string username;
        vorn_net::SecureBuffer password;
    };
    HttpClient http_;
    std::shared_ptr<const Credentials> credentials_;
};

enum class Depth : std::uint8_t { Zero, One, Infinity };

// "0", "1", "infinity".
[[nodiscard]] std::string_view depth_text(Depth depth);

// A requested property: its namespace URI and local name.
struct Property {
    std::string namespace_uri;
    std::string name;
};

// The namespaces of one request body and their prefixes, in the order they were registered.
using NamespaceRegistry = std::vector<std::pair<std::string, std::string>>;

// The prefix of `namespace_uri`, registering it when new: "DAV:" is "D", the CalDAV namespace "C", the CardDAV
// namespace "CR", any other "x" followed by the number of namespaces registered before it.
std::string register_namespace(NamespaceRegistry& registry, std::string_view namespace_uri);
// ` xmlns:{prefix}="{escaped uri}"` for every registered namespace.
[[nodiscard]] std::string write_xmlns(const NamespaceRegistry& registry);
// "<D:prop>" with one empty element per property, "</D:prop>"; registers the properties' namespaces.
[[nodiscard]] std::string write_prop(NamespaceRegistry& registry, std::span<const Property> properties);
// The five predefined XML entities in place of & < > " '.
[[nodiscard]] std::string xml_escape(std::string_view text);
// The whole PROPFIND request body, on one line.
[[nodiscard]] std::string propfind_body(std::span<const Property> properties);

// An HTTP method name (a token); a DavError when it is not one.
[[nodiscard]] std::expected<std::string, DavError> method(std::string_view name);

// Sends a built request with the client's credentials; a transport failure is DavError::Http, a body beyond the
// client's cap DavError::TooLarge.
[[nodiscard]] std::expected<vorn_net::http::Response, DavError> send(const DavClient& client,
                                                                     vorn_net::http::Request request);

// PROPFIND `url` with Basic authentication, the Depth header, "Content-Type: application/xml; charset=utf-8" and
// the body for `properties`. The response comes back as received, whatever its status.
[[nodiscard]] std::expected<vorn_net::http::Response, DavError> propfind(const DavClient& client,
                                                                         std::string_view url, Depth depth,
                                                                         std::span<const Property> properties,
                                                                         std::stop_token stop = {});

// A server address as the DAV requests use it, read with libcurl's URL parser.
struct ServerUrl {
    std::string url;               // the normalised address; empty when it carries credentials
    std::string scheme;            // lower case
    bool has_credentials = false;  // a user name or a password inside the address (never copied out)
};

// Leading and trailing spaces and control characters are ignored; a missing scheme or host is an error.
[[nodiscard]] std::expected<ServerUrl, std::string> parse_server_url(std::string_view text);

}  // namespace settings::dav_client
