#pragma once
// Strict typed reading of stored records and payloads.
//
// A record is read from a JSON object (members in any order, unknown members ignored, a missing member either takes
// the field's default or fails the record) or from its positional form, a JSON array of the field values in field
// order (trailing fields with defaults may be left off; more elements than fields fail). Values are read exactly:
// an unsigned field refuses negative numbers, fractions and values beyond its range; a floating-point field takes
// any number; an enumeration takes its name, or an object whose single member is the name with the value null.
// The first error fails the whole record; its text follows the familiar "missing field `x`" wording.
//
//   DisplayPrefs p;
//   json_text::RecordReader r(value, "DisplayPrefs", 4);
//   r.required("auto_brightness", p.auto_brightness).required("night_light", p.night_light)
//    .defaulted("night_light_temperature", p.night_light_temperature).defaulted("scale", p.scale);
//   if (auto ok = r.finish(); !ok) return std::unexpected(ok.error());
//
// Types of other namespaces join in by declaring `Status read_value(const Json&, T&)` beside the type (found by
// argument-dependent lookup).

#include "json_text/json_text.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace json_text {

// "boolean `true`", "integer `-1`", "floating point `3700.0`", "string \"x\"", "null", "sequence", "map".
[[nodiscard]] std::string describe(const Json& value);
// "invalid type: <describe(value)>, expected <expected>".
[[nodiscard]] std::string invalid_type(const Json& value, std::string_view expected);

Status read_value(const Json& v, bool& out);
Status read_value(const Json& v, std::uint8_t& out);
Status read_value(const Json& v, std::uint16_t& out);
Status read_value(const Json& v, std::uint32_t& out);
Status read_value(const Json& v, std::uint64_t& out);
Status read_value(const Json& v, std::int64_t& out);
Status read_value(const Json& v, double& out);
Status read_value(const Json& v, float& out);  // any number, narrowed to the nearest float
Status read_value(const Json& v, std::string& out);
template <class T>
Status read_value(const Json& v, std::optional<T>& out);  // null gives none
template <class T>
Status read_value(const Json& v, std::vector<T>& out);
template <class T>
Status read_value(const Json& v, std::map<std::string, T>& out);  // an object; the last of repeated names counts

// An enumeration stored by name; `names[i]` is the name of the value i.
template <class E>
Status read_enum(const Json& v, E& out, std::span<const std::string_view> names);
[[nodiscard]] std::string unknown_variant(std::string_view name, std::span<const std::string_view> names);

template <class T>
[[nodiscard]] std::expected<T, std::string> decode(const Json& v);

class RecordReader {
public:
    RecordReader(const Json& value, std::string_view record_name, std::size_t field_count);

    // Fields must be named in field order (the positional form depends on it).
    template <class T>
    RecordReader& required(std::string_view key, T& out)
    {
        return field(key, out, true);
    }
    template <class T>
    RecordReader& defaulted(std::string_view key, T& out)
    {
        return field(key, out, false);
    }

    [[nodiscard]] Status finish() const;
    [[nodiscard]] bool failed() const { return error_.has_value(); }

private:
    template <class T>
    RecordReader& field(std::string_view key, T& out, bool is_required)
    {
        if (const Json* member = locate(key, is_required)) {
            T value{};
            if (auto ok = read_value(*member, value); !ok) {
                error_ = std::move(ok.error());
            } else {
                out = std::move(value);
            }
        }
        return *this;
    }
    const Json* locate(std::string_view key, bool is_required);

    const Json& value_;
    std::string record_;
    std::size_t field_count_;
    std::size_t index_ = 0;
    bool positional_ = false;
    std::optional<std::string> error_;
};

// Encoding helpers.
template <class T>
[[nodiscard]] Json value_or_null(const std::optional<T>& value)
{
    return value ? Json(*value) : Json(nullptr);
}

// ---------------------------------------------------------------------------------------------------------------

template <class T>
Status read_value(const Json& v, std::optional<T>& out)
{
    if (v.is_null()) {
        out.reset();
        return {};
    }
    T value{};
    if (auto ok = read_value(v, value); !ok) {
        return ok;
    }
    out = std::move(value);
    return {};
}

template <class T>
Status read_value(const Json& v, std::vector<T>& out)
{
    if (!v.is_array()) {
        return std::unexpected(invalid_type(v, "a sequence"));
    }
    std::vector<T> values;
    values.reserve(v.size());
    for (const auto& element : v) {
        T value{};
        if (auto ok = read_value(element, value); !ok) {
            return ok;
        }
        values.push_back(std::move(value));
    }
    out = std::move(values);
    return {};
}

template <class T>
Status read_value(const Json& v, std::map<std::string, T>& out)
{
    if (!v.is_object()) {
        return std::unexpected(invalid_type(v, "a map"));
    }
    std::map<std::string, T> values;
    for (const auto& [key, member] : v.items()) {
        T value{};
        if (auto ok = read_value(member, value); !ok) {
            return ok;
        }
        values.insert_or_assign(key, std::move(value));
    }
    out = std::move(values);
    return {};
}

template <class E>
Status read_enum(const Json& v, E& out, std::span<const std::string_view> names)
{
    const std::string* name = nullptr;
    if (v.is_string()) {
        name = &v.get_ref<const std::string&>();
    } else if (v.is_object() && v.size() == 1 && v.begin().value().is_null()) {
        name = &v.begin().key();
    } else if (v.is_object() && v.size() == 1) {
        return std::unexpected(invalid_type(v.begin().value(), "unit variant"));
    } else {
        return std::unexpected(invalid_type(v, "string or map"));
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == *name) {
            out = static_cast<E>(i);
            return {};
        }
    }
    return std::unexpected(unknown_variant(*name, names));
}

template <class T>
std::expected<T, std::string> decode(const Json& v)
{
    T value{};
    if (auto ok = read_value(v, value); !ok) {
        return std::unexpected(std::move(ok.error()));
    }
    return value;
}

}  // namespace json_text
