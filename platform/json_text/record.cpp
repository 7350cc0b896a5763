#include "json_text/record.hpp"

#include <fmt/format.h>

#include <cmath>
#include <limits>

namespace json_text {
namespace {

template <class U>
Status read_unsigned(const Json& v, U& out, std::string_view name)
{
    if (v.is_number_unsigned()) {
        const auto n = v.get<std::uint64_t>();
        if (n > std::numeric_limits<U>::max()) {
            return std::unexpected(fmt::format("invalid value: integer `{}`, expected {}", n, name));
        }
        out = static_cast<U>(n);
        return {};
    }
    if (v.is_number_integer()) {  // negative
        return std::unexpected(fmt::format("invalid value: integer `{}`, expected {}", v.get<std::int64_t>(), name));
    }
    return std::unexpected(invalid_type(v, name));
}

}  // namespace

std::string describe(const Json& value)
{
    switch (value.type()) {
        case Json::value_t::null: return "null";
        case Json::value_t::boolean: return value.get<bool>() ? "boolean `true`" : "boolean `false`";
        case Json::value_t::number_integer: return fmt::format("integer `{}`", value.get<std::int64_t>());
        case Json::value_t::number_unsigned: return fmt::format("integer `{}`", value.get<std::uint64_t>());
        case Json::value_t::number_float: return fmt::format("floating point `{}`", format_f64(value.get<double>()));
        case Json::value_t::string: return "string " + compact(value);
        case Json::value_t::array: return "sequence";
        case Json::value_t::object: return "map";
        default: return "value";
    }
}

std::string invalid_type(const Json& value, std::string_view expected)
{
    return fmt::format("invalid type: {}, expected {}", describe(value), expected);
}

std::string unknown_variant(std::string_view name, std::span<const std::string_view> names)
{
    std::string expected;
    if (names.empty()) {
        expected = "there are no variants";
    } else if (names.size() == 1) {
        expected = fmt::format("expected `{}`", names[0]);
    } else if (names.size() == 2) {
        expected = fmt::format("expected `{}` or `{}`", names[0], names[1]);
    } else {
        expected = "expected one of ";
        for (std::size_t i = 0; i < names.size(); ++i) {
            expected += fmt::format("{}`{}`", i == 0 ? "" : ", ", names[i]);
        }
    }
    return fmt::format("unknown variant `{}`, {}", name, expected);
}

Status read_value(const Json& v, bool& out)
{
    if (!v.is_boolean()) {
        return std::unexpected(invalid_type(v, "a boolean"));
    }
    out = v.get<bool>();
    return {};
}

Status read_value(const Json& v, std::uint8_t& out) { return read_unsigned(v, out, "u8"); }
Status read_value(const Json& v, std::uint16_t& out) { return read_unsigned(v, out, "u16"); }
Status read_value(const Json& v, std::uint32_t& out) { return read_unsigned(v, out, "u32"); }
Status read_value(const Json& v, std::uint64_t& out) { return read_unsigned(v, out, "u64"); }

Status read_value(const Json& v, std::int64_t& out)
{
    if (v.is_number_unsigned()) {
        const auto n = v.get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::unexpected(fmt::format("invalid value: integer `{}`, expected i64", n));
        }
        out = static_cast<std::int64_t>(n);
        return {};
    }
    if (v.is_number_integer()) {
        out = v.get<std::int64_t>();
        return {};
    }
    return std::unexpected(invalid_type(v, "i64"));
}

Status read_value(const Json& v, double& out)
{
    if (!v.is_number()) {
        return std::unexpected(invalid_type(v, "f64"));
    }
    out = v.get<double>();
    return {};
}

Status read_value(const Json& v, float& out)
{
    if (!v.is_number()) {
        return std::unexpected(invalid_type(v, "f32"));
    }
    out = static_cast<float>(v.get<double>());
    return {};
}

Status read_value(const Json& v, std::string& out)
{
    if (!v.is_string()) {
        return std::unexpected(invalid_type(v, "a string"));
    }
    out = v.get<std::string>();
    return {};
}

RecordReader::RecordReader(const Json& value, std::string_view record_name, std::size_t field_count)
    : value_(value), record_(record_name), field_count_(field_count)
{
    if (value.is_array()) {
        positional_ = true;
    } else if (!value.is_object()) {
        error_ = invalid_type(value, "struct " + record_);
    }
}

const Json* RecordReader::locate(std::string_view key, bool is_required)
{
    if (error_) {
        return nullptr;
    }
    const std::size_t index = index_++;
    if (positional_) {
        if (index < value_.size()) {
            return &value_[index];
        }
        if (is_required) {
            error_ = fmt::format("invalid length {}, expected struct {} with {} elements", value_.size(), record_,
                                 field_count_);
        }
        return nullptr;
    }
    const auto it = value_.find(key);
    if (it != value_.end()) {
        return &*it;
    }
    if (is_required) {
        error_ = fmt::format("missing field `{}`", key);
    }
    return nullptr;
}

Status RecordReader::finish() const
{
    if (error_) {
        return std::unexpected(*error_);
    }
    if (positional_ && value_.size() > field_count_) {
        return std::unexpected(fmt::format("invalid length {}, expected fewer elements in array", value_.size()));
    }
    return {};
}

}  // namespace json_text
