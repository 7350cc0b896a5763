#pragma once
// Time zone and time synchronisation of the machine, through systemd's timedated (`timedatectl`) and the zone list
// of the installed tzdata.
//
// The free functions forward to the current TimeService (see current.hpp); the real one is TimedatectlTime.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::time {

// What timedated reports about the clock. Each member is none when the time service does not report it.
struct TimeSyncStatus {
    std::optional<std::string> zone;        // "Europe/Berlin"
    std::optional<std::string> ntp_server;  // the server systemd-timesyncd talks to
    std::optional<bool> ntp_enabled;        // automatic time on
    std::optional<bool> synchronized;       // the clock is synchronised

    friend bool operator==(const TimeSyncStatus&, const TimeSyncStatus&) = default;
};

class TimeService {
public:
    virtual ~TimeService() = default;

    // The zone identifiers the machine accepts, sorted by byte order, without duplicates.
    [[nodiscard]] virtual Result<std::vector<std::string>> list_timezones() = 0;
    // Sets the system time zone. The zone must be one of list_timezones().
    [[nodiscard]] virtual Status set_timezone(std::string_view zone) = 0;
    // Switches automatic time (NTP) on or off.
    [[nodiscard]] virtual Status set_ntp(bool enabled) = 0;
    // Whether automatic time is on.
    [[nodiscard]] virtual Result<bool> get_ntp() = 0;
    [[nodiscard]] virtual Result<TimeSyncStatus> get_time_sync_status() = 0;
    // The local time of day: "14:05" with h24, "2:05 PM" without.
    [[nodiscard]] virtual Result<std::string> now_clock(bool h24) = 0;
    // The local date: "Thursday, 2 May 2024".
    [[nodiscard]] virtual Result<std::string> now_date() = 0;
};

[[nodiscard]] std::shared_ptr<TimeService> current();
// Puts `service` in place (nullptr: the real backend again) and returns the previous one; see ScopedCurrent.
std::shared_ptr<TimeService> replace_current(std::shared_ptr<TimeService> service);

[[nodiscard]] Result<std::vector<std::string>> list_timezones();
[[nodiscard]] Status set_timezone(std::string_view zone);
[[nodiscard]] Status set_ntp(bool enabled);
[[nodiscard]] Result<bool> get_ntp();
[[nodiscard]] Result<TimeSyncStatus> get_time_sync_status();
[[nodiscard]] Result<std::string> now_clock(bool h24);
[[nodiscard]] Result<std::string> now_date();

// ---- Helpers -----------------------------------------------------------------------------------------------------

// Whether the text has the form of a zone identifier: 1 to 255 bytes of ASCII letters, digits and "/", "_", "-",
// "+", in parts separated by single "/" that do not begin with "." or "-" (so no "..", no absolute path, nothing a
// command could take as an option).
[[nodiscard]] bool is_zone_name(std::string_view zone);

// One line of tzdata's zone tables ("zone1970.tab", "zone.tab"): the fields before and between its first three
// tabs (a comment after them is left out), none for a line with fewer than three fields. Comment lines ("#...")
// are the caller's to skip.
struct ZoneTableLine {
    std::string_view country_codes;  // "DE,DK"
    std::string_view coordinates;    // "+5230+01322", ISO 6709
    std::string_view zone;           // "Europe/Berlin"
};
[[nodiscard]] std::optional<ZoneTableLine> split_zone_table_line(std::string_view line);

// The zones of a tzdata installation: the zones of zone1970.tab, the zones and links of tzdata.zi (when present)
// and "UTC", each kept only when <root>/<zone> is a compiled zone file (a regular file starting with "TZif"), sorted
// and without duplicates. An error when zone1970.tab cannot be read.
[[nodiscard]] Result<std::vector<std::string>> read_zone_list(const std::filesystem::path& zoneinfo_root);

// Formats a local time the way now_clock() and now_date() do.
[[nodiscard]] std::string format_clock(const std::tm& local, bool h24);
[[nodiscard]] std::string format_date(const std::tm& local);

// ---- The real backend ----------------------------------------------------------------------------------------------

class TimedatectlTime final : public TimeService {
public:
    struct Options {
        std::filesystem::path zoneinfo_root = "/usr/share/zoneinfo";
        std::chrono::milliseconds read_limit = std::chrono::seconds(10);
        // Long enough for the user to answer an authentication dialog of polkit.
        std::chrono::milliseconds write_limit = std::chrono::seconds(60);
    };

    explicit TimedatectlTime(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    TimedatectlTime(std::shared_ptr<cmd_runner::Runner> runner, Options options);

    Result<std::vector<std::string>> list_timezones() override;
    Status set_timezone(std::string_view zone) override;
    Status set_ntp(bool enabled) override;
    Result<bool> get_ntp() override;
    Result<TimeSyncStatus> get_time_sync_status() override;
    Result<std::string> now_clock(bool h24) override;
    Result<std::string> now_date() override;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
};

// ---- The fake ------------------------------------------------------------------------------------------------------

// Answers from its public members and records every change it is asked for. Safe to share between threads.
class FakeTime final : public TimeService {
public:
    struct State {
        Result<std::vector<std::string>> zones = std::vector<std::string>{"America/New_York", "Europe/Berlin", "UTC"};
        Result<TimeSyncStatus> status = TimeSyncStatus{.zone = "UTC", .ntp_enabled = true, .synchronized = true};
        Status set_timezone_answer;  // what set_timezone answers for a listed zone
        Status set_ntp_answer;
        Result<std::string> clock = std::string("12:00");
        Result<std::string> date = std::string("Monday, 1 January 2024");
        std::vector<std::string> timezones_set;  // every zone set_timezone was asked for, in order
        std::vector<bool> ntp_set;               // every set_ntp value, in order
    };

    FakeTime() = default;
    explicit FakeTime(State state) : state_(std::move(state)) {}

    // A copy of the state, or a change to it under the lock.
    [[nodiscard]] State state() const;
    template <class F>
    void change(F&& f)
    {
        const std::lock_guard lock(mutex_);
        f(state_);
    }

    Result<std::vector<std::string>> list_timezones() override;
    // Refuses a zone that is not in `zones` like the real backend, records it otherwise.
    Status set_timezone(std::string_view zone) override;
    Status set_ntp(bool enabled) override;
    Result<bool> get_ntp() override;
    Result<TimeSyncStatus> get_time_sync_status() override;
    Result<std::string> now_clock(bool h24) override;
    Result<std::string> now_date() override;

private:
    mutable std::mutex mutex_;
    State state_;
};

}  // namespace system_ops::time
