#include "config_sections/edid.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <numeric>

namespace config_sections::hardware {

namespace {

constexpr std::size_t block_size = 128;
constexpr std::array<std::uint8_t, 8> header = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

struct Timing {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t hz;
};

// Established timings I and II (bytes 35 and 36, bit 7 first) and the manufacturer's timing (byte 37, bit 7).
// Interlaced ones are left out (width 0).
constexpr std::array<Timing, 17> established = {{
    {720, 400, 70}, {720, 400, 88}, {640, 480, 60}, {640, 480, 67}, {640, 480, 72}, {640, 480, 75},
    {800, 600, 56}, {800, 600, 60}, {800, 600, 72}, {800, 600, 75}, {832, 624, 75}, {0, 0, 0},
    {1024, 768, 60}, {1024, 768, 70}, {1024, 768, 75}, {1280, 1024, 75}, {1152, 870, 75},
}};

struct Vic {
    std::uint8_t vic;
    Timing timing;
};

// Progressive video formats of CTA-861 that displays commonly list by number.
constexpr std::array<Vic, 38> video_formats = {{
    {1, {640, 480, 60}},     {2, {720, 480, 60}},     {3, {720, 480, 60}},     {4, {1280, 720, 60}},
    {16, {1920, 1080, 60}},  {17, {720, 576, 50}},    {18, {720, 576, 50}},    {19, {1280, 720, 50}},
    {31, {1920, 1080, 50}},  {32, {1920, 1080, 24}},  {33, {1920, 1080, 25}},  {34, {1920, 1080, 30}},
    {41, {1280, 720, 100}},  {42, {720, 576, 100}},   {43, {720, 576, 100}},   {47, {1280, 720, 120}},
    {48, {720, 480, 120}},   {49, {720, 480, 120}},   {60, {1280, 720, 24}},   {61, {1280, 720, 25}},
    {62, {1280, 720, 30}},   {63, {1920, 1080, 120}}, {64, {1920, 1080, 100}}, {93, {3840, 2160, 24}},
    {94, {3840, 2160, 25}},  {95, {3840, 2160, 30}},  {96, {3840, 2160, 50}},  {97, {3840, 2160, 60}},
    {98, {4096, 2160, 24}},  {99, {4096, 2160, 25}},  {100, {4096, 2160, 30}}, {101, {4096, 2160, 50}},
    {102, {4096, 2160, 60}}, {117, {3840, 2160, 100}}, {118, {3840, 2160, 120}}, {5, {0, 0, 0}},
    {6, {0, 0, 0}},          {7, {0, 0, 0}},
}};

bool checksum_ok(std::span<const std::uint8_t> block)
{
    return std::accumulate(block.begin(), block.end(), 0U) % 256 == 0;
}

// The text of a display descriptor: up to 13 bytes, ended by a line feed, padded with blanks.
std::string descriptor_text(std::span<const std::uint8_t> d)
{
    std::string text;
    for (std::size_t i = 5; i < 18; ++i) {
        const auto c = d[i];
        if (c == 0x0A || c == 0x00) {
            break;
        }
        if (c >= 0x20 && c < 0x7F) {
            text.push_back(static_cast<char>(c));
        }
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

// A detailed timing descriptor as a mode; none for an interlaced or degenerate one.
std::optional<OutputMode> detailed_timing(std::span<const std::uint8_t> d)
{
    const std::uint64_t clock_hz = (static_cast<std::uint64_t>(d[0]) | static_cast<std::uint64_t>(d[1]) << 8) * 10000;
    const std::uint32_t h_active = d[2] | static_cast<std::uint32_t>(d[4] & 0xF0) << 4;
    const std::uint32_t h_blank = d[3] | static_cast<std::uint32_t>(d[4] & 0x0F) << 8;
    const std::uint32_t v_active = d[5] | static_cast<std::uint32_t>(d[7] & 0xF0) << 4;
    const std::uint32_t v_blank = d[6] | static_cast<std::uint32_t>(d[7] & 0x0F) << 8;
    const bool interlaced = (d[17] & 0x80) != 0;
    const std::uint64_t total = static_cast<std::uint64_t>(h_active + h_blank) * (v_active + v_blank);
    if (interlaced || clock_hz == 0 || h_active == 0 || v_active == 0 || total == 0) {
        return std::nullopt;
    }
    const std::uint64_t refresh_mhz = (clock_hz * 1000 + total / 2) / total;
    if (refresh_mhz == 0 || refresh_mhz > 1'000'000) {
        return std::nullopt;
    }
    return OutputMode{h_active, v_active, static_cast<std::uint32_t>(refresh_mhz)};
}

OutputMode nominal(const Timing& t)
{
    return {t.width, t.height, t.hz * 1000};
}

void parse_cta(std::span<const std::uint8_t> block, EdidInfo& info, std::vector<OutputMode>& modes)
{
    const std::size_t dtd_offset = block[2];
    // Data blocks lie between byte 4 and the first detailed timing.
    std::size_t i = 4;
    while (dtd_offset >= 4 && i < dtd_offset && i < block_size - 1) {
        const std::uint8_t tag = block[i] >> 5;
        const std::size_t length = block[i] & 0x1F;
        if (i + 1 + length > dtd_offset || i + 1 + length > block_size - 1) {
            break;
        }
        const auto payload = block.subspan(i + 1, length);
        if (tag == 2) {  // video data block
            for (const std::uint8_t svd : payload) {
                const std::uint8_t vic = (svd >= 129 && svd <= 192) ? svd & 0x7F : svd;
                for (const auto& format : video_formats) {
                    if (format.vic == vic && format.timing.width != 0) {
                        modes.push_back(nominal(format.timing));
                    }
                }
            }
        } else if (tag == 3 && length >= 3) {  // vendor-specific data block
            const std::uint32_t oui = payload[0] | payload[1] << 8 | payload[2] << 16;
            if (oui == 0x00001A) {
                info.vrr = true;  // AMD FreeSync
            } else if (oui == 0xC45DD8 && length >= 11) {
                // HDMI Forum: VRRmax in bits 7-6 of byte 9 and byte 10 of the payload.
                const std::uint32_t vrr_max = static_cast<std::uint32_t>(payload[9] & 0xC0) << 2 | payload[10];
                info.vrr = info.vrr || vrr_max > 0;
            }
        } else if (tag == 7 && length >= 2) {  // extended tag
            if (payload[0] == 6) {             // HDR static metadata
                const std::uint8_t eotf = payload[1];
                info.hdr = info.hdr || (eotf & 0x0C) != 0;  // SMPTE ST 2084 (PQ) or HLG
            }
        }
        i += 1 + length;
    }
    for (std::size_t d = dtd_offset; dtd_offset >= 4 && d + 18 <= block_size - 1; d += 18) {
        if (block[d] == 0 && block[d + 1] == 0) {
            break;
        }
        if (const auto mode = detailed_timing(block.subspan(d, 18))) {
            modes.push_back(*mode);
        }
    }
}

}  // namespace

std::expected<EdidInfo, std::string> parse_edid(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < block_size) {
        return std::unexpected(bytes.empty() ? std::string("no EDID") : fmt::format("EDID too short ({} bytes)", bytes.size()));
    }
    const auto base = bytes.first(block_size);
    if (!std::equal(header.begin(), header.end(), base.begin())) {
        return std::unexpected(std::string("EDID header missing"));
    }
    if (!checksum_ok(base)) {
        return std::unexpected(std::string("EDID checksum wrong"));
    }

    EdidInfo info;
    const std::uint16_t id = static_cast<std::uint16_t>(base[8] << 8 | base[9]);
    for (const int shift : {10, 5, 0}) {
        const int letter = (id >> shift) & 0x1F;
        if (letter >= 1 && letter <= 26) {
            info.manufacturer.push_back(static_cast<char>('A' + letter - 1));
        }
    }
    if (info.manufacturer.size() != 3) {
        info.manufacturer.clear();
    }
    info.product_code = static_cast<std::uint16_t>(base[10] | base[11] << 8);
    const std::uint32_t serial_number = base[12] | base[13] << 8 | base[14] << 16 | static_cast<std::uint32_t>(base[15]) << 24;
    const std::uint8_t revision = base[19];
    const std::uint8_t features = base[24];

    std::vector<OutputMode> modes;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> vertical_range;
    for (std::size_t d = 54; d < 126; d += 18) {
        const auto descriptor = base.subspan(d, 18);
        if (descriptor[0] != 0 || descriptor[1] != 0) {
            const auto mode = detailed_timing(descriptor);
            if (mode) {
                if (!info.preferred) {
                    info.preferred = mode;  // the first detailed timing is the preferred mode
                }
                modes.push_back(*mode);
            }
            continue;
        }
        switch (descriptor[3]) {
        case 0xFC:
            info.monitor_name = descriptor_text(descriptor);
            break;
        case 0xFF:
            info.serial = descriptor_text(descriptor);
            break;
        case 0xFD: {
            const std::uint32_t min_v = descriptor[5] + ((descriptor[4] & 0x02) != 0 ? 255U : 0U);
            const std::uint32_t max_v = descriptor[6] + ((descriptor[4] & 0x01) != 0 ? 255U : 0U);
            vertical_range = {min_v, max_v};
            break;
        }
        default:
            break;
        }
    }
    if (info.serial.empty() && serial_number != 0) {
        info.serial = std::to_string(serial_number);
    }
    // EDID 1.4 marks displays that accept any refresh rate in their range ("continuous frequency"), which is how
    // DisplayPort Adaptive-Sync displays announce themselves.
    if (revision >= 4 && (features & 0x01) != 0 && vertical_range && vertical_range->second >= vertical_range->first + 10) {
        info.vrr = true;
    }

    for (std::size_t byte = 0; byte < 3; ++byte) {
        for (int bit = 7; bit >= 0; --bit) {
            const std::size_t index = byte * 8 + static_cast<std::size_t>(7 - bit);
            if (index < established.size() && (base[35 + byte] >> bit & 1) != 0 && established[index].width != 0) {
                modes.push_back(nominal(established[index]));
            }
        }
    }
    for (std::size_t s = 38; s < 54; s += 2) {
        const std::uint8_t a = base[s];
        const std::uint8_t b = base[s + 1];
        if ((a == 0x01 && b == 0x01) || a == 0x00) {
            continue;  // unused slot
        }
        const std::uint32_t width = (a + 31U) * 8;
        std::uint32_t height = 0;
        switch (b >> 6) {
        case 0:
            height = revision >= 3 ? width * 10 / 16 : width;
            break;
        case 1:
            height = width * 3 / 4;
            break;
        case 2:
            height = width * 4 / 5;
            break;
        default:
            height = width * 9 / 16;
            break;
        }
        modes.push_back({width, height, ((b & 0x3FU) + 60) * 1000});
    }

    const std::size_t extensions = std::min<std::size_t>(base[126], bytes.size() / block_size - 1);
    for (std::size_t e = 1; e <= extensions; ++e) {
        const auto block = bytes.subspan(e * block_size, block_size);
        if (block[0] == 0x02 && checksum_ok(block)) {
            parse_cta(block, info, modes);
        }
    }

    // Largest first, faster first; the preferred mode leads; no duplicates. Modes that compare equal are the same
    // mode, so the order among them does not matter.
    std::ranges::sort(modes, [](const OutputMode& l, const OutputMode& r) {
        const auto area_l = static_cast<std::uint64_t>(l.width) * l.height;
        const auto area_r = static_cast<std::uint64_t>(r.width) * r.height;
        if (area_l != area_r) {
            return area_l > area_r;
        }
        if (l.width != r.width) {
            return l.width > r.width;
        }
        return l.refresh_mhz > r.refresh_mhz;
    });
    if (info.preferred) {
        info.modes.push_back(*info.preferred);
    }
    for (const auto& mode : modes) {
        if (std::ranges::find(info.modes, mode) == info.modes.end()) {
            info.modes.push_back(mode);
        }
    }
    return info;
}

}  // namespace config_sections::hardware
