#include "system_ops/bluez.hpp"

#include "cmd_runner/fake_runner.hpp"
#include "test_buses/test_buses.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <thread>

namespace system_ops::bluez {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// ---- Reading the object tree ----

// What bluetoothd answers on a laptop: the manager object, two adapters (hci10 listed first), a connected headset
// with a battery, a mouse nearby, and a device of the second adapter.
constexpr std::string_view laptop_tree = R"({"type":"a{oa{sa{sv}}}","data":[{
"/org/bluez":{"org.bluez.AgentManager1":{},"org.bluez.ProfileManager1":{}},
"/org/bluez/hci10":{"org.bluez.Adapter1":{"Address":{"type":"s","data":"00:1A:7D:DA:71:14"},
  "Powered":{"type":"b","data":false},"Discovering":{"type":"b","data":false}}},
"/org/bluez/hci2":{"org.freedesktop.DBus.Introspectable":{},"org.bluez.Adapter1":{
  "Address":{"type":"s","data":"00:1A:7D:DA:71:13"},"Powered":{"type":"b","data":true},
  "Discovering":{"type":"b","data":true}},"org.bluez.Media1":{}},
"/org/bluez/hci2/dev_00_1B_66_AA_BB_CC":{"org.bluez.Device1":{"Address":{"type":"s","data":"00:1b:66:aa:bb:cc"},
  "Name":{"type":"s","data":"WH-1000XM4"},"Alias":{"type":"s","data":"Sony Headphones"},
  "Icon":{"type":"s","data":"audio-headset"},"Paired":{"type":"b","data":true},"Trusted":{"type":"b","data":true},
  "Connected":{"type":"b","data":true},"RSSI":{"type":"n","data":-60},
  "ManufacturerData":{"type":"a{qv}","data":{"76":{"type":"ay","data":[16,5]}}}},
  "org.bluez.Battery1":{"Percentage":{"type":"y","data":70}},"org.bluez.MediaControl1":{}},
"/org/bluez/hci2/dev_00_1B_66_AA_BB_CC/sep1":{"org.bluez.MediaEndpoint1":{}},
"/org/bluez/hci2/dev_5C_F3_70_11_22_33":{"org.bluez.Device1":{"Address":{"type":"s","data":"5C:F3:70:11:22:33"},
  "Name":{"type":"s","data":"MX Master 3"},"Alias":{"type":"s","data":"MX Master 3"},
  "Icon":{"type":"s","data":"input-mouse"},"Paired":{"type":"b","data":false},
  "Trusted":{"type":"b","data":false},"Connected":{"type":"b","data":false},"RSSI":{"type":"n","data":-72}}},
"/org/bluez/hci10/dev_11_22_33_44_55_66":{"org.bluez.Device1":{"Address":{"type":"s","data":"11:22:33:44:55:66"},
  "Alias":{"type":"s","data":"Other adapter"}}}
}]})";

TEST(BluezObjectsTest, OneReplyGivesAdaptersInNumberOrderAndEveryDevice)
{
    const auto tree = parse_managed_objects(laptop_tree);
    ASSERT_TRUE(tree.has_value()) << tree.error();
    EXPECT_THAT(tree->adapters, ElementsAre(Adapter{.path = "/org/bluez/hci2", .powered = true, .discovering = true},
                                            Adapter{.path = "/org/bluez/hci10"}));
    ASSERT_NE(tree->default_adapter(), nullptr);
    EXPECT_THAT(tree->devices_of(*tree->default_adapter()),
                ElementsAre(BluetoothDevice{.path = "/org/bluez/hci2/dev_00_1B_66_AA_BB_CC",
                                            .address = "00:1B:66:AA:BB:CC",
                                            .name = "Sony Headphones",
                                            .icon = "audio-headset",
                                            .rssi = -60,
                                            .battery = 70,
                                            .paired = true,
                                            .trusted = true,
                                            .connected = true},
                            BluetoothDevice{.path = "/org/bluez/hci2/dev_5C_F3_70_11_22_33",
                                            .address = "5C:F3:70:11:22:33",
                                            .name = "MX Master 3",
                                            .icon = "input-mouse",
                                            .rssi = -72}));
    EXPECT_EQ(tree->devices.size(), 3U);
    EXPECT_EQ(tree->devices.back().name, "Other adapter");
}

