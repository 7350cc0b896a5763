#pragma once
// The Agent Models page: "Private by design"; then either "Local model service unavailable" (with the manager's
// reason) or the local model half: the status sentence, "Accelerator support", "Recommended for this device" with
// the licence confirmation, and one card per installed model (or "Models on this device" when there is none); and
// always "Hosted and compatible providers" with the provider forms, their API key fields and the provider jobs'
// sentence.
//
// The local model buttons are presses: each writes true at its key of the page's own document
// (agent_models_text.hpp), and the model acts on it at the next sync; AgentModelOperation requests reach the model
// through the request cell and take the same path ("stage-accelerator" is still required of the section, for
// automation). The provider buttons are bound to the actions of the provider's resource in the Agent Models section;
// a provider the section does not publish yet (it was added a moment ago) shows its action buttons disabled until
// the next view. The three job buttons (save details, save key, remove key) run the model's jobs. The API key field
// is masked and types into the model's locked buffer: its text never reaches the document, the accessibility tree
// or a log.
//
// The view is built once; the values (the status sentence, the hardware, progress, phase labels, button captions,
// provider rows and sentences) change in place, and it is built anew only when a card, a row or a control comes or
// goes. Until the first reading of the local model service is in, the local model half says "Loading…".
//
//   auto pane = std::make_unique<AgentModelsPane>(
//       AgentModelsPane().with_operation_requests(app.requests).with_operation_status(app.status));

#include "panes/agent_models/agent_models_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include "operations/cells.hpp"
#include "page_doc/page_doc.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::agent_models {

inline constexpr std::string_view loading_text = "Loading\u2026";

// Ids of the texts the view changes in place: "agent-models.text.<part>" or "agent-models.text.<part>.<key>".
[[nodiscard]] std::string text_id(std::string_view part);
[[nodiscard]] std::string text_id(std::string_view part, std::string_view key);

class AgentModelsPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::agent_models::AgentModelsPane", "AgentModelsPane")

    // Starts reading the local model service and the provider list on workers.
    explicit AgentModelsPane(AgentModelsOptions options = {});
    ~AgentModelsPane() override;
    AgentModelsPane(AgentModelsPane&&) noexcept;
    AgentModelsPane& operator=(AgentModelsPane&&) noexcept;

    // The application's cells in place of the page's own.
    [[nodiscard]] AgentModelsPane with_operation_requests(const operations::OperationRequestCell& cell) &&;
    [[nodiscard]] AgentModelsPane with_operation_status(const operations::OperationStatusCell& cell) &&;

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    bool update() override;
    // While a reading, a request or a provider job runs, the page keeps drawing.
    [[nodiscard]] bool needs_redraw() const override;
    // The next periodic reading while a model or the accelerator is on its way.
    [[nodiscard]] std::optional<vorn_ui::Instant> next_wake_deadline() const override;
    std::optional<vorn_actions::ActionContext> pane_descriptor() override;

    [[nodiscard]] const AgentModelsModel& model() const { return *model_; }
    [[nodiscard]] AgentModelsModel& model() { return *model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;
    bool show_caption(std::string_view id, std::string_view caption);
    bool show_fraction(std::string_view label, std::optional<double> fraction);
    // Reads the provider list again when this process has written the provider configuration since the last pass.
    void follow_provider_changes();

    std::unique_ptr<AgentModelsModel> model_;
    // The page's own document: the presses of the local model buttons and nothing else.
    std::unique_ptr<page_doc::Document> document_;
    std::uint64_t seen_generation_ = 0;
    // The listed providers the section did not publish when the view was built.
    std::vector<std::string> unpublished_;
};

// The page as the pane factory builds it, with the application's cells.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_agent_models_pane(const operations::OperationRequestCell& requests,
                                                                       const operations::OperationStatusCell& status);

}  // namespace settings::panes::agent_models
