#include "panes/keyboard_shortcuts/shortcut_model.hpp"

#include "actions/set_setting.hpp"
#include "panes/keyboard_shortcuts/catalogue/catalogue.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "panes/preference_pane/testing.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::panes::keyboard_shortcuts {
namespace {

using page_doc::doc_bool;
using page_doc::doc_text;

constexpr std::string_view next_tab = "shortcuts.next_tab";  // action 8
constexpr std::size_t next_tab_action = 8;

using preference_pane::edit_key;
std::string edit(std::string_view key) { return edit_key(key); }
std::string error(std::string_view key) { return preference_pane::error_key(key); }

class ShortcutModelTest : public ::testing::Test {
protected:
    testing::TempConfig home;
    page_doc::Document doc;
    ShortcutModel model = ShortcutModel::load();

    ShortcutModelTest() { model.sync(doc); }
    nlohmann::json stored() const { return nlohmann::json::parse(home.read_settings()); }
};

TEST_F(ShortcutModelTest, SeedsEveryEntryWithItsChord)
{
    for (const auto& entry : catalogue::shortcut_catalogue()) {
        const std::string text = chord_text(ShortcutConfig::defaults(), entry.action);
        EXPECT_FALSE(text.empty()) << entry.id;
        EXPECT_EQ(doc_text(doc, entry.id), text);
        EXPECT_EQ(doc_text(doc, edit(entry.id)), text);
    }
    EXPECT_EQ(doc_bool(doc, vim_mode_key), false);
    EXPECT_FALSE(std::filesystem::exists(home.settings_file()));  // seeding saves nothing
}

TEST_F(ShortcutModelTest, RecordingAChordInUseIsRefusedWithItsSentenceAndALaterChordIsTaken)
{
    doc.put_str(edit(next_tab), "Super+L");  // Lock the screen's
    model.sync(doc);
    EXPECT_EQ(doc_text(doc, edit(next_tab)), "Super+]");
    EXPECT_EQ(doc_text(doc, next_tab), "Super+]");
    EXPECT_EQ(doc_bool(doc, error(next_tab)), true);
    EXPECT_EQ(model.refusal(next_tab_action), "Super+L is already used by Lock the screen.");
    EXPECT_FALSE(std::filesystem::exists(home.settings_file()));

    const std::pair<std::string_view, std::string_view> refusals[] = {
        {"Super+", "\u201CSuper+\u201D is not a key combination."},
        {"T", "T needs Super, Ctrl or Alt so that it does not take over typing."},
        {"F1", "F1 always opens the desktop guide."},
    };
    for (const auto& [text, sentence] : refusals) {
        doc.put_str(edit(next_tab), text);
        model.sync(doc);
        EXPECT_EQ(model.refusal(next_tab_action), sentence);
        EXPECT_EQ(doc_text(doc, edit(next_tab)), "Super+]");
    }

    doc.put_str(edit(next_tab), "ctrl+super+t");
    model.sync(doc);
    EXPECT_EQ(doc_text(doc, next_tab), "Super+Ctrl+T");
    EXPECT_EQ(doc_text(doc, edit(next_tab)), "Super+Ctrl+T");
    EXPECT_EQ(doc_bool(doc, error(next_tab)), false);
    EXPECT_FALSE(model.refusal(next_tab_action));
    EXPECT_EQ(stored()["shortcuts"]["next_tab"], "Super+Ctrl+T");
    ASSERT_TRUE(model.host().last_action());
    EXPECT_NE(model.host().last_action()->payload.find("Super+Ctrl+T"), std::string::npos);
}

TEST_F(ShortcutModelTest, AutomationChangesAreSavedMirroredAndRefusalsPutBack)
{
    ASSERT_TRUE(actions::apply_settings_action(actions::string_pair(next_tab, "Super+Alt+N"), doc));
    model.sync(doc);
    EXPECT_EQ(doc_text(doc, edit(next_tab)), "Super+Alt+N");
    EXPECT_EQ(stored()["shortcuts"]["next_tab"], "Super+Alt+N");
    EXPECT_FALSE(model.host().last_action());  // nothing sent back

    ASSERT_TRUE(actions::apply_settings_action(actions::string_pair(next_tab, "Super+Space"), doc));
    model.sync(doc);
    EXPECT_EQ(doc_text(doc, next_tab), "Super+Alt+N");
    EXPECT_EQ(doc_bool(doc, error(next_tab)), true);
    EXPECT_EQ(model.refusal(next_tab_action), "Super+Space is already used by Open search.");
    EXPECT_EQ(stored()["shortcuts"]["next_tab"], "Super+Alt+N");
}

TEST_F(ShortcutModelTest, AnUnboundShortcutIsRestoredWithoutSendingAnEmptyText)
{
    // The user clears the recorder: the shortcut is unbound.
    doc.put_str(edit(next_tab), "");
    model.sync(doc);
    EXPECT_EQ(doc_text(doc, next_tab), "");
    EXPECT_TRUE(stored()["shortcuts"]["next_tab"].is_null());

    // Automation asks for a chord in use; undoing it restores the empty text without a refused action.
    testing::LogCapture log;
    ASSERT_TRUE(actions::apply_settings_action(actions::string_pair(next_tab, "Super+L"), doc));
    for (int i = 0; i < 3; ++i) {
        model.sync(doc);
    }
    EXPECT_EQ(doc_text(doc, next_tab), "");
    EXPECT_EQ(doc_text(doc, edit(next_tab)), "");
    EXPECT_EQ(doc_bool(doc, error(next_tab)), true);
    EXPECT_EQ(log.text().find("action dispatch failed"), std::string::npos) << log.text();
    const auto identity = home.settings_identity();
    model.sync(doc);
    EXPECT_EQ(home.settings_identity(), identity);
}

TEST_F(ShortcutModelTest, VimNavigationFromTheSwitchAndFromAutomation)
{
    doc.put_bool(edit(vim_mode_key), true);
    model.sync(doc);
    EXPECT_TRUE(model.vim_navigation());
    EXPECT_EQ(doc_bool(doc, vim_mode_key), true);
    EXPECT_EQ(stored()["desktop_controls"]["vim_navigation"], true);
    ASSERT_TRUE(model.host().last_action());
    EXPECT_NE(model.host().last_action()->payload.find("shortcuts.vim_mode"), std::string::npos);
    const auto identity = home.settings_identity();
    model.sync(doc);
    EXPECT_EQ(home.settings_identity(), identity);

    ASSERT_TRUE(actions::apply_settings_action(actions::bool_entry(vim_mode_key, false), doc));
    model.sync(doc);
    EXPECT_FALSE(model.vim_navigation());
    EXPECT_EQ(doc_bool(doc, edit(vim_mode_key)), false);
    EXPECT_EQ(stored()["desktop_controls"]["vim_navigation"], false);
}

TEST_F(ShortcutModelTest, AFailedSaveKeepsTheChordInForce)
{
    std::filesystem::create_directories(home.settings_file());
    doc.put_str(edit(next_tab), "Super+Alt+N");
    model.sync(doc);
    EXPECT_EQ(doc_text(doc, edit(next_tab)), "Super+]");
    EXPECT_EQ(doc_bool(doc, error(next_tab)), true);
    ASSERT_TRUE(model.refusal(next_tab_action));
    EXPECT_TRUE(model.refusal(next_tab_action)->starts_with("The shortcut could not be saved: "));
    EXPECT_EQ(chord_text(model.config(), next_tab_action), "Super+]");
}

}  // namespace
}  // namespace settings::panes::keyboard_shortcuts
