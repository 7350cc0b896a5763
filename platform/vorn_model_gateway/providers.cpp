// Removing a model provider together with its API key.
#include "vorn_model_gateway/vorn_model_gateway.hpp"

#include "vorn_log/log.hpp"

#include <fmt/format.h>

namespace vorn_model_gateway {

std::expected<void, model_providers::RemovalError> remove_provider(model_providers::ProviderConfig& config,
                                                                   std::string_view provider_id,
                                                                   const ApiKeyStore& keys)
{
    auto removed = config.remove_and_release(
        provider_id, [&keys](std::string_view id) -> std::expected<void, std::string> {
            if (auto gone = keys.remove_api_key(id); !gone) {
                return std::unexpected(std::move(gone.error().message));
            }
            return {};
        });
    if (removed) {
        VORN_INFO("provider_remove", "provider {} and its API key were removed", provider_id);
    } else if (removed.error().step != model_providers::RemovalError::Step::NotFound) {
        VORN_WARN("provider_remove", "provider {} was not removed: {}", provider_id, removal_sentence(removed.error()));
    }
    return removed;
}

std::expected<void, model_providers::RemovalError> remove_provider(model_providers::ProviderConfig& config,
                                                                   std::string_view provider_id)
{
    if (config.find(provider_id) == nullptr) {
        return std::unexpected(model_providers::RemovalError{.step = model_providers::RemovalError::Step::NotFound});
    }
    auto keys = ApiKeyStore::for_user();
    if (!keys) {
        // Without a key store nothing can be deleted, so the provider stays.
        return std::unexpected(model_providers::RemovalError{.step = model_providers::RemovalError::Step::Release,
                                                             .detail = std::move(keys.error().message)});
    }
    return remove_provider(config, provider_id, *keys);
}

std::string removal_sentence(const model_providers::RemovalError& error)
{
    using Step = model_providers::RemovalError::Step;
    switch (error.step) {
        case Step::NotFound: return "provider is no longer available";
        case Step::Save: return "provider settings were not saved: " + error.detail;
        case Step::Release: break;
    }
    std::string sentence = "provider vault key was not removed: " + error.detail;
    if (error.restore_error) {
        sentence += "; the provider settings could not be restored: " + *error.restore_error;
    }
    return sentence;
}

}  // namespace vorn_model_gateway
