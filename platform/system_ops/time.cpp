#include "system_ops/time.hpp"

#include "system_ops/tool.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace system_ops::time {

namespace {

CurrentSlot<TimeService>& slot()
{
    static CurrentSlot<TimeService> instance([]() -> std::shared_ptr<TimeService> {
        return std::make_shared<TimedatectlTime>();
    });
    return instance;
}

// A compiled zone file: a regular file (after links) whose first four bytes are "TZif".
bool is_zone_file(const std::filesystem::path& file)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    std::array<char, 4> magic{};
    return in.read(magic.data(), magic.size()) && std::string_view(magic.data(), magic.size()) == "TZif";
}

// The text of a file, or an error sentence naming it.
Result<std::string> read_file(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::unexpected(fmt::format("{}: {}", file.string(), std::strerror(errno)));
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::unexpected(fmt::format("{}: read error", file.string()));
    }
    return text;
}

// The words of a line separated by blanks or tabs.
std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        const auto start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            out.push_back(line.substr(start, i - start));
        }
    }
    return out;
}

constexpr std::array<const char*, 7> weekday_names = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                      "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> month_names = {"January", "February", "March",     "April",   "May",      "June",
                                                     "July",    "August",   "September", "October", "November", "December"};

Result<std::tm> local_now()
{
    // Reads /etc/localtime again when it changed, so that the clock follows a new time zone without a restart
    // (localtime_r alone keeps the zone it read first).
    ::tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) {
        return std::unexpected(std::string("the local time is unavailable"));
    }
    return local;
}

}  // namespace

std::shared_ptr<TimeService> current()
{
    return slot().get();
}

std::shared_ptr<TimeService> replace_current(std::shared_ptr<TimeService> service)
{
    return slot().replace(std::move(service));
}

Result<std::vector<std::string>> list_timezones()
{
    return current()->list_timezones();
}
Status set_timezone(std::string_view zone)
{
    return current()->set_timezone(zone);
}
Status set_ntp(bool enabled)
{
    return current()->set_ntp(enabled);
}
Result<bool> get_ntp()
{
    return current()->get_ntp();
}
Result<TimeSyncStatus> get_time_sync_status()
{
    return current()->get_time_sync_status();
}
Result<std::string> now_clock(bool h24)
{
    return current()->now_clock(h24);
}
Result<std::string> now_date()
{
    return current()->now_date();
}

