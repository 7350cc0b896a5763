#include "panes/appearance/appearance_model.hpp"

#include "actions/set_setting.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "panes/preference_pane/testing.hpp"
#include "prefs/settings_file.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::panes::appearance {
namespace {

using page_doc::doc_text;

// A set-setting action from automation, as the toolkit applies it to the page document.
void automation_sets(page_doc::Document& doc, std::string_view key, std::string_view text)
{
    ASSERT_TRUE(actions::apply_settings_action(actions::string_pair(key, text), doc));
}

nlohmann::json stored_appearance(const testing::TempConfig& home)
{
    return nlohmann::json::parse(home.read_settings()).at("appearance");
}

TEST(AppearanceModel, ThemeChangedByTheControlAndByAutomationIsSavedAndMirrored)
{
    testing::TempConfig home;
    page_doc::Document doc;
    auto model = AppearanceModel::load();
    model.sync(doc);
    EXPECT_EQ(doc_text(doc, theme_key), "Dark");
    EXPECT_EQ(doc_text(doc, "appearance.theme.edit"), "Dark");
    EXPECT_EQ(doc_text(doc, text_size_key), "Default");
    EXPECT_EQ(doc_text(doc, ui_scale_key), "100%");

    // The dropdown writes the edit key; the page sends the setting change and saves.
    doc.put_str("appearance.theme.edit", "Nord");
    const AppearanceSync by_control = model.sync(doc);
    EXPECT_TRUE(by_control.changed);
    EXPECT_FALSE(by_control.scale_changed);
    EXPECT_EQ(model.prefs().theme, "Nord");
    EXPECT_EQ(doc_text(doc, theme_key), "Nord");
    ASSERT_TRUE(model.host().last_action());
    EXPECT_EQ(model.host().last_action()->payload,
              R"({"SetSetting":{"key":"appearance.theme","value":{"Text":"Nord"}}})");
    EXPECT_EQ(stored_appearance(home).at("theme"), "Nord");
    EXPECT_EQ(window_theme(model.prefs()).name, "Nord");

    // Automation writes the setting key; the control follows and the file is saved.
    automation_sets(doc, theme_key, "Light");
    EXPECT_TRUE(model.sync(doc).changed);
    EXPECT_EQ(doc_text(doc, "appearance.theme.edit"), "Light");
    EXPECT_EQ(stored_appearance(home).at("theme"), "Light");

    // Nothing changed: nothing is saved.
    const auto identity = home.settings_identity();
    EXPECT_FALSE(model.sync(doc).changed);
    EXPECT_EQ(home.settings_identity(), identity);
}

TEST(AppearanceModel, TextsThatAreNoNameOrLabelAreNotTakenAndNeverRewriteTheFile)
{
    testing::TempConfig home;
    page_doc::Document doc;
    auto model = AppearanceModel::load();
    model.sync(doc);
    doc.put_str("appearance.theme.edit", "Gruvbox");
    model.sync(doc);
    const auto identity = home.settings_identity();
    ASSERT_TRUE(identity);

    const struct {
        std::string_view key;
        std::string_view text;
        std::string_view in_force;
    } cases[] = {
        {theme_key, "Solarized Dark", "Gruvbox"},
        {theme_key, "nord", "Gruvbox"},
        {text_size_key, "Huge", "Default"},
        {ui_scale_key, "200%", "100%"},
    };
    for (const auto& c : cases) {
        automation_sets(doc, c.key, c.text);
        for (int i = 0; i < 3; ++i) {
            EXPECT_FALSE(model.sync(doc).changed) << c.text;
        }
        EXPECT_EQ(doc_text(doc, c.key), c.in_force) << c.text;
        EXPECT_EQ(doc_text(doc, preference_pane::edit_key(c.key)), c.in_force) << c.text;
    }
    EXPECT_EQ(model.prefs().theme, "Gruvbox");
    EXPECT_EQ(home.settings_identity(), identity);
}

TEST(AppearanceModel, StoredUnknownValuesLoadAsShownDefaultsAndAreNotRewritten)
{
    testing::TempConfig home;
    const std::string stored = R"({
  "appearance": {
    "theme": "Midnight Aurora",
    "high_contrast": false,
    "reduce_motion": false,
    "text_scale": 1.2,
    "ui_scale": 1.0,
    "accent": "teal"
  }
})";
    home.write_settings(stored);
    const auto identity = home.settings_identity();
    page_doc::Document doc;
    auto model = AppearanceModel::load();
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(model.sync(doc).changed);
    }
    EXPECT_EQ(doc_text(doc, theme_key), "Midnight Aurora");
    EXPECT_EQ(theme_from_prefs(model.prefs()).name, "Dark");  // an unknown name is drawn as the default theme
    EXPECT_EQ(doc_text(doc, text_size_key), "Large");         // 1.2 is nearest to Large...
    EXPECT_EQ(model.prefs().text_scale, 1.2);                 // ...but stays 1.2 until another size is chosen
    EXPECT_EQ(home.settings_identity(), identity);
    EXPECT_EQ(home.read_settings(), stored);
}

