// Set-setting actions from automation against the four preference pages while the page is closed: the value lands
// in the settings file before the action is answered and shows when the page opens; a value the page would not take
// is refused at the action. And a page opened again shows what the file holds, not what its last visit left in
// the document.
#include "actions/catalogue/platform.hpp"
#include "actions/set_setting.hpp"
#include "operations/cells.hpp"
#include "panes/accessibility/accessibility_pane.hpp"
#include "panes/appearance/appearance_model.hpp"
#include "panes/appearance/appearance_pane.hpp"
#include "panes/keyboard_shortcuts/shortcut_pane.hpp"
#include "panes/mouse_keyboard/mouse_keyboard_pane.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "prefs/window_appearance.hpp"
#include "vorn_actions/application.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>

namespace settings::panes {
namespace {

using Json = nlohmann::json;

// The action as automation sends it: a payload decoded by the registered decoder, applied to the document.
std::expected<void, vorn_actions::ActionError> automation(page_doc::Document& doc, std::string_view payload)
{
    vorn_actions::ActionDecoderRegistry registry;
    actions::register_settings_action(registry);
    auto action = registry.decode(actions::settings_action_name, payload);
    if (!action) {
        return std::unexpected(std::move(action.error()));
    }
    return (*action)->apply(doc);
}

std::string bool_payload(std::string_view key, bool on)
{
    return Json{{"SetSetting", {{"key", key}, {"value", {{"Bool", on}}}}}}.dump();
}
std::string text_payload(std::string_view key, std::string_view text)
{
    return Json{{"SetSetting", {{"key", key}, {"value", {{"Text", text}}}}}}.dump();
}

bool has_line(const std::vector<std::string>& lines, std::string_view start)
{
    return std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(start); });
}

struct Landing {
    const char* page;
    std::string payload;
    const char* pointer;  // where the settings file holds it
    Json stored;
    std::function<std::unique_ptr<vorn_ui::Widget>()> open;
    const char* shown;  // a line of the page's accessibility dump, or a drawn text
};

TEST(SetSettingWithThePageClosed, LandsInTheSettingsFileAndShowsWhenThePageOpens)
{
    const operations::OperationStatusCell status{operations::OperationStatus::idle()};
    auto platform = std::make_shared<actions::catalogue::FakePlatform>();
    actions::catalogue::ScopedPlatform scoped(platform);
    const Landing cases[] = {
        {"Appearance", text_payload("appearance.theme", "Nord"), "/appearance/theme", "Nord",
         appearance::boxed_appearance_pane, "combo_box Theme = Nord"},
        {"Appearance", bool_payload("appearance.reduce_motion", true), "/appearance/reduce_motion", true,
         appearance::boxed_appearance_pane, "toggle Reduce motion = on"},
        {"Accessibility", text_payload("a11y.cursor_size", "Larger"), "/accessibility/cursor_size", 48,
         accessibility::boxed_accessibility_pane, "combo_box Cursor size = Larger"},
        {"Accessibility", bool_payload("a11y.sticky_keys", true), "/accessibility/sticky_keys", true,
         accessibility::boxed_accessibility_pane, "toggle Sticky keys = on"},
        {"Mouse & keyboard", bool_payload("text.check_spelling", false), "/text_assistance/check_spelling", false,
         [&] { return mouse_keyboard::boxed_mouse_keyboard_pane(status); }, "toggle Check spelling while typing = off"},
        {"Keyboard shortcuts", text_payload("shortcuts.next_tab", "Super+Alt+N"), "/shortcuts/next_tab", "Super+Alt+N",
         keyboard_shortcuts::boxed_shortcut_pane, "Super+Alt+N"},
        {"Keyboard shortcuts", bool_payload("shortcuts.vim_mode", true), "/desktop_controls/vim_navigation", true,
         keyboard_shortcuts::boxed_shortcut_pane, "toggle Vim navigation (H J K L) = on"},
    };
    for (const Landing& c : cases) {
        SCOPED_TRACE(c.payload);
        testing::TempConfig home;
        page_doc::Document doc;
        const auto applied = automation(doc, c.payload);
        ASSERT_TRUE(applied) << applied.error().display();
        const Json file = Json::parse(home.read_settings());
        EXPECT_EQ(file.value(Json::json_pointer(c.pointer), Json()), c.stored) << file;

        auto page = c.open();
        vorn_ui::HeadlessWindow w(*page, doc, {1280, 2400});
        w.frame();
        w.frame();
        const auto lines = testing::access_lines(w.accessibility_json());
        EXPECT_TRUE(has_line(lines, c.shown) || w.find_text_bounds(c.shown)) << c.page << "\n"
                                                                            << ::testing::PrintToString(lines);
        // The page's first syncs kept what automation set.
        EXPECT_EQ(Json::parse(home.read_settings()).value(Json::json_pointer(c.pointer), Json()), c.stored);
    }
}

