#pragma once
// UTF-8 helpers of the text widgets: character boundaries, word boundaries and cleaning typed or pasted text.
// Offsets are byte offsets into valid UTF-8 (the widgets only hold text that went through `clean_line`).

#include <cstddef>
#include <string>
#include <string_view>

namespace vorn_ui::utf8 {

// The boundary after / before the character at `index` (clamped to the text).
[[nodiscard]] std::size_t next_char(std::string_view text, std::size_t index);
[[nodiscard]] std::size_t prev_char(std::string_view text, std::size_t index);
// `index` moved back onto a character boundary.
[[nodiscard]] std::size_t floor_boundary(std::string_view text, std::size_t index);
// The number of characters (code points).
[[nodiscard]] std::size_t char_count(std::string_view text);
// The byte offset of the character number `chars` (the end when the text is shorter).
[[nodiscard]] std::size_t offset_of_char(std::string_view text, std::size_t chars);
// Word movement: the end of the next word after `index`, the start of the word before it. Words are runs of
// letters, digits and characters outside ASCII; everything else separates them.
[[nodiscard]] std::size_t next_word_end(std::string_view text, std::size_t index);
[[nodiscard]] std::size_t prev_word_start(std::string_view text, std::size_t index);
// The word around `index` as [first, second).
[[nodiscard]] std::pair<std::size_t, std::size_t> word_at(std::string_view text, std::size_t index);
// Text fit for a one-line field: invalid sequences become U+FFFD, line breaks and tabs become spaces, other
// control characters are dropped.
[[nodiscard]] std::string clean_line(std::string_view text);
// The first `chars` characters of a text.
[[nodiscard]] std::string_view take_chars(std::string_view text, std::size_t chars);

}  // namespace vorn_ui::utf8
