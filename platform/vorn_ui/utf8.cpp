#include "vorn_ui/utf8.hpp"

#include "text_utf8/text_utf8.hpp"


namespace vorn_ui::utf8 {

namespace {

bool is_continuation(unsigned char c) { return (c & 0xC0U) == 0x80U; }

bool is_word_byte(unsigned char c)
{
    return c >= 0x80U || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

}  // namespace

std::size_t next_char(std::string_view text, std::size_t index)
{
    if (index >= text.size()) {
        return text.size();
    }
    ++index;
    while (index < text.size() && is_continuation(static_cast<unsigned char>(text[index]))) {
        ++index;
    }
    return index;
}

std::size_t prev_char(std::string_view text, std::size_t index)
{
    index = std::min(index, text.size());
    if (index == 0) {
        return 0;
    }
    --index;
    while (index > 0 && is_continuation(static_cast<unsigned char>(text[index]))) {
        --index;
    }
    return index;
}

std::size_t floor_boundary(std::string_view text, std::size_t index)
{
    index = std::min(index, text.size());
    while (index > 0 && index < text.size() && is_continuation(static_cast<unsigned char>(text[index]))) {
        --index;
    }
    return index;
}

std::size_t char_count(std::string_view text)
{
    std::size_t count = 0;
    for (const char c : text) {
        if (!is_continuation(static_cast<unsigned char>(c))) {
            ++count;
        }
    }
    return count;
}

std::size_t offset_of_char(std::string_view text, std::size_t chars)
{
    std::size_t index = 0;
    while (chars > 0 && index < text.size()) {
        index = next_char(text, index);
        --chars;
    }
    return index;
}

std::size_t next_word_end(std::string_view text, std::size_t index)
{
    index = floor_boundary(text, index);
    while (index < text.size() && !is_word_byte(static_cast<unsigned char>(text[index]))) {
        index = next_char(text, index);
    }
    while (index < text.size() && is_word_byte(static_cast<unsigned char>(text[index]))) {
        index = next_char(text, index);
    }
    return index;
}

std::size_t prev_word_start(std::string_view text, std::size_t index)
{
    index = floor_boundary(text, index);
    while (index > 0 && !is_word_byte(static_cast<unsigned char>(text[prev_char(text, index)]))) {
        index = prev_char(text, index);
    }
    while (index > 0 && is_word_byte(static_cast<unsigned char>(text[prev_char(text, index)]))) {
        index = prev_char(text, index);
    }
    return index;
}

std::pair<std::size_t, std::size_t> word_at(std::string_view text, std::size_t index)
{
    index = floor_boundary(text, index);
    const bool word = index < text.size() && is_word_byte(static_cast<unsigned char>(text[index]));
    std::size_t first = index;
    std::size_t last = index;
    const auto same = [&](std::size_t at) { return is_word_byte(static_cast<unsigned char>(text[at])) == word; };
    while (first > 0 && same(prev_char(text, first))) {
        first = prev_char(text, first);
    }
    while (last < text.size() && same(last)) {
        last = next_char(text, last);
    }
    return {first, last};
}

std::string clean_line(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = text_utf8::decode(text, i).length;
        if (length == 0) {
            out += text_utf8::replacement;
            ++i;
            continue;
        }
        if (length == 1) {
            if (c == '\n' || c == '\r' || c == '\t') {
                // "\r\n" is one line break
                if (!(c == '\n' && i > 0 && text[i - 1] == '\r')) {
                    out += ' ';
                }
            } else if (c >= 0x20U && c != 0x7FU) {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        // C1 controls (U+0080..U+009F) are dropped too
        if (length == 2 && c == 0xC2U && static_cast<unsigned char>(text[i + 1]) < 0xA0U) {
            i += 2;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

std::string_view take_chars(std::string_view text, std::size_t chars) { return text.substr(0, offset_of_char(text, chars)); }

}  // namespace vorn_ui::utf8
