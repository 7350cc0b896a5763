#pragma once
// A stored JSON object read member by member, so that one member that cannot be read costs only itself.
//
// The strict reader refuses a whole text for one bad byte: invalid UTF-8 in any string, a number beyond the double
// range, nesting deeper than max_depth. A file that many components share must not lose every member to one of
// them. ObjectText finds the members of the top-level object by their structure alone, then reads each member's
// value on its own (in linear time, see tree.hpp). An object member that cannot be read whole is read one level
// further, field by field, keeping the fields that can be read.
//
//   auto object = json_text::ObjectText::read(text);     // an error only when the text is not an object at all
//   Json root = object->readable();                      // what could be read
//   ... change root ...
//   std::string written = object->write(root);           // pretty text
//
// write() prints the members of `root` like pretty() (new ones at the end), except what could not be read: a member
// that could not be read whole keeps its text exactly as it was written, in its place, while `root` leaves it as it
// was read (or, for one that could not be read at all, does not name it).

#include "json_text/json_text.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace json_text {

class ObjectText {
public:
    // The error says where the structure of the object breaks. Blank text is the empty object.
    [[nodiscard]] static std::expected<ObjectText, std::string> read(std::string_view text);

    // The members that could be read (the last of a repeated name, at the place of the first); an object member
    // read in part holds the fields that could be read.
    [[nodiscard]] const Json& readable() const { return readable_; }
    // Whether every member was read whole.
    [[nodiscard]] bool complete() const { return unreadable_.empty(); }
    // The texts that could not be read (a member's whole text, name and value), in file order.
    [[nodiscard]] const std::vector<std::string>& unreadable() const { return unreadable_; }

    // The pretty text of `root`, keeping the written text of what `root` left as it was read (see above).
    [[nodiscard]] std::string write(const Json& root) const;
    // Whether write(root) would leave out some text that could not be read.
    [[nodiscard]] bool loses_unreadable(const Json& root) const;

private:
    struct Member {
        std::string key_text;    // the name as written, quotes included
        std::string value_text;  // the value as written
        std::string name;        // the name read (empty and !name_read when it cannot be read)
        bool name_read = false;
        bool value_read = false;  // readable_ holds the member (whole or in part)
        bool whole = false;       // readable_ holds all of it
    };

    // For each name the text holds, the member whose value readers take: the last one read (whole or in part),
    // else the first.
    [[nodiscard]] std::unordered_map<std::string_view, std::size_t> winners() const;
    // Whether `name` was read and holds `value`.
    [[nodiscard]] bool read_as(const std::string& name, const Json& value) const;

    std::vector<Member> members_;
    Json readable_ = Json::object();
    std::unordered_map<std::string, std::size_t> index_;  // readable_'s members by name
    std::vector<std::string> unreadable_;
};

}  // namespace json_text
