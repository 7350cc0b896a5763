#include "panes/notifications/notifications_pane.hpp"

#include "actions/catalogue/platform.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>

namespace settings::panes::notifications {
namespace {

namespace cat = actions::catalogue;

bool has_line(const std::vector<std::string>& lines, std::string_view start)
{
    return std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(start); });
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& line : lines) {
        out += line + "\n";
    }
    return out;
}

// The pane over a private home and a platform listing `apps`.
struct Page {
    explicit Page(std::vector<cat::AppEntry> apps, vorn_ui::WindowSize size = {1280, 3000})
        : platform(std::make_shared<cat::FakePlatform>()), scoped(make(platform, std::move(apps)))
    {
        pane = std::make_unique<NotificationsPane>();
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, size);
        window->frame();
        window->frame();
    }
    static std::shared_ptr<cat::FakePlatform> make(std::shared_ptr<cat::FakePlatform> p, std::vector<cat::AppEntry> apps)
    {
        p->notification_app_list = std::move(apps);
        return p;
    }
    [[nodiscard]] std::vector<std::string> lines() const { return testing::access_lines(window->accessibility_json()); }

    testing::TempConfig home;
    std::shared_ptr<cat::FakePlatform> platform;
    cat::ScopedPlatform scoped;
    page_doc::Document doc;
    std::unique_ptr<NotificationsPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST(NotificationsPane, AccessibilityDumpWithAnApplication)
{
    Page page(std::vector<cat::AppEntry>{{"org.example.Chat", "Chat"}});
    const auto lines = page.lines();
    for (const std::string_view expected :
         {"toggle Do Not Disturb", "toggle Scheduled quiet hours", "combo_box From = 22:00", "combo_box Days = Every day",
          "combo_box Until = 07:00", "toggle Show banners", "toggle Show message previews", "toggle Show on lock screen",
          "toggle Play sounds", "toggle Show notification badges", "toggle Allow banners", "toggle Show previews",
          "toggle Show badges", "toggle Priority during focus", "toggle Priority contacts",
          "combo_box Mute Chat temporarily = Not muted"}) {
        EXPECT_TRUE(has_line(lines, expected)) << expected << "\n" << joined(lines);
    }
    const std::string all = joined(lines);
    for (const std::string_view text :
         {std::string_view("Active"), apps_caption, applies_caption, focus_caption, priority_contacts_caption,
          std::string_view("org.example.Chat"), std::string_view("Banners and their contents are currently allowed."),
          std::string_view("Favourites in Contacts"), sound_backend_text()}) {
        EXPECT_NE(all.find(text), std::string::npos) << text << "\n" << all;
    }
    for (const std::string_view title : {"Do Not Disturb", "Focus schedule", "Banners", "Lock screen & shell integration",
                                         "Applications", "How this applies", "Chat", "Priority contacts"}) {
        EXPECT_TRUE(page.window->find_text_bounds(title).has_value()) << title;
    }
}

TEST(NotificationsPane, WithoutApplications)
{
    Page page(std::vector<cat::AppEntry>{});
    const std::string all = joined(page.lines());
    EXPECT_NE(all.find(no_apps_caption), std::string::npos) << all;
    EXPECT_FALSE(has_line(page.lines(), "toggle Allow banners"));
}

// The narrow window lays the same cards out within its width.
TEST(NotificationsPane, NarrowWindow)
{
    Page page(std::vector<cat::AppEntry>{{"org.example.Chat", "Chat"}}, {560, 3000});
    for (const std::string_view text : {"Do Not Disturb", "Mute temporarily", "Verified application"}) {
        const auto bounds = page.window->find_text_bounds(text);
        ASSERT_TRUE(bounds.has_value()) << text;
        EXPECT_LE(bounds->x1, 560.0) << text;
        EXPECT_GE(bounds->x0, 0.0) << text;
    }
}

// The view is built once: Space on a switch and a choice from a list change the value in place, the focus stays,
// and Tab goes on to the next control; the delivery badge and an application's caption follow in place.
TEST(NotificationsPane, FocusSurvivesAChange)
{
    Page page(std::vector<cat::AppEntry>{{"org.example.Chat", "Chat"}}, {1280, 800});
    auto& w = *page.window;
    const auto builds = page.pane->view_builds();

    ASSERT_TRUE(testing::focus_control(w, "notifications.dnd"));
    EXPECT_EQ(testing::next_in_focus_order(w, "notifications.dnd"), "notifications.focus.enabled");
    w.key(vorn_ui::Key::Space);
    w.frame();
    EXPECT_TRUE(page.pane->model().prefs().do_not_disturb);
    EXPECT_EQ(testing::focused_id(w), "notifications.dnd");
    EXPECT_TRUE(w.find_text_bounds("Silenced").has_value());
    w.tab();
    EXPECT_EQ(testing::focused_id(w), "notifications.focus.enabled");

    ASSERT_TRUE(testing::focus_control(w, "notifications.focus.start"));
    EXPECT_EQ(testing::next_in_focus_order(w, "notifications.focus.start"), "notifications.focus.days");
    w.key(vorn_ui::Key::Space);
    w.key(vorn_ui::Key::Down);
    w.key(vorn_ui::Key::Enter);
    w.frame();
    EXPECT_NE(page.pane->model().prefs().focus.start_minute, 1320);
    EXPECT_EQ(testing::focused_id(w), "notifications.focus.start");
    w.tab();
    EXPECT_EQ(testing::focused_id(w), "notifications.focus.days");

    const std::string banners = "notifications.app.org.example.Chat.banners";
    ASSERT_TRUE(testing::focus_control(w, banners));
    w.key(vorn_ui::Key::Space);
    w.frame();
    EXPECT_EQ(page.pane->model().prefs().per_app.at("org.example.Chat").banners, false);
    EXPECT_EQ(testing::focused_id(w), banners);
    const std::string all = joined(page.lines());
    EXPECT_NE(all.find("Notifications go to history without a banner."), std::string::npos) << all;

    EXPECT_EQ(page.pane->view_builds(), builds);
}

}  // namespace
}  // namespace settings::panes::notifications
