#include "panes/accessibility/accessibility_model.hpp"

#include "setting_tables/labels.hpp"
#include "panes/preference_pane/testing.hpp"
#include "prefs/settings_file.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::panes::accessibility {
namespace {

using page_doc::doc_bool;
using page_doc::doc_text;

nlohmann::json stored(const testing::TempConfig& home) { return nlohmann::json::parse(home.read_settings()); }

TEST(AccessibilityModel, SeedsTheLabelsOfTheStoredValues)
{
    testing::TempConfig home;
    home.write_settings(R"({"accessibility": {"screen_reader_rate": 120, "cursor_size": 40, "magnifier_zoom": 3,
                          "switch_scan_ms": 1500, "color_filter": "inverted", "screen_reader_voice": "german",
                          "switch_key_pair": "digits12"}})");
    page_doc::Document doc;
    auto model = AccessibilityModel::load();
    EXPECT_FALSE(model.sync(doc));
    const std::pair<std::string_view, std::string_view> expected[] = {
        {"a11y.text_size", "Default"},   {"a11y.reader_rate", "Fast"},     {"a11y.cursor_size", "Large"},
        {"a11y.magnifier", "3\u00D7"},   {"a11y.switch_scan", "Manual"},   {"a11y.color_filter", "Inverted"},
        {"a11y.reader_voice", "German"}, {"a11y.switch_keys", "1 / 2"},
    };
    for (const auto& [key, label] : expected) {
        EXPECT_EQ(doc_text(doc, key), label) << key;
    }
    for (const auto& row : setting_tables::accessibility::settings()) {
        if (row.kind == setting_tables::accessibility::Kind::Switch) {
            EXPECT_EQ(doc_bool(doc, row.key), false) << row.key;
        }
    }
    // Values between two entries stay as stored until another label is chosen.
    EXPECT_EQ(model.values().accessibility.screen_reader_rate, 120);
    EXPECT_EQ(model.values().accessibility.cursor_size, 40u);
    EXPECT_EQ(model.values().accessibility.switch_scan_ms, 1500);

    doc.put_str("a11y.reader_rate", "Default");
    EXPECT_TRUE(model.sync(doc));
    EXPECT_EQ(stored(home)["accessibility"]["screen_reader_rate"], 100);
    EXPECT_EQ(stored(home)["accessibility"]["cursor_size"], 40);
}

// What an earlier visit left in the document is not the user's choice: the page opens with what the file holds (a
// set-setting action from automation is in the file before it is answered).
TEST(AccessibilityModel, TheFileWinsOverWhatTheDocumentHeldBeforeThePageOpened)
{
    testing::TempConfig home;
    home.write_settings(R"({"accessibility": {"slow_keys": true}})");
    page_doc::Document doc;
    doc.put_bool("a11y.sticky_keys", true);
    doc.put_bool("a11y.slow_keys", false);
    doc.put_str("a11y.cursor_size", "Largest");
    auto model = AccessibilityModel::load();
    EXPECT_FALSE(model.sync(doc));
    EXPECT_FALSE(model.values().accessibility.sticky_keys);
    EXPECT_EQ(doc_bool(doc, "a11y.sticky_keys"), false);
    EXPECT_EQ(doc_bool(doc, "a11y.slow_keys"), true);
    EXPECT_EQ(doc_text(doc, "a11y.cursor_size"), "Default");
    EXPECT_EQ(home.read_settings(), R"({"accessibility": {"slow_keys": true}})");
}

