// The Time & Date page's model: the current zone's fallbacks on a fixture root, the zone list, the sentences, the
// read of the time service on a worker, the clock texts on their minute deadline, and the clock format.

#include "panes/time_date/time_date_model.hpp"
#include "prefs/locale.hpp"
#include "test_support/temp_home.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/state.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace settings::panes::time_date {
namespace {

using namespace std::chrono_literals;
using system_ops::Result;
using system_ops::Status;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A time service whose every answer the test sets, counting what it is asked. Safe to use from the worker.
class ScriptedTime final : public TimeService {
public:
    struct Answers {
        Result<TimeSyncStatus> status = TimeSyncStatus{};
        Result<bool> ntp = std::unexpected(std::string("NTP state not reported"));
        Result<std::vector<std::string>> zones = std::vector<std::string>{"Europe/Berlin", "UTC"};
        Result<std::string> clock = std::string("10:00");
        Result<std::string> date = std::string("Monday, 1 January 2024");
    };

    ScriptedTime() = default;
    explicit ScriptedTime(Answers answers) : answers_(std::move(answers)) {}

    template <class F>
    void change(F&& f)
    {
        const std::lock_guard lock(mutex_);
        f(answers_);
    }
    [[nodiscard]] int status_reads() const
    {
        const std::lock_guard lock(mutex_);
        return status_reads_;
    }
    [[nodiscard]] std::vector<bool> clock_flags() const
    {
        const std::lock_guard lock(mutex_);
        return clock_flags_;
    }

    Result<std::vector<std::string>> list_timezones() override { return read(&Answers::zones); }
    Status set_timezone(std::string_view /*zone*/) override { return std::unexpected(std::string("read only")); }
    Status set_ntp(bool /*enabled*/) override { return std::unexpected(std::string("read only")); }
    Result<bool> get_ntp() override { return read(&Answers::ntp); }
    Result<TimeSyncStatus> get_time_sync_status() override
    {
        const std::lock_guard lock(mutex_);
        ++status_reads_;
        return answers_.status;
    }
    Result<std::string> now_clock(bool h24) override
    {
        const std::lock_guard lock(mutex_);
        clock_flags_.push_back(h24);
        return answers_.clock;
    }
    Result<std::string> now_date() override { return read(&Answers::date); }

private:
    template <class T>
    T read(T Answers::*member) const
    {
        const std::lock_guard lock(mutex_);
        return answers_.*member;
    }

