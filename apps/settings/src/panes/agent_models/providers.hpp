#pragma once
// The hosted and compatible model providers of the Agent Models page: where their configuration and API keys are
// kept, the list the page shows, the edit buffers of its forms, and the three jobs the page runs itself (save the
// details, save the key, remove the key). The other provider changes (add, protocol, enable, remove, default) are
// actions of the Agent Models resource that the application carries out.
//
// Each job reads and writes files (and decrypts the key store), so the page runs them on a worker; each ends in one
// sentence for the provider card.
//
// A typed API key lives in a locked buffer (vorn_ui::LockedText) until "Save key" takes it: take_key() copies it
// into a WipedText and empties the buffer at once, the gateway wipes the copy whatever it answers, and the WipedText
// wipes what is left when it goes.

#include "model_providers/model_providers.hpp"
#include "vorn_model_gateway/vorn_model_gateway.hpp"
#include "vorn_ui/locked_text.hpp"

#include <expected>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::agent_models {

// Where the provider configuration and the API keys live.
struct ProviderStores {
    std::filesystem::path config_file;    // empty: the user's (model_providers::ProviderConfig::default_path())
    std::filesystem::path key_directory;  // empty: the user's key store

    [[nodiscard]] model_providers::ProviderConfig load_config() const;
    [[nodiscard]] std::expected<vorn_model_gateway::ApiKeyStore, vorn_model_gateway::ClientError> keys() const;
};

// One provider of the list (the local profile is never listed: the page keeps it in step with the local models).
struct ProviderEntry {
    model_providers::ProviderProfile profile;
    bool key_stored = false;  // a key store that cannot be read counts as no key
    bool is_default = false;  // the configuration's default provider
    friend bool operator==(const ProviderEntry&, const ProviderEntry&) = default;
};

struct ProviderListing {
    std::vector<ProviderEntry> providers;
    std::vector<std::string> validation_errors;  // one caption each below the list
    friend bool operator==(const ProviderListing&, const ProviderListing&) = default;
};

[[nodiscard]] ProviderListing read_provider_listing(const ProviderStores& stores);

// The edit buffers of one provider's form.
struct ProviderDraft {
    vorn_ui::SharedLockedText label;
    vorn_ui::SharedLockedText endpoint;
    vorn_ui::SharedLockedText model;
};

// A draft filled with the profile's label, endpoint and default model (empty without one).
[[nodiscard]] ProviderDraft draft_of(const model_providers::ProviderProfile& profile);

// A text that is wiped (its whole capacity) when it goes. Move-only.
class WipedText {
public:
    WipedText() = default;
    WipedText(WipedText&& other) noexcept;
    WipedText& operator=(WipedText&& other) noexcept;
    WipedText(const WipedText&) = delete;
    WipedText& operator=(const WipedText&) = delete;
    ~WipedText();

    // Copies the buffer's text (the copy never reallocates) and wipes the buffer.
    [[nodiscard]] static WipedText take_from(vorn_ui::LockedText& buffer);
    // The text itself, for a callee that takes it (and wipes it).
    [[nodiscard]] std::string& text() { return text_; }

private:
    void wipe();
    std::string text_;
};

// The jobs; each answers its sentence.
// Sets the profile's label and endpoint as typed and, when the model text is not blank, makes it (trimmed) the
// default model, adding it to the profile's models when it is not listed.
[[nodiscard]] std::string save_provider_details(const ProviderStores& stores, std::string_view provider_id,
                                                std::string_view label, std::string_view endpoint,
                                                std::string_view model);
[[nodiscard]] std::string save_api_key(const ProviderStores& stores, std::string_view provider_id, WipedText key);
[[nodiscard]] std::string remove_api_key(const ProviderStores& stores, std::string_view provider_id);

// Held while the configuration is read, changed and written by this page (its jobs and the local provider's
// registration run on different workers).
[[nodiscard]] std::unique_lock<std::mutex> lock_provider_changes();

}  // namespace settings::panes::agent_models
