#include "vorn_ui/format.hpp"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <string_view>

namespace vorn_ui::format {

namespace {

std::string scaled(std::uint64_t count, double base, const std::array<std::string_view, 6>& units)
{
    if (static_cast<double>(count) < base) {
        return fmt::format("{} B", count);
    }
    double value = static_cast<double>(count) / base;
    std::size_t unit = 0;
    // Compare the value as it will be printed, so that 1023.96 KiB reads "1.0 MiB" and not "1024.0 KiB".
    while (unit + 1 < units.size() && std::round(value * 10.0) >= base * 10.0) {
        value /= base;
        ++unit;
    }
    return fmt::format("{:.1f} {}", value, units[unit]);
}

}  // namespace

std::string bytes(std::uint64_t count)
{
    return scaled(count, 1024.0, {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"});
}

std::string bytes_si(std::uint64_t count)
{
    return scaled(count, 1000.0, {"kB", "MB", "GB", "TB", "PB", "EB"});
}

}  // namespace vorn_ui::format
