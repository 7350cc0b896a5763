#include "panes/time_date/time_date_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "actions/payloads/system.hpp"
#include "page_helpers/layout.hpp"
#include "panes/time_date/time_zone_map.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>

#include <utility>

namespace settings::panes::time_date {

namespace {

namespace ph = page_helpers;
namespace cat = actions::catalogue;

// Whether the operation key names an operation of this section.
bool is_time_date_key(std::string_view key)
{
    constexpr std::string_view kind = actions::TimeDateOperation::kind;
    return key.starts_with(kind) && key.substr(kind.size()).starts_with(':');
}

ph::WidgetBox toggle_row(std::string_view title, std::string_view id, bool on,
                         vorn_actions::ActionBinding<bool> action)
{
    auto toggle = vorn_ui::Toggle(std::string(id), std::string())
                      .with_id(std::string(id))
                      .with_label(std::string(title))
                      .with_value(on)
                      .on_action(std::move(action));
    return ph::setting_row(title, std::move(toggle).boxed());
}

TimeDateModel::Options starting_from(TimeDateModel::Options options, const LastTimeDateRead* last)
{
    if (last != nullptr && !options.last_known) {
        options.last_known = last->snapshot;
    }
    return options;
}

}  // namespace

TimeDatePane::TimeDatePane(TimeDateModel::Options options, std::shared_ptr<LastTimeDateRead> last)
    : PreferencePane({"time-date", "Time & date", "Change time and date preferences"}),
      last_(std::move(last)),
      model_(starting_from(std::move(options), last_.get()))
{
}

TimeDatePane::~TimeDatePane() = default;

void TimeDatePane::follow_operation_status(operations::OperationStatusCell cell)
{
    operation_status_ = std::move(cell);
    status_seen_ = operation_status_.version();
    // The page is built anew after each operation of its section: the outcome of the one that just ended is in
    // the cell already.
    const operations::OperationStatus status = operation_status_.get();
    if (is_time_date_key(status.key) && status.state == operations::OperationStatus::State::Failed) {
        notice_ = status.message;
    }
}

void TimeDatePane::follow_outcome()
{
    const std::uint64_t version = operation_status_.version();
    if (version == status_seen_) {
        return;
    }
    status_seen_ = version;
    const operations::OperationStatus status = operation_status_.get();
    if (!is_time_date_key(status.key)) {
        return;
    }
    using State = operations::OperationStatus::State;
    if (status.state == State::Failed) {
        notice_ = status.message;
    } else if (status.state == State::Done) {
        notice_.reset();
    } else {
        return;
    }
    // What is in force now, whether the change took or not.
    model_.refresh();
}

void TimeDatePane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    follow_outcome();
    if (model_.sync(ctx.now)) {
        ctx.changed = true;
    }
    if (last_ && model_.reads() != read_kept_) {
        read_kept_ = model_.reads();
        last_->snapshot = model_.snapshot();
    }
    refresh_view(doc, ctx);
}

std::optional<vorn_ui::Instant> TimeDatePane::next_wake_deadline() const
{
    return model_.next_wake_deadline();
}

std::string TimeDatePane::structure_key() const
{
    return fmt::format("{}|{}", model_.loaded() ? "map" : "loading", notice_.has_value() ? "notice" : "");
}

