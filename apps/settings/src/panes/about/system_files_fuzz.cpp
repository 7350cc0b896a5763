// Any text may stand in os-release, /proc/cpuinfo, /proc/meminfo or /proc/uptime (the same bytes are given to each
// reader). Reading never fails, and what the About page would show is shown cleanly: non-empty, valid UTF-8, at
// most 256 characters, without control or bidirectional characters.

#include "panes/about/system_info.hpp"
#include "text_utf8/text_utf8.hpp"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

void check_shown(const std::optional<std::string>& value)
{
    if (!value) {
        return;
    }
    const std::string_view text = *value;
    if (text.empty() || !text_utf8::valid(text)) {
        std::abort();
    }
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++chars) {
        const auto [cp, len] = text_utf8::decode(text, i);
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) ||
            (cp >= 0x2066 && cp <= 0x2069)) {
            std::abort();
        }
        i += len;
    }
    if (chars > 256) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace settings::panes::about;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_shown(parse_os_name(text));
    check_shown(parse_single_line(text));
    check_shown(parse_processor(text));
    (void)parse_mem_total_bytes(text);
    if (const auto seconds = parse_uptime_seconds(text)) {
        if (format_uptime(*seconds).empty()) {
            std::abort();
        }
    }
    return 0;
}
