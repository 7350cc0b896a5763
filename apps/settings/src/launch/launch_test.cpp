// The program's launch configuration, run headless: the application hook, the first window and the root.
#include "launch/launch.hpp"

#include <gtest/gtest.h>

namespace settings::launch {
namespace {

TEST(SettingsLaunch, ConfigurationAndFirstWindow)
{
    const vorn_ui::launch::LaunchConfig config = launch_config();
    EXPECT_EQ(config.application_id, "so.vorn.settings");
    EXPECT_EQ(config.further_callback(), 1U);
    EXPECT_EQ((std::tuple{config.flag_a, config.flag_b, config.flag_c, config.flag_d}),
              (std::tuple{true, false, true, true}));

    vorn_ui::launch::Runtime runtime(config);
    EXPECT_TRUE(runtime.app().action_registry().contains("settings.action"));
    EXPECT_TRUE(runtime.app().runs_control_invocations);
    EXPECT_TRUE(runtime.app().refreshes_control_availability);

    EXPECT_TRUE(runtime.step().drew);
    EXPECT_EQ(runtime.window().size().width, 1280.0);
    EXPECT_EQ(runtime.window().size().height, 800.0);
    EXPECT_TRUE(runtime.window().find_text_bounds("Settings").has_value());
    EXPECT_TRUE(runtime.window().find_text_bounds("The settings pages are not part of this build yet.").has_value());
}

}  // namespace
}  // namespace settings::launch
