#include "test_buses/test_buses.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <gtest/gtest.h>

#include <signal.h>

namespace test_buses {
namespace {

cmd_runner::Result run(std::vector<std::string> argv)
{
    cmd_runner::Command command{.program = argv.front()};
    command.args.assign(argv.begin() + 1, argv.end());
    return cmd_runner::run(command);
}

TEST(PrivateBuses, MockedServiceAnswersTheRealToolAndNothingOutlivesTheFixture)
{
    const char* before = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string system_before = before != nullptr ? before : "<unset>";
    pid_t bus_pid = -1;
    pid_t mock_pid = -1;
    {
        auto buses = PrivateBuses::start();
        if (!buses) {
            GTEST_SKIP() << buses.error();
        }
        EXPECT_EQ(std::getenv("DBUS_SYSTEM_BUS_ADDRESS"), (*buses)->address(Bus::system));
        EXPECT_EQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), (*buses)->address(Bus::session));
        auto ppd = DbusMock::start(**buses, {.template_name = "power_profiles_daemon",
                                             .bus_name = "net.hadess.PowerProfiles"});
        if (!ppd && ppd.error().find("not installed") != std::string::npos) {
            GTEST_SKIP() << ppd.error();
        }
        ASSERT_TRUE(ppd) << ppd.error();
        if (!have_program("powerprofilesctl")) {
            GTEST_SKIP() << "powerprofilesctl is not installed";
        }
        const auto get = run({"powerprofilesctl", "get"});
        ASSERT_TRUE(get);
        EXPECT_EQ(get->stdout_text(), "balanced\n");
        ASSERT_TRUE(run({"powerprofilesctl", "set", "power-saver"}));
        EXPECT_EQ(run({"powerprofilesctl", "get"})->stdout_text(), "power-saver\n");

        const auto reply = (*ppd)->call("/net/hadess/PowerProfiles", "org.freedesktop.DBus.Properties.Get",
                                        {"net.hadess.PowerProfiles", "ActiveProfile"});
        ASSERT_TRUE(reply) << reply.error();
        EXPECT_NE(reply->find("power-saver"), std::string::npos);
        EXPECT_NE((*ppd)->log().find("power-saver"), std::string::npos) << (*ppd)->log();
        const auto bad = (*ppd)->call("/net/hadess/PowerProfiles", "org.freedesktop.DBus.NoSuch.Method", {});
        EXPECT_FALSE(bad);

        const auto pids = run({"pgrep", "-o", "-f", (*buses)->dir().string() + "/system.conf"});
        ASSERT_TRUE(pids);
        bus_pid = std::stoi(pids->stdout_text());
        mock_pid = (*ppd)->pid();  // not looked up by name: tests beside this one may run mocks of their own
        ASSERT_GT(mock_pid, 0);
    }
    EXPECT_NE(kill(bus_pid, 0), 0) << "a bus daemon outlived its fixture";
    EXPECT_NE(kill(mock_pid, 0), 0) << "the mock outlived its fixture";
    const char* after = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    EXPECT_EQ(after != nullptr ? after : "<unset>", system_before) << "the machine's bus address is put back";
}

TEST(SystemdBootedPrefix, LetsTimedatectlRunWithoutTouchingTheHost)
{
    const auto prefix = systemd_booted_prefix();
    if (prefix.empty()) {
        GTEST_SKIP() << "no private mount namespace here (needs root and unshare)";
    }
    std::vector<std::string> argv = prefix;
    argv.insert(argv.end(), {"test", "-d", "/run/systemd/system"});
    const auto inside = run(argv);
    ASSERT_TRUE(inside);
    EXPECT_TRUE(inside->status.success());
    EXPECT_FALSE(std::filesystem::exists("/run/systemd/system")) << "the host must never look booted with systemd";
}

}  // namespace
}  // namespace test_buses
