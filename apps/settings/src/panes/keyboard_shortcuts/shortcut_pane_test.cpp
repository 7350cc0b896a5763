#include "panes/keyboard_shortcuts/shortcut_pane.hpp"

#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::panes::keyboard_shortcuts {
namespace {

void click_text(vorn_ui::HeadlessWindow& w, std::string_view text)
{
    const auto bounds = w.find_text_bounds(text);
    ASSERT_TRUE(bounds) << text;
    w.click((bounds->x0 + bounds->x1) / 2.0, (bounds->y0 + bounds->y1) / 2.0);
}

TEST(ShortcutPane, RecordingWithKeysRefusesAConflictWithItsSentenceAndSavesAFreeChord)
{
    testing::TempConfig home;
    page_doc::Document doc;
    auto pane = ShortcutPane::load();
    vorn_ui::HeadlessWindow w(pane, doc, {1280, 1800});
    w.frame();

    // "Next tab" shows Super+]; record Super+L, which locks the screen.
    click_text(w, "Super+]");
    w.key_char(U'l', vorn_ui::Modifiers{.super = true});
    w.frame();
    w.frame();
    EXPECT_TRUE(w.find_text_bounds("Super+L is already used by Lock the screen."));
    EXPECT_EQ(page_doc::doc_text(doc, "shortcuts.next_tab"), "Super+]");
    EXPECT_EQ(page_doc::doc_bool(doc, "shortcuts.next_tab.error"), true);
    EXPECT_FALSE(std::filesystem::exists(home.settings_file()));

    click_text(w, "Super+]");
    w.key_char(U'n', vorn_ui::Modifiers{.alt = true, .super = true});
    w.frame();
    w.frame();
    EXPECT_FALSE(w.find_text_bounds("is already used by"));
    EXPECT_EQ(page_doc::doc_text(doc, "shortcuts.next_tab"), "Super+Alt+N");
    EXPECT_EQ(nlohmann::json::parse(home.read_settings())["shortcuts"]["next_tab"], "Super+Alt+N");
}

TEST(ShortcutPane, AccessibilityDump)
{
    testing::TempConfig home;
    page_doc::Document doc;
    auto pane = ShortcutPane::load();
    vorn_ui::HeadlessWindow w(pane, doc, {1280, 1800});
    w.frame();
    const auto lines = testing::access_lines(w.accessibility_json());
    for (const std::string_view expected : {"key_capture Open search", "key_capture Lock the screen",
                                            "toggle Vim navigation (H J K L)", "key_capture Make window wider"}) {
        EXPECT_TRUE(std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(expected); }))
            << expected << "\n" << ::testing::PrintToString(lines);
    }
}

// A refused chord adds its sentence below the row: the view is built anew for the new row, and the recorder keeps
// the focus. The vim switch flipped with Space keeps it too; Tab goes on from there.
TEST(ShortcutPane, FocusSurvivesAChange)
{
    testing::TempConfig home;
    page_doc::Document doc;
    auto pane = ShortcutPane::load();
    vorn_ui::HeadlessWindow w(pane, doc, {1280, 1800});
    w.frame();
    const auto builds = pane.view_builds();

    const std::string after_next_tab = testing::next_in_focus_order(w, "shortcuts.next_tab");
    ASSERT_FALSE(after_next_tab.empty());
    click_text(w, "Super+]");
    w.key_char(U'l', vorn_ui::Modifiers{.super = true});
    w.frame();
    ASSERT_TRUE(w.find_text_bounds("Super+L is already used by Lock the screen."));
    EXPECT_EQ(pane.view_builds(), builds + 1);  // a row appeared
    EXPECT_EQ(testing::focused_id(w), "shortcuts.next_tab");
    w.key(vorn_ui::Key::Escape);
    w.tab();
    EXPECT_EQ(testing::focused_id(w), after_next_tab);

    ASSERT_TRUE(testing::focus_control(w, "shortcuts.vim_mode"));
    const std::string after_vim = testing::next_in_focus_order(w, "shortcuts.vim_mode");
    const bool vim = page_doc::doc_bool(doc, "shortcuts.vim_mode").value_or(false);
    w.key(vorn_ui::Key::Space);
    w.frame();
    EXPECT_EQ(page_doc::doc_bool(doc, "shortcuts.vim_mode"), !vim);
    EXPECT_EQ(testing::focused_id(w), "shortcuts.vim_mode");
    w.tab();
    EXPECT_EQ(testing::focused_id(w), after_vim);
}

}  // namespace
}  // namespace settings::panes::keyboard_shortcuts
