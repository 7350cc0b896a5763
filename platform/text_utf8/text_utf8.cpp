#include "text_utf8/text_utf8.hpp"

#include <algorithm>

namespace text_utf8 {

Decoded decode(std::string_view s, std::size_t i, Invalid invalid)
{
    const Decoded not_utf8 = invalid == Invalid::replace ? Decoded{replacement_char, 1} : Decoded{};
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        return {b0, 1};
    }
    std::size_t len = 0;
    char32_t cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0Fu;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07u;
    } else {
        return not_utf8;
    }
    if (i + len > s.size()) {
        return not_utf8;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0u) != 0x80u) {
            return not_utf8;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    if (overlong || surrogate || cp > 0x10FFFF) {
        return not_utf8;
    }
    return {cp, len};
}

bool valid(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = decode(s, i).length;
        if (len == 0) {
            return false;
        }
        i += len;
    }
    return true;
}

void append(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool is_white_space(char32_t cp)
{
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
           cp == 0x3000;
}

std::string_view trim_white_space(std::string_view s)
{
    std::size_t begin = s.size();
    std::size_t end = 0;
    for (std::size_t i = 0; i < s.size();) {
        const Decoded d = decode(s, i, Invalid::replace);
        if (!is_white_space(d.code_point)) {
            begin = std::min(begin, i);
            end = i + d.length;
        }
        i += d.length;
    }
    return begin < end ? s.substr(begin, end - begin) : std::string_view{};
}

bool has_white_space(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const Decoded d = decode(s, i, Invalid::replace);
        if (is_white_space(d.code_point)) {
            return true;
        }
        i += d.length;
    }
    return false;
}

}  // namespace text_utf8
