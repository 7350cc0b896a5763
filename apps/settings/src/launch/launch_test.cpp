// The program's launch configuration, run headless: the application hook, the first window and the root.
#include "launch/launch.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace settings::launch {
namespace {

TEST(SettingsLaunch, ConfigurationAndFirstWindow)
{
    // The application reads the account store and the settings of the home: a private one.
    std::string dir = (std::filesystem::temp_directory_path() / "vorn-launch-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    ::setenv("HOME", dir.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);

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
    // The application object: the sidebar with its first group and the Network page's header.
    EXPECT_TRUE(runtime.window().find_text_bounds("CONNECTIVITY").has_value());
    EXPECT_TRUE(runtime.window().find_text_bounds("Wi-Fi, wired connections, and VPN").has_value());
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace settings::launch
