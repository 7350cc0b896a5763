#include "system_ops/modem.hpp"
#include "system_ops/test_tools.hpp"
#include "test_buses/test_buses.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace system_ops::modem {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* modem_path = "/org/freedesktop/ModemManager1/Modem/0";
constexpr const char* sim_path = "/org/freedesktop/ModemManager1/SIM/0";

class MmcliTest : public system_ops::testing::FakeTools {
protected:
    MmcliModem modem{cmd_runner::system_runner()};
};

TEST_F(MmcliTest, ALockedSimIsListedWithItsCarrierAndItsState)
{
    tool("mmcli", {{.args = "-J -L", .out = std::string("{\"modem-list\":[\"") + modem_path + "\"]}\n"},
                   {.args = std::string("-J --modem=") + modem_path,
                    .out = std::string("{\"modem\":{\"3gpp\":{\"operator-name\":\"--\"},\"generic\":{\"sim\":\"") +
                           sim_path + "\",\"state\":\"locked\",\"unlock-required\":\"sim-pin\"}}}\n"},
                   {.args = std::string("-J --sim=") + sim_path,
                    .out = std::string("{\"sim\":{\"dbus-path\":\"") + sim_path +
                           "\",\"properties\":{\"active\":\"yes\",\"iccid\":\"89440000000000001234\","
                           "\"operator-name\":\"Vodafone\\u202e\"}}}\n"}});
    const auto sims = modem.list_mobile_sims();
    ASSERT_TRUE(sims) << sims.error();
    EXPECT_THAT(*sims, ElementsAre(MobileSim{.identifier = sim_path, .label = "Vodafone · SIM 1234 · PIN required"}));

    tool("mmcli", {{.args = "-J -L", .out = "{\"modem-list\":[]}\n"}});
    EXPECT_THAT(modem.list_mobile_sims().value(), IsEmpty());
    tool("mmcli", {{.args = "*", .err = "error: couldn't find the ModemManager process in the bus\n", .code = 1}});
    EXPECT_EQ(modem.list_mobile_sims().error(), "error: couldn't find the ModemManager process in the bus");
}

TEST(ModemUnlock, ThePinAndTheSimAreCheckedFirst)
{
    struct Case {
        std::string sim;
        std::string pin;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {sim_path, "1234", ""},
        {sim_path, "12345678", ""},
        {"", "1234", "No SIM is available"},
        {"/org/freedesktop/ModemManager1/Modem/0", "1234", "No SIM is available"},
        {"/org/freedesktop/ModemManager1/SIM/0/../1", "1234", "No SIM is available"},
        {sim_path, "123", "A SIM PIN has 4 to 8 digits."},
        {sim_path, "123456789", "A SIM PIN has 4 to 8 digits."},
        {sim_path, "12a4", "A SIM PIN has 4 to 8 digits."},
    };
    for (const auto& c : cases) {
        const auto ok = check_unlock(c.sim, c.pin);
        EXPECT_EQ(ok ? std::string() : ok.error(), c.expected) << c.sim << " " << c.pin;
    }
}

class ModemManagerBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto buses = test_buses::PrivateBuses::start();
        if (!buses) {
            GTEST_SKIP() << buses.error();
        }
        buses_ = std::move(*buses);
    }

    std::unique_ptr<test_buses::PrivateBuses> buses_;
};

TEST_F(ModemManagerBus, ThePinTravelsOverTheBusNeverOnACommandLine)
{
    MmcliModem modem(cmd_runner::system_runner(), {.unlock_limit = std::chrono::seconds(10)});
    EXPECT_EQ(modem.unlock_mobile_sim_on(sim_path, "1234").error(), "ModemManager is not running.");

    auto mm = test_buses::DbusMock::start(*buses_, {.bus_name = "org.freedesktop.ModemManager1",
                                                    .object_path = sim_path,
                                                    .interface = "org.freedesktop.ModemManager1.Sim"});
    if (!mm && mm.error().find("not installed") != std::string::npos) {
        GTEST_SKIP() << mm.error();
    }
    ASSERT_TRUE(mm) << mm.error();
    const auto added = (*mm)->call(
        sim_path, "org.freedesktop.DBus.Mock.AddMethod",
        {"org.freedesktop.ModemManager1.Sim", "SendPin", "s", "",
         "if args[0] != '4711': raise dbus.exceptions.DBusException('Incorrect password', "
         "name='org.freedesktop.ModemManager1.Error.MobileEquipment.IncorrectPassword')"});
    ASSERT_TRUE(added) << added.error();

    EXPECT_EQ(modem.unlock_mobile_sim_on(sim_path, "1111").error(), "The SIM PIN is not correct.");
    const auto unlocked = modem.unlock_mobile_sim_on(sim_path, "4711");
    EXPECT_TRUE(unlocked) << unlocked.error();
    EXPECT_EQ(modem.unlock_mobile_sim_on("/org/freedesktop/ModemManager1/SIM/7", "4711").error(),
              "The SIM is no longer available.");
    EXPECT_NE((*mm)->log().find("SendPin \"4711\""), std::string::npos) << (*mm)->log();
}

TEST_F(ModemManagerBus, TheRealModemManagerWithoutModemsListsNoSim)
{
    if (!test_buses::have_program("ModemManager") || !test_buses::have_program("mmcli")) {
        GTEST_SKIP() << "ModemManager is not installed";
    }
    auto daemon = test_buses::Child::start(
        {"ModemManager", "--log-level=WARN", "--log-file=" + (buses_->dir() / "mm.log").string()},
        buses_->dir() / "mm.out");
    ASSERT_TRUE(daemon) << daemon.error();
    bool ready = false;
    for (int i = 0; i < 100 && !ready; ++i) {
        const auto status = cmd_runner::run({.program = "busctl",
                                             .args = {"--system", "status", "org.freedesktop.ModemManager1"},
                                             .time_limit = std::chrono::seconds(2)});
        ready = status && status->status.success();
        if (!ready) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ASSERT_TRUE(ready) << "ModemManager did not come up on the private bus";
    MmcliModem modem;
    const auto sims = modem.list_mobile_sims();
    ASSERT_TRUE(sims) << sims.error();
    EXPECT_THAT(*sims, IsEmpty());
}

}  // namespace
}  // namespace system_ops::modem
