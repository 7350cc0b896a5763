#include "panes/appearance/appearance_pane.hpp"

#include "actions/set_setting.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::panes::appearance {
namespace {

vorn_ui::Point centre(const vorn_ui::Rect& r) { return {(r.x0 + r.x1) / 2.0, (r.y0 + r.y1) / 2.0}; }

std::string stored_theme(const testing::TempConfig& home)
{
    return nlohmann::json::parse(home.read_settings()).at("appearance").at("theme").get<std::string>();
}

// A point of the window that only the background covers (right of the page's cards, near the bottom).
bool background_is(vorn_ui::HeadlessWindow& w, const vorn_ui::Theme& theme)
{
    return w.pixel(1275.0, 795.0).near(theme.background, 6);
}

TEST(AppearancePane, ThemeChosenWithItsControlOrByAutomationIsSavedAndDrawn)
{
    testing::TempConfig home;
    page_doc::Document doc;
    AppearancePane pane;
    vorn_ui::HeadlessWindow w(pane, doc, {1280, 800});
    w.frame();
    EXPECT_TRUE(background_is(w, vorn_ui::Theme::dark()));

    // The dropdown: open it, choose "Light".
    const auto field = w.find_text_bounds("Dark");
    ASSERT_TRUE(field);
    const auto [fx, fy] = centre(*field);
    w.click(fx, fy);
    const auto light = w.find_text_bounds("Light");
    ASSERT_TRUE(light);
    const auto [lx, ly] = centre(*light);
    w.click(lx, ly);
    w.frame();
    EXPECT_EQ(pane.model().prefs().theme, "Light");
    EXPECT_EQ(stored_theme(home), "Light");
    EXPECT_TRUE(background_is(w, vorn_ui::Theme::light()));
    EXPECT_TRUE(w.find_text_bounds("Active theme"));

    // A set-setting action from automation.
    ASSERT_TRUE(actions::apply_settings_action(actions::string_pair("appearance.theme", "Nord"), doc));
    w.frame();
    EXPECT_EQ(stored_theme(home), "Nord");
    EXPECT_TRUE(background_is(w, *vorn_ui::Theme::named("Nord")));
    EXPECT_EQ(page_doc::doc_text(doc, "appearance.theme.edit"), "Nord");
}

TEST(AppearancePane, AccessibilityDump)
{
    testing::TempConfig home;
    home.write_settings(R"({"appearance": {"theme": "Nord", "high_contrast": false, "reduce_motion": true,
                          "text_scale": 1.15, "ui_scale": 1.0}})");
    page_doc::Document doc;
    AppearancePane pane;
    vorn_ui::HeadlessWindow w(pane, doc, {1280, 800});
    w.frame();
    w.frame();
    const auto lines = testing::access_lines(w.accessibility_json());
    for (const std::string_view expected : {"combo_box Theme = Nord", "combo_box UI scale = 100%",
                                            "combo_box Text size = Large", "toggle High contrast",
                                            "toggle Reduce motion"}) {
        EXPECT_TRUE(std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(expected); }))
            << expected << "\n" << ::testing::PrintToString(lines);
    }
}

// The view is built once: a switch flipped with Space and a size chosen from its list keep the focus where the
// keyboard user left it, and Tab goes on to the next control instead of starting again at the top.
TEST(AppearancePane, FocusSurvivesAChange)
{
    testing::TempConfig home;
    page_doc::Document doc;
    AppearancePane pane;
    vorn_ui::HeadlessWindow w(pane, doc, {1280, 800});
    w.frame();
    const auto builds = pane.view_builds();

    ASSERT_TRUE(testing::focus_control(w, "appearance.high_contrast"));
    EXPECT_EQ(testing::next_in_focus_order(w, "appearance.high_contrast"), "appearance.reduce_motion");
    w.key(vorn_ui::Key::Space);
    w.frame();
    EXPECT_TRUE(pane.model().prefs().high_contrast);
    EXPECT_EQ(testing::focused_id(w), "appearance.high_contrast");
    w.tab();
    EXPECT_EQ(testing::focused_id(w), "appearance.reduce_motion");

    ASSERT_TRUE(testing::focus_control(w, "appearance.text_size"));
    const std::string after_size = testing::next_in_focus_order(w, "appearance.text_size");
    ASSERT_FALSE(after_size.empty());
    w.key(vorn_ui::Key::Space);  // opens the list on "Default"
    w.key(vorn_ui::Key::Down);
    w.key(vorn_ui::Key::Enter);
    w.frame();
    EXPECT_EQ(pane.model().prefs().text_scale, 1.15);
    EXPECT_EQ(testing::focused_id(w), "appearance.text_size");
    EXPECT_TRUE(w.find_text_bounds("115%"));  // the applied text scale, changed in place
    w.tab();
    EXPECT_EQ(testing::focused_id(w), after_size);

    EXPECT_EQ(pane.view_builds(), builds);
}

}  // namespace
}  // namespace settings::panes::appearance
