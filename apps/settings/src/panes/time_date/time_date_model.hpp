#pragma once
// What the Time & Date page knows and shows, apart from its widgets: the time service's state (automatic time,
// synchronisation, the NTP server), the current zone with its fallbacks, the zones the drop-down offers, the
// cities of the map, the clock format, and the current time and date, updated every minute.
//
// The page changes nothing itself: its three controls are bound to the actions "automatic-time", "24-hour" and
// "timezone" of the Time & Date section, which the operation runner applies. The model only reads.
//
// Threads: the time service is read on a worker ("vorn-time-date"), never on the UI thread; its answer arrives
// through an inbox that wakes the UI (the newest read wins), and sync() adopts it. Until then loaded() is false and
// the texts read as not known yet, unless the model was given what an earlier page read (Options::last_known). The
// clock texts are read from the time service's clock (a local time formatter, no command) when the wall-clock
// minute changes; next_wake_deadline() says when the next minute starts, so the page wakes then and at no other
// time.
//
//   TimeDateModel model;                                 // starts the worker
//   // in the page's sync:   if (model.sync(ctx.now)) ctx.changed = true;
//   // in next_wake_deadline: return model.next_wake_deadline();
//   // after an operation of the page completed:  model.refresh();

#include "panes/time_date/zone_catalogue.hpp"
#include "system_ops/time.hpp"
#include "vorn_ui/geometry.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::time_date {

using system_ops::time::TimeService;
using system_ops::time::TimeSyncStatus;
using vorn_ui::Instant;

// The zone shown when nothing on the machine names one.
inline constexpr std::string_view kFallbackZone = "Europe/Amsterdam";
// What a row shows for a clock or date that cannot be read.
inline constexpr std::string_view kUnavailable = "—";

// The page's fixed texts, in the order the page shows them.
namespace text {
inline constexpr std::string_view kClockCard = "Clock";
inline constexpr std::string_view kAutomaticTime = "Set time automatically";
inline constexpr std::string_view kHour24 = "24-hour clock";
inline constexpr std::string_view kTimeZone = "Time zone";
inline constexpr std::string_view kCurrentTime = "Current time";
inline constexpr std::string_view kCurrentDate = "Current date";
inline constexpr std::string_view kMapCard = "Time-zone map";
inline constexpr std::string_view kSourceCard = "Automatic time source";
inline constexpr std::string_view kSynchronization = "Synchronization";
inline constexpr std::string_view kSource = "Source";
inline constexpr std::string_view kSourceCaption =
    "Time zones come from the installed IANA tzdata database. Both pickers submit only identifiers from timedated's "
    "accepted list.";
inline constexpr std::string_view kDisplayCard = "Display";
inline constexpr std::string_view kClockFormat = "Clock format";
inline constexpr std::string_view kDisplayCaption =
    "Date and number formats are set system-wide in Region & Formats; this pane shows the clock surface.";
// Control ids.
inline constexpr std::string_view kAutoToggleId = "time.auto";
inline constexpr std::string_view kHour24ToggleId = "time.h24";
inline constexpr std::string_view kZoneDropdownId = "time.timezone";
}  // namespace text

// "Synchronized"; "Not reported by the time service"; while not synchronized "Waiting for synchronization" with
// automatic time on, "Automatic time is disabled" with it off.
[[nodiscard]] std::string_view synchronization_text(std::optional<bool> synchronized, bool auto_time);
// The NTP server, or "Not reported by the active NTP provider".
[[nodiscard]] std::string source_text(const std::optional<std::string>& ntp_server);
// "24-hour" or "12-hour".
[[nodiscard]] std::string_view clock_format_text(bool h24);
// The caption under the map: how many zones it shows, or that this tzdata publishes no coordinates.
[[nodiscard]] std::string map_caption(std::size_t cities);

// The zone the machine runs in, the first that answers: the time service's zone; the text of <root>/etc/timezone
// (trimmed, not empty); what follows "zoneinfo/" in the target of the link <root>/etc/localtime; kFallbackZone.
// A text that is not a zone identifier (system_ops::time::is_zone_name) does not answer.
[[nodiscard]] std::string current_zone(const TimeSyncStatus& status, const std::filesystem::path& root = "/");

// The drop-down's zones: the listed ones in their order, or, when the current zone is not among them, with it
// added and all sorted by byte order.
[[nodiscard]] std::vector<std::string> zone_choices(std::vector<std::string> listed, const std::string& current);

// Everything the page reads of the time service and tzdata, at once.
struct TimeDateSnapshot {
    TimeSyncStatus status;  // with the NTP state asked separately when the status left it out
    std::string current_zone;
    std::vector<std::string> zones;
    std::vector<TimeZoneCity> cities;
    bool auto_time = true;  // off only when the time service says automatic time is off

