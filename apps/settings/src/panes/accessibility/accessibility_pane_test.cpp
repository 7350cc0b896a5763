#include "panes/accessibility/accessibility_pane.hpp"

#include "actions/catalogue/platform.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace settings::panes::accessibility {
namespace {

namespace cat = actions::catalogue;

bool has_line(const std::vector<std::string>& lines, std::string_view start)
{
    return std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(start); });
}

// PATH set to one directory while the object lives.
class ScopedPath {
public:
    explicit ScopedPath(const std::filesystem::path& dir)
    {
        if (const char* old = std::getenv("PATH")) {
            old_ = old;
        }
        ::setenv("PATH", dir.c_str(), 1);
    }
    ~ScopedPath()
    {
        if (old_) {
            ::setenv("PATH", old_->c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
    }

private:
    std::optional<std::string> old_;
};

std::vector<std::string> dump(bool keyboard, bool engine)
{
    testing::TempConfig home;
    const auto bin = home.root() / "bin";
    std::filesystem::create_directories(bin);
    if (engine) {
        std::ofstream(bin / "espeak-ng") << "#!/bin/sh\n";
    }
    ScopedPath path(bin);
    auto platform = std::make_shared<cat::FakePlatform>();
    platform->on_screen_keyboard = keyboard;
    platform->screen_reader_engine = engine;
    cat::ScopedPlatform scoped(platform);
    page_doc::Document doc;
    AccessibilityPane pane;
    vorn_ui::HeadlessWindow w(pane, doc, {1280, 2000});
    w.frame();
    w.frame();
    return testing::access_lines(w.accessibility_json());
}

TEST(AccessibilityPane, AccessibilityDumpWithAndWithoutAssistiveTechnology)
{
    const auto full = dump(true, true);
    for (const std::string_view expected :
         {"toggle High contrast", "toggle Reduce motion", "combo_box Text size = Default", "combo_box Colour filter = Off",
          "combo_box Magnifier lens = Off", "toggle Large cursor", "combo_box Cursor size = Default",
          "toggle On-screen keyboard", "toggle Sticky keys", "toggle Slow keys", "toggle Switch control",
          "combo_box Switch keys (next / activate) = F6 / F7", "combo_box Automatic scan = Manual",
          "toggle Screen reader", "combo_box Speech rate = Default", "combo_box Voice = System voice",
          "toggle Visual alerts"}) {
        EXPECT_TRUE(has_line(full, expected)) << expected << "\n" << ::testing::PrintToString(full);
    }

    const auto bare = dump(false, false);
    EXPECT_FALSE(has_line(bare, "toggle Screen reader"));
    EXPECT_FALSE(has_line(bare, "combo_box Speech rate"));
    EXPECT_FALSE(has_line(bare, "toggle On-screen keyboard"));
    std::string joined;
    for (const auto& line : bare) {
        joined += line + "\n";
    }
    EXPECT_NE(joined.find("Unavailable \u2014 install Speech Dispatcher or eSpeak NG"), std::string::npos) << joined;
    EXPECT_NE(joined.find("Not installed \u2014 add the signed so.vorn.osk system package"), std::string::npos);
}

// The view is built once: Space on a switch and a choice from a list change the value in place, the focus stays,
// and Tab goes on to the next control.
TEST(AccessibilityPane, FocusSurvivesAChange)
{
    testing::TempConfig home;
    auto platform = std::make_shared<cat::FakePlatform>();
    cat::ScopedPlatform scoped(platform);
    page_doc::Document doc;
    AccessibilityPane pane;
    vorn_ui::HeadlessWindow w(pane, doc, {1280, 800});
    w.frame();
    const auto builds = pane.view_builds();

    ASSERT_TRUE(testing::focus_control(w, "a11y.sticky_keys"));
    EXPECT_EQ(testing::next_in_focus_order(w, "a11y.sticky_keys"), "a11y.slow_keys");
    w.key(vorn_ui::Key::Space);
    w.frame();
    EXPECT_TRUE(pane.model().values().accessibility.sticky_keys);
    EXPECT_EQ(testing::focused_id(w), "a11y.sticky_keys");
    w.tab();
    EXPECT_EQ(testing::focused_id(w), "a11y.slow_keys");

    ASSERT_TRUE(testing::focus_control(w, "a11y.color_filter"));
    EXPECT_EQ(testing::next_in_focus_order(w, "a11y.color_filter"), "a11y.magnifier");
    w.key(vorn_ui::Key::Space);
    w.key(vorn_ui::Key::Down);
    w.key(vorn_ui::Key::Enter);
    w.frame();
    EXPECT_NE(pane.model().values().accessibility.color_filter, prefs::ColorFilter{});
    EXPECT_EQ(testing::focused_id(w), "a11y.color_filter");
    w.tab();
    EXPECT_EQ(testing::focused_id(w), "a11y.magnifier");

    EXPECT_EQ(pane.view_builds(), builds);
}

}  // namespace
}  // namespace settings::panes::accessibility
