#include "vorn_ui/format.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace vorn_ui::format {
namespace {

TEST(FormatBytes, BinaryUnitsWithOneDecimal)
{
    struct Case {
        std::uint64_t count;
        const char* text;
    };
    const Case cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.0 KiB"},
        {1536, "1.5 KiB"},
        {1048524, "1023.9 KiB"},
        {1048575, "1.0 MiB"},  // 1023.999 KiB would print as 1024.0 KiB: the next unit instead
        {16315412ull * 1024, "15.6 GiB"},
        {1ull << 40, "1.0 TiB"},
        {std::numeric_limits<std::uint64_t>::max(), "16.0 EiB"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bytes(c.count), c.text) << c.count;
    }
}

}  // namespace
}  // namespace vorn_ui::format
