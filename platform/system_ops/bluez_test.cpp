#include "system_ops/bluez.hpp"
#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace system_ops::bluez {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

constexpr const char* headphones_info =
    "Device 00:1B:66:AA:BB:CC (public)\n"
    "\tName: WH-1000XM4\n"
    "\tAlias: Sony Headphones\n"
    "\tClass: 0x00240404\n"
    "\tIcon: audio-headset\n"
    "\tPaired: yes\n"
    "\tBonded: yes\n"
    "\tTrusted: yes\n"
    "\tBlocked: no\n"
    "\tConnected: yes\n"
    "\tLegacyPairing: no\n"
    "\tUUID: Vendor specific           (0000fe03-0000-1000-8000-00805f9b34fb)\n"
    "\tUUID: Headset                   (00001108-0000-1000-8000-00805f9b34fb)\n"
    "\tRSSI: 0xffffffc4 (-60)\n"
    "\tBattery Percentage: 0x46 (70)\n";

constexpr const char* mouse_info =
    "Device 5C:F3:70:11:22:33 (random)\n"
    "\tName: MX Master 3\n"
    "\tAlias: MX Master 3\n"
    "\tIcon: input-mouse\n"
    "\tPaired: no\n"
    "\tTrusted: no\n"
    "\tBlocked: no\n"
    "\tConnected: no\n"
    "\tRSSI: -72\n";

class BluetoothctlTest : public system_ops::testing::FakeTools {
protected:
    BluetoothctlBluez backend(std::chrono::milliseconds limit = 5s)
    {
        return BluetoothctlBluez(cmd_runner::system_runner(), {.sysfs_root = dir_ / "sys", .time_limit = limit});
    }
};

TEST_F(BluetoothctlTest, DevicesCarryPathNameAndState)
{
    std::filesystem::create_directories(dir_ / "sys/class/bluetooth/hci1");
    std::filesystem::create_directories(dir_ / "sys/class/bluetooth/hci1:256");
    std::filesystem::create_directories(dir_ / "sys/class/bluetooth/hci3");
    tool("bluetoothctl",
         {{.args = "devices",
           .out = "Device 00:1B:66:AA:BB:CC WH-1000XM4\n"
                  "Device 5C:F3:70:11:22:33 MX Master 3\n"
                  "Device 11:22:33:44:55:66 Gone Speaker\n"
                  "Agent registered\n"
                  "Device not-an-address Broken\n"},
          {.args = "info 00:1B:66:AA:BB:CC", .out = headphones_info},
          {.args = "info 5C:F3:70:11:22:33", .out = mouse_info},
          {.args = "info 11:22:33:44:55:66", .out = "Device 11:22:33:44:55:66 not available\n", .code = 1}});

    auto bluez = backend();
    EXPECT_EQ(bluez.adapter_name(), "hci1");
    const auto found = bluez.devices();
    ASSERT_TRUE(found.has_value()) << found.error();
    ASSERT_EQ(found->size(), 2U);  // the device that went away in between is left out
    EXPECT_EQ(found->at(0), (BluetoothDevice{.path = "/org/bluez/hci1/dev_00_1B_66_AA_BB_CC",
                                             .address = "00:1B:66:AA:BB:CC",
                                             .name = "Sony Headphones",
                                             .icon = "audio-headset",
                                             .rssi = -60,
                                             .battery = 70,
                                             .paired = true,
                                             .trusted = true,
                                             .connected = true}));
    EXPECT_EQ(found->at(1), (BluetoothDevice{.path = "/org/bluez/hci1/dev_5C_F3_70_11_22_33",
                                             .address = "5C:F3:70:11:22:33",
                                             .name = "MX Master 3",
                                             .icon = "input-mouse",
                                             .rssi = -72}));
}

TEST_F(BluetoothctlTest, ServiceAndAdapterProblemsAreClearErrors)
{
    tool("bluetoothctl", {{.args = "devices", .out = "No default controller available\n"}});
    EXPECT_EQ(backend().devices().error(), "no Bluetooth adapter was found");

    // Without bluetoothd, bluetoothctl waits for ever ("Waiting to connect to bluetoothd...").
    tool("bluetoothctl", {{.args = "devices", .out = "Waiting to connect to bluetoothd...", .shell = "sleep 30"}});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(backend(300ms).devices().error(), "the Bluetooth service is not answering");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

    tool("bluetoothctl", {{.args = "devices", .err = "\x1b[0;91mdbus error\x1b[0m\n", .code = 1}});
    EXPECT_EQ(backend().devices().error(), "dbus error");

    tool("bluetoothctl", {{.args = "devices", .out = ""}});
    EXPECT_THAT(backend().devices().value(), ::testing::IsEmpty());
}

TEST(BluezPathTest, PathsAndAddressesConvertBothWays)
{
    EXPECT_EQ(device_path("hci0", "aa:bb:cc:dd:ee:ff"), "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF");
    EXPECT_EQ(device_path("hci0", "AA:BB:CC:DD:EE"), std::nullopt);
    EXPECT_EQ(address_of_path("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF"), "AA:BB:CC:DD:EE:FF");
    for (const char* bad : {"", "/org/bluez/hci0", "/org/bluez/hci0/dev_AA_BB", "/org/bluez//dev_AA_BB_CC_DD_EE_FF",
                            "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF/extra", "/org/other/hci0/dev_AA_BB_CC_DD_EE_FF",
                            "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_GG", "/org/bluez/h-i/dev_AA_BB_CC_DD_EE_FF"}) {
        EXPECT_EQ(address_of_path(bad), std::nullopt) << bad;
    }
}

TEST(BluezInfoTest, UnreadableInfoIsAnError)
{
    EXPECT_FALSE(parse_info("").has_value());
    EXPECT_FALSE(parse_info("garbage\n\tPaired: yes\n").has_value());
    const auto minimal = parse_info("Device AA:BB:CC:DD:EE:FF (public)\n\tRSSI: 7\n\tBattery Percentage: 0xff (255)\n");
    ASSERT_TRUE(minimal.has_value());
    EXPECT_EQ(minimal->rssi, std::nullopt);     // not a signal level in dBm
    EXPECT_EQ(minimal->battery, std::nullopt);  // not a percentage
}

TEST(FakeBluezTest, AnswersWhatItHolds)
{
    auto fake = std::make_shared<FakeBluez>(std::vector<BluetoothDevice>{{.path = "/org/bluez/hci0/dev_X", .paired = true}});
    const ScopedCurrent<BluezService> guard(fake);
    EXPECT_THAT(devices().value(), ElementsAre(BluetoothDevice{.path = "/org/bluez/hci0/dev_X", .paired = true}));
    fake->set_devices(std::unexpected(std::string("Bluetooth is off")));
    EXPECT_EQ(devices().error(), "Bluetooth is off");
}

}  // namespace
}  // namespace system_ops::bluez
