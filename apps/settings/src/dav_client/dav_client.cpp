#include "dav_client/dav_client.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace settings::dav_client {

namespace {

constexpr std::string_view dav_namespace = "DAV:";

bool is_token_char(char c)
{
    constexpr std::string_view extra = "!#$%&'*+-.^_`|~";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           extra.find(c) != std::string_view::npos;
}

}  // namespace

DavError DavError::response(ResponseKind kind)
{
    DavError error(Kind::Response, {});
    error.response_kind_ = kind;
    return error;
}

std::string DavError::text() const
{
    if (kind_ == Kind::TooLarge) {
        return "DAV response exceeds the size limit";
    }
    if (kind_ != Kind::Response) {
        return text_;
    }
    switch (*response_kind_) {
    case ResponseKind::TooLarge: return "DAV response exceeds the size limit";
    case ResponseKind::NotUtf8: return "DAV response is not UTF-8";
    case ResponseKind::Dtd: return "DAV response carries a DTD";
    case ResponseKind::TooManyNodes: return "DAV response has too many XML nodes";
    case ResponseKind::TooDeep: return "DAV response nests too deeply";
    case ResponseKind::TooManyResources: return "DAV response lists too many resources";
    case ResponseKind::InvalidHref: return "DAV response contains an invalid resource href";
    case ResponseKind::NotMultistatus: return "DAV response is not a multistatus document";
    case ResponseKind::MalformedXml: return "DAV response is malformed XML";
    }
    return {};
}

std::expected<HttpClient, DavError> build_http_client(const DavClientConfig& config)
{
    auto builder = vorn_net::http::blocking_client()
                       .timeout(config.timeout)
                       .max_body_bytes(config.max_response_bytes)
                       .trust(config.trust);
    if (config.connect_timeout) {
        builder = std::move(builder).connect_timeout(*config.connect_timeout);
    }
    if (config.user_agent) {
        builder = std::move(builder).user_agent(*config.user_agent);
    }
    if (config.no_redirect) {
        builder = std::move(builder).no_redirects();
    }
    auto client = std::move(builder).build();
    if (!client) {
        return std::unexpected(DavError::http(std::move(client.error())));
    }
    return std::make_shared<const vorn_net::http::Client>(std::move(*client));
}

DavClient::DavClient(HttpClient http, std::string username, std::string_view password)
    : http_(std::move(http)),
      credentials_(std::make_shared<const Credentials>(
          Credentials{std::move(username), vorn_net::SecureBuffer::copy_of(password)}))
{
}

std::string_view depth_text(Depth depth)
{
    switch (depth) {
    case Depth::Zero: return "0";
    case Depth::One: return "1";
    case Depth::Infinity: return "infinity";
    }
    return "0";
}

std::string register_namespace(NamespaceRegistry& registry, std::string_view namespace_uri)
{
    const auto known = std::ranges::find(registry, namespace_uri, &NamespaceRegistry::value_type::first);
    if (known != registry.end()) {
        return known->second;
    }
    std::string prefix;
    if (namespace_uri == dav_namespace) {
        prefix = "D";
    } else if (namespace_uri == "urn:ietf:params:xml:ns:caldav") {
        prefix = "C";
    } else if (namespace_uri == "urn:ietf:params:xml:ns:carddav") {
        prefix = "CR";
    } else {
        prefix = "x" + std::to_string(registry.size());
    }
    registry.emplace_back(std::string(namespace_uri), prefix);
    return prefix;
}

std::string write_xmlns(const NamespaceRegistry& registry)
{
    std::string out;
    for (const auto& [uri, prefix] : registry) {
        out += " xmlns:" + prefix + "=\"" + xml_escape(uri) + "\"";
    }
    return out;
}

std::string write_prop(NamespaceRegistry& registry, std::span<const Property> properties)
{
    std::string out = "<D:prop>";
    for (const auto& property : properties) {
        out += "<" + register_namespace(registry, property.namespace_uri) + ":" + property.name + "/>";
    }
    out += "</D:prop>";
    return out;
}

