#pragma once
// Descriptions that drive the one JSON codec of the operation payloads (codec.hpp).
//
// A payload type describes itself; the codec never has code for a single variant:
//   - a record or struct variant: a static `wire_name` and a static `fields()` that lists its members in declaration
//     (= wire) order; a unit variant lists no fields. VORN_PAYLOAD_FIELDS / VORN_PAYLOAD_UNIT write both.
//   - an operation enumeration: a class with a static `enum_name` (the name used in reader messages), a
//     static `kind` (its operation kind, when it travels on its own), a nested `Variant` (std::variant of its variant
//     structs in declaration order) and the member `value`. VORN_PAYLOAD_ENUM adds the converting constructor from
//     any of its variants and equality.
//   - a newtype enumeration (SettingValue): like an operation enumeration, with `variant_names` naming the
//     alternatives of `Variant`, which are the carried types themselves.
//   - a unit enumeration (OutputTransform): an enum class with `payload_enum_names(E)` found by argument-dependent
//     lookup, giving the wire names in declaration order.

#include <concepts>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <variant>

namespace settings::actions {

// One member of a record or struct variant: its wire name and where it lives.
template <class Record, class T>
struct FieldDesc {
    using record_type = Record;
    using value_type = T;
    std::string_view name;
    T Record::*member;
};

template <class Record, class T>
constexpr FieldDesc<Record, T> field(std::string_view name, T Record::*member)
{
    return {name, member};
}

namespace detail {
template <class T, class Variant>
struct IsAlternativeOf : std::false_type {};
template <class T, class... Alts>
struct IsAlternativeOf<T, std::variant<Alts...>> : std::bool_constant<(std::is_same_v<T, Alts> || ...)> {};
}  // namespace detail

// T is one of the alternatives of Variant (exactly, not merely convertible).
template <class T, class Variant>
concept AlternativeOf = detail::IsAlternativeOf<std::remove_cvref_t<T>, Variant>::value;

// A record or a struct/unit variant.
template <class T>
concept DescribedRecord = requires {
    { T::wire_name } -> std::convertible_to<std::string_view>;
    T::fields();
};

// An enumeration whose alternatives are described records (the operation vocabularies, SettingsAction).
template <class T>
concept OperationEnum = requires(const T& t) {
    { T::enum_name } -> std::convertible_to<std::string_view>;
    typename T::Variant;
    t.value;
} && !requires { T::variant_names; };

// An enumeration of newtype variants (SettingValue).
template <class T>
concept NewtypeEnum = requires(const T& t) {
    { T::enum_name } -> std::convertible_to<std::string_view>;
    typename T::Variant;
    T::variant_names;
    t.value;
};

// An enum class written as its bare variant names (OutputTransform).
template <class T>
concept UnitEnum = std::is_enum_v<T> && requires(T t) { payload_enum_names(t); };

}  // namespace settings::actions

// Field list helpers: VORN_PAYLOAD_FIELDS(Type, a, b) lists field("a", &Type::a), field("b", &Type::b).
#define VORN_PAYLOAD_FIELD_1(T, a) ::settings::actions::field(#a, &T::a)
#define VORN_PAYLOAD_FIELD_2(T, a, b) VORN_PAYLOAD_FIELD_1(T, a), VORN_PAYLOAD_FIELD_1(T, b)
#define VORN_PAYLOAD_FIELD_3(T, a, b, c) VORN_PAYLOAD_FIELD_2(T, a, b), VORN_PAYLOAD_FIELD_1(T, c)
#define VORN_PAYLOAD_FIELD_4(T, a, b, c, d) VORN_PAYLOAD_FIELD_3(T, a, b, c), VORN_PAYLOAD_FIELD_1(T, d)
#define VORN_PAYLOAD_FIELD_PICK(_1, _2, _3, _4, NAME, ...) NAME
#define VORN_PAYLOAD_FIELD_LIST(T, ...)                                                                     \
    VORN_PAYLOAD_FIELD_PICK(__VA_ARGS__, VORN_PAYLOAD_FIELD_4, VORN_PAYLOAD_FIELD_3, VORN_PAYLOAD_FIELD_2, \
                            VORN_PAYLOAD_FIELD_1, unused)(T, __VA_ARGS__)

// Inside a record or struct variant: its wire name, its fields in wire order, and equality.
#define VORN_PAYLOAD_FIELDS(T, ...)                                      \
    static constexpr std::string_view wire_name = #T;                    \
    static constexpr auto fields()                                       \
    {                                                                    \
        return std::tuple{VORN_PAYLOAD_FIELD_LIST(T, __VA_ARGS__)};      \
    }                                                                    \
    friend bool operator==(const T&, const T&) = default

// A variant without fields.
#define VORN_PAYLOAD_UNIT(T)                                             \
    struct T {                                                           \
        static constexpr std::string_view wire_name = #T;                \
        static constexpr auto fields() { return std::tuple<>{}; }        \
        friend bool operator==(const T&, const T&) = default;            \
    }

// Inside an enumeration class, after `using Variant = std::variant<...>; Variant value;`: an implicit constructor
// from each of its variants (so `DisplayOperation op = DisplayOperation::Apply{};` reads as intended) and equality.
#define VORN_PAYLOAD_ENUM(T)                                             \
    template <::settings::actions::AlternativeOf<Variant> Alt>           \
    T(Alt&& alternative) : value(static_cast<Alt&&>(alternative))       \
    {                                                                    \
    }                                                                    \
    friend bool operator==(const T&, const T&) = default
