#pragma once
// The local provider: the profile of the model provider configuration through which agents reach the models this
// device serves. After every reading of the local models the page keeps it in step: it lists the installed models
// that are ready, and it is enabled and points at a model's endpoint only while the model service serves one on
// this device's loopback interface.

#include "panes/agent_models/providers.hpp"

#include "system_ops/local_models.hpp"

#include <optional>
#include <string_view>
#include <vector>

namespace settings::panes::agent_models {

// Whether an endpoint address is on this device's loopback interface: the http scheme, no user name or password,
// the host 127.0.0.1 or [::1] (no zone), and an explicit numeric port from 1 to 65535. The address is parsed, not
// compared as text, so "http://127.0.0.1:80@example.com/v1" (a user name and password before another host) is not.
[[nodiscard]] bool is_loopback_endpoint(std::string_view url);

// The local profile for these models, starting from `existing` (the configuration's current local profile, if any),
// or none when the configuration is to stay as it is: no model is ready, or none is served and there is no local
// profile yet. A model is served when it is ready, running, has an endpoint that answers to its own id and whose
// address is_loopback_endpoint(); the first such model counts. The profile lists every ready model (id, name,
// revision and the vision and face-recognition flags), keeps its default model while it is listed (else the first),
// takes the served model's endpoint and id as its endpoint and default, and is enabled exactly while one is served.
[[nodiscard]] std::optional<model_providers::ProviderProfile> local_provider_profile(
    const std::optional<model_providers::ProviderProfile>& existing,
    const std::vector<system_ops::local_models::InstalledLocalModel>& models);

enum class Registration : std::uint8_t {
    Unchanged,  // nothing to write (or the configuration could not be read, and is left alone)
    Saved,
    NotSaved,  // the write failed; nobody is told (the next reading tries again)
};

// Loads the configuration, finds its local profile (the first is_local_vllm_candidate()), and writes the profile
// local_provider_profile() gives when it differs from the stored one.
Registration register_local_vllm_provider(const std::vector<system_ops::local_models::InstalledLocalModel>& models,
                                          const ProviderStores& stores);

}  // namespace settings::panes::agent_models
