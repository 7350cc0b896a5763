#include "sound_graph/wpctl.hpp"

#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace sound_graph::audio {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// What wpctl 0.4 prints on a machine with a sound card, a Bluetooth headset and a webcam.
constexpr std::string_view status_text =
    "PipeWire 'pipewire-0' [0.3.65, user@host, cookie:1174411069]\n"
    " └─ Clients:\n"
    "        33. WirePlumber                         [0.3.65, user@host, pid:1201]\n"
    "        48. Speakers                            [0.3.65, user@host, pid:1300]\n"
    "\n"
    "Audio\n"
    " ├─ Devices:\n"
    " │      40. Built-in Audio                      [alsa]\n"
    " │  \n"
    " ├─ Sinks:\n"
    " │  *   48. Built-in Audio Analog Stereo        [vol: 0.40]\n"
    " │      58. WH-1000XM4                          [vol: 0.75 MUTED]\n"
    " │      59. Dock [Rear] Output                  [vol: 1.00]\n"
    " │      60. HDMI / DisplayPort 2\n"
    " │      x1. Not a node\n"
    " │  \n"
    " ├─ Sink endpoints:\n"
    " │      70. Should not be read\n"
    " │  \n"
    " ├─ Sources:\n"
    " │  *   50. Built-in Audio Analog Stereo        [vol: 0.42]\n"
    " │      61. \x1b[1mHeadset\x1b[0m Mic\u202e        [vol: 1.00]\r\n"
    " │      62.\n"
    " │  \n"
    " ├─ Source endpoints:\n"
    " │  \n"
    " └─ Streams:\n"
    "        80. Firefox\n"
    "             81. output_FL       > Built-in Audio:playback_FL\t[active]\n"
    "\n"
    "Video\n"
    " ├─ Devices:\n"
    " │      90. Integrated Camera                   [v4l2]\n"
    " │  \n"
    " ├─ Sinks:\n"
    " │  \n"
    " ├─ Sources:\n"
    " │  *   91. Integrated Camera (V4L2)\n"
    " │  \n"
    " └─ Streams:\n"
    "\n"
    "Settings\n"
    " └─ Default Configured Node Names:\n"
    "         0. Audio/Sink    alsa_output.pci-0000_00_1f.3.analog-stereo\n";

TEST(WpctlStatusTest, ReadsTheAudioSinksAndSourcesOnly)
{
    const DeviceChoices choices = parse_wpctl_status(status_text);
    EXPECT_THAT(choices.outputs, ElementsAre(DeviceChoice{.name = "Built-in Audio Analog Stereo", .id = 48,
                                                          .is_default = true},
                                             DeviceChoice{.name = "WH-1000XM4", .id = 58},
                                             DeviceChoice{.name = "Dock [Rear] Output", .id = 59},
                                             DeviceChoice{.name = "HDMI / DisplayPort 2", .id = 60}));
    // The camera listed under Video is no microphone; escape sequences and direction marks are gone.
    EXPECT_THAT(choices.inputs, ElementsAre(DeviceChoice{.name = "Built-in Audio Analog Stereo", .id = 50,
                                                         .is_default = true},
                                            DeviceChoice{.name = "Headset Mic", .id = 61}));
    ASSERT_NE(choices.default_output(), nullptr);
    EXPECT_EQ(choices.default_output()->id, 48U);
    EXPECT_EQ(choices.default_input()->id, 50U);
}

