// The Network page in the real application window (headless), over the real nmcli and NetworkManager mocked by
// python3-dbusmock on a private system bus (a Wi-Fi device with two networks in range, an ethernet device): the
// first page the window shows lists the connectivity, the networks and the wired device, and its Wi-Fi switch turns
// the radio off through the section's action.
#include "app/settings_app.hpp"
#include "app/test_support.hpp"
#include "panes/network/network_pane.hpp"
#include "panes/network/test_support.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "launch/launch.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "test_buses/test_buses.hpp"
#include "vorn_ui/app.hpp"
#include "vorn_ui/headless.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

namespace settings::panes::network {
namespace {

using testing::node_with_id;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

constexpr const char* wifi_device = "/org/freedesktop/NetworkManager/Devices/mock_WiFi1";
constexpr const char* mock_iface = "org.freedesktop.DBus.Mock";

class NetworkWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test_buses::have_program("nmcli")) {
            GTEST_SKIP() << "nmcli is not installed";
        }
        auto started = test_buses::PrivateBuses::start();
        if (!started) {
            GTEST_SKIP() << started.error();
        }
        buses = std::move(*started);
        auto nm = test_buses::DbusMock::start(*buses, {.template_name = "networkmanager",
                                                        .bus_name = "org.freedesktop.NetworkManager",
                                                        .parameters = R"({"Version":"1.42.4"})"});
        if (!nm) {
            GTEST_SKIP() << nm.error();
        }
        mock = std::move(*nm);
        const auto call = [&](const std::string& path, const std::string& method, const std::vector<std::string>& args) {
            const auto reply = mock->call(path, std::string(mock_iface) + "." + method, args);
            ASSERT_TRUE(reply) << method << ": " << reply.error();
        };
        call("/org/freedesktop", "AddEthernetDevice", {"mock_Ethernet1", "eth0", "100"});
        call("/org/freedesktop", "AddWiFiDevice", {"mock_WiFi1", "wlan0", "100"});
        call("/org/freedesktop", "AddAccessPoint",
             {wifi_device, "mock_AP1", "HomeNet", "11:22:33:44:55:66", "2", "2437", "54000", "82", "256"});
        call("/org/freedesktop", "AddAccessPoint",
             {wifi_device, "mock_AP2", "CafeOpen", "11:22:33:44:55:77", "2", "2437", "54000", "40", "0"});
        // A scan nmcli sees as fresh (milliseconds since boot), and Wi-Fi hardware that is present.
        std::ifstream uptime("/proc/uptime");
        double seconds = 0;
        uptime >> seconds;
        call(wifi_device, "AddProperty",
             {"org.freedesktop.NetworkManager.Device.Wireless", "LastScan",
              "<int64 " + std::to_string(static_cast<long long>(seconds * 1000) + 600000) + ">"});
        call("/org/freedesktop/NetworkManager", "AddProperty", {"org.freedesktop.NetworkManager", "RadioFlags", "<uint32 3>"});
    }

    void open_window()
    {
        settings = app::SettingsApp::create();
        window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 2400});
        window->frame();
    }

    // Runs frames until `done` holds (at most 20 s: every step here answers in well under a second).
    bool frames_until(const std::function<bool()>& done)
    {
        return ::settings::panes::testing::frames_until(*window, done, std::chrono::seconds(20));
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool has_line(std::string_view text) const
    {
        return std::ranges::any_of(lines(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
    void click_control(std::string_view id)
    {
        const auto found = node_with_id(window->accessibility_json(), id);
        ASSERT_TRUE(found.has_value()) << id;
        const auto& b = (*found)["bounds"];
        window->click(b["x"].get<double>() + b["width"].get<double>() / 2.0,
                      b["y"].get<double>() + b["height"].get<double>() / 2.0);
    }
    [[nodiscard]] static std::string nmcli(std::vector<std::string> args)
    {
        const auto out = cmd_runner::run({.program = "nmcli", .args = std::move(args)});
        if (!out) {
            return "nmcli failed: " + out.error().message;
        }
        return cmd_runner::clean_text(out->stdout_bytes, {.keep_newline = true});
    }

    std::unique_ptr<test_buses::PrivateBuses> buses;
    std::unique_ptr<test_buses::DbusMock> mock;
    app::testing::PrivateHome home;
    page_doc::Document doc;
    std::unique_ptr<app::SettingsApp> settings;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(NetworkWindowTest, TheFirstPageShowsTheMockedNetworkAndItsWifiSwitchTurnsTheRadioOff)
{
    open_window();
    ASSERT_TRUE(frames_until([&] { return shows("Connected to the internet") && has_line("HomeNet"); }))
        << ::testing::PrintToString(lines());
    EXPECT_TRUE(has_line("CafeOpen"));
    EXPECT_TRUE(has_line("toggle Wi-Fi = on"));
    EXPECT_TRUE(has_line("toggle Wired")) << "the ethernet device has its switch";

    vorn_ui::app::App loop("so.vorn.settings");
    launch::register_actions(loop);
    click_control(wifi_toggle_id);
    EXPECT_EQ(loop.run_control_invocations(window->root(), doc, std::chrono::steady_clock::now()).invocations, 1U);
    ASSERT_TRUE(frames_until([&] {
        (void)loop.poll_operations(window->root(), std::chrono::steady_clock::now());
        return !loop.recent_completions().empty();
    }));
    const auto& completion = loop.recent_completions().back();
    EXPECT_EQ(completion.kind, vorn_ui::OperationCompletion::Kind::Completed) << completion.message;
    ASSERT_TRUE(frames_until([&] { return shows("Wi-Fi is off"); }));
    EXPECT_TRUE(has_line("toggle Wi-Fi = off"));
    EXPECT_FALSE(has_line("HomeNet"));
    EXPECT_THAT(nmcli({"radio", "wifi"}), HasSubstr("disabled"));
}

}  // namespace
}  // namespace settings::panes::network
