#pragma once
// The Displays page: the outputs, brightness and Night Light, one card per output, and the card of the staged,
// confirmed apply, as widgets over the DisplayModel.
//
// Every control follows its document key in the document the model works on (the page's own while it takes the
// application's requests) and is bound to its action of the Displays section or of its output's resource. The view
// is built once; its values change in place (the controls by their document keys; the outputs' states, the HDR and
// VRR texts, the transaction card's caption with its countdown and the page's notice by show_values()), and it is
// built anew only when a card, a row or a choice list appears or goes (an output comes or goes, the sensor probe
// answers, the transaction card changes its kind), the focused control then found again by its id.
//
// The page wakes itself while something is on its way (the probe, a brightness change, a transaction being applied
// or counted down) and once a second otherwise, for the output snapshot the compositor rewrites.
//
//   DisplayPane::create().with_operation_requests(app.requests).with_operation_status(app.status)

#include "operations/cells.hpp"
#include "panes/display/display_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::display {

// The ids of the texts show_values() changes in place.
[[nodiscard]] std::string output_state_text_id(std::string_view connector);  // "Active · primary", ...
[[nodiscard]] std::string output_hdr_text_id(std::string_view connector);
[[nodiscard]] std::string output_vrr_text_id(std::string_view connector);
inline constexpr std::string_view kTransactionCaptionId = "display.text.transaction";
inline constexpr std::string_view kNoticeId = "display.text.notice";
inline constexpr std::string_view kPageClosedSentence = "The Displays page closed before the change was carried out.";

class DisplayPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::display::DisplayPane", "DisplayPane")

    explicit DisplayPane(DisplayModel model);
    DisplayPane(DisplayPane&&) noexcept = default;
    DisplayPane& operator=(DisplayPane&&) noexcept = default;
    // An operation the page took and has not answered fails with kPageClosedSentence.
    ~DisplayPane() override;
    // The page over the machine: the real backends and the probe and apply workers.
    [[nodiscard]] static DisplayPane create();

    // The application's cells in place of the page's own.
    [[nodiscard]] DisplayPane with_operation_requests(const operations::OperationRequestCell& cell) &&;
    [[nodiscard]] DisplayPane with_operation_status(const operations::OperationStatusCell& cell) &&;

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] std::optional<vorn_ui::Instant> next_wake_deadline() const override;
    // The Displays page publishes no search descriptor of its own (the toolkit's default).
    std::optional<vorn_actions::ActionContext> pane_descriptor() override { return Widget::pane_descriptor(); }

    [[nodiscard]] const DisplayModel& model() const { return *model_; }
    // The last failure the page reports beside its controls (cleared by a later success).
    [[nodiscard]] const std::optional<std::string>& notice() const { return notice_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    std::unique_ptr<DisplayModel> model_;
    operations::OperationRequestCell requests_{std::nullopt};
    operations::OperationStatusCell status_{operations::OperationStatus::idle()};
    bool requests_attached_ = false;
    bool status_attached_ = false;
    page_doc::Document own_doc_;
    TransactionCard card_;  // from the last sync
    std::optional<std::string> notice_;
};

// The page as the pane factory builds it, taking the application's two cells; over the fixed sample output (one
// built-in panel at 62 %) when `sample` is set.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_display_pane(const operations::OperationRequestCell& requests,
                                                                  const operations::OperationStatusCell& status,
                                                                  bool sample = false);

}  // namespace settings::panes::display
