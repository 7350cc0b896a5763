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

TEST(FormatBytes, DecimalUnitsWithOneDecimal)
{
    struct Case {
        std::uint64_t count;
        const char* text;
    };
    const Case cases[] = {
        {0, "0 B"},
        {999, "999 B"},
        {1000, "1.0 kB"},
        {1500000, "1.5 MB"},
        {999949, "999.9 kB"},
        {999999, "1.0 MB"},  // 999.999 kB would print as 1000.0 kB: the next unit instead
        {256000000000ull, "256.0 GB"},
        {std::numeric_limits<std::uint64_t>::max(), "18.4 EB"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bytes_si(c.count), c.text) << c.count;
    }
}

}  // namespace
}  // namespace vorn_ui::format
