// The Bluetooth page in the real application window (headless), over the real busctl and bluetoothctl and BlueZ
// mocked by python3-dbusmock on a private system bus: the page lists the mocked device, its Pair and Connect
// buttons pair and connect it, and the power switch turns the adapter off through the section's action.
#include "app/settings_app.hpp"
#include "app/test_support.hpp"
#include "panes/bluetooth/bluetooth_model.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "launch/launch.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "vorn_ui/app.hpp"
#include "test_buses/test_buses.hpp"
#include "vorn_ui/headless.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <thread>

namespace settings::panes::bluetooth {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

const std::string headset_address = "11:22:33:44:55:66";
const std::string headset = "/org/bluez/hci0/dev_11_22_33_44_55_66";

using ::settings::panes::testing::node_with_id;

class BluetoothWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const std::string_view program : {"busctl", "bluetoothctl"}) {
            if (!test_buses::have_program(program)) {
                GTEST_SKIP() << program << " is not installed";
            }
        }
        auto started = test_buses::PrivateBuses::start();
        if (!started) {
            GTEST_SKIP() << started.error();
        }
        buses = std::move(*started);
        auto bluez = test_buses::DbusMock::start(*buses, {.template_name = "bluez5", .bus_name = "org.bluez"});
        if (!bluez) {
            GTEST_SKIP() << bluez.error();
        }
        mock = std::move(*bluez);
    }

    void open_page()
    {
        settings = app::SettingsApp::create();
        window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 800});
        window->frame();
        settings->select_section(Section::Bluetooth);
    }

    // Runs frames until `done` holds (at most 20 s: every step here answers in well under a second).
    bool frames_until(const std::function<bool()>& done)
    {
        return ::settings::panes::testing::frames_until(*window, done, std::chrono::seconds(20));
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    [[nodiscard]] std::optional<nlohmann::ordered_json> control(std::string_view id) const
    {
        return node_with_id(window->accessibility_json(), id);
    }
    void click_control(std::string_view id)
    {
        const auto found = control(id);
        ASSERT_TRUE(found.has_value()) << id;
        const auto& b = (*found)["bounds"];
        window->click(b["x"].get<double>() + b["width"].get<double>() / 2.0,
                      b["y"].get<double>() + b["height"].get<double>() / 2.0);
    }
    // Whether a line of the accessibility dump starts with `line` (states follow in brackets).
    [[nodiscard]] bool has_line(std::string_view line) const
    {
        const auto lines = panes::testing::access_lines(window->accessibility_json());
        return std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(line); });
    }
    [[nodiscard]] static std::string bluetoothctl(std::vector<std::string> args)
    {
        const auto info = cmd_runner::run({.program = "bluetoothctl", .args = std::move(args)});
        if (!info) {
            return "bluetoothctl failed: " + info.error().message;
        }
        return cmd_runner::clean_text(info->stdout_bytes, {.keep_newline = true, .keep_tab = true});
    }

    std::unique_ptr<test_buses::PrivateBuses> buses;
    std::unique_ptr<test_buses::DbusMock> mock;
    app::testing::PrivateHome home;
    page_doc::Document doc;
    std::unique_ptr<app::SettingsApp> settings;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(BluetoothWindowTest, TheMockedHeadsetIsListedThenPairedAndConnectedFromItsButtons)
{
    ASSERT_TRUE(mock->call("/", "org.bluez.Mock.AddAdapter", {"hci0", "my-computer"}));
    ASSERT_TRUE(mock->call("/", "org.bluez.Mock.AddDevice", {"hci0", headset_address, "'Test Headset'"}));
    // The headset is slow to wake after pairing, as real ones may be: the connection that follows the pairing fails
    // once; later connections set Connected as BlueZ does (the template's own Connect leaves the property alone).
    const std::string code =
        "if self.props['org.bluez.Device1']['Connected']:\n"
        "    raise dbus.exceptions.DBusException('Already Connected', name='org.bluez.Error.AlreadyConnected')\n"
        "if not getattr(self, 'woken', False):\n"
        "    self.woken = True\n"
        "    raise dbus.exceptions.DBusException('Page Timeout', name='org.bluez.Error.Failed')\n"
        "self.Set('org.bluez.Device1', 'Connected', True)";
    const auto added = mock->call(headset, "org.freedesktop.DBus.Mock.AddMethod",
                                  {"org.bluez.Device1", "Connect", "''", "''", code});
    ASSERT_TRUE(added) << added.error();

    open_page();
    ASSERT_TRUE(frames_until([&] { return shows("Test Headset"); }));
    EXPECT_TRUE(shows("Nearby"));
    EXPECT_FALSE(shows(app::kPageNotAvailable));

    const std::string pair = main_button_id(headset, "pair");
    ASSERT_TRUE(control(pair).has_value());
    click_control(pair);
    ASSERT_TRUE(frames_until([&] { return shows("Use Connect to retry."); }));
    EXPECT_TRUE(shows("Paired"));
    const std::string connect = main_button_id(headset, "connect");
    ASSERT_TRUE(control(connect).has_value());
    EXPECT_THAT(bluetoothctl({"info", headset_address}), HasSubstr("Paired: yes"));

    click_control(connect);
    ASSERT_TRUE(frames_until([&] { return shows("Connected Test Headset."); }));
    EXPECT_TRUE(control(main_button_id(headset, "disconnect")).has_value());
    const std::string info = bluetoothctl({"info", headset_address});
    EXPECT_THAT(info, HasSubstr("Paired: yes"));
    EXPECT_THAT(info, HasSubstr("Connected: yes"));
}

TEST_F(BluetoothWindowTest, ThePowerSwitchTurnsTheAdapterOffThroughTheSectionsAction)
{
    ASSERT_TRUE(mock->call("/", "org.bluez.Mock.AddAdapter", {"hci0", "my-computer"}));
    open_page();
    ASSERT_TRUE(frames_until([&] { return has_line("toggle Bluetooth = on"); }));
    vorn_ui::app::App loop("so.vorn.settings");
    launch::register_actions(loop);

    // The switch writes its key and sends the action; the page changes the radio only once the application hands
    // it the operation.
    click_control(power_toggle_id);
    EXPECT_EQ(loop.run_control_invocations(window->root(), doc, std::chrono::steady_clock::now()).invocations, 1U);
    ASSERT_TRUE(frames_until([&] {
        (void)loop.poll_operations(window->root(), std::chrono::steady_clock::now());
        return !loop.recent_completions().empty();
    }));
    const auto& completion = loop.recent_completions().back();
    EXPECT_EQ(completion.kind, vorn_ui::OperationCompletion::Kind::Completed) << completion.message;
    ASSERT_TRUE(frames_until([&] { return shows("Bluetooth is off."); }));
    EXPECT_TRUE(has_line("toggle Bluetooth = off"));
    EXPECT_THAT(bluetoothctl({"show"}), HasSubstr("Powered: no"));
}

}  // namespace
}  // namespace settings::panes::bluetooth
