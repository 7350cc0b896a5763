// A display's EDID comes from the display (or a broken cable, or a hostile device): whatever its bytes, reading it
// ends with an answer, and every mode read is a real size.
#include "config_sections/edid.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto edid = config_sections::hardware::parse_edid(std::span(data, size));
    if (edid) {
        for (const auto& mode : edid->modes) {
            if (mode.width == 0 || mode.height == 0 || mode.refresh_mhz > 1'000'000) {
                std::abort();
            }
            (void)mode.label();
        }
    }
    return 0;
}
