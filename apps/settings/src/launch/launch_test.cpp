// The program's launch configuration, run headless: the application hook, the first window and the root.
#include "launch/launch.hpp"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

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

// Without a session bus none is autolaunched: the address says so. A bus that exists is left to be found.
TEST(SettingsLaunch, NoSessionBusIsAutolaunched)
{
    std::string dir = (std::filesystem::temp_directory_path() / "vorn-bus-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string with_bus = dir + "/with-bus";
    std::filesystem::create_directory(with_bus);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = with_bus + "/bus";
    ASSERT_LT(socket_path.size(), sizeof(address.sun_path));
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);

    struct Case {
        const char* address;  // DBUS_SESSION_BUS_ADDRESS before, null: unset
        std::string runtime;  // XDG_RUNTIME_DIR, empty: unset
        const char* after;    // null: still unset
    };
    const Case cases[] = {
        {nullptr, "", "disabled:"},
        {"", dir, "disabled:"},  // a runtime folder without a bus
        {nullptr, with_bus, nullptr},
        {"unix:path=/run/user/1000/bus", "", "unix:path=/run/user/1000/bus"},
    };
    for (const Case& c : cases) {
        c.address ? ::setenv("DBUS_SESSION_BUS_ADDRESS", c.address, 1) : ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        c.runtime.empty() ? ::unsetenv("XDG_RUNTIME_DIR") : ::setenv("XDG_RUNTIME_DIR", c.runtime.c_str(), 1);
        keep_session_bus_from_autolaunching();
        const char* after = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (c.after == nullptr) {
            EXPECT_EQ(after, nullptr) << c.runtime;
        } else {
            ASSERT_NE(after, nullptr) << c.runtime;
            EXPECT_STREQ(after, c.after) << c.runtime;
        }
    }
    ::close(fd);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace settings::launch