// One device entry of a reply, with the Device1 properties (JSON members) given.
std::string tree_with_device(std::string_view path, std::string_view device_properties, std::string_view extra = "")
{
    return fmt::format(R"({{"type":"a{{oa{{sa{{sv}}}}}}","data":[{{"/org/bluez/hci0":{{"org.bluez.Adapter1":{{}}}},)"
                       R"("{}":{{"org.bluez.Device1":{{{}}}{}}}}}]}})",
                       path, device_properties, extra);
}

TEST(BluezObjectsTest, NamesFromTheAirAreCleanedBoundedAndNeverEmpty)
{
    const std::string path = "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF";
    struct Case {
        std::string name;
        std::string properties;
        std::string expected_name;
    };
    const std::string long_name(300, 'x');
    const std::vector<Case> cases = {
        {"escape codes and a bidi override", R"("Alias":{"type":"s","data":"\u001b[31mEvil\u202e gnirts\n"})",
         "Evil gnirts"},
        {"a name longer than 256 bytes", R"("Alias":{"type":"s","data":")" + long_name + R"("})",
         std::string(max_name_bytes, 'x')},
        {"cut on a character boundary", R"("Alias":{"type":"s","data":")" + std::string(255, 'x') + "\u00e9\"}",
         std::string(255, 'x')},
        {"an alias of control characters only falls back to the name",
         R"("Alias":{"type":"s","data":"\u0001\u0002"},"Name":{"type":"s","data":"Speaker"})", "Speaker"},
        {"no name at all shows the address", R"("Address":{"type":"s","data":"aa:bb:cc:dd:ee:ff"})",
         "AA:BB:CC:DD:EE:FF"},
        {"a property of another type counts as absent", R"("Alias":{"type":"as","data":["x"]})", "AA:BB:CC:DD:EE:FF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto tree = parse_managed_objects(tree_with_device(path, c.properties));
        ASSERT_TRUE(tree.has_value()) << tree.error();
        ASSERT_EQ(tree->devices.size(), 1U);
        EXPECT_EQ(tree->devices[0].name, c.expected_name);
        EXPECT_EQ(tree->devices[0].address, "AA:BB:CC:DD:EE:FF");
    }
}

TEST(BluezObjectsTest, ImplausibleValuesAndForeignObjectsAreLeftOut)
{
    const auto odd = parse_managed_objects(tree_with_device(
        "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF",
        R"("RSSI":{"type":"n","data":127},"Paired":{"type":"s","data":"yes"},"Icon":{"type":"s","data":"\u001b]0;x\u0007audio-card"})",
        R"(,"org.bluez.Battery1":{"Percentage":{"type":"y","data":255}})"));
    ASSERT_TRUE(odd.has_value());
    ASSERT_EQ(odd->devices.size(), 1U);
    EXPECT_EQ(odd->devices[0].rssi, std::nullopt);     // the controller's "no reading"
    EXPECT_EQ(odd->devices[0].battery, std::nullopt);  // not a percentage
    EXPECT_FALSE(odd->devices[0].paired);
    EXPECT_EQ(odd->devices[0].icon, "audio-card");

    for (const char* path : {"/org/bluez/hci0/dev_AA_BB", "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF/extra",
                             "/org/other/hci0/dev_AA_BB_CC_DD_EE_FF", "/org/bluez//dev_AA_BB_CC_DD_EE_FF",
                             "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF;reboot"}) {
        const auto tree = parse_managed_objects(tree_with_device(path, ""));
        ASSERT_TRUE(tree.has_value()) << path;
        EXPECT_TRUE(tree->devices.empty()) << path;
    }

    for (const char* bad : {"", "Call failed: Access denied", "[]", R"({"type":"a{oa{sa{sv}}}"})",
                            R"({"data":[]})", R"({"data":[[1,2]]})"}) {
        EXPECT_EQ(parse_managed_objects(bad).error(), "BlueZ answered without its object list") << bad;
    }
    const auto empty = parse_managed_objects(R"({"type":"a{oa{sa{sv}}}","data":[{}]})");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->default_adapter(), nullptr);
}