bool is_zone_name(std::string_view zone)
{
    if (zone.empty() || zone.size() > 255) {
        return false;
    }
    std::size_t part_start = 0;
    for (std::size_t i = 0; i <= zone.size(); ++i) {
        if (i == zone.size() || zone[i] == '/') {
            if (i == part_start) {
                return false;  // empty part: leading, trailing or double "/"
            }
            if (zone[part_start] == '.' || zone[part_start] == '-') {
                return false;
            }
            part_start = i + 1;
            continue;
        }
        const char c = zone[i];
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                             c == '-' || c == '+';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

std::optional<ZoneTableLine> split_zone_table_line(std::string_view line)
{
    // country codes <TAB> coordinates <TAB> zone [<TAB> comment]
    std::string_view fields[3];
    std::size_t start = 0;
    for (std::size_t n = 0; n < 3; ++n) {
        if (start > line.size()) {
            return std::nullopt;
        }
        const auto tab = line.find('\t', start);
        fields[n] = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        start = tab == std::string_view::npos ? line.size() + 1 : tab + 1;
    }
    return ZoneTableLine{.country_codes = fields[0], .coordinates = fields[1], .zone = fields[2]};
}

Result<std::vector<std::string>> read_zone_list(const std::filesystem::path& zoneinfo_root)
{
    std::vector<std::string> candidates{"UTC"};

    const auto table = read_file(zoneinfo_root / "zone1970.tab");
    if (!table) {
        return std::unexpected(fmt::format("could not read the time zone list: {}", table.error()));
    }
    for (const auto line : detail::split_lines(*table)) {
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (const auto fields = split_zone_table_line(line)) {
            candidates.emplace_back(detail::trim(fields->zone));
        }
    }

    // The compact source of the whole database also names the links (old and alternative names), which timedated
    // accepts as well.
    if (const auto compact = read_file(zoneinfo_root / "tzdata.zi")) {
        for (const auto line : detail::split_lines(*compact)) {
            const auto w = words(line);
            if (w.size() >= 2 && w[0] == "Z") {
                candidates.emplace_back(w[1]);
            } else if (w.size() >= 3 && w[0] == "L") {
                candidates.emplace_back(w[2]);
            }
        }
    }

    std::ranges::sort(candidates);
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    std::vector<std::string> zones;
    zones.reserve(candidates.size());
    for (auto& zone : candidates) {
        if (is_zone_name(zone) && is_zone_file(zoneinfo_root / zone)) {
            zones.push_back(std::move(zone));
        }
    }
    return zones;
}

std::string format_clock(const std::tm& local, bool h24)
{
    if (h24) {
        return fmt::format("{:02}:{:02}", local.tm_hour, local.tm_min);
    }
    const int hour = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    return fmt::format("{}:{:02} {}", hour, local.tm_min, local.tm_hour < 12 ? "AM" : "PM");
}

std::string format_date(const std::tm& local)
{
    const auto weekday = static_cast<std::size_t>(std::clamp(local.tm_wday, 0, 6));
    const auto month = static_cast<std::size_t>(std::clamp(local.tm_mon, 0, 11));
    return fmt::format("{}, {} {} {}", weekday_names[weekday], local.tm_mday, month_names[month],
                       local.tm_year + 1900);
}

// ---- TimedatectlTime -------------------------------------------------------------------------------------------

TimedatectlTime::TimedatectlTime(std::shared_ptr<cmd_runner::Runner> runner) : TimedatectlTime(std::move(runner), {}) {}

TimedatectlTime::TimedatectlTime(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)), options_(std::move(options))
{
}

Result<std::vector<std::string>> TimedatectlTime::list_timezones()
{
    return read_zone_list(options_.zoneinfo_root);
}

Status TimedatectlTime::set_timezone(std::string_view zone)
{
    if (!is_zone_name(zone)) {
        return std::unexpected(fmt::format("\"{}\" is not a time zone name", cmd_runner::clean_text(zone)));
    }
    const auto zones = list_timezones();
    if (!zones) {
        return std::unexpected(zones.error());
    }
    if (!std::ranges::binary_search(*zones, zone)) {
        return std::unexpected(fmt::format("time zone {} is not installed on this device", zone));
    }
    return detail::done(detail::run_tool(*runner_, {.program = "timedatectl",
                                                    .args = {"set-timezone", std::string(zone)},
                                                    .time_limit = options_.write_limit}));
}

Status TimedatectlTime::set_ntp(bool enabled)
{
    return detail::done(detail::run_tool(*runner_, {.program = "timedatectl",
                                                    .args = {"set-ntp", enabled ? "true" : "false"},
                                                    .time_limit = options_.write_limit}));
}

Result<bool> TimedatectlTime::get_ntp()
{
    const auto out = detail::run_tool(
        *runner_, {.program = "timedatectl", .args = {"show", "--property=NTP", "--value"}, .time_limit = options_.read_limit});
    if (!out) {
        return std::unexpected(out.error());
    }
    const auto flag = detail::parse_flag(*out);
    if (!flag) {
        return std::unexpected(fmt::format("timedatectl reported an unreadable NTP state \"{}\"",
                                           cmd_runner::clean_text(*out, {.max_chars = 64, .trim = true})));
    }
    return *flag;
}

Result<TimeSyncStatus> TimedatectlTime::get_time_sync_status()
{
    const auto out =
        detail::run_tool(*runner_, {.program = "timedatectl", .args = {"show"}, .time_limit = options_.read_limit});
    if (!out) {
        return std::unexpected(out.error());
    }
    const auto values = detail::parse_key_values(*out);
    TimeSyncStatus status;
    if (const auto it = values.find("Timezone"); it != values.end() && is_zone_name(detail::trim(it->second))) {
        status.zone = std::string(detail::trim(it->second));
    }
    if (const auto it = values.find("NTP"); it != values.end()) {
        status.ntp_enabled = detail::parse_flag(it->second);
    }
    if (const auto it = values.find("NTPSynchronized"); it != values.end()) {
        status.synchronized = detail::parse_flag(it->second);
    }
    // The server is systemd-timesyncd's; without that service (or with automatic time off) there is none.
    if (status.ntp_enabled != false) {
        const auto sync = detail::run_tool(*runner_, {.program = "timedatectl",
                                                      .args = {"show-timesync", "--property=ServerName", "--value"},
                                                      .time_limit = options_.read_limit});
        if (sync) {
            auto server = cmd_runner::clean_text(*sync, {.max_chars = 255, .trim = true});
            if (!server.empty()) {
                status.ntp_server = std::move(server);
            }
        }
    }
    return status;
}

Result<std::string> TimedatectlTime::now_clock(bool h24)
{
    const auto local = local_now();
    if (!local) {
        return std::unexpected(local.error());
    }
    return format_clock(*local, h24);
}

Result<std::string> TimedatectlTime::now_date()
{
    const auto local = local_now();
    if (!local) {
        return std::unexpected(local.error());
    }
    return format_date(*local);
}

// ---- FakeTime --------------------------------------------------------------------------------------------------

FakeTime::State FakeTime::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

Result<std::vector<std::string>> FakeTime::list_timezones()
{
    const std::lock_guard lock(mutex_);
    return state_.zones;
}

Status FakeTime::set_timezone(std::string_view zone)
{
    const std::lock_guard lock(mutex_);
    if (!state_.zones) {
        return std::unexpected(state_.zones.error());
    }
    if (std::ranges::find(*state_.zones, zone) == state_.zones->end()) {
        return std::unexpected(fmt::format("time zone {} is not installed on this device", zone));
    }
    state_.timezones_set.emplace_back(zone);
    if (state_.set_timezone_answer && state_.status) {
        state_.status->zone = std::string(zone);
    }
    return state_.set_timezone_answer;
}

Status FakeTime::set_ntp(bool enabled)
{
    const std::lock_guard lock(mutex_);
    state_.ntp_set.push_back(enabled);
    if (state_.set_ntp_answer && state_.status) {
        state_.status->ntp_enabled = enabled;
    }
    return state_.set_ntp_answer;
}

Result<bool> FakeTime::get_ntp()
{
    const std::lock_guard lock(mutex_);
    if (!state_.status) {
        return std::unexpected(state_.status.error());
    }
    if (!state_.status->ntp_enabled) {
        return std::unexpected(std::string("NTP state not reported"));
    }
    return *state_.status->ntp_enabled;
}

Result<TimeSyncStatus> FakeTime::get_time_sync_status()
{
    const std::lock_guard lock(mutex_);
    return state_.status;
}

Result<std::string> FakeTime::now_clock(bool /*h24*/)
{
    const std::lock_guard lock(mutex_);
    return state_.clock;
}

Result<std::string> FakeTime::now_date()
{
    const std::lock_guard lock(mutex_);
    return state_.date;
}

}  // namespace system_ops::time
