// The Network page in the headless window over the fake machine: what it shows with no NetworkManager, with Wi-Fi
// on and networks in range, with a wired link, behind a captive portal and with diagnostics; the password field of
// a secured network typed into and joined with; values changed in place and the focus kept when the view is built
// again.
#include "panes/network/network_pane.hpp"
#include "panes/network/test_support.hpp"

#include "actions/catalogue/platform.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::panes::network {
namespace {

using testing::node_with_id;
namespace cat = actions::catalogue;
using system_ops::network::FakeNetwork;
using testing::FakeMachine;
using testing::immediate_workers;
using testing::ManualWorkers;
using testing::sample_networks;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

class NetworkPaneTest : public ::testing::Test {
protected:
    void open(NetworkWorkers workers = immediate_workers())
    {
        pane = std::make_unique<NetworkPane>(machine.backend(), std::move(workers));
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1280, 2200});
        window->frame();
        window->frame();
    }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    [[nodiscard]] std::optional<nlohmann::ordered_json> node(std::string_view id) const
    {
        return node_with_id(window->accessibility_json(), id);
    }
    void click_control(std::string_view id)
    {
        const auto found = node(id);
        ASSERT_TRUE(found.has_value()) << id << "\n" << ::testing::PrintToString(lines());
        const auto& b = (*found)["bounds"];
        window->click(b["x"].get<double>() + b["width"].get<double>() / 2.0,
                      b["y"].get<double>() + b["height"].get<double>() / 2.0);
        window->frame();
    }
    void expect_lines(std::initializer_list<std::string_view> expected) const
    {
        const auto all = lines();
        for (const std::string_view line : expected) {
            EXPECT_THAT(all, Contains(HasSubstr(line))) << line << "\n" << ::testing::PrintToString(all);
        }
    }
    void expect_shown(std::initializer_list<std::string_view> texts, bool shown = true) const
    {
        for (const std::string_view text : texts) {
            EXPECT_EQ(shows(text), shown) << text;
        }
    }

    std::shared_ptr<cat::FakePlatform> platform = std::make_shared<cat::FakePlatform>();
    cat::ScopedPlatform scoped{platform};
    FakeMachine machine;
    page_doc::Document doc;
    std::unique_ptr<NetworkPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(NetworkPaneTest, WithoutNetworkManagerThePageSaysWhatItCouldNotRead)
{
    machine.stop();
    ManualWorkers workers;
    open(workers.workers());
    EXPECT_TRUE(shows("Loading…"));
    EXPECT_FALSE(node(wifi_toggle_id).has_value()) << "no switch acts before the machine is read";

    ASSERT_EQ(workers.run_actions(), 1U);
    window->frame();
    EXPECT_FALSE(shows("Loading…"));
    expect_shown({"Internet access", "Connectivity not checked", "Wi-Fi", "Not connected", "Enterprise Wi-Fi",
                  "Wired", "Plug in an Ethernet cable to use a wired connection.", "Connection profiles",
                  "Connection diagnostics", "Run diagnostics", "VPN",
                  "No VPN profiles yet. Vessix can import WireGuard and OpenVPN configurations.", "Airplane mode",
                  "Disables Wi-Fi and mobile broadband together.", "Wi-Fi hotspot", "Off"});
    expect_shown({"Open sign-in page", "Mobile broadband", "Interface"}, false);
    EXPECT_FALSE(node(wired_toggle_id).has_value()) << "no wired device, no switch";
    expect_lines({"toggle Wi-Fi = on", "toggle Airplane mode = off", "button Refresh"});

    // The card titles in their order, one under the other.
    double last = -1.0;
    for (const std::string_view title : {"Internet access", "Enterprise Wi-Fi", "Connection profiles",
                                         "Connection diagnostics", "Airplane mode", "Wi-Fi hotspot"}) {
        const auto bounds = window->find_text_bounds(title);
        ASSERT_TRUE(bounds.has_value()) << title;
        EXPECT_GT(bounds->y0, last) << title;
        last = bounds->y0;
    }
}

