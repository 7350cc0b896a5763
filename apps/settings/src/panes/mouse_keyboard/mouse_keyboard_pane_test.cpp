#include "panes/mouse_keyboard/mouse_keyboard_pane.hpp"

#include "actions/catalogue/platform.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>

namespace settings::panes::mouse_keyboard {
namespace {

namespace cat = actions::catalogue;

const std::vector<keyboard_layouts::KeyboardLayout> layouts{
    {"de", "German"}, {"gb", "English (UK)"}, {"us", "English (US)"}, {"fr", "French"}};

bool has_line(const std::vector<std::string>& lines, std::string_view start)
{
    return std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(start); });
}

TEST(MouseKeyboardPane, AccessibilityDumpAndBoundControls)
{
    testing::TempConfig home;
    auto platform = std::make_shared<cat::FakePlatform>();
    platform->layouts = layouts;
    cat::ScopedPlatform scoped(platform);
    page_doc::Document doc;
    MouseKeyboardPane pane(MouseKeyboardModel(prefs::InputPrefs{}, TextAssistance{}, layouts));
    vorn_ui::HeadlessWindow w(pane, doc, {1280, 2200});
    w.frame();
    const auto lines = testing::access_lines(w.accessibility_json());
    for (const std::string_view expected :
         {"combo_box Active input source = English (US)", "slider Key repeat speed", "combo_box Compose key = Disabled",
          "toggle Check spelling while typing", "toggle Auto-correct obvious misspellings",
          "combo_box Add a language or layout", "slider Touchpad speed", "slider Mouse speed",
          "toggle Touchpad natural scrolling", "toggle Tap to click", "toggle Left-handed",
          "combo_box Acceleration = Adaptive"}) {
        EXPECT_TRUE(has_line(lines, expected)) << expected << "\n" << ::testing::PrintToString(lines);
    }
    EXPECT_TRUE(has_line(lines, "button Remove"));

    // A switch sends its action of the Mouse & Keyboard section.
    const auto bounds = w.find_text_bounds("Tap to click");
    ASSERT_TRUE(bounds);
    const auto toggles = pane.control_action_bindings();
    EXPECT_FALSE(toggles.empty());
}

}  // namespace
}  // namespace settings::panes::mouse_keyboard