TEST(BluezPathTest, OnlyBluezDevicePathsAreDevices)
{
    EXPECT_EQ(device_path("hci0", "aa:bb:cc:dd:ee:ff"), "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF");
    EXPECT_EQ(device_path("hci0", "AA:BB:CC:DD:EE"), std::nullopt);
    EXPECT_EQ(address_of_path("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF"), "AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(adapter_of_path("/org/bluez/hci1/dev_AA_BB_CC_DD_EE_FF"), "/org/bluez/hci1");
    EXPECT_TRUE(is_device_path("/org/bluez/hci0/dev_aa_bb_cc_dd_ee_ff"));
    EXPECT_TRUE(is_adapter_path("/org/bluez/hci0"));
    EXPECT_FALSE(is_adapter_path("/org/bluez/"));
    EXPECT_FALSE(is_adapter_path("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF"));
    for (const char* path : {"/", "/org", "/org/bluez/hci0", "/a_b/C9"}) {
        EXPECT_TRUE(is_object_path(path)) << path;
    }
    using namespace std::string_view_literals;
    for (const std::string_view bad : {""sv, "org/bluez"sv, "/org/"sv, "//org"sv, "/org//bluez"sv, "/org/blu-ez"sv,
                                       "/org/bluez.x"sv, "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF\n"sv, "/org/\0x"sv}) {
        EXPECT_FALSE(is_object_path(bad)) << bad;
    }
    for (const char* bad : {"", "--help", "AA:BB:CC:DD:EE:FF", "/org/bluez/hci0", "/org/bluez/hci0/dev_AA_BB",
                            "/org/bluez//dev_AA_BB_CC_DD_EE_FF", "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF/extra",
                            "/org/other/hci0/dev_AA_BB_CC_DD_EE_FF", "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_GG",
                            "/org/bluez/h-i/dev_AA_BB_CC_DD_EE_FF", "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF; reboot"}) {
        EXPECT_FALSE(is_device_path(bad)) << bad;
        EXPECT_EQ(adapter_of_path(bad), std::nullopt) << bad;
    }
}

// ---- busctl errors, without a bus ----

TEST(BusctlBluezTest, WhatIsNotADevicePathNeverReachesACommandLine)
{
    auto runner = std::make_shared<cmd_runner::FakeRunner>();
    BusctlBluez bluez(runner);
    for (const char* bad : {"", "--help", "AA:BB:CC:DD:EE:FF", "/org/bluez/hci0", "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF x"}) {
        SCOPED_TRACE(bad);
        EXPECT_THAT(bluez.connect(bad).error(), HasSubstr("is not a Bluetooth device"));
        EXPECT_THAT(bluez.disconnect(bad).error(), HasSubstr("is not a Bluetooth device"));
        EXPECT_THAT(bluez.cancel_pairing(bad).error(), HasSubstr("is not a Bluetooth device"));
        EXPECT_THAT(bluez.set_trusted(bad, true).error(), HasSubstr("is not a Bluetooth device"));
        EXPECT_THAT(bluez.set_alias(bad, "x").error(), HasSubstr("is not a Bluetooth device"));
        EXPECT_THAT(bluez.forget(bad).error(), HasSubstr("is not a Bluetooth device"));
        const auto paired = bluez.pair(bad);
        EXPECT_EQ(paired.kind, PairResultKind::PairFailed);
        EXPECT_THAT(paired.error, HasSubstr("is not a Bluetooth device"));
    }
    const std::string path = "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF";
    EXPECT_FALSE(bluez.set_alias(path, "two\nlines").has_value());
    EXPECT_FALSE(bluez.set_alias(path, std::string(249, 'x')).has_value());
    EXPECT_TRUE(runner->calls().empty());
}

TEST(BusctlBluezTest, EveryCallIsBoundedAndItsFailureIsASentence)
{
    struct Case {
        std::string name;
        cmd_runner::Result answer;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"bluetoothd is not running",
         cmd_runner::FakeRunner::exited(1, "", "Call failed: The name org.bluez was not provided by any .service files\n"),
         "the Bluetooth service is not running"},
        {"bluetoothd hangs", cmd_runner::FakeRunner::failed(cmd_runner::ErrorKind::TimedOut, "busctl timed out after 7 s"),
         "the Bluetooth service is not answering"},
        {"no busctl", cmd_runner::FakeRunner::failed(cmd_runner::ErrorKind::NotFound, "busctl not found"),
         "busctl not found"},
        {"a message of several lines", cmd_runner::FakeRunner::exited(1, "", "Call failed: Traceback:\n  x\nKeyError: 'y'\n"),
         "KeyError: 'y'"},
        {"a silent failure", cmd_runner::FakeRunner::exited(1), "busctl ended with exit status 1"},
        {"escape codes in a message", cmd_runner::FakeRunner::exited(1, "", "Call failed: \x1b[1mBlocked\x1b[0m\n"),
         "Blocked"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto runner = std::make_shared<cmd_runner::FakeRunner>([&](const cmd_runner::Command&) { return c.answer; });
        BusctlBluez bluez(runner, {.time_limit = 5s});
        EXPECT_EQ(bluez.devices().error(), c.error);
        const auto calls = runner->calls();
        ASSERT_EQ(calls.size(), 1U);
        const auto& call = calls[0];
        EXPECT_EQ(call.program, "busctl");
        EXPECT_THAT(call.args, ElementsAre("--system", "--json=short", "--timeout=5000ms", "--", "call", "org.bluez", "/",
                                           "org.freedesktop.DBus.ObjectManager", "GetManagedObjects"));
        EXPECT_EQ(call.time_limit, 7s);  // busctl's own time-out answers first
    }
}

// ---- The real busctl against a mocked BlueZ on a private system bus ----

// Counts the commands on their way to the real runner.
class CountingRunner final : public cmd_runner::Runner {
public:
    cmd_runner::Result run(const cmd_runner::Command& command) override
    {
        ++runs;
        return cmd_runner::run(command);
    }
    std::expected<cmd_runner::AsyncCommand, cmd_runner::Error> spawn_prepared(cmd_runner::Command command) override
    {
        ++runs;
        return cmd_runner::spawn_prepared(std::move(command));
    }
    std::atomic<int> runs = 0;
};

class MockedBluezTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!test_buses::have_program("busctl")) {
            skip_reason_ = "busctl is not installed";
            return;
        }
        auto buses = test_buses::PrivateBuses::start();
        if (!buses) {
            skip_reason_ = buses.error();
            return;
        }
        buses_ = std::move(*buses);
        auto mock = test_buses::DbusMock::start(*buses_, {.template_name = "bluez5", .bus_name = "org.bluez"});
        if (!mock) {
            skip_reason_ = mock.error();
            buses_.reset();
            return;
        }
        mock_ = std::move(*mock);
        const auto adapter = mock_->call("/", "org.bluez.Mock.AddAdapter", {"hci0", "my-computer"});
        ASSERT_TRUE(adapter) << adapter.error();
    }

    static void TearDownTestSuite()
    {
        mock_.reset();
        buses_.reset();
    }

    void SetUp() override
    {
        if (!skip_reason_.empty()) {
            GTEST_SKIP() << skip_reason_;
        }
    }

    // Adds a device of its own to each test (an unpaired device named `name`) and answers its path.
    static std::string add_device(std::string_view name)
    {
        const std::string address = fmt::format("11:22:33:44:55:{:02X}", next_device_++);
        const auto added = mock_->call("/", "org.bluez.Mock.AddDevice", {"hci0", address, fmt::format("'{}'", name)});
        EXPECT_TRUE(added) << added.error();
        return *device_path("hci0", address);
    }

    static std::optional<BluetoothDevice> find(BusctlBluez& bluez, const std::string& path)
    {
        const auto listed = bluez.devices();
        EXPECT_TRUE(listed.has_value()) << listed.error();
        for (const auto& device : listed.value_or(std::vector<BluetoothDevice>{})) {
            if (device.path == path) {
                return device;
            }
        }
        return std::nullopt;
    }

    // What the real bluetoothctl says about a device ("Paired: yes" ...), cleaned of its colours; none when it is not
    // installed (the checks through it are then left out).
    static std::optional<std::string> bluetoothctl_info(const std::string& path)
    {
        if (!test_buses::have_program("bluetoothctl")) {
            return std::nullopt;
        }
        const auto out = cmd_runner::run({.program = "bluetoothctl", .args = {"info", *address_of_path(path)}});
        EXPECT_TRUE(out.has_value());
        return out ? cmd_runner::clean_text(out->stdout_bytes, {.keep_newline = true, .keep_tab = true}) : std::string();
    }

    static inline std::unique_ptr<test_buses::PrivateBuses> buses_;
    static inline std::unique_ptr<test_buses::DbusMock> mock_;
    static inline std::string skip_reason_;
    static inline int next_device_ = 1;
};

