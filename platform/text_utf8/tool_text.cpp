#include "text_utf8/tool_text.hpp"

#include "text_utf8/text_utf8.hpp"

namespace text_utf8 {

bool is_bidi_control(char32_t cp)
{
    return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E || cp == 0x200F ||
           cp == 0x061C;
}

std::string clean_tool_text(std::string_view text, std::size_t max_bytes, Lines lines)
{
    std::string out;
    out.reserve(std::min(text.size(), max_bytes));
    std::size_t i = 0;
    while (i < text.size()) {
        const auto [cp, len] = decode(text, i, Invalid::replace);
        const std::size_t start = i;
        i += len;
        if (cp == U'\n' || cp == U'\t') {
            if (out.size() + 1 > max_bytes) {
                break;
            }
            out += lines == Lines::keep ? static_cast<char>(cp) : ' ';
            continue;
        }
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || is_bidi_control(cp)) {
            continue;
        }
        const bool invalid_byte = cp == replacement_char && len == 1;
        const std::string_view piece = invalid_byte ? replacement : text.substr(start, len);
        if (out.size() + piece.size() > max_bytes) {
            break;
        }
        out += piece;
    }
    return out;
}

}  // namespace text_utf8
