#pragma once
// Text that came from outside the program (a system tool's output, a name from the air or the network, a file a
// daemon wrote) made safe to show and to store: one rule for every backend.
//
// clean_tool_text() keeps printable characters only: C0 controls, DEL and the C1 controls go (a line feed and a
// tab too, unless `lines` keeps them), as do the bidirectional embedding, override and isolate marks (U+202A to
// U+202E, U+2066 to U+2069) and the directional marks (U+200E, U+200F, U+061C) that could make a name read as
// something else. Bytes that are not UTF-8 become U+FFFD. The result is at most `max_bytes` bytes long, cut on a
// character boundary.
//
//   auto ssid = text_utf8::clean_tool_text(raw_ssid, 32);           // an SSID: at most 32 bytes, one line
//   auto error = text_utf8::clean_tool_text(stderr_text, 4096, text_utf8::Lines::keep);

#include <cstddef>
#include <string>
#include <string_view>

namespace text_utf8 {

enum class Lines {
    join,  // line feeds and tabs become spaces (a name)
    keep,  // line feeds and tabs stay (a message)
};

// Bounds for the common kinds of tool text.
inline constexpr std::size_t max_name_bytes = 256;      // a device, printer, profile or user name
inline constexpr std::size_t max_message_bytes = 4096;  // an error or status text from a tool

[[nodiscard]] std::string clean_tool_text(std::string_view text, std::size_t max_bytes, Lines lines = Lines::join);

// Whether `cp` is a bidirectional formatting character (embedding, override, isolate or directional mark).
[[nodiscard]] bool is_bidi_control(char32_t cp);

}  // namespace text_utf8
