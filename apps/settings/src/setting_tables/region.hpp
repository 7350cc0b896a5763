#pragma once
// The Region & Formats page's setting table and its preview texts. Each of the six locale fields has a document and
// set-setting key, the control id of its drop-down, the section's action id, the row's title and the labels in
// option order (the labels of prefs/enums.hpp; the currency's label is its code). The page's model and rows, the
// Region & Formats section's actions and the set-setting action's storing use it.
//
//   find("region.currency")->take(locale, "eur")        -> true, locale.currency == EUR (codes ignore ASCII case)
//   find("region.currency")->take(locale, " EUR")       -> false, nothing changes (nothing is trimmed)
//   find("region.time_format")->take(locale, "12-hour (2:05 PM)")  -> true, H12
//   amount_sample(NumberStyle::DecimalComma, "€")       -> "€1.234.567,89"

#include "prefs/records.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace settings::setting_tables::region {

enum class Field : std::uint8_t { Currency, DateFormat, TimeFormat, Measurement, NumberStyle, FirstDay };

struct Setting {
    Field field;
    std::string_view key;         // document and set-setting key: "region.date_format"
    std::string_view control_id;  // the drop-down's id: "region.date"
    std::string_view action;      // the section's action id: "date"
    std::string_view title;       // the row's title: "Date format"
    std::string_view action_title;  // "Set date format"
    std::span<const std::string_view> choices;  // the labels, in option order

    // The label in force (the code for the currency).
    [[nodiscard]] std::string_view label(const prefs::Locale& locale) const;
    // Sets the field from a text; false (and nothing changed) for a text that is no label of the row.
    bool take(prefs::Locale& locale, std::string_view text) const;
};

inline constexpr std::string_view currency_key = "region.currency";
inline constexpr std::string_view date_format_key = "region.date_format";
inline constexpr std::string_view time_format_key = "region.time_format";
inline constexpr std::string_view measurement_key = "region.measurement";
inline constexpr std::string_view number_style_key = "region.number_style";
inline constexpr std::string_view first_day_key = "region.first_day";

// Currency, date format, time format, measurement, number style, first day of the week.
[[nodiscard]] std::span<const Setting> settings();
[[nodiscard]] const Setting* find(std::string_view key);

// "Currency cannot be “XYZ”: choose USD, EUR, GBP, JPY, CHF, CAD, AUD, CNY, INR."
[[nodiscard]] std::string not_a_choice(const Setting& setting, std::string_view text);

// The currency whose code the text is, ASCII letters upper-cased first and nothing trimmed; none for another text.
[[nodiscard]] std::optional<prefs::Currency> parse_currency(std::string_view text);
[[nodiscard]] std::string_view currency_code(prefs::Currency currency);
// "$", "€", "£", "¥", "CHF", "$", "$", "¥", "₹" in the order of the codes.
[[nodiscard]] std::string_view currency_symbol(prefs::Currency currency);

// ---- The preview ------------------------------------------------------------------------------------------------

// The symbol immediately followed by 1,234,567.89 in the number style.
[[nodiscard]] std::string amount_sample(prefs::NumberStyle style, std::string_view symbol);
// 15 March 2023 in the date format: "2023-03-15", "03/15/2023", "15/03/2023", "15 Mar 2023".
[[nodiscard]] std::string_view date_sample(prefs::DateFormat format);
// 14:05 in the clock format: "14:05", "2:05 PM".
[[nodiscard]] std::string_view time_sample(prefs::HourCycle cycle);
// 21 °C in the units: "21 °C", "70 °F".
[[nodiscard]] std::string_view temperature_sample(prefs::Measurement units);

}  // namespace settings::setting_tables::region
