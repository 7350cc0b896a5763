#include "panes/printers/printers_pane.hpp"

#include "page_helpers/layout.hpp"
#include "panes/printers/printers_text.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>

#include <utility>

namespace settings::panes::printers {

namespace ph = page_helpers;
using vorn_ui::Badge;
using vorn_ui::Button;
using vorn_ui::Text;

namespace {

constexpr float name_size = 13.0f;
constexpr float detail_size = 11.0f;
constexpr float entry_spacing = 4.0f;
constexpr float header_spacing = 8.0f;

// Boxes the widget and keeps a pointer to it in `out`.
template <class W>
std::unique_ptr<W> keep(W&& widget, W*& out)
{
    auto box = std::make_unique<W>(std::forward<W>(widget));
    out = box.get();
    return box;
}

Text name_text(std::string_view text)
{
    return Text(std::string(text)).with_size(name_size);
}

Text detail_text(std::string_view text)
{
    return Text(std::string(text)).with_size(detail_size).caption();
}

Text caption_text(std::string_view text)
{
    return Text(std::string(text)).with_size(ph::kCaptionText).caption();
}

// A button whose press is written under its id.
Button press_button(const std::string& id, std::string_view label, std::string_view subject)
{
    return Button(id, std::string(label), id).with_accessible_description(std::string(subject));
}

vorn_ui::Tone state_tone(QueueState state)
{
    return vorn_ui::widget::badge::tone_of_kind(static_cast<std::uint8_t>(text::queue_state_tone(state)));
}

std::string_view refresh_label(const PrintersModel& model)
{
    return model.refreshing() ? text::refreshing_label : text::refresh_label;
}

std::string_view discover_label(const PrintersModel& model)
{
    return model.discovering() ? text::discovering_label : text::discover_label;
}

std::string_view nearby_notice(const PrintersModel& model)
{
    return model.discovering() ? text::searching : text::driverless_only;
}

// The id of a value text: "settings.printers.{kind}.{object id}".
std::string value_id(std::string_view kind, std::string_view id)
{
    return fmt::format("settings.printers.{}.{}", kind, id);
}

Text labelled(Text text, std::string_view kind, std::string_view id)
{
    return std::move(text).with_label(value_id(kind, id));
}

bool set_badge(Badge* badge, std::string_view label, vorn_ui::Tone tone)
{
    if (badge == nullptr || (badge->text() == label && badge->tone() == tone)) {
        return false;
    }
    badge->set_text(std::string(label));
    badge->set_tone(tone);
    return true;
}

// The id of the focused button below `widget`, empty when none has the focus.
std::string focused_control(const vorn_ui::Widget& widget)
{
    if (const auto* button = dynamic_cast<const Button*>(&widget); button != nullptr && button->is_focused()) {
        return button->id();
    }
    for (const vorn_ui::Widget* child : widget.children()) {
        if (std::string id = focused_control(*child); !id.empty()) {
            return id;
        }
    }
    return {};
}

bool has_focus(const vorn_ui::Widget& widget)
{
    return !focused_control(widget).empty();
}

// The control that takes the focus when the one that had it is gone from the new view: a removal's confirmation
// for its "Remove…" button, and back when the removal was dismissed or confirmed.
std::string counterpart(std::string_view id)
{
    const std::string remove_prefix = printer_action_id("remove", "");
    const std::string confirm_prefix = confirm_remove_id("");
    if (id.starts_with(remove_prefix)) {
        return confirm_remove_id(id.substr(remove_prefix.size()));
    }
    if (id.starts_with(confirm_prefix)) {
        return printer_action_id("remove", id.substr(confirm_prefix.size()));
    }
    return {};
}

}  // namespace

PrintersPane::PrintersPane(PrintersModel::Environment environment)
    : PreferencePane({"printers", "Printers", "Change printer settings"}), model_(std::move(environment))
{
}

PrintersPane::~PrintersPane() = default;

void PrintersPane::use_operation_requests(operations::OperationRequestCell cell)
{
    model_.use_operation_requests(std::move(cell));
}

void PrintersPane::use_operation_status(operations::OperationStatusCell cell)
{
    model_.use_operation_status(std::move(cell));
}

page_doc::Document& PrintersPane::working_document(page_doc::Document& caller)
{
    return model_.shares_requests() ? own_document_ : caller;
}

void PrintersPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    page_doc::Document& working = working_document(doc);
    // Presses made since the last pass reach the document first, so that the model acts on them now.
    if (content() != nullptr) {
        content()->sync(working, ctx);
    }
    model_.sync(working);
    if (model_.take_structure_dirty()) {
        values_stale_ = true;
        ctx.changed = true;
    }
    const std::string focused = content() != nullptr ? focused_control(*content()) : std::string();
    const std::uint64_t builds = view_builds();
    refresh_view(working, ctx);
    if (view_builds() != builds && !focused.empty() && !has_focus(*content())) {
        if (auto* next = control<Button>(counterpart(focused))) {
            next->set_focus(true);
        }
    }
}

