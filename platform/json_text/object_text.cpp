#include "json_text/object_text.hpp"

#include "json_text/tree.hpp"

#include <fmt/format.h>

#include <unordered_map>
#include <unordered_set>

namespace json_text {
namespace {

// Finds where values end by the structure of JSON alone (quotes, escapes and brackets); what the values hold is
// left to the reader.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    [[nodiscard]] std::size_t position() const { return pos_; }
    [[nodiscard]] bool at_end() const { return pos_ >= text_.size(); }
    [[nodiscard]] char peek() const { return at_end() ? '\0' : text_[pos_]; }

    void skip_space()
    {
        while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
            ++pos_;
        }
    }

    bool take(char c)
    {
        if (peek() != c || at_end()) {
            return false;
        }
        ++pos_;
        return true;
    }

    // A string token, from its opening quote past its closing one.
    bool string()
    {
        if (!take('"')) {
            return false;
        }
        while (!at_end()) {
            const char c = text_[pos_++];
            if (c == '"') {
                return true;
            }
            if (c == '\\') {
                ++pos_;
            }
        }
        return false;
    }

    // One value: a string, a bracketed value (any depth, without recursion) or a bare token.
    bool value()
    {
        const char first = peek();
        if (first == '"') {
            return string();
        }
        if (first == '{' || first == '[') {
            std::string closers;
            while (!at_end()) {
                const char c = peek();
                if (c == '"') {
                    if (!string()) {
                        return false;
                    }
                    continue;
                }
                ++pos_;
                if (c == '{') {
                    closers += '}';
                } else if (c == '[') {
                    closers += ']';
                } else if (c == '}' || c == ']') {
                    if (closers.empty() || closers.back() != c) {
                        return false;
                    }
                    closers.pop_back();
                    if (closers.empty()) {
                        return true;
                    }
                }
            }
            return false;
        }
        const std::size_t start = pos_;
        while (!at_end()) {
            const char c = peek();
            if (c == ',' || c == '}' || c == ']' || c == '{' || c == '[' || c == '"' || c == ':' || c == ' ' ||
                c == '\t' || c == '\n' || c == '\r') {
                break;
            }
            ++pos_;
        }
        return pos_ > start;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

struct Span {
    std::string_view key;
    std::string_view value;
};

std::expected<std::vector<Span>, std::string> split_members(std::string_view text)
{
    Scanner scan(text);
    const auto broken = [&](std::string_view what) {
        return std::unexpected(fmt::format("{} at byte {}", what, scan.position()));
    };
    std::vector<Span> spans;
    scan.skip_space();
    if (scan.at_end()) {
        return spans;
    }
    if (!scan.take('{')) {
        return broken("not a JSON object");
    }
    scan.skip_space();
    if (scan.take('}')) {
        scan.skip_space();
        if (!scan.at_end()) {
            return broken("text after the object");
        }
        return spans;
    }
    for (;;) {
        const std::size_t key_start = scan.position();
        if (!scan.string()) {
            return broken("a member name is missing or not closed");
        }
        const std::string_view key = text.substr(key_start, scan.position() - key_start);
        scan.skip_space();
        if (!scan.take(':')) {
            return broken("':' expected");
        }
        scan.skip_space();
        const std::size_t value_start = scan.position();
        if (!scan.value()) {
            return broken("a member value is missing or not closed");
        }
        spans.push_back(Span{key, text.substr(value_start, scan.position() - value_start)});
        scan.skip_space();
        if (scan.take(',')) {
            scan.skip_space();
            continue;
        }
        if (!scan.take('}')) {
            return broken("',' or '}' expected");
        }
        break;
    }
    scan.skip_space();
    if (!scan.at_end()) {
        return broken("text after the object");
    }
    return spans;
}

std::optional<Json> read_value(std::string_view text)
{
    auto tree = parse_tree(text);
    if (!tree) {
        return std::nullopt;
    }
    return std::move(tree->root);
}

// The readable members of an object text (one level only), or none when its structure is broken.
std::optional<Json> read_fields(std::string_view text)
{
    auto spans = split_members(text);
    if (!spans) {
        return std::nullopt;
    }
    Json object = Json::object();
    auto& fields = static_cast<Json::object_t::Container&>(object.get_ref<Json::object_t&>());
    std::unordered_map<std::string, std::size_t> known;
    for (const Span& span : *spans) {
        auto name = read_value(span.key);
        auto value = read_value(span.value);
        if (!name || !value) {
            continue;
        }
        std::string key = name->get<std::string>();
        if (const auto it = known.find(key); it != known.end()) {
            fields[it->second].second = std::move(*value);
            continue;
        }
        known.emplace(key, fields.size());
        fields.emplace_back(std::move(key), std::move(*value));
    }
    return object;
}

std::string indented(const Json& value)
{
    const std::string text = pretty(value);
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        out += c;
        if (c == '\n') {
            out += "  ";  // strings never hold a raw line break, so every one starts a line
        }
    }
    return out;
}

}  // namespace

