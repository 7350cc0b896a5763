#pragma once
// The Printers page: "Printer needs attention" (only while something went wrong), the configured printers with their
// state, summary, supplies and buttons, printers found nearby, the current print jobs, and scanners.
//
// The view is built once and its values are changed in place as the model's lists change (states, summaries,
// supplies, job progress, button labels), found by control id. It is built anew only when its rows or buttons
// change: a queue, job, nearby printer or scanner appears or goes, a queue becomes the default, a removal waits for
// confirmation, a job's state gives it other buttons, the attention card comes or goes. Every control and value text
// has a stable id made from the object it shows (the model's control ids), so the focus survives a rebuild; a
// removal waiting for confirmation takes the focus from its "Remove…" button, and gives it back when dismissed.
//
// Every button writes a press under its id, which the model consumes on the same sync. With the application's
// request cell the page keeps a document of its own for its presses, as the model expects.
//
//   auto pane = std::make_unique<PrintersPane>();
//   pane->use_operation_requests(context.operation_requests);
//   pane->use_operation_status(context.operation_status);

#include "panes/preference_pane/pane_base.hpp"
#include "panes/printers/printers_model.hpp"

#include "page_doc/page_doc.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorn_ui::widget::badge {
class Badge;
}

namespace settings::panes::printers {

class PrintersPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::printers::PrintersPane", "PrintersPane")

    // Over the machine's printing system.
    PrintersPane() : PrintersPane(PrintersModel::Environment{}) {}
    explicit PrintersPane(PrintersModel::Environment environment);
    ~PrintersPane() override;

    // The application's cells (operations from automation and their answers).
    void use_operation_requests(operations::OperationRequestCell cell);
    void use_operation_status(operations::OperationStatusCell cell);

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    // The next periodic status read.
    [[nodiscard]] std::optional<vorn_ui::Instant> next_wake_deadline() const override;

    [[nodiscard]] const PrintersModel& model() const { return model_; }
    // The document the page's presses go to: its own while it shares the application's requests, else the caller's.
    [[nodiscard]] page_doc::Document& working_document(page_doc::Document& caller);

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;
    // Shows a caption on the button with this id; answers whether it changed.
    bool show_caption(std::string_view id, std::string_view caption);

    PrintersModel model_;
    page_doc::Document own_document_;
    // The queues' state badges in the order of the model's queues when the view was built (a badge has no id).
    std::vector<vorn_ui::widget::badge::Badge*> badges_;
    // The model changed or the view was built since the values were last shown.
    bool values_stale_ = true;
};

[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_printers_pane(operations::OperationRequestCell requests,
                                                                   operations::OperationStatusCell status);

}  // namespace settings::panes::printers
