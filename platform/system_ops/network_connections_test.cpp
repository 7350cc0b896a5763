// The connection layer against small fake nmcli, busctl and iw programs that print what the real ones print.
#include "system_ops/network_connections.hpp"
#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace system_ops::network {
namespace {

using system_ops::testing::Answer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* wifi_uuid = "70759ca5-8a39-4096-95a3-3106dcb72426";
constexpr const char* new_uuid = "0a1b2c3d-0000-4000-8000-000000000001";

class ConnectionsTest : public system_ops::testing::FakeTools {
protected:
    void SetUp() override
    {
        FakeTools::SetUp();
        NmcliConnections::Options options;
        options.leases_dir = dir_;
        connections = std::make_unique<NmcliConnections>(cmd_runner::system_runner(), options);
    }

    // No call carries the secret in its arguments; returns what the calls read on standard input, joined.
    std::string expect_secret_only_on_stdin(const std::string& secret)
    {
        std::string inputs;
        const auto all = calls();
        for (std::size_t i = 0; i < all.size(); ++i) {
            for (const auto& arg : all[i]) {
                EXPECT_EQ(arg.find(secret), std::string::npos) << "secret in the arguments: " << arg;
            }
            inputs += stdin_of(i);
        }
        return inputs;
    }

    std::string file(const std::string& name, const std::string& text, mode_t mode = 0644)
    {
        const auto path = dir_ / name;
        write(path, text);
        ::chmod(path.c_str(), mode);
        return path.string();
    }

    static Answer added()
    {
        return {.args = "", .out = std::string("Connection 'x' (") + new_uuid + ") successfully added.\n"};
    }

