#include "json_text/json_text.hpp"
#include "json_text/record.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace json_text {
namespace {

TEST(JsonText, FloatsPrintShortestWithFractionOrExponent)
{
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {1.0, "1.0"},
        {0.5, "0.5"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {100.0, "100.0"},
        {12.34, "12.34"},
        {-2.5, "-2.5"},
        {0.1 + 0.2, "0.30000000000000004"},
        {static_cast<double>(0.7f), "0.699999988079071"},
        {1e15, "1000000000000000.0"},
        {1e16, "1e16"},
        {1.5e17, "1.5e17"},
        {1e-5, "0.00001"},
        {1.234e-5, "0.00001234"},
        {1e-6, "1e-6"},
        {1.5e-7, "1.5e-7"},
        {5e-324, "5e-324"},
        {1.7976931348623157e308, "1.7976931348623157e308"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {-std::numeric_limits<double>::infinity(), "null"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_f64(c.value), c.text);
        if (std::isfinite(c.value)) {
            EXPECT_EQ(std::strtod(c.text, nullptr), c.value) << c.text << " must read back";
        }
    }
}

TEST(JsonText, StringsEscapeOnlyWhatJsonNeeds)
{
    const Json value = std::string("q\" b\\ \b\f\n\r\t \x01\x1f \x7f / é 😀");
    EXPECT_EQ(compact(value), R"("q\" b\\ \b\f\n\r\t \u0001\u001f )" "\x7f" R"( / é 😀")");
    // Bytes that are not UTF-8 become U+FFFD, so the text always parses back.
    const std::string printed = compact(Json(std::string("ok \xff\xc3 end")));
    EXPECT_EQ(printed, "\"ok \xEF\xBF\xBD\xEF\xBF\xBD end\"");
    EXPECT_TRUE(parse(printed));
}

TEST(JsonText, PrettyAndCompactLayout)
{
    const Json value = Json::parse(R"({"b": [1, -2, 3.0, true, null], "a": {}, "c": [], "d": {"e": "x"}})");
    EXPECT_EQ(pretty(value), "{\n"
                             "  \"b\": [\n"
                             "    1,\n"
                             "    -2,\n"
                             "    3.0,\n"
                             "    true,\n"
                             "    null\n"
                             "  ],\n"
                             "  \"a\": {},\n"
                             "  \"c\": [],\n"
                             "  \"d\": {\n"
                             "    \"e\": \"x\"\n"
                             "  }\n"
                             "}");
    EXPECT_EQ(compact(value), R"({"b":[1,-2,3.0,true,null],"a":{},"c":[],"d":{"e":"x"}})");
    EXPECT_EQ(pretty(Json::object()), "{}");
    EXPECT_EQ(compact(Json(18446744073709551615u)), "18446744073709551615");
}

TEST(JsonText, ParseAcceptsOneValueWithinLimits)
{
    EXPECT_TRUE(parse(" {\"a\": 1} \n"));
    EXPECT_FALSE(parse("{\"a\": 1} x"));
    EXPECT_FALSE(parse("{\"a\": 1,}"));
    EXPECT_FALSE(parse("1e400"));
    EXPECT_FALSE(parse(""));
    EXPECT_EQ(compact(*parse(R"({"a": 1, "b": 2, "a": 3})")), R"({"a":3,"b":2})");

    const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    EXPECT_TRUE(parse(nested(128)));
    const auto too_deep = parse(nested(129));
    ASSERT_FALSE(too_deep);
    EXPECT_EQ(too_deep.error(), "nesting deeper than 128 levels");
    const auto bad = parse("{\"a\" 1}");
    ASSERT_FALSE(bad);
    EXPECT_TRUE(bad.error().starts_with("parse error")) << bad.error();
}

TEST(JsonText, ScalarReadsAreExact)
{
    const auto read = [](const char* text, auto out) -> std::string {
        auto ok = read_value(*parse(text), out);
        return ok ? "ok" : ok.error();
    };
    EXPECT_EQ(read("255", std::uint8_t{}), "ok");
    EXPECT_EQ(read("256", std::uint8_t{}), "invalid value: integer `256`, expected u8");
    EXPECT_EQ(read("-1", std::uint32_t{}), "invalid value: integer `-1`, expected u32");
    EXPECT_EQ(read("3700.0", std::uint32_t{}), "invalid type: floating point `3700.0`, expected u32");
    EXPECT_EQ(read("-5", std::int64_t{}), "ok");
    EXPECT_EQ(read("9223372036854775808", std::int64_t{}),
              "invalid value: integer `9223372036854775808`, expected i64");
    EXPECT_EQ(read("1", double{}), "ok");
    EXPECT_EQ(read("\"1\"", double{}), "invalid type: string \"1\", expected f64");
    EXPECT_EQ(read("null", bool{}), "invalid type: null, expected a boolean");
    EXPECT_EQ(read("null", std::optional<bool>{}), "ok");
    EXPECT_EQ(read("[\"a\", 1]", std::vector<std::string>{}), "invalid type: integer `1`, expected a string");
}

}  // namespace
}  // namespace json_text
