#include "system_ops/bluez.hpp"
#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <fstream>
#include <thread>

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

using system_ops::testing::Answer;

// Whether the process has ended (or become a zombie nobody waits for) within the time.
bool ends_within(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::kill(pid, 0) != 0) {
            return true;
        }
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string pid_text;
        std::string name;
        char state = 0;
        if (stat >> pid_text >> name >> state && state == 'Z') {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

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

constexpr const char* adapter_show =
    "Controller 00:1A:7D:DA:71:13 (public)\n"
    "\tName: vorn-laptop\n"
    "\tAlias: vorn-laptop\n"
    "\tClass: 0x006c010c\n"
    "\tPowered: yes\n"
    "\tDiscoverable: no\n"
    "\tDiscoverableTimeout: 0x000000b4 (180)\n"
    "\tPairable: yes\n"
    "\tUUID: Generic Attribute Profile (00001801-0000-1000-8000-00805f9b34fb)\n"
    "\tModalias: usb:v1D6Bp0246d0542\n"
    "\tDiscovering: no\n"
    "\tRoles: central\n"
    "\tRoles: peripheral\n";

TEST_F(BluetoothctlTest, RadioStateComesFromShowAndIsSwitchedWithPower)
{
    std::string powered_off = adapter_show;
    powered_off.replace(powered_off.find("Powered: yes"), 12, "Powered: no");
    tool("bluetoothctl", {{.args = "show", .out = adapter_show},
                          {.args = "power off", .out = "Changing power off succeeded\n"},
                          {.args = "power on",
                           .out = "Failed to set power on: org.bluez.Error.Blocked\n",
                           .code = 1}});
    auto bluez = backend();
    EXPECT_EQ(bluez.is_powered(), true);
    EXPECT_EQ(bluez.is_scanning(), false);
    EXPECT_TRUE(bluez.set_powered(false).has_value());
    // bluetoothctl says why on standard output, not on standard error.
    EXPECT_EQ(bluez.set_powered(true).error(), "Failed to set power on: org.bluez.Error.Blocked");
    EXPECT_THAT(call_lines(), ElementsAre("bluetoothctl show", "bluetoothctl show", "bluetoothctl power off",
                                          "bluetoothctl power on"));

    tool("bluetoothctl", {{.args = "show", .out = powered_off}});
    EXPECT_EQ(backend().is_powered(), false);
    tool("bluetoothctl", {{.args = "show", .out = "No default controller available\n", .code = 1}});
    EXPECT_EQ(backend().is_powered().error(), "no Bluetooth adapter was found");
    EXPECT_FALSE(parse_show("Waiting to connect to bluetoothd...").has_value());
}

TEST_F(BluetoothctlTest, DeviceOperationsTakePathsOrAddressesAndReportBluezErrors)
{
    tool("bluetoothctl",
         {{.args = "connect 00:1B:66:AA:BB:CC",
           .out = "Attempting to connect to 00:1B:66:AA:BB:CC\n[CHG] Device 00:1B:66:AA:BB:CC Connected: yes\n"
                  "Connection successful\n"},
          {.args = "disconnect 00:1B:66:AA:BB:CC",
           .out = "Attempting to disconnect from 00:1B:66:AA:BB:CC\nFailed to disconnect: org.bluez.Error.NotConnected\n",
           .code = 1},
          {.args = "trust 00:1B:66:AA:BB:CC", .out = "Changing 00:1B:66:AA:BB:CC trust succeeded\n"},
          {.args = "untrust 00:1B:66:AA:BB:CC", .out = "Changing 00:1B:66:AA:BB:CC untrust succeeded\n"},
          {.args = "remove 11:22:33:44:55:66", .out = "Device 11:22:33:44:55:66 not available\n", .code = 1},
          {.args = "remove 00:1B:66:AA:BB:CC", .out = "[DEL] Device 00:1B:66:AA:BB:CC WH-1000XM4\nDevice has been removed\n"},
          {.args = "cancel-pairing 00:1B:66:AA:BB:CC",
           .out = "Attempting to cancel pairing with 00:1B:66:AA:BB:CC\nCancel pairing successful\n"}});
    auto bluez = backend();
    const std::string path = "/org/bluez/hci0/dev_00_1B_66_AA_BB_CC";
    EXPECT_TRUE(bluez.connect(path).has_value());
    EXPECT_EQ(bluez.disconnect("00:1b:66:aa:bb:cc").error(), "Failed to disconnect: org.bluez.Error.NotConnected");
    EXPECT_TRUE(bluez.set_trusted(path, true).has_value());
    EXPECT_TRUE(bluez.set_trusted(path, false).has_value());
    EXPECT_EQ(bluez.forget("/org/bluez/hci0/dev_11_22_33_44_55_66").error(), "Device 11:22:33:44:55:66 not available");
    EXPECT_TRUE(bluez.forget(path).has_value());
    EXPECT_TRUE(bluez.cancel_pairing(path).has_value());

    // Anything that is not a device never reaches a command line.
    const auto before = calls().size();
    for (const char* bad : {"", "--help", "/org/bluez/hci0", "00:1B:66:AA:BB", "00:1B:66:AA:BB:CC; reboot"}) {
        EXPECT_THAT(bluez.connect(bad).error(), ::testing::HasSubstr("is not a Bluetooth device")) << bad;
    }
    EXPECT_EQ(calls().size(), before);
}

TEST_F(BluetoothctlTest, PairingConnectsAfterwardsAndSaysWhichStepFailed)
{
    const std::string address = "00:1B:66:AA:BB:CC";
    const std::string path = "/org/bluez/hci0/dev_00_1B_66_AA_BB_CC";
    const std::string attempt = "Attempting to pair with " + address + "\n";
    struct Case {
        std::string name;
        Answer pair;
        Answer connect;
        PairOutcome outcome;
    };
    const std::vector<Case> cases = {
        {"paired and connected",
         {.out = attempt + "[CHG] Device " + address + " Paired: yes\nPairing successful\n"},
         {.out = "Connection successful\n"},
         {.kind = PairResultKind::PairedConnected}},
        {"paired, connection refused",
         {.out = attempt + "Pairing successful\n"},
         {.out = "Failed to connect: org.bluez.Error.Failed br-connection-profile-unavailable\n", .code = 1},
         {.kind = PairResultKind::PairedConnectFailed,
          .error = "Failed to connect: org.bluez.Error.Failed br-connection-profile-unavailable"}},
        {"already paired",
         {.out = attempt + "Failed to pair: org.bluez.Error.AlreadyExists\n", .code = 1},
         {.out = "Connection successful\n"},
         {.kind = PairResultKind::PairFailed, .error = "Failed to pair: org.bluez.Error.AlreadyExists"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Answer pair = c.pair;
        pair.args = "pair " + address;
        Answer connect = c.connect;
        connect.args = "connect " + address;
        tool("bluetoothctl", {pair, connect});
        EXPECT_EQ(backend().pair(path), c.outcome);
    }
    EXPECT_EQ(backend().pair("nonsense").kind, PairResultKind::PairFailed);
}

TEST_F(BluetoothctlTest, AliasIsSetThroughBusctlAsOneArgument)
{
    std::filesystem::create_directories(dir_ / "sys/class/bluetooth/hci1");
    tool("busctl", {{.args = "--system set-property org.bluez /org/bluez/hci1/dev_00_1B_66_AA_BB_CC org.bluez.Device1 "
                             "Alias s Living room; echo hi",
                     .out = ""},
                    {.args = "--system set-property org.bluez /org/bluez/hci0/dev_00_1B_66_AA_BB_CC org.bluez.Device1 "
                             "Alias s ",
                     .err = "Failed to set property Alias on interface org.bluez.Device1: Unknown object "
                            "'/org/bluez/hci0/dev_00_1B_66_AA_BB_CC'.\n",
                     .code = 1}});
    auto bluez = backend();
    // An address is a device of the default adapter (hci1 here); a path names its own.
    EXPECT_TRUE(bluez.set_alias("00:1B:66:AA:BB:CC", "Living room; echo hi").has_value());
    EXPECT_EQ(bluez.set_alias("/org/bluez/hci0/dev_00_1B_66_AA_BB_CC", "").error(),
              "Failed to set property Alias on interface org.bluez.Device1: Unknown object "
              "'/org/bluez/hci0/dev_00_1B_66_AA_BB_CC'.");
    EXPECT_EQ(calls().at(0).back(), "Living room; echo hi");
    EXPECT_FALSE(bluez.set_alias("00:1B:66:AA:BB:CC", "two\nlines").has_value());
    EXPECT_FALSE(bluez.set_alias("00:1B:66:AA:BB:CC", std::string(249, 'x')).has_value());
    EXPECT_EQ(calls().size(), 2U);
}

TEST_F(BluetoothctlTest, DiscoveryRunsUntilStoppedAndEndsWithTheBackend)
{
    const auto pid_file = dir_ / "scan.pid";
    std::string discovering = adapter_show;
    discovering.replace(discovering.find("Discovering: no"), 15, "Discovering: yes");
    tool("bluetoothctl", {{.args = "--timeout 120 scan on",
                           .out = "Discovery started\n",
                           .shell = "echo $$ > '" + pid_file.string() + ".new'; mv '" + pid_file.string() + ".new' '" +
                                    pid_file.string() + "'; sleep 300"},
                          {.args = "show", .out = discovering}});
    // The process id of the scan the fake started last.
    const auto scanner = [&]() -> pid_t {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!std::filesystem::exists(pid_file) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(10ms);
        }
        std::ifstream in(pid_file);
        pid_t pid = 0;
        in >> pid;
        std::filesystem::remove(pid_file);
        return pid;
    };

    pid_t second = 0;
    {
        auto bluez = backend();
        ASSERT_TRUE(bluez.start_scan().has_value());
        EXPECT_TRUE(bluez.start_scan().has_value());  // already looking: nothing more is started
        const pid_t first = scanner();
        ASSERT_GT(first, 0);
        EXPECT_EQ(::kill(first, 0), 0);
        EXPECT_EQ(bluez.is_scanning(), true);
        ASSERT_TRUE(bluez.stop_scan().has_value());
        EXPECT_TRUE(ends_within(first, 10s));

        ASSERT_TRUE(bluez.start_scan().has_value());
        second = scanner();
        ASSERT_GT(second, 0);
    }
    // The second discovery ended with the backend that started it.
    EXPECT_TRUE(ends_within(second, 10s));
    EXPECT_EQ(std::ranges::count(call_lines(), std::string("bluetoothctl --timeout 120 scan on")), 2);
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

TEST(FakeBluezTest, ChangesApplyToItsDevicesLikeBluez)
{
    const std::string headset = "/org/bluez/hci0/dev_00_1B_66_AA_BB_CC";
    const std::string mouse = "/org/bluez/hci0/dev_5C_F3_70_11_22_33";
    auto fake = std::make_shared<FakeBluez>(std::vector<BluetoothDevice>{
        {.path = headset, .address = "00:1B:66:AA:BB:CC", .name = "Headset"},
        {.path = mouse, .address = "5C:F3:70:11:22:33", .name = "Mouse", .paired = true}});
    const ScopedCurrent<BluezService> guard(fake);

    EXPECT_FALSE(connect(headset).has_value());  // not paired
    EXPECT_EQ(pair(headset), PairOutcome{.kind = PairResultKind::PairedConnected});
    EXPECT_EQ(pair(headset).kind, PairResultKind::PairFailed);  // already paired
    EXPECT_TRUE(disconnect(headset).has_value());
    EXPECT_FALSE(disconnect(headset).has_value());  // not connected
    EXPECT_TRUE(set_trusted("5C:F3:70:11:22:33", true).has_value());
    EXPECT_TRUE(set_alias(mouse, "Desk mouse").has_value());
    EXPECT_TRUE(forget(headset).has_value());
    EXPECT_EQ(forget(headset).error(), "Device 00:1B:66:AA:BB:CC not available");
    EXPECT_THAT(devices().value(), ElementsAre(BluetoothDevice{.path = mouse,
                                                               .address = "5C:F3:70:11:22:33",
                                                               .name = "Desk mouse",
                                                               .paired = true,
                                                               .trusted = true}));

    EXPECT_TRUE(start_scan().has_value());
    EXPECT_EQ(is_scanning(), true);
    EXPECT_TRUE(set_powered(false).has_value());
    EXPECT_EQ(is_powered(), false);
    EXPECT_EQ(is_scanning(), false);
    EXPECT_FALSE(start_scan().has_value());

    fake->set_failure("org.bluez.Error.NotReady");
    EXPECT_EQ(set_powered(true).error(), "org.bluez.Error.NotReady");
    EXPECT_EQ(fake->calls().back(), "set_powered true");
}

}  // namespace
}  // namespace system_ops::bluez
