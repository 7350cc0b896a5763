#pragma once
// Early return of the error of a std::expected, so that a chain of steps that can each fail reads as a sequence:
//
//   std::expected<Config, std::string> load(const std::filesystem::path& path)
//   {
//       VORN_TRY(std::string text, read_file(path));      // returns read_file's error, else binds its value
//       VORN_TRY(Json root, parse(text));
//       VORN_TRY_OK(check_version(root));                 // for std::expected<void, E>
//       return decode(root);
//   }
//
// The error is moved into `std::unexpected` and converted to the calling function's error type, so a step may
// fail with any error that type can be made from. The value is moved out of the result. Works in functions whose
// return type is a std::expected (or anything a std::unexpected converts to).

#include <expected>  // IWYU pragma: export
#include <utility>

#define VORN_TRY_JOIN_(a, b) a##b
#define VORN_TRY_NAME_(line) VORN_TRY_JOIN_(vorn_try_result_, line)

// `VORN_TRY(declaration, expression);` — declaration takes the value, e.g. `auto value` or `const Json& root`
// (a reference stays valid to the end of the enclosing block). One use per line.
#define VORN_TRY(declaration, ...)                                                                                  \
    auto&& VORN_TRY_NAME_(__LINE__) = (__VA_ARGS__);                                                                \
    if (!VORN_TRY_NAME_(__LINE__)) {                                                                                \
        return ::std::unexpected(::std::move(VORN_TRY_NAME_(__LINE__)).error());                                    \
    }                                                                                                               \
    declaration = *::std::move(VORN_TRY_NAME_(__LINE__))

// `VORN_TRY_OK(expression);` — returns the error of a result whose value is not needed (or is void).
#define VORN_TRY_OK(...)                                                                                            \
    if (auto&& vorn_try_status_ = (__VA_ARGS__); !vorn_try_status_) {                                               \
        return ::std::unexpected(::std::move(vorn_try_status_).error());                                            \
    }                                                                                                               \
    static_assert(true, "VORN_TRY_OK takes a semicolon")