    mutable std::mutex mutex_;
    Answers answers_;
    int status_reads_ = 0;
    std::vector<bool> clock_flags_;
};

void write(const std::filesystem::path& file, std::string_view text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// ---- The current zone -----------------------------------------------------------------------------------------------

TEST(CurrentZone, TheTimeServiceThenEtcTimezoneThenTheLocaltimeLinkThenAmsterdam)
{
    struct Case {
        const char* name;
        std::optional<std::string> status_zone;
        std::optional<std::string> timezone_file;  // etc/timezone
        std::optional<std::string> localtime_link;  // the target of etc/localtime
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"the time service wins", "Europe/Berlin", "UTC\n", "/usr/share/zoneinfo/Asia/Tokyo", "Europe/Berlin"},
        {"etc/timezone, trimmed", std::nullopt, "  America/Lima \n", "/usr/share/zoneinfo/Asia/Tokyo",
         "America/Lima"},
        {"blank etc/timezone is skipped", std::nullopt, " \n\t\n", "/usr/share/zoneinfo/America/New_York",
         "America/New_York"},
        {"a relative link", std::nullopt, std::nullopt, "../usr/share/zoneinfo/Europe/Paris", "Europe/Paris"},
        {"the first zoneinfo/ counts", std::nullopt, std::nullopt, "/zoneinfo/posix/zoneinfo/x", "posix/zoneinfo/x"},
        {"a link outside zoneinfo", std::nullopt, std::nullopt, "/etc/zone-elsewhere", "Europe/Amsterdam"},
        {"nothing at all", std::nullopt, std::nullopt, std::nullopt, "Europe/Amsterdam"},
        {"a file that is no zone name", std::nullopt, "Europe/Berlin; reboot\n", "/usr/share/zoneinfo/Asia/Tokyo",
         "Asia/Tokyo"},
        {"a link that is no zone name", std::nullopt, std::nullopt, "/usr/share/zoneinfo/\xFF/../../etc",
         "Europe/Amsterdam"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test_support::TempDir root("vorn-zone-root");
        if (c.timezone_file) {
            write(root.path() / "etc/timezone", *c.timezone_file);
        }
        if (c.localtime_link) {
            std::filesystem::create_directories(root.path() / "etc");
            std::filesystem::create_symlink(*c.localtime_link, root.path() / "etc/localtime");
        }
        EXPECT_EQ(current_zone(TimeSyncStatus{.zone = c.status_zone}, root.path()), c.expected);
    }
}

TEST(CurrentZone, ACopiedZoneFileIsNoLink)
{
    test_support::TempDir root("vorn-zone-root");
    write(root.path() / "etc/localtime", "TZif2...");
    EXPECT_EQ(current_zone(TimeSyncStatus{}, root.path()), "Europe/Amsterdam");
}

TEST(ZoneChoices, TheCurrentZoneIsAddedWhenMissingAndOnlyThenSorted)
{
    EXPECT_THAT(zone_choices({"UTC", "Europe/Berlin"}, "Europe/Berlin"), ElementsAre("UTC", "Europe/Berlin"));
    EXPECT_THAT(zone_choices({"UTC", "Europe/Berlin"}, "Europe/Amsterdam"),
                ElementsAre("Europe/Amsterdam", "Europe/Berlin", "UTC"));
    EXPECT_THAT(zone_choices({}, "Europe/Amsterdam"), ElementsAre("Europe/Amsterdam"));
    // Exact comparison: another spelling is another zone.
    EXPECT_THAT(zone_choices({"utc"}, "UTC"), ElementsAre("UTC", "utc"));
}

// ---- Sentences ------------------------------------------------------------------------------------------------------

TEST(TimeDateText, SynchronizationSourceClockFormatAndCaption)
{
    struct Case {
        std::optional<bool> synchronized;
        bool auto_time;
        std::string_view text;
    };
    for (const auto& c : std::vector<Case>{{true, true, "Synchronized"},
                                           {true, false, "Synchronized"},
                                           {std::nullopt, true, "Not reported by the time service"},
                                           {std::nullopt, false, "Not reported by the time service"},
                                           {false, true, "Waiting for synchronization"},
                                           {false, false, "Automatic time is disabled"}}) {
        EXPECT_EQ(synchronization_text(c.synchronized, c.auto_time), c.text);
    }
    EXPECT_EQ(source_text("0.debian.pool.ntp.org"), "0.debian.pool.ntp.org");
    EXPECT_EQ(source_text(std::nullopt), "Not reported by the active NTP provider");
    EXPECT_EQ(clock_format_text(true), "24-hour");
    EXPECT_EQ(clock_format_text(false), "12-hour");
    EXPECT_EQ(map_caption(312), "Showing 312 installed zones with coordinates published by tzdata. This chooses a "
                                "zone; it does not detect your location. Aliases remain in the selector.");
    EXPECT_EQ(map_caption(0), "This tzdata installation does not publish map coordinates. The searchable selector "
                              "remains complete; Vorn does not guess your location.");
}

// ---- The snapshot ---------------------------------------------------------------------------------------------------

class TimeDateModelTest : public ::testing::Test {
protected:
    TimeDateModelTest()
    {
        write(root.path() / "zoneinfo/zone1970.tab", "DE\t+5230+01322\tEurope/Berlin\n"
                                                     "NL\t+5222+00454\tEurope/Amsterdam\n");
        write(root.path() / "etc/timezone", "Europe/Amsterdam\n");
    }

    TimeDatePaths paths() const { return {.root = root.path(), .zoneinfo_root = root.path() / "zoneinfo"}; }

    // A model whose reads wait in `pending` until the test runs them.
    TimeDateModel deferred_model(std::shared_ptr<TimeService> time)
    {
        return TimeDateModel({.time = std::move(time),
                              .paths = paths(),
                              .wall_clock = [this] { return wall; },
                              .start_worker = [this](std::function<void()> work) { pending.push_back(std::move(work)); }});
    }
    // A model whose reads run at once.
    TimeDateModel inline_model(std::shared_ptr<TimeService> time)
    {
        return TimeDateModel({.time = std::move(time),
                              .paths = paths(),
                              .wall_clock = [this] { return wall; },
                              .start_worker = [](std::function<void()> work) { work(); }});
    }

    test_support::ConfigHome home{"vorn-time-date"};
    test_support::TempDir root{"vorn-time-root"};
    std::vector<std::function<void()>> pending;
    // Monday 2024-01-01 10:00:30 UTC, and a steady instant that moves with it.
    std::chrono::system_clock::time_point wall = std::chrono::sys_days{std::chrono::January / 1 / 2024} + 10h + 30s;
    Instant steady = Instant{} + 1000h;

    void advance(std::chrono::seconds by)
    {
        wall += by;
        steady += by;
    }
};

TEST_F(TimeDateModelTest, AServiceThatDoesNotAnswerLeavesEverythingUnreportedAndAutomaticTimeOn)
{
    ScriptedTime time({.status = std::unexpected(std::string("Failed to connect to bus: Host is down")),
                       .zones = std::unexpected(std::string("could not read the time zone list"))});
    const auto snapshot = read_time_date_snapshot(time, paths());
    EXPECT_EQ(snapshot.status, TimeSyncStatus{});
    EXPECT_TRUE(snapshot.auto_time) << "an unreported NTP state counts as automatic time on";
    EXPECT_EQ(snapshot.current_zone, "Europe/Amsterdam");
    EXPECT_THAT(snapshot.zones, ElementsAre("Europe/Amsterdam")) << "the list holds only the current zone";
    ASSERT_EQ(snapshot.cities.size(), 1U);
    EXPECT_EQ(snapshot.cities[0].zone, "Europe/Amsterdam");
}

TEST_F(TimeDateModelTest, TheNtpStateIsAskedSeparatelyWhenTheStatusLeavesItOut)
{
    ScriptedTime time({.status = TimeSyncStatus{.zone = "Europe/Berlin", .synchronized = false}, .ntp = false});
    auto snapshot = read_time_date_snapshot(time, paths());
    EXPECT_EQ(snapshot.status.ntp_enabled, false);
    EXPECT_FALSE(snapshot.auto_time);
    EXPECT_EQ(snapshot.current_zone, "Europe/Berlin");
    EXPECT_THAT(snapshot.zones, ElementsAre("Europe/Berlin", "UTC"));
    EXPECT_EQ(synchronization_text(snapshot.status.synchronized, snapshot.auto_time), "Automatic time is disabled");

    time.change([](auto& a) { a.ntp = std::unexpected(std::string("Failed to connect to bus")); });
    snapshot = read_time_date_snapshot(time, paths());
    EXPECT_EQ(snapshot.status.ntp_enabled, std::nullopt);
    EXPECT_TRUE(snapshot.auto_time);
    EXPECT_EQ(synchronization_text(snapshot.status.synchronized, snapshot.auto_time), "Waiting for synchronization");
}

// ---- The model ------------------------------------------------------------------------------------------------------

TEST_F(TimeDateModelTest, TheTimeServiceIsReadOnTheWorkerAndAdoptedBySync)
{
    auto time = std::make_shared<ScriptedTime>(ScriptedTime::Answers{
        .status = TimeSyncStatus{.zone = "Europe/Berlin", .ntp_server = "ntp.example", .ntp_enabled = true,
                                 .synchronized = true}});
    auto model = deferred_model(time);
    EXPECT_EQ(time->status_reads(), 0) << "nothing is read on the constructing thread";
    ASSERT_EQ(pending.size(), 1U);

    // The clock is there at once; what the time service says is not known yet.
    EXPECT_TRUE(model.sync(steady));
    EXPECT_FALSE(model.loaded());
    EXPECT_EQ(model.current_time_text(), "10:00");
    EXPECT_EQ(model.current_date_text(), "Monday, 1 January 2024");
    EXPECT_EQ(model.synchronization(), "—");
    EXPECT_EQ(model.source(), "—");
    EXPECT_EQ(model.map_caption(), "");

    pending[0]();
    EXPECT_TRUE(model.sync(steady));
    ASSERT_TRUE(model.loaded());
    EXPECT_EQ(model.current_zone(), "Europe/Berlin");
    EXPECT_EQ(model.requested_zone(), "Europe/Berlin");
    EXPECT_THAT(model.zones(), ElementsAre("Europe/Berlin", "UTC"));
    ASSERT_EQ(model.cities().size(), 1U);
    EXPECT_EQ(model.current_city(), 0U);
    EXPECT_TRUE(model.auto_time());
    EXPECT_EQ(model.synchronization(), "Synchronized");
    EXPECT_EQ(model.source(), "ntp.example");
    EXPECT_EQ(model.map_caption(), map_caption(1));
    EXPECT_FALSE(model.sync(steady)) << "nothing new";
}

TEST_F(TimeDateModelTest, TheNewestReadWinsWhateverOrderTheyFinishIn)
{
    auto time = std::make_shared<ScriptedTime>(
        ScriptedTime::Answers{.status = TimeSyncStatus{.zone = "Europe/Berlin"}});
    auto model = deferred_model(time);
    auto first = std::move(pending[0]);
    time->change([](auto& a) { a.status = TimeSyncStatus{.zone = "UTC"}; });
    model.refresh();
    ASSERT_EQ(pending.size(), 2U);
    pending[1]();
    time->change([](auto& a) { a.status = TimeSyncStatus{.zone = "Europe/Berlin"}; });
    first();  // the older read ends last
    model.sync(steady);
    EXPECT_EQ(model.current_zone(), "UTC");
}

TEST_F(TimeDateModelTest, TheClockTextsChangeAtTheMinuteDeadlineAndNotBefore)
{
    auto time = std::make_shared<ScriptedTime>();
    auto model = inline_model(time);
    EXPECT_EQ(model.next_wake_deadline(), std::nullopt);
    model.sync(steady);
    EXPECT_EQ(model.next_wake_deadline(), steady + 30s) << "10:00:30: the next minute starts in 30 s";
    EXPECT_EQ(time->clock_flags().size(), 1U);

    time->change([](auto& a) { a.clock = std::string("10:01"); });
    advance(29s);
    EXPECT_FALSE(model.sync(steady)) << "a sync pass before the deadline reads nothing";
    EXPECT_EQ(time->clock_flags().size(), 1U);
    EXPECT_EQ(model.current_time_text(), "10:00");

    advance(1s);
    EXPECT_TRUE(model.sync(steady));
    EXPECT_EQ(model.current_time_text(), "10:01");
    EXPECT_EQ(model.next_wake_deadline(), steady + 60s);

    // The machine slept: the steady clock stood still while the wall clock went on. The next pass notices.
    time->change([](auto& a) {
        a.clock = std::string("14:00");
        a.date = std::unexpected(std::string("the local time is unavailable"));
    });
    wall += 4h;
    steady += 1s;
    EXPECT_TRUE(model.sync(steady));
    EXPECT_EQ(model.current_time_text(), "14:00");
    EXPECT_EQ(model.current_date_text(), "—");

    time->change([](auto& a) { a.clock = std::unexpected(std::string("the local time is unavailable")); });
    advance(60s);
    EXPECT_TRUE(model.sync(steady));
    EXPECT_EQ(model.current_time_text(), "—");
}

TEST_F(TimeDateModelTest, TheClockFormatComesFromTheLocaleAndIsReadAgainOnRefresh)
{
    ASSERT_TRUE(prefs::save_locale(prefs::Locale{.currency = prefs::Currency::EUR, .time_format = prefs::HourCycle::H12}));
    auto time = std::make_shared<ScriptedTime>();
    auto model = inline_model(time);
    model.sync(steady);
    EXPECT_FALSE(model.clock_h24());
    EXPECT_EQ(model.clock_format(), "12-hour");
    EXPECT_THAT(time->clock_flags(), ElementsAre(false));

    save_clock_format(true);
    EXPECT_EQ(prefs::load_locale(), (prefs::Locale{.currency = prefs::Currency::EUR})) << "only the clock format";
    model.refresh();
    model.sync(steady);
    EXPECT_TRUE(model.clock_h24());
    EXPECT_EQ(model.clock_format(), "24-hour");
    EXPECT_THAT(time->clock_flags(), ElementsAre(false, true)) << "the time is formatted again at once";
}

TEST_F(TimeDateModelTest, AClockFormatThatCannotBeSavedIsLogged)
{
    std::ostringstream log;
    vorn_log::set_sink(std::make_shared<spdlog::sinks::ostream_sink_mt>(log));
    // The configuration directory cannot be made: a file stands in its place.
    write(home.path() / "vorn", "not a directory");
    save_clock_format(false);
    vorn_log::set_sink(nullptr);
    EXPECT_THAT(log.str(), HasSubstr("[time_format_save] failed to persist clock format: "));
}

TEST_F(TimeDateModelTest, TheRealWorkerAnswersAndWakesTheLoop)
{
    auto hub = std::make_shared<vorn_ui::WakeHub>();
    const auto previous = vorn_ui::install_wake_hub(hub);
    auto time = std::make_shared<ScriptedTime>(ScriptedTime::Answers{.status = TimeSyncStatus{.zone = "UTC"}});
    TimeDateModel model({.time = time, .paths = paths()});
    const auto give_up = std::chrono::steady_clock::now() + 10s;
    while (!model.loaded() && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(1ms);
        (void)model.sync(std::chrono::steady_clock::now());
    }
    vorn_ui::install_wake_hub(previous);
    ASSERT_TRUE(model.loaded());
    EXPECT_EQ(model.current_zone(), "UTC");
    EXPECT_TRUE(hub->take_pending()) << "the answer asked the loop for a pass";
}

}  // namespace
}  // namespace settings::panes::time_date
