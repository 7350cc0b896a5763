#include "panes/time_date/time_date_model.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "page_workers/one_shot.hpp"
#include "prefs/locale.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/state.hpp"

#include <fmt/format.h>
#include <pthread.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace settings::panes::time_date {

namespace {

std::optional<std::string> zone_from_file(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    // A zone identifier is short; a larger file is not one.
    std::string text(256, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    std::string zone = cmd_runner::clean_text(text, {.trim = true});
    if (zone.empty() || !system_ops::time::is_zone_name(zone)) {
        return std::nullopt;
    }
    return zone;
}

std::optional<std::string> zone_from_link(const std::filesystem::path& link)
{
    std::error_code ec;
    const auto target = std::filesystem::read_symlink(link, ec);
    if (ec) {
        return std::nullopt;
    }
    // One level only: the zone files of a distribution may be links themselves, and following them would name
    // another zone than the one configured.
    const std::string text = cmd_runner::decode_lossy(target.native());
    constexpr std::string_view marker = "zoneinfo/";
    const auto at = text.find(marker);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    std::string zone = text.substr(at + marker.size());
    if (!system_ops::time::is_zone_name(zone)) {
        return std::nullopt;
    }
    return zone;
}

// A worker thread of the program (joined when it ends, its tool called off); the work runs here should none start.
void start_thread(std::function<void()> work)
{
    if (auto started = page_workers::start_detached_thread("vorn-time-date", work); !started) {
        work();
    }
}

}  // namespace

std::string_view synchronization_text(std::optional<bool> synchronized, bool auto_time)
{
    if (!synchronized) {
        return "Not reported by the time service";
    }
    if (*synchronized) {
        return "Synchronized";
    }
    return auto_time ? "Waiting for synchronization" : "Automatic time is disabled";
}

std::string source_text(const std::optional<std::string>& ntp_server)
{
    return ntp_server ? *ntp_server : std::string("Not reported by the active NTP provider");
}

std::string_view clock_format_text(bool h24)
{
    return h24 ? "24-hour" : "12-hour";
}

std::string map_caption(std::size_t cities)
{
    if (cities == 0) {
        return "This tzdata installation does not publish map coordinates. The searchable selector remains complete; "
               "Vorn does not guess your location.";
    }
    return fmt::format("Showing {} installed zones with coordinates published by tzdata. This chooses a zone; it does "
                       "not detect your location. Aliases remain in the selector.",
                       cities);
}

std::string current_zone(const TimeSyncStatus& status, const std::filesystem::path& root)
{
    if (status.zone) {
        return *status.zone;
    }
    if (auto zone = zone_from_file(root / "etc/timezone")) {
        return std::move(*zone);
    }
    if (auto zone = zone_from_link(root / "etc/localtime")) {
        return std::move(*zone);
    }
    return std::string(kFallbackZone);
}

std::vector<std::string> zone_choices(std::vector<std::string> listed, const std::string& current)
{
    if (std::ranges::find(listed, current) == listed.end()) {
        listed.push_back(current);
        std::ranges::stable_sort(listed);
    }
    return listed;
}

TimeDateSnapshot read_time_date_snapshot(TimeService& time, const TimeDatePaths& paths)
{
    TimeDateSnapshot snapshot;
    if (auto status = time.get_time_sync_status()) {
        snapshot.status = std::move(*status);
    } else {
        VORN_INFO("time_date_status", "the time service did not report its state: {}", status.error());
    }
    if (!snapshot.status.ntp_enabled) {
        if (const auto ntp = time.get_ntp()) {
            snapshot.status.ntp_enabled = *ntp;
        }
    }
    snapshot.current_zone = current_zone(snapshot.status, paths.root);
    auto listed = time.list_timezones();
    if (!listed) {
        VORN_INFO("time_date_status", "the installed time zones could not be listed: {}", listed.error());
    }
    snapshot.zones = zone_choices(listed ? std::move(*listed) : std::vector<std::string>{}, snapshot.current_zone);
    snapshot.cities = parse_zone1970_tab(snapshot.zones, paths.zoneinfo_root);
    snapshot.auto_time = snapshot.status.ntp_enabled != false;
    return snapshot;
}

void save_clock_format(bool h24)
{
    if (auto saved = prefs::save_time_format(h24 ? prefs::HourCycle::H24 : prefs::HourCycle::H12); !saved) {
        VORN_WARN("time_format_save", "failed to persist clock format: {}", saved.error());
    }
}

// ---- TimeDateModel -------------------------------------------------------------------------------------------------

// Where the reads leave their answer: only a newer read than the one kept replaces it.
struct TimeDateModel::Inbox {
    std::mutex mutex;
    std::uint64_t generation = 0;
    std::optional<TimeDateSnapshot> snapshot;
    bool fresh = false;
    vorn_ui::WakeHandle wake = vorn_ui::WakeHandle::create();
};

TimeDateModel::TimeDateModel() : TimeDateModel(Options{}) {}

TimeDateModel::TimeDateModel(Options options) : options_(std::move(options)), inbox_(std::make_shared<Inbox>())
{
    if (!options_.time) {
        options_.time = system_ops::time::current();
    }
    if (!options_.wall_clock) {
        options_.wall_clock = [] { return std::chrono::system_clock::now(); };
    }
    if (!options_.start_worker) {
        options_.start_worker = start_thread;
    }
    clock_h24_ = prefs::load_locale().time_format == prefs::HourCycle::H24;
    snapshot_ = std::exchange(options_.last_known, std::nullopt);
    start_read();
}

void TimeDateModel::start_read()
{
    const std::uint64_t generation = ++requested_;
    options_.start_worker([time = options_.time, paths = options_.paths, inbox = inbox_, generation] {
        auto snapshot = read_time_date_snapshot(*time, paths);
        {
            const std::lock_guard lock(inbox->mutex);
            if (generation <= inbox->generation) {
                return;
            }
            inbox->generation = generation;
            inbox->snapshot = std::move(snapshot);
            inbox->fresh = true;
        }
        inbox->wake.wake();
    });
}

void TimeDateModel::refresh()
{
    const bool h24 = prefs::load_locale().time_format == prefs::HourCycle::H24;
    if (h24 != clock_h24_) {
        clock_h24_ = h24;
        shown_minute_.reset();  // the next sync formats the time the new way
    }
    start_read();
}

bool TimeDateModel::sync(Instant now)
{
    bool changed = false;
    {
        const std::lock_guard lock(inbox_->mutex);
        if (inbox_->fresh) {
            inbox_->fresh = false;
            ++reads_;
            if (inbox_->snapshot != snapshot_) {
                snapshot_ = std::move(inbox_->snapshot);
                changed = true;
            }
        }
    }
    if (refresh_clock(now, options_.wall_clock())) {
        changed = true;
    }
    return changed;
}

bool TimeDateModel::refresh_clock(Instant now, std::chrono::system_clock::time_point wall)
{
    using std::chrono::minutes;
    const auto since_epoch = wall.time_since_epoch();
    const auto minute_start = std::chrono::floor<minutes>(since_epoch);
    const std::int64_t minute = minute_start.count();
    if (shown_minute_ == minute && clock_deadline_ && now < *clock_deadline_) {
        return false;
    }
    const auto clock = options_.time->now_clock(clock_h24_);
    const auto date = options_.time->now_date();
    std::string time_text = clock ? *clock : std::string(kUnavailable);
    std::string date_text = date ? *date : std::string(kUnavailable);
    const bool changed = time_text != time_text_ || date_text != date_text_;
    time_text_ = std::move(time_text);
    date_text_ = std::move(date_text);
    shown_minute_ = minute;
    // The wall clock's next minute, measured on the steady clock the loop waits with.
    const auto to_next_minute = minutes(1) - (since_epoch - minute_start);
    clock_deadline_ = now + std::chrono::duration_cast<Instant::duration>(to_next_minute);
    return changed;
}

std::string_view TimeDateModel::current_zone() const
{
    return snapshot_ ? std::string_view(snapshot_->current_zone) : std::string_view();
}

const std::vector<std::string>& TimeDateModel::zones() const
{
    static const std::vector<std::string> none;
    return snapshot_ ? snapshot_->zones : none;
}

const std::vector<TimeZoneCity>& TimeDateModel::cities() const
{
    static const std::vector<TimeZoneCity> none;
    return snapshot_ ? snapshot_->cities : none;
}

std::optional<std::size_t> TimeDateModel::current_city() const
{
    if (!snapshot_) {
        return std::nullopt;
    }
    const auto it = std::ranges::find(snapshot_->cities, snapshot_->current_zone, &TimeZoneCity::zone);
    if (it == snapshot_->cities.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(it - snapshot_->cities.begin());
}

std::string TimeDateModel::synchronization() const
{
    if (!snapshot_) {
        return std::string(kUnavailable);
    }
    return std::string(synchronization_text(snapshot_->status.synchronized, snapshot_->auto_time));
}

std::string TimeDateModel::source() const
{
    return snapshot_ ? source_text(snapshot_->status.ntp_server) : std::string(kUnavailable);
}

std::string TimeDateModel::map_caption() const
{
    return snapshot_ ? time_date::map_caption(snapshot_->cities.size()) : std::string();
}

}  // namespace settings::panes::time_date
