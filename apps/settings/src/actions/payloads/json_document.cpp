#include "actions/payloads/json_document.hpp"

#include "json_text/tree.hpp"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

namespace settings::actions::detail {

namespace {

constexpr std::string_view ellipsis = "\u2026";

// Invalid UTF-8 replaced, quotes and control characters escaped as in JSON, without the surrounding quotes.
std::string printable(std::string_view text)
{
    std::string quoted = Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
    return quoted.substr(1, quoted.size() - 2);
}

// The parser's quoted token as it is, but with invalid UTF-8 replaced (the parser already spells control characters
// as <U+000A>): the quote and reverse solidus escapes that the JSON dump adds are undone.
std::string printable_token(std::string_view token)
{
    const std::string escaped = printable(token);
    std::string shown;
    shown.reserve(escaped.size());
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\' && i + 1 < escaped.size() && (escaped[i + 1] == '"' || escaped[i + 1] == '\\')) {
            ++i;
        }
        shown += escaped[i];
    }
    return shown;
}

// nlohmann's message without its "[json.exception.parse_error.101] " prefix, with the quoted input token cut short
// and made printable, and with a position when the message has none.
std::string parse_error_message(std::string_view what, std::string_view text, std::size_t position)
{
    std::string message = json_text::without_exception_prefix(what);
    constexpr std::string_view marker = "; last read: '";
    if (auto start = message.find(marker); start != std::string::npos) {
        start += marker.size();
        auto end = message.find("'; expected", start);
        if (end == std::string::npos) {
            end = message.size() - 1;  // the closing quote
        }
        if (end >= start) {
            std::string_view token = std::string_view(message).substr(start, end - start);
            std::string shown;
            if (token.size() > 40) {
                // Keep the end of the token: that is where the reader stopped.
                shown = std::string(ellipsis) + printable_token(token.substr(token.size() - 40));
            } else {
                shown = printable_token(token);
            }
            message.replace(start, end - start, shown);
        }
    }
    if (!message.contains(" at line ")) {
        position = std::min(position, text.size());
        const std::string_view before = text.substr(0, position);
        const auto line = std::count(before.begin(), before.end(), '\n') + 1;
        const auto line_start = before.rfind('\n');
        const auto column = line_start == std::string_view::npos ? position : position - line_start - 1;
        message += fmt::format(" at line {}, column {}", line, column);
    }
    return message;
}

}  // namespace

std::span<const std::string> JsonDocument::repeated_keys_of(const Json::object_t& object) const
{
    if (repeated_keys.empty()) {
        return {};
    }
    auto found = repeated_keys.find(&object);
    return found == repeated_keys.end() ? std::span<const std::string>{} : std::span<const std::string>{found->second};
}

std::expected<JsonDocument, std::string> parse_json_document(std::string_view text)
{
    auto tree = json_text::parse_tree(text, {.repeated = json_text::TreeOptions::Repeated::keep_first,
                                             .too_deep = json_text::TreeOptions::TooDeep::keep_empty,
                                             .max_depth = max_built_depth,
                                             .negative_zero_float = true});
    if (!tree) {
        return std::unexpected(parse_error_message(tree.error().what, text, tree.error().position));
    }
    JsonDocument document;
    document.root = std::move(tree->root);
    document.repeated_keys = std::move(tree->repeated);
    return document;
}

std::string quoted_for_message(std::string_view text, std::size_t max_bytes)
{
    if (text.size() <= max_bytes) {
        return '"' + printable(text) + '"';
    }
    return '"' + printable(text.substr(0, max_bytes)) + std::string(ellipsis) + '"';
}

}  // namespace settings::actions::detail