TEST(AccessibilityModel, TextsThatAreNoLabelChangeNothingAndArePutBack)
{
    testing::TempConfig home;
    page_doc::Document doc;
    auto model = AccessibilityModel::load();
    EXPECT_FALSE(model.sync(doc));
    doc.put_str("a11y.magnifier", "2\u00D7");
    EXPECT_TRUE(model.sync(doc));
    const auto identity = home.settings_identity();

    const std::pair<std::string_view, std::string_view> cases[] = {
        {"a11y.magnifier", "4\u00D7"},      {"a11y.color_filter", "Greyscale"}, {"a11y.switch_keys", "F6/F7"},
        {"a11y.switch_scan", "5 seconds"},  {"a11y.reader_rate", "Turbo"},      {"a11y.reader_voice", "english (us)"},
        {"a11y.cursor_size", "Huge"},       {"a11y.text_size", "Tiny"},
    };
    for (const auto& [key, text] : cases) {
        const std::string before = *doc_text(doc, key);
        doc.put_str(key, text);
        EXPECT_FALSE(model.sync(doc)) << key;
        EXPECT_FALSE(model.sync(doc)) << key;
        EXPECT_EQ(doc_text(doc, key), before) << key;
    }
    EXPECT_EQ(model.values().accessibility.magnifier_zoom, 2);
    EXPECT_EQ(home.settings_identity(), identity);
}

TEST(AccessibilityModel, StoredUnknownNamesAndScalesOutOfRangeLoadAsDefaultsAndAreNotRewritten)
{
    testing::TempConfig home;
    const std::string text = R"({"accessibility": {"color_filter": "protanopia", "sticky_keys": true},
 "appearance": {"theme": "Nord", "high_contrast": false, "reduce_motion": false, "text_scale": 9.5}})";
    home.write_settings(text);
    const auto identity = home.settings_identity();
    page_doc::Document doc;
    auto model = AccessibilityModel::load();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(model.sync(doc));
    }
    EXPECT_EQ(doc_text(doc, "a11y.color_filter"), "Off");
    EXPECT_EQ(doc_bool(doc, "a11y.sticky_keys"), true);  // the bad field alone fell back
    EXPECT_EQ(doc_text(doc, "a11y.text_size"), "Default");
    EXPECT_EQ(home.settings_identity(), identity);
    EXPECT_EQ(home.read_settings(), text);
}

TEST(AccessibilityModel, SavesOnlyTheAppearanceFieldsItOwns)
{
    testing::TempConfig home;
    page_doc::Document doc;
    auto model = AccessibilityModel::load();
    model.sync(doc);
    // The Appearance page changes the theme meanwhile.
    auto file = prefs::load_settings_file();
    file.appearance.theme = "Dracula";
    ASSERT_TRUE(prefs::save_settings_file(file));

    doc.put_bool("a11y.high_contrast", true);
    doc.put_str("a11y.text_size", "Small");
    EXPECT_TRUE(model.sync(doc));
    const auto saved = stored(home)["appearance"];
    EXPECT_EQ(saved["theme"], "Dracula");
    EXPECT_EQ(saved["high_contrast"], true);
    EXPECT_EQ(saved["text_scale"], 0.85);
}

TEST(AccessibilityModel, EveryChoiceTheContractOffersIsApplied)
{
    namespace ch = setting_tables;
    testing::TempConfig home;
    page_doc::Document doc;
    auto model = AccessibilityModel::load();
    model.sync(doc);
    const std::pair<std::string_view, ch::ChoiceList> lists[] = {
        {"a11y.text_size", ch::text_size_choices()},       {"a11y.cursor_size", ch::cursor_size_choices()},
        {"a11y.color_filter", ch::colour_filter_choices()}, {"a11y.magnifier", ch::magnifier_choices()},
        {"a11y.switch_keys", ch::switch_keys_choices()},   {"a11y.switch_scan", ch::switch_scan_choices()},
        {"a11y.reader_rate", ch::speech_rate_choices()},   {"a11y.reader_voice", ch::speech_voice_choices()},
    };
    for (const auto& [key, list] : lists) {
        for (const std::string_view choice : list.choices) {
            doc.put_str(key, choice);
            model.sync(doc);
            EXPECT_EQ(doc_text(doc, key), choice) << key;
            EXPECT_EQ(label_for(model.values(), key), choice) << key;
            EXPECT_EQ(label_for(AccessibilityModel::load().values(), key), choice) << key << " saved";
        }
    }
}

}  // namespace
}  // namespace settings::panes::accessibility
