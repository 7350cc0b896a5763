// The Network page's model over the fake machine: the labels, every operation the application hands over with its
// exact outcome, the switches flipped by the user while other operations run, VPN connections that appear after the
// page opened, and the Wi-Fi password buffer from the open row to the join.
#include "panes/network/network_model.hpp"
#include "panes/network/test_support.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace settings::panes::network {
namespace {

using operations::OperationStatus;
using operations::PaneOperationRequest;
using system_ops::network::FakeNetwork;
using testing::FakeMachine;
using testing::immediate_workers;
using testing::ManualWorkers;
using testing::sample_networks;
using Op = NetworkOperation;

TEST(NetworkLabels, ConnectivitySignalAndStatus)
{
    const std::pair<Connectivity, std::string_view> labels[] = {
        {Connectivity::NotChecked, "Connectivity not checked"},
        {Connectivity::Offline, "Offline"},
        {Connectivity::SignInRequired, "Sign-in required"},
        {Connectivity::Limited, "Limited connectivity"},
        {Connectivity::Connected, "Connected to the internet"},
        {static_cast<Connectivity>(9), "Connectivity not checked"},
    };
    for (const auto& [code, label] : labels) {
        EXPECT_EQ(connectivity_label(code), label) << static_cast<int>(code);
    }
    const std::pair<int, int> levels[] = {{0, 0}, {24, 0}, {25, 1}, {50, 2}, {74, 2}, {75, 3}, {100, 3}};
    for (const auto& [signal, level] : levels) {
        EXPECT_EQ(signal_level(WifiNetwork{.signal = static_cast<std::uint8_t>(signal)}), level) << signal;
    }
    EXPECT_EQ(wifi_row_label({.ssid = "Home", .security = "WPA2", .signal = 90}), "\U000F0925  \U000F033E  Home");
    EXPECT_EQ(wifi_row_label({.ssid = "Café", .signal = 10}), "\U000F092B  \U000F033F  Café");

    std::vector<WifiNetwork> two_in_use = {{.ssid = "A"}, {.ssid = "B", .in_use = true}, {.ssid = "C", .in_use = true}};
    EXPECT_EQ(wifi_status_label(true, two_in_use), "Connected to B");
    EXPECT_EQ(wifi_status_label(true, {{.ssid = "A"}}), "Not connected");
    EXPECT_EQ(wifi_status_label(false, two_in_use), "Wi-Fi is off");
}

class NetworkModelTest : public ::testing::Test {
protected:
    NetworkModelTest()
    {
        machine.network->change([](FakeNetwork::State& s) {
            s.wifi_networks = sample_networks();
            s.wired = WiredDevice{.interface = "enp3s0", .connection = "Wired connection 1",
                                  .ipv4_address = "192.0.2.10", .enabled = true};
            s.vpns = {{.name = "Work VPN", .uuid = "5f0c", .kind = "vpn", .active = false}};
        });
    }

    // The model reading the fake machine, with the application's cells; loaded and seeded by one sync.
    std::unique_ptr<NetworkModel> open(NetworkWorkers workers = immediate_workers())
    {
        auto model = std::make_unique<NetworkModel>(machine.backend(), std::move(workers));
        model->share_operation_requests(requests);
        model->share_operation_status(status);
        model->sync(doc);
        return model;
    }

