#include "panes/agent_models/providers.hpp"

#include "panes/agent_models/agent_models_text.hpp"

#include "text_utf8/text_utf8.hpp"

#include <sodium.h>

#include <utility>

namespace settings::panes::agent_models {

model_providers::ProviderConfig ProviderStores::load_config() const
{
    return config_file.empty() ? model_providers::ProviderConfig::load()
                               : model_providers::ProviderConfig::load_from(config_file);
}

std::expected<vorn_model_gateway::ApiKeyStore, vorn_model_gateway::ClientError> ProviderStores::keys() const
{
    if (key_directory.empty()) {
        return vorn_model_gateway::ApiKeyStore::for_user();
    }
    return vorn_model_gateway::ApiKeyStore(key_directory);
}

ProviderListing read_provider_listing(const ProviderStores& stores)
{
    const auto config = stores.load_config();
    const auto keys = stores.keys();
    ProviderListing listing;
    listing.validation_errors = config.validation_errors();
    for (const auto& profile : config.profiles) {
        if (profile.kind == model_providers::ProviderKind::ThisDevice) {
            continue;
        }
        const bool stored = keys && keys->secret_configured(profile.id).value_or(false);
        listing.providers.push_back(
            {.profile = profile, .key_stored = stored, .is_default = config.default_provider == profile.id});
    }
    return listing;
}

ProviderDraft draft_of(const model_providers::ProviderProfile& profile)
{
    return {.label = vorn_ui::LockedText::create(profile.label),
            .endpoint = vorn_ui::LockedText::create(profile.endpoint),
            .model = vorn_ui::LockedText::create(profile.default_model.value_or(""))};
}

// ---- WipedText -----------------------------------------------------------------------------------------------------

WipedText::WipedText(WipedText&& other) noexcept : text_(std::exchange(other.text_, {})) {}

WipedText& WipedText::operator=(WipedText&& other) noexcept
{
    if (this != &other) {
        wipe();
        text_ = std::exchange(other.text_, {});
    }
    return *this;
}

WipedText::~WipedText() { wipe(); }

void WipedText::wipe()
{
    if (text_.capacity() > 0) {
        sodium_memzero(text_.data(), text_.capacity());
    }
    text_.clear();
}

WipedText WipedText::take_from(vorn_ui::LockedText& buffer)
{
    WipedText taken;
    buffer.with_text([&](std::string_view text) {
        taken.text_.reserve(text.size());  // one block, never moved while the key is in it
        taken.text_.assign(text);
    });
    buffer.clear();
    return taken;
}

// ---- Jobs ----------------------------------------------------------------------------------------------------------

std::unique_lock<std::mutex> lock_provider_changes()
{
    static std::mutex changes;
    return std::unique_lock(changes);
}

std::string save_provider_details(const ProviderStores& stores, std::string_view provider_id, std::string_view label,
                                  std::string_view endpoint, std::string_view model)
{
    const auto lock = lock_provider_changes();
    auto config = stores.load_config();
    if (config.load_error) {
        // Saving a configuration that could not be read would drop every provider in it.
        return sentences::details_not_saved(*config.load_error);
    }
    auto* profile = config.find(provider_id);
    if (profile == nullptr) {
        return sentences::provider_gone();
    }
    profile->label = std::string(label);
    profile->endpoint = std::string(endpoint);
    if (const auto model_id = text_utf8::trim_white_space(model); !model_id.empty()) {
        profile->select_model(model_id);
    }
    if (auto saved = config.save(); !saved) {
        return sentences::details_not_saved(saved.error());
    }
    return sentences::details_saved();
}

std::string save_api_key(const ProviderStores& stores, std::string_view provider_id, WipedText key)
{
    auto keys = stores.keys();
    if (!keys) {
        return sentences::key_not_saved(keys.error().message);
    }
    if (auto saved = keys->set_api_key(provider_id, std::move(key.text())); !saved) {
        return sentences::key_not_saved(saved.error().message);
    }
    return sentences::key_saved();
}

std::string remove_api_key(const ProviderStores& stores, std::string_view provider_id)
{
    auto keys = stores.keys();
    if (!keys) {
        return sentences::key_not_removed(keys.error().message);
    }
    if (auto removed = keys->remove_api_key(provider_id); !removed) {
        return sentences::key_not_removed(removed.error().message);
    }
    return sentences::key_removed();
}

}  // namespace settings::panes::agent_models