std::expected<ObjectText, std::string> ObjectText::read(std::string_view text)
{
    auto spans = split_members(text);
    if (!spans) {
        return std::unexpected(spans.error());
    }
    ObjectText object;
    auto& members = static_cast<Json::object_t::Container&>(object.readable_.get_ref<Json::object_t&>());
    auto& known = object.index_;
    object.members_.reserve(spans->size());
    for (const Span& span : *spans) {
        Member member{std::string(span.key), std::string(span.value)};
        auto name = read_value(span.key);
        member.name_read = name.has_value();
        if (name) {
            member.name = name->get<std::string>();
            std::optional<Json> value = read_value(span.value);
            member.whole = value.has_value();
            if (!value && span.value.starts_with('{')) {
                value = read_fields(span.value);
            }
            member.value_read = value.has_value();
            if (value) {
                if (const auto it = known.find(member.name); it != known.end()) {
                    members[it->second].second = std::move(*value);
                } else {
                    known.emplace(member.name, members.size());
                    members.emplace_back(member.name, std::move(*value));
                }
            }
        }
        if (!member.name_read || !member.whole) {
            object.unreadable_.push_back(member.key_text + ": " + member.value_text);
        }
        object.members_.push_back(std::move(member));
    }
    return object;
}

std::unordered_map<std::string_view, std::size_t> ObjectText::winners() const
{
    std::unordered_map<std::string_view, std::size_t> winner;
    for (std::size_t i = 0; i < members_.size(); ++i) {
        const Member& member = members_[i];
        if (!member.name_read) {
            continue;
        }
        if (member.value_read) {
            winner[member.name] = i;
        } else {
            winner.try_emplace(member.name, i);
        }
    }
    return winner;
}

std::string ObjectText::write(const Json& root) const
{
    std::unordered_map<std::string_view, const Json*> now;
    for (const auto& [name, value] : root.get_ref<const Json::object_t&>()) {
        now.emplace(name, &value);
    }
    const auto winner = winners();
    std::unordered_set<std::string_view> named;  // the names the text held
    std::unordered_set<std::string_view> printed;
    std::string out = "{";
    bool first = true;
    const auto separate = [&] {
        out += first ? "\n  " : ",\n  ";
        first = false;
    };
    const auto print = [&](const std::string& name, const Json& value) {
        if (printed.insert(name).second) {
            separate();
            out += compact(Json(name));
            out += ": ";
            out += indented(value);
        }
    };
    for (std::size_t i = 0; i < members_.size(); ++i) {
        const Member& member = members_[i];
        if (member.name_read) {
            named.insert(member.name);
            const auto it = now.find(member.name);
            if (it == now.end()) {
                if (member.value_read) {
                    continue;  // removed
                }
            } else if (member.value_read && winner.at(member.name) != i) {
                // A later member of the same name overrides this one for every reader: its text is never kept,
                // or it would come after the value printed here and override it in turn.
                print(member.name, *it->second);
                continue;
            } else if (winner.at(member.name) == i && (member.whole || !read_as(member.name, *it->second))) {
                print(member.name, *it->second);
                continue;
            }
        }
        separate();
        out += member.key_text;
        out += ": ";
        out += member.value_text;
    }
    for (const auto& [name, value] : root.get_ref<const Json::object_t&>()) {
        if (named.contains(name)) {
            continue;
        }
        separate();
        out += compact(Json(name));
        out += ": ";
        out += indented(value);
    }
    out += first ? "}" : "\n}";
    return out;
}

bool ObjectText::read_as(const std::string& name, const Json& value) const
{
    const auto it = index_.find(name);
    if (it == index_.end()) {
        return false;
    }
    const auto& members = static_cast<const Json::object_t::Container&>(readable_.get_ref<const Json::object_t&>());
    return members[it->second].second == value;
}

bool ObjectText::loses_unreadable(const Json& root) const
{
    const auto winner = winners();
    for (std::size_t i = 0; i < members_.size(); ++i) {
        const Member& member = members_[i];
        if (!member.name_read || member.whole) {
            continue;
        }
        const auto it = root.find(member.name);
        if (it == root.end() || (member.value_read && winner.at(member.name) != i)) {
            if (member.value_read) {
                return true;  // the fields that could be read are dropped, with those that could not
            }
            continue;
        }
        if (winner.at(member.name) == i && !read_as(member.name, *it)) {
            return true;
        }
    }
    return false;
}

}  // namespace json_text
