#pragma once
// Display and input hardware records of the settings store that the program stores or carries in operations.

#include "json_text/json_text.hpp"

#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
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
    std::uint32_t refresh_mhz = 0;  // millihertz; 0 when not known

    // "1920 × 1080 · 60 Hz", "2560 × 1440 · 143.98 Hz", or "1920 × 1080" without a refresh rate. Every text that
    // names a mode (the Displays page, the output resources, the operation check) comes from here.
    [[nodiscard]] std::string label() const;

    friend bool operator==(const OutputMode&, const OutputMode&) = default;
};

void to_json(Json& j, const OutputMode& value);
json_text::Status read_value(const Json& v, OutputMode& out);

// Output rotation; written as its name, read from the name or {"<name>": null}.
enum class OutputTransform : std::uint8_t { Normal, Rotate90, Rotate180, Rotate270 };

[[nodiscard]] std::string_view json_name(OutputTransform value);
void to_json(Json& j, OutputTransform value);
json_text::Status read_value(const Json& v, OutputTransform& out);

// A display output as the settings store describes it (the display hardware snapshot, display_hardware.hpp, holds
// one per connected output).
struct OutputDescriptor {
    std::string connector;  // "eDP-1"; unique in a snapshot ("card1-DP-1" when two cards have a DP-1)
    std::string name;       // descriptive name announced by the display ("DELL U2720Q"); may be empty

    bool built_in = false;  // the machine's own panel (eDP, LVDS, DSI)
    bool enabled = false;   // the kernel drives the output now
    std::vector<OutputMode> modes;  // preferred mode first, then larger before smaller, faster before slower
    OutputMode current_mode;        // the mode the output runs when known, else the display's preferred mode

    // Colour profiles that can be assigned to the output: identifiers in offer order, and a description per
    // identifier. The kernel does not know them; a colour manager fills them in.
    std::vector<std::string> color_profiles;
    std::map<std::string, std::string> color_profile_catalogue;

    bool hdr_supported = false;        // the compositor can drive HDR on this output
    bool display_reports_hdr = false;  // the display announces HDR (PQ or HLG transfer) in its EDID
    std::optional<std::string> hdr_reason;
    bool vrr_supported = false;        // the compositor can drive variable refresh on this output
    bool display_reports_vrr = false;  // the display announces a variable refresh range
    std::optional<std::string> vrr_reason;

    std::string manufacturer;  // three-letter PNP id from the EDID ("DEL")
    std::string serial;        // serial text or number from the EDID; may be empty
    // Set by the snapshot when another output has the same name: what tells them apart.
    std::optional<std::string> qualifier;

    // The descriptive name, or the connector name when the descriptive name is empty.
    [[nodiscard]] const std::string& name_or_connector() const { return name.empty() ? connector : name; }
    // The text that tells this output apart from another one with the same name (its connector), or none.
    [[nodiscard]] std::optional<std::string> card_qualifier() const { return qualifier; }
    // A colour profile's label: its description, " · " and its identifier; none when the catalogue does not
    // describe the identifier.
    [[nodiscard]] std::optional<std::string> color_profile_label(std::string_view id) const;

    friend bool operator==(const OutputDescriptor&, const OutputDescriptor&) = default;
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
