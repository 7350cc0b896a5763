#include "system_ops/battery.hpp"
#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace system_ops::battery {
namespace {

using ::testing::ElementsAre;

// A temporary sysfs tree.
class SysfsTree : public system_ops::testing::FakeTools {
protected:
    void supply(const std::string& name, const std::map<std::string, std::string>& attributes)
    {
        for (const auto& [attribute, value] : attributes) {
            write(dir_ / "sys/class/power_supply" / name / attribute, value + "\n");
        }
    }
    SysfsBattery backend() { return SysfsBattery(dir_ / "sys"); }
};

TEST_F(SysfsTree, LaptopBatteryWithStopThreshold)
{
    supply("AC", {{"type", "Mains"}, {"online", "1"}});
    supply("BAT0", {{"type", "Battery"},
                    {"present", "1"},
                    {"status", "Not charging"},
                    {"capacity", "79"},
                    {"cycle_count", "214"},
                    {"energy_now", "40000000"},
                    {"energy_full", "50600000"},
                    {"energy_full_design", "57000000"},
                    {"model_name", "5B10W13975"},
                    {"charge_control_start_threshold", "75"},
                    {"charge_control_end_threshold", "80"}});
    // A wireless mouse reports a battery too; it is not the machine's.
    supply("hidpp_battery_0", {{"type", "Battery"}, {"scope", "Device"}, {"capacity", "30"}, {"status", "Discharging"},
                               {"model_name", "MX Master 3"}});

    auto battery = backend();
    const auto info = battery.battery_info();
    EXPECT_TRUE(info.present);
    EXPECT_EQ(info.percent, 79U);
    EXPECT_EQ(info.cycle_count, 214U);
    EXPECT_EQ(info.summary(), "Plugged in, not charging");
    EXPECT_EQ(info.health_percent(), 89U);
    EXPECT_EQ(info.health_explanation(), "A full charge holds 89% of the energy this battery held when it was new.");
    EXPECT_TRUE(info.charge_limited);
    EXPECT_EQ(info.charge_limit_percent, 80U);

    EXPECT_EQ(battery.charge_capability(), (ChargeCapability{.supported_percentages = {50, 60, 70, 80, 90, 100},
                                                             .current_percent = 80,
                                                             .kind = ChargeControlKind::StopThreshold,
                                                             .adjusts_start = true}));
    const auto devices = battery.power_devices();
    ASSERT_TRUE(devices.has_value());
    EXPECT_THAT(*devices,
                ElementsAre(PowerDevice{.name = "5B10W13975", .state = "Plugged in, not charging", .model = "5B10W13975",
                                        .percent = 79, .kind = PowerDeviceKind::Battery},
                            PowerDevice{.name = "MX Master 3", .state = "On battery", .model = "MX Master 3",
                                        .percent = 30, .kind = PowerDeviceKind::Battery}));
}

TEST_F(SysfsTree, TwoBatteriesCountByWhatTheyHold)
{
    supply("BAT0", {{"type", "Battery"}, {"status", "Discharging"}, {"capacity", "90"}, {"charge_now", "1800000"},
                    {"charge_full", "2000000"}, {"charge_full_design", "2000000"}});
    supply("BAT1", {{"type", "Battery"}, {"status", "Full"}, {"capacity", "10"}, {"charge_now", "600000"},
                    {"charge_full", "6000000"}, {"charge_full_design", "8000000"}, {"cycle_count", "0"}});
    const auto info = backend().battery_info();
    EXPECT_EQ(info.percent, 30U);  // 2.4 of 8 Ah, not the mean of 90% and 10%
    EXPECT_EQ(info.summary(), "On battery");
    EXPECT_EQ(info.cycle_count, std::nullopt);  // 0 means no counter
    EXPECT_EQ(info.health_percent(), 80U);
    EXPECT_FALSE(info.charge_limited);
    EXPECT_EQ(backend().charge_capability(), std::nullopt);
}

TEST_F(SysfsTree, ConservationModeOffersItsTwoLevels)
{
    supply("BAT1", {{"type", "Battery"}, {"capacity", "60"}, {"status", "Not charging"}});
    write(dir_ / "sys/bus/platform/drivers/ideapad_acpi/VPC2004:00/conservation_mode", "1\n");
    EXPECT_EQ(backend().charge_capability(), (ChargeCapability{.supported_percentages = {60, 100},
                                                               .current_percent = 60,
                                                               .kind = ChargeControlKind::ConservationMode}));
}

TEST_F(SysfsTree, OddThresholdsAndMissingValues)
{
    supply("BAT0", {{"type", "Battery"}, {"capacity", "abc"}, {"charge_control_end_threshold", "85"},
                    {"energy_full", "1"}, {"energy_full_design", "0"}});
    auto battery = backend();
    const auto capability = battery.charge_capability();
    ASSERT_TRUE(capability.has_value());
    EXPECT_THAT(capability->supported_percentages, ElementsAre(50, 60, 70, 80, 85, 90, 100));
    EXPECT_FALSE(capability->adjusts_start);
    const auto info = battery.battery_info();
    EXPECT_EQ(info.percent, 0U);
    EXPECT_EQ(info.summary(), "Unknown");
    EXPECT_EQ(info.health_percent(), std::nullopt);
    EXPECT_EQ(info.health_explanation(), "This battery does not report its design capacity.");

    supply("BAT0", {{"charge_control_end_threshold", "250"}});
    EXPECT_EQ(battery.charge_capability(), std::nullopt);
}

TEST_F(SysfsTree, ChargeLimitIsWrittenAndReadBack)
{
    supply("BAT0", {{"type", "Battery"}, {"charge_control_start_threshold", "75"}, {"charge_control_end_threshold", "80"}});
    const auto attribute = [&](const std::string& name) {
        std::ifstream in(dir_ / "sys/class/power_supply/BAT0" / name);
        std::string value;
        in >> value;
        return value;
    };
    auto battery = backend();
    // Going down moves the start threshold below the new cap first; going up leaves it alone.
    const auto lowered = battery.set_charge_limit_checked(60);
    ASSERT_TRUE(lowered.has_value()) << lowered.error();
    EXPECT_EQ(lowered->current_percent, 60U);
    EXPECT_EQ(attribute("charge_control_start_threshold"), "50");
    EXPECT_EQ(attribute("charge_control_end_threshold"), "60");
    ASSERT_TRUE(battery.set_charge_limit_checked(100).has_value());
    EXPECT_EQ(attribute("charge_control_start_threshold"), "50");
    EXPECT_EQ(attribute("charge_control_end_threshold"), "100");
    EXPECT_FALSE(battery.battery_info().charge_limited);

    EXPECT_EQ(battery.set_charge_limit_checked(55).error(), "a 55% charge limit is not supported by this battery");
    EXPECT_EQ(attribute("charge_control_end_threshold"), "100");
}

TEST_F(SysfsTree, ConservationModeIsSwitchedForItsOneLevel)
{
    const auto mode = dir_ / "sys/bus/platform/drivers/ideapad_acpi/VPC2004:00/conservation_mode";
    write(mode, "0\n");
    auto battery = backend();
    ASSERT_TRUE(battery.set_charge_limit_checked(60).has_value());
    EXPECT_EQ(battery.charge_capability()->current_percent, 60U);
    ASSERT_TRUE(battery.set_charge_limit_checked(100).has_value());
    std::ifstream in(mode);
    std::string value;
    in >> value;
    EXPECT_EQ(value, "0");
    EXPECT_FALSE(battery.set_charge_limit_checked(80).has_value());

    EXPECT_EQ(SysfsBattery(dir_ / "nothing").set_charge_limit_checked(80).error(),
              "this battery has no charge limit control");
}

TEST_F(SysfsTree, DesktopWithoutBatteryOrPowerSupplyClass)
{
    auto battery = backend();  // no class/power_supply at all (containers)
    EXPECT_FALSE(battery.battery_info().present);
    EXPECT_EQ(battery.battery_info().summary(), "No battery");
    EXPECT_THAT(battery.power_devices().value(), ::testing::IsEmpty());
    EXPECT_EQ(battery.charge_capability(), std::nullopt);

    supply("ups", {{"type", "UPS"}, {"capacity", "100"}, {"status", "Full"}, {"model_name", "Back-UPS ES 700"}});
    supply("BAT2", {{"type", "Battery"}, {"present", "0"}});
    EXPECT_FALSE(battery.battery_info().present);
    EXPECT_THAT(battery.power_devices().value(),
                ElementsAre(PowerDevice{.name = "Back-UPS ES 700", .state = "Fully charged", .model = "Back-UPS ES 700",
                                        .percent = 100, .kind = PowerDeviceKind::Ups}));
}

TEST(FakeBatteryTest, ReachedThroughTheFreeFunctions)
{
    auto fake = std::make_shared<FakeBattery>(FakeBattery::State{
        .info = {.present = true, .percent = 50},
        .capability = ChargeCapability{.supported_percentages = {80, 100}, .current_percent = 100}});
    const ScopedCurrent<BatteryService> guard(fake);
    EXPECT_EQ(BatteryInfo::from_system().percent, 50U);
    EXPECT_THAT(charge_capability()->supported_percentages, ElementsAre(80, 100));
    EXPECT_EQ(set_charge_limit_checked(80)->current_percent, 80U);
    EXPECT_FALSE(set_charge_limit_checked(70).has_value());
    EXPECT_EQ(charge_capability()->current_percent, 80U);
}

}  // namespace
}  // namespace system_ops::battery
