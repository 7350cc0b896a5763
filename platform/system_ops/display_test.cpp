#include "system_ops/display.hpp"
#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

namespace system_ops::display {
namespace {

using ::testing::ElementsAre;

class BacklightTest : public system_ops::testing::FakeTools {
protected:
    void backlight(const std::string& name, const std::string& type, const std::string& max, const std::string& actual)
    {
        const auto dir = dir_ / "sys/class/backlight" / name;
        write(dir / "type", type + "\n");
        write(dir / "max_brightness", max + "\n");
        write(dir / "actual_brightness", actual + "\n");
        write(dir / "brightness", actual + "\n");
    }
    SysfsDisplay display() { return SysfsDisplay(cmd_runner::system_runner(), {.sysfs_root = dir_ / "sys"}); }
};

TEST_F(BacklightTest, TheFirmwaresBacklightIsReadAndSetThroughLogind)
{
    backlight("acpi_video0", "firmware", "100", "40");
    backlight("intel_backlight", "raw", "19393", "9696");
    tool("busctl", {{.args = "--system call org.freedesktop.login1 /org/freedesktop/login1/session/auto "
                             "org.freedesktop.login1.Session SetBrightness ssu backlight acpi_video0 75"},
                    {.args = "--system call org.freedesktop.login1 /org/freedesktop/login1/session/auto "
                             "org.freedesktop.login1.Session SetBrightness ssu backlight acpi_video0 100"},
                    {.args = "--system call org.freedesktop.login1 /org/freedesktop/login1/session/auto "
                             "org.freedesktop.login1.Session SetBrightness ssu backlight acpi_video0 0",
                     .err = "Call failed: Access denied\n",
                     .code = 1}});
    auto d = display();
    EXPECT_EQ(d.backlight()->name, "acpi_video0");
    EXPECT_FLOAT_EQ(d.get_brightness().value(), 0.4F);
    EXPECT_TRUE(d.set_brightness(75.0F).has_value());
    EXPECT_TRUE(d.set_brightness(250.0F).has_value());  // clamped
    EXPECT_EQ(d.set_brightness(-3.0F).error(), "Call failed: Access denied");
    EXPECT_FALSE(d.set_brightness(std::nanf("")).has_value());
    EXPECT_EQ(calls().size(), 3U);
}

TEST_F(BacklightTest, ARawBacklightAloneIsUsedAndNoneIsAClearError)
{
    EXPECT_EQ(display().get_brightness().error(), "this display has no adjustable backlight");
    tool("busctl", {{.args = "*"}});
    EXPECT_EQ(display().set_brightness(50.0F).error(), "this display has no adjustable backlight");
    EXPECT_TRUE(calls().empty());

    backlight("intel_backlight", "raw", "19393", "19393");
    backlight("broken", "firmware", "0", "0");  // a maximum of 0 cannot be a level
    EXPECT_FLOAT_EQ(display().get_brightness().value(), 1.0F);
    EXPECT_TRUE(display().set_brightness(50.0F).has_value());
    EXPECT_EQ(calls().at(0).back(), "9697");
}

TEST_F(BacklightTest, AmbientLightSensorsAreIioDevicesThatMeasureIlluminance)
{
    write(dir_ / "sys/bus/iio/devices/iio:device0/in_accel_x_raw", "12\n");
    EXPECT_FALSE(display().has_ambient_light_sensor());
    write(dir_ / "sys/bus/iio/devices/iio:device1/in_illuminance_raw", "310\n");
    EXPECT_TRUE(display().has_ambient_light_sensor());
}

TEST(FakeDisplayTest, KeepsTheLevelItWasGiven)
{
    auto fake = std::make_shared<FakeDisplay>();
    const ScopedCurrent<DisplayService> guard(fake);
    EXPECT_TRUE(set_brightness(80.0F).has_value());
    EXPECT_FLOAT_EQ(get_brightness().value(), 0.8F);
    fake->set_state({.failure = "no backlight"});
    EXPECT_EQ(set_brightness(10.0F).error(), "no backlight");
}

}  // namespace
}  // namespace system_ops::display
