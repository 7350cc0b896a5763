#pragma once
// A JSON tree that also tells which member names an object repeated.
//
// nlohmann's own tree keeps one member per name and cannot say that a name was repeated, yet strict readers must
// refuse a record that names a field twice. parse_tree() builds the tree itself from the parser's events (large
// objects in linear time) and notes the repeated names of every object beside it. Where the readers differ, the
// options say what to do: which value of a repeated name stays, whether "-0" stays a float, and whether nesting
// deeper than a limit is refused or kept empty.

#include "json_text/json_text.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace json_text {

struct TreeOptions {
    enum class Repeated {
        keep_last,   // the last value counts, at the place of the first occurrence (as for any JSON map)
        keep_first,  // later values are left out of the tree
    };
    enum class TooDeep {
        refuse,      // "nesting deeper than <max_depth> levels"
        keep_empty,  // containers below max_depth are kept empty (what they hold costs no memory)
    };
    Repeated repeated = Repeated::keep_last;
    TooDeep too_deep = TooDeep::refuse;
    std::size_t max_depth = json_text::max_depth;
    bool negative_zero_float = false;  // "-0" read as the float -0.0 rather than the integer 0
};

struct Tree {
    Json root;
    // Names that occurred more than once in one object, in order of repetition, by the object's storage (which
    // stays put when the tree is moved, but not when it is copied).
    std::unordered_map<const Json::object_t*, std::vector<std::string>> repeated;
};

struct TreeError {
    std::string what;           // the parser's message as it is (with its "[json.exception...] " prefix), or ours
    std::size_t position = 0;   // the byte offset where the parser stopped
};

// One JSON value with nothing but white space around it.
[[nodiscard]] std::expected<Tree, TreeError> parse_tree(std::string_view text, const TreeOptions& options = {});

}  // namespace json_text
