#include "system_ops/network.hpp"
#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace system_ops::network {
namespace {

using system_ops::testing::Answer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* device_list = "-t -f DEVICE,TYPE,STATE,CONNECTION device";
constexpr const char* vpn_list = "-t -f NAME,UUID,TYPE,ACTIVE connection show";
constexpr const char* office_uuid = "11111111-1111-4111-8111-111111111111";

class NmcliTest : public system_ops::testing::FakeTools {
protected:
    NmcliNetwork network{cmd_runner::system_runner()};
};

TEST_F(NmcliTest, RadioStateCombinesRadiosModemsAndAccessPoints)
{
    tool("nmcli", {{.args = "-t -f WIFI radio", .out = "disabled\n"},
                   {.args = "-t -f WIFI-HW,WIFI,WWAN-HW,WWAN radio", .out = "enabled:disabled:enabled:disabled\n"},
                   {.args = "-t -f TYPE device", .out = "ethernet\nwifi\ngsm\nloopback\n"},
                   {.args = "-t -f UUID,TYPE connection show --active",
                    .out = "5f2a0c1e-0000-4000-8000-00000000000a:802-11-wireless\n"
                           "7d1b0c1e-0000-4000-8000-00000000000b:802-3-ethernet\n"},
                   {.args = "-g 802-11-wireless.mode connection show uuid 5f2a0c1e-0000-4000-8000-00000000000a",
                    .out = "ap\n"}});
    EXPECT_EQ(network.get_wifi(), false);
    const auto radio = network.get_radio_state();
    ASSERT_TRUE(radio.has_value()) << radio.error();
    EXPECT_EQ(*radio, (RadioState{.wifi_hardware_enabled = true,
                                  .wifi_enabled = false,
                                  .airplane_mode = true,
                                  .mobile_broadband_available = true,
                                  .mobile_broadband = false,
                                  .hotspot_active = true}));
}

TEST_F(NmcliTest, WifiNetworksAreMergedPerNameAndSorted)
{
    // Terse output: ":" inside a value is escaped, open networks have an empty SECURITY, hidden ones an empty SSID.
    tool("nmcli", {{.args = "-t -f IN-USE,SSID,SECURITY,SIGNAL device wifi list --rescan auto",
                    .out = " :Cafe Libre::40\n"
                           " :Home\\:5G:WPA2:55\n"
                           "*:Home\\:5G:WPA2:71\n"
                           " :::90\n"
                           " :Campus:WPA2 802.1X:64\n"
                           " :Home\\:5G:WPA2:30\n"
                           " :Caf\xc3\xa9 \xe2\x98\x95:WPA1 WPA2:64\n"}});
    const auto networks = network.list_wifi_networks();
    ASSERT_TRUE(networks.has_value()) << networks.error();
    EXPECT_THAT(*networks,
                ElementsAre(WifiNetwork{.ssid = "Home:5G", .security = "WPA2", .signal = 71, .in_use = true},
                            WifiNetwork{.ssid = "Campus", .security = "WPA2 802.1X", .signal = 64},
                            WifiNetwork{.ssid = "Caf\xc3\xa9 \xe2\x98\x95", .security = "WPA1 WPA2", .signal = 64},
                            WifiNetwork{.ssid = "Cafe Libre", .signal = 40}));
    EXPECT_TRUE(networks->at(1).enterprise());
    EXPECT_TRUE(networks->at(3).open());

    tool("nmcli", {{.args = "*", .err = "Error: NetworkManager is not running.\n", .code = 8}});
    EXPECT_EQ(network.list_wifi_networks().error(), "NetworkManager is not running.");
}

TEST_F(NmcliTest, RadioSwitchesMapToNmcliRadioCommands)
{
    tool("nmcli", {{.args = "*"}});
    EXPECT_TRUE(network.set_wifi(true).has_value());
    EXPECT_TRUE(network.set_airplane_mode(true).has_value());
    EXPECT_TRUE(network.set_airplane_mode(false).has_value());
    EXPECT_TRUE(network.set_mobile_broadband(false).has_value());
    EXPECT_THAT(call_lines(), ElementsAre("nmcli radio wifi on", "nmcli radio all off", "nmcli radio all on",
                                          "nmcli radio wwan off"));
}

TEST_F(NmcliTest, WiredDeviceIsTheFirstManagedEthernetDevice)
{
    tool("nmcli", {{.args = device_list,
                    .out = "docker0:bridge:connected (externally):docker0\n"
                           "enp0s31f6:ethernet:unmanaged:\n"
                           "enp3s0:ethernet:connected:Wired connection\\: office\n"
                           "wlp2s0:wifi:disconnected:\n"
                           "lo:loopback:connected (externally):lo\n"},
                   {.args = "-g IP4.ADDRESS device show enp3s0", .out = "192.168.1.23/24 | 10.0.0.5/8\n"},
                   {.args = "-w 55 device disconnect enp3s0"}});
    const auto wired = network.get_wired();
    ASSERT_TRUE(wired.has_value()) << wired.error();
    ASSERT_TRUE(wired->has_value());
    EXPECT_EQ(**wired, (WiredDevice{.interface = "enp3s0",
                                    .connection = "Wired connection: office",
                                    .ipv4_address = "192.168.1.23",
                                    .enabled = true}));
    EXPECT_TRUE(network.set_wired(false).has_value());
    EXPECT_EQ(call_lines().back(), "nmcli -w 55 device disconnect enp3s0");
}

TEST_F(NmcliTest, NoWiredDeviceIsNotAnError)
{
    tool("nmcli", {{.args = device_list, .out = "wlp2s0:wifi:disconnected:\neth9:ethernet:unavailable:\n"}});
    auto wired = network.get_wired();
    ASSERT_TRUE(wired.has_value()) << wired.error();
    ASSERT_TRUE(wired->has_value());
    EXPECT_FALSE((*wired)->enabled);  // unplugged cable: a device, switched off

    tool("nmcli", {{.args = device_list, .out = "wlp2s0:wifi:disconnected:\n"}});
    wired = network.get_wired();
    ASSERT_TRUE(wired.has_value());
    EXPECT_FALSE(wired->has_value());
    EXPECT_EQ(network.set_wired(true).error(), "no wired network device was found");
}

TEST_F(NmcliTest, ToolErrorsBecomeOneCleanSentence)
{
    tool("nmcli", {{.args = "*", .err = "Error: NetworkManager is not running.\n", .code = 8}});
    EXPECT_EQ(network.get_wifi().error(), "NetworkManager is not running.");
    EXPECT_EQ(network.get_wired().error(), "NetworkManager is not running.");
    EXPECT_EQ(network.set_airplane_mode(true).error(), "NetworkManager is not running.");

    tool("nmcli", {{.args = "-t -f WIFI radio", .out = "\x1b[31mweird\x1b[0m\n"}});
    EXPECT_EQ(network.get_wifi().error(), "nmcli reported an unreadable Wi-Fi state \"weird\"");
}

TEST_F(NmcliTest, VpnConnectionsAreSwitchedByUuid)
{
    tool("nmcli", {{.args = vpn_list,
                    .out = "Wired connection 1:8e2c0000-0000-4000-8000-000000000001:802-3-ethernet:yes\n"
                           "Office\\:VPN:11111111-1111-4111-8111-111111111111:vpn:no\n"
                           "wg0:22222222-2222-4222-8222-222222222222:wireguard:yes\n"
                           "Twin:33333333-3333-4333-8333-333333333333:vpn:no\n"
                           "Twin:44444444-4444-4444-8444-444444444444:vpn:no\n"},
                   {.args = std::string("-w 55 connection up uuid ") + office_uuid,
                    .err = "Error: Connection activation failed: Secrets were required, but not provided.\n"
                           "Hint: use 'journalctl -xe NM_CONNECTION=11111111-1111-4111-8111-111111111111 + "
                           "NM_DEVICE=' to get more details.\n",
                    .code = 4},
                   {.args = "-w 55 connection down uuid 22222222-2222-4222-8222-222222222222"}});
    const auto vpns = network.list_vpn_connections();
    ASSERT_TRUE(vpns.has_value()) << vpns.error();
    ASSERT_EQ(vpns->size(), 4U);
    EXPECT_EQ(vpns->at(0), (VpnConnection{.name = "Office:VPN", .uuid = office_uuid, .kind = "vpn", .active = false}));
    EXPECT_EQ(vpns->at(1).kind, "wireguard");

    EXPECT_EQ(network.set_vpn_connection("Office:VPN", true).error(),
              "Connection activation failed: Secrets were required, but not provided.");
    EXPECT_TRUE(network.set_vpn_connection("wg0", false).has_value());
    EXPECT_TRUE(network.set_vpn_connection("wg0", true).has_value());  // already up: nothing to run
    EXPECT_EQ(network.set_vpn_connection("Twin", true).error(), "more than one VPN connection is named \"Twin\"");
    EXPECT_EQ(network.set_vpn_connection("Gone", true).error(), "VPN connection \"Gone\" no longer exists");

    std::vector<std::string> switches;
    for (const auto& line : call_lines()) {
        if (line.find("connection up") != std::string::npos || line.find("connection down") != std::string::npos) {
            switches.push_back(line);
        }
    }
    EXPECT_THAT(switches, ElementsAre(std::string("nmcli -w 55 connection up uuid ") + office_uuid,
                                      "nmcli -w 55 connection down uuid 22222222-2222-4222-8222-222222222222"));
}

TEST_F(NmcliTest, HotspotStartsItsProfileAndStopsEveryAccessPoint)
{
    const std::string hotspot_uuid = "9a9a9a9a-0000-4000-8000-000000000009";
    tool("nmcli", {{.args = "-t -f NAME,UUID,TYPE connection show",
                    .out = "Home:1b1b1b1b-0000-4000-8000-000000000001:802-11-wireless\n"
                           "Vorn Hotspot:" + hotspot_uuid + ":802-11-wireless\n"},
                   {.args = "-w 55 connection up uuid " + hotspot_uuid},
                   {.args = "-t -f UUID,TYPE connection show --active", .out = hotspot_uuid + ":802-11-wireless\n"},
                   {.args = "-g 802-11-wireless.mode connection show uuid " + hotspot_uuid, .out = "ap\n"},
                   {.args = "-w 55 connection down uuid " + hotspot_uuid}});
    EXPECT_TRUE(network.set_hotspot(true).has_value());
    EXPECT_TRUE(network.set_hotspot(false).has_value());
    EXPECT_EQ(call_lines()[1], "nmcli -w 55 connection up uuid " + hotspot_uuid);
    EXPECT_EQ(call_lines().back(), "nmcli -w 55 connection down uuid " + hotspot_uuid);

    tool("nmcli", {{.args = "-t -f NAME,UUID,TYPE connection show", .out = "Home:1b1b:802-11-wireless\n"}});
    EXPECT_EQ(network.set_hotspot(true).error(), "the hotspot has not been set up yet");
}

class WifiJoinTest : public NmcliTest {
protected:
    static constexpr const char* uuid = "0a1b2c3d-0000-4000-8000-000000000001";
    static constexpr const char* scan = "-t -f SSID,SECURITY device wifi list --rescan no";

