// The Time & Date page in the headless window over a fake time service, a fixture zone table and hand-run reads:
// what it shows for each state of the time service (drawn texts, accessibility, the map's dots), a pick on the map
// and in the drop-down, the clock texts each minute, a refused change put back with its reason, and the keyboard
// user's place kept through all of it.

#include "panes/time_date/time_date_pane.hpp"
#include "panes/time_date/time_zone_map.hpp"

#include "panes/preference_pane/pages_test_support.hpp"
#include "prefs/locale.hpp"
#include "test_support/temp_home.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace settings::panes::time_date {
namespace {

using namespace std::chrono_literals;
using operations::OperationStatus;
using system_ops::time::FakeTime;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::string_view kZoneTable = "# tzdata zone1970.tab, abridged\n"
                                        "US\t+404251-0740023\tAmerica/New_York\tEastern (most areas)\n"
                                        "PE\t-1203-07703\tAmerica/Lima\n"
                                        "DE,DK\t+5230+01322\tEurope/Berlin\tmost of Germany\n"
                                        "JP\t+353916+1394441\tAsia/Tokyo\n";

constexpr std::string_view kSetTimezoneKey =
    R"(settings.time-date-operation:{"SetTimezone":{"timezone":"Asia/Tokyo"}})";
constexpr std::string_view kSetNtpKey = R"(settings.time-date-operation:{"SetAutomaticTime":{"enabled":false}})";

bool has_line(const std::vector<std::string>& lines, std::string_view start)
{
    return std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(start); });
}

FakeTime::State berlin()
{
    return {.zones = std::vector<std::string>{"America/New_York", "Asia/Tokyo", "Europe/Berlin", "UTC"},
            .status = system_ops::time::TimeSyncStatus{.zone = "Europe/Berlin",
                                                       .ntp_server = "ntp.example.org",
                                                       .ntp_enabled = true,
                                                       .synchronized = true},
            .clock = std::string("10:00"),
            .date = std::string("Monday, 1 January 2024")};
}

class TimeDatePaneTest : public ::testing::Test {
protected:
    TimeDatePaneTest()
    {
        std::filesystem::create_directories(root.path() / "zoneinfo");
        std::ofstream(root.path() / "zoneinfo/zone1970.tab") << kZoneTable;
    }

    TimeDateModel::Options options()
    {
        return {.time = time,
                .paths = {.root = root.path(), .zoneinfo_root = root.path() / "zoneinfo"},
                .wall_clock = [this] { return wall; },
                .start_worker = [this](std::function<void()> work) { pending.push_back(std::move(work)); }};
    }

