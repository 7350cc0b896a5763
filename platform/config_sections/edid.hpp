#pragma once
// Reading a display's EDID (the base block and CTA-861 extension blocks): its name, its modes and whether it
// announces HDR and variable refresh.

#include "config_sections/display_hardware.hpp"

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace config_sections::hardware {

struct EdidInfo {
    std::string manufacturer;  // PNP id, "DEL"
    std::uint16_t product_code = 0;
    std::string monitor_name;  // display product name descriptor
    std::string serial;        // serial number descriptor, else the numeric serial (none when 0)
    std::optional<OutputMode> preferred;
    // Progressive modes: the preferred one first, then larger before smaller and faster before slower.
    std::vector<OutputMode> modes;
    bool hdr = false;  // HDR static metadata with the PQ or HLG transfer function
    bool vrr = false;  // a variable refresh range (EDID 1.4 continuous frequency, FreeSync or HDMI VRR)
};

// An error when the base block is missing, too short, without the EDID header or with a wrong checksum; an
// extension block with a wrong checksum is skipped.
[[nodiscard]] std::expected<EdidInfo, std::string> parse_edid(std::span<const std::uint8_t> bytes);

}  // namespace config_sections::hardware
