#pragma once
// UTF-8 as the rest of the system reads it: the shortest form only, no surrogates, nothing above U+10FFFF.
//
// decode() looks at one character. What happens to bytes that are not UTF-8 is the caller's choice: refused
// (length 0, so a checker can stop) or read as U+FFFD one byte long (so a cleaner can carry on with the next byte).

#include <cstddef>
#include <string>
#include <string_view>

namespace text_utf8 {

inline constexpr char32_t replacement_char = 0xFFFD;
// U+FFFD written as UTF-8.
inline constexpr std::string_view replacement = "\xEF\xBF\xBD";

enum class Invalid {
    refuse,   // {0, 0}
    replace,  // {U+FFFD, 1}
};

struct Decoded {
    char32_t code_point = 0;
    std::size_t length = 0;  // bytes taken; 0 only for a refused sequence
};

// The character that starts at s[i] (i < s.size()).
[[nodiscard]] Decoded decode(std::string_view s, std::size_t i, Invalid invalid = Invalid::refuse);

// Whether all of `s` is UTF-8.
[[nodiscard]] bool valid(std::string_view s);

// Appends the UTF-8 form of `cp` (a Unicode scalar value).
void append(std::string& out, char32_t cp);

// Whether `cp` is Unicode white space (the White_Space property: tab to carriage return, space, U+0085, U+00A0,
// U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F, U+3000).
[[nodiscard]] bool is_white_space(char32_t cp);
// `s` without Unicode white space at either end. Bytes that are not UTF-8 count as text.
[[nodiscard]] std::string_view trim_white_space(std::string_view s);
// Whether `s` holds a white-space character anywhere.
[[nodiscard]] bool has_white_space(std::string_view s);

}  // namespace text_utf8