    std::unique_ptr<NmcliConnections> connections;
};

TEST(ProfileSettings, ReadsIpv4PolicyAndProxyFromTheProfileLines)
{
    struct Case {
        std::string name;
        std::string text;
        ConnectionProfileSettings expected;
    };
    const std::vector<Case> cases = {
        {"Wi-Fi profile with a policy and an automatic proxy",
         "connection.id:Home\nconnection.type:802-11-wireless\nconnection.metered:yes\n"
         "802-11-wireless.cloned-mac-address:stable\nipv4.method:auto\nipv4.dns:\nipv4.addresses:\n"
         "ipv4.gateway:--\nproxy.method:auto\nproxy.browser-only:yes\nproxy.pac-url:http://wpad.example/wpad.pac\n",
         {.ipv4 = Ipv4Settings{.automatic = true},
          .proxy = ProxySettings{.url = "http://wpad.example/wpad.pac", .browser_only = 1},
          .metered = metered::yes,
          .mac_policy = mac_policy::stable}},
        {"Wired profile with manual addressing",
         "connection.type:802-3-ethernet\nconnection.metered:no\n802-3-ethernet.cloned-mac-address:permanent\n"
         "ipv4.method:manual\nipv4.addresses:192.0.2.10/24, 192.0.2.11/24\nipv4.gateway:192.0.2.1\n"
         "ipv4.dns:192.0.2.53,192.0.2.54\nproxy.method:none\nproxy.browser-only:no\nproxy.pac-url:\n",
         {.ipv4 = Ipv4Settings{.addresses = {"192.0.2.10/24", "192.0.2.11/24"},
                               .dns = {"192.0.2.53", "192.0.2.54"},
                               .gateway = "192.0.2.1",
                               .automatic = false},
          .proxy = ProxySettings{},
          .metered = metered::no,
          .mac_policy = mac_policy::permanent}},
        {"Shared IPv4, no proxy setting, NetworkManager's default hardware address",
         "connection.type:802-11-wireless\nconnection.metered:unknown\n802-11-wireless.cloned-mac-address:\n"
         "ipv4.method:shared\n",
         {.metered = metered::automatic}},
        {"Values this page does not know", "connection.type:gsm\nconnection.metered:yes (guessed)\n", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_profile_settings(c.text), c.expected) << c.name;
    }
}

TEST_F(ConnectionsTest, ProfilesAreListedAndChangedByUuidAsSingleArguments)
{
    tool("nmcli", {{.args = "-t -f NAME,UUID,TYPE,AUTOCONNECT connection show",
                    .out = std::string("Caf\\:\xe2\x80\xae") + "evil:" + wifi_uuid + ":802-11-wireless:yes\n"
                           "Wired:8e2c0000-0000-4000-8000-000000000001:802-3-ethernet:no\n"
                           "broken line\n"},
                   {.args = std::string("connection modify uuid ") + wifi_uuid + " connection.autoconnect no"},
                   {.args = std::string("connection delete uuid ") + wifi_uuid,
                    .out = "Connection 'x' successfully deleted.\n"}});
    const auto profiles = connections->list_saved_network_profiles();
    ASSERT_TRUE(profiles) << profiles.error();
    EXPECT_THAT(*profiles,
                ElementsAre(SavedNetworkProfile{"Caf:evil", wifi_uuid, "802-11-wireless", true},
                            SavedNetworkProfile{"Wired", "8e2c0000-0000-4000-8000-000000000001", "802-3-ethernet",
                                                false}));
    EXPECT_TRUE(connections->set_network_autoconnect(wifi_uuid, false));
    EXPECT_TRUE(connections->forget_network_profile(wifi_uuid));

    // Something that is not a UUID never reaches nmcli, where it could read as an option or a name.
    const auto before = calls().size();
    EXPECT_EQ(connections->forget_network_profile("--all").error(), "\"--all\" is not a connection profile identifier");
    EXPECT_FALSE(connections->set_network_autoconnect("Home Net", true));
    EXPECT_FALSE(connections->connection_profile_settings(""));
    EXPECT_EQ(calls().size(), before);
}

TEST_F(ConnectionsTest, Ipv4IsSavedAndReappliedOnTheActiveDevice)
{
    const std::string uuid = "8e2c0000-0000-4000-8000-000000000001";
    tool("nmcli", {{.args = "connection modify uuid " + uuid +
                            " ipv4.method manual ipv4.addresses 192.0.2.10/24,192.0.2.11/24 ipv4.gateway 192.0.2.1"
                            " ipv4.dns 192.0.2.53 ipv4.ignore-auto-dns yes"},
                   {.args = "connection modify uuid " + uuid +
                            " ipv4.method auto ipv4.addresses  ipv4.gateway  ipv4.dns  ipv4.ignore-auto-dns no"},
                   {.args = "-t -f UUID,DEVICE connection show --active", .out = uuid + ":enp3s0\n"},
                   {.args = "device reapply enp3s0"}});
    EXPECT_TRUE(connections->configure_ipv4(uuid, {.automatic = false,
                                                   .addresses = {"192.0.2.10/24", "192.0.2.11/24"},
                                                   .gateway = "192.0.2.1",
                                                   .dns = {"192.0.2.53"}}));
    EXPECT_TRUE(connections->configure_ipv4(uuid, {.automatic = true}));
    EXPECT_EQ(call_lines().back(), "nmcli device reapply enp3s0");
}

TEST_F(ConnectionsTest, Ipv4RequestsBeyondTheirLimitsAreRefusedNamingTheLimit)
{
    tool("nmcli", {{.args = "*"}});
    const std::string uuid = "8e2c0000-0000-4000-8000-000000000001";
    std::vector<std::string> many;
    for (int i = 1; i <= 18; ++i) {
        many.push_back("192.0.2." + std::to_string(i));
    }
    EXPECT_EQ(connections->configure_ipv4(uuid, {.automatic = true, .dns = many}).error(),
              "At most 17 DNS servers can be set; 18 were given.");
    EXPECT_EQ(connections->configure_ipv4(uuid, {.automatic = false, .addresses = many}).error(),
              "At most 17 addresses can be set; 18 were given.");
    EXPECT_EQ(connections->configure_ipv4(uuid, {.automatic = false}).error(),
              "Manual addressing needs at least one address with its prefix length.");
    EXPECT_FALSE(connections->configure_ipv4(uuid, {.automatic = true, .dns = {"1.1.1.1,8.8.8.8"}}));
    EXPECT_THAT(calls(), IsEmpty());
}

TEST_F(ConnectionsTest, PolicyPatchChangesOnlyWhatItCarries)
{
    const std::string wired = "8e2c0000-0000-4000-8000-000000000001";
    tool("nmcli", {{.args = std::string("-g connection.type connection show uuid ") + wifi_uuid,
                    .out = "802-11-wireless\n"},
                   {.args = "-g connection.type connection show uuid " + wired, .out = "802-3-ethernet\n"},
                   {.args = std::string("connection modify uuid ") + wifi_uuid +
                            " connection.metered yes 802-11-wireless.cloned-mac-address random"
                            " proxy.method auto proxy.pac-url http://wpad.example/proxy.pac proxy.browser-only no"},
                   {.args = "connection modify uuid " + wired + " 802-3-ethernet.cloned-mac-address stable"},
                   {.args = "connection modify uuid " + wired +
                            " connection.metered unknown proxy.method none proxy.pac-url  proxy.browser-only yes"}});
    EXPECT_TRUE(connections->configure_connection_policy_patch(
        wifi_uuid, {.metered = metered::yes,
                    .mac_policy = mac_policy::random,
                    .proxy = ProxySettings{.url = "http://wpad.example/proxy.pac"}}));
    EXPECT_TRUE(connections->configure_connection_policy_patch(wired, {.mac_policy = mac_policy::stable}));
    EXPECT_TRUE(connections->configure_connection_policy_patch(
        wired, {.metered = metered::automatic, .proxy = ProxySettings{.browser_only = 1}}));
    const auto count = calls().size();
    EXPECT_TRUE(connections->configure_connection_policy_patch(wired, {}));  // nothing to change: no call
    EXPECT_EQ(calls().size(), count);

    EXPECT_FALSE(connections->configure_connection_policy_patch(wired, {.metered = 7}));
    EXPECT_EQ(connections->configure_connection_policy_patch(
                  wired, {.proxy = ProxySettings{.url = "javascript:alert(1)"}}).error(),
              "The automatic proxy address must begin with http://, https:// or file://.");
    EXPECT_EQ(calls().size(), count);
}

TEST_F(ConnectionsTest, EnterprisePasswordReachesNmcliOnlyOnStandardInput)
{
    const std::string ca = file("ca.pem", "-----BEGIN CERTIFICATE-----\n");
    const std::string password = "corp p@ss; $(reboot)";
    auto add = added();
    add.args = "connection add type wifi ifname * con-name Corp Wi-Fi ssid Corp wifi-sec.key-mgmt wpa-eap "
               "802-1x.eap ttls 802-1x.identity alice@corp 802-1x.ca-cert " + ca +
               " 802-1x.anonymous-identity anonymous@corp 802-1x.phase2-auth pap 802-1x.password-flags 0";
    tool("nmcli", {add, {.args = std::string("-w 55 connection up uuid ") + new_uuid + " passwd-file /dev/stdin"}});

    const auto connected = connections->connect_enterprise_wifi({.profile_name = "Corp Wi-Fi",
                                                                 .ssid = "Corp",
                                                                 .identity = "alice@corp",
                                                                 .anonymous_identity = "anonymous@corp",
                                                                 .ca_certificate = ca,
                                                                 .method = EapMethod::Ttls,
                                                                 .phase2 = "pap"},
                                                                password);
    ASSERT_TRUE(connected) << connected.error();
    EXPECT_EQ(expect_secret_only_on_stdin(password), "802-1x.password:" + password + "\n");
}

TEST_F(ConnectionsTest, EnterpriseTlsSendsTheKeyPasswordAndRemovesAProfileThatFailed)
{
    const std::string ca = file("ca.pem", "ca");
    const std::string cert = file("me.pem", "cert");
    const std::string key = file("me.key", "key", 0600);
    auto add = added();
    add.args = "connection add type wifi ifname * con-name Lab ssid Lab wifi-sec.key-mgmt wpa-eap 802-1x.eap tls "
               "802-1x.identity bob 802-1x.ca-cert " + ca + " 802-1x.client-cert " + cert + " 802-1x.private-key " +
               key + " 802-1x.private-key-password-flags 0";
    tool("nmcli", {add,
                   {.args = std::string("-w 55 connection up uuid ") + new_uuid + " passwd-file /dev/stdin",
                    .err = "Error: Connection activation failed: (7) Secrets were required, but not provided.\n",
                    .code = 4},
                   {.args = std::string("connection delete uuid ") + new_uuid}});
    const auto connected = connections->connect_enterprise_wifi(
        {.ssid = "Lab", .identity = "bob", .ca_certificate = ca, .method = EapMethod::Tls,
         .client_certificate = cert, .private_key = key},
        "key secret");
    EXPECT_EQ(connected.error(), "Connection activation failed: (7) Secrets were required, but not provided.");
    EXPECT_EQ(call_lines().back(), std::string("nmcli connection delete uuid ") + new_uuid);
    EXPECT_EQ(expect_secret_only_on_stdin("key secret"), "802-1x.private-key-password:key secret\n");
}

TEST_F(ConnectionsTest, EnterpriseCertificatePathsAreCheckedBeforeNetworkManagerSeesThem)
{
    tool("nmcli", {{.args = "*"}});
    const std::string unreadable = file("locked.pem", "x", 0000);
    const bool root = ::geteuid() == 0;  // root reads every file
    EnterpriseWifiRequest request{.ssid = "Corp", .identity = "alice"};
    struct Case {
        std::string ca;
        std::string expected;
    };
    std::vector<Case> cases = {
        {"", "Choose the CA certificate."},
        {"   ", "Choose the CA certificate."},
        {"certs/ca.pem", "The CA certificate must be given as an absolute path."},
        {(dir_ / "missing.pem").string(), "The CA certificate " + (dir_ / "missing.pem").string() + " cannot be read."},
        {dir_.string(), "The CA certificate " + dir_.string() + " cannot be read."},
    };
    if (!root) {
        cases.push_back({unreadable, "The CA certificate " + unreadable + " cannot be read."});
    }
    for (const auto& c : cases) {
        request.ca_certificate = c.ca;
        EXPECT_EQ(connections->connect_enterprise_wifi(request, "password").error(), c.expected) << c.ca;
    }
    request.ca_certificate = file("ca.pem", "ca");
    EXPECT_EQ(connections->connect_enterprise_wifi(request, "").error(), "Enter the password.");
    request.method = EapMethod::Tls;
    EXPECT_EQ(connections->connect_enterprise_wifi(request, "").error(), "Choose the client certificate.");
    EXPECT_THAT(calls(), IsEmpty());
}

TEST_F(ConnectionsTest, HotspotIsMadeAnewAndItsPassphraseGoesToStandardInput)
{
    const std::string old_uuid = "9a9a9a9a-0000-4000-8000-000000000009";
    auto add = added();
    add.args = "connection add type wifi ifname * con-name Vorn Hotspot autoconnect no ssid Café;Net "
               "802-11-wireless.mode ap ipv4.method shared wifi-sec.key-mgmt wpa-psk wifi-sec.psk-flags 0 "
               "802-11-wireless.band a";
    tool("nmcli", {{.args = "-t -f NAME,UUID,TYPE,AUTOCONNECT connection show",
                    .out = "Home:" + std::string(wifi_uuid) + ":802-11-wireless:yes\n"
                           "Vorn Hotspot:" + old_uuid + ":802-11-wireless:no\n"},
                   {.args = "connection delete uuid " + old_uuid},
                   add,
                   {.args = std::string("-w 55 connection up uuid ") + new_uuid + " passwd-file /dev/stdin"}});
    HotspotConfiguration config{.ssid = "Café;Net", .password = SecretText("hot spot pass"), .band = band::ghz_5};
    const auto started = connections->configure_hotspot(config);
    ASSERT_TRUE(started) << started.error();
    EXPECT_EQ(expect_secret_only_on_stdin("hot spot pass"), "802-11-wireless-security.psk:hot spot pass\n");

    const auto count = calls().size();
    config.password = SecretText("short");
    EXPECT_EQ(connections->configure_hotspot(config).error(), "The hotspot password must be 8 to 63 characters long.");
    EXPECT_EQ(calls().size(), count);
}

TEST_F(ConnectionsTest, HotspotClientsComeFromTheLeasesWithTheirSignal)
{
    const std::string ap = "9a9a9a9a-0000-4000-8000-000000000009";
    tool("nmcli", {{.args = "-t -f UUID,TYPE,DEVICE connection show --active",
                    .out = std::string(wifi_uuid) + ":802-3-ethernet:enp3s0\n" + ap + ":802-11-wireless:wlan0\n"},
                   {.args = "-g 802-11-wireless.mode connection show uuid " + ap, .out = "ap\n"}});
    tool("iw", {{.args = "dev wlan0 station dump",
                 .out = "Station aa:bb:cc:dd:ee:01 (on wlan0)\n\tinactive time:\t100 ms\n\tsignal:  \t-45 [-45] dBm\n"
                        "Station aa:bb:cc:dd:ee:02 (on wlan0)\n\trx bytes:\t10\n"}});
    write(dir_ / "dnsmasq-wlan0.leases",
          "1700000000 AA:BB:CC:DD:EE:01 10.42.0.23 phone\x1b[31m *\n"
          "1700000001 aa:bb:cc:dd:ee:02 10.42.0.24 * 01:aa:bb:cc:dd:ee:02\n");
    const auto clients = connections->list_hotspot_clients();
    ASSERT_TRUE(clients) << clients.error();
    EXPECT_THAT(*clients, ElementsAre(HotspotClient{.name = "phone", .mac = "AA:BB:CC:DD:EE:01", .signal_dbm = -45},
                                      HotspotClient{.name = "aa:bb:cc:dd:ee:02", .mac = "aa:bb:cc:dd:ee:02"}));

    tool("nmcli", {{.args = "-t -f UUID,TYPE,DEVICE connection show --active",
                    .out = std::string(wifi_uuid) + ":802-11-wireless:wlan0\n"},
                   {.args = std::string("-g 802-11-wireless.mode connection show uuid ") + wifi_uuid,
                    .out = "infrastructure\n"}});
    EXPECT_THAT(connections->list_hotspot_clients().value(), IsEmpty());
}

TEST_F(ConnectionsTest, ConnectivityPortalAddressAndDiagnostics)
{
    tool("nmcli", {{.args = "-t -f CONNECTIVITY general", .out = "portal\n"},
                   {.args = "-t -f STATE,CONNECTIVITY general", .out = "connected (site only):portal\n"},
                   {.args = "-t -f DEVICE,TYPE,STATE device",
                    .out = "lo:loopback:connected (externally)\nwlan0:wifi:connected\neth0:ethernet:unavailable\n"},
                   {.args = "-t -f IP4.ADDRESS,IP4.GATEWAY,IP4.DNS device show wlan0",
                    .out = "IP4.ADDRESS[1]:10.0.0.5/24\nIP4.ADDRESS[2]:10.0.0.6/24\nIP4.GATEWAY:10.0.0.1\n"}});
    tool("busctl", {{.args = "--system --json=short get-property org.freedesktop.NetworkManager "
                             "/org/freedesktop/NetworkManager org.freedesktop.NetworkManager ConnectivityCheckUri",
                     .out = "{\"type\":\"s\",\"data\":\"http://check.example/check_network_status.txt\"}\n"}});
    EXPECT_EQ(connections->get_connectivity(), Connectivity::SignInRequired);
    EXPECT_EQ(connections->captive_portal_uri(), "http://check.example/check_network_status.txt");
    const auto diagnostics = connections->connection_diagnostics();
    ASSERT_TRUE(diagnostics) << diagnostics.error();
    EXPECT_EQ(*diagnostics,
              (ConnectionDiagnostics{
                  .manager_state = "connected (site only)",
                  .connectivity = Connectivity::SignInRequired,
                  .device = "wlan0",
                  .address = "10.0.0.5/24",
                  .gateway = "10.0.0.1",
                  .notes = {"No DNS servers are configured, so names cannot be looked up.",
                            "The network asks for a sign-in in the browser before it gives internet access."}}));

    tool("busctl", {{.args = "*", .out = "{\"type\":\"s\",\"data\":\"file:///etc/passwd\"}\n"}});
    EXPECT_THAT(connections->captive_portal_uri().error(), HasSubstr("is not a web address"));
    tool("busctl", {{.args = "*", .out = "{\"type\":\"s\",\"data\":\"\"}\n"}});
    EXPECT_EQ(connections->captive_portal_uri().error(), "NetworkManager has no connectivity check address configured");
}

TEST_F(ConnectionsTest, MobileProfilesTakeTheNameAndApnAsTheyAre)
{
    tool("nmcli", {{.args = "connection add type gsm ifname * con-name My carrier gsm.apn internet.example"}});
    EXPECT_TRUE(connections->create_mobile_profile("My carrier", "internet.example"));
    EXPECT_EQ(connections->create_mobile_profile("My carrier", "internet example").error(),
              "The access point name may only use letters, digits, dots and hyphens (at most 100).");
    EXPECT_EQ(connections->create_mobile_profile("  ", "apn").error(), "Enter the profile name.");
    EXPECT_EQ(calls().size(), 1U);
}

TEST(HotspotConfiguration, ValidateGivesOneSentencePerFault)
{
    struct Case {
        std::string ssid;
        std::string password;
        std::uint8_t band;
        std::string expected;  // empty: valid
    };
    const std::vector<Case> cases = {
        {"Vorn Hotspot", "correct horse", band::automatic, ""},
        {"Vorn Hotspot", std::string(64, 'a'), band::ghz_2_4, ""},  // a raw key of 64 hex digits
        {"", "correct horse", band::automatic, "The hotspot name must be 1 to 32 bytes long."},
        {std::string(33, 'n'), "correct horse", band::automatic, "The hotspot name must be 1 to 32 bytes long."},
        {"Tab\tName", "correct horse", band::automatic, "The hotspot name must not contain control characters."},
        {"Vorn Hotspot", "short", band::automatic, "The hotspot password must be 8 to 63 characters long."},
        {"Vorn Hotspot", std::string(64, 'z'), band::automatic,
         "The hotspot password must be 8 to 63 characters long."},
        {"Vorn Hotspot", "p\xc3\xa4sswort!", band::automatic,
         "The hotspot password may only use letters, digits, spaces and ASCII punctuation."},
        {"Vorn Hotspot", "correct horse", 3, "The hotspot band must be automatic, 2.4 GHz or 5 GHz."},
    };
    for (const auto& c : cases) {
        const HotspotConfiguration config{.ssid = c.ssid, .password = SecretText(c.password), .band = c.band};
        const auto valid = config.validate();
        EXPECT_EQ(valid ? std::string() : valid.error(), c.expected) << c.ssid << " / " << c.password;
    }
}

TEST(HotspotConfiguration, QrPayloadEscapesTheSpecialCharacters)
{
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"Vorn Hotspot", "correct horse", "WIFI:T:WPA;S:Vorn Hotspot;P:correct horse;;"},
        {"a;b,c:d", "p\\w\"x'y", "WIFI:T:WPA;S:a\\;b\\,c\\:d;P:p\\\\w\\\"x'y;;"},
        {"Caf\xc3\xa9", "12345678", "WIFI:T:WPA;S:Caf\xc3\xa9;P:12345678;;"},
    };
    for (const auto& [ssid, password, expected] : cases) {
        const HotspotConfiguration config{.ssid = ssid, .password = SecretText(password)};
        EXPECT_EQ(config.qr_payload().view(), expected);
    }
}

TEST(SecretText, WipesWhatItHeldWhenMovedFromOrWiped)
{
    SecretText text("passphrase1");
    SecretText moved(std::move(text));
    EXPECT_TRUE(text.empty());  // NOLINT(bugprone-use-after-move): a moved-from secret is empty
    EXPECT_EQ(moved.view(), "passphrase1");
    moved.wipe();
    EXPECT_TRUE(moved.empty());
}

}  // namespace
}  // namespace system_ops::network