TEST(AppearanceModel, ChoosingATextSizeSavesItOnceAndAsksForANewLayout)
{
    testing::TempConfig home;
    page_doc::Document doc;
    auto model = AppearanceModel::load();
    model.sync(doc);
    doc.put_str("appearance.text_size.edit", "Larger");
    const AppearanceSync outcome = model.sync(doc);
    EXPECT_TRUE(outcome.changed);
    EXPECT_TRUE(outcome.scale_changed);
    EXPECT_EQ(model.prefs().text_scale, 1.3);
    EXPECT_EQ(doc_text(doc, text_size_key), "Larger");
    EXPECT_EQ(stored_appearance(home).at("text_scale"), 1.3);
    const auto identity = home.settings_identity();
    EXPECT_FALSE(model.sync(doc).changed);
    EXPECT_EQ(home.settings_identity(), identity);

    automation_sets(doc, ui_scale_key, "125%");
    EXPECT_TRUE(model.sync(doc).scale_changed);
    EXPECT_FLOAT_EQ(window_theme(model.prefs()).ui_scale, 1.25f);
}

TEST(AppearanceModel, HighContrastReplacesTheShownThemeButTheWindowKeepsTheStoredOne)
{
    testing::TempConfig home;
    prefs::AppearancePrefs prefs;
    prefs.theme = "Nord";
    prefs.high_contrast = true;
    EXPECT_EQ(theme_from_prefs(prefs).name, vorn_ui::Theme::high_contrast_theme().name);
    const vorn_ui::Theme window = window_theme(prefs);
    EXPECT_EQ(window.name, "Nord");
    EXPECT_TRUE(window.high_contrast);
}

TEST(AppearanceModel, AnEarlierVisitsControlValueDoesNotRevertAChangeMadeElsewhere)
{
    testing::TempConfig home;
    page_doc::Document doc;
    doc.put_str(theme_key, "Nord");
    doc.put_str("appearance.theme.edit", "Nord");  // left by an earlier visit of the page
    home.write_settings(R"({"appearance": {"theme": "Light", "high_contrast": false, "reduce_motion": false,
                          "text_scale": 1.0}})");
    auto model = AppearanceModel::load();
    model.sync(doc);
    model.sync(doc);
    EXPECT_EQ(model.prefs().theme, "Light");
    EXPECT_EQ(doc_text(doc, "appearance.theme.edit"), "Light");
}

TEST(AppearanceModel, AFailedSaveIsReportedAndTheValuesStay)
{
    testing::TempConfig home;
    page_doc::Document doc;
    auto model = AppearanceModel::load();
    model.sync(doc);
    std::filesystem::create_directories(home.settings_file());  // a directory where the file belongs
    testing::LogCapture log;
    doc.put_bool("appearance.reduce_motion.edit", true);
    EXPECT_TRUE(model.sync(doc).changed);
    EXPECT_TRUE(model.prefs().reduce_motion);
    ASSERT_TRUE(model.save_error());
    EXPECT_NE(log.text().find("failed to persist appearance prefs"), std::string::npos);
    EXPECT_NE(log.text().find("appearance_save"), std::string::npos);
}

}  // namespace
}  // namespace settings::panes::appearance
