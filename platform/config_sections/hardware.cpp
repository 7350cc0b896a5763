#include "config_sections/hardware.hpp"

#include "json_text/record.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>

namespace config_sections::hardware {
namespace {

constexpr std::array<std::string_view, 4> transform_names = {"normal", "rotate90", "rotate180", "rotate270"};

bool valid_part(std::string_view part)
{
    if (part.empty() || part.size() > 64) {
        return false;
    }
    return std::ranges::all_of(part, [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

std::string_view trim_ascii(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t\r\n\f\v");
    return s.substr(first, last - first + 1);
}

}  // namespace

void to_json(Json& j, const OutputMode& value)
{
    j = Json::object();
    j["width"] = value.width;
    j["height"] = value.height;
    j["refresh_mhz"] = value.refresh_mhz;
}

json_text::Status read_value(const Json& v, OutputMode& out)
{
    OutputMode value;
    json_text::RecordReader r(v, "OutputMode", 3);
    r.required("width", value.width).required("height", value.height).required("refresh_mhz", value.refresh_mhz);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = value;
    return {};
}

std::string_view json_name(OutputTransform value) { return transform_names.at(static_cast<std::size_t>(value)); }

void to_json(Json& j, OutputTransform value) { j = std::string(json_name(value)); }

json_text::Status read_value(const Json& v, OutputTransform& out)
{
    return json_text::read_enum(v, out, transform_names);
}

std::expected<KeyboardInputSource, std::string> KeyboardInputSource::parse(std::string_view id)
{
    const std::string_view text = trim_ascii(id);
    const auto colon = text.find(':');
    const std::string_view layout = text.substr(0, colon);
    const bool ok = valid_part(layout) && (colon == std::string_view::npos || valid_part(text.substr(colon + 1)));
    if (!ok) {
        return std::unexpected(fmt::format("invalid keyboard input source \"{}\"", id));
    }
    return KeyboardInputSource(std::string(text));
}

std::string_view KeyboardInputSource::layout() const
{
    return std::string_view(id_).substr(0, id_.find(':'));
}

std::optional<std::string_view> KeyboardInputSource::variant() const
{
    const auto colon = id_.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    return std::string_view(id_).substr(colon + 1);
}

void RichInputConfig::normalise_sources()
{
    std::vector<std::string> sources;
    for (const auto& id : keyboard_layouts) {
        auto parsed = KeyboardInputSource::parse(id);
        if (parsed && std::ranges::find(sources, parsed->id()) == sources.end()) {
            sources.push_back(parsed->id());
        }
    }
    std::string active;
    if (auto parsed = KeyboardInputSource::parse(keyboard_layout)) {
        active = parsed->id();
    } else {
        active = sources.empty() ? std::string("us") : sources.front();
    }
    const auto position = std::ranges::find(sources, active);
    const auto index = static_cast<std::size_t>(position - sources.begin());
    if (position != sources.end() && index >= max_sources) {
        sources.erase(position);
    }
    if (std::ranges::find(sources, active) == sources.end()) {
        if (sources.size() >= max_sources) {
            sources.resize(max_sources - 1);
        }
        sources.push_back(active);
    }
    if (sources.size() > max_sources) {
        sources.resize(max_sources);
    }
    keyboard_layout = std::move(active);
    keyboard_layouts = std::move(sources);
}

}  // namespace config_sections::hardware