TEST(WpctlStatusTest, SectionsEndAtTheNextHeading)
{
    struct Case {
        std::string text;
        std::vector<std::uint32_t> outputs;
    };
    const std::vector<Case> cases = {
        // A heading ending in a colon closes the sinks.
        {"Audio\n ├─ Sinks:\n │      1. A\n ├─ Sources:\n │      2. B\n", {1}},
        // So does a top-level line.
        {"Audio\n ├─ Sinks:\n │      1. A\nVideo\n │      3. C\n", {1}},
        // Sinks of another part are never read, even when that part comes first.
        {"Video\n ├─ Sinks:\n │      4. Screen\nAudio\n ├─ Sinks:\n │      5. Speakers\n", {5}},
        // An id too large for 32 bits is not an id.
        {"Audio\n ├─ Sinks:\n │      4294967296. Huge\n │      4294967295. Largest\n", {4294967295U}},
        {"", {}},
        {"garbage without structure\n\n\n", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint32_t> ids;
        for (const auto& choice : parse_wpctl_status(c.text).outputs) {
            ids.push_back(choice.id);
        }
        EXPECT_EQ(ids, c.outputs) << c.text;
    }
    const auto long_name = parse_wpctl_status("Audio\n ├─ Sinks:\n │  7. " + std::string(400, 'x') + "\n");
    ASSERT_EQ(long_name.outputs.size(), 1U);
    EXPECT_EQ(long_name.outputs[0].name.size(), 256U);
}

class WpctlControlsTest : public system_ops::testing::FakeTools {};

TEST_F(WpctlControlsTest, DefaultDeviceIsListedAndChangedById)
{
    tool("wpctl", {{.args = "status", .out = std::string(status_text)},
                   {.args = "set-default 58"},
                   {.args = "set-default 9999", .err = "Node '9999' not found\n", .code = 3}});
    WpctlDefaultDevice control;
    const auto devices = control.list_devices();
    ASSERT_TRUE(devices.has_value()) << devices.error();
    EXPECT_EQ(devices->outputs.size(), 4U);
    EXPECT_TRUE(control.set_default(58).has_value());
    EXPECT_EQ(control.set_default(9999).error(), "Node '9999' not found");
    EXPECT_THAT(call_lines(), ElementsAre("wpctl status", "wpctl set-default 58", "wpctl set-default 9999"));
}

TEST_F(WpctlControlsTest, InputLevelIsSentWithTwoDecimalsWithinRange)
{
    tool("wpctl", {{.args = "set-volume @DEFAULT_AUDIO_SOURCE@ 0.75"},
                   {.args = "set-volume @DEFAULT_AUDIO_SOURCE@ 1.00"},
                   {.args = "set-volume @DEFAULT_AUDIO_SOURCE@ 0.00"},
                   {.args = "get-volume @DEFAULT_AUDIO_SOURCE@", .out = "Volume: 0.42 [MUTED]\n"}});
    WpctlSourceVolume source;
    EXPECT_TRUE(source.set_volume(75.0F).has_value());
    EXPECT_TRUE(source.set_volume(130.0F).has_value());
    EXPECT_TRUE(source.set_volume(-5.0F).has_value());
    EXPECT_EQ(source.get_volume_state(), (system_ops::audio::VolumeState{.volume = 0.42F, .muted = true}));
    EXPECT_EQ(call_lines().size(), 4U);
}

TEST_F(WpctlControlsTest, AnswersThatMeanFailureAreErrors)
{
    WpctlSourceVolume source;
    // wpctl prints nothing and exits 0 when there is no default input: that is no level.
    tool("wpctl", {{.args = "get-volume @DEFAULT_AUDIO_SOURCE@"}});
    EXPECT_EQ(source.get_volume_state().error(), "wpctl reported no volume for the default input");
    // A failing wpctl gives its own words, without the line feed.
    tool("wpctl", {{.args = "set-volume @DEFAULT_AUDIO_SOURCE@ 0.50", .err = "Object not found\n", .code = 1}});
    EXPECT_EQ(source.set_volume(50.0F).error(), "Object not found");
    // A wpctl that hangs is stopped at its limit.
    tool("wpctl", {{.args = "*", .shell = "sleep 30"}});
    EXPECT_THAT(source.set_volume(50.0F).error(), StartsWith("wpctl control failed: wpctl timed out after 5 s"));
    ::setenv("PATH", (dir_ / "nowhere").c_str(), 1);
    EXPECT_THAT(WpctlDefaultDevice().list_devices().error(), StartsWith("wpctl control failed: wpctl not found"));
}

}  // namespace
}  // namespace sound_graph::audio