TEST_F(MockedBluezTest, RadioGoesOffAndOn)
{
    BusctlBluez bluez;
    ASSERT_TRUE(bluez.set_powered(false).has_value());
    EXPECT_EQ(bluez.is_powered(), false);
    EXPECT_EQ(bluez.start_scan().error(), "Bluetooth is off");
    ASSERT_TRUE(bluez.set_powered(true).has_value());
    EXPECT_EQ(bluez.is_powered(), true);
    EXPECT_THAT(mock_->log(), HasSubstr("Powered"));
}

TEST_F(MockedBluezTest, DiscoveryClearsTheFilterStartsAndStops)
{
    BusctlBluez bluez;
    ASSERT_TRUE(bluez.start_scan().has_value());
    EXPECT_EQ(bluez.is_scanning(), true);
    EXPECT_TRUE(bluez.start_scan().has_value());  // already looking
    const std::string log = mock_->log();
    const auto filter = log.find("SetDiscoveryFilter");
    ASSERT_NE(filter, std::string::npos) << log;
    EXPECT_NE(log.find("StartDiscovery", filter), std::string::npos) << log;

    ASSERT_TRUE(bluez.stop_scan().has_value());
    EXPECT_EQ(bluez.is_scanning(), false);
    EXPECT_TRUE(bluez.stop_scan().has_value());  // nothing to stop
}

