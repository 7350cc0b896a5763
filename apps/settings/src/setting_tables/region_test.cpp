// The Region & Formats table: its labels, the currency codes in any ASCII case, and the preview's texts.
#include "setting_tables/region.hpp"

#include "actions/set_setting.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace settings::setting_tables::region {
namespace {

using prefs::Currency;
using prefs::Locale;

std::vector<std::string_view> labels(const Setting& row) { return {row.choices.begin(), row.choices.end()}; }

TEST(RegionTable, LabelsInOptionOrderEachTakenAndShownAgain)
{
    using V = std::vector<std::string_view>;
    const std::vector<std::pair<std::string_view, V>> expected{
        {"region.currency", {"USD", "EUR", "GBP", "JPY", "CHF", "CAD", "AUD", "CNY", "INR"}},
        {"region.date_format",
         {"ISO (2023-03-15)", "US (03/15/2023)", "European (15/03/2023)", "Long (15 Mar 2023)"}},
        {"region.time_format", {"24-hour (14:05)", "12-hour (2:05 PM)"}},
        {"region.measurement", {"Metric (\u00B0C, km, kg)", "Imperial (\u00B0F, mi, lb)"}},
        {"region.number_style", {"1,234,567.89", "1.234.567,89"}},
        {"region.first_day", {"Monday", "Sunday", "Saturday"}},
    };
    ASSERT_EQ(settings().size(), expected.size());
    const Locale defaults;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Setting& row = settings()[i];
        SCOPED_TRACE(row.key);
        EXPECT_EQ(row.key, expected[i].first);
        EXPECT_EQ(labels(row), expected[i].second);
        EXPECT_EQ(row.label(defaults), expected[i].second.front()) << "the first value is the default";
        for (const std::string_view label : row.choices) {
            EXPECT_TRUE(actions::setting_accepts(row.key, actions::SettingValue::Text(std::string(label))));
            Locale locale;
            ASSERT_TRUE(row.take(locale, label));
            EXPECT_EQ(row.label(locale), label);
        }
        Locale locale;
        EXPECT_FALSE(row.take(locale, "Fortnightly"));
        EXPECT_EQ(locale, defaults) << "a text that is no label changes nothing";
    }
    EXPECT_EQ(find("region.date"), nullptr) << "control ids are not keys";
}

TEST(RegionTable, CurrencyCodesIgnoreAsciiCaseButNothingElse)
{
    struct Case {
        std::string_view text;
        std::optional<Currency> expected;
    };
    for (const Case& c : std::vector<Case>{
             {"EUR", Currency::EUR},
             {"eur", Currency::EUR},
             {"iNr", Currency::INR},
             {" EUR", std::nullopt},  // nothing is trimmed
             {"EUR ", std::nullopt},
             {"SEK", std::nullopt},
             {"", std::nullopt},
             {"\u20AC", std::nullopt},
         }) {
        EXPECT_EQ(parse_currency(c.text), c.expected) << c.text;
    }
    Locale locale;
    EXPECT_TRUE(find(currency_key)->take(locale, "gbp"));
    EXPECT_EQ(locale.currency, Currency::GBP);
    EXPECT_EQ(not_a_choice(*find(currency_key), "XYZ"),
              "Currency cannot be \u201CXYZ\u201D: choose USD, EUR, GBP, JPY, CHF, CAD, AUD, CNY, INR.");
}

TEST(RegionTable, PreviewTexts)
{
    using prefs::NumberStyle;
    const std::vector<std::pair<Currency, std::string_view>> symbols{
        {Currency::USD, "$"},   {Currency::EUR, "\u20AC"}, {Currency::GBP, "\u00A3"},
        {Currency::JPY, "\u00A5"}, {Currency::CHF, "CHF"},    {Currency::CAD, "$"},
        {Currency::AUD, "$"},   {Currency::CNY, "\u00A5"}, {Currency::INR, "\u20B9"},
    };
    for (const auto& [currency, symbol] : symbols) {
        EXPECT_EQ(currency_symbol(currency), symbol) << currency_code(currency);
    }
    EXPECT_EQ(amount_sample(NumberStyle::DecimalComma, currency_symbol(Currency::EUR)), "\u20AC1.234.567,89");
    EXPECT_EQ(amount_sample(NumberStyle::DecimalPoint, currency_symbol(Currency::USD)), "$1,234,567.89");
    EXPECT_EQ(amount_sample(NumberStyle::DecimalPoint, currency_symbol(Currency::CHF)), "CHF1,234,567.89");
    EXPECT_EQ(amount_sample(NumberStyle::DecimalComma, currency_symbol(Currency::INR)), "\u20B91.234.567,89");

    EXPECT_EQ(date_sample(prefs::DateFormat::ISO), "2023-03-15");
    EXPECT_EQ(date_sample(prefs::DateFormat::US), "03/15/2023");
    EXPECT_EQ(date_sample(prefs::DateFormat::EU), "15/03/2023");
    EXPECT_EQ(date_sample(prefs::DateFormat::Long), "15 Mar 2023");
    EXPECT_EQ(time_sample(prefs::HourCycle::H24), "14:05");
    EXPECT_EQ(time_sample(prefs::HourCycle::H12), "2:05 PM");
    EXPECT_EQ(temperature_sample(prefs::Measurement::Metric), "21 \u00B0C");
    EXPECT_EQ(temperature_sample(prefs::Measurement::Imperial), "70 \u00B0F");
}

}  // namespace
}  // namespace settings::setting_tables::region
