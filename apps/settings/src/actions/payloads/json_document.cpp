#include "actions/payloads/json_document.hpp"

#include <algorithm>
#include <unordered_set>
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
    std::string message(what);
    if (message.starts_with("[json.exception.")) {
        if (auto end = message.find("] "); end != std::string::npos) {
            message.erase(0, end + 2);
        }
    }
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

// Builds the tree from nlohmann's SAX events (see the header for what differs from nlohmann's own tree).
class TreeBuilder {
public:
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    TreeBuilder(JsonDocument& document, std::string_view text) : document_(document), text_(text) {}

    bool null() { return put(Json(nullptr)); }
    bool boolean(bool value) { return put(Json(value)); }
    // Integers from 0 up arrive as unsigned; a signed 0 can only be "-0", which the grammar reads as a float.
    bool number_integer(number_integer_t value) { return value == 0 ? put(Json(-0.0)) : put(Json(value)); }
    bool number_unsigned(number_unsigned_t value) { return put(Json(value)); }
    bool number_float(number_float_t value, const string_t& /*text*/) { return put(Json(value)); }
    bool string(string_t& value) { return put(Json(std::move(value))); }
    bool binary(binary_t& /*value*/) { return false; }  // the JSON reader never produces binary values
    bool start_object(std::size_t /*size*/) { return open(Json::object()); }
    bool start_array(std::size_t /*size*/) { return open(Json::array()); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(string_t& name)
    {
        if (skipped_depth_ > 0) {
            return true;
        }
        Frame& frame = open_.back();
        auto& object = frame.node->get_ref<Json::object_t&>();
        if (!frame.keys.insert(name).second) {
            document_.repeated_keys[&object].push_back(std::move(name));
            skip_next_value_ = true;
            return true;
        }
        // The key is known to be new: append without ordered_map's linear search.
        auto& members = static_cast<Json::object_t::Container&>(object);
        members.emplace_back(std::move(name), Json());
        member_slot_ = &members.back().second;
        return true;
    }

    bool parse_error(std::size_t position, const std::string& /*last_token*/, const nlohmann::detail::exception& e)
    {
        error_ = parse_error_message(e.what(), text_, position);
        return false;
    }

    std::string take_error() { return std::move(error_); }

private:
    struct Frame {
        Json* node;
        std::unordered_set<std::string> keys;  // objects only
    };

    // Where a value goes: the root, the end of the open array, or the member named by the last key.
    Json* place(Json&& value)
    {
        if (open_.empty()) {
            document_.root = std::move(value);
            return &document_.root;
        }
        Json& top = *open_.back().node;
        if (top.is_array()) {
            auto& elements = top.get_ref<Json::array_t&>();
            elements.push_back(std::move(value));
            return &elements.back();
        }
        *member_slot_ = std::move(value);
        return member_slot_;
    }

    bool put(Json&& value)
    {
        if (skipped_depth_ == 0 && !std::exchange(skip_next_value_, false)) {
            place(std::move(value));
        }
        return true;
    }

    bool open(Json&& container)
    {
        if (skipped_depth_ > 0) {
            ++skipped_depth_;
            return true;
        }
        if (std::exchange(skip_next_value_, false)) {
            skipped_depth_ = 1;
            return true;
        }
        Json* node = place(std::move(container));
        if (open_.size() >= max_built_depth) {
            skipped_depth_ = 1;  // kept empty
            return true;
        }
        open_.push_back(Frame{node, {}});
        return true;
    }

    bool close()
    {
        if (skipped_depth_ > 0) {
            --skipped_depth_;
        } else {
            open_.pop_back();
        }
        return true;
    }

    JsonDocument& document_;
    std::string_view text_;
    std::vector<Frame> open_;        // the open containers that are built, outermost first
    Json* member_slot_ = nullptr;    // the member of the innermost open object that the next value fills
    std::size_t skipped_depth_ = 0;  // open containers inside a value that is not built
    bool skip_next_value_ = false;   // the value of a repeated key is left out
    std::string error_;
};

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
    JsonDocument document;
    TreeBuilder builder(document, text);
    if (!Json::sax_parse(text.begin(), text.end(), &builder, nlohmann::detail::input_format_t::json, true, false)) {
        return std::unexpected(builder.take_error());
    }
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
