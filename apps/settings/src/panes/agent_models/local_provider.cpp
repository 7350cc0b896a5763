#include "panes/agent_models/local_provider.hpp"

#include "vorn_log/log.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <string>

namespace settings::panes::agent_models {

namespace lm = system_ops::local_models;
using model_providers::ProviderProfile;

namespace {

struct Url {
    explicit Url(const std::string& text) : handle(curl_url())
    {
        valid = handle && curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), 0) == CURLUE_OK;
    }

    // The part, or none when the address has none.
    std::optional<std::string> part(CURLUPart which) const
    {
        char* raw = nullptr;
        if (curl_url_get(handle.get(), which, &raw, 0) != CURLUE_OK || raw == nullptr) {
            return std::nullopt;
        }
        std::string text(raw);
        curl_free(raw);
        return text;
    }

    struct Free {
        void operator()(CURLU* url) const { curl_url_cleanup(url); }
    };
    std::unique_ptr<CURLU, Free> handle;
    bool valid = false;
};

const lm::InstalledLocalModel* served_model(const std::vector<lm::InstalledLocalModel>& models)
{
    for (const auto& model : models) {
        const auto* ready = std::get_if<lm::Ready>(&model.phase);
        if (ready != nullptr && ready->running && ready->endpoint && ready->endpoint->model_id == model.package.id &&
            is_loopback_endpoint(ready->endpoint->url)) {
            return &model;
        }
    }
    return nullptr;
}

}  // namespace

bool is_loopback_endpoint(std::string_view url)
{
    const Url parsed{std::string(url)};
    if (!parsed.valid) {
        return false;
    }
    auto scheme = parsed.part(CURLUPART_SCHEME).value_or("");
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (scheme != "http") {
        return false;
    }
    if (parsed.part(CURLUPART_USER) || parsed.part(CURLUPART_PASSWORD) || parsed.part(CURLUPART_OPTIONS) ||
        parsed.part(CURLUPART_ZONEID)) {
        return false;
    }
    const auto host = parsed.part(CURLUPART_HOST).value_or("");
    if (host != "127.0.0.1" && host != "[::1]") {
        return false;
    }
    const auto port = parsed.part(CURLUPART_PORT);
    if (!port || port->empty()) {
        return false;
    }
    unsigned number = 0;
    const auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), number);
    return error == std::errc() && end == port->data() + port->size() && number >= 1 && number <= 65535;
}

std::optional<ProviderProfile> local_provider_profile(const std::optional<ProviderProfile>& existing,
                                                      const std::vector<lm::InstalledLocalModel>& models)
{
    std::vector<const lm::InstalledLocalModel*> ready;
    for (const auto& model : models) {
        if (std::holds_alternative<lm::Ready>(model.phase)) {
            ready.push_back(&model);
        }
    }
    if (ready.empty()) {
        return std::nullopt;
    }
    const lm::InstalledLocalModel* served = served_model(models);
    if (served == nullptr && !existing) {
        return std::nullopt;
    }
    ProviderProfile profile = existing ? *existing : ProviderProfile::local_vllm();
    profile.models.clear();
    for (const auto* model : ready) {
        const auto& package = model->package;
        profile.models.push_back({.id = package.id,
                                  .name = package.name,
                                  .revision = package.revision,
                                  .vision = package.vision,
                                  .face_recognition = package.face_recognition});
    }
    if (!profile.default_model || profile.find_model(*profile.default_model) == nullptr) {
        profile.default_model = profile.models.front().id;
    }
    if (served != nullptr) {
        const auto& endpoint = *std::get<lm::Ready>(served->phase).endpoint;
        profile.endpoint = endpoint.url;
        profile.default_model = endpoint.model_id;
    }
    profile.enabled = served != nullptr;
    return profile;
}

Registration register_local_vllm_provider(const std::vector<lm::InstalledLocalModel>& models,
                                          const ProviderStores& stores)
{
    const auto lock = lock_provider_changes();
    auto config = stores.load_config();
    if (config.load_error) {
        // Writing now would replace every provider with the local one.
        return Registration::Unchanged;
    }
    std::optional<ProviderProfile> existing;
    const auto it = std::find_if(config.profiles.begin(), config.profiles.end(),
                                 [](const ProviderProfile& profile) { return profile.is_local_vllm_candidate(); });
    if (it != config.profiles.end()) {
        existing = *it;
    }
    auto profile = local_provider_profile(existing, models);
    if (!profile || profile == existing) {
        return Registration::Unchanged;
    }
    config.upsert(std::move(*profile));
    if (auto saved = config.save(); !saved) {
        VORN_WARN("agent_models_local_provider", "the local model provider was not saved: {}", saved.error());
        return Registration::NotSaved;
    }
    return Registration::Saved;
}

}  // namespace settings::panes::agent_models
