#pragma once
// The Updates page: the status card (only while there is a sentence to say), "Update overview", "Software updates",
// "Device firmware", "Firmware history" (when fwupd has some), "Details" with the update policy, "History & recovery
// health", "Go back to the previous image" and "How updates work", as updates_text.hpp words them.
//
// Every control is bound to its action of the Updates section and acts only through it: the runner hands the
// operation to the model, which performs it on its workers and answers it. The controls follow the model's own
// document, which the model writes back from its state at every sync, so a switch or a choice shows what is in force
// once its operation has ended. The view is built once; the texts whose value changes (the operating system, last
// checked, the firmware rows and history, the journal, the install progress, the button labels, the status
// sentence) change in place, and it is built anew only when a card, a row or a button appears or goes. Until the
// first reading of the system is in, the page says "Loading…".
//
//   auto pane = std::make_unique<UpdatesPane>(
//       UpdatesPane().with_operation_requests(app.requests).with_operation_status(app.status));

#include "panes/preference_pane/pane_base.hpp"
#include "panes/updates/updates_model.hpp"

#include "operations/cells.hpp"
#include "vorn_ui/widgets/progress_bar.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace settings::panes::updates {

inline constexpr std::string_view loading_text = "Loading\u2026";

// The ids of the texts the view changes in place: "updates.text.<part>" or "updates.text.<part>.<index>".
[[nodiscard]] std::string text_id(std::string_view part);
[[nodiscard]] std::string text_id(std::string_view part, std::size_t index);

class UpdatesPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::updates::UpdatesPane", "UpdatesPane")

    // Starts reading the system on a worker (the program's own environment unless told otherwise).
    explicit UpdatesPane(UpdatesEnvironment environment = UpdatesEnvironment::system());
    ~UpdatesPane() override;
    UpdatesPane(UpdatesPane&&) noexcept;
    UpdatesPane& operator=(UpdatesPane&&) noexcept;

    // The application's cells in place of the page's own.
    [[nodiscard]] UpdatesPane with_operation_requests(const operations::OperationRequestCell& cell) &&;
    [[nodiscard]] UpdatesPane with_operation_status(const operations::OperationStatusCell& cell) &&;

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    // While a check, a refresh or an installation runs, the page keeps drawing.
    [[nodiscard]] bool needs_redraw() const override;
    std::optional<vorn_actions::ActionContext> pane_descriptor() override;

    [[nodiscard]] const UpdatesModel& model() const { return *model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;
    // Shows a caption on the button with this id; answers whether it changed.
    bool show_caption(std::string_view id, std::string_view caption);

    std::unique_ptr<UpdatesModel> model_;
    // The install progress bar of the built view (none when it has none).
    vorn_ui::ProgressBar* bar_ = nullptr;
};

// The page as the pane factory builds it, with the application's cells.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_updates_pane(const operations::OperationRequestCell& requests,
                                                                  const operations::OperationStatusCell& status);

}  // namespace settings::panes::updates
