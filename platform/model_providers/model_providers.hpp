#pragma once
// The agent model providers configured on this device: hosted APIs, compatible endpoints on the private network and
// the local inference service, in the user's order, with the default provider for new tasks.
//
// The configuration is one JSON file, "<config dir>/vorn/model-providers.json" (see user_dirs::config_dir), written
// whole and atomically with mode 0600 (it names private endpoints):
//
//   {
//     "version": 1,
//     "default_provider": "anthropic-…" | null,
//     "providers": [
//       { "id": …, "label": …, "endpoint": …, "protocol": "anthropic" | "openai-compatible", "enabled": true,
//         "kind": "hosted" | "this-device" | "private-network", "default_model": "…" | null,
//         "models": [ { "id": …, "name": …, "revision": …, "vision": false, "face_recognition": false } ] }
//     ]
//   }
//
// API keys are not part of it: the model gateway keeps them (vorn_model_gateway), under the provider's id.
//
// Loading never fails: a missing file is the empty configuration; a file that cannot be read or is damaged also
// gives the empty configuration, with the reason in `load_error` (and first among validation_errors()). Saving
// never loses what was there: a damaged file is kept beside the new one as "<file>.corrupt-<unix time>", and a file
// that cannot be read is not replaced at all.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace model_providers {

enum class ProviderProtocol : std::uint8_t { OpenAiCompatible, Anthropic };
// Where the provider runs: a hosted web API, the local inference service of this device, or a host of the private
// network.
enum class ProviderKind : std::uint8_t { Hosted, ThisDevice, PrivateNetwork };

// The stored names: "openai-compatible", "anthropic".
[[nodiscard]] std::string_view protocol_id(ProviderProtocol protocol);
[[nodiscard]] std::optional<ProviderProtocol> protocol_from_id(std::string_view id);
// The stored names: "hosted", "this-device", "private-network".
[[nodiscard]] std::string_view kind_id(ProviderKind kind);

struct ModelDescriptor {
    std::string id;
    std::string name;
    std::string revision;
    bool vision = false;
    bool face_recognition = false;

    bool operator==(const ModelDescriptor&) const = default;
};

struct ProviderProfile {
    std::string id;
    std::string label;
    std::string endpoint;
    ProviderProtocol protocol = ProviderProtocol::OpenAiCompatible;
    bool enabled = true;
    ProviderKind kind = ProviderKind::Hosted;
    // The model new tasks use with this provider (the "selected model"); normally the id of one of `models`.
    std::optional<std::string> default_model;
    std::vector<ModelDescriptor> models;

    // A new hosted provider with a fresh unique id ("anthropic-<uuid>", "openai-compatible-<uuid>"), enabled, with
    // no models: Anthropic's is labelled "Anthropic" at "https://api.anthropic.com/v1"; a compatible API is labelled
    // "Compatible API" and has no endpoint until the user enters one.
    [[nodiscard]] static ProviderProfile hosted(ProviderProtocol protocol);
    // The local inference service's profile before any model is served: id "local-vllm", "Local models", kind
    // this device, OpenAI-compatible at "http://127.0.0.1:8000/v1", disabled, no models.
    [[nodiscard]] static ProviderProfile local_vllm();

    // The label trimmed of white space; when blank, the endpoint's host; else "Unnamed provider".
    [[nodiscard]] std::string display_label() const;
    // The local inference service's profile: on this device and OpenAI-compatible.
    [[nodiscard]] bool is_local_vllm_candidate() const;
    // Whether new tasks can use it by default: enabled and with a default model.
    [[nodiscard]] bool can_be_default() const;

    [[nodiscard]] const ModelDescriptor* find_model(std::string_view model_id) const;
    // Makes `model_id` the default model, first adding a descriptor with that id and name unless one has that id.
    // The text is used as given; callers trim it and skip blank texts.
    void select_model(std::string_view model_id);

    bool operator==(const ProviderProfile&) const = default;
};

// Why remove_and_release() did not remove a provider. Nothing changed unless `restore_error` is set.
struct RemovalError {
    enum class Step : std::uint8_t {
        NotFound,  // no profile has the id
        Save,      // the configuration without it could not be saved; `detail` is the save error
        Release,   // the release step failed (`detail`); the saved configuration was put back
    };
    Step step = Step::NotFound;
    std::string detail;
    // Release only: the configuration could not be put back either (the provider is then no longer configured,
    // while what the release step should have deleted is still there).
    std::optional<std::string> restore_error;
};

struct ProviderConfig {
    std::vector<ProviderProfile> profiles;
    std::optional<std::string> default_provider;

    // The file load read and save writes; empty means default_path().
    std::filesystem::path file;
    // Set by load when the stored file could not be used (it then gave the empty configuration).
    std::optional<std::string> load_error;

    // "<config dir>/vorn/model-providers.json", or none when there is no configuration directory.
    [[nodiscard]] static std::optional<std::filesystem::path> default_path();
    // The user's configuration (never fails; see the top of this file).
    [[nodiscard]] static ProviderConfig load();
    [[nodiscard]] static ProviderConfig load_from(const std::filesystem::path& file);
    // Strict reading: a missing file is the empty configuration; an unreadable or damaged one is an error.
    [[nodiscard]] static std::expected<ProviderConfig, std::string> read(const std::filesystem::path& file);

    // The stored text (two-space JSON) and its reading; from_text's errors describe what is wrong.
    [[nodiscard]] std::string to_text() const;
    [[nodiscard]] static std::expected<ProviderConfig, std::string> from_text(std::string_view text);

    // Writes the whole configuration to `file` (creating its directory), under the file's lock. Errors read
    // "could not write <path>: <reason>" and the like; the stored file is then unchanged.
    [[nodiscard]] std::expected<void, std::string> save() const;

    [[nodiscard]] ProviderProfile* find(std::string_view id);
    [[nodiscard]] const ProviderProfile* find(std::string_view id) const;
    [[nodiscard]] const ProviderProfile* default_profile() const;

    // Replaces the profile with the same id where it stands, or appends it.
    void upsert(ProviderProfile profile);
    // Removes the profile with the id (and the default when it named it); false when there was none.
    bool remove(std::string_view id);

    // The problems of the configuration, each a short sentence (the load error first).
    [[nodiscard]] std::vector<std::string> validation_errors() const;

    // Removes a provider so that its configuration and what lives elsewhere under its id (its API key) never get
    // out of step: under the file's lock, saves the configuration without the provider, then calls `release`
    // with its id. When saving fails, `release` is not called. When `release` fails, the file is put back as it
    // was (byte for byte; removed again when there was none). On any error this object is unchanged; on success
    // the provider is gone from it.
    using Release = std::function<std::expected<void, std::string>(std::string_view provider_id)>;
    [[nodiscard]] std::expected<void, RemovalError> remove_and_release(std::string_view id, const Release& release);
};

// How many times this process has written a provider configuration file (any file, any writer); a view that lists
// the providers reads its list again when the number moves. Any thread.
[[nodiscard]] std::uint64_t saved_generation();

}  // namespace model_providers
