#pragma once
// Small helpers the pages share that draw nothing.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

namespace settings::page_helpers {

// The first `limit` characters of external command output with control characters removed, so the text is safe to
// show in a message: tab and line feed stay, as does everything from U+0020 up except DEL and the C1 controls
// (U+007F to U+009F); carriage returns and the other controls go. The limit counts characters of the input, so
// removed characters count towards it. Bytes that are not UTF-8 become U+FFFD (one character each).
[[nodiscard]] std::string clean_command_output(std::string_view text, std::size_t limit);

// True when the key or id contains a byte other than an ASCII letter, a digit, "-", "." or "_" (an empty key has
// none). Used to refuse per-application setting keys such as "notifications.app.<id>.banners".
[[nodiscard]] bool has_invalid_key_char(std::string_view key);

// The option whose value is nearest to `target`, scanning in order; an option replaces the best so far only when
// it is strictly nearer, so on a tie the earlier one stays. The caller supplies the starting choice and its
// distance (by default: none, farther than any option).
template <class Option>
struct Nearest {
    const Option* option = nullptr;
    std::uint64_t distance = std::numeric_limits<std::uint64_t>::max();
};

template <class Option, class ValueOf>
[[nodiscard]] Nearest<Option> nearest_option(std::span<const Option> options, std::uint32_t target, ValueOf value_of,
                                             Nearest<Option> start = {})
{
    Nearest<Option> best = start;
    for (const Option& option : options) {
        const std::uint32_t value = value_of(option);
        const std::uint64_t distance = value > target ? value - target : target - value;
        if (distance < best.distance) {
            best = {&option, distance};
        }
    }
    return best;
}

}  // namespace settings::page_helpers
