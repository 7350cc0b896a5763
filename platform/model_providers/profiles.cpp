// The provider records: defaults, labels, lookups and the validation of a configuration.
#include "model_providers/model_providers.hpp"

#include <curl/curl.h>
#include <fmt/format.h>
#include <uuid/uuid.h>

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <memory>
#include <set>

namespace model_providers {
namespace {

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view space = " \t\r\n\f\v";
    const auto first = text.find_first_not_of(space);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::string new_uuid()
{
    uuid_t raw;
    uuid_generate_random(raw);
    std::array<char, 37> text{};
    uuid_unparse_lower(raw, text.data());
    return text.data();
}

// The parts of an endpoint address that the checks look at.
struct Endpoint {
    std::string scheme;
    std::string host;
    bool has_credentials = false;
};

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

std::optional<std::string> url_part(CURLU* url, CURLUPart part)
{
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, 0) != CURLUE_OK || raw == nullptr) {
        return std::nullopt;
    }
    std::unique_ptr<char, CurlTextDeleter> owned(raw);
    return std::string(raw);
}

std::expected<Endpoint, std::string> parse_endpoint(const std::string& text)
{
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url) {
        return std::unexpected("out of memory");
    }
    if (const CURLUcode rc = curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0); rc != CURLUE_OK) {
        return std::unexpected(curl_url_strerror(rc));
    }
    Endpoint endpoint;
    endpoint.scheme = url_part(url.get(), CURLUPART_SCHEME).value_or("");
    endpoint.host = url_part(url.get(), CURLUPART_HOST).value_or("");
    endpoint.has_credentials =
        url_part(url.get(), CURLUPART_USER).has_value() || url_part(url.get(), CURLUPART_PASSWORD).has_value();
    std::transform(endpoint.scheme.begin(), endpoint.scheme.end(), endpoint.scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return endpoint;
}

bool is_loopback_host(std::string_view host)
{
    return host == "127.0.0.1" || host == "[::1]" || host == "localhost";
}

// Hosts where plain http is acceptable: this device and the private network (private and link-local addresses,
// single-label names and the names reserved for home and local networks).
bool is_local_network_host(std::string_view host)
{
    if (is_loopback_host(host)) {
        return true;
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        const std::string text(host.substr(1, host.size() - 2));
        std::array<unsigned char, 16> v6{};
        if (::inet_pton(AF_INET6, text.c_str(), v6.data()) != 1) {
            return false;
        }
        const bool unique_local = (v6[0] & 0xfe) == 0xfc;                 // fc00::/7
        const bool link_local = v6[0] == 0xfe && (v6[1] & 0xc0) == 0x80;  // fe80::/10
        return unique_local || link_local;
    }
    const std::string text(host);
    std::array<unsigned char, 4> v4{};
    if (::inet_pton(AF_INET, text.c_str(), v4.data()) == 1) {
        return v4[0] == 10 || v4[0] == 127 || (v4[0] == 172 && (v4[1] & 0xf0) == 16) ||
               (v4[0] == 192 && v4[1] == 168) || (v4[0] == 169 && v4[1] == 254);
    }
    if (host.find('.') == std::string_view::npos) {
        return !host.empty();
    }
    for (const std::string_view suffix : {".local", ".lan", ".home.arpa", ".internal"}) {
        if (host.ends_with(suffix)) {
            return true;
        }
    }
    return false;
}

void check_endpoint(const ProviderProfile& profile, const std::string& name, std::vector<std::string>& errors)
{
    if (trimmed(profile.endpoint).empty()) {
        errors.push_back(fmt::format("{} has no endpoint address", name));
        return;
    }
    const auto endpoint = parse_endpoint(profile.endpoint);
    if (!endpoint) {
        errors.push_back(
            fmt::format("{}: \"{}\" is not a valid endpoint address ({})", name, profile.endpoint, endpoint.error()));
        return;
    }
    if (endpoint->has_credentials) {
        errors.push_back(fmt::format(
            "{}: the endpoint address must not contain a user name or password; store the API key instead", name));
    }
    const bool web = endpoint->scheme == "https" || endpoint->scheme == "http";
    switch (profile.kind) {
        case ProviderKind::Hosted:
            // A compatible API added on this page may well be a server of the user's own network.
            if (endpoint->scheme != "https" && !(endpoint->scheme == "http" && is_local_network_host(endpoint->host))) {
                errors.push_back(fmt::format(
                    "{}: the endpoint must use https (plain http only on this device or the private network)", name));
            }
            break;
        case ProviderKind::PrivateNetwork:
            if (!web) {
                errors.push_back(fmt::format("{}: the endpoint must use http or https", name));
            }
            break;
        case ProviderKind::ThisDevice:
            if (!web || !is_loopback_host(endpoint->host)) {
                errors.push_back(fmt::format("{}: a local provider's endpoint must be on this device", name));
            }
            break;
    }
}

}  // namespace

std::string_view protocol_id(ProviderProtocol protocol)
{
    return protocol == ProviderProtocol::Anthropic ? "anthropic" : "openai-compatible";
}

