#include "page_helpers/text_helpers.hpp"

namespace settings::page_helpers {
namespace {

// The code point at s[i] and its length; {U+FFFD, 1} for a byte that does not start valid UTF-8.
std::pair<char32_t, std::size_t> next_char(std::string_view s, std::size_t i)
{
    constexpr std::pair<char32_t, std::size_t> invalid{0xFFFD, 1};
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
        return invalid;
    }
    if (i + len > s.size()) {
        return invalid;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0u) != 0x80u) {
            return invalid;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        return invalid;
    }
    return {cp, len};
}

}  // namespace

std::string clean_command_output(std::string_view text, std::size_t limit)
{
    std::string out;
    out.reserve(std::min(text.size(), limit));
    std::size_t i = 0;
    for (std::size_t taken = 0; taken < limit && i < text.size(); ++taken) {
        const auto [cp, len] = next_char(text, i);
        const bool keep = cp == U'\t' || cp == U'\n' || (cp >= 0x20 && !(cp >= 0x7F && cp <= 0x9F));
        if (keep) {
            if (cp == 0xFFFD && len == 1 && static_cast<unsigned char>(text[i]) >= 0x80) {
                out += "\xEF\xBF\xBD";
            } else {
                out.append(text.substr(i, len));
            }
        }
        i += len;
    }
    return out;
}

bool has_invalid_key_char(std::string_view key)
{
    for (const char c : key) {
        const bool valid = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
                           c == '.' || c == '_';
        if (!valid) {
            return true;
        }
    }
    return false;
}

}  // namespace settings::page_helpers
