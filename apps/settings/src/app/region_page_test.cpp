// The Region & Formats page inside the application, as the window's loop runs it: opened from the sidebar under a
// private home, a currency chosen from its drop-down with the keyboard, the drop-down's action run by the loop's
// invocation pump; the currency lands in the settings file and the preview shows its symbol.
#include "app/settings_app.hpp"

#include "app/test_support.hpp"
#include "actions/set_setting.hpp"
#include "page_doc/page_doc.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/region/region_pane.hpp"
#include "prefs/locale.hpp"
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

const panes::region::RegionPane* find_region_pane(const vorn_ui::HeadlessWindow& window)
{
    return dynamic_cast<const panes::region::RegionPane*>(
        testing::find_widget(window.root(), [](const auto& w) { return w.widget_name() == "RegionPane"; }));
}

std::string read_text(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(RegionPageInTheApplication, AChosenCurrencyLandsInTheSettingsFileAndThePreviewShowsItsSymbol)
{
    const testing::PrivateHome home;
    const auto settings_file = home.path() / "config" / "vorn" / "settings.json";
    std::filesystem::create_directories(settings_file.parent_path());
    std::ofstream(settings_file) << R"({"audio": {"volume": 0.4}, "locale": {"date_format": "EU"}})";

    auto app = SettingsApp::create();
    page_doc::Document doc;
    vorn_ui::HeadlessWindow window(*app, doc, {1280, 1400});
    window.frame();
    const auto row = window.find_text_bounds("Region & Formats");
    ASSERT_TRUE(row);
    window.click(row->x0 + 2, (row->y0 + row->y1) / 2);
    ASSERT_EQ(app->selected(), Section::RegionFormats);
    ASSERT_TRUE(testing::frames_until(window, [&] { return find_region_pane(window) != nullptr; }));
    window.frame();
    EXPECT_FALSE(find_region_pane(window)->narrow());
    EXPECT_TRUE(window.find_text_bounds("$1,234,567.89"));
    EXPECT_TRUE(window.find_text_bounds("15/03/2023")) << "the stored date format";

    // The loop as the program configures it.
    vorn_ui::app::App loop("so.vorn.settings");
    actions::register_settings_action(loop.action_registry_mut());
    loop.runs_control_invocations = true;
    loop.refreshes_control_availability = true;
    loop.refresh_control_availability(window.root(), doc);

    // USD, EUR, GBP: two down from the currency in force.
    ASSERT_TRUE(panes::testing::focus_control(window, "region.currency"));
    window.key(vorn_ui::Key::Space);
    window.key(vorn_ui::Key::Down);
    window.key(vorn_ui::Key::Down);
    window.key(vorn_ui::Key::Enter);
    EXPECT_EQ(loop.run_control_invocations(window.root(), doc, std::chrono::steady_clock::now()).invocations, 1U);
    ASSERT_TRUE(testing::frames_until(window, [&] {
        (void)loop.poll_operations(window.root(), std::chrono::steady_clock::now());
        return window.find_text_bounds("\u00A31,234,567.89").has_value();
    })) << "the preview shows the pound sign";
    EXPECT_EQ(panes::testing::focused_id(window), "region.currency") << "the focus stays on the drop-down";

    const std::string text = read_text(settings_file);
    const auto stored = nlohmann::ordered_json::parse(text);
    EXPECT_EQ(stored.at("locale").dump(), R"({"date_format":"EU","currency":"GBP"})")
        << "only the changed field is written into the stored locale";
    EXPECT_EQ(stored.at("audio").at("volume"), 0.4) << text;
    EXPECT_EQ(stored.at("version"), 1);
    EXPECT_EQ(prefs::load_locale(), (prefs::Locale{.currency = prefs::Currency::GBP,
                                                   .date_format = prefs::DateFormat::EU}));
}

// In a window too narrow for the sidebar beside the page, the page is built narrow from the start: each drop-down
// under its title.
TEST(RegionPageInTheApplication, ANarrowWindowBuildsTheNarrowLayoutAtOnce)
{
    const testing::PrivateHome home;
    auto app = SettingsApp::create();
    page_doc::Document doc;
    vorn_ui::HeadlessWindow window(*app, doc, {400, 900});
    window.frame();
    app->select_section(Section::RegionFormats);
    window.frame();
    ASSERT_TRUE(testing::frames_until(window, [&] { return find_region_pane(window) != nullptr; }));
    window.frame();
    const auto* pane = find_region_pane(window);
    EXPECT_TRUE(pane->narrow());
    EXPECT_EQ(pane->view_builds(), 1U) << "no wide view first";
    const auto lines = panes::testing::access_lines(window.accessibility_json());
    EXPECT_NE(std::ranges::find(lines, "combo_box Currency = USD [collapsed]"), lines.end())
        << ::testing::PrintToString(lines);
}

}  // namespace
}  // namespace settings::app