std::string xml_escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string propfind_body(std::span<const Property> properties)
{
    NamespaceRegistry registry;
    register_namespace(registry, dav_namespace);
    for (const auto& property : properties) {
        register_namespace(registry, property.namespace_uri);
    }
    const std::string prop = write_prop(registry, properties);
    return R"(<?xml version="1.0" encoding="utf-8"?>)" "<D:propfind" + write_xmlns(registry) + ">" + prop +
           "</D:propfind>";
}

std::expected<std::string, DavError> method(std::string_view name)
{
    if (name.empty() || !std::ranges::all_of(name, is_token_char)) {
        return std::unexpected(DavError::http("invalid HTTP method"));
    }
    return std::string(name);
}

std::expected<vorn_net::http::Response, DavError> send(const DavClient& client, vorn_net::http::Request request)
{
    request.basic_auth = vorn_net::http::BasicAuth{client.username(), client.password()};
    auto response = client.http().send(request);
    if (!response) {
        if (response.error().kind == vorn_net::http::ErrorKind::TooLarge) {
            return std::unexpected(DavError::too_large());
        }
        return std::unexpected(DavError::http(std::move(response.error().text)));
    }
    return std::move(*response);
}

std::expected<vorn_net::http::Response, DavError> propfind(const DavClient& client, std::string_view url,
                                                           Depth depth, std::span<const Property> properties,
                                                           std::stop_token stop)
{
    auto name = method("PROPFIND");
    if (!name) {
        return std::unexpected(std::move(name.error()));
    }
    const std::string body = propfind_body(properties);
    return send(client, vorn_net::http::Request{
                            .method = *name,
                            .url = url,
                            .headers = {{"Depth", std::string(depth_text(depth))},
                                        {"Content-Type", "application/xml; charset=utf-8"}},
                            .body = body,
                            .stop = std::move(stop),
                        });
}

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

struct CurlText {
    char* text = nullptr;
    CurlText() = default;
    CurlText(const CurlText&) = delete;
    CurlText& operator=(const CurlText&) = delete;
    ~CurlText() { curl_free(text); }
};

// A part of the URL, or none when it is absent.
std::optional<std::string> url_part(CURLU* url, CURLUPart part)
{
    CurlText part_text;
    if (curl_url_get(url, part, &part_text.text, 0) != CURLUE_OK || part_text.text == nullptr) {
        return std::nullopt;
    }
    return std::string(part_text.text);
}

// Whether the URL has a non-empty part, without copying it (it may be a password).
bool has_part(CURLU* url, CURLUPart part)
{
    CurlText part_text;
    return curl_url_get(url, part, &part_text.text, 0) == CURLUE_OK && part_text.text != nullptr &&
           part_text.text[0] != '\0';
}

bool is_space_or_control(char c) { return static_cast<unsigned char>(c) <= 0x20; }

}  // namespace

std::expected<ServerUrl, std::string> parse_server_url(std::string_view text)
{
    while (!text.empty() && is_space_or_control(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_space_or_control(text.back())) {
        text.remove_suffix(1);
    }
    const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url) {
        return std::unexpected("could not parse the address");
    }
    const std::string input(text);
    if (const CURLUcode code = curl_url_set(url.get(), CURLUPART_URL, input.c_str(), CURLU_NON_SUPPORT_SCHEME);
        code != CURLUE_OK) {
        return std::unexpected(curl_url_strerror(code));
    }
    auto host = url_part(url.get(), CURLUPART_HOST);
    auto scheme = url_part(url.get(), CURLUPART_SCHEME);
    if (!host || host->empty() || !scheme) {
        return std::unexpected("the address names no server");
    }
    std::ranges::transform(*scheme, scheme->begin(),
                           [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    ServerUrl parsed{.scheme = std::move(*scheme),
                     .has_credentials = has_part(url.get(), CURLUPART_USER) ||
                                        has_part(url.get(), CURLUPART_PASSWORD)};
    if (!parsed.has_credentials) {
        auto whole = url_part(url.get(), CURLUPART_URL);
        if (!whole) {
            return std::unexpected("could not parse the address");
        }
        parsed.url = std::move(*whole);
    }
    return parsed;
}

}  // namespace settings::dav_client
