// The power profile backend with the real powerprofilesctl against python3-dbusmock's power_profiles_daemon on a
// private system bus, and with no such service on the bus.
#include "system_ops/power.hpp"
#include "test_buses/mock_suite.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace system_ops::power {
namespace {

using ::testing::HasSubstr;

constexpr std::string_view object = "/net/hadess/PowerProfiles";

class PowerProfilesMock : public test_buses::MockSuite {
protected:
    static void SetUpTestSuite()
    {
        start_suite("powerprofilesctl",
                    {.template_name = "power_profiles_daemon", .bus_name = "net.hadess.PowerProfiles"});
    }
    static void TearDownTestSuite() { stop_suite(); }

    // The daemon's profiles, as its Profiles property lists them.
    static void offer(const std::vector<std::string>& names)
    {
        std::string list;
        for (const auto& name : names) {
            list += (list.empty() ? "" : ", ") + std::string("{'Profile': <'") + name + "'>, 'Driver': <'dbusmock'>}";
        }
        const auto set = mock().call(object, "org.freedesktop.DBus.Properties.Set",
                                     {"net.hadess.PowerProfiles", "Profiles", "<[" + list + "]>"});
        ASSERT_TRUE(set) << set.error();
    }

    static std::string active_property()
    {
        const auto reply = mock().call(object, "org.freedesktop.DBus.Properties.Get",
                                       {"net.hadess.PowerProfiles", "ActiveProfile"});
        return reply ? *reply : reply.error();
    }

    PowerprofilesctlPower power{cmd_runner::system_runner()};
};

// The tests of one run share the mock: each leaves it as it found it.
TEST_F(PowerProfilesMock, ReadsAndChangesTheActiveProfile)
{
    EXPECT_EQ(power.get_power_profile(), PowerProfile::Balanced);
    EXPECT_EQ(power.available_power_profiles(),
              (std::vector<PowerProfile>{PowerProfile::PowerSaver, PowerProfile::Balanced, PowerProfile::Performance}));

    const auto set = power.set_power_profile(PowerProfile::PowerSaver);
    ASSERT_TRUE(set) << set.error();
    EXPECT_EQ(power.get_power_profile(), PowerProfile::PowerSaver);
    EXPECT_THAT(active_property(), HasSubstr("'power-saver'"));

    ASSERT_TRUE(power.set_power_profile(PowerProfile::Balanced));
    EXPECT_THAT(active_property(), HasSubstr("'balanced'"));
}

TEST_F(PowerProfilesMock, AMachineWithoutPerformanceListsTwoProfiles)
{
    offer({"power-saver", "balanced"});
    EXPECT_EQ(power.available_power_profiles(),
              (std::vector<PowerProfile>{PowerProfile::PowerSaver, PowerProfile::Balanced}));
    offer({"power-saver", "balanced", "performance"});
}

TEST_F(PowerProfilesMock, NoServiceOnTheBusSaysSo)
{
    // A bus of its own without the daemon, for this test only.
    auto empty = test_buses::PrivateBuses::start();
    ASSERT_TRUE(empty) << empty.error();
    const auto active = power.get_power_profile();
    ASSERT_FALSE(active.has_value());
    EXPECT_THAT(active.error(), HasSubstr("the power profile service is not answering: The name "
                                          "net.hadess.PowerProfiles was not provided by any .service files"));
    const auto listed = power.available_power_profiles();
    ASSERT_FALSE(listed.has_value());
    EXPECT_THAT(listed.error(), HasSubstr("the power profile service is not answering"));
    EXPECT_FALSE(power.set_power_profile(PowerProfile::Performance).has_value());
}

}  // namespace
}  // namespace system_ops::power
