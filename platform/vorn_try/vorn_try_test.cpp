// Early returns through chains of std::expected.

#include "vorn_try/vorn_try.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::expected<int, std::string> number(const std::string& text)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::unexpected("not a number: “" + text + "”");
    }
    return std::stoi(text);
}

std::expected<void, std::string> positive(int value)
{
    if (value <= 0) {
        return std::unexpected(std::string("not positive"));
    }
    return {};
}

std::vector<std::string> steps;

std::expected<int, std::string> sum(const std::string& a, const std::string& b)
{
    steps.clear();
    VORN_TRY(const int x, number(a));
    steps.push_back("a");
    VORN_TRY(const int y, number(b));
    steps.push_back("b");
    VORN_TRY_OK(positive(x + y));
    steps.push_back("checked");
    return x + y;
}

TEST(VornTry, StopsAtTheFirstErrorAndReturnsIt)
{
    struct Case {
        std::string a, b;
        std::expected<int, std::string> result;
        std::vector<std::string> steps;
    };
    const Case cases[] = {
        {"2", "3", 5, {"a", "b", "checked"}},
        {"x", "3", std::unexpected("not a number: “x”"), {}},
        {"2", "", std::unexpected("not a number: “”"), {"a"}},
        {"0", "0", std::unexpected("not positive"), {"a", "b"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sum(c.a, c.b), c.result) << c.a << " + " << c.b;
        EXPECT_EQ(steps, c.steps) << c.a << " + " << c.b;
    }
}

// Values that can only be moved are moved out of the result; the error converts to the caller's error type.
std::expected<std::unique_ptr<int>, const char*> boxed(bool ok)
{
    if (!ok) {
        return std::unexpected("no box");
    }
    return std::make_unique<int>(7);
}

std::expected<int, std::string> unboxed(bool ok)
{
    VORN_TRY(auto box, boxed(ok));
    VORN_TRY(auto again, boxed(ok));
    return *box + *again;
}

TEST(VornTry, MovesValuesAndConvertsErrors)
{
    EXPECT_EQ(unboxed(true), 14);
    EXPECT_EQ(unboxed(false).error(), "no box");
}

}  // namespace
