#include "account_registry/strict_json.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace account_registry {
namespace {

thread_local const StrictJson* current_document = nullptr;

std::string without_exception_prefix(std::string_view what)
{
    // "[json.exception.parse_error.101] parse error at line 1, ..." -> "parse error at line 1, ..."
    if (what.starts_with("[json.exception.")) {
        if (const auto end = what.find("] "); end != std::string_view::npos) {
            what.remove_prefix(end + 2);
        }
    }
    return std::string(what);
}

class TreeBuilder {
public:
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    explicit TreeBuilder(StrictJson& document) : document_(document) {}

    bool null() { return put(Json(nullptr)); }
    bool boolean(bool value) { return put(Json(value)); }
    bool number_integer(number_integer_t value) { return put(Json(value)); }
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
        Frame& frame = open_.back();
        auto& object = frame.node->get_ref<Json::object_t&>();
        auto& members = static_cast<Json::object_t::Container&>(object);
        if (const auto known = frame.keys.find(name); known != frame.keys.end()) {
            frame.child = known->second;
            repeated_.push_back(Repeated{path_to(open_.size() - 1), name});
            member_slot_ = &members[known->second].second;  // the last value counts, in the first place
            return true;
        }
        frame.child = members.size();
        frame.keys.emplace(name, members.size());
        // The name is known to be new: append without ordered_map's linear search.
        members.emplace_back(std::move(name), Json());
        member_slot_ = &members.back().second;
        return true;
    }

    // Notes the repeated names by the storage of their objects, now that the tree no longer changes. (While it was
    // built, growing member lists copied the values before them, so storage addresses were not yet final.)
    void note_repeated_names()
    {
        for (Repeated& repeated : repeated_) {
            Json* node = &document_.root;
            for (const std::size_t index : repeated.path) {
                if (node->is_object()) {
                    node = &static_cast<Json::object_t::Container&>(node->get_ref<Json::object_t&>())[index].second;
                } else {
                    node = &node->get_ref<Json::array_t&>()[index];
                }
            }
            document_.repeated[&node->get_ref<Json::object_t&>()].push_back(std::move(repeated.name));
        }
    }

    bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                     const nlohmann::detail::exception& e)
    {
        error_ = without_exception_prefix(e.what());
        return false;
    }

    std::string take_error() { return std::move(error_); }

private:
    struct Frame {
        Json* node;
        std::unordered_map<std::string, std::size_t> keys;  // objects only: member name -> position
        std::size_t child = 0;                              // the position of the member or element being read
    };
    struct Repeated {
        std::vector<std::size_t> path;  // positions from the root down to the object
        std::string name;
    };

    // The positions that lead from the root to the container of the open frame `depth`.
    std::vector<std::size_t> path_to(std::size_t depth) const
    {
        std::vector<std::size_t> path;
        path.reserve(depth);
        for (std::size_t i = 0; i < depth; ++i) {
            path.push_back(open_[i].child);
        }
        return path;
    }

    Json* place(Json&& value)
    {
        if (open_.empty()) {
            document_.root = std::move(value);
            return &document_.root;
        }
        Json& top = *open_.back().node;
        if (top.is_array()) {
            auto& elements = top.get_ref<Json::array_t&>();
            open_.back().child = elements.size();
            elements.push_back(std::move(value));
            return &elements.back();
        }
        *member_slot_ = std::move(value);
        return member_slot_;
    }

    bool put(Json&& value)
    {
        place(std::move(value));
        return true;
    }

    bool open(Json&& container)
    {
        if (open_.size() >= json_text::max_depth) {
            error_ = fmt::format("nesting deeper than {} levels", json_text::max_depth);
            return false;
        }
        Json* node = place(std::move(container));
        open_.push_back(Frame{node, {}});
        return true;
    }

    bool close()
    {
        open_.pop_back();
        return true;
    }

    StrictJson& document_;
    std::vector<Frame> open_;
    std::vector<Repeated> repeated_;
    Json* member_slot_ = nullptr;
    std::string error_;
};

}  // namespace

std::expected<StrictJson, std::string> parse_strict(std::string_view text)
{
    StrictJson document;
    TreeBuilder builder(document);
    if (!Json::sax_parse(text.begin(), text.end(), &builder, nlohmann::detail::input_format_t::json, true, false)) {
        std::string error = builder.take_error();
        return std::unexpected(error.empty() ? std::string("invalid JSON") : std::move(error));
    }
    builder.note_repeated_names();
    return document;
}

DecodeScope::DecodeScope(const StrictJson& document) : previous_(std::exchange(current_document, &document)) {}

DecodeScope::~DecodeScope() { current_document = previous_; }

json_text::Status refuse_repeated_fields(const Json& value, std::initializer_list<std::string_view> fields)
{
    if (current_document == nullptr || current_document->repeated.empty() || !value.is_object()) {
        return {};
    }
    const auto found = current_document->repeated.find(&value.get_ref<const Json::object_t&>());
    if (found == current_document->repeated.end()) {
        return {};
    }
    for (const std::string& name : found->second) {
        if (std::ranges::find(fields, std::string_view(name)) != fields.end()) {
            return std::unexpected(fmt::format("duplicate field `{}`", name));
        }
    }
    return {};
}

}  // namespace account_registry