std::unique_ptr<vorn_ui::Widget> TimeDatePane::build_view()
{
    const cat::SectionBindings bindings = cat::time_date_bindings();
    const bool loaded = model_.loaded();
    const std::string zone(model_.current_zone());

    std::vector<ph::WidgetBox> clock;
    clock.push_back(toggle_row(text::kAutomaticTime, text::kAutoToggleId, model_.auto_time(),
                               bindings.toggle("automatic-time")));
    clock.push_back(toggle_row(text::kHour24, text::kHour24ToggleId, model_.clock_h24(), bindings.toggle("24-hour")));
    auto zones = vorn_ui::Dropdown(std::string(text::kZoneDropdownId), model_.zones())
                     .with_label(std::string(text::kTimeZone))
                     .with_placeholder(loaded ? zone : std::string(text::kLoading))
                     .on_action(bindings.choice("timezone"));
    if (loaded) {
        zones = std::move(zones).with_selected(zone);
    }
    clock.push_back(ph::setting_row_fixed(text::kTimeZone, std::move(zones).boxed()));
    clock.push_back(ph::value_row(text::kCurrentTime, model_.current_time_text(), text::kCurrentTimeId));
    clock.push_back(ph::value_row(text::kCurrentDate, model_.current_date_text(), text::kCurrentDateId));
    if (notice_) {
        clock.push_back(ph::caption(*notice_, text::kNoticeId));
    }

    std::vector<ph::WidgetBox> map;
    map_ = nullptr;
    if (loaded) {
        auto widget = TimeZoneMap(model_.cities(), zone).with_action(bindings.choice("timezone")).boxed();
        map_ = static_cast<TimeZoneMap*>(widget.get());
        map.push_back(std::move(widget));
        map.push_back(ph::caption(model_.map_caption(), text::kMapCaptionId));
    } else {
        map.push_back(ph::caption(text::kLoading, text::kMapCaptionId));
    }

    auto source = ph::widgets(ph::value_row(text::kSynchronization, model_.synchronization(), text::kSynchronizationId),
                              ph::value_row(text::kSource, model_.source(), text::kSourceId),
                              ph::caption(text::kSourceCaption));
    auto display = ph::widgets(ph::value_row(text::kClockFormat, model_.clock_format(), text::kClockFormatId),
                               ph::caption(text::kDisplayCaption));

    read_shown_ = model_.reads();
    zone_shown_ = zone;
    return std::make_unique<vorn_ui::Column>(ph::section_stack(ph::widgets(
        ph::labelled_card(text::kClockCard, ph::compact_stack(std::move(clock))),
        ph::labelled_card(text::kMapCard, ph::compact_stack(std::move(map))),
        ph::labelled_card(text::kSourceCard, ph::compact_stack(std::move(source))),
        ph::labelled_card(text::kDisplayCard, ph::compact_stack(std::move(display))))));
}

bool TimeDatePane::join_zone_pickers()
{
    auto* list = control<vorn_ui::Dropdown>(text::kZoneDropdownId);
    if (list == nullptr || map_ == nullptr) {
        return false;
    }
    bool changed = false;
    if (map_->current_zone() != zone_shown_) {
        zone_shown_ = map_->current_zone();
        changed |= show_choice(text::kZoneDropdownId, zone_shown_);
    } else if (!list->selected().empty() && list->selected() != zone_shown_) {
        zone_shown_ = list->selected();
        changed |= map_->show_zone(zone_shown_);
    }
    return changed;
}

bool TimeDatePane::show_values()
{
    bool changed = false;
    if (model_.loaded() && read_shown_ != model_.reads()) {
        // A read arrived: the controls show what is in force, a change the system refused included.
        read_shown_ = model_.reads();
        const std::string zone(model_.current_zone());
        changed |= show_toggle(text::kAutoToggleId, model_.auto_time());
        changed |= show_toggle(text::kHour24ToggleId, model_.clock_h24());
        changed |= show_choices(text::kZoneDropdownId, model_.zones());
        changed |= show_choice(text::kZoneDropdownId, zone);
        if (map_ != nullptr) {
            changed |= map_->set_cities(model_.cities());
            changed |= map_->show_zone(zone);
        }
        zone_shown_ = zone;
    }
    changed |= join_zone_pickers();
    if (last_ && last_->snapshot && model_.loaded()) {
        // A page built anew starts from what the user chose last, not from the read before the choice.
        last_->snapshot->current_zone = zone_shown_;
        if (const auto* toggle = control<vorn_ui::Toggle>(text::kAutoToggleId)) {
            last_->snapshot->auto_time = toggle->value();
        }
    }

    changed |= show_text(text::kCurrentTimeId, model_.current_time_text());
    changed |= show_text(text::kCurrentDateId, model_.current_date_text());
    changed |= show_text(text::kSynchronizationId, model_.synchronization());
    changed |= show_text(text::kSourceId, model_.source());
    changed |= show_text(text::kClockFormatId, model_.clock_format());
    changed |= show_text(text::kMapCaptionId, model_.loaded() ? model_.map_caption() : std::string(text::kLoading));
    if (notice_) {
        changed |= show_text(text::kNoticeId, *notice_);
    }
    return changed;
}

std::unique_ptr<vorn_ui::Widget> boxed_time_date_pane(const operations::OperationStatusCell& status)
{
    static const auto last = std::make_shared<LastTimeDateRead>();
    auto pane = std::make_unique<TimeDatePane>(TimeDateModel::Options{}, last);
    pane->follow_operation_status(status);
    return pane;
}

}  // namespace settings::panes::time_date
