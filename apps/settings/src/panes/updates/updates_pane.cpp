#include "panes/updates/updates_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "actions/contract.hpp"
#include "page_helpers/layout.hpp"
#include "panes/updates/updates_text.hpp"
#include "vorn_ui/widgets.hpp"
#include "vorn_ui/widgets/card.hpp"

#include <fmt/format.h>

#include <utility>

namespace settings::panes::updates {

namespace {

namespace ph = page_helpers;
namespace cat = actions::catalogue;
using vorn_ui::Button;
using vorn_ui::Text;
using WidgetBox = ph::WidgetBox;

constexpr float heading_size = 15.0f;
const std::vector<std::string> schedule_choices{"System schedule", "Daily", "Weekly"};

// Every control is bound to its action; one the contract lacks stops the program with its own sentence.
template <class T>
vorn_actions::ActionBinding<T> required(cat::Binding<T> binding, std::string_view missing)
{
    if (!binding) {
        actions::contract_violation(missing);
    }
    return std::move(*binding);
}

// A button bound to the parameterless Updates action of that name.
WidgetBox update_action_button(std::string_view id, std::string_view label, std::string_view action)
{
    return Button(std::string(id), std::string(label))
        .on_action(required(cat::updates_unit_binding(action), missing_action_message(action)))
        .boxed();
}

WidgetBox update_action_button(const ActionButton& button)
{
    return update_action_button(button.id, button.label, button.action);
}

// The button at the start of a row of its own.
WidgetBox button_row(WidgetBox button)
{
    return vorn_ui::Row().push(std::move(button)).push(vorn_ui::Spacer::flexible()).boxed();
}

WidgetBox body_text(std::string_view text, std::string_view id = {})
{
    auto widget = Text(std::string(text)).with_size(ph::kBodyText);
    if (!id.empty()) {
        widget = std::move(widget).with_label(std::string(id));
    }
    return std::move(widget).boxed();
}

WidgetBox card(std::string_view title, std::vector<WidgetBox> body)
{
    return ph::labelled_card(title, ph::compact_stack(std::move(body)));
}

bool query_failed(const UpdatesModel& model) { return !model.firmware_updates().has_value(); }

// Which stage the install state is in: 0 nothing, 1 under way, 2 finished, 3 finished and wants a restart.
int install_stage(const FirmwareInstallProgress& progress)
{
    if (std::holds_alternative<FirmwareInstallProgress::Progress>(progress.value)) {
        return 1;
    }
    if (const auto* finished = std::get_if<FirmwareInstallProgress::Finished>(&progress.value)) {
        return finished->restart_required ? 3 : 2;
    }
    return 0;
}

const FirmwareInstallProgress::Progress* progress_of(const UpdatesModel& model)
{
    return std::get_if<FirmwareInstallProgress::Progress>(&model.install_progress().value);
}

// "Device firmware": the rows of each state of the query and of an installation.
void firmware_rows(const UpdatesModel& model, std::vector<WidgetBox>& body, vorn_ui::ProgressBar*& bar)
{
    const auto& updates = model.firmware_updates();
    if (!updates) {
        body.push_back(ph::value_row("Status", firmware_query_failed));
        body.push_back(ph::caption(fwupd_reported(updates.error()), text_id("firmware.error")));
        body.push_back(button_row(update_action_button(
            firmware_refresh_button_id, firmware_refresh_label(true, model.refresh_running()), firmware_refresh_action)));
        return;
    }
    const int stage = install_stage(model.install_progress());
    if (updates->empty()) {
        body.push_back(body_text(firmware_up_to_date));
        body.push_back(button_row(update_action_button(firmware_refresh_button_id,
                                                       firmware_refresh_label(false, model.refresh_running()),
                                                       firmware_refresh_action)));
        if (stage == 3) {
            body.push_back(ph::setting_row("Activation", update_action_button(firmware_restart_button)));
        }
        return;
    }
    for (std::size_t i = 0; i < updates->size(); ++i) {
        const FirmwareUpdate& update = (*updates)[i];
        body.push_back(ph::value_row(update.device, firmware_update_value(update), text_id("firmware.update", i)));
    }
    const auto captions = firmware_update_captions(*updates);
    for (std::size_t i = 0; i < captions.size(); ++i) {
        body.push_back(ph::caption(captions[i], text_id("firmware.note", i)));
    }
    body.push_back(ph::caption(firmware_safety_caption));
    const auto state = install_state_row(model.install_progress());
    if (!state) {
        body.push_back(button_row(update_action_button(firmware_install_button)));
        return;
    }
    if (const auto* progress = progress_of(model)) {
        auto widget = std::make_unique<vorn_ui::ProgressBar>(static_cast<double>(progress->percent) / 100.0);
        bar = widget.get();
        body.push_back(std::move(widget));
        body.push_back(ph::value_row(state->label, state->value));
        body.push_back(ph::caption(progress->text, text_id("firmware.progress")));
        return;
    }
    body.push_back(ph::value_row(state->label, state->value));
    if (stage == 3) {
        body.push_back(button_row(update_action_button(firmware_restart_button)));
    }
}

// "Details": the versions, then each policy as its control or as the sentence saying it is not available here.
std::vector<WidgetBox> details_rows(const UpdatesModel& model)
{
    std::vector<WidgetBox> body;
    body.push_back(ph::value_row("Current version", model.os_info().name, text_id("version")));
    body.push_back(ph::value_row("Last checked", model.prefs().last_checked, text_id("last-checked")));
    body.push_back(ph::value_row("Release channel", release_channel_value));
    if (model.timer_state()) {
        auto toggle = vorn_ui::Toggle(std::string(auto_toggle_id), std::string(auto_key))
                          .with_id(std::string(auto_key))
                          .with_label("Automatic updates")
                          .on_action(required(cat::updates_toggle_binding(auto_action), missing_automatic_binding));
        body.push_back(ph::setting_row("Automatic updates", std::move(toggle).boxed()));
    } else {
        body.push_back(ph::value_row("Automatic updates", unavailable_here));
    }
    if (model.schedule()) {
        auto dropdown = vorn_ui::Dropdown(std::string(schedule_dropdown_id), schedule_choices)
                            .with_key(std::string(schedule_key))
                            .with_placeholder(*model.schedule())
                            .with_label("Download schedule")
                            .on_action(required(cat::updates_choice_binding(), missing_schedule_binding));
        body.push_back(ph::setting_row_fixed("Download schedule", std::move(dropdown).boxed()));
    } else {
        body.push_back(ph::value_row("Download schedule", unavailable_here));
    }
    if (model.metered_allowed()) {
        auto toggle = vorn_ui::Toggle(std::string(metered_toggle_id), std::string(metered_key))
                          .with_id(std::string(metered_key))
                          .with_label("Download on metered connections")
                          .on_action(required(cat::updates_toggle_binding(metered_action), missing_metered_binding));
        body.push_back(ph::setting_row("Download on metered connections", std::move(toggle).boxed()));
    } else {
        body.push_back(ph::value_row("Metered connections", policy_unavailable));
    }
    body.push_back(button_row(
        update_action_button(check_button_id, check_button_label(model.check_running()), check_action)));
    return body;
}

// "Go back to the previous image": the second text as a heading, the others as paragraphs, the stage's button.
WidgetBox rollback_card(const UpdatesModel& model)
{
    RollbackCard view = rollback_confirmation_view(model.rollback_image(), model.review_open());
    std::vector<WidgetBox> body;
    const std::size_t texts = view.texts.size() - (view.button == RollbackCard::Button::None ? 0 : 1);
    for (std::size_t i = 1; i < texts; ++i) {
        if (i == 1) {
            body.push_back(Text(view.texts[i]).with_size(heading_size).medium().with_label(text_id("rollback")).boxed());
        } else {
            body.push_back(body_text(view.texts[i]));
        }
    }
    if (view.button == RollbackCard::Button::Review) {
        body.push_back(button_row(update_action_button(rollback_button)));
    } else if (view.button == RollbackCard::Button::Confirm) {
        body.push_back(button_row(update_action_button(rollback_confirm_button)));
    }
    return card(view.texts.front(), std::move(body));
}

// What tells one rollback stage from another (the image's name is a value).
std::string_view rollback_stage(const UpdatesModel& model)
{
    const RollbackStatus& rollback = model.rollback_image();
    if (!rollback) {
        return "unread";
    }
    if (!rollback->has_value()) {
        return "none";
    }
    return model.review_open() ? "review" : "offer";
}

}  // namespace

std::string text_id(std::string_view part) { return fmt::format("updates.text.{}", part); }
std::string text_id(std::string_view part, std::size_t index) { return fmt::format("updates.text.{}.{}", part, index); }

UpdatesPane::UpdatesPane(UpdatesEnvironment environment)
    : PreferencePane({"updates", "Updates", "Check for system updates"}),
      model_(std::make_unique<UpdatesModel>(std::move(environment)))
{
}

UpdatesPane::~UpdatesPane() = default;
UpdatesPane::UpdatesPane(UpdatesPane&&) noexcept = default;
UpdatesPane& UpdatesPane::operator=(UpdatesPane&&) noexcept = default;

UpdatesPane UpdatesPane::with_operation_requests(const operations::OperationRequestCell& cell) &&
{
    model_->share_operation_requests(cell);
    return std::move(*this);
}

UpdatesPane UpdatesPane::with_operation_status(const operations::OperationStatusCell& cell) &&
{
    model_->share_operation_status(cell);
    return std::move(*this);
}

void UpdatesPane::sync(page_doc::Document& /*doc*/, vorn_ui::SyncContext& ctx)
{
    // The controls follow the model's own document: the model writes its state into it at every pass, and what a
    // control changes reaches the model as the operation of its action.
    model_->sync();
    if (model_->take_structure_dirty()) {
        ctx.changed = true;
    }
    refresh_view(model_->document(), ctx);
}

bool UpdatesPane::needs_redraw() const { return model_->needs_redraw() || PreferencePane::needs_redraw(); }

// The page holds nothing to commit: the search entry is whatever its controls answer.
std::optional<vorn_actions::ActionContext> UpdatesPane::pane_descriptor() { return vorn_ui::Widget::pane_descriptor(); }

std::string UpdatesPane::structure_key() const
{
    const UpdatesModel& model = *model_;
    if (model.loading()) {
        return "loading";
    }
    const OsInfo& os = model.os_info();
    std::string key = fmt::format("status:{}/{}|os:{}/{}", model.status_line().has_value(), model.status_failed(),
                                  os.staged.has_value(), os.image_error.has_value());
    if (const auto& updates = model.firmware_updates()) {
        key += fmt::format("|firmware:{}", updates->size());
        for (const auto& update : *updates) {
            key += fmt::format("/{}:{}:{}", update.device, update.note.has_value(), !update.prerequisites.empty());
        }
    } else {
        key += "|firmware:failed";
    }
    key += fmt::format("|install:{}", install_stage(model.install_progress()));
    key += "|history";
    for (const auto& row : firmware_history_rows(model.firmware_history())) {
        key += fmt::format("/{}:{}", row.row.label, row.caption.has_value());
    }
    key += fmt::format("|policy:{}/{}/{}", model.timer_state().has_value(), model.schedule().has_value(),
                       model.metered_allowed().has_value());
    key += fmt::format("|notes:{}|journal:{}|rollback:{}", model.service_status().release_notes.has_value(),
                       journal_captions(model.service_status()).size(), rollback_stage(model));
    return key;
}

std::unique_ptr<vorn_ui::Widget> UpdatesPane::build_view()
{
    const UpdatesModel& model = *model_;
    bar_ = nullptr;
    std::vector<WidgetBox> cards;
    if (model.loading()) {
        cards.push_back(ph::caption(loading_text));
        return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
    }

    if (const auto& status = model.status_line()) {
        cards.push_back(card(status_card_title(model.status_failed()), ph::widgets(body_text(*status, text_id("status")))));
    }

    {
        std::vector<WidgetBox> body;
        body.push_back(ph::value_row("Operating system", operating_system_summary(model.os_info())));
        if (const auto firmware = firmware_summary(model.firmware_updates())) {
            body.push_back(ph::value_row("Device firmware", *firmware, text_id("overview.firmware")));
        }
        cards.push_back(card("Update overview", std::move(body)));
    }

    {
        const SoftwareUpdatesCard software = software_updates_card(model.os_info());
        std::vector<WidgetBox> body;
        body.push_back(body_text(software.text, text_id("software")));
        if (software.caption) {
            body.push_back(ph::caption(*software.caption));
        }
        if (software.restart_button) {
            body.push_back(button_row(update_action_button(restart_button)));
        }
        cards.push_back(card("Software updates", std::move(body)));
    }

    {
        std::vector<WidgetBox> body;
        firmware_rows(model, body, bar_);
        cards.push_back(card("Device firmware", std::move(body)));
    }

    if (const auto history = firmware_history_rows(model.firmware_history()); !history.empty()) {
        std::vector<WidgetBox> body;
        for (std::size_t i = 0; i < history.size(); ++i) {
            body.push_back(ph::value_row(history[i].row.label, history[i].row.value, text_id("history", i)));
            if (history[i].caption) {
                body.push_back(ph::caption(*history[i].caption, text_id("history.error", i)));
            }
        }
        cards.push_back(card("Firmware history", std::move(body)));
    }

    cards.push_back(card("Details", details_rows(model)));

    {
        const UpdateServiceStatus& service = model.service_status();
        std::vector<WidgetBox> body;
        body.push_back(ph::value_row("Rollback health", rollback_health(service), text_id("health")));
        body.push_back(ph::value_row("Release notes", release_notes_value(service), text_id("release-notes")));
        const auto journal = journal_captions(service);
        for (std::size_t i = 0; i < journal.size(); ++i) {
            body.push_back(ph::caption(journal[i], text_id("journal", i)));
        }
        cards.push_back(card("History & recovery health", std::move(body)));
    }

    cards.push_back(rollback_card(model));

    {
        std::vector<WidgetBox> body;
        for (const std::string_view paragraph : updates_intro_paragraphs()) {
            body.push_back(body_text(paragraph));
        }
        cards.push_back(card("How updates work", std::move(body)));
    }
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

bool UpdatesPane::show_values()
{
    const UpdatesModel& model = *model_;
    if (model.loading()) {
        return false;
    }
    bool changed = false;
    if (const auto& status = model.status_line()) {
        changed |= show_text(text_id("status"), *status);
    }
    changed |= show_text(text_id("software"), software_updates_card(model.os_info()).text);
    if (const auto& updates = model.firmware_updates()) {
        for (std::size_t i = 0; i < updates->size(); ++i) {
            changed |= show_text(text_id("firmware.update", i), firmware_update_value((*updates)[i]));
        }
        const auto captions = firmware_update_captions(*updates);
        for (std::size_t i = 0; i < captions.size(); ++i) {
            changed |= show_text(text_id("firmware.note", i), captions[i]);
        }
        if (const auto firmware = firmware_summary(updates)) {
            changed |= show_text(text_id("overview.firmware"), *firmware);
        }
    } else {
        changed |= show_text(text_id("firmware.error"), fwupd_reported(updates.error()));
    }
    changed |= show_caption(firmware_refresh_button_id,
                            firmware_refresh_label(query_failed(model), model.refresh_running()));
    if (const auto* progress = progress_of(model)) {
        changed |= show_text(text_id("firmware.progress"), progress->text);
        const double fraction = static_cast<double>(progress->percent) / 100.0;
        if (bar_ != nullptr && bar_->fraction() != fraction) {
            bar_->set_fraction(fraction);
            changed = true;
        }
    }
    const auto history = firmware_history_rows(model.firmware_history());
    for (std::size_t i = 0; i < history.size(); ++i) {
        changed |= show_text(text_id("history", i), history[i].row.value);
        if (history[i].caption) {
            changed |= show_text(text_id("history.error", i), *history[i].caption);
        }
    }
    changed |= show_text(text_id("version"), model.os_info().name);
    changed |= show_text(text_id("last-checked"), model.prefs().last_checked);
    changed |= show_caption(check_button_id, check_button_label(model.check_running()));
    const UpdateServiceStatus& service = model.service_status();
    changed |= show_text(text_id("health"), rollback_health(service));
    changed |= show_text(text_id("release-notes"), release_notes_value(service));
    const auto journal = journal_captions(service);
    for (std::size_t i = 0; i < journal.size(); ++i) {
        changed |= show_text(text_id("journal", i), journal[i]);
    }
    const RollbackCard rollback = rollback_confirmation_view(model.rollback_image(), model.review_open());
    if (rollback.texts.size() > 1) {
        changed |= show_text(text_id("rollback"), rollback.texts[1]);
    }
    return changed;
}

bool UpdatesPane::show_caption(std::string_view id, std::string_view caption)
{
    auto* button = control<Button>(id);
    if (button == nullptr || button->caption() == caption) {
        return false;
    }
    button->set_caption(std::string(caption));
    return true;
}

std::unique_ptr<vorn_ui::Widget> boxed_updates_pane(const operations::OperationRequestCell& requests,
                                                    const operations::OperationStatusCell& status)
{
    return std::make_unique<UpdatesPane>(UpdatesPane().with_operation_requests(requests).with_operation_status(status));
}

}  // namespace settings::panes::updates
