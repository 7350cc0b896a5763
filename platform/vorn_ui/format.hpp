#pragma once
// Text forms of quantities that pages show.

#include <cstdint>
#include <string>

namespace vorn_ui::format {

// A byte count in binary units: "512 B", "1.5 KiB", "15.6 GiB" (one decimal from KiB up; a value that rounds to
// 1024 of a unit is shown in the next one).
[[nodiscard]] std::string bytes(std::uint64_t count);
// A byte count in decimal units: "999 B", "1.5 kB", "15.7 GB" (kB, MB, GB, TB, PB, EB; one decimal from kB up; a
// value that rounds to 1000 of a unit is shown in the next one).
[[nodiscard]] std::string bytes_si(std::uint64_t count);

}  // namespace vorn_ui::format