    friend bool operator==(const TimeDateSnapshot&, const TimeDateSnapshot&) = default;
};

struct TimeDatePaths {
    std::filesystem::path root = "/";                         // holds etc/timezone and etc/localtime
    std::filesystem::path zoneinfo_root = std::string(kZoneinfoRoot);  // holds zone1970.tab / zone.tab
};

// Reads the snapshot (blocking: runs timedatectl). A time service that does not answer leaves everything
// unreported, automatic time counting as on; a zone list that cannot be read leaves the current zone alone.
[[nodiscard]] TimeDateSnapshot read_time_date_snapshot(TimeService& time, const TimeDatePaths& paths = {});

// Saves the 24-hour flag as the clock format of the locale, leaving the locale's other fields as stored; a failure
// is logged ("failed to persist clock format", tag "time_format_save").
void save_clock_format(bool h24);

class TimeDateModel {
public:
    struct Options {
        // None: the machine's (system_ops::time::current()).
        std::shared_ptr<TimeService> time;
        TimeDatePaths paths;
        // The wall clock that decides when the minute changes. None: the system clock.
        std::function<std::chrono::system_clock::time_point()> wall_clock;
        // Runs a read of the time service. None: a thread of its own, detached (it publishes into a cell the model
        // shares, so a page that goes away never waits for it). Tests pass one that runs the read at once.
        std::function<void(std::function<void()>)> start_worker;
        // What an earlier page read, shown until this model's own first read arrives (none: nothing is shown
        // before it).
        std::optional<TimeDateSnapshot> last_known;
    };

    // Reads the clock format now and starts the first read of the time service.
    TimeDateModel();
    explicit TimeDateModel(Options options);

    // Adopts a finished read of the time service and brings the clock texts up to date: at the clock deadline, when
    // the wall-clock minute is not the one shown, or on the first call. Answers whether anything shown changed.
    bool sync(Instant now);
    // When the next minute starts (the clock texts change then); none before the first sync.
    [[nodiscard]] std::optional<Instant> next_wake_deadline() const { return clock_deadline_; }
    // Reads the clock format and the time service again (after an operation of the page completed).
    void refresh();

    [[nodiscard]] bool loaded() const { return snapshot_.has_value(); }
    // How many reads of the time service sync() has adopted, an unchanged answer included: a page puts the read
    // values back into its controls when this changes, so a change the system refused goes back to the value in
    // force even when nothing else differs.
    [[nodiscard]] std::uint64_t reads() const { return reads_; }
    [[nodiscard]] const std::optional<TimeDateSnapshot>& snapshot() const { return snapshot_; }

    // The current zone: the placeholder of the drop-down and the map's current zone ("" until loaded).
    [[nodiscard]] std::string_view current_zone() const;
    // The drop-down's initial value: the current zone.
    [[nodiscard]] std::string_view requested_zone() const { return current_zone(); }
    [[nodiscard]] const std::vector<std::string>& zones() const;
    [[nodiscard]] const std::vector<TimeZoneCity>& cities() const;
    // The keyboard focus the map starts with: the city of the current zone, none when it has none.
    [[nodiscard]] std::optional<std::size_t> current_city() const;

    // The toggles' initial values.
    [[nodiscard]] bool auto_time() const { return snapshot_ ? snapshot_->auto_time : true; }
    [[nodiscard]] bool clock_h24() const { return clock_h24_; }

    [[nodiscard]] const std::string& current_time_text() const { return time_text_; }
    [[nodiscard]] const std::string& current_date_text() const { return date_text_; }
    // kUnavailable until loaded.
    [[nodiscard]] std::string synchronization() const;
    [[nodiscard]] std::string source() const;
    [[nodiscard]] std::string_view clock_format() const { return clock_format_text(clock_h24_); }
    [[nodiscard]] std::string map_caption() const;

private:
    struct Inbox;

    void start_read();
    bool refresh_clock(Instant now, std::chrono::system_clock::time_point wall);

    Options options_;
    std::shared_ptr<Inbox> inbox_;  // shared with the reads still running
    std::uint64_t requested_ = 0;   // the generation of the latest read asked for
    std::optional<TimeDateSnapshot> snapshot_;
    std::uint64_t reads_ = 0;
    bool clock_h24_ = true;
    std::string time_text_;
    std::string date_text_;
    std::optional<std::int64_t> shown_minute_;  // wall-clock minutes since the epoch
    std::optional<Instant> clock_deadline_;
};

}  // namespace settings::panes::time_date