std::optional<ProviderProtocol> protocol_from_id(std::string_view id)
{
    if (id == "anthropic") {
        return ProviderProtocol::Anthropic;
    }
    if (id == "openai-compatible") {
        return ProviderProtocol::OpenAiCompatible;
    }
    return std::nullopt;
}

std::string_view kind_id(ProviderKind kind)
{
    switch (kind) {
        case ProviderKind::ThisDevice: return "this-device";
        case ProviderKind::PrivateNetwork: return "private-network";
        case ProviderKind::Hosted: break;
    }
    return "hosted";
}

ProviderProfile ProviderProfile::hosted(ProviderProtocol protocol)
{
    ProviderProfile profile;
    profile.id = fmt::format("{}-{}", protocol_id(protocol), new_uuid());
    profile.protocol = protocol;
    profile.kind = ProviderKind::Hosted;
    profile.enabled = true;
    if (protocol == ProviderProtocol::Anthropic) {
        profile.label = "Anthropic";
        profile.endpoint = "https://api.anthropic.com/v1";
    } else {
        profile.label = "Compatible API";
    }
    return profile;
}

ProviderProfile ProviderProfile::local_vllm()
{
    ProviderProfile profile;
    profile.id = "local-vllm";
    profile.label = "Local models";
    profile.endpoint = "http://127.0.0.1:8000/v1";
    profile.protocol = ProviderProtocol::OpenAiCompatible;
    profile.enabled = false;
    profile.kind = ProviderKind::ThisDevice;
    return profile;
}

std::string ProviderProfile::display_label() const
{
    if (const auto name = trimmed(label); !name.empty()) {
        return std::string(name);
    }
    if (!trimmed(endpoint).empty()) {
        if (const auto parsed = parse_endpoint(endpoint); parsed && !parsed->host.empty()) {
            return parsed->host;
        }
    }
    return "Unnamed provider";
}

bool ProviderProfile::is_local_vllm_candidate() const
{
    return kind == ProviderKind::ThisDevice && protocol == ProviderProtocol::OpenAiCompatible;
}

bool ProviderProfile::can_be_default() const { return enabled && default_model.has_value(); }

const ModelDescriptor* ProviderProfile::find_model(std::string_view model_id) const
{
    const auto it = std::find_if(models.begin(), models.end(), [&](const auto& m) { return m.id == model_id; });
    return it == models.end() ? nullptr : &*it;
}

void ProviderProfile::select_model(std::string_view model_id)
{
    if (find_model(model_id) == nullptr) {
        models.push_back(ModelDescriptor{.id = std::string(model_id), .name = std::string(model_id)});
    }
    default_model = std::string(model_id);
}

ProviderProfile* ProviderConfig::find(std::string_view id)
{
    const auto it = std::find_if(profiles.begin(), profiles.end(), [&](const auto& p) { return p.id == id; });
    return it == profiles.end() ? nullptr : &*it;
}

const ProviderProfile* ProviderConfig::find(std::string_view id) const
{
    return const_cast<ProviderConfig*>(this)->find(id);
}

const ProviderProfile* ProviderConfig::default_profile() const
{
    return default_provider ? find(*default_provider) : nullptr;
}

void ProviderConfig::upsert(ProviderProfile profile)
{
    if (ProviderProfile* existing = find(profile.id)) {
        *existing = std::move(profile);
    } else {
        profiles.push_back(std::move(profile));
    }
}

bool ProviderConfig::remove(std::string_view id)
{
    const auto it = std::find_if(profiles.begin(), profiles.end(), [&](const auto& p) { return p.id == id; });
    if (it == profiles.end()) {
        return false;
    }
    profiles.erase(it);
    if (default_provider == id) {
        default_provider.reset();
    }
    return true;
}

std::vector<std::string> ProviderConfig::validation_errors() const
{
    std::vector<std::string> errors;
    if (load_error) {
        errors.push_back(*load_error);
    }
    std::set<std::string_view> seen;
    std::set<std::string_view> repeated;
    for (const ProviderProfile& profile : profiles) {
        const std::string name = profile.display_label();
        if (profile.id.empty()) {
            errors.push_back(fmt::format("{} has no id and cannot be used", name));
        } else if (!seen.insert(profile.id).second && repeated.insert(profile.id).second) {
            errors.push_back(fmt::format("provider id \"{}\" is used by more than one provider", profile.id));
        }
        if (trimmed(profile.label).empty()) {
            errors.push_back(fmt::format("provider \"{}\" has no name", profile.id));
        }
        check_endpoint(profile, name, errors);
        if (profile.default_model && profile.find_model(*profile.default_model) == nullptr) {
            errors.push_back(
                fmt::format("{}: the default model \"{}\" is not in its model list", name, *profile.default_model));
        }
    }
    if (default_provider) {
        const ProviderProfile* chosen = find(*default_provider);
        if (chosen == nullptr) {
            errors.push_back(fmt::format("the default provider \"{}\" is not configured", *default_provider));
        } else if (!chosen->enabled) {
            errors.push_back(fmt::format("the default provider {} is disabled", chosen->display_label()));
        } else if (!chosen->default_model) {
            errors.push_back(fmt::format("the default provider {} has no default model", chosen->display_label()));
        }
    }
    return errors;
}

}  // namespace model_providers
