#include "system_ops/audio.hpp"
#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace system_ops::audio {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

TEST(WpctlTextTest, VolumeLineIsRead)
{
    struct Case {
        std::string text;
        std::optional<VolumeState> state;
    };
    const std::vector<Case> cases = {
        {"Volume: 0.42\n", VolumeState{.volume = 0.42F}},
        {"Volume: 0.42 [MUTED]\n", VolumeState{.volume = 0.42F, .muted = true}},
        {"Volume: 1.50\n", VolumeState{.volume = 1.0F}},  // wpctl allows boosting past 100%
        {"", std::nullopt},                               // get-volume of a missing node prints nothing
        {"Volume: loud\n", std::nullopt},
        {"Volume: nan\n", std::nullopt},
        {"Error: no such node\n", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_get_volume(c.text);
        EXPECT_EQ(parsed.has_value(), c.state.has_value()) << c.text;
        if (parsed && c.state) {
            EXPECT_EQ(*parsed, *c.state) << c.text;
        }
    }
}

TEST(WpctlTextTest, LevelsHaveTwoDecimalsWithinRange)
{
    EXPECT_EQ(wpctl_level(75.0F), "0.75");
    EXPECT_EQ(wpctl_level(100.0F), "1.00");
    EXPECT_EQ(wpctl_level(130.0F), "1.00");
    EXPECT_EQ(wpctl_level(-5.0F), "0.00");
    EXPECT_EQ(wpctl_level(std::numeric_limits<float>::quiet_NaN()), "0.00");
    EXPECT_EQ(wpctl_level(std::numeric_limits<float>::infinity()), "1.00");
}

class WpctlTest : public system_ops::testing::FakeTools {
protected:
    WpctlAudio audio{cmd_runner::system_runner()};
};

TEST_F(WpctlTest, DefaultOutputIsReadAndChanged)
{
    tool("wpctl", {{.args = "get-volume @DEFAULT_AUDIO_SINK@", .out = "Volume: 0.30 [MUTED]\n"},
                   {.args = "set-volume @DEFAULT_AUDIO_SINK@ 0.42"},
                   {.args = "set-mute @DEFAULT_AUDIO_SINK@ 0"},
                   {.args = "set-mute @DEFAULT_AUDIO_SINK@ toggle"}});
    EXPECT_EQ(audio.get_volume_state(), (VolumeState{.volume = 0.30F, .muted = true}));
    EXPECT_TRUE(audio.set_volume(42.0F).has_value());
    EXPECT_TRUE(audio.set_mute(false).has_value());
    EXPECT_TRUE(audio.toggle_mute().has_value());
    EXPECT_EQ(call_lines().size(), 4U);
}

TEST_F(WpctlTest, FailuresNameWhatWentWrong)
{
    tool("wpctl", {{.args = "set-mute @DEFAULT_AUDIO_SINK@ 1", .err = "Object '@DEFAULT_AUDIO_SINK@' not found\n",
                    .code = 3},
                   {.args = "set-mute @DEFAULT_AUDIO_SINK@ 0", .code = 1}});
    EXPECT_EQ(audio.set_mute(true).error(), "Object '@DEFAULT_AUDIO_SINK@' not found");
    EXPECT_EQ(audio.set_mute(false).error(), "wpctl ended with exit status 1");

    ::setenv("PATH", (dir_ / "nowhere").c_str(), 1);
    EXPECT_THAT(audio.get_volume_state().error(), StartsWith("wpctl control failed: wpctl not found"));
}

TEST(FakeAudioTest, RecordsWhatTheDispatcherAsksFor)
{
    auto fake = std::make_shared<FakeAudio>();
    const ScopedCurrent<AudioControl> guard(fake);
    EXPECT_TRUE(set_mute(true).has_value());
    EXPECT_TRUE(set_volume(80.0F).has_value());
    EXPECT_EQ(get_volume_state(), (VolumeState{.volume = 0.8F, .muted = true}));
    auto state = fake->state();
    EXPECT_THAT(state.mutes_set, ElementsAre(true));
    state.failure = "PipeWire is not running";
    fake->set_state(state);
    EXPECT_EQ(set_mute(false).error(), "PipeWire is not running");
}

}  // namespace
}  // namespace system_ops::audio
