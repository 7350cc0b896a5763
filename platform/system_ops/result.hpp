#pragma once
// Answers of the system layer: a value or a short error sentence that callers show to the user.

#include <expected>
#include <string>

namespace system_ops {

// Success, or an error sentence.
using Status = std::expected<void, std::string>;

// A value, or an error sentence.
template <class T>
using Result = std::expected<T, std::string>;

}  // namespace system_ops
