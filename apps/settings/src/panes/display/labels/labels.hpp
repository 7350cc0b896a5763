#pragma once
// Display settings travel as texts: the Displays page shows them in its drop-downs and keeps them in its document,
// the Displays section of the resource contract offers them as choices, and display operations carry them back.
// This file holds every one of those texts and the rules between a value and its text. Pure functions of their
// arguments and of the fixed tables below.
//
//   display_scale_label(1.3)                 -> "125%"    (nearest row; a tie keeps the earlier row)
//   night_light_warmth_label(4100)           -> "Subtle · 4500 K"
//   orientation_label(7)                     -> "Landscape"
//   output_label(built_in_panel)             -> "Built-in display"   (" · " and the card qualifier when it has one)
//   position_choices(rows, "HDMI-A-1")       -> "Automatic", "Left of Built-in display", "Right of ...", ...
//
// Two outputs can carry the same descriptive name (two monitors of one model); the snapshot then gives each a card
// qualifier and the output label tells them apart. Position and mirror texts are formed with the output label in
// both the page and the catalogue, so a text the catalogue offers is one the page reads back.

#include "config_sections/display_hardware.hpp"
#include "config_sections/hardware.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::display::labels {

using config_sections::hardware::DisplayHardwareSnapshot;
using config_sections::hardware::OutputDescriptor;
using config_sections::hardware::OutputMode;

template <class T>
struct LabelledValue {
    std::string_view label;
    T value;
};

// Display scale (global and per output).
inline constexpr std::array<LabelledValue<double>, 5> kScales{{
    {"100%", 1.0}, {"125%", 1.25}, {"150%", 1.5}, {"175%", 1.75}, {"200%", 2.0}}};
// Orientation; the value is the rotation index (OutputTransform's declaration index).
inline constexpr std::array<LabelledValue<std::uint8_t>, 4> kOrientations{{
    {"Landscape", 0}, {"Portrait right", 1}, {"Upside down", 2}, {"Portrait left", 3}}};
// Night Light warmth in kelvin. The labels hold a middle dot (U+00B7) between single spaces.
inline constexpr std::array<LabelledValue<std::uint32_t>, 3> kWarmths{{
    {"Subtle \u00B7 4500 K", 4500}, {"Warm \u00B7 3700 K", 3700}, {"Very warm \u00B7 2800 K", 2800}}};

// Position directions, in the order the choices list them.
inline constexpr std::array<std::string_view, 4> kDirections{"Left", "Right", "Above", "Below"};
inline constexpr std::string_view kAutomaticPosition = "Automatic";
inline constexpr std::string_view kExtendWorkspace = "Extend workspace";
inline constexpr std::string_view kSystemDefaultProfile = "System default";
inline constexpr std::string_view kBuiltInDisplay = "Built-in display";

// The catalogue's limits: outputs considered, modes offered, profile identifiers looked at.
inline constexpr std::size_t kCatalogueOutputLimit = 256;
inline constexpr std::size_t kCatalogueModeLimit = 128;
inline constexpr std::size_t kCatalogueProfileIdLimit = 127;

// ---- Value to text and back (texts compare byte for byte)

[[nodiscard]] std::string_view display_scale_label(double factor);  // not a number: "100%"
[[nodiscard]] std::optional<double> display_scale_from_label(std::string_view label);
[[nodiscard]] std::string_view orientation_label(std::uint8_t rotation);  // above 3: "Landscape"
[[nodiscard]] std::optional<std::uint8_t> orientation_from_label(std::string_view label);
[[nodiscard]] std::string_view night_light_warmth_label(std::uint32_t kelvin);
[[nodiscard]] std::optional<std::uint32_t> night_light_warmth_from_label(std::string_view label);

// The description when not empty, else the connector name.
[[nodiscard]] std::string output_name(const OutputDescriptor& output);
// "Built-in display" for the built-in panel, else the output name; then " · " and the card qualifier when any.
[[nodiscard]] std::string output_label(const OutputDescriptor& output);
// Description, " · ", identifier; none when the output's catalogue does not describe the identifier.
[[nodiscard]] std::optional<std::string> color_profile_label(const OutputDescriptor& output, std::string_view id);

// ---- Choice lists

// One output as the position and mirror lists name it.
struct NamedOutput {
    std::string connector;
    std::string text;
    friend bool operator==(const NamedOutput&, const NamedOutput&) = default;
};

// Every output of the list with its output label (the page's rows).
[[nodiscard]] std::vector<NamedOutput> labelled_outputs(std::span<const OutputDescriptor> outputs);
// The first 256 outputs of the snapshot with their output label (the catalogue's pairs).
[[nodiscard]] std::vector<NamedOutput> catalogue_output_names(const DisplayHardwareSnapshot& snapshot);

// "Automatic", then the four direction texts for each other output, grouped by output.
[[nodiscard]] std::vector<std::string> position_choices(std::span<const NamedOutput> outputs,
                                                        std::string_view connector);
// "Extend workspace", then "Mirror <text>" for each other output.
[[nodiscard]] std::vector<std::string> mirror_choices(std::span<const NamedOutput> outputs, std::string_view connector);
// The same lists over catalogue_output_names.
[[nodiscard]] std::vector<std::string> catalogue_position_choices(std::span<const NamedOutput> names,
                                                                  std::string_view connector);
[[nodiscard]] std::vector<std::string> catalogue_mirror_choices(std::span<const NamedOutput> names,
                                                                std::string_view connector);

// OutputMode::label of each mode (every mode / the first 128).
[[nodiscard]] std::vector<std::string> mode_choices(const OutputDescriptor& output);
[[nodiscard]] std::vector<std::string> catalogue_mode_choices(const OutputDescriptor& output);
// "System default", then the label of each described profile identifier (all / of the first 127 identifiers).
[[nodiscard]] std::vector<std::string> color_profile_choices(const OutputDescriptor& output);
[[nodiscard]] std::vector<std::string> catalogue_color_profile_choices(const OutputDescriptor& output);

[[nodiscard]] std::vector<std::string> scale_choices();
[[nodiscard]] std::vector<std::string> orientation_choices();
[[nodiscard]] std::vector<std::string> warmth_choices();

// ---- Reading a text back

struct Placement {
    std::string_view direction;  // one of kDirections
    std::size_t reference = 0;   // index of the reference output in the rows
    friend bool operator==(const Placement&, const Placement&) = default;
};
// "<direction> of <label>" naming one of the rows; none for "Automatic" and any other text.
[[nodiscard]] std::optional<Placement> placement_from_text(std::string_view text, std::span<const NamedOutput> rows);
// "Mirror <label>" naming one of the rows: its index; none for "Extend workspace" and any other text.
[[nodiscard]] std::optional<std::size_t> mirror_from_text(std::string_view text, std::span<const NamedOutput> rows);
// The first mode of the output whose label equals the text.
[[nodiscard]] std::optional<OutputMode> mode_from_label(const OutputDescriptor& output, std::string_view text);
// The first identifier of the output's catalogue (identifier order) whose label equals the text; none for
// "System default" and any text that matches nothing.
[[nodiscard]] std::optional<std::string> color_profile_from_label(const OutputDescriptor& output,
                                                                  std::string_view text);

}  // namespace settings::panes::display::labels
