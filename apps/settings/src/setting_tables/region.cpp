#include "setting_tables/region.hpp"

#include <fmt/format.h>

#include <array>

namespace settings::setting_tables::region {

namespace {

using prefs::EnumTable;

template <class E>
std::span<const std::string_view> labels_of()
{
    return EnumTable<E>::labels;
}

constexpr std::array<std::string_view, 9> kSymbols{"$", "\u20AC", "\u00A3", "\u00A5", "CHF", "$", "$", "\u00A5",
                                                   "\u20B9"};

template <class E>
bool take_label(E& out, std::string_view text)
{
    if (const auto value = prefs::from_label<E>(text)) {
        out = *value;
        return true;
    }
    return false;
}

const std::array<Setting, 6> kSettings{{
    {Field::Currency, currency_key, "region.currency", "currency", "Currency", "Set currency",
     labels_of<prefs::Currency>()},
    {Field::DateFormat, date_format_key, "region.date", "date", "Date format", "Set date format",
     labels_of<prefs::DateFormat>()},
    {Field::TimeFormat, time_format_key, "region.time", "time", "Time format", "Set time format",
     labels_of<prefs::HourCycle>()},
    {Field::Measurement, measurement_key, "region.measurement", "measurement", "Measurement",
     "Set measurement units", labels_of<prefs::Measurement>()},
    {Field::NumberStyle, number_style_key, "region.number_style", "number", "Number format", "Set number format",
     labels_of<prefs::NumberStyle>()},
    {Field::FirstDay, first_day_key, "region.first_day", "first-day", "First day of week",
     "Set first day of week", labels_of<prefs::Weekday>()},
}};

}  // namespace

std::string_view Setting::label(const prefs::Locale& locale) const
{
    switch (field) {
    case Field::Currency: return prefs::label(locale.currency);
    case Field::DateFormat: return prefs::label(locale.date_format);
    case Field::TimeFormat: return prefs::label(locale.time_format);
    case Field::Measurement: return prefs::label(locale.measurement);
    case Field::NumberStyle: return prefs::label(locale.number_style);
    case Field::FirstDay: return prefs::label(locale.first_day_of_week);
    }
    return {};
}

bool Setting::take(prefs::Locale& locale, std::string_view text) const
{
    switch (field) {
    case Field::Currency:
        if (const auto currency = parse_currency(text)) {
            locale.currency = *currency;
            return true;
        }
        return false;
    case Field::DateFormat: return take_label(locale.date_format, text);
    case Field::TimeFormat: return take_label(locale.time_format, text);
    case Field::Measurement: return take_label(locale.measurement, text);
    case Field::NumberStyle: return take_label(locale.number_style, text);
    case Field::FirstDay: return take_label(locale.first_day_of_week, text);
    }
    return false;
}

std::span<const Setting> settings() { return kSettings; }

const Setting* find(std::string_view key)
{
    for (const Setting& row : kSettings) {
        if (row.key == key) {
            return &row;
        }
    }
    return nullptr;
}

std::string not_a_choice(const Setting& setting, std::string_view text)
{
    std::string choices;
    for (std::size_t i = 0; i < setting.choices.size(); ++i) {
        if (i > 0) {
            choices += ", ";
        }
        choices += setting.choices[i];
    }
    return fmt::format("{} cannot be \u201C{}\u201D: choose {}.", setting.title, text, choices);
}

std::optional<prefs::Currency> parse_currency(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return prefs::from_json_name<prefs::Currency>(upper);
}

std::string_view currency_code(prefs::Currency currency) { return prefs::json_name(currency); }

std::string_view currency_symbol(prefs::Currency currency) { return kSymbols.at(static_cast<std::size_t>(currency)); }

std::string amount_sample(prefs::NumberStyle style, std::string_view symbol)
{
    return fmt::format("{}{}", symbol, style == prefs::NumberStyle::DecimalComma ? "1.234.567,89" : "1,234,567.89");
}

std::string_view date_sample(prefs::DateFormat format)
{
    switch (format) {
    case prefs::DateFormat::ISO: return "2023-03-15";
    case prefs::DateFormat::US: return "03/15/2023";
    case prefs::DateFormat::EU: return "15/03/2023";
    case prefs::DateFormat::Long: return "15 Mar 2023";
    }
    return "2023-03-15";
}

std::string_view time_sample(prefs::HourCycle cycle) { return cycle == prefs::HourCycle::H12 ? "2:05 PM" : "14:05"; }

std::string_view temperature_sample(prefs::Measurement units)
{
    return units == prefs::Measurement::Imperial ? "70 \u00B0F" : "21 \u00B0C";
}

}  // namespace settings::setting_tables::region
