#pragma once
// The Agent Models page's document keys, control ids, label tables and sentences.
//
// Local model buttons are presses: a button writes true at its key and the page's sync consumes it.
//
//   "agent_models.accelerator.setup"                 set up or retry the accelerator stack
//   "agent_models.local.setup"                       open the licence confirmation of the recommended model
//   "agent_models.local.cancel"                      close it
//   "agent_models.local.confirm"                     install the recommended model
//   "agent_models.local.<model key>.<action>"        start, stop, remove or retry one installed model
//
// A model key is the model id with ASCII letters and digits kept, "_" written "__" and every other byte written
// "_" and its two lower-case hex digits ("llama-3.1" → "llama_2d3_2e1"): two ids never share a key, and the key
// holds no "." that could run into the action.

#include "system_ops/local_models.hpp"

#include "model_providers/model_providers.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::agent_models {

namespace lm = system_ops::local_models;

inline constexpr std::string_view accelerator_setup_key = "agent_models.accelerator.setup";
inline constexpr std::string_view local_setup_key = "agent_models.local.setup";
inline constexpr std::string_view local_cancel_key = "agent_models.local.cancel";
inline constexpr std::string_view local_confirm_key = "agent_models.local.confirm";

// ---- Local models --------------------------------------------------------------------------------------------------

// What can be done to an installed model, in the order its buttons stand.
enum class LocalModelAction : std::uint8_t { Start, Stop, Remove, Retry };
inline constexpr std::array<LocalModelAction, 4> all_local_model_actions{
    LocalModelAction::Start, LocalModelAction::Stop, LocalModelAction::Remove, LocalModelAction::Retry};

// "start", "stop", "remove", "retry".
[[nodiscard]] std::string_view local_model_action_name(LocalModelAction action);
// "Start", "Stop", "Remove…", "Retry install".
[[nodiscard]] std::string_view local_model_action_label(LocalModelAction action);
// The actions of a model in its phase: none while downloading or installing; start and remove when ready and
// stopped; stop and remove when running; retry and remove after an error.
[[nodiscard]] std::vector<LocalModelAction> local_model_actions(const lm::LocalModelPhase& phase);
[[nodiscard]] bool action_available(const lm::LocalModelPhase& phase, LocalModelAction action);

// The model key (see the top of this file).
[[nodiscard]] std::string local_model_key(std::string_view model_id);
// "agent_models.local.<model key>.<action name>".
[[nodiscard]] std::string local_model_flag_key(std::string_view model_id, LocalModelAction action);
// "agent-models-<action name>-<flag key>".
[[nodiscard]] std::string local_model_button_id(std::string_view model_id, LocalModelAction action);

// The byte count in GiB with one decimal: 4,831,838,208 → "4.5 GiB", 0 → "0.0 GiB".
[[nodiscard]] std::string format_gib(std::uint64_t bytes);
// The badge of the accelerator card: "Ready to set up", "Queued", "Staging", "Restart required", "Active",
// "Needs attention".
[[nodiscard]] std::string_view accelerator_badge(lm::AcceleratorState state);

// ---- Providers -----------------------------------------------------------------------------------------------------

// "OpenAI-compatible", "Anthropic".
[[nodiscard]] std::string_view protocol_label(model_providers::ProviderProtocol protocol);
// "Hosted provider", "This device (local)", "Private network".
[[nodiscard]] std::string_view kind_label(model_providers::ProviderKind kind);
// "Use Anthropic" for an OpenAI-compatible provider, "Use OpenAI-compatible" for an Anthropic one.
[[nodiscard]] std::string protocol_button_label(model_providers::ProviderProtocol protocol);
[[nodiscard]] std::string_view enabled_button_label(bool enabled);              // "Disable" / "Enable"
[[nodiscard]] std::string_view api_key_button_label(bool stored);               // "Replace key" / "Save key"
[[nodiscard]] std::string_view api_key_caption(bool stored);                    // stored in the vault or not
[[nodiscard]] std::string_view default_button_label(bool is_default);           // "Default for new tasks" / "Use by default"
// "Provider configuration: {}".
[[nodiscard]] std::string validation_caption(std::string_view problem);

inline constexpr std::string_view label_placeholder = "Provider name";
inline constexpr std::string_view endpoint_placeholder = "https://api.example.com/v1";
inline constexpr std::string_view model_placeholder = "Model ID";
inline constexpr std::string_view api_key_placeholder = "API key (stored in Vorn vault)";

inline constexpr std::string_view add_anthropic_id = "agent-models-add-anthropic";
inline constexpr std::string_view add_openai_id = "agent-models-add-openai";
// "agent-models-<part>-<provider id>" with the part "label", "url", "model", "save-provider", "protocol",
// "enabled", "remove-provider", "api-key", "set-api-key", "remove-api-key" or "default".
[[nodiscard]] std::string provider_control_id(std::string_view part, std::string_view provider_id);

// ---- Sentences -----------------------------------------------------------------------------------------------------

namespace sentences {

std::string accelerator_accepted();
std::string accelerator_failed(std::string_view error);
std::string install_accepted();
std::string install_failed(std::string_view error);
std::string model_accepted(LocalModelAction action);
std::string model_failed(LocalModelAction action, std::string_view error);
std::string remove_question(const lm::LocalModelPackage& package);
// After the first reading failed, and after a later one failed.
std::string service_unavailable(std::string_view error);
std::string refresh_failed(std::string_view error);

// Requests that cannot be carried out as asked; answered at once.
std::string model_not_installed(std::string_view model_id);
std::string action_unavailable(LocalModelAction action, const lm::InstalledLocalModel& model);
std::string recommendation_changed();
std::string revision_changed();
std::string cannot_install_now(const lm::LocalModelPackage& package);
std::string request_still_running(std::string_view what);
std::string page_closed();
std::string worker_failed(std::string_view error);

std::string provider_gone();
std::string details_saved();
std::string details_not_saved(std::string_view error);
std::string key_saved();
std::string key_not_saved(std::string_view error);
std::string key_removed();
std::string key_not_removed(std::string_view error);

}  // namespace sentences

}  // namespace settings::panes::agent_models
