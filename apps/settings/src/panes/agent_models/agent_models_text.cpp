#include "panes/agent_models/agent_models_text.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace settings::panes::agent_models {

std::string_view local_model_action_name(LocalModelAction action)
{
    switch (action) {
        case LocalModelAction::Start: return "start";
        case LocalModelAction::Stop: return "stop";
        case LocalModelAction::Remove: return "remove";
        case LocalModelAction::Retry: break;
    }
    return "retry";
}

std::string_view local_model_action_label(LocalModelAction action)
{
    switch (action) {
        case LocalModelAction::Start: return "Start";
        case LocalModelAction::Stop: return "Stop";
        case LocalModelAction::Remove: return "Remove…";
        case LocalModelAction::Retry: break;
    }
    return "Retry install";
}

std::vector<LocalModelAction> local_model_actions(const lm::LocalModelPhase& phase)
{
    if (const auto* ready = std::get_if<lm::Ready>(&phase)) {
        return {ready->running ? LocalModelAction::Stop : LocalModelAction::Start, LocalModelAction::Remove};
    }
    if (std::holds_alternative<lm::Failed>(phase)) {
        return {LocalModelAction::Retry, LocalModelAction::Remove};
    }
    return {};
}

bool action_available(const lm::LocalModelPhase& phase, LocalModelAction action)
{
    const auto actions = local_model_actions(phase);
    return std::find(actions.begin(), actions.end(), action) != actions.end();
}

std::string local_model_key(std::string_view model_id)
{
    std::string key;
    key.reserve(model_id.size());
    for (const char c : model_id) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')) {
            key += c;
        } else if (c == '_') {
            key += "__";
        } else {
            key += fmt::format("_{:02x}", byte);
        }
    }
    return key;
}

std::string local_model_flag_key(std::string_view model_id, LocalModelAction action)
{
    return fmt::format("agent_models.local.{}.{}", local_model_key(model_id), local_model_action_name(action));
}

std::string local_model_button_id(std::string_view model_id, LocalModelAction action)
{
    return fmt::format("agent-models-{}-{}", local_model_action_name(action), local_model_flag_key(model_id, action));
}

std::string format_gib(std::uint64_t bytes)
{
    return fmt::format("{:.1f} GiB", static_cast<double>(bytes) / static_cast<double>(1ULL << 30));
}

std::string_view accelerator_badge(lm::AcceleratorState state)
{
    switch (state) {
        case lm::AcceleratorState::Available: return "Ready to set up";
        case lm::AcceleratorState::Queued: return "Queued";
        case lm::AcceleratorState::Staging: return "Staging";
        case lm::AcceleratorState::RestartRequired: return "Restart required";
        case lm::AcceleratorState::Active: return "Active";
        case lm::AcceleratorState::Error: break;
    }
    return "Needs attention";
}

std::string_view protocol_label(model_providers::ProviderProtocol protocol)
{
    return protocol == model_providers::ProviderProtocol::Anthropic ? "Anthropic" : "OpenAI-compatible";
}

std::string_view kind_label(model_providers::ProviderKind kind)
{
    switch (kind) {
        case model_providers::ProviderKind::ThisDevice: return "This device (local)";
        case model_providers::ProviderKind::PrivateNetwork: return "Private network";
        case model_providers::ProviderKind::Hosted: break;
    }
    return "Hosted provider";
}

std::string protocol_button_label(model_providers::ProviderProtocol protocol)
{
    using model_providers::ProviderProtocol;
    return fmt::format("Use {}", protocol_label(protocol == ProviderProtocol::Anthropic
                                                    ? ProviderProtocol::OpenAiCompatible
                                                    : ProviderProtocol::Anthropic));
}

std::string_view enabled_button_label(bool enabled) { return enabled ? "Disable" : "Enable"; }

std::string_view api_key_button_label(bool stored) { return stored ? "Replace key" : "Save key"; }

std::string_view api_key_caption(bool stored)
{
    return stored ? "API key is stored in the Vorn vault." : "No API key stored.";
}

std::string_view default_button_label(bool is_default) { return is_default ? "Default for new tasks" : "Use by default"; }

std::string validation_caption(std::string_view problem) { return fmt::format("Provider configuration: {}", problem); }

std::string provider_control_id(std::string_view part, std::string_view provider_id)
{
    return fmt::format("agent-models-{}-{}", part, provider_id);
}

namespace sentences {

namespace {

// A model id from a request, as it may appear in a sentence.
std::string shown_id(std::string_view id) { return cmd_runner::clean_text(id, {.max_bytes = 256}); }

// How a phase reads after "while <name> is".
std::string_view phase_words(const lm::LocalModelPhase& phase)
{
    switch (phase.index()) {
        case 0: return "downloading";
        case 1: return "installing";
        case 2: return std::get<lm::Ready>(phase).running ? "running" : "stopped";
        default: return "failed";
    }
}

}  // namespace

std::string accelerator_accepted() { return "Accelerator setup request accepted by the local model manager"; }

std::string accelerator_failed(std::string_view error)
{
    return fmt::format("Accelerator setup could not start: {}", error);
}

std::string install_accepted() { return "Model installation request accepted by the local model manager"; }

std::string install_failed(std::string_view error) { return fmt::format("Installation could not start: {}", error); }

std::string model_accepted(LocalModelAction action)
{
    return fmt::format("{} request accepted by the local model manager", local_model_action_label(action));
}

std::string model_failed(LocalModelAction action, std::string_view error)
{
    return fmt::format("{} failed: {}", local_model_action_label(action), error);
}

std::string remove_question(const lm::LocalModelPackage& package)
{
    return fmt::format("Remove {}? This deletes its {} local snapshot. Tasks and workspace data are unchanged.",
                       package.name, format_gib(package.installed_bytes));
}

std::string service_unavailable(std::string_view error)
{
    return fmt::format("The local model service is unavailable ({}). Install or start vorn-model-manager to inspect "
                       "hardware, install models, or manage local model lifecycle.",
                       error);
}

std::string refresh_failed(std::string_view error) { return fmt::format("Could not refresh local models: {}", error); }

std::string model_not_installed(std::string_view model_id)
{
    return fmt::format("model {} is not installed", shown_id(model_id));
}

std::string action_unavailable(LocalModelAction action, const lm::InstalledLocalModel& model)
{
    return fmt::format("{} is not available while {} is {}", local_model_action_label(action), model.package.name,
                       phase_words(model.phase));
}

std::string recommendation_changed() { return "the recommended model changed; refresh and try again"; }

std::string revision_changed() { return "the model's revision changed; refresh and try again"; }

std::string cannot_install_now(const lm::LocalModelPackage& package)
{
    return fmt::format("{} cannot be set up on this device now", package.name);
}

std::string request_still_running(std::string_view what)
{
    return fmt::format("a request for {} is still running", what);
}

std::string page_closed() { return "the Agent Models page closed before the request was carried out"; }

std::string worker_failed(std::string_view error) { return fmt::format("the request could not start: {}", error); }

std::string provider_gone() { return "Provider is no longer available."; }

std::string details_saved() { return "Provider details saved."; }

std::string details_not_saved(std::string_view error) { return fmt::format("Provider details were not saved: {}", error); }

std::string key_saved() { return "API key saved in the Vorn vault."; }

std::string key_not_saved(std::string_view error) { return fmt::format("API key was not saved: {}", error); }

std::string key_removed() { return "API key removed from the Vorn vault."; }

std::string key_not_removed(std::string_view error) { return fmt::format("API key was not removed: {}", error); }

}  // namespace sentences

}  // namespace settings::panes::agent_models
