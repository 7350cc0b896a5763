#pragma once
// Helpers shared by the payload tests.

#include <ostream>
#include <string>
#include <string_view>
#include <variant>

#include "actions/payloads/codec.hpp"

namespace settings::actions {

// The wire names of an operation: its enumeration and its variant.
inline std::string variant_label(const AnyOperation& operation)
{
    return std::visit(
        []<class E>(const E& value) {
            return std::string(E::enum_name) + "::" +
                   std::visit([]<class Alt>(const Alt&) { return std::string(Alt::wire_name); }, value.value);
        },
        operation);
}

// Failure messages show an operation as its kind and JSON.
inline void PrintTo(const AnyOperation& operation, std::ostream* out)
{
    auto json = encode_payload(operation);
    *out << operation_kind(operation) << ':' << (json ? *json : "<" + json.error() + ">");
}

}  // namespace settings::actions