// The window is drawn with what automation stored, though no page that would tell it is open.
TEST(SetSettingWithThePageClosed, TheWindowFollowsAnAppearanceChange)
{
    auto platform = std::make_shared<actions::catalogue::FakePlatform>();
    actions::catalogue::ScopedPlatform scoped(platform);
    testing::TempConfig home;
    prefs::set_window_appearance({});
    page_doc::Document doc;
    ASSERT_TRUE(automation(doc, text_payload("appearance.theme", "Nord")));
    ASSERT_TRUE(automation(doc, bool_payload("appearance.reduce_motion", true)));
    const prefs::AppearancePrefs shown = prefs::window_appearance();
    EXPECT_EQ(shown.theme, "Nord");
    EXPECT_TRUE(shown.reduce_motion);
    EXPECT_EQ(appearance::window_theme(shown).name, "Nord");
    prefs::set_window_appearance({});  // the next test starts from the default look
}

// A value the page would not take is refused at the action with a sentence; nothing reaches the file or the
// document.
TEST(SetSettingWithThePageClosed, AValueThePageWouldNotTakeIsRefused)
{
    struct Refusal {
        std::string payload;
        const char* sentence;
    };
    const Refusal cases[] = {
        {text_payload("a11y.magnifier", "10\u00D7"),
         "Magnifier lens cannot be \u201C10\u00D7\u201D: choose Off, 2\u00D7, 3\u00D7."},
        {text_payload("appearance.ui_scale", "1000%"),
         "UI scale cannot be \u201C1000%\u201D: choose 90%, 100%, 110%, 125%, 150%."},
        {text_payload("shortcuts.search", "Super+L"), "Super+L is already used by Lock the screen."},
    };
    for (const Refusal& c : cases) {
        testing::TempConfig home;
        page_doc::Document doc;
        const auto refused = automation(doc, c.payload);
        ASSERT_FALSE(refused) << c.payload;
        EXPECT_EQ(refused.error().display(), c.sentence);
        EXPECT_FALSE(std::filesystem::exists(home.settings_file())) << c.payload;
        EXPECT_EQ(doc.get(Json::parse(c.payload)["SetSetting"]["key"].get<std::string>()), nullptr);
    }
}

// Accessibility, then Appearance turns high contrast on and a larger text, then Accessibility again in the same
// document: the second visit shows and keeps what the file holds, it does not save its first visit's values.
TEST(RevisitingAPage, TheSettingsFileWinsOverWhatAnEarlierVisitLeftInTheDocument)
{
    testing::TempConfig home;
    auto platform = std::make_shared<actions::catalogue::FakePlatform>();
    actions::catalogue::ScopedPlatform scoped(platform);
    page_doc::Document doc;
    {
        accessibility::AccessibilityPane first;
        vorn_ui::HeadlessWindow w(first, doc, {1280, 800});
        w.frame();
        ASSERT_EQ(page_doc::doc_bool(doc, "a11y.high_contrast"), false);
    }
    {
        appearance::AppearancePane look;
        vorn_ui::HeadlessWindow w(look, doc, {1280, 800});
        w.frame();
        ASSERT_TRUE(testing::focus_control(w, "appearance.high_contrast"));
        w.key(vorn_ui::Key::Space);
        w.frame();
        ASSERT_TRUE(look.model().prefs().high_contrast);
    }
    accessibility::AccessibilityPane again;
    vorn_ui::HeadlessWindow w(again, doc, {1280, 800});
    w.frame();
    w.frame();
    EXPECT_TRUE(again.model().values().appearance.high_contrast);
    EXPECT_EQ(page_doc::doc_bool(doc, "a11y.high_contrast"), true);
    EXPECT_EQ(Json::parse(home.read_settings())["appearance"]["high_contrast"], true);

    // A change made on this visit is still the user's.
    ASSERT_TRUE(testing::focus_control(w, "a11y.high_contrast"));
    w.key(vorn_ui::Key::Space);
    w.frame();
    EXPECT_EQ(Json::parse(home.read_settings())["appearance"]["high_contrast"], false);
}

}  // namespace
}  // namespace settings::panes
