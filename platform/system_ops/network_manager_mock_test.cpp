// The network layer with the real nmcli against python3-dbusmock's NetworkManager on a private system bus: a Wi-Fi
// device with two access points, an ethernet device and a saved Wi-Fi connection.
#include "system_ops/network.hpp"
#include "system_ops/network_connections.hpp"
#include "test_buses/test_buses.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace system_ops::network {
namespace {

using ::testing::Contains;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* wifi_device = "/org/freedesktop/NetworkManager/Devices/mock_WiFi1";
constexpr const char* mock_iface = "org.freedesktop.DBus.Mock";

class NetworkManagerMock : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!test_buses::have_program("nmcli")) {
            skip_reason() = "nmcli is not installed";
            return;
        }
        auto buses = test_buses::PrivateBuses::start();
        if (!buses) {
            skip_reason() = buses.error();
            return;
        }
        auto nm = test_buses::DbusMock::start(**buses, {.template_name = "networkmanager",
                                                        .bus_name = "org.freedesktop.NetworkManager",
                                                        .parameters = R"({"Version":"1.42.4"})"});
        if (!nm) {
            skip_reason() = nm.error();
            return;
        }
        buses_ = std::move(*buses);
        nm_ = std::move(*nm);
        const auto mock = [](const std::string& method, const std::vector<std::string>& args) {
            const auto reply = nm_->call("/org/freedesktop", std::string(mock_iface) + "." + method, args);
            ASSERT_TRUE(reply) << method << ": " << reply.error();
        };
        mock("AddEthernetDevice", {"mock_Ethernet1", "eth0", "100"});
        mock("AddWiFiDevice", {"mock_WiFi1", "wlan0", "100"});
        mock("AddAccessPoint", {wifi_device, "mock_AP1", "HomeNet", "11:22:33:44:55:66", "2", "2437", "54000", "82",
                                "256"});
        mock("AddAccessPoint", {wifi_device, "mock_AP2", "CafeOpen", "11:22:33:44:55:77", "2", "2437", "54000", "40",
                                "0"});
        mock("AddWiFiConnection", {wifi_device, "mock_Con1", "HomeNet", "wpa-psk"});
        // A scan that nmcli sees as fresh (its clock: milliseconds since boot), so that listing does not wait for
        // a new one; and Wi-Fi hardware that is present.
        std::ifstream uptime("/proc/uptime");
        double seconds = 0;
        uptime >> seconds;
        ASSERT_TRUE(nm_->call(wifi_device, std::string(mock_iface) + ".AddProperty",
                              {"org.freedesktop.NetworkManager.Device.Wireless", "LastScan",
                               "<int64 " + std::to_string(static_cast<long long>(seconds * 1000) + 600000) + ">"}));
        ASSERT_TRUE(nm_->call("/org/freedesktop/NetworkManager", std::string(mock_iface) + ".AddProperty",
                              {"org.freedesktop.NetworkManager", "RadioFlags", "<uint32 3>"}));
        allow_updates("/org/freedesktop/NetworkManager/Settings/mock_Con1");
    }

    static void TearDownTestSuite()
    {
        nm_.reset();
        buses_.reset();
    }

    void SetUp() override
    {
        if (!skip_reason().empty()) {
            GTEST_SKIP() << skip_reason();
        }
    }

    // The template's connections lack Update2, which `nmcli connection modify` calls; it replaces the settings.
    static void allow_updates(const std::string& path)
    {
        const auto added = nm_->call(path, std::string(mock_iface) + ".AddMethod",
                                     {"org.freedesktop.NetworkManager.Settings.Connection", "Update2",
                                      "a{sa{sv}}ua{sv}", "a{sv}", "self.settings.clear(); self.ConnectionUpdate(self, args[0]); ret = {}"});
        ASSERT_TRUE(added) << added.error();
    }

    // Adds a saved profile the way another program would; `settings` are extra GVariant-text setting groups.
    static void add_profile(const std::string& name, const std::string& type, const std::string& uuid,
                            const std::string& settings)
    {
        const auto path = nm_->call("/org/freedesktop/NetworkManager/Settings",
                                    "org.freedesktop.NetworkManager.Settings.AddConnection",
                                    {"{'connection': {'id': <'" + name + "'>, 'type': <'" + type + "'>, 'uuid': <'" +
                                     uuid + "'>, 'autoconnect': <false>}" + settings + "}"});
        ASSERT_TRUE(path) << path.error();
        const auto open = path->find('\'');
        allow_updates(path->substr(open + 1, path->find('\'', open + 1) - open - 1));
    }

    static std::string& skip_reason()
    {
        static std::string reason;
        return reason;
    }

    static inline std::unique_ptr<test_buses::PrivateBuses> buses_;
    static inline std::unique_ptr<test_buses::DbusMock> nm_;

    NmcliNetwork network{cmd_runner::system_runner()};
    NmcliConnections connections{cmd_runner::system_runner()};
};

