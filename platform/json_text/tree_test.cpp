// The JSON tree with its repeated names, under both readers' options.

#include "json_text/tree.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace json_text {
namespace {

using testing::ElementsAre;

std::vector<std::string> repeated_in(const Tree& tree, const Json& object)
{
    const auto it = tree.repeated.find(&object.get_ref<const Json::object_t&>());
    return it == tree.repeated.end() ? std::vector<std::string>{} : it->second;
}

TEST(JsonTree, RepeatedNamesOfNestedObjectsSurviveTheirParentsGrowing)
{
    constexpr std::string_view text = R"({"a":{"x":1,"x":2},"b":0,"c":[{"z":1},{"z":2,"z":3}],"a":{"q":1}})";
    const auto last = parse_tree(text);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->root.dump(), R"({"a":{"q":1},"b":0,"c":[{"z":1},{"z":3}]})");  // the last value, first place
    EXPECT_THAT(repeated_in(*last, last->root), ElementsAre("a"));
    EXPECT_THAT(repeated_in(*last, last->root["c"][1]), ElementsAre("z"));

    const auto first = parse_tree(text, {.repeated = TreeOptions::Repeated::keep_first});
    ASSERT_TRUE(first);
    EXPECT_EQ(first->root.dump(), R"({"a":{"x":1},"b":0,"c":[{"z":1},{"z":2}]})");
    EXPECT_THAT(repeated_in(*first, first->root["a"]), ElementsAre("x"));
    EXPECT_THAT(repeated_in(*first, first->root["c"][1]), ElementsAre("z"));
    EXPECT_THAT(repeated_in(*first, first->root), ElementsAre("a"));
}

TEST(JsonTree, DepthNegativeZeroAndErrors)
{
    EXPECT_EQ(parse_tree("[[[1]]]", {.max_depth = 2}).error().what, "nesting deeper than 2 levels");
    const auto kept = parse_tree("[[[1]],2]", {.too_deep = TreeOptions::TooDeep::keep_empty, .max_depth = 2});
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->root.dump(), "[[[]],2]");
    EXPECT_TRUE(parse_tree("-0")->root.is_number_integer());
    EXPECT_TRUE(parse_tree("-0", {.negative_zero_float = true})->root.is_number_float());
    const auto broken = parse_tree("{\"a\":}");
    ASSERT_FALSE(broken);
    EXPECT_THAT(broken.error().what, testing::HasSubstr("parse error"));
    EXPECT_EQ(broken.error().position, 6U);
}

}  // namespace
}  // namespace json_text
