// Desktop entries are files any package (or the user) can drop into an application folder: whatever bytes one
// holds, reading it never crashes, and a listed entry has a clean, bounded, non-empty name and a plain id.
#include "desktop_files/desktop_files.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static const std::vector<std::string> languages = desktop_files::languages("de_DE.UTF-8@euro");
    const auto parsed = desktop_files::parse_entry(text, "org.example.Fuzz", languages);
    if (parsed.skip == desktop_files::Skip::None) {
        const std::string& name = parsed.entry.name;
        require(!name.empty());
        require(name.size() <= desktop_files::max_name_chars * 4);
        for (const char c : name) {
            require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        }
        require(!parsed.entry.app_id().empty());
    }
    (void)desktop_files::languages(text);
    return 0;
}
