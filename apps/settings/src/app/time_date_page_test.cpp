// The Time & Date page inside the application, as the window's loop runs it: opened from the sidebar over the
// machine's tzdata and a fake time service, a city clicked on the map, its zone shown in the drop-down and set by
// the runner through the "timezone" action.
#include "app/settings_app.hpp"

#include "app/test_support.hpp"
#include "actions/set_setting.hpp"
#include "page_doc/page_doc.hpp"
#include "panes/time_date/time_zone_map.hpp"
#include "system_ops/time.hpp"
#include "vorn_ui/app.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace settings::app {
namespace {

using panes::time_date::TimeZoneMap;

TimeZoneMap* find_map(const vorn_ui::HeadlessWindow& window)
{
    const auto* found = testing::find_widget(
        window.root(), [](const auto& w) { return dynamic_cast<const TimeZoneMap*>(&w) != nullptr; });
    return const_cast<TimeZoneMap*>(dynamic_cast<const TimeZoneMap*>(found));
}

const vorn_ui::Dropdown* find_zone_list(const vorn_ui::HeadlessWindow& window)
{
    return dynamic_cast<const vorn_ui::Dropdown*>(testing::find_widget(window.root(), [](const auto& w) {
        return w.label() == std::optional<std::string_view>("time.timezone");
    }));
}

TEST(TimeDatePageInTheApplication, ClickingACitySelectsItsZoneAndTheRunnerSetsIt)
{
    if (!std::filesystem::exists("/usr/share/zoneinfo/zone1970.tab")) {
        GTEST_SKIP() << "tzdata is not installed (/usr/share/zoneinfo/zone1970.tab)";
    }
    const testing::PrivateHome home;
    const auto time = std::make_shared<system_ops::time::FakeTime>();
    const system_ops::ScopedCurrent<system_ops::time::TimeService> current(time);
    auto app = SettingsApp::create();
    page_doc::Document doc;
    vorn_ui::HeadlessWindow window(*app, doc, {1280, 1400});
    window.frame();
    const auto row = window.find_text_bounds("Time & Date");
    ASSERT_TRUE(row);
    window.click(row->x0 + 2, (row->y0 + row->y1) / 2);
    ASSERT_EQ(app->selected(), Section::TimeDate);

    ASSERT_TRUE(testing::frames_until(window, [&] { return find_map(window) != nullptr; }));
    TimeZoneMap* map = find_map(window);
    ASSERT_FALSE(map->cities().empty()) << "the machine's zone table places the fake's zones";
    EXPECT_TRUE(window.find_text_bounds("Selected: UTC")) << "UTC has no city; the label names it";
    const auto new_york = map->city_of("America/New_York");
    ASSERT_TRUE(new_york);

    vorn_ui::app::App loop("so.vorn.settings");
    actions::register_settings_action(loop.action_registry_mut());
    loop.runs_control_invocations = true;
    loop.refreshes_control_availability = true;
    loop.refresh_control_availability(window.root(), doc);

    const vorn_ui::Point dot = map->project(*new_york);
    window.click(dot.x, dot.y);
    window.frame();
    ASSERT_NE(find_zone_list(window), nullptr);
    EXPECT_EQ(find_zone_list(window)->selected(), "America/New_York") << "the drop-down shows the pick at once";

    EXPECT_EQ(loop.run_control_invocations(window.root(), doc, std::chrono::steady_clock::now()).invocations, 1U);
    ASSERT_TRUE(testing::frames_until(window, [&] {
        (void)loop.poll_operations(window.root(), std::chrono::steady_clock::now());
        return !loop.recent_completions().empty();
    }));
    const auto& completion = loop.recent_completions().back();
    EXPECT_EQ(completion.kind, vorn_ui::OperationCompletion::Kind::Completed) << completion.message;
    EXPECT_THAT(time->state().timezones_set, ::testing::ElementsAre("America/New_York"));

    // The page built anew reads the zone now in force.
    ASSERT_TRUE(testing::frames_until(window, [&] {
        const auto* list = find_zone_list(window);
        return list != nullptr && list->selected() == "America/New_York" && find_map(window) != nullptr &&
               find_map(window)->current_zone() == "America/New_York";
    }));
}

}  // namespace
}  // namespace settings::app
