#pragma once
// The JSON codec of the operation payloads: one writer and one reader for every vocabulary, driven by the
// descriptions of describe.hpp.
//
// Written form: externally tagged. A unit variant is its name as a JSON string ("Check"); a struct variant is an
// object with one member, the variant name, holding an object of all its fields in declaration order
// ({"SetWifiEnabled":{"enabled":true}}); optional fields are written as null; a SettingValue is {"Int":-3}.
// Integers are written as integers, f64 fields always as floats ("1.0"); a non-finite f64 is written as null
// (which every reader refuses).
//
// Read form: the written form, or the bare name or {"Name":null} for a unit variant, the array form of a struct
// variant's fields ({"SetWifiEnabled":[true]}), members in any order, unknown members skipped, white space around
// tokens. Refused: unknown variant names, missing required fields, repeated fields, a second top-level member,
// values of the wrong JSON type or out of range, anything after the value, and payloads over max_payload_bytes
// (before they are parsed). Errors are short sentences such as
//   unknown variant `Bogus`, expected one of `Check`, `Restart`, …
//   missing field `enabled` at SetWifiEnabled
//   invalid type: floating point `80.0`, expected u32 at SetChargeLimit.percent
// or the JSON parser's own message with line and column for malformed JSON.
//
// Payloads are std::string_view over the UTF-8 bytes (no terminator needed); payload_text() views a byte span.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "actions/payloads/operations.hpp"

namespace settings::actions {

// A payload longer than this is refused before it is parsed.
inline constexpr std::size_t max_payload_bytes = 1024 * 1024;

enum class JsonStyle : std::uint8_t {
    Compact,  // one line, no white space: the form of every payload and operation key
    Pretty,   // two-space indentation, for people and logs
};

// The typed payloads: the 16 operation vocabularies and SettingsAction.
template <class T>
concept PayloadType = AlternativeOf<T, AnyOperation>;

inline std::string_view payload_text(std::span<const std::uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}
inline std::string_view payload_text(std::span<const std::byte> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The JSON text of a value. Fails only when a text field is not valid UTF-8.
template <PayloadType T>
std::expected<std::string, std::string> encode_payload(const T& value, JsonStyle style = JsonStyle::Compact);
std::expected<std::string, std::string> encode_payload(const AnyOperation& value,
                                                       JsonStyle style = JsonStyle::Compact);

// The same form as a JSON value (action contexts); non-finite floats are null here too.
template <PayloadType T>
nlohmann::ordered_json encode_payload_json(const T& value);

// Reads a value of T from a payload, or gives the reason it is refused.
template <PayloadType T>
std::expected<T, std::string> decode_payload(std::string_view payload);

// The operation key: the kind, ":" and the compact JSON of the operation, such as
// `settings.display-operation:{"SetNightLight":{"enabled":true}}`. Pages compare it byte for byte. When the
// value cannot be written the JSON part is empty.
template <PayloadType T>
std::string encode_operation_payload(std::string_view kind, const T& operation);

// Decodes the payload of any typed kind (not "settings.open-pane"); any other kind: "unknown operation type".
std::expected<AnyOperation, std::string> decode_operation(std::string_view kind, std::string_view payload);

// Decodes the payload of one of the fourteen device-local kinds; any other kind:
// "unknown device-local operation type".
std::expected<DeviceLocalOperation, std::string> decode_device_local_operation(std::string_view kind,
                                                                               std::string_view payload);

// Checks that a device-local operation is well formed and gives its operation key, re-encoded from the decoded
// value (canonical: no white space, members in declaration order, unknown members dropped). A payload that does
// not decode gives the decoder's message; any other kind "unknown device-local operation type".
std::expected<std::string, std::string> parse_device_local_operation(std::string_view kind,
                                                                     std::string_view payload);

// The payload of "settings.open-pane": a JSON string holding a section id.
std::expected<std::string, std::string> encode_open_pane_payload(std::string_view section_id);
std::expected<std::string, std::string> decode_open_pane_payload(std::string_view payload);

}  // namespace settings::actions
