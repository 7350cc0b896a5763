// A stored object read member by member: what cannot be read costs only itself and is written back as it was.

#include "json_text/object_text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace json_text {
namespace {

std::string nested(int depth)
{
    return std::string(static_cast<std::size_t>(depth), '[') + std::string(static_cast<std::size_t>(depth), ']');
}

TEST(ObjectText, MembersThatCannotBeReadAreLeftOutAndWrittenBackAsTheyWere)
{
    struct Case {
        const char* what;
        std::string member;  // the text of a member "bad" that the strict reader refuses
    };
    const Case cases[] = {
        {"invalid UTF-8", "\"bad\": \"caf\xe9\""},
        {"a number beyond the double range", "\"bad\": [1e400]"},
        {"nesting deeper than 128", "\"bad\": " + nested(129)},
        {"a raw control character", "\"bad\": \"a\tb\""},
        {"an unreadable name", "\"b\xff\": 1"},
    };
    for (const Case& c : cases) {
        const std::string first = "{\n  \"first\": {\n    \"n\": 1.0\n  },\n  ";
        const std::string text = first + c.member + ",\n  \"last\": \"x\"\n}";
        ASSERT_FALSE(parse(text)) << c.what;  // the strict reader refuses all of it
        auto object = ObjectText::read(text);
        ASSERT_TRUE(object) << c.what << ": " << object.error();
        EXPECT_FALSE(object->complete()) << c.what;
        EXPECT_EQ(object->readable(), Json::parse(R"({"first": {"n": 1.0}, "last": "x"})")) << c.what;
        ASSERT_EQ(object->unreadable().size(), 1u) << c.what;
        EXPECT_EQ(object->unreadable()[0], c.member) << c.what;

        // Unchanged, the text comes back byte for byte.
        EXPECT_EQ(object->write(object->readable()), text) << c.what;
        EXPECT_FALSE(object->loses_unreadable(object->readable())) << c.what;

        // A changed member is printed anew; the unreadable one stays in its place.
        Json root = object->readable();
        root["last"] = "y";
        root["new"] = true;
        EXPECT_EQ(object->write(root), first + c.member + ",\n  \"last\": \"y\",\n  \"new\": true\n}") << c.what;
    }
}

TEST(ObjectText, AnObjectMemberIsReadFieldByFieldWhenItCannotBeReadWhole)
{
    const std::string text = R"({"display": {"night_light": true, "scale": 1e400, "name": "x"}, "other": 1})";
    auto object = ObjectText::read(text);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->readable(), Json::parse(R"({"display": {"night_light": true, "name": "x"}, "other": 1})"));
    EXPECT_FALSE(object->complete());

    // Kept as written while unchanged; once changed, the field that could not be read is lost, and said so.
    Json root = object->readable();
    EXPECT_FALSE(object->loses_unreadable(root));
    EXPECT_NE(object->write(root).find("1e400"), std::string::npos);
    root["display"]["night_light"] = false;
    EXPECT_TRUE(object->loses_unreadable(root));
    EXPECT_EQ(object->write(root).find("1e400"), std::string::npos);

    // A member of the same name set by the caller replaces one that could not be read at all.
    auto whole_bad = ObjectText::read("{\"a\": \"\xff\", \"b\": 2}");
    ASSERT_TRUE(whole_bad);
    Json replaced = whole_bad->readable();
    replaced["a"] = 1;
    EXPECT_TRUE(whole_bad->loses_unreadable(replaced));
    EXPECT_EQ(whole_bad->write(replaced), "{\n  \"a\": 1,\n  \"b\": 2\n}");
}

TEST(ObjectText, PrintsLikePrettyAndRefusesBrokenStructure)
{
    const Json value = Json::parse(R"({"a": {"b": [1, 2.5, {"c": "d"}], "e": {}}, "f": [], "g": null})");
    auto from_nothing = ObjectText::read("  ");
    ASSERT_TRUE(from_nothing);
    EXPECT_EQ(from_nothing->readable(), Json::object());
    EXPECT_EQ(from_nothing->write(value), pretty(value));
    EXPECT_EQ(from_nothing->write(Json::object()), "{}");

    // What could be read is printed anew, the same value in the usual form.
    auto normal = ObjectText::read(R"({"a": 1.50, "b": "caf\u00e9", "c": 1E2})");
    ASSERT_TRUE(normal);
    EXPECT_EQ(normal->write(normal->readable()), "{\n  \"a\": 1.5,\n  \"b\": \"caf\u00e9\",\n  \"c\": 100.0\n}");

    auto removed = ObjectText::read(pretty(value));
    ASSERT_TRUE(removed);
    EXPECT_TRUE(removed->complete());
    Json root = removed->readable();
    root.erase("f");
    EXPECT_EQ(removed->write(root), pretty(root));

    // The last of a repeated name counts, at the place of the first.
    auto repeated = ObjectText::read(R"({"a": 1, "b": 2, "a": 3})");
    ASSERT_TRUE(repeated);
    EXPECT_EQ(repeated->readable().dump(), R"({"a":3,"b":2})");

    // A repeated name keeps what readers take, whichever of its members could be read in part or not at all.
    struct Repeated {
        const char* text;
        const char* read;      // the readable value of "a"
        bool loses_unreadable;  // writing it unchanged drops some text that could not be read
    };
    const Repeated cases[] = {
        {R"({"a": {"x": 1}, "a": {"x": 2, "bad": 1e400}, "a": {"x": 3}})", R"({"x":3})", true},
        {R"({"a": {"x": 1}, "a": {"x": 2, "bad": 1e400}})", R"({"x":2})", false},
        {R"({"a": {"x": 1}, "a": {"x" 2}, "b": 0})", R"({"x":1})", false},
        {R"({"a": {"x" 2}, "a": {"x": 1}})", R"({"x":1})", false},
    };
    for (const Repeated& c : cases) {
        auto object = ObjectText::read(c.text);
        ASSERT_TRUE(object) << c.text;
        EXPECT_EQ(object->readable()["a"].dump(), c.read) << c.text;
        EXPECT_EQ(object->loses_unreadable(object->readable()), c.loses_unreadable) << c.text;
        const std::string written = object->write(object->readable());
        auto again = ObjectText::read(written);
        ASSERT_TRUE(again) << written;
        EXPECT_EQ(again->readable(), object->readable()) << written;
        if (!c.loses_unreadable) {
            EXPECT_EQ(again->unreadable(), object->unreadable()) << written;
        }
    }

    for (const char* broken : {"[]", "{", "{\"a\" 1}", "{\"a\": 1,}", "{\"a\": [1}", "{\"a\": 1} x", "{\"a\": \"open}",
                               "{\"a\": }", "\"text\"", "{a: 1}"}) {
        EXPECT_FALSE(ObjectText::read(broken)) << broken;
    }
}

}  // namespace
}  // namespace json_text
