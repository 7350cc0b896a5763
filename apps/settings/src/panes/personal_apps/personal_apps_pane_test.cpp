// The Apps & Files page in the headless window: its accessibility tree, the caption without any kind, and the
// focus kept after a choice.
#include "panes/personal_apps/personal_apps_pane.hpp"

#include "actions/catalogue/platform.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>

namespace settings::panes::personal_apps {
namespace {

namespace cat = actions::catalogue;
namespace defaults = desk_rules::defaults;

std::string joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& line : lines) {
        out += line + "\n";
    }
    return out;
}

// The pane over a private home, `apps` installed, and a platform publishing their kinds.
struct Page {
    explicit Page(std::vector<defaults::AppCandidate> installed, vorn_ui::WindowSize size = {1280, 1600})
        : platform(publishing(installed)), scoped(platform)
    {
        pane = std::make_unique<PersonalAppsPane>(
            PersonalAppsModel(std::move(installed), defaults::PersonalDefaults::load()));
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, size);
        window->frame();
        window->frame();
    }
    static std::shared_ptr<cat::FakePlatform> publishing(const std::vector<defaults::AppCandidate>& installed)
    {
        auto p = std::make_shared<cat::FakePlatform>();
        for (const auto& kind : defaults::kinds(installed)) {
            cat::DefaultAppKind published{kind, defaults::ResourceKind{kind}.display_label(), {}, {}};
            for (const auto& app : defaults::candidates(installed, kind)) {
                published.candidates.push_back({app.id, app.name});
            }
            p->default_kinds.push_back(std::move(published));
        }
        return p;
    }
    [[nodiscard]] std::vector<std::string> lines() const { return testing::access_lines(window->accessibility_json()); }

    testing::TempConfig home;
    std::shared_ptr<cat::FakePlatform> platform;
    cat::ScopedPlatform scoped;
    page_doc::Document doc;
    std::unique_ptr<PersonalAppsPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

std::vector<defaults::AppCandidate> two_browsers_and_mail()
{
    return {{"org.example.atlas", "Atlas", {"mime:text/html", "scheme:https"}},
            {"org.example.beacon", "Beacon", {"mime:text/html"}},
            {"org.example.mail", "Mail", {"scheme:mailto"}}};
}

TEST(PersonalAppsPane, AccessibilityTree)
{
    Page page(two_browsers_and_mail());
    std::vector<std::string> combos;
    for (const auto& line : page.lines()) {
        if (line.starts_with("combo_box")) {
            combos.push_back(line);
        }
    }
    EXPECT_EQ(combos, (std::vector<std::string>{
                          "combo_box Web pages = Atlas \u2014 org.example.atlas [collapsed]",
                          "combo_box Secure web links = Atlas \u2014 org.example.atlas [collapsed]",
                          "combo_box Email links = Mail \u2014 org.example.mail [collapsed]",
                      }))
        << joined(page.lines());
    const std::string all = joined(page.lines());
    for (const std::string_view text : {"Your identity on every device", "Open current workspace app rules",
                                        "A workspace may set a shared choice."}) {
        EXPECT_NE(all.find(text), std::string::npos) << text << "\n" << all;
    }
    for (const std::string_view title : {"Personal", "Open files and links with", "Applies to"}) {
        EXPECT_TRUE(page.window->find_text_bounds(title).has_value()) << title;
    }
}

// An application without kinds gives no row; with no row at all the card says why.
TEST(PersonalAppsPane, WithoutKinds)
{
    Page page(std::vector<defaults::AppCandidate>{{"org.example.notes", "Notes", {}}});
    const std::string all = joined(page.lines());
    EXPECT_NE(all.find(kNoKindsCaption), std::string::npos) << all;
    EXPECT_EQ(all.find("combo_box"), std::string::npos) << all;
}

// The view is built once: a choice from a list keeps the focus, Tab goes on to the next drop-down, and the choice
// is saved.
TEST(PersonalAppsPane, FocusSurvivesAChange)
{
    Page page(two_browsers_and_mail(), {1280, 800});
    auto& w = *page.window;
    const auto builds = page.pane->view_builds();
    const std::string web = "personal-default.mime:text/html";

    ASSERT_TRUE(testing::focus_control(w, web));
    EXPECT_EQ(testing::next_in_focus_order(w, web), "personal-default.scheme:https");
    w.key(vorn_ui::Key::Space);
    w.key(vorn_ui::Key::Down);
    w.key(vorn_ui::Key::Enter);
    w.frame();
    EXPECT_EQ(page.pane->model().defaults().get("mime:text/html"), "org.example.beacon");
    EXPECT_EQ(testing::focused_id(w), web);
    w.tab();
    EXPECT_EQ(testing::focused_id(w), "personal-default.scheme:https");
    EXPECT_EQ(page.pane->view_builds(), builds);
    EXPECT_NE(page.home.read_settings().find("org.example.beacon"), std::string::npos);
}

}  // namespace
}  // namespace settings::panes::personal_apps
