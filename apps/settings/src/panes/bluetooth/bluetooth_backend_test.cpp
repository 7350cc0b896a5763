#include "panes/bluetooth/bluetooth_backend.hpp"
#include "panes/bluetooth/bluetooth_model.hpp"

#include "system_ops/current.hpp"
#include "test_buses/test_buses.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace settings::panes::bluetooth {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(BluezBackendTest, ForwardsToTheCurrentBluetoothService)
{
    const std::string path = "/org/bluez/hci0/dev_00_1B_66_AA_BB_CC";
    auto fake = std::make_shared<system_ops::bluez::FakeBluez>(
        std::vector<BluetoothDevice>{{.path = path, .address = "00:1B:66:AA:BB:CC", .name = "Headset"}});
    const system_ops::ScopedCurrent<system_ops::bluez::BluezService> guard(fake);
    BluezBackend backend;
    EXPECT_EQ(backend.devices().value().at(0).name, "Headset");
    EXPECT_EQ(backend.pair(path).kind, PairResultKind::PairedConnected);
    EXPECT_TRUE(backend.set_alias(path, "Living room").has_value());
    EXPECT_TRUE(backend.forget(path).has_value());
    EXPECT_THAT(fake->calls(), ElementsAre("pair " + path, "set_alias " + path + " Living room", "forget " + path));
}

TEST(BluetoothWorkersTest, ActionsRunInOrderAwayFromTheCallerAndAPairingDoesNotWaitForThem)
{
    // Shared with the workers, which outlive a failing test.
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<int> order;
        std::vector<std::thread::id> threads;
        bool released = false;
    };
    auto shared = std::make_shared<Shared>();
    const auto workers = BluetoothWorkers::background();
    const auto record = [shared](int step) {
        const std::lock_guard lock(shared->mutex);
        shared->order.push_back(step);
        shared->threads.push_back(std::this_thread::get_id());
        shared->changed.notify_all();
    };
    // The first action waits until the pairing has run.
    workers.actions([shared, record] {
        bool released = false;
        {
            std::unique_lock lock(shared->mutex);
            released = shared->changed.wait_for(lock, 30s, [&] { return shared->released; });
        }
        record(released ? 1 : -1);
    });
    for (int step = 2; step <= 4; ++step) {
        workers.actions([record, step] { record(step); });
    }
    workers.pairing([shared] {
        const std::lock_guard lock(shared->mutex);
        shared->released = true;
        shared->changed.notify_all();
    });
    std::unique_lock lock(shared->mutex);
    ASSERT_TRUE(shared->changed.wait_for(lock, 30s, [&] { return shared->order.size() == 4; }));
    EXPECT_THAT(shared->order, ElementsAre(1, 2, 3, 4));
    EXPECT_NE(shared->threads.front(), std::this_thread::get_id());
}

// The page's model over the real busctl and a mocked BlueZ, with the real workers: what the user sees after
// pressing Pair, then Disconnect and Connect.
TEST(BluetoothPageOverMockedBluezTest, PairThenConnectReachBluez)
{
    if (!test_buses::have_program("busctl")) {
        GTEST_SKIP() << "busctl is not installed";
    }
    auto buses = test_buses::PrivateBuses::start();
    if (!buses) {
        GTEST_SKIP() << buses.error();
    }
    auto mock = test_buses::DbusMock::start(**buses, {.template_name = "bluez5", .bus_name = "org.bluez"});
    if (!mock) {
        GTEST_SKIP() << mock.error();
    }
    ASSERT_TRUE((*mock)->call("/", "org.bluez.Mock.AddAdapter", {"hci0", "my-computer"}));
    ASSERT_TRUE((*mock)->call("/", "org.bluez.Mock.AddDevice", {"hci0", "11:22:33:44:55:66", "'Test Headset'"}));
    const std::string path = "/org/bluez/hci0/dev_11_22_33_44_55_66";
    // The template's Connect and Disconnect leave the Connected property alone; these keep it true to BlueZ.
    const std::string connected = "self.props['org.bluez.Device1']['Connected']";
    const std::vector<std::pair<std::string, std::string>> methods = {
        {"Connect", "if " + connected +
                        ":\n    raise dbus.exceptions.DBusException('Already Connected', "
                        "name='org.bluez.Error.AlreadyConnected')\nself.Set('org.bluez.Device1', 'Connected', True)"},
        {"Disconnect", "if not " + connected +
                           ":\n    raise dbus.exceptions.DBusException('Not Connected', "
                           "name='org.bluez.Error.NotConnected')\nself.Set('org.bluez.Device1', 'Connected', False)"}};
    for (const auto& [method, code] : methods) {
        const auto added = (*mock)->call(path, "org.freedesktop.DBus.Mock.AddMethod",
                                         {"org.bluez.Device1", method, "''", "''", code});
        ASSERT_TRUE(added) << added.error();
    }

    BluetoothModel model(std::make_shared<system_ops::bluez::BusctlBluez>(), BluetoothWorkers::background());
    page_doc::Document doc;
    const auto settle = [&] {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        do {
            model.sync(doc);
            if (!model.loading() && model.work_in_flight() == 0) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        } while (std::chrono::steady_clock::now() < deadline);
        return false;
    };
    ASSERT_TRUE(settle());
    ASSERT_EQ(model.devices().size(), 1U);
    EXPECT_EQ(main_action(model.devices()[0], model.pairing_device()).label, "Pair");

    doc.put_bool(bluetooth_device_widget_id(path, "pair"), true);
    ASSERT_TRUE(settle());
    EXPECT_EQ(model.status_text(), "Test Headset is paired and connected.");
    EXPECT_TRUE(model.devices()[0].paired);
    EXPECT_TRUE(model.devices()[0].connected);
    EXPECT_EQ(main_action(model.devices()[0], model.pairing_device()).label, "Disconnect");

    doc.put_bool(bluetooth_device_widget_id(path, "disconnect"), true);
    ASSERT_TRUE(settle());
    EXPECT_EQ(model.status_text(), "Disconnected Test Headset.");
    EXPECT_EQ(main_action(model.devices()[0], model.pairing_device()).label, "Connect");
    doc.put_bool(bluetooth_device_widget_id(path, "connect"), true);
    ASSERT_TRUE(settle());
    EXPECT_EQ(model.status_text(), "Connected Test Headset.");
    EXPECT_TRUE(model.devices()[0].connected);

    if (test_buses::have_program("bluetoothctl")) {
        const auto info = cmd_runner::run({.program = "bluetoothctl", .args = {"info", "11:22:33:44:55:66"}});
        ASSERT_TRUE(info.has_value());
        const std::string text = cmd_runner::clean_text(info->stdout_bytes, {.keep_newline = true, .keep_tab = true});
        EXPECT_THAT(text, HasSubstr("Paired: yes"));
        EXPECT_THAT(text, HasSubstr("Connected: yes"));
    }
}

}  // namespace
}  // namespace settings::panes::bluetooth
