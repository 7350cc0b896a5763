#pragma once
// Helpers of the Agent Models tests (header only): a device with one model in each phase.

#include "panes/agent_models/agent_models_model.hpp"

#include <string>

namespace settings::panes::agent_models::testing {

inline lm::LocalModelPackage package(const std::string& id, const std::string& name, const std::string& revision)
{
    return {.id = id,
            .name = name,
            .description = name + " for this device.",
            .source = "https://models.vorn.example/" + id,
            .revision = revision,
            .license = "Apache-2.0",
            .license_url = "https://www.apache.org/licenses/LICENSE-2.0",
            .download_bytes = 4831838208ULL,
            .installed_bytes = 5368709120ULL};
}

// A good fit recommending Qwen 7B, with Llama 8B running on loopback, Phi 3 stopped, Mistral failed and Gemma
// downloading; no accelerator setup.
inline lm::LocalModelSnapshot sample_snapshot()
{
    lm::LocalModelSnapshot s;
    s.hardware = {.fit = lm::HardwareFit::Good, .memory_gib = 32, .accelerator = "Radeon 780M", .reason = "Balanced."};
    s.recommendation = package("qwen-7b", "Qwen 7B", "r3");
    s.models = {
        {package("llama-8b", "Llama 8B", "r1"),
         lm::Ready{.endpoint = lm::LocalModelEndpoint{"http://127.0.0.1:8000/v1", "llama-8b"}, .running = true}},
        {package("phi-3", "Phi 3", "r2"), lm::Ready{.running = false}},
        {package("mistral", "Mistral", "r4"), lm::Failed{"checksum mismatch"}},
        {package("gemma", "Gemma", "r5"), lm::Downloading{1024, 4096}},
    };
    return s;
}

}  // namespace settings::panes::agent_models::testing
