#pragma once
// JSON text the way our stored files and payloads are written and read.
//
// Printing: members in insertion order (nlohmann::ordered_json), integers in decimal, floating-point numbers in the
// shortest form that reads back to the same double and always with a fraction or an exponent ("1.0", "0.5",
// "1e16", "1.5e-7"), non-finite numbers as null, strings escaped minimally (quote, backslash and control
// characters; non-ASCII stays raw, invalid UTF-8 becomes U+FFFD so the text always reads back).
// pretty() uses two spaces per level and no newline after the last brace; compact() has no whitespace at all.
//
// Parsing: one JSON value and nothing after it; nesting deeper than 128 levels and numbers beyond the double
// range are refused, so that whatever we accept can also be printed back.

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

namespace json_text {

using Json = nlohmann::ordered_json;
// The outcome of reading a value: nothing, or why it could not be read.
using Status = std::expected<void, std::string>;

inline constexpr std::size_t max_depth = 128;

[[nodiscard]] std::string pretty(const Json& value);
[[nodiscard]] std::string compact(const Json& value);

// The text of one double as printed above ("null" when not finite).
[[nodiscard]] std::string format_f64(double value);

// Parses `text` as one JSON value; the error is a short description of what is wrong and where.
[[nodiscard]] std::expected<Json, std::string> parse(std::string_view text);

// nlohmann's exception text without its "[json.exception.<kind>.<id>] " prefix.
[[nodiscard]] std::string without_exception_prefix(std::string_view what);

}  // namespace json_text