TEST_F(NetworkManagerMock, WifiListRadioSwitchesAndJoiningAnOpenNetwork)
{
    const auto networks = network.list_wifi_networks();
    ASSERT_TRUE(networks) << networks.error();
    EXPECT_THAT(*networks, Contains(WifiNetwork{.ssid = "HomeNet", .security = "WPA1 WPA2", .signal = 82}));
    EXPECT_THAT(*networks, Contains(WifiNetwork{.ssid = "CafeOpen", .signal = 40}));

    ASSERT_TRUE(network.set_wifi(false));
    EXPECT_EQ(network.get_wifi(), false);
    ASSERT_TRUE(network.set_wifi(true));
    EXPECT_EQ(network.get_wifi(), true);
    ASSERT_TRUE(network.set_airplane_mode(true));
    EXPECT_EQ(network.get_wifi(), false);
    ASSERT_TRUE(network.set_airplane_mode(false));
    EXPECT_EQ(network.get_wifi(), true);

    const auto joined = network.connect_wifi("CafeOpen", std::nullopt);
    ASSERT_TRUE(joined) << joined.error();
    const auto profiles = connections.list_saved_network_profiles();
    ASSERT_TRUE(profiles) << profiles.error();
    EXPECT_THAT(*profiles, Contains(Field(&SavedNetworkProfile::name, "CafeOpen")));
}

TEST_F(NetworkManagerMock, JoiningWithAPasswordKeepsItOffTheBus)
{
    const auto joined = network.connect_wifi("HomeNet", "home password 1");
    ASSERT_TRUE(joined) << joined.error();
    EXPECT_THAT(nm_->log(), Not(HasSubstr("home password 1")));
}

TEST_F(NetworkManagerMock, SavedProfileSettingsAutoconnectPolicyAndForget)
{
    const std::string uuid = "6a0c7a52-0000-4000-8000-00000000000a";
    add_profile("Office", "802-11-wireless", uuid,
                ", '802-11-wireless': {'ssid': <b'Office'>, 'mode': <'infrastructure'>}, "
                "'ipv4': {'method': <'auto'>}");
    auto profiles = connections.list_saved_network_profiles();
    ASSERT_TRUE(profiles) << profiles.error();
    EXPECT_THAT(*profiles, Contains(SavedNetworkProfile{"Office", uuid, "802-11-wireless", false}));

    auto settings = connections.connection_profile_settings(uuid);
    ASSERT_TRUE(settings) << settings.error();
    EXPECT_EQ(settings->ipv4, Ipv4Settings{.automatic = true});
    EXPECT_EQ(settings->metered, metered::automatic);
    EXPECT_EQ(settings->mac_policy, unknown_policy);  // NetworkManager's default: no policy of its own

    ASSERT_TRUE(connections.set_network_autoconnect(uuid, true));
    profiles = connections.list_saved_network_profiles();
    EXPECT_THAT(*profiles, Contains(SavedNetworkProfile{"Office", uuid, "802-11-wireless", true}));

    const auto patched = connections.configure_connection_policy_patch(
        uuid, {.metered = metered::yes,
               .mac_policy = mac_policy::random,
               .proxy = ProxySettings{.url = "http://wpad.example/wpad.pac"}});
    ASSERT_TRUE(patched) << patched.error();
    settings = connections.connection_profile_settings(uuid);
    ASSERT_TRUE(settings) << settings.error();
    EXPECT_EQ(settings->metered, metered::yes);
    EXPECT_EQ(settings->mac_policy, mac_policy::random);
    EXPECT_EQ(settings->proxy, ProxySettings{.url = "http://wpad.example/wpad.pac"});

    ASSERT_TRUE(connections.forget_network_profile(uuid));
    profiles = connections.list_saved_network_profiles();
    EXPECT_THAT(*profiles, Not(Contains(Field(&SavedNetworkProfile::uuid, uuid))));
    EXPECT_FALSE(connections.connection_profile_settings(uuid));
}

