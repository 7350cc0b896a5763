// Any text may stand in a rules file. Reading never fails; what it lists can be chosen and shown: unique ids that
// the settings file can store, and labels that are non-empty, valid UTF-8, bounded and free of control characters.

#include "config_sections/hardware.hpp"
#include "keyboard_layouts/keyboard_layouts.hpp"
#include "text_utf8/text_utf8.hpp"

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

namespace {

bool shows_cleanly(std::string_view label)
{
    if (label.empty() || label.size() > 512 || !text_utf8::valid(label)) {
        return false;
    }
    for (std::size_t i = 0; i < label.size();) {
        const auto [cp, len] = text_utf8::decode(label, i);
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) ||
            (cp >= 0x2066 && cp <= 0x2069)) {
            return false;
        }
        i += len;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace settings::keyboard_layouts;
    const auto entries = parse_rules(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!entries) {
        return 0;
    }
    if (entries->empty()) {
        std::abort();
    }
    std::set<std::string_view> ids;
    for (const KeyboardLayout& entry : *entries) {
        const auto source = config_sections::hardware::KeyboardInputSource::parse(entry.id);
        if (!ids.insert(entry.id).second || !source || source->id() != entry.id || !shows_cleanly(entry.label) ||
            find_by_id(*entries, entry.id) != &entry) {
            std::abort();
        }
    }
    return 0;
}
