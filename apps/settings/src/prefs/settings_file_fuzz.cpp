// Any text may stand in the settings file. Decoding never fails; the merged text is a JSON object whenever the text
// was one (members that could not be read are kept byte for byte, so a damaged text stays as damaged as it was),
// and decoding the merged text gives back the record that was merged.

#include "json_text/json_text.hpp"
#include "prefs/settings_file.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto file = settings::prefs::parse_settings_file(text);
    const std::string merged = settings::prefs::write_settings_json(file, text);
    const auto original = json_text::parse(text);
    const auto reparsed = json_text::parse(merged);
    if (original && original->is_object() && (!reparsed || !reparsed->is_object())) {
        std::abort();
    }
    if (!(settings::prefs::parse_settings_file(merged) == file)) {
        std::abort();
    }
    return 0;
}