TEST_F(MockedBluezTest, DiscoveryEndsAtItsLimitAndWithItsBackend)
{
    {
        BusctlBluez bluez(cmd_runner::system_runner(), {.scan_limit = 200ms});
        ASSERT_TRUE(bluez.start_scan().has_value());
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (bluez.is_scanning() == true && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_EQ(bluez.is_scanning(), false);
    }
    {
        BusctlBluez bluez;
        ASSERT_TRUE(bluez.start_scan().has_value());
    }
    EXPECT_EQ(BusctlBluez().is_scanning(), false);
}

TEST_F(MockedBluezTest, DevicesAreReadInOneCall)
{
    for (int i = 0; i < 20; ++i) {
        (void)add_device(fmt::format("Sensor {}", i));
    }
    const std::string odd = add_device("\\u001b[31mEvil\\u202e name");
    auto runner = std::make_shared<CountingRunner>();
    BusctlBluez bluez(runner);
    const auto listed = bluez.devices();
    ASSERT_TRUE(listed.has_value()) << listed.error();
    EXPECT_GE(listed->size(), 21U);
    EXPECT_EQ(runner->runs, 1);
    const auto found = std::ranges::find(*listed, odd, &BluetoothDevice::path);
    ASSERT_NE(found, listed->end());
    EXPECT_EQ(found->name, "Evil name");
    EXPECT_EQ(found->rssi, -79);
}

TEST_F(MockedBluezTest, PairingPairsThenConnects)
{
    const std::string path = add_device("Test Headset");
    BusctlBluez bluez;
    EXPECT_EQ(bluez.pair(path), PairOutcome{.kind = PairResultKind::PairedConnected});
    if (const auto info = bluetoothctl_info(path)) {
        EXPECT_THAT(*info, HasSubstr("Paired: yes"));
    }
    ASSERT_TRUE(find(bluez, path).has_value());
    EXPECT_TRUE(find(bluez, path)->paired);
    const std::string log = mock_->log();
    EXPECT_NE(log.find("Connect", log.find("Pair")), std::string::npos) << log;

    const auto again = bluez.pair(path);
    EXPECT_EQ(again, (PairOutcome{.kind = PairResultKind::PairFailed, .error = "Device already paired"}));
}

TEST_F(MockedBluezTest, ConnectAndDisconnectReportBluezErrors)
{
    const std::string path = add_device("Speaker");
    BusctlBluez bluez;
    ASSERT_TRUE(bluez.connect(path).has_value());
    EXPECT_EQ(bluez.connect(path).error(), "Already Connected");
    ASSERT_TRUE(bluez.disconnect(path).has_value());
    EXPECT_EQ(bluez.disconnect(path).error(), "Not Connected");
    EXPECT_TRUE(bluez.cancel_pairing(path).has_value());
    EXPECT_EQ(bluez.connect("/org/bluez/hci0/dev_00_00_00_00_00_99").error(), "the device is no longer available");
}

TEST_F(MockedBluezTest, TrustAndRenameChangeTheDevice)
{
    const std::string path = add_device("Keyboard");
    BusctlBluez bluez;
    ASSERT_TRUE(bluez.set_trusted(path, true).has_value());
    // An alias that looks like an option or a shell command is one argument and stays what it is.
    const std::string alias = "-x Desk keyboard; $(reboot)";
    ASSERT_TRUE(bluez.set_alias(path, alias).has_value());
    const auto device = find(bluez, path);
    ASSERT_TRUE(device.has_value());
    EXPECT_TRUE(device->trusted);
    EXPECT_EQ(device->name, alias);
    if (const auto info = bluetoothctl_info(path)) {
        EXPECT_THAT(*info, HasSubstr("Trusted: yes"));
        EXPECT_THAT(*info, HasSubstr("Alias: " + alias));
    }
    ASSERT_TRUE(bluez.set_trusted(path, false).has_value());
    EXPECT_FALSE(find(bluez, path)->trusted);
}

TEST_F(MockedBluezTest, ForgetRemovesTheDevice)
{
    const std::string path = add_device("Old phone");
    BusctlBluez bluez;
    ASSERT_TRUE(bluez.forget(path).has_value());
    EXPECT_FALSE(find(bluez, path).has_value());
    EXPECT_EQ(bluez.forget(path).error(), "the device is no longer available");
}

TEST(MockedBluezAbsentTest, NoServiceAndNoAdapterAreClearErrors)
{
    if (!test_buses::have_program("busctl")) {
        GTEST_SKIP() << "busctl is not installed";
    }
    auto buses = test_buses::PrivateBuses::start();
    if (!buses) {
        GTEST_SKIP() << buses.error();
    }
    BusctlBluez bluez;
    EXPECT_EQ(bluez.devices().error(), "the Bluetooth service is not running");
    EXPECT_EQ(bluez.start_scan().error(), "the Bluetooth service is not running");

    auto mock = test_buses::DbusMock::start(**buses, {.template_name = "bluez5", .bus_name = "org.bluez"});
    if (!mock) {
        GTEST_SKIP() << mock.error();
    }
    EXPECT_EQ(bluez.devices().error(), "no Bluetooth adapter was found");
    EXPECT_EQ(bluez.is_powered().error(), "no Bluetooth adapter was found");
    EXPECT_EQ(bluez.set_powered(true).error(), "no Bluetooth adapter was found");
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