std::optional<vorn_ui::Instant> PrintersPane::next_wake_deadline() const
{
    return model_.next_refresh_due();
}

std::string PrintersPane::structure_key() const
{
    std::string key = model_.status_text() ? "attention" : "";
    key += "|queues";
    for (const auto& queue : model_.queues()) {
        key += fmt::format(":{}/{}/{}", model_.queue_id(queue.name), queue.is_default,
                           model_.pending_remove() == queue.name);
    }
    key += "|nearby";
    for (const auto& printer : model_.discovered()) {
        key += ":" + model_.printer_id(printer.id);
    }
    key += "|jobs";
    for (const auto& job : model_.jobs()) {
        const auto buttons = text::job_buttons(job.state);
        key += fmt::format(":{}/{}/{}", model_.job_id(job.id), buttons.retry, buttons.cancel);
    }
    key += fmt::format("|scanners:{}", model_.scanners().size());
    return key;
}

std::unique_ptr<vorn_ui::Widget> PrintersPane::build_view()
{
    badges_.clear();
    values_stale_ = true;
    std::vector<ph::WidgetBox> cards;

    if (const auto& problem = model_.status_text()) {
        cards.push_back(ph::labelled_card(
            text::attention_title,
            ph::compact_stack(ph::widgets(labelled(caption_text(*problem), "attention", "text")))));
    }

    std::vector<ph::WidgetBox> queues;
    for (const auto& queue : model_.queues()) {
        const std::string& id = model_.queue_id(queue.name);
        auto header = vorn_ui::Row().with_spacing(header_spacing);
        header.push(name_text(queue.name));
        header.push(vorn_ui::Spacer::flexible());
        Badge* badge = nullptr;
        header.push(keep(Badge(std::string(text::queue_state_label(queue.state)), state_tone(queue.state)), badge));
        badges_.push_back(badge);
        if (!queue.is_default) {
            header.push(press_button(printer_action_id("default", id), text::make_default_label, queue.name));
        }
        header.push(press_button(printer_action_id("enabled", id), text::enabled_label(queue), queue.name));
        if (model_.pending_remove() == queue.name) {
            header.push(press_button(confirm_remove_id(id), text::confirm_remove_label, queue.name)
                            .with_style(vorn_ui::button_style::destructive));
        } else {
            header.push(press_button(printer_action_id("remove", id), text::remove_label, queue.name));
        }
        queues.push_back(vorn_ui::Column()
                             .with_spacing(entry_spacing)
                             .push(std::move(header))
                             .push(labelled(detail_text(text::queue_summary(queue)), "summary", id))
                             .push(labelled(detail_text(text::queue_supplies(queue)), "supplies", id))
                             .boxed());
    }
    if (queues.empty()) {
        queues.push_back(ph::caption(text::no_printers));
    }
    cards.push_back(vorn_ui::card::surface(text::printers_title,
                                           Button(std::string(refresh_key), std::string(refresh_label(model_)),
                                                  std::string(refresh_key))
                                               .boxed(),
                                           ph::compact_stack(std::move(queues)).boxed())
                        .boxed());

    std::vector<ph::WidgetBox> nearby;
    for (const auto& printer : model_.discovered()) {
        const std::string& id = model_.printer_id(printer.id);
        nearby.push_back(vorn_ui::Column()
                             .with_spacing(entry_spacing)
                             .push(vorn_ui::Row()
                                       .with_spacing(header_spacing)
                                       .push(name_text(printer.name))
                                       .push(vorn_ui::Spacer::flexible())
                                       .push(press_button(add_printer_id(id), text::add_label, printer.name)))
                             .push(labelled(detail_text(text::printer_detail(printer)), "detail", id))
                             .boxed());
    }
    if (nearby.empty()) {
        nearby.push_back(labelled(caption_text(nearby_notice(model_)), "nearby", "notice").boxed());
    }
    cards.push_back(vorn_ui::card::surface(text::nearby_title,
                                           Button(std::string(discover_key), std::string(discover_label(model_)),
                                                  std::string(discover_key))
                                               .boxed(),
                                           ph::compact_stack(std::move(nearby)).boxed())
                        .boxed());

    std::vector<ph::WidgetBox> jobs;
    for (const auto& job : model_.jobs()) {
        const std::string& id = model_.job_id(job.id);
        const std::string heading = text::job_heading(job);
        auto header = vorn_ui::Row().with_spacing(header_spacing);
        header.push(name_text(heading));
        header.push(vorn_ui::Spacer::flexible());
        const auto buttons = text::job_buttons(job.state);
        if (buttons.retry) {
            header.push(press_button(print_job_action_id("retry", id), text::retry_label, heading));
        }
        if (buttons.cancel) {
            header.push(press_button(print_job_action_id("cancel", id), text::cancel_label, heading));
        }
        jobs.push_back(vorn_ui::Column()
                           .with_spacing(entry_spacing)
                           .push(std::move(header))
                           .push(labelled(detail_text(text::job_details(job)), "job.details", id))
                           .push(labelled(detail_text(text::job_progress(job)), "job.progress", id))
                           .boxed());
    }
    if (jobs.empty()) {
        jobs.push_back(ph::caption(text::no_jobs));
    }
    cards.push_back(ph::labelled_card(text::activity_title, ph::compact_stack(std::move(jobs))));

    std::vector<ph::WidgetBox> scanners;
    for (std::size_t i = 0; i < model_.scanners().size(); ++i) {
        const ScannerEntry& scanner = model_.scanners()[i];
        const std::string index = std::to_string(i);
        scanners.push_back(vorn_ui::Column()
                               .with_spacing(entry_spacing)
                               .push(labelled(name_text(scanner.description), "scanner", index))
                               .push(labelled(detail_text(scanner.device), "scanner.device", index))
                               .boxed());
    }
    if (scanners.empty()) {
        scanners.push_back(ph::caption(text::no_scanners));
    }
    cards.push_back(ph::labelled_card(text::scanners_title, ph::compact_stack(std::move(scanners))));

    return ph::section_stack(std::move(cards)).boxed();
}

