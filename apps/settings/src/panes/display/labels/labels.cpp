#include "panes/display/labels/labels.hpp"

#include "page_helpers/text_helpers.hpp"

#include <algorithm>
#include <cmath>

namespace settings::panes::display::labels {

namespace {

template <class T, std::size_t N>
std::optional<T> value_of(const std::array<LabelledValue<T>, N>& table, std::string_view label)
{
    for (const auto& row : table) {
        if (row.label == label) {
            return row.value;
        }
    }
    return std::nullopt;
}

template <class T, std::size_t N>
std::vector<std::string> labels_of(const std::array<LabelledValue<T>, N>& table)
{
    std::vector<std::string> out;
    out.reserve(N);
    for (const auto& row : table) {
        out.emplace_back(row.label);
    }
    return out;
}

}  // namespace

std::string_view display_scale_label(double factor)
{
    std::size_t best = 0;
    double best_distance = std::fabs(kScales[0].value - factor);
    for (std::size_t i = 1; i < kScales.size(); ++i) {
        const double distance = std::fabs(kScales[i].value - factor);
        if (distance < best_distance) {  // NaN never compares smaller: the first row stays
            best = i;
            best_distance = distance;
        }
    }
    return kScales[best].label;
}

std::optional<double> display_scale_from_label(std::string_view label)
{
    return value_of(kScales, label);
}

std::string_view orientation_label(std::uint8_t rotation)
{
    return rotation < kOrientations.size() ? kOrientations[rotation].label : kOrientations[0].label;
}

std::optional<std::uint8_t> orientation_from_label(std::string_view label)
{
    return value_of(kOrientations, label);
}

std::string_view night_light_warmth_label(std::uint32_t kelvin)
{
    auto best = page_helpers::nearest_option(std::span<const LabelledValue<std::uint32_t>>(kWarmths), kelvin,
                                             [](const LabelledValue<std::uint32_t>& row) { return row.value; });
    return best.option != nullptr ? best.option->label : kWarmths[0].label;
}

std::optional<std::uint32_t> night_light_warmth_from_label(std::string_view label)
{
    return value_of(kWarmths, label);
}

std::string output_name(const OutputDescriptor& output)
{
    return output.name_or_connector();
}

std::string output_label(const OutputDescriptor& output)
{
    std::string label = output.built_in ? std::string(kBuiltInDisplay) : output_name(output);
    if (auto qualifier = output.card_qualifier()) {
        label += " \u00B7 ";
        label += *qualifier;
    }
    return label;
}

std::optional<std::string> color_profile_label(const OutputDescriptor& output, std::string_view id)
{
    return output.color_profile_label(id);
}

std::vector<NamedOutput> labelled_outputs(std::span<const OutputDescriptor> outputs)
{
    std::vector<NamedOutput> out;
    out.reserve(outputs.size());
    for (const auto& output : outputs) {
        out.push_back({output.connector, output_label(output)});
    }
    return out;
}

std::vector<NamedOutput> catalogue_output_names(const DisplayHardwareSnapshot& snapshot)
{
    const std::size_t count = std::min(snapshot.outputs.size(), kCatalogueOutputLimit);
    return labelled_outputs(std::span<const OutputDescriptor>(snapshot.outputs.data(), count));
}

std::vector<std::string> position_choices(std::span<const NamedOutput> outputs, std::string_view connector)
{
    std::vector<std::string> out{std::string(kAutomaticPosition)};
    for (const auto& other : outputs) {
        if (other.connector == connector) {
            continue;
        }
        for (std::string_view direction : kDirections) {
            std::string text(direction);
            text += " of ";
            text += other.text;
            out.push_back(std::move(text));
        }
    }
    return out;
}

std::vector<std::string> mirror_choices(std::span<const NamedOutput> outputs, std::string_view connector)
{
    std::vector<std::string> out{std::string(kExtendWorkspace)};
    for (const auto& other : outputs) {
        if (other.connector != connector) {
            out.push_back("Mirror " + other.text);
        }
    }
    return out;
}

std::vector<std::string> catalogue_position_choices(std::span<const NamedOutput> names, std::string_view connector)
{
    return position_choices(names, connector);
}

std::vector<std::string> catalogue_mirror_choices(std::span<const NamedOutput> names, std::string_view connector)
{
    return mirror_choices(names, connector);
}

namespace {

std::vector<std::string> mode_labels(const OutputDescriptor& output, std::size_t limit)
{
    const std::size_t count = std::min(output.modes.size(), limit);
    std::vector<std::string> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(output.modes[i].label());
    }
    return out;
}

std::vector<std::string> profile_labels(const OutputDescriptor& output, std::size_t id_limit)
{
    std::vector<std::string> out{std::string(kSystemDefaultProfile)};
    const std::size_t count = std::min(output.color_profiles.size(), id_limit);
    for (std::size_t i = 0; i < count; ++i) {
        if (auto label = output.color_profile_label(output.color_profiles[i])) {
            out.push_back(std::move(*label));
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> mode_choices(const OutputDescriptor& output)
{
    return mode_labels(output, output.modes.size());
}

std::vector<std::string> catalogue_mode_choices(const OutputDescriptor& output)
{
    return mode_labels(output, kCatalogueModeLimit);
}

std::vector<std::string> color_profile_choices(const OutputDescriptor& output)
{
    return profile_labels(output, output.color_profiles.size());
}

std::vector<std::string> catalogue_color_profile_choices(const OutputDescriptor& output)
{
    return profile_labels(output, kCatalogueProfileIdLimit);
}

std::vector<std::string> scale_choices()
{
    return labels_of(kScales);
}

std::vector<std::string> orientation_choices()
{
    return labels_of(kOrientations);
}

std::vector<std::string> warmth_choices()
{
    return labels_of(kWarmths);
}

std::optional<Placement> placement_from_text(std::string_view text, std::span<const NamedOutput> rows)
{
    for (std::string_view direction : kDirections) {
        if (text.size() < direction.size() + 4 || !text.starts_with(direction) ||
            text.substr(direction.size(), 4) != " of ") {
            continue;
        }
        const std::string_view rest = text.substr(direction.size() + 4);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].text == rest) {
                return Placement{direction, i};
            }
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> mirror_from_text(std::string_view text, std::span<const NamedOutput> rows)
{
    if (text == kExtendWorkspace) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (text.size() == rows[i].text.size() + 7 && text.starts_with("Mirror ") && text.substr(7) == rows[i].text) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<OutputMode> mode_from_label(const OutputDescriptor& output, std::string_view text)
{
    for (const auto& mode : output.modes) {
        if (mode.label() == text) {
            return mode;
        }
    }
    return std::nullopt;
}

std::optional<std::string> color_profile_from_label(const OutputDescriptor& output, std::string_view text)
{
    if (text == kSystemDefaultProfile) {
        return std::nullopt;
    }
    for (const auto& [id, description] : output.color_profile_catalogue) {
        if (auto label = output.color_profile_label(id); label && *label == text) {
            return id;
        }
    }
    return std::nullopt;
}

}  // namespace settings::panes::display::labels
