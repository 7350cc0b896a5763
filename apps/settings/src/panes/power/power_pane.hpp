#pragma once
// The Power page: the cards of power_cards.hpp as widgets over the PowerModel.
//
// Every control follows its document key in the document the model works on (the page's own while it takes the
// application's requests) and is bound to its action of the Power section; a change from a control reaches the
// model either through that document (without the application's cells) or as the operation its action starts.
// The view is built once; its values change in place (the controls by their document keys, the value rows,
// captions, charge bar and history by show_values()), and it is built anew only when a card, a row or a caption
// appears or goes (a reading arrives, a notice shows), the focused control then found again by its id.
//
//   PowerPane().with_operation_requests(app.requests).with_operation_status(app.status)

#include "operations/cells.hpp"
#include "panes/power/power_cards.hpp"
#include "panes/power/power_model.hpp"
#include "panes/preference_pane/pane_base.hpp"
#include "vorn_ui/widgets/progress_bar.hpp"
#include "vorn_ui/widgets/sparkline.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace settings::panes::power {

class PowerPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::power::PowerPane", "PowerPane")

    // The machine's backends, real workers and the settings file unless the environment says otherwise.
    explicit PowerPane(PowerModel::Environment environment = {});

    // The application's cells in place of the page's own.
    [[nodiscard]] PowerPane with_operation_requests(const operations::OperationRequestCell& cell) &&;
    [[nodiscard]] PowerPane with_operation_status(const operations::OperationStatusCell& cell) &&;

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] const PowerModel& model() const { return *model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    std::unique_ptr<PowerModel> model_;
    std::vector<Card> cards_;  // what the view shows, from the last sync
    // The battery's bar and charge history in the built view (null when it has none).
    vorn_ui::ProgressBar* bar_ = nullptr;
    vorn_ui::Sparkline* history_ = nullptr;
};

// The page as the pane factory builds it, taking the application's two cells.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_power_pane(const operations::OperationRequestCell& requests,
                                                                const operations::OperationStatusCell& status);

// Which rows the cards have: titles, the kind of every item, the rows' titles, the controls' ids and choices; no
// value (no value text, caption text, charge, history, placeholder or switch state).
[[nodiscard]] std::string view_structure(const std::vector<Card>& cards);
// The id of the text that shows the value of item `item` of card `card` (a value row's value, a caption).
[[nodiscard]] std::string value_text_id(std::size_t card, std::size_t item);

}  // namespace settings::panes::power