    static std::string add_for(const std::string& ssid, const std::string& key_mgmt)
    {
        return "connection add type wifi ifname * con-name " + ssid + " ssid " + ssid + " wifi-sec.key-mgmt " +
               key_mgmt + " wifi-sec.psk-flags 0";
    }
    static Answer added()
    {
        return {.args = "", .out = std::string("Connection 'x' (") + uuid + ") successfully added.\n"};
    }

    void expect_secret_only_on_stdin(const std::string& secret)
    {
        for (const auto& call : calls()) {
            for (const auto& arg : call) {
                EXPECT_EQ(arg.find(secret), std::string::npos) << "secret in the arguments: " << arg;
            }
        }
    }
};

TEST_F(WifiJoinTest, PasswordGoesToNmcliOnStandardInputOnly)
{
    const std::string password = "s3cret pass'; rm -rf ~";
    auto add = added();
    add.args = add_for("Home Net", "wpa-psk");
    tool("nmcli", {{.args = scan, .out = "Home Net:WPA2\nCafe:\nOther\\:Net:WPA1 WPA2\n"},
                   add,
                   {.args = std::string("-w 55 connection up uuid ") + uuid + " passwd-file /dev/stdin",
                    .out = "Connection successfully activated (D-Bus active path: "
                           "/org/freedesktop/NetworkManager/ActiveConnection/7)\n"}});

    const auto joined = network.connect_wifi("Home Net", password);
    ASSERT_TRUE(joined.has_value()) << joined.error();
    ASSERT_EQ(calls().size(), 3U);
    expect_secret_only_on_stdin(password);
    EXPECT_EQ(stdin_of(2), "802-11-wireless-security.psk:" + password + "\n");
}

TEST_F(WifiJoinTest, FailedActivationRemovesTheNewProfile)
{
    auto add = added();
    add.args = add_for("Lab", "sae");
    tool("nmcli", {{.args = scan, .out = "Lab:WPA3\n"},
                   add,
                   {.args = std::string("-w 55 connection up uuid ") + uuid + " passwd-file /dev/stdin",
                    .err = "Error: Connection activation failed: (7) Secrets were required, but not provided.\n",
                    .code = 4},
                   {.args = std::string("connection delete uuid ") + uuid,
                    .out = "Connection 'Lab' (...) successfully deleted.\n"}});
    const auto joined = network.connect_wifi("Lab", "correct horse");
    ASSERT_FALSE(joined.has_value());
    EXPECT_EQ(joined.error(), "Connection activation failed: (7) Secrets were required, but not provided.");
    EXPECT_EQ(call_lines().back(), std::string("nmcli connection delete uuid ") + uuid);
    expect_secret_only_on_stdin("correct horse");
}

TEST_F(WifiJoinTest, OpenNetworksAndHiddenNetworks)
{
    auto add = added();
    add.args = "connection add type wifi ifname * con-name Hidden ssid Hidden 802-11-wireless.hidden yes "
               "wifi-sec.key-mgmt wpa-psk wifi-sec.psk-flags 0";
    tool("nmcli", {{.args = scan, .out = "Cafe:\n"},
                   {.args = "-w 55 device wifi connect Cafe"},
                   add,
                   {.args = std::string("-w 55 connection up uuid ") + uuid + " passwd-file /dev/stdin"}});
    EXPECT_TRUE(network.connect_wifi("Cafe", std::nullopt).has_value());
    EXPECT_TRUE(network.connect_wifi("Cafe", "ignored password").has_value());  // open: no secret is sent
    EXPECT_TRUE(network.connect_wifi("Hidden", "hidden pass").has_value());
    EXPECT_THAT(calls().size(), 7U);
    EXPECT_EQ(stdin_of(3), "");
}

TEST_F(WifiJoinTest, UnusablePasswordsAndNamesAreRefusedBeforeAnyCommand)
{
    tool("nmcli", {{.args = "*"}});
    EXPECT_EQ(network.connect_wifi("Home", "short").error(), "the Wi-Fi password must be 8 to 63 characters long");
    EXPECT_EQ(network.connect_wifi("Home", std::string(64, 'x')).error(),
              "the Wi-Fi password must be 8 to 63 characters long");
    EXPECT_EQ(network.connect_wifi("Home", "line\nbreak!").error(),
              "the Wi-Fi password must not contain control characters");
    EXPECT_EQ(network.connect_wifi("", std::nullopt).error(), "a Wi-Fi network name must be 1 to 32 bytes long");
    EXPECT_EQ(network.connect_wifi(std::string(33, 'n'), std::nullopt).error(),
              "a Wi-Fi network name must be 1 to 32 bytes long");
    EXPECT_THAT(calls(), IsEmpty());

    tool("nmcli", {{.args = scan, .out = "Corp:WPA2 802.1X\nOld:WEP\n"}});
    EXPECT_THAT(network.connect_wifi("Corp", "password1").error(), HasSubstr("802.1X"));
    EXPECT_THAT(network.connect_wifi("Old", "password1").error(), HasSubstr("WEP"));
}

TEST(FakeNetworkTest, BehavesLikeAMachine)
{
    auto fake = std::make_shared<FakeNetwork>();
    const ScopedCurrent<NetworkService> guard(fake);
    EXPECT_TRUE(set_airplane_mode(true).has_value());
    EXPECT_EQ(get_wifi(), false);
    EXPECT_EQ(set_hotspot(true).error(), "the hotspot has not been set up yet");
    fake->change([](FakeNetwork::State& s) { s.failure = "NetworkManager is not running."; });
    EXPECT_EQ(get_wired().error(), "NetworkManager is not running.");
}

}  // namespace
}  // namespace system_ops::network