TEST_F(NetworkPaneTest, WifiOnListsTheNetworksAndWifiOffHidesThem)
{
    machine.network->change([](FakeNetwork::State& s) { s.wifi_networks = sample_networks(); });
    open();
    expect_shown({"Connected to Home", "Connected to the internet", "\U000F0925  \U000F033E  Home",
                  "\U000F0922  \U000F033F  Café", "\U000F092B  \U000F033E  Office"});
    EXPECT_EQ(node(connect_button_id("Home")).value_or(nlohmann::ordered_json{}).value("label", ""), "Connected");
    expect_lines({"button Connect", "toggle Wi-Fi = on"});
    // Listed in the scan's order.
    const auto home = window->find_text_bounds("\U000F0925  \U000F033E  Home");
    const auto office = window->find_text_bounds("\U000F092B  \U000F033E  Office");
    ASSERT_TRUE(home && office);
    EXPECT_LT(home->y0, office->y0);

    click_control(wifi_toggle_id);
    window->frame();
    EXPECT_FALSE(machine.network->state().radio.wifi_enabled);
    expect_shown({"Wi-Fi is off"});
    expect_shown({"\U000F0925  \U000F033E  Home", "\U000F092B  \U000F033E  Office"}, false);
    EXPECT_FALSE(node(connect_button_id("Café")).has_value());
}

TEST_F(NetworkPaneTest, AWiredLinkShowsItsConnectionInterfaceAndAddress)
{
    machine.network->change([](FakeNetwork::State& s) {
        s.wired = WiredDevice{.interface = "enp3s0", .connection = "Wired connection 1", .ipv4_address = "192.0.2.10",
                              .enabled = true};
    });
    open();
    expect_shown({"Connected · Wired connection 1", "enp3s0", "192.0.2.10", "Interface", "IPv4"});
    expect_shown({"Plug in an Ethernet cable to use a wired connection."}, false);
    expect_lines({"toggle Wired = on"});

    // Without an address the row says so; the values change in place.
    machine.network->change([](FakeNetwork::State& s) { s.wired->ipv4_address.reset(); s.wired->connection.reset(); });
    const auto builds = pane->view_builds();
    doc.put_bool(refresh_key, true);
    window->frame();
    window->frame();
    expect_shown({"—", "Connected"});
    EXPECT_EQ(pane->view_builds(), builds);

    // The user unplugs it through the switch.
    click_control(wired_toggle_id);
    window->frame();
    EXPECT_FALSE(machine.network->state().wired->enabled);
    expect_shown({"Not connected", "Plug in an Ethernet cable to use a wired connection."});
    expect_lines({"toggle Wired = off"});
}

TEST_F(NetworkPaneTest, BehindACaptivePortalTheSignInButtonOpensTheBrowser)
{
    machine.connections->change([](auto& s) { s.connectivity = Connectivity::SignInRequired; });
    open();
    expect_shown({"Sign-in required",
                  "This network requires browser sign-in. NetworkManager will keep it below a fully connected route "
                  "until sign-in succeeds."});
    click_control(captive_portal_button_id);
    EXPECT_EQ(*machine.opened, std::vector<std::string>{"http://check.example/check_network_status.txt"});

    // Signed in: the button goes.
    machine.connections->change([](auto& s) { s.connectivity = Connectivity::Connected; });
    doc.put_bool(refresh_key, true);
    window->frame();
    window->frame();
    EXPECT_FALSE(node(captive_portal_button_id).has_value());
    expect_shown({"Connected to the internet",
                  "Connectivity comes from NetworkManager's captive-portal check, not merely from having an IP "
                  "address."});
}

