#include "system_ops/power.hpp"
#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace system_ops::power {
namespace {

using ::testing::ElementsAre;

// What power-profiles-daemon 0.12's powerprofilesctl prints.
constexpr const char* profile_list =
    "  performance:\n"
    "    CpuDriver:\tintel_pstate\n"
    "    PlatformDriver:\tplatform_profile\n"
    "    Degraded:   no\n"
    "\n"
    "* balanced:\n"
    "    CpuDriver:\tintel_pstate\n"
    "    PlatformDriver:\tplatform_profile\n"
    "\n"
    "  power-saver:\n"
    "    CpuDriver:\tintel_pstate\n"
    "    PlatformDriver:\tplatform_profile\n";

class PowerprofilesctlTest : public system_ops::testing::FakeTools {
protected:
    PowerprofilesctlPower power{cmd_runner::system_runner()};
};

TEST_F(PowerprofilesctlTest, ProfilesAreReadAndSetByTheDaemonsNames)
{
    tool("powerprofilesctl", {{.args = "get", .out = "balanced\n"},
                              {.args = "list", .out = profile_list},
                              {.args = "set power-saver"}});
    EXPECT_EQ(power.get_power_profile(), PowerProfile::Balanced);
    EXPECT_EQ(power.available_power_profiles(),
              (std::vector<PowerProfile>{PowerProfile::PowerSaver, PowerProfile::Balanced, PowerProfile::Performance}));
    EXPECT_TRUE(power.set_power_profile(PowerProfile::PowerSaver).has_value());
    EXPECT_THAT(call_lines(), ElementsAre("powerprofilesctl get", "powerprofilesctl list",
                                          "powerprofilesctl set power-saver"));
}

TEST_F(PowerprofilesctlTest, AMachineWithoutPerformanceAndAnAbsentDaemon)
{
    // Without a platform driver there is no performance profile.
    EXPECT_EQ(parse_profile_list("* balanced:\n    CpuDriver:\tamd_pstate\n\n  power-saver:\n    CpuDriver:\tamd_pstate\n"),
              (ProfileList{.profiles = {PowerProfile::PowerSaver, PowerProfile::Balanced},
                           .active = PowerProfile::Balanced}));
    EXPECT_EQ(parse_profile_list("    balanced:\nrubbish\n* turbo:\n"), ProfileList{});

    tool("powerprofilesctl",
         {{.args = "*",
           .err = "Traceback (most recent call last):\n"
                  "  File \"/usr/bin/powerprofilesctl\", line 302, in <module>\n"
                  "    main()\n"
                  "gi.repository.GLib.GError: g-dbus-error-quark: GDBus.Error:org.freedesktop.DBus.Error.ServiceUnknown: "
                  "The name net.hadess.PowerProfiles was not provided by any .service files (2)\n",
           .code = 1}});
    EXPECT_EQ(power.get_power_profile().error(),
              "the power profile service is not answering: The name net.hadess.PowerProfiles was not provided by any "
              ".service files (2)");
    // powerprofilesctl 0.12 catches the D-Bus error and prints one line.
    tool("powerprofilesctl",
         {{.args = "get",
           .err = "Failed to communicate with power-profiles-daemon: g-dbus-error-quark: "
                  "GDBus.Error:org.freedesktop.DBus.Error.ServiceUnknown: The name net.hadess.PowerProfiles was not "
                  "provided by any .service files (2)\n",
           .code = 1},
          {.args = "set performance",
           .err = "Failed to communicate with power-profiles-daemon: g-dbus-error-quark: "
                  "GDBus.Error:org.freedesktop.DBus.Error.AccessDenied: Not allowed to change the profile (9)\n",
           .code = 1}});
    EXPECT_EQ(power.get_power_profile().error(),
              "the power profile service is not answering: The name net.hadess.PowerProfiles was not provided by any "
              ".service files (2)");
    EXPECT_EQ(power.set_power_profile(PowerProfile::Performance).error(), "Not allowed to change the profile (9)");
    tool("powerprofilesctl", {{.args = "get", .out = "turbo\n"}, {.args = "list", .out = "\n"}});
    EXPECT_EQ(power.get_power_profile().error(), "powerprofilesctl reported an unknown power profile \"turbo\"");
    EXPECT_EQ(power.available_power_profiles().error(), "powerprofilesctl listed no power profiles");
}

TEST(FakePowerTest, RefusesProfilesTheMachineLacks)
{
    auto fake = std::make_shared<FakePower>(FakePower::State{.available = {PowerProfile::PowerSaver, PowerProfile::Balanced}});
    const ScopedCurrent<PowerService> guard(fake);
    EXPECT_TRUE(set_power_profile(PowerProfile::PowerSaver).has_value());
    EXPECT_EQ(get_power_profile(), PowerProfile::PowerSaver);
    EXPECT_FALSE(set_power_profile(PowerProfile::Performance).has_value());
    EXPECT_EQ(get_power_profile(), PowerProfile::PowerSaver);
}

}  // namespace
}  // namespace system_ops::power
