#pragma once
// Display and input hardware records of the settings store that the program stores or carries in operations.

#include "json_text/json_text.hpp"

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace config_sections::hardware {

using Json = nlohmann::ordered_json;

// A display mode; carried by display operations as {"width", "height", "refresh_mhz"} (all required).
struct OutputMode {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t refresh_mhz = 0;  // millihertz

    friend bool operator==(const OutputMode&, const OutputMode&) = default;
};

void to_json(Json& j, const OutputMode& value);
json_text::Status read_value(const Json& v, OutputMode& out);

// Output rotation; written as its name, read from the name or {"<name>": null}.
enum class OutputTransform : std::uint8_t { Normal, Rotate90, Rotate180, Rotate270 };

[[nodiscard]] std::string_view json_name(OutputTransform value);
void to_json(Json& j, OutputTransform value);
json_text::Status read_value(const Json& v, OutputTransform& out);

// A display output as the settings store describes it.
struct OutputDescriptor {
    std::string connector;  // "eDP-1"
    std::string name;       // descriptive name, may be empty

    // The descriptive name, or the connector name when the descriptive name is empty.
    [[nodiscard]] const std::string& name_or_connector() const { return name.empty() ? connector : name; }
};

// A keyboard input source: an XKB layout ("us") or a layout with a variant ("us:colemak").
class KeyboardInputSource {
public:
    // Accepts "<layout>" or "<layout>:<variant>", each part 1 to 64 characters of ASCII letters, digits, "_" and
    // "-", with surrounding white space ignored. The id of the result is the canonical form.
    static std::expected<KeyboardInputSource, std::string> parse(std::string_view id);

    [[nodiscard]] const std::string& id() const { return id_; }
    [[nodiscard]] std::string_view layout() const;
    [[nodiscard]] std::optional<std::string_view> variant() const;

    friend bool operator==(const KeyboardInputSource&, const KeyboardInputSource&) = default;

private:
    explicit KeyboardInputSource(std::string id) : id_(std::move(id)) {}
    std::string id_;
};

// The input configuration the settings store applies; the settings file's input preferences are copied into it.
struct RichInputConfig {
    static constexpr std::size_t max_sources = 4;

    std::string keyboard_layout;                // the active source
    std::vector<std::string> keyboard_layouts;  // the active sources, in switching order
    bool flat_acceleration = false;

    // Brings the sources into their normal form: ids that do not parse are dropped, ids are canonical and unique
    // (the first stays), at most max_sources remain, the list is never empty ("us" when nothing else is known), and
    // the active source is one of the list (a valid active source missing from the list is added at its end, taking
    // the last place when the list is full; an invalid one is replaced by the first source).
    void normalise_sources();
};

}  // namespace config_sections::hardware