bool PrintersPane::show_values()
{
    if (!std::exchange(values_stale_, false)) {
        return false;
    }
    bool changed = false;
    if (const auto& problem = model_.status_text()) {
        changed |= show_text(value_id("attention", "text"), *problem);
    }
    changed |= show_caption(refresh_key, refresh_label(model_));
    changed |= show_caption(discover_key, discover_label(model_));
    changed |= show_text(value_id("nearby", "notice"), nearby_notice(model_));

    const auto& queues = model_.queues();
    for (std::size_t i = 0; i < queues.size(); ++i) {
        const PrintQueue& queue = queues[i];
        const std::string& id = model_.queue_id(queue.name);
        if (i < badges_.size()) {
            changed |= set_badge(badges_[i], text::queue_state_label(queue.state), state_tone(queue.state));
        }
        changed |= show_caption(printer_action_id("enabled", id), text::enabled_label(queue));
        changed |= show_text(value_id("summary", id), text::queue_summary(queue));
        changed |= show_text(value_id("supplies", id), text::queue_supplies(queue));
    }
    for (const auto& printer : model_.discovered()) {
        changed |= show_text(value_id("detail", model_.printer_id(printer.id)), text::printer_detail(printer));
    }
    for (const auto& job : model_.jobs()) {
        const std::string& id = model_.job_id(job.id);
        changed |= show_text(value_id("job.details", id), text::job_details(job));
        changed |= show_text(value_id("job.progress", id), text::job_progress(job));
    }
    const auto& scanners = model_.scanners();
    for (std::size_t i = 0; i < scanners.size(); ++i) {
        changed |= show_text(value_id("scanner", std::to_string(i)), scanners[i].description);
        changed |= show_text(value_id("scanner.device", std::to_string(i)), scanners[i].device);
    }
    return changed;
}

bool PrintersPane::show_caption(std::string_view id, std::string_view caption)
{
    auto* button = control<Button>(id);
    if (button == nullptr || button->caption() == caption) {
        return false;
    }
    button->set_caption(std::string(caption));
    return true;
}

std::unique_ptr<vorn_ui::Widget> boxed_printers_pane(operations::OperationRequestCell requests,
                                                     operations::OperationStatusCell status)
{
    auto pane = std::make_unique<PrintersPane>();
    pane->use_operation_requests(std::move(requests));
    pane->use_operation_status(std::move(status));
    return pane;
}

}  // namespace settings::panes::printers
