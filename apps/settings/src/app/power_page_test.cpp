// The Power page inside the application, as the window's loop runs it: opened from the sidebar on a machine
// without a battery, its switch's action started by the loop's invocation pump, carried out by the page and saved
// in the settings file of a private home.
#include "app/settings_app.hpp"

#include "app/test_support.hpp"
#include "actions/set_setting.hpp"
#include "page_doc/page_doc.hpp"
#include "panes/power/power_pane.hpp"
#include "prefs/settings_file.hpp"
#include "system_ops/battery.hpp"
#include "system_ops/power.hpp"
#include "vorn_ui/app.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <sstream>

namespace settings::app {
namespace {

TEST(PowerPageInTheApplication, WithoutABatteryItShowsThePowerSourceAndSavesSuspendWhenIdle)
{
    const testing::PrivateHome home;
    const system_ops::ScopedCurrent<system_ops::battery::BatteryService> battery(
        std::make_shared<system_ops::battery::FakeBattery>());
    const system_ops::ScopedCurrent<system_ops::power::PowerService> profiles(
        std::make_shared<system_ops::power::FakePower>());
    auto app = SettingsApp::create();
    page_doc::Document doc;
    vorn_ui::HeadlessWindow window(*app, doc, {1280, 1400});
    window.frame();
    const auto row = window.find_text_bounds("Power");
    ASSERT_TRUE(row);
    window.click(row->x0 + 2, (row->y0 + row->y1) / 2);
    ASSERT_EQ(app->selected(), Section::Power);

    // Both readings in (the profiles' one may build the view anew), so that the switch found below stays in place.
    ASSERT_TRUE(testing::frames_until(window, [&] {
        const auto* pane = dynamic_cast<const panes::power::PowerPane*>(
            testing::find_widget(window.root(), [](const auto& w) { return w.widget_name() == "PowerPane"; }));
        return pane != nullptr && pane->model().battery_read() && pane->model().profiles_read() &&
               window.find_text_bounds("Power source").has_value();
    }));
    window.frame();
    EXPECT_TRUE(window.find_text_bounds("AC power"));
    for (const std::string_view title : {"Power profile", "Automatic power saving", "Suspend when idle",
                                         "Suspend after", "Power behaviour", "When the lid is closed"}) {
        EXPECT_TRUE(window.find_text_bounds(title)) << title;
    }

    // The switch, as the user clicks it; the loop's pump starts its action.
    const auto* toggle = dynamic_cast<const vorn_ui::Toggle*>(testing::find_widget(window.root(), [](const auto& w) {
        return w.label() == std::optional<std::string_view>("power.auto_suspend");
    }));
    ASSERT_NE(toggle, nullptr);
    ASSERT_TRUE(toggle->value());
    const vorn_ui::Rect track = toggle->track_rect();
    // The loop as the program configures it; it checks what the page's controls are bound to after a rebuild.
    vorn_ui::app::App loop("so.vorn.settings");
    actions::register_settings_action(loop.action_registry_mut());
    loop.runs_control_invocations = true;
    loop.refreshes_control_availability = true;
    loop.refresh_control_availability(window.root(), doc);
    ASSERT_TRUE(toggle->is_enabled()) << "the Power section publishes the switch's action";
    window.click((track.x0 + track.x1) / 2, (track.y0 + track.y1) / 2);
    EXPECT_EQ(loop.run_control_invocations(window.root(), doc, std::chrono::steady_clock::now()).invocations, 1U);
    ASSERT_EQ(loop.pending_operations().size(), 1U);
    window.frame();
    ASSERT_TRUE(testing::frames_until(window, [&] {
        (void)loop.poll_operations(window.root(), std::chrono::steady_clock::now());
        return !loop.recent_completions().empty();
    }));
    const auto& completion = loop.recent_completions().back();
    EXPECT_EQ(completion.kind, vorn_ui::OperationCompletion::Kind::Completed) << completion.message;

    EXPECT_FALSE(prefs::load_settings_file().power.auto_suspend);
    std::ifstream in(home.path() / "config" / "vorn" / "settings.json");
    std::stringstream text;
    text << in.rdbuf();
    const auto stored = nlohmann::json::parse(text.str());
    EXPECT_EQ(stored.at("power").at("auto_suspend"), false) << text.str();
    window.frame();
    EXPECT_FALSE(toggle->value());
}

}  // namespace
}  // namespace settings::app