TEST_F(NetworkManagerMock, ManualIpv4OnAWiredProfile)
{
    const std::string uuid = "6a0c7a52-0000-4000-8000-00000000000b";
    add_profile("Desk", "802-3-ethernet", uuid, ", 'ipv4': {'method': <'auto'>}");
    const auto configured = connections.configure_ipv4(uuid, {.automatic = false,
                                                              .addresses = {"192.0.2.10/24", "192.0.2.11/24"},
                                                              .gateway = "192.0.2.1",
                                                              .dns = {"192.0.2.53", "192.0.2.54"}});
    ASSERT_TRUE(configured) << configured.error();
    const auto settings = connections.connection_profile_settings(uuid);
    ASSERT_TRUE(settings) << settings.error();
    EXPECT_EQ(settings->ipv4, (Ipv4Settings{.addresses = {"192.0.2.10/24", "192.0.2.11/24"},
                                            .dns = {"192.0.2.53", "192.0.2.54"},
                                            .gateway = "192.0.2.1",
                                            .automatic = false}));
    // NetworkManager's own validation reaches the page as a sentence.
    const auto refused = connections.configure_ipv4(uuid, {.automatic = false, .addresses = {"not-an-address"}});
    ASSERT_FALSE(refused);
    EXPECT_THAT(refused.error(), HasSubstr("not-an-address"));
}

TEST_F(NetworkManagerMock, ConnectivityCaptivePortalAndDiagnostics)
{
    EXPECT_EQ(connections.get_connectivity(), Connectivity::Connected);
    ASSERT_TRUE(nm_->call("/org/freedesktop", std::string(mock_iface) + ".SetConnectivity", {"2"}));
    EXPECT_EQ(connections.get_connectivity(), Connectivity::SignInRequired);

    ASSERT_TRUE(nm_->call("/org/freedesktop/NetworkManager", std::string(mock_iface) + ".AddProperty",
                          {"org.freedesktop.NetworkManager", "ConnectivityCheckUri",
                           "<'http://check.example/check_network_status.txt'>"}));
    EXPECT_EQ(connections.captive_portal_uri(), "http://check.example/check_network_status.txt");

    const auto diagnostics = connections.connection_diagnostics();
    ASSERT_TRUE(diagnostics) << diagnostics.error();
    EXPECT_EQ(diagnostics->connectivity, Connectivity::SignInRequired);
    EXPECT_FALSE(diagnostics->manager_state.empty());
    EXPECT_TRUE(diagnostics->device.has_value());
    EXPECT_THAT(diagnostics->notes,
                Contains("The network asks for a sign-in in the browser before it gives internet access."));
    ASSERT_TRUE(nm_->call("/org/freedesktop", std::string(mock_iface) + ".SetConnectivity", {"4"}));
}

TEST_F(NetworkManagerMock, MobileEnterpriseAndHotspotProfilesAreAccepted)
{
    ASSERT_TRUE(connections.create_mobile_profile("Carrier", "internet.example"));

    const auto hotspot =
        connections.configure_hotspot({.ssid = "Vorn Test", .password = SecretText("hotspot pass 9")});
    ASSERT_TRUE(hotspot) << hotspot.error();

    auto profiles = connections.list_saved_network_profiles();
    ASSERT_TRUE(profiles) << profiles.error();
    EXPECT_THAT(*profiles, Contains(Field(&SavedNetworkProfile::connection_type, "gsm")));
    EXPECT_THAT(*profiles, Contains(Field(&SavedNetworkProfile::name, "Vorn Hotspot")));

    if (!test_buses::have_program("openssl")) {
        GTEST_SKIP() << "openssl is not installed (needed for a CA certificate nmcli accepts)";
    }
    const auto ca = buses_->dir() / "ca.crt";
    const auto made = cmd_runner::run({.program = "openssl",
                                       .args = {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                                                (buses_->dir() / "ca.key").string(), "-out", ca.string(), "-subj",
                                                "/CN=Test CA", "-days", "1"},
                                       .time_limit = std::chrono::seconds(30)});
    ASSERT_TRUE(made && made->status.success());
    const auto enterprise = connections.connect_enterprise_wifi(
        {.profile_name = "Corp", .ssid = "Corp", .identity = "alice", .ca_certificate = ca.string(),
         .phase2 = "mschapv2"},
        "corp password 7");
    ASSERT_TRUE(enterprise) << enterprise.error();
    profiles = connections.list_saved_network_profiles();
    EXPECT_THAT(*profiles, Contains(Field(&SavedNetworkProfile::name, "Corp")));
    EXPECT_THAT(nm_->log(), Not(HasSubstr("corp password 7")));
    EXPECT_THAT(nm_->log(), Not(HasSubstr("hotspot pass 9")));
}

}  // namespace
}  // namespace system_ops::network
