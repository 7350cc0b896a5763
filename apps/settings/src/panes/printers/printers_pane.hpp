#pragma once
// The Printers page: "Printer needs attention" (only while something went wrong), the configured printers with their
// state, summary, supplies and buttons, printers found nearby, the current print jobs, and scanners.
//
// The view is built once and its values are changed in place as the model's lists change (states, summaries,
// supplies, job progress, button labels). It is built anew only when its rows or buttons change: a queue, job,
// nearby printer or scanner appears or goes, a queue becomes the default, a removal waits for confirmation, a job's
// state gives it other buttons, the attention card comes or goes. Every control has a stable id made from the
// object it acts on (printers_model.hpp), and the focused control keeps the focus across a rebuild by that id.
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
namespace vorn_ui::widget::button {
class Button;
}
namespace vorn_ui::widget::text {
class Text;
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
    [[nodiscard]] std::string view_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    // Writes the model's values into the built view; true when anything shown changed.
    bool show_values();

    // The widgets whose values follow the model, in the order of the model's lists when the view was built.
    struct QueueWidgets {
        vorn_ui::widget::badge::Badge* badge = nullptr;
        vorn_ui::widget::button::Button* enabled = nullptr;
        vorn_ui::widget::text::Text* summary = nullptr;
        vorn_ui::widget::text::Text* supplies = nullptr;
    };
    struct JobWidgets {
        vorn_ui::widget::text::Text* details = nullptr;
        vorn_ui::widget::text::Text* progress = nullptr;
    };
    struct ScannerWidgets {
        vorn_ui::widget::text::Text* description = nullptr;
        vorn_ui::widget::text::Text* device = nullptr;
    };
    struct View {
        vorn_ui::widget::text::Text* attention = nullptr;
        vorn_ui::widget::button::Button* refresh = nullptr;
        vorn_ui::widget::button::Button* discover = nullptr;
        vorn_ui::widget::text::Text* nearby_notice = nullptr;  // only while nothing was found
        std::vector<QueueWidgets> queues;
        std::vector<vorn_ui::widget::text::Text*> nearby_details;
        std::vector<JobWidgets> jobs;
        std::vector<ScannerWidgets> scanners;
    };

    PrintersModel model_;
    page_doc::Document own_document_;
    View view_;
};

[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_printers_pane(operations::OperationRequestCell requests,
                                                                   operations::OperationStatusCell status);

}  // namespace settings::panes::printers
