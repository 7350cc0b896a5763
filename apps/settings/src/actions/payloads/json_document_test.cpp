// The payload JSON tree: repeated keys are noted on the object that repeats them, wherever it sits in the tree.

#include "actions/payloads/json_document.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace settings::actions::detail {
namespace {

using testing::ElementsAre;

std::vector<std::string> repeated_in(const JsonDocument& document, const Json& object)
{
    const auto keys = document.repeated_keys_of(object.get_ref<const Json::object_t&>());
    return {keys.begin(), keys.end()};
}

TEST(JsonDocument, RepeatedKeysStayWithTheirObjectWhenItsParentGrows)
{
    // The nested object is moved while "b" and "c" are added to its parent; its repeated "x" must not be lost.
    const auto document = parse_json_document(R"({"a":{"x":1,"x":2},"b":0,"c":{"y":[{"z":1,"z":2},{}]}})");
    ASSERT_TRUE(document) << document.error();
    EXPECT_THAT(repeated_in(*document, document->root["a"]), ElementsAre("x"));
    EXPECT_EQ(document->root["a"]["x"], 1);  // the first value counts
    EXPECT_THAT(repeated_in(*document, document->root["c"]["y"][0]), ElementsAre("z"));
    EXPECT_TRUE(repeated_in(*document, document->root).empty());
    EXPECT_TRUE(repeated_in(*document, document->root["c"]["y"][1]).empty());

    const auto top = parse_json_document(R"({"x":1,"a":{},"x":{"deep":[1]},"x":3})");
    ASSERT_TRUE(top) << top.error();
    EXPECT_THAT(repeated_in(*top, top->root), ElementsAre("x", "x"));
    EXPECT_EQ(top->root.dump(), R"({"x":1,"a":{}})");
}

TEST(JsonDocument, NegativeZeroStaysAFloatAndDeepContainersAreKeptEmpty)
{
    const auto document = parse_json_document(R"({"n":-0,"m":0,"d":[[[[[[[[[[1]]]]]]]]]]})");
    ASSERT_TRUE(document) << document.error();
    EXPECT_TRUE(document->root["n"].is_number_float());
    EXPECT_TRUE(document->root["m"].is_number_unsigned());
    EXPECT_EQ(document->root["d"].dump(), "[[[[[[[[]]]]]]]]");
    EXPECT_THAT(parse_json_document(R"({"a":1,})").error(), testing::HasSubstr("at line 1, column"));
}

}  // namespace
}  // namespace settings::actions::detail