    void open(std::shared_ptr<LastTimeDateRead> last = nullptr)
    {
        window.reset();
        pane = std::make_unique<TimeDatePane>(options(), std::move(last));
        pane->follow_operation_status(status);
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1000, 1100});
        window->frame();
    }

    // The reads of the time service asked for so far end.
    void settle()
    {
        for (auto& work : std::exchange(pending, {})) {
            work();
        }
        window->frame();
    }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        return testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }

    // Where the map draws the dot of a zone.
    [[nodiscard]] vorn_ui::Point dot_of(std::string_view zone) const
    {
        const auto city = pane->map()->city_of(zone);
        EXPECT_TRUE(city) << zone;
        return pane->map()->project(city.value_or(0));
    }
    [[nodiscard]] bool accent_at(std::string_view zone) const
    {
        const vorn_ui::Point at = dot_of(zone);
        return window->pixel(at.x, at.y).near(window->theme().accent);
    }

    // Every control invocation the page queued, as "<action> <arguments>".
    std::vector<std::string> asked()
    {
        std::vector<std::string> out;
        while (auto invocation = pane->take_control_invocation()) {
            EXPECT_EQ(invocation->resource_id, "settings.section:time_date");
            out.push_back(invocation->action_id + " " + invocation->arguments.json().dump());
        }
        return out;
    }

    void publish_outcome(std::string_view key, std::optional<std::string> failure)
    {
        (void)status.publish(OperationStatus::running(std::string(key)));
        (void)status.publish(failure ? OperationStatus::failed(std::string(key), *failure)
                                     : OperationStatus::done(std::string(key), "done"));
    }

    test_support::ConfigHome home{"vorn-time-date-pane"};
    test_support::TempDir root{"vorn-time-date-root"};
    std::shared_ptr<FakeTime> time = std::make_shared<FakeTime>(berlin());
    std::vector<std::function<void()>> pending;
    std::chrono::system_clock::time_point wall = std::chrono::sys_days{std::chrono::January / 1 / 2024} + 10h + 15s;
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
    std::unique_ptr<TimeDatePane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(TimeDatePaneTest, ShowsWhatTheTimeServiceReports)
{
    struct Case {
        std::string_view name;
        FakeTime::State state;
        prefs::HourCycle clock = prefs::HourCycle::H24;
        bool zone_table = true;
        std::vector<std::string> shown;  // drawn texts or the starts of accessibility lines
        std::vector<std::string> absent;
    };
    auto waiting = berlin();
    waiting.status->synchronized = false;
    waiting.status->ntp_server.reset();
    auto disabled = waiting;
    disabled.status->ntp_enabled = false;
    auto silent = berlin();
    silent.status = std::unexpected(std::string("Failed to connect to bus: No such file or directory"));
    silent.zones = std::unexpected(std::string("Failed to connect to bus: No such file or directory"));
    silent.clock = std::unexpected(std::string("the local time is unavailable"));
    silent.date = std::unexpected(std::string("the local time is unavailable"));

    const std::vector<Case> cases{
        {"synchronized",
         berlin(),
         prefs::HourCycle::H24,
         true,
         {"Synchronized", "ntp.example.org", "10:00", "Monday, 1 January 2024", "24-hour", "Selected: Europe/Berlin",
          map_caption(3), "toggle Set time automatically = on", "toggle 24-hour clock = on",
          "combo_box Time zone = Europe/Berlin", "image Time-zone map = Europe/Berlin",
          std::string(text::kSourceCaption), std::string(text::kDisplayCaption)},
         {"Waiting for synchronization", std::string(text::kLoading)}},
        {"waiting, no server named, 12-hour clock",
         waiting,
         prefs::HourCycle::H12,
         true,
         {"Waiting for synchronization", "Not reported by the active NTP provider", "12-hour",
          "toggle 24-hour clock = off"},
         {"Synchronized"}},
        {"automatic time off", disabled, prefs::HourCycle::H24, true,
         {"Automatic time is disabled", "toggle Set time automatically = off"}, {}},
        {"the time service does not answer",
         silent,
         prefs::HourCycle::H24,
         true,
         {"Not reported by the time service", "toggle Set time automatically = on",
          "combo_box Time zone = Europe/Amsterdam", "Selected: Europe/Amsterdam", map_caption(0),
          "Map coordinates are unavailable; use the selector above."},
         {"10:00"}},
        {"no zone table",
         berlin(),
         prefs::HourCycle::H24,
         false,
         {"Map coordinates are unavailable; use the selector above.", map_caption(0),
          "combo_box Time zone = Europe/Berlin"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        time->change([&](FakeTime::State& s) { s = c.state; });
        ASSERT_TRUE(prefs::save_locale(prefs::Locale{.time_format = c.clock}));
        if (!c.zone_table) {
            std::filesystem::remove(root.path() / "zoneinfo/zone1970.tab");
        }
        open();
        EXPECT_TRUE(shows(text::kLoading)) << "before the time service answered";
        EXPECT_EQ(pane->map(), nullptr);
        settle();
        const auto access = lines();
        for (const std::string& text : c.shown) {
            EXPECT_TRUE(shows(text) || has_line(access, text)) << text << "\n" << ::testing::PrintToString(access);
        }
        for (const std::string& text : c.absent) {
            EXPECT_FALSE(shows(text) || has_line(access, text)) << text;
        }
        if (c.zone_table && c.state.status) {
            EXPECT_TRUE(accent_at("Europe/Berlin")) << "the current zone's dot";
            EXPECT_FALSE(accent_at("Asia/Tokyo"));
        }
        if (c.state.clock) {
            EXPECT_TRUE(shows(*c.state.clock));
        } else {
            EXPECT_TRUE(shows(kUnavailable)) << "a clock that cannot be read";
        }
        std::ofstream(root.path() / "zoneinfo/zone1970.tab") << kZoneTable;
    }
}

TEST_F(TimeDatePaneTest, APickOnTheMapShowsInTheDropDownAndTheOtherWayRound)
{
    open();
    settle();
    const auto builds = pane->view_builds();
    const vorn_ui::Point tokyo = dot_of("Asia/Tokyo");
    window->click(tokyo.x + 1.0, tokyo.y);
    window->frame();
    EXPECT_THAT(asked(), ElementsAre(R"(timezone {"choice":"Asia/Tokyo"})"));
    EXPECT_TRUE(has_line(lines(), "combo_box Time zone = Asia/Tokyo")) << ::testing::PrintToString(lines());
    EXPECT_TRUE(accent_at("Asia/Tokyo"));
    EXPECT_FALSE(accent_at("Europe/Berlin"));
    EXPECT_EQ(testing::focused_id(*window), "time.timezone-map") << "the pick took the keyboard focus";

    // The drop-down, by keyboard: its choice moves the map's accent dot and asks once.
    window->move(1.0, 1.0);
    ASSERT_TRUE(testing::focus_control(*window, text::kZoneDropdownId));
    window->key(vorn_ui::Key::Space);
    window->key(vorn_ui::Key::Home);
    window->key(vorn_ui::Key::Enter);
    window->frame();
    EXPECT_THAT(asked(), ElementsAre(R"(timezone {"choice":"America/New_York"})"));
    EXPECT_TRUE(accent_at("America/New_York"));
    EXPECT_TRUE(shows("Selected: America/New_York"));
    EXPECT_EQ(testing::focused_id(*window), text::kZoneDropdownId);
    window->tab();
    EXPECT_EQ(testing::focused_id(*window), "time.timezone-map");
    EXPECT_EQ(pane->view_builds(), builds) << "a pick changes the view in place";
}

TEST_F(TimeDatePaneTest, TheClockTextsChangeEachMinuteInPlace)
{
    open();
    settle();
    const auto builds = pane->view_builds();
    ASSERT_TRUE(pane->next_wake_deadline()) << "the page wakes the loop for the next minute";

    time->change([](FakeTime::State& s) {
        s.clock = std::string("10:01");
        s.date = std::string("Tuesday, 2 January 2024");
    });
    window->frame();
    EXPECT_TRUE(shows("10:00")) << "not before the minute is over";
    wall += 45s;
    window->frame();
    EXPECT_TRUE(shows("10:01"));
    EXPECT_TRUE(shows("Tuesday, 2 January 2024"));
    EXPECT_FALSE(shows("10:00"));
    EXPECT_EQ(pane->view_builds(), builds);
}

// The runner applies the section's operations and publishes their outcome; the page reads the machine again and
// shows what is in force.
TEST_F(TimeDatePaneTest, FocusSurvivesAChange)
{
    open();
    settle();
    const auto builds = pane->view_builds();

    // Space on the switch asks for the change; the focus stays and Tab goes on.
    ASSERT_TRUE(testing::focus_control(*window, text::kAutoToggleId));
    EXPECT_EQ(testing::next_in_focus_order(*window, text::kAutoToggleId), text::kHour24ToggleId);
    window->key(vorn_ui::Key::Space);
    EXPECT_THAT(asked(), ElementsAre(R"(automatic-time {"value":false})"));
    EXPECT_TRUE(has_line(lines(), "toggle Set time automatically = off"));

    // The system refused: the switch goes back once the page has read the machine again, and the page says why.
    publish_outcome(kSetNtpKey, "automatic time could not be changed: Access denied");
    window->frame();
    ASSERT_EQ(pending.size(), 1U) << "the outcome makes the page read the time service again";
    settle();
    EXPECT_TRUE(has_line(lines(), "toggle Set time automatically = on")) << ::testing::PrintToString(lines());
    EXPECT_TRUE(shows("automatic time could not be changed: Access denied"));
    EXPECT_EQ(pane->view_builds(), builds + 1) << "the notice is a row of its own";
    EXPECT_EQ(testing::focused_id(*window), text::kAutoToggleId);
    window->tab();
    EXPECT_EQ(testing::focused_id(*window), text::kHour24ToggleId);

    // The next change takes: the notice goes and the read shows the new zone everywhere.
    time->change([](FakeTime::State& s) { s.status->zone = "Asia/Tokyo"; });
    publish_outcome(kSetTimezoneKey, std::nullopt);
    window->frame();
    settle();
    EXPECT_FALSE(pane->notice());
    EXPECT_FALSE(shows("automatic time could not be changed: Access denied"));
    EXPECT_TRUE(has_line(lines(), "combo_box Time zone = Asia/Tokyo"));
    EXPECT_TRUE(accent_at("Asia/Tokyo"));
    EXPECT_EQ(testing::focused_id(*window), text::kHour24ToggleId);
    EXPECT_THAT(asked(), IsEmpty()) << "what the page reads is shown, never asked for";

    // Operations of other sections are none of the page's business.
    publish_outcome(R"(settings.power-operation:{"SetProfile":{"profile":"Balanced"}})", "no");
    window->frame();
    EXPECT_THAT(pending, IsEmpty());
    EXPECT_FALSE(pane->notice());
}

TEST_F(TimeDatePaneTest, APageBuiltAnewStartsFromTheLastReadAndTheUsersPick)
{
    auto last = std::make_shared<LastTimeDateRead>();
    open(last);
    settle();
    const vorn_ui::Point tokyo = dot_of("Asia/Tokyo");
    window->click(tokyo.x, tokyo.y);
    window->frame();
    (void)asked();

    // The runner builds the page anew after the operation: the map is there at once, with the pick.
    open(last);
    ASSERT_NE(pane->map(), nullptr);
    EXPECT_FALSE(shows(text::kLoading));
    EXPECT_TRUE(accent_at("Asia/Tokyo"));
    ASSERT_EQ(pending.size(), 1U);
    // Its own read has the last word (here the system kept Berlin).
    settle();
    EXPECT_TRUE(accent_at("Europe/Berlin"));
    EXPECT_TRUE(has_line(lines(), "combo_box Time zone = Europe/Berlin"));
}

TEST_F(TimeDatePaneTest, AFailureThatBuiltThePageAnewIsShownOnIt)
{
    publish_outcome(kSetTimezoneKey, "time zone could not be changed: Permission denied");
    open();
    settle();
    EXPECT_TRUE(shows("time zone could not be changed: Permission denied"));
}

}  // namespace
}  // namespace settings::panes::time_date
