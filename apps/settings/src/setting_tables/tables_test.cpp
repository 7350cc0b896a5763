#include "actions/set_setting.hpp"
#include "setting_tables/accessibility.hpp"
#include "setting_tables/appearance.hpp"

#include <gtest/gtest.h>

#include <set>

namespace settings::setting_tables {
namespace {

using actions::SettingValue;

// Every row of the page tables is a key the set-setting action takes, of the row's kind and with each of its
// choices; every choice is one the row applies, and the values it gives show that very label.
TEST(SettingTables, RowsAgreeWithTheSetSettingKeyTableAndTheirChoices)
{
    std::set<std::string_view> keys;
    for (const auto& row : accessibility::settings()) {
        EXPECT_TRUE(keys.insert(row.key).second) << row.key;
        if (row.kind == accessibility::Kind::Switch) {
            EXPECT_TRUE(actions::setting_accepts(row.key, SettingValue::Bool(true))) << row.key;
            accessibility::Values values;
            row.set_flag(values, true);
            EXPECT_TRUE(row.flag(values)) << row.key;
            continue;
        }
        ASSERT_FALSE(row.choices.choices.empty()) << row.key;
        for (const std::string_view label : row.choices.choices) {
            EXPECT_TRUE(actions::setting_accepts(row.key, SettingValue::Text(std::string(label)))) << row.key;
            accessibility::Values values;
            ASSERT_TRUE(row.take(values, label)) << row.key << " " << label;
            EXPECT_EQ(row.label(values), label) << row.key;
        }
        accessibility::Values values;
        EXPECT_FALSE(row.take(values, "Huge")) << row.key;
        EXPECT_EQ(values, accessibility::Values{}) << row.key;
    }
    for (const auto& row : appearance::settings()) {
        EXPECT_TRUE(keys.insert(row.key).second) << row.key;
        if (row.kind == appearance::Kind::Switch) {
            EXPECT_TRUE(actions::setting_accepts(row.key, SettingValue::Bool(false))) << row.key;
            continue;
        }
        for (const std::string_view label : row.choices.choices) {
            EXPECT_TRUE(actions::setting_accepts(row.key, SettingValue::Text(std::string(label)))) << row.key;
            prefs::AppearancePrefs prefs;
            ASSERT_TRUE(row.take(prefs, label)) << row.key << " " << label;
            EXPECT_EQ(row.label(prefs), label) << row.key;
        }
    }
    EXPECT_EQ(keys.size(), accessibility::settings().size() + appearance::settings().size());
}

TEST(SettingTables, RefusalSentencesNameTheRowAndItsChoices)
{
    EXPECT_EQ(accessibility::not_a_choice(*accessibility::find("a11y.cursor_size"), "Huge"),
              "Cursor size cannot be \u201CHuge\u201D: choose Default, Large, Larger, Largest.");
    EXPECT_EQ(appearance::not_a_choice(*appearance::find(appearance::theme_key), "Aqua"),
              "\u201CAqua\u201D is not a theme name.");
    EXPECT_EQ(appearance::not_a_choice(*appearance::find(appearance::ui_scale_key), "200%"),
              "UI scale cannot be \u201C200%\u201D: choose 90%, 100%, 110%, 125%, 150%.");
}

}  // namespace
}  // namespace settings::setting_tables
