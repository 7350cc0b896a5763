#pragma once
// The enumerations of the preference records: each value with the name stored in the settings file and the label
// a page shows. Values are numbered by their position (0 first).
//
//   label(ColorFilter::Grayscale)            -> "Grayscale"
//   from_label<ColorFilter>("Off")           -> ColorFilter::None
//   json_name(PowerAction::Lock)             -> "lock"
//   for (auto v : all_values<DateFormat>())  -> ISO, US, EU, Long (in this order, e.g. for a dropdown)

#include "json_text/json_text.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace settings::prefs {

enum class PowerAction : std::uint8_t { Suspend, Lock, Ignore };
enum class ColorFilter : std::uint8_t { None, Grayscale, Inverted, GrayscaleInverted };
enum class SwitchKeyPair : std::uint8_t { F6F7, F9F10, Digits12 };
enum class ScreenReaderVoice : std::uint8_t { System, EnglishUs, EnglishGb, German, French, Spanish };
enum class Currency : std::uint8_t { USD, EUR, GBP, JPY, CHF, CAD, AUD, CNY, INR };
enum class DateFormat : std::uint8_t { ISO, US, EU, Long };
enum class HourCycle : std::uint8_t { H24, H12 };
enum class Measurement : std::uint8_t { Metric, Imperial };
enum class NumberStyle : std::uint8_t { DecimalPoint, DecimalComma };
enum class Weekday : std::uint8_t { Monday, Sunday, Saturday };

template <class E>
struct EnumTable;

// clang-format off
template <> struct EnumTable<PowerAction> {
    static constexpr std::array<std::string_view, 3> json_names{"suspend", "lock", "ignore"};
    static constexpr std::array<std::string_view, 3> labels{"Suspend", "Lock screen", "Do nothing"};
};
template <> struct EnumTable<ColorFilter> {
    static constexpr std::array<std::string_view, 4> json_names{"none", "grayscale", "inverted", "grayscale_inverted"};
    static constexpr std::array<std::string_view, 4> labels{"Off", "Grayscale", "Inverted", "Grayscale + inverted"};
};
template <> struct EnumTable<SwitchKeyPair> {
    static constexpr std::array<std::string_view, 3> json_names{"f6_f7", "f9_f10", "digits12"};
    static constexpr std::array<std::string_view, 3> labels{"F6 / F7", "F9 / F10", "1 / 2"};
};
template <> struct EnumTable<ScreenReaderVoice> {
    static constexpr std::array<std::string_view, 6> json_names{
        "system", "english_us", "english_gb", "german", "french", "spanish"};
    static constexpr std::array<std::string_view, 6> labels{
        "System voice", "English (US)", "English (UK)", "German", "French", "Spanish"};
};
template <> struct EnumTable<Currency> {
    static constexpr std::array<std::string_view, 9> json_names{
        "USD", "EUR", "GBP", "JPY", "CHF", "CAD", "AUD", "CNY", "INR"};
    static constexpr std::array<std::string_view, 9> labels = json_names;
};
template <> struct EnumTable<DateFormat> {
    static constexpr std::array<std::string_view, 4> json_names{"ISO", "US", "EU", "Long"};
    static constexpr std::array<std::string_view, 4> labels{
        "ISO (2023-03-15)", "US (03/15/2023)", "European (15/03/2023)", "Long (15 Mar 2023)"};
};
template <> struct EnumTable<HourCycle> {
    static constexpr std::array<std::string_view, 2> json_names{"H24", "H12"};
    static constexpr std::array<std::string_view, 2> labels{"24-hour (14:05)", "12-hour (2:05 PM)"};
};
template <> struct EnumTable<Measurement> {
    static constexpr std::array<std::string_view, 2> json_names{"Metric", "Imperial"};
    static constexpr std::array<std::string_view, 2> labels{"Metric (°C, km, kg)", "Imperial (°F, mi, lb)"};
};
template <> struct EnumTable<NumberStyle> {
    static constexpr std::array<std::string_view, 2> json_names{"DecimalPoint", "DecimalComma"};
    static constexpr std::array<std::string_view, 2> labels{"1,234,567.89", "1.234.567,89"};
};
template <> struct EnumTable<Weekday> {
    static constexpr std::array<std::string_view, 3> json_names{"Monday", "Sunday", "Saturday"};
    static constexpr std::array<std::string_view, 3> labels = json_names;
};
// clang-format on

template <class E>
concept PrefsEnum = requires { EnumTable<E>::json_names; };

template <PrefsEnum E>
[[nodiscard]] constexpr std::string_view json_name(E value)
{
    return EnumTable<E>::json_names.at(static_cast<std::size_t>(value));
}

template <PrefsEnum E>
[[nodiscard]] constexpr std::string_view label(E value)
{
    return EnumTable<E>::labels.at(static_cast<std::size_t>(value));
}

// The value whose label is exactly `text` (case-sensitive), or none.
template <PrefsEnum E>
[[nodiscard]] std::optional<E> from_label(std::string_view text)
{
    const auto& labels = EnumTable<E>::labels;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (labels[i] == text) {
            return static_cast<E>(i);
        }
    }
    return std::nullopt;
}

// The value stored under the name `text` (case-sensitive), or none.
template <PrefsEnum E>
[[nodiscard]] std::optional<E> from_json_name(std::string_view text)
{
    const auto& names = EnumTable<E>::json_names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == text) {
            return static_cast<E>(i);
        }
    }
    return std::nullopt;
}

template <PrefsEnum E>
[[nodiscard]] constexpr auto all_values()
{
    std::array<E, std::tuple_size_v<decltype(EnumTable<E>::labels)>> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<E>(i);
    }
    return values;
}

// Stored as the name; read from the name or {"<name>": null}.
template <PrefsEnum E>
void to_json(json_text::Json& j, E value);
template <PrefsEnum E>
json_text::Status read_value(const json_text::Json& v, E& out);

}  // namespace settings::prefs
