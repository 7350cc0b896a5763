// The Region & Formats model against a page document and a private settings file: the seed, the two directions of
// the setting protocol, texts that are no label, a change that is not applied, and a save that fails.
#include "panes/region/region_model.hpp"

#include "panes/preference_pane/testing.hpp"
#include "prefs/locale.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

namespace settings::panes::region {
namespace {

using prefs::Currency;
using prefs::Locale;

std::string text_at(const page_doc::Document& doc, std::string_view key)
{
    return page_doc::doc_text(doc, key).value_or("<none>");
}

std::string stored_locale(const testing::TempConfig& home)
{
    return nlohmann::ordered_json::parse(home.read_settings()).at("locale").dump();
}

TEST(RegionModel, TheFirstSyncShowsTheStoredLocaleWhateverAnEarlierVisitLeft)
{
    testing::TempConfig home;
    home.write_settings(R"({"locale": {"currency": "GBP", "number_style": "DecimalComma"}})");
    page_doc::Document doc;
    doc.put_str("region.currency.edit", "JPY");  // left by an earlier visit
    doc.put_str("region.currency", "JPY");
    RegionModel model = RegionModel::load();
    EXPECT_FALSE(model.sync(doc));
    for (const auto& [key, label] : std::vector<std::pair<std::string, std::string>>{
             {"region.currency", "GBP"},
             {"region.date_format", "ISO (2023-03-15)"},
             {"region.time_format", "24-hour (14:05)"},
             {"region.measurement", "Metric (\u00B0C, km, kg)"},
             {"region.number_style", "1.234.567,89"},
             {"region.first_day", "Monday"},
         }) {
        EXPECT_EQ(text_at(doc, key), label) << key;
        EXPECT_EQ(text_at(doc, key + ".edit"), label) << key;
    }
    ASSERT_TRUE(model.host().last_action()) << "the seed goes out as set-setting changes";
    EXPECT_EQ(model.locale().currency, Currency::GBP);
    EXPECT_FALSE(model.sync(doc)) << "a sync without a change changes nothing";
}

// The protocol, one field at a time: a choice in the drop-down is sent and taken; a change from outside wins over
// a choice made at the same time; a code in lower case is taken as its code; a text that is no label is not.
TEST(RegionModel, ProtocolTable)
{
    struct Case {
        const char* name;
        std::optional<std::string> setting;  // written at K before the sync
        std::optional<std::string> edit;     // written at K.edit before the sync
        bool changed;
        Currency currency;
        std::string shown;  // K and K.edit after the sync
    };
    const std::vector<Case> cases = {
        {"choice sent", std::nullopt, "EUR", true, Currency::EUR, "EUR"},
        {"outside change wins", "CHF", "EUR", true, Currency::CHF, "CHF"},
        {"lower case", std::nullopt, "inr", true, Currency::INR, "INR"},
        {"outside lower case", "jpy", std::nullopt, true, Currency::JPY, "JPY"},
        {"leading blank", std::nullopt, " EUR", false, Currency::USD, "USD"},
        {"unknown code", "SEK", std::nullopt, false, Currency::USD, "USD"},
        {"no change", std::nullopt, "USD", false, Currency::USD, "USD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempConfig home;
        page_doc::Document doc;
        RegionModel model = RegionModel::load();
        model.sync(doc);
        if (c.setting) {
            doc.put_str("region.currency", *c.setting);
        }
        if (c.edit) {
            doc.put_str("region.currency.edit", *c.edit);
        }
        EXPECT_EQ(model.sync(doc), c.changed);
        EXPECT_EQ(model.locale().currency, c.currency);
        EXPECT_EQ(text_at(doc, "region.currency"), c.shown);
        EXPECT_EQ(text_at(doc, "region.currency.edit"), c.shown);
        EXPECT_FALSE(model.sync(doc)) << "settled after one sync";
        if (c.changed) {
            EXPECT_EQ(prefs::load_locale().currency, c.currency) << "saved";
        } else {
            EXPECT_FALSE(std::filesystem::exists(home.settings_file())) << "nothing to save";
        }
        EXPECT_FALSE(model.notice());
    }
}

TEST(RegionModel, EveryFieldTakesItsLabelsAndOnlyChangedFieldsAreWritten)
{
    testing::TempConfig home;
    // A currency this version cannot read shows as USD; changing the other fields leaves it stored as it is.
    home.write_settings(R"({"audio": {}, "locale": {"currency": "SEK", "date_format": "US"}})");
    page_doc::Document doc;
    RegionModel model = RegionModel::load();
    model.sync(doc);
    doc.put_str("region.date_format.edit", "Long (15 Mar 2023)");
    doc.put_str("region.time_format.edit", "12-hour (2:05 PM)");
    doc.put_str("region.measurement.edit", "Imperial (\u00B0F, mi, lb)");
    doc.put_str("region.number_style.edit", "1.234.567,89");
    doc.put_str("region.first_day.edit", "Saturday");
    EXPECT_TRUE(model.sync(doc));
    EXPECT_EQ(model.locale(), (Locale{.date_format = prefs::DateFormat::Long,
                                      .time_format = prefs::HourCycle::H12,
                                      .measurement = prefs::Measurement::Imperial,
                                      .number_style = prefs::NumberStyle::DecimalComma,
                                      .first_day_of_week = prefs::Weekday::Saturday}));
    EXPECT_EQ(stored_locale(home), R"({"currency":"SEK","date_format":"Long","time_format":"H12",)"
                                   R"("measurement":"Imperial","number_style":"DecimalComma",)"
                                   R"("first_day_of_week":"Saturday"})");
    EXPECT_EQ(nlohmann::ordered_json::parse(home.read_settings()).begin().key(), "audio") << "other members stay";
}

// A choice whose set-setting change is refused is not taken: the drop-down goes back and the page says why.
TEST(RegionModel, AChoiceThatWasNotAppliedIsNotTaken)
{
    testing::TempConfig home;
    page_doc::Document doc;
    RegionModel model = RegionModel::load();
    model.sync(doc);
    const std::string too_long(2000, 'E');  // longer than any set-setting text
    doc.put_str("region.currency.edit", too_long);
    EXPECT_FALSE(model.sync(doc));
    EXPECT_EQ(model.locale().currency, Currency::USD);
    EXPECT_EQ(text_at(doc, "region.currency"), "USD");
    EXPECT_EQ(text_at(doc, "region.currency.edit"), "USD");
    ASSERT_TRUE(model.notice());
    EXPECT_TRUE(model.notice()->starts_with("Region settings could not be changed: ")) << *model.notice();
    EXPECT_FALSE(std::filesystem::exists(home.settings_file()));

    doc.put_str("region.currency.edit", "EUR");
    EXPECT_TRUE(model.sync(doc));
    EXPECT_FALSE(model.notice()) << "the next change that is applied clears it";
}

// A failed save is said and tried again with the next change, which then writes both fields.
TEST(RegionModel, AFailedSaveIsSaidAndTriedAgain)
{
    testing::TempConfig home;
    std::filesystem::create_directories(home.settings_file());  // a folder where the file should be
    page_doc::Document doc;
    RegionModel model = RegionModel::load();
    model.sync(doc);
    doc.put_str("region.currency.edit", "EUR");
    EXPECT_TRUE(model.sync(doc));
    EXPECT_EQ(model.locale().currency, Currency::EUR) << "the page keeps its value";
    ASSERT_TRUE(model.notice());
    EXPECT_TRUE(model.notice()->starts_with("Region settings could not be saved: ")) << *model.notice();

    std::filesystem::remove_all(home.settings_file());
    doc.put_str("region.first_day.edit", "Sunday");
    EXPECT_TRUE(model.sync(doc));
    EXPECT_FALSE(model.notice());
    EXPECT_EQ(prefs::load_locale(), (Locale{.currency = Currency::EUR, .first_day_of_week = prefs::Weekday::Sunday}));
}

}  // namespace
}  // namespace settings::panes::region
