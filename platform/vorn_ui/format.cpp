#include "vorn_ui/format.hpp"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <string_view>

namespace vorn_ui::format {

std::string bytes(std::uint64_t count)
{
    if (count < 1024) {
        return fmt::format("{} B", count);
    }
    static constexpr std::array<std::string_view, 6> kUnits{"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = static_cast<double>(count) / 1024.0;
    std::size_t unit = 0;
    // Compare the value as it will be printed, so that 1023.96 KiB reads "1.0 MiB" and not "1024.0 KiB".
    while (unit + 1 < kUnits.size() && std::round(value * 10.0) >= 1024.0 * 10.0) {
        value /= 1024.0;
        ++unit;
    }
    return fmt::format("{:.1f} {}", value, kUnits[unit]);
}

}  // namespace vorn_ui::format
