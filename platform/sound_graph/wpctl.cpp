#include "sound_graph/wpctl.hpp"

#include "system_ops/tool.hpp"

#include <algorithm>
#include <array>
#include <charconv>

namespace sound_graph::audio {

namespace {

constexpr const char* default_source = "@DEFAULT_AUDIO_SOURCE@";
constexpr std::size_t name_limit = 256;

// The tree drawing wpctl puts before its entries: ─ │ ┌ ┐ └ ┘ ├ ┬ ┴ ┼ (U+2500 to U+253C, UTF-8 E2 94 xx).
constexpr std::array<unsigned char, 10> box_last_bytes{0x80, 0x82, 0x8C, 0x90, 0x94, 0x98, 0x9C, 0xAC, 0xB4, 0xBC};

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The length of the tree drawing character at the start of `text`, or 0.
std::size_t box_char_at(std::string_view text)
{
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xE2 &&
        static_cast<unsigned char>(text[1]) == 0x94 &&
        std::ranges::find(box_last_bytes, static_cast<unsigned char>(text[2])) != box_last_bytes.end()) {
        return 3;
    }
    return 0;
}

bool starts_with_indent(std::string_view line)
{
    return !line.empty() && (is_space(line.front()) || box_char_at(line) > 0);
}

// The line without the white space and tree drawing before it.
std::string_view strip_indent(std::string_view line)
{
    for (;;) {
        if (!line.empty() && is_space(line.front())) {
            line.remove_prefix(1);
        } else if (const std::size_t box = box_char_at(line); box > 0) {
            line.remove_prefix(box);
        } else {
            return line;
        }
    }
}

std::string_view trim_space(std::string_view text)
{
    while (!text.empty() && is_space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<std::uint32_t> parse_id(std::string_view text)
{
    std::uint32_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return id;
}

const DeviceChoice* first_default(const std::vector<DeviceChoice>& choices)
{
    const auto it = std::ranges::find_if(choices, &DeviceChoice::is_default);
    return it == choices.end() ? nullptr : &*it;
}

}  // namespace

const DeviceChoice* DeviceChoices::default_output() const
{
    return first_default(outputs);
}

const DeviceChoice* DeviceChoices::default_input() const
{
    return first_default(inputs);
}

DeviceChoices parse_wpctl_status(std::string_view text)
{
    DeviceChoices choices;
    std::string_view part;                          // the top-level heading: "Audio", "Video", "Settings", ...
    std::vector<DeviceChoice>* section = nullptr;  // the list the current lines belong to
    for (const std::string_view raw : system_ops::detail::split_lines(text)) {
        const std::string_view rest = strip_indent(raw);
        if (rest.empty()) {
            continue;
        }
        if (!starts_with_indent(raw)) {
            part = trim_space(rest);
            section = nullptr;
            continue;
        }
        if (rest == "Sinks:" || rest == "Sources:") {
            section = part == "Audio" ? (rest == "Sinks:" ? &choices.outputs : &choices.inputs) : nullptr;
            continue;
        }
        if (rest.ends_with(':')) {
            section = nullptr;  // "Sink endpoints:", "Streams:", ...
            continue;
        }
        if (section == nullptr) {
            continue;
        }
        std::string_view entry = rest;
        const bool is_default = entry.starts_with('*');
        if (is_default) {
            entry = trim_space(entry.substr(1));
        }
        const auto dot = entry.find('.');
        if (dot == std::string_view::npos) {
            continue;
        }
        const auto id = parse_id(trim_space(entry.substr(0, dot)));
        if (!id) {
            continue;
        }
        std::string_view name = trim_space(entry.substr(dot + 1));
        if (const auto bracket = name.rfind('['); bracket != std::string_view::npos) {
            name = trim_space(name.substr(0, bracket));
        }
        std::string cleaned = cmd_runner::clean_text(name, {.max_bytes = name_limit, .trim = true});
        if (cleaned.empty()) {
            continue;
        }
        section->push_back({.name = std::move(cleaned), .id = *id, .is_default = is_default});
    }
    return choices;
}

// ---- WpctlDefaultDevice ----------------------------------------------------------------------------------------

WpctlDefaultDevice::WpctlDefaultDevice(std::shared_ptr<cmd_runner::Runner> runner) : runner_(std::move(runner)) {}

Result<DeviceChoices> WpctlDefaultDevice::list_devices()
{
    const auto out = system_ops::audio::run_wpctl(*runner_, {"status"});
    if (!out) {
        return std::unexpected(out.error());
    }
    return parse_wpctl_status(cmd_runner::decode_lossy(*out));
}

Status WpctlDefaultDevice::set_default(std::uint32_t node_id)
{
    return system_ops::detail::done(system_ops::audio::run_wpctl(*runner_, {"set-default", std::to_string(node_id)}));
}

// ---- WpctlSourceVolume -----------------------------------------------------------------------------------------

WpctlSourceVolume::WpctlSourceVolume(std::shared_ptr<cmd_runner::Runner> runner) : runner_(std::move(runner)) {}

Result<system_ops::audio::VolumeState> WpctlSourceVolume::get_volume_state()
{
    const auto out = system_ops::audio::run_wpctl(*runner_, {"get-volume", default_source});
    if (!out) {
        return std::unexpected(out.error());
    }
    return system_ops::audio::parse_get_volume(cmd_runner::decode_lossy(*out), "the default input");
}

Status WpctlSourceVolume::set_volume(float percent)
{
    return system_ops::detail::done(system_ops::audio::run_wpctl(
        *runner_, {"set-volume", default_source, system_ops::audio::wpctl_level(percent)}));
}

}  // namespace sound_graph::audio
