#pragma once
// Broken invariants of the static resource contract stop the program: they are programming errors (a parser built
// for the wrong family of operations, a control bound to an action the contract does not publish), never data.

#include <string_view>

namespace settings::actions {

// Logs `message`, writes it to stderr and aborts.
[[noreturn]] void contract_violation(std::string_view message);

// contract_violation("internal error: entered unreachable code: " + what).
[[noreturn]] void unreachable(std::string_view what);

}  // namespace settings::actions
