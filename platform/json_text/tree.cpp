#include "json_text/tree.hpp"

#include <fmt/format.h>

#include <utility>

namespace json_text {
namespace {

class TreeBuilder {
public:
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    TreeBuilder(Tree& tree, const TreeOptions& options) : tree_(tree), options_(options) {}

    bool null() { return put(Json(nullptr)); }
    bool boolean(bool value) { return put(Json(value)); }
    // Integers from 0 up arrive as unsigned; a signed 0 can only be "-0".
    bool number_integer(number_integer_t value)
    {
        return value == 0 && options_.negative_zero_float ? put(Json(-0.0)) : put(Json(value));
    }
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
        auto& members = static_cast<Json::object_t::Container&>(frame.node->get_ref<Json::object_t&>());
        if (const auto known = frame.keys.find(name); known != frame.keys.end()) {
            repeated_.push_back(Repeated{path_to(open_.size() - 1), name});
            if (options_.repeated == TreeOptions::Repeated::keep_first) {
                skip_next_value_ = true;
            } else {
                frame.child = known->second;
                member_slot_ = &members[known->second].second;
            }
            return true;
        }
        frame.child = members.size();
        frame.keys.emplace(name, members.size());
        // The name is known to be new: append without ordered_map's linear search.
        members.emplace_back(std::move(name), Json());
        member_slot_ = &members.back().second;
        return true;
    }

    bool parse_error(std::size_t position, const std::string& /*last_token*/, const nlohmann::detail::exception& e)
    {
        error_ = TreeError{e.what(), position};
        return false;
    }

    // Notes the repeated names by the storage of their objects, now that the tree no longer changes. (While it was
    // built, growing member lists copied the values before them, so storage addresses were not yet final.)
    void note_repeated_names()
    {
        for (Repeated& repeated : repeated_) {
            Json* node = &tree_.root;
            for (const std::size_t index : repeated.path) {
                if (node->is_object()) {
                    node = &static_cast<Json::object_t::Container&>(node->get_ref<Json::object_t&>())[index].second;
                } else {
                    node = &node->get_ref<Json::array_t&>()[index];
                }
            }
            tree_.repeated[&node->get_ref<Json::object_t&>()].push_back(std::move(repeated.name));
        }
    }

    TreeError take_error() { return std::move(error_); }

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

    // Where a value goes: the root, the end of the open array, or the member named by the last key.
    Json* place(Json&& value)
    {
        if (open_.empty()) {
            tree_.root = std::move(value);
            return &tree_.root;
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
        if (open_.size() >= options_.max_depth) {
            if (options_.too_deep == TreeOptions::TooDeep::refuse) {
                error_ = TreeError{fmt::format("nesting deeper than {} levels", options_.max_depth), 0};
                return false;
            }
            place(std::move(container));
            skipped_depth_ = 1;  // kept empty
            return true;
        }
        Json* node = place(std::move(container));
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

    Tree& tree_;
    const TreeOptions& options_;
    std::vector<Frame> open_;        // the open containers that are built, outermost first
    std::vector<Repeated> repeated_;
    Json* member_slot_ = nullptr;    // the member of the innermost open object that the next value fills
    std::size_t skipped_depth_ = 0;  // open containers inside a value that is not built
    bool skip_next_value_ = false;   // the value of a repeated name is left out (keep_first)
    TreeError error_;
};

}  // namespace

std::expected<Tree, TreeError> parse_tree(std::string_view text, const TreeOptions& options)
{
    Tree tree;
    TreeBuilder builder(tree, options);
    if (!Json::sax_parse(text.begin(), text.end(), &builder, nlohmann::detail::input_format_t::json, true, false)) {
        return std::unexpected(builder.take_error());
    }
    builder.note_repeated_names();
    return tree;
}

}  // namespace json_text