TEST_F(NetworkPaneTest, DiagnosticsShowTheirRowsAndNotes)
{
    machine.connections->change([](auto& s) {
        s.diagnostics = {.manager_state = "connected (site only)",
                         .connectivity = Connectivity::Limited,
                         .device = "wlp2s0",
                         .gateway = "192.0.2.1",
                         .notes = {"No DNS server is configured."}};
    });
    open();
    expect_shown({"Checks NetworkManager state, address, gateway and DNS without sending traffic to a Vorn service."});
    ASSERT_TRUE(panes::testing::focus_control(*window, diagnostics_button_id));
    window->key(vorn_ui::Key::Space);
    window->frame();
    window->frame();
    expect_shown({"connected (site only)", "Limited connectivity", "wlp2s0", "192.0.2.1", "Not provided",
                  "No DNS server is configured."});
    expect_shown({"Address"}, false);
    EXPECT_EQ(panes::testing::focused_id(*window), diagnostics_button_id) << "the new rows keep the focus in place";
}

TEST_F(NetworkPaneTest, VpnConnectionsHaveSwitches)
{
    machine.network->change([](FakeNetwork::State& s) {
        s.vpns = {{.name = "Work VPN", .uuid = "1", .kind = "vpn", .active = true},
                  {.name = "Home WireGuard", .uuid = "2", .kind = "wireguard"}};
    });
    open();
    expect_lines({"toggle Work VPN = on", "toggle Home WireGuard = off"});
    expect_shown({"Connect here day to day. Use Vessix only for imports, DNS, routing, and kill-switch rules."});
    click_control(vpn_toggle_id("Home WireGuard"));
    window->frame();
    EXPECT_TRUE(machine.network->state().vpns[1].active);
    expect_lines({"toggle Home WireGuard = on"});
}

TEST_F(NetworkPaneTest, TheTypedPasswordJoinsTheSecuredNetwork)
{
    machine.network->change([](FakeNetwork::State& s) { s.wifi_networks = sample_networks(); });
    open();
    click_control(connect_button_id("Office"));
    expect_shown({"Enter the password for Office."});
    EXPECT_EQ(node(connect_button_id("Office")).value_or(nlohmann::ordered_json{}).value("label", ""), "Cancel");
    ASSERT_TRUE(node(password_field_id("Office")).has_value());
    click_control(password_field_id("Office"));
    window->type("correct horse");
    window->frame();
    const auto buffer = pane->model().password_buffer("Office");
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->size(), std::string_view("correct horse").size());
    EXPECT_FALSE(page_doc::doc_text(doc, "settings.network.password.Office").has_value());
    for (const auto& line : lines()) {
        EXPECT_THAT(line, Not(HasSubstr("correct horse")));
    }

    click_control(join_button_id("Office"));
    window->frame();
    const auto joined = machine.network->state().joined;
    ASSERT_EQ(joined.size(), 1U);
    EXPECT_EQ(joined[0].second, "correct horse");
    EXPECT_TRUE(buffer->empty());
    EXPECT_FALSE(node(password_field_id("Office")).has_value());
    expect_shown({"Connected to Office."});
}

TEST_F(NetworkPaneTest, FocusSurvivesAChange)
{
    machine.network->change([](FakeNetwork::State& s) { s.wired = WiredDevice{.interface = "enp3s0", .enabled = true}; });
    open();
    ASSERT_TRUE(panes::testing::focus_control(*window, "network.wired"));
    const std::string next = panes::testing::next_in_focus_order(*window, "network.wired");
    ASSERT_FALSE(next.empty());
    const auto builds = pane->view_builds();
    window->key(vorn_ui::Key::Space);
    window->frame();
    window->frame();
    EXPECT_FALSE(machine.network->state().wired->enabled);
    EXPECT_GT(pane->view_builds(), builds) << "the link's rows changed";
    EXPECT_EQ(panes::testing::focused_id(*window), "network.wired");
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), next);
}

}  // namespace
}  // namespace settings::panes::network