    FakeMachine machine;
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
};

TEST_F(NetworkModelTest, FirstSyncShowsTheMachineWhateverTheDocumentHeld)
{
    doc.put_bool(wifi_key, false);  // left by an earlier visit
    doc.put_bool(wired_key, false);
    auto model = open();
    EXPECT_FALSE(model->loading());
    EXPECT_EQ(page_doc::doc_bool(doc, wifi_key), true);
    EXPECT_EQ(page_doc::doc_bool(doc, wired_key), true);
    EXPECT_EQ(page_doc::doc_bool(doc, airplane_key), false);
    EXPECT_EQ(page_doc::doc_bool(doc, vpn_key("Work VPN")), false);
    EXPECT_EQ(model->state().wifi_networks, sample_networks());
    EXPECT_EQ(model->state().connectivity, Connectivity::Connected);
    EXPECT_TRUE(machine.network->state().radio.wifi_enabled) << "opening the page switched nothing";
    EXPECT_TRUE(machine.network->state().wired->enabled);
}

TEST_F(NetworkModelTest, NothingReadableCountsAsAbsentEmptyAndOff)
{
    machine.stop();
    auto model = open();
    EXPECT_FALSE(model->loading());
    EXPECT_TRUE(model->state().wifi_enabled) << "Wi-Fi counts as on when it cannot be read";
    EXPECT_TRUE(model->state().wifi_networks.empty());
    EXPECT_FALSE(model->state().wired.has_value());
    EXPECT_EQ(model->state().connectivity, Connectivity::NotChecked);
    EXPECT_TRUE(model->state().vpns.empty());
    EXPECT_EQ(page_doc::doc_bool(doc, wired_key), false);
}

// Every operation taken ends in exactly one outcome, published under its own key; none is left Running.
TEST_F(NetworkModelTest, EveryOperationIsAnsweredWithItsSentence)
{
    struct Case {
        std::string_view name;
        std::function<void(FakeMachine&)> machine;
        NetworkOperation operation;
        OperationStatus::State outcome;
        std::string_view message;
        std::function<bool(const FakeNetwork::State&)> after;
    };
    const auto any = [](const FakeNetwork::State&) { return true; };
    const auto none = [](FakeMachine&) {};
    const Case cases[] = {
        {"wifi off", none, Op::SetWifiEnabled{false}, OperationStatus::State::Done, "Wi-Fi disabled.",
         [](const auto& s) { return !s.radio.wifi_enabled; }},
        {"wifi already on", none, Op::SetWifiEnabled{true}, OperationStatus::State::Done, "Wi-Fi is already on.",
         [](const auto& s) { return s.radio.wifi_enabled; }},
        {"wifi fails",
         [](FakeMachine& m) { m.network->change([](auto& s) { s.failure = "permission denied"; }); },
         Op::SetWifiEnabled{false}, OperationStatus::State::Failed, "Could not change Wi-Fi power: permission denied",
         any},
        {"wired off", none, Op::SetWiredEnabled{false}, OperationStatus::State::Done, "Wired networking disabled.",
         [](const auto& s) { return !s.wired->enabled; }},
        {"wired already on", none, Op::SetWiredEnabled{true}, OperationStatus::State::Done,
         "Wired networking is already on.", [](const auto& s) { return s.wired->enabled; }},
        {"no wired device", [](FakeMachine& m) { m.network->change([](auto& s) { s.wired.reset(); }); },
         Op::SetWiredEnabled{true}, OperationStatus::State::Failed, "wired networking is unavailable on this device",
         any},
        {"airplane on", none, Op::SetAirplaneMode{true}, OperationStatus::State::Done, "airplane enabled.",
         [](const auto& s) { return s.radio.airplane_mode && !s.radio.wifi_enabled; }},
        {"airplane already off", none, Op::SetAirplaneMode{false}, OperationStatus::State::Done,
         "Airplane mode is already off.", any},
        {"hotspot never set up", none, Op::SetHotspot{true}, OperationStatus::State::Failed,
         "Could not change hotspot state: the hotspot has not been set up yet",
         [](const auto& s) { return !s.radio.hotspot_active; }},
        {"hotspot on", [](FakeMachine& m) { m.network->change([](auto& s) { s.hotspot_configured = true; }); },
         Op::SetHotspot{true}, OperationStatus::State::Done, "hotspot enabled.",
         [](const auto& s) { return s.radio.hotspot_active; }},
        {"hotspot already off", none, Op::SetHotspot{false}, OperationStatus::State::Done,
         "The hotspot is already off.", any},
        {"no modem", none, Op::SetMobileBroadband{true}, OperationStatus::State::Failed,
         "Could not change mobile state: no mobile broadband modem is available", any},
        {"refresh", none, Op::Refresh{}, OperationStatus::State::Done, "Network list refreshed.", any},
        {"refresh fails",
         [](FakeMachine& m) { m.network->change([](auto& s) { s.failure = "NetworkManager is not running"; }); },
         Op::Refresh{}, OperationStatus::State::Failed,
         "Could not refresh network list: NetworkManager is not running", any},
        {"diagnostics", none, Op::RunDiagnostics{}, OperationStatus::State::Done, "Network diagnostics completed.",
         any},
        {"diagnostics fail",
         [](FakeMachine& m) { m.connections->change([](auto& s) { s.failure = "NetworkManager is not running"; }); },
         Op::RunDiagnostics{}, OperationStatus::State::Failed, "Diagnostics unavailable: NetworkManager is not running",
         any},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A machine of its own for each case, as the fixture sets it up.
        FakeMachine m;
        m.network->change([&](FakeNetwork::State& s) { s = machine.network->state(); });
        c.machine(m);
        page_doc::Document case_doc;
        (void)status.publish(OperationStatus::idle());
        auto model = std::make_unique<NetworkModel>(m.backend(), immediate_workers());
        model->share_operation_requests(requests);
        model->share_operation_status(status);
        model->sync(case_doc);
        (void)status.publish(OperationStatus::running(operations::operation_key(c.operation)));
        (void)requests.publish(PaneOperationRequest{c.operation});
        model->sync(case_doc);
        const OperationStatus outcome = status.get();
        EXPECT_EQ(outcome.state, c.outcome);
        EXPECT_EQ(outcome.key, operations::operation_key(c.operation));
        EXPECT_EQ(outcome.message, c.message);
        EXPECT_FALSE(requests.get().has_value()) << "the request was taken";
        EXPECT_EQ(model->work_in_flight(), 0);
        m.network->change([](FakeNetwork::State& s) { s.failure.reset(); });
        EXPECT_TRUE(c.after(m.network->state()));
    }
}

TEST_F(NetworkModelTest, AFailedSwitchGoesBackAndSaysWhy)
{
    auto model = open();
    machine.network->change([](auto& s) { s.failure = "permission denied"; });
    doc.put_bool(airplane_key, true);
    model->sync(doc);
    EXPECT_EQ(page_doc::doc_bool(doc, airplane_key), false);
    EXPECT_EQ(model->status_text(), "Could not change airplane state: permission denied");
    doc.put_bool(wifi_key, false);
    model->sync(doc);
    EXPECT_EQ(page_doc::doc_bool(doc, wifi_key), true);
    EXPECT_EQ(model->status_text(), "Could not change Wi-Fi power: permission denied");
}

TEST_F(NetworkModelTest, AnOperationForAnotherPageStaysInItsCell)
{
    auto model = open();
    const PaneOperationRequest other{actions::PowerOperation{actions::PowerOperation::SetProfile{"Balanced"}}};
    (void)requests.publish(other);
    model->sync(doc);
    EXPECT_EQ(requests.get(), other);
}

// The wired switch has no action of its own to run through: the user's flip acts whenever no other device-local
// operation runs, and is put back only while a different one does.
TEST_F(NetworkModelTest, TheWiredSwitchActsUnlessAnotherOperationRuns)
{
    auto model = open();
    struct Case {
        std::string_view name;
        std::optional<NetworkOperation> running;
        bool acts;
    };
    const Case cases[] = {
        {"nothing running", std::nullopt, true},
        {"its own operation running", Op::SetWiredEnabled{false}, true},
        {"another operation running", Op::SetHotspot{true}, false},
        {"the opposite wired change running", Op::SetWiredEnabled{true}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        machine.network->change([](auto& s) { s.wired->enabled = true; });
        doc.put_bool(refresh_key, true);
        model->sync(doc);
        ASSERT_EQ(page_doc::doc_bool(doc, wired_key), true);
        (void)status.publish(c.running ? OperationStatus::running(operations::operation_key(*c.running))
                                       : OperationStatus::idle());
        doc.put_bool(wired_key, false);
        model->sync(doc);
        EXPECT_EQ(machine.network->state().wired->enabled, !c.acts);
        EXPECT_EQ(page_doc::doc_bool(doc, wired_key), !c.acts) << "the switch shows the link as it is";
    }
}

TEST_F(NetworkModelTest, VpnConnectionsListedLaterGetTheirSwitchAndStayUp)
{
    auto model = open();
    // "Office VPN" is brought up elsewhere after the page opened.
    machine.network->change([](auto& s) { s.vpns.push_back({.name = "Office VPN", .uuid = "77aa", .kind = "wireguard", .active = true}); });
    doc.put_bool(refresh_key, true);
    model->sync(doc);
    model->sync(doc);
    EXPECT_EQ(page_doc::doc_bool(doc, vpn_key("Office VPN")), true);
    EXPECT_TRUE(machine.network->state().vpns.back().active) << "a new connection is never switched off";

    // The user's switch brings a connection up and down.
    doc.put_bool(vpn_key("Work VPN"), true);
    model->sync(doc);
    EXPECT_TRUE(machine.network->state().vpns.front().active);
    // A failure puts the switch back and says why.
    machine.network->change([](auto& s) { s.vpns.erase(s.vpns.begin()); });
    doc.put_bool(vpn_key("Office VPN"), false);
    machine.network->change([](auto& s) { s.failure = "secrets were required"; });
    model->sync(doc);
    EXPECT_EQ(page_doc::doc_bool(doc, vpn_key("Office VPN")), true);
    EXPECT_EQ(model->status_text(), "Could not disconnect Office VPN: secrets were required");
}

TEST_F(NetworkModelTest, AVpnKeyMissingFromTheDocumentNeverSwitchesItOff)
{
    machine.network->change([](auto& s) { s.vpns.front().active = true; });
    auto model = open();
    (void)doc.remove(vpn_key("Work VPN"));
    model->sync(doc);
    EXPECT_TRUE(machine.network->state().vpns.front().active);
}

// The password typed in the open row is the one the join sends, and it is wiped as soon as the join has it.
TEST_F(NetworkModelTest, TheOpenRowsBufferIsWhatJoinSendsAndIsWipedAfter)
{
    ManualWorkers workers;
    auto model = open(workers.workers());
    workers.run_actions();
    model->sync(doc);
    ASSERT_FALSE(model->loading());

    // Connect on a secured network that has no saved profile opens its row with an empty buffer.
    doc.put_bool(connect_key("Office"), true);
    model->sync(doc);
    EXPECT_EQ(model->expanded(), "Office");
    EXPECT_EQ(page_doc::doc_text(doc, expanded_key), "Office");
    EXPECT_EQ(model->status_text(), "Enter the password for Office.");
    const auto buffer = model->password_buffer("Office");
    ASSERT_NE(buffer, nullptr);
    buffer->set("correct horse");

    doc.put_bool(join_key("Office"), true);
    model->sync(doc);
    EXPECT_TRUE(buffer->empty()) << "the field's buffer is wiped when the join takes its copy";
    EXPECT_FALSE(model->expanded().has_value());
    EXPECT_EQ(model->status_text(), "Connecting to Office…");
    EXPECT_TRUE(model->joining("Office"));
    // Connect or Join of the same network while the first join runs starts nothing.
    doc.put_bool(connect_key("Office"), true);
    doc.put_bool(join_key("Office"), true);
    model->sync(doc);
    EXPECT_FALSE(model->expanded().has_value());
    EXPECT_EQ(workers.run_joins(), 1U);
    model->sync(doc);
    const auto joined = machine.network->state().joined;
    ASSERT_EQ(joined.size(), 1U);
    EXPECT_EQ(joined[0].first, "Office");
    EXPECT_EQ(joined[0].second, "correct horse");
    EXPECT_EQ(model->status_text(), "Connected to Office.");
    EXPECT_FALSE(model->joining("Office"));
}

// The document may name the open row (automation, another view): the page makes its buffer as when it opens the
// row itself, so the field never types into a buffer the join does not read, and the row left is wiped.
TEST_F(NetworkModelTest, TheDocumentMovingTheOpenRowMovesItsBuffer)
{
    auto model = open();
    doc.put_str(expanded_key, "Office");
    model->sync(doc);
    const auto office = model->password_buffer("Office");
    ASSERT_NE(office, nullptr);
    office->set("typed for office");

    doc.put_str(expanded_key, "Office");  // the same row: its text stays
    model->sync(doc);
    EXPECT_EQ(model->password_buffer("Office"), office);
    EXPECT_FALSE(office->empty());

    doc.put_str(expanded_key, "Home");
    model->sync(doc);
    EXPECT_TRUE(office->empty());
    EXPECT_NE(model->password_buffer("Home"), nullptr);
    EXPECT_EQ(model->password_buffer("Office"), nullptr);

    doc.put_str(expanded_key, "");
    const auto home = model->password_buffer("Home");
    home->set("x");
    model->sync(doc);
    EXPECT_TRUE(home->empty());
    EXPECT_FALSE(model->expanded().has_value());
}

TEST_F(NetworkModelTest, OpenAndSavedNetworksJoinWithoutAPasswordAndAFailureIsSaid)
{
    machine.connections->change([](auto& s) {
        s.profiles.push_back({.name = "Office", .uuid = "0b3c1d2e-aaaa", .connection_type = "802-11-wireless"});
    });
    auto model = open();
    doc.put_bool(connect_key("Café"), true);
    doc.put_bool(connect_key("Office"), true);
    model->sync(doc);
    auto joined = machine.network->state().joined;
    ASSERT_EQ(joined.size(), 2U);
    EXPECT_EQ(joined[0], (std::pair<std::string, std::optional<std::string>>{"Café", std::nullopt}));
    EXPECT_EQ(joined[1], (std::pair<std::string, std::optional<std::string>>{"Office", std::nullopt}));
    EXPECT_FALSE(model->expanded().has_value());

    machine.network->change([](auto& s) { s.failure = "Secrets were required, but not provided"; });
    doc.put_bool(connect_key("Café"), true);
    model->sync(doc);
    EXPECT_EQ(model->status_text(), "Could not configure Café: Secrets were required, but not provided");
    EXPECT_FALSE(model->joining("Café")) << "the network can be joined again";
}

TEST_F(NetworkModelTest, TheCaptivePortalOpensInTheBrowserOrSaysWhyNot)
{
    machine.connections->change([](auto& s) { s.connectivity = Connectivity::SignInRequired; });
    auto model = open();
    EXPECT_EQ(model->state().connectivity, Connectivity::SignInRequired);
    doc.put_bool(captive_portal_key, true);
    model->sync(doc);
    EXPECT_EQ(*machine.opened, std::vector<std::string>{"http://check.example/check_network_status.txt"});
    EXPECT_FALSE(model->status_text().has_value());

    *machine.browser_failure = "could not open browser through the desktop portal: no portal";
    doc.put_bool(captive_portal_key, true);
    model->sync(doc);
    EXPECT_EQ(model->status_text(),
              "Could not open network sign-in: could not open browser through the desktop portal: no portal");
}

TEST_F(NetworkModelTest, TheModelsEndWipesTheTypedPassword)
{
    auto model = open();
    doc.put_bool(connect_key("Office"), true);
    model->sync(doc);
    const auto buffer = model->password_buffer("Office");
    ASSERT_NE(buffer, nullptr);
    buffer->set("secret");
    model.reset();
    EXPECT_TRUE(buffer->empty());
}

}  // namespace
}  // namespace settings::panes::network
