#include "page_helpers/text_helpers.hpp"

#include "text_utf8/text_utf8.hpp"

namespace settings::page_helpers {

std::string clean_command_output(std::string_view text, std::size_t limit)
{
    std::string out;
    out.reserve(std::min(text.size(), limit));
    std::size_t i = 0;
    for (std::size_t taken = 0; taken < limit && i < text.size(); ++taken) {
        // A byte that does not start valid UTF-8 reads as U+FFFD on its own.
        const auto [cp, len] = text_utf8::decode(text, i, text_utf8::Invalid::replace);
        const bool keep = cp == U'\t' || cp == U'\n' || (cp >= 0x20 && !(cp >= 0x7F && cp <= 0x9F));
        if (keep) {
            if (cp == text_utf8::replacement_char && len == 1) {
                out += text_utf8::replacement;
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
