#pragma once
// The Time & Date page: automatic time, the 24-hour clock, the time zone (a drop-down of every accepted zone and
// the time-zone map), the current time and date, the state of time synchronisation and the clock format.
//
// The page changes nothing on the machine: its three controls are bound to the actions "automatic-time",
// "24-hour" and "timezone" of the Time & Date section, whose operations the application's runner applies itself.
// The page follows the application's operation-status cell: when an operation of this section ends, it reads the
// time service and the clock format again (on the model's worker) and puts what is in force back into its
// controls, so a change the system refused goes back, and says why below the clock.
//
// The view is built once the first read of the time service has arrived (until then the map card says "Loading…")
// and is built anew only when the notice below the clock appears or goes; everything else changes in place: the
// toggles, the drop-down and the map from each read, the clock texts every minute (the page wakes the loop at the
// next minute, and at no other time). A pick on the map shows in the drop-down at once, and a choice in the
// drop-down on the map.
//
//   auto page = std::make_unique<TimeDatePane>();
//   page->follow_operation_status(context.operation_status);

#include "operations/cells.hpp"
#include "panes/preference_pane/pane_base.hpp"
#include "panes/time_date/time_date_model.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::time_date {

class TimeZoneMap;

namespace text {
inline constexpr std::string_view kLoading = "Loading…";
// The ids of the texts the page changes in place.
inline constexpr std::string_view kCurrentTimeId = "time.text.current_time";
inline constexpr std::string_view kCurrentDateId = "time.text.current_date";
inline constexpr std::string_view kMapCaptionId = "time.text.map_caption";
inline constexpr std::string_view kSynchronizationId = "time.text.synchronization";
inline constexpr std::string_view kSourceId = "time.text.source";
inline constexpr std::string_view kClockFormatId = "time.text.clock_format";
inline constexpr std::string_view kNoticeId = "time.text.notice";
}  // namespace text

// What the last page read and the user chose since, kept for the next page (the runner builds the page anew after
// each operation of its section), so that it shows the map and the controls at once instead of a moment of
// "Loading…" and the zone before the pick. UI thread only.
struct LastTimeDateRead {
    std::optional<TimeDateSnapshot> snapshot;
};

class TimeDatePane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::time_date::TimeDatePane", "TimeDatePane")

    // The machine's time service and tzdata unless the options say otherwise; starting from `last` (and keeping it
    // up to date) when given.
    explicit TimeDatePane(TimeDateModel::Options options = {}, std::shared_ptr<LastTimeDateRead> last = nullptr);
    ~TimeDatePane() override;

    // Follows the application's operation-status cell instead of the page's own idle one.
    void follow_operation_status(operations::OperationStatusCell cell);

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    // The start of the next minute, when the clock texts change.
    [[nodiscard]] std::optional<vorn_ui::Instant> next_wake_deadline() const override;

    [[nodiscard]] const TimeDateModel& model() const { return model_; }
    // The map of the built view (null before the first read arrived).
    [[nodiscard]] TimeZoneMap* map() const { return map_; }
    // The sentence below the clock: why the last change of this section did not take effect.
    [[nodiscard]] const std::optional<std::string>& notice() const { return notice_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;
    // Takes the outcome of an operation of this section from the status cell.
    void follow_outcome();
    // Keeps the drop-down and the map on one zone: a pick on either shows on the other.
    bool join_zone_pickers();

    std::shared_ptr<LastTimeDateRead> last_;
    TimeDateModel model_;
    operations::OperationStatusCell operation_status_{operations::OperationStatus::idle()};
    std::uint64_t status_seen_ = 0;
    std::optional<std::string> notice_;
    TimeZoneMap* map_ = nullptr;
    // The read whose values the controls show (none: the view is new and shows none yet).
    std::optional<std::uint64_t> read_shown_;
    // The read last kept in last_.
    std::uint64_t read_kept_ = 0;
    // The zone both pickers showed after the last sync.
    std::string zone_shown_;
};

// The page as the pane factory builds it, following the application's operation-status cell.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_time_date_pane(const operations::OperationStatusCell& status);

}  // namespace settings::panes::time_date
