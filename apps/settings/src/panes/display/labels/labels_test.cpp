#include "panes/display/labels/labels.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace settings::panes::display::labels {
namespace {

OutputDescriptor output(std::string connector, std::string name, bool built_in = false,
                        std::optional<std::string> qualifier = std::nullopt)
{
    OutputDescriptor out;
    out.connector = std::move(connector);
    out.name = std::move(name);
    out.built_in = built_in;
    out.qualifier = std::move(qualifier);
    return out;
}

TEST(DisplayLabels, ValuesMapToTheNearestRow)
{
    struct Row {
        double factor;
        std::string_view label;
    };
    for (const Row& row : {Row{1.3, "125%"}, Row{1.4, "150%"}, Row{0.5, "100%"}, Row{3.0, "200%"},
                           Row{1.125, "100%"}, Row{std::nan(""), "100%"}}) {
        EXPECT_EQ(display_scale_label(row.factor), row.label) << row.factor;
    }
    EXPECT_EQ(display_scale_from_label("175%"), 1.75);
    EXPECT_EQ(display_scale_from_label("175 %"), std::nullopt);
    EXPECT_EQ(display_scale_from_label("175"), std::nullopt);

    EXPECT_EQ(orientation_label(1), "Portrait right");
    EXPECT_EQ(orientation_label(7), "Landscape");
    EXPECT_EQ(orientation_from_label("Upside down"), 2);

    EXPECT_EQ(night_light_warmth_label(6500), "Subtle \u00B7 4500 K");
    EXPECT_EQ(night_light_warmth_label(1000), "Very warm \u00B7 2800 K");
    EXPECT_EQ(night_light_warmth_label(4100), "Subtle \u00B7 4500 K");
    EXPECT_EQ(night_light_warmth_label(3250), "Warm \u00B7 3700 K");
    EXPECT_EQ(night_light_warmth_from_label("Warm \u00B7 3700 K"), 3700U);
    EXPECT_EQ(night_light_warmth_from_label("Warm 3700 K"), std::nullopt);
}

TEST(DisplayLabels, OutputsAreNamedAndLabelled)
{
    const auto panel = output("eDP-1", "Sharp LQ134", true);
    EXPECT_EQ(output_name(panel), "Sharp LQ134");
    EXPECT_EQ(output_label(panel), "Built-in display");
    EXPECT_EQ(output_label(output("eDP-1", "Sharp", true, "card0")), "Built-in display \u00B7 card0");
    const auto external = output("DP-1", "DELL U2720Q", false, "DP-1");
    EXPECT_EQ(output_name(external), "DELL U2720Q");
    EXPECT_EQ(output_label(external), "DELL U2720Q \u00B7 DP-1");
    EXPECT_EQ(output_label(output("HDMI-A-1", "")), "HDMI-A-1");
}

TEST(DisplayLabels, PositionAndMirrorChoicesNameTheOtherOutputs)
{
    const std::vector<OutputDescriptor> outputs{output("A-1", "A"), output("B-1", "B"), output("C-1", "C")};
    const auto rows = labelled_outputs(outputs);
    EXPECT_EQ(position_choices(rows, "B-1"),
              (std::vector<std::string>{"Automatic", "Left of A", "Right of A", "Above of A", "Below of A",
                                        "Left of C", "Right of C", "Above of C", "Below of C"}));
    EXPECT_EQ(mirror_choices(rows, "A-1"), (std::vector<std::string>{"Extend workspace", "Mirror B", "Mirror C"}));

    const std::vector<OutputDescriptor> single{output("A-1", "A")};
    EXPECT_EQ(position_choices(labelled_outputs(single), "A-1"), (std::vector<std::string>{"Automatic"}));
    EXPECT_EQ(mirror_choices(labelled_outputs(single), "A-1"), (std::vector<std::string>{"Extend workspace"}));
}

// The catalogue names other outputs by the label the page reads back, so two monitors of one model stay apart.
TEST(DisplayLabels, CatalogueTextsReadBackOnThePage)
{
    DisplayHardwareSnapshot snapshot;
    snapshot.outputs = {output("eDP-1", "Panel", true), output("DP-1", "DELL", false, "DP-1"),
                        output("DP-2", "DELL", false, "DP-2")};
    const auto names = catalogue_output_names(snapshot);
    const auto rows = labelled_outputs(snapshot.outputs);
    for (const auto& text : catalogue_position_choices(names, "eDP-1")) {
        if (text == kAutomaticPosition) {
            EXPECT_FALSE(placement_from_text(text, rows));
            continue;
        }
        EXPECT_TRUE(placement_from_text(text, rows)) << text;
    }
    EXPECT_EQ(placement_from_text("Left of DELL \u00B7 DP-2", rows), (Placement{"Left", 2}));
    EXPECT_EQ(placement_from_text("Beside DELL \u00B7 DP-2", rows), std::nullopt);
    EXPECT_EQ(mirror_from_text("Mirror Built-in display", rows), 0U);
    EXPECT_EQ(mirror_from_text("Extend workspace", rows), std::nullopt);
    EXPECT_EQ(mirror_from_text("Mirror Nobody", rows), std::nullopt);
}

TEST(DisplayLabels, ModesAndProfilesAreCappedInTheCatalogueOnly)
{
    auto monitor = output("DP-1", "Monitor");
    for (std::uint32_t i = 0; i < 200; ++i) {
        monitor.modes.push_back({1000 + i, 800, 60000});
    }
    EXPECT_EQ(mode_choices(monitor).size(), 200U);
    EXPECT_EQ(catalogue_mode_choices(monitor).size(), 128U);
    EXPECT_EQ(mode_from_label(monitor, monitor.modes[5].label()), monitor.modes[5]);
    EXPECT_EQ(mode_from_label(monitor, "nonsense"), std::nullopt);

    monitor.color_profiles = {"srgb", "undescribed", "p3"};
    monitor.color_profile_catalogue = {{"p3", "Display P3"}, {"srgb", "sRGB"}, {"adobe", "Adobe RGB"}};
    EXPECT_EQ(color_profile_choices(monitor),
              (std::vector<std::string>{"System default", "sRGB \u00B7 srgb", "Display P3 \u00B7 p3"}));
    EXPECT_EQ(color_profile_from_label(monitor, "Display P3 \u00B7 p3"), "p3");
    // Described but not offered: still read back.
    EXPECT_EQ(color_profile_from_label(monitor, "Adobe RGB \u00B7 adobe"), "adobe");
    EXPECT_EQ(color_profile_from_label(monitor, "undescribed"), std::nullopt);
    EXPECT_EQ(color_profile_from_label(monitor, "System default"), std::nullopt);

    for (int i = 0; i < 200; ++i) {
        const std::string id = "id" + std::to_string(1000 + i);
        monitor.color_profiles.push_back(id);
        monitor.color_profile_catalogue[id] = "Profile";
    }
    // Of the first 127 identifiers, those with a description, after "System default".
    EXPECT_EQ(catalogue_color_profile_choices(monitor).size(), 1U + 2U + 124U);
}

}  // namespace
}  // namespace settings::panes::display::labels
