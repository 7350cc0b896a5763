// The Dispatcher's and TimeBackend's default operations hand their arguments to the system layer and answer its
// answer unchanged.

#include "system_ops/dispatcher.hpp"
#include "system_ops/bluez.hpp"
#include "system_ops/display.hpp"
#include "system_ops/power.hpp"
#include "system_ops/network.hpp"
#include "system_ops/time.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace system_ops {
namespace {

// Keeps every own operation trivial so that only the defaults are under test.
class PageFake final : public Dispatcher {
public:
    Status set_brightness(float /*percent*/) override { return {}; }
    Status set_volume(float /*percent*/) override { return {}; }
    Status set_wifi(bool /*enabled*/) override { return {}; }
    Status set_bluetooth(bool /*enabled*/) override { return {}; }
    Status connect_bluetooth(std::string_view /*device*/) override { return {}; }
    Status disconnect_bluetooth(std::string_view /*device*/) override { return {}; }
    Status set_wired(bool /*enabled*/) override { return {}; }
    Status connect_wifi(std::string_view /*ssid*/, std::optional<std::string_view> /*password*/) override { return {}; }
    Status set_power_profile(PowerProfile /*profile*/) override { return {}; }
    Status toggle_mute() override { return {}; }
};

class PageTime final : public TimeBackend {
public:
    Status set_ntp(bool /*enabled*/) override { return {}; }
};

TEST(DispatcherDefaults, ForwardArgumentsAndAnswersUnchanged)
{
    std::vector<std::string> calls;
    Status answer = std::unexpected(std::string("Error: Connection 'Office' is not available."));
    SystemCalls table;
    auto record = [&](std::string call) {
        calls.push_back(std::move(call));
        return answer;
    };
    table.set_airplane_mode = [&](bool on) { return record("airplane " + std::to_string(on)); };
    table.set_hotspot = [&](bool on) { return record("hotspot " + std::to_string(on)); };
    table.set_mobile_broadband = [&](bool on) { return record("broadband " + std::to_string(on)); };
    table.set_vpn_connection = [&](std::string_view name, bool on) {
        return record("vpn " + std::string(name) + " " + std::to_string(on));
    };
    table.set_mute = [&](bool muted) { return record("mute " + std::to_string(muted)); };
    table.set_timezone = [&](std::string_view zone) { return record("zone " + std::string(zone)); };
    const ScopedSystemCalls guard(table);

    PageFake dispatcher;
    PageTime time;
    const std::vector<std::function<Status()>> operations{
        [&] { return dispatcher.set_airplane_mode(true); },
        [&] { return dispatcher.set_hotspot(false); },
        [&] { return dispatcher.set_mobile_broadband(true); },
        [&] { return dispatcher.set_vpn_connection("Office", false); },
        [&] { return dispatcher.set_mute(true); },
        [&] { return time.set_timezone("Europe/Berlin"); },
    };
    for (const auto& operation : operations) {
        EXPECT_EQ(operation(), answer);
    }
    answer = {};
    for (const auto& operation : operations) {
        EXPECT_TRUE(operation().has_value());
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"airplane 1", "hotspot 0", "broadband 1", "vpn Office 0", "mute 1",
                                               "zone Europe/Berlin", "airplane 1", "hotspot 0", "broadband 1",
                                               "vpn Office 0", "mute 1", "zone Europe/Berlin"}));
}

TEST(DispatcherDefaults, MissingBackendIsAClearError)
{
    const ScopedSystemCalls guard(SystemCalls{});
    EXPECT_EQ(RealDispatcher().set_brightness(40.0F), std::unexpected(std::string("brightness control is not available on this system")));
    EXPECT_EQ(PageFake().set_hotspot(true), std::unexpected(std::string("the hotspot is not available on this system")));

    SystemCalls table;
    std::optional<std::string> password_seen;
    table.connect_wifi = [&](std::string_view /*ssid*/, std::optional<std::string_view> password) -> Status {
        password_seen = password ? std::optional<std::string>(*password) : std::nullopt;
        return {};
    };
    const ScopedSystemCalls inner(table);
    EXPECT_TRUE(RealDispatcher().connect_wifi("Home", std::nullopt).has_value());
    EXPECT_EQ(password_seen, std::nullopt);
}

// The installed table reaches the system layer's current backends.
TEST(DispatcherDefaults, ReachTheSystemLayer)
{
    auto network = std::make_shared<network::FakeNetwork>();
    network->change([](network::FakeNetwork::State& state) { state.failure = "NetworkManager is not running"; });
    const ScopedCurrent<network::NetworkService> network_guard(network);
    auto time = std::make_shared<time::FakeTime>();
    const ScopedCurrent<time::TimeService> time_guard(time);
    auto bluetooth = std::make_shared<bluez::FakeBluez>(std::vector<bluez::BluetoothDevice>{
        {.path = "/org/bluez/hci0/dev_00_1B_66_AA_BB_CC", .address = "00:1B:66:AA:BB:CC", .paired = true}});
    const ScopedCurrent<bluez::BluezService> bluetooth_guard(bluetooth);

    EXPECT_EQ(PageFake().set_airplane_mode(true), std::unexpected(std::string("NetworkManager is not running")));
    EXPECT_EQ(RealDispatcher().set_wifi(false), std::unexpected(std::string("NetworkManager is not running")));
    EXPECT_TRUE(PageTime().set_timezone("Europe/Berlin").has_value());
    EXPECT_TRUE(SystemTimeBackend().set_ntp(false).has_value());
    EXPECT_EQ(time->state().timezones_set, std::vector<std::string>{"Europe/Berlin"});
    EXPECT_EQ(time->state().ntp_set, std::vector<bool>{false});

    EXPECT_TRUE(RealDispatcher().set_bluetooth(false).has_value());
    EXPECT_TRUE(RealDispatcher().connect_bluetooth("/org/bluez/hci0/dev_00_1B_66_AA_BB_CC").has_value());
    EXPECT_TRUE(RealDispatcher().disconnect_bluetooth("00:1B:66:AA:BB:CC").has_value());
    EXPECT_EQ(RealDispatcher().connect_bluetooth("11:22:33:44:55:66"),
              std::unexpected(std::string("Device 11:22:33:44:55:66 not available")));
    EXPECT_EQ(bluetooth->calls(), (std::vector<std::string>{"set_powered false", "connect /org/bluez/hci0/dev_00_1B_66_AA_BB_CC",
                                                            "disconnect 00:1B:66:AA:BB:CC", "connect 11:22:33:44:55:66"}));

    auto display = std::make_shared<display::FakeDisplay>();
    const ScopedCurrent<display::DisplayService> display_guard(display);
    auto power = std::make_shared<power::FakePower>();
    const ScopedCurrent<power::PowerService> power_guard(power);
    EXPECT_TRUE(RealDispatcher().set_brightness(35.0F).has_value());
    EXPECT_EQ(display->state().percents_set, std::vector<float>{35.0F});
    EXPECT_TRUE(RealDispatcher().set_power_profile(PowerProfile::Performance).has_value());
    EXPECT_EQ(power->state().active, PowerProfile::Performance);
}

}  // namespace
}  // namespace system_ops
