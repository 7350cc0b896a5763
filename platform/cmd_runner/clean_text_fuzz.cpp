// Command output is untrusted: whatever bytes a program prints, the cleaned text is valid UTF-8 without control
// characters, respects its limit, and cleaning it again changes nothing.
#include "cmd_runner/cmd_runner.hpp"

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

std::size_t code_points(std::string_view text)
{
    std::size_t count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

void check(std::string_view bytes, const cmd_runner::CleanOptions& options)
{
    const std::string cleaned = cmd_runner::clean_text(bytes, options);
    require(cmd_runner::decode_lossy(cleaned) == cleaned);
    require(cmd_runner::clean_text(cleaned, options) == cleaned);
    require(options.max_chars == std::string_view::npos || code_points(cleaned) <= options.max_chars);
    for (std::size_t i = 0; i < cleaned.size(); ++i) {
        const auto c = static_cast<unsigned char>(cleaned[i]);
        require(c >= 0x20 || (c == '\n' && options.keep_newline) || (c == '\t' && options.keep_tab));
        require(c != 0x7F);
        require(!(c == 0xC2 && i + 1 < cleaned.size() && static_cast<unsigned char>(cleaned[i + 1]) <= 0x9F));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(bytes, {});
    check(bytes, {.keep_newline = true, .keep_tab = true});
    check(bytes, {.max_chars = 7, .trim = true});
    (void)cmd_runner::decode_lossy(bytes);
    return 0;
}
