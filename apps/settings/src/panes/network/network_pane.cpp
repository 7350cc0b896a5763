#include "panes/network/network_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "page_helpers/layout.hpp"
#include "vorn_ui/widgets.hpp"
#include "vorn_ui/widgets/card.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <utility>

namespace settings::panes::network {

namespace {

namespace ph = page_helpers;
using vorn_ui::Button;
using vorn_ui::Column;
using vorn_ui::Row;
using vorn_ui::Spacer;
using vorn_ui::Text;
using vorn_ui::TextInput;
using vorn_ui::Toggle;
using WidgetBox = ph::WidgetBox;

constexpr std::string_view connectivity_caption =
    "Connectivity comes from NetworkManager's captive-portal check, not merely from having an IP address.";
constexpr std::string_view sign_in_caption =
    "This network requires browser sign-in. NetworkManager will keep it below a fully connected route until sign-in "
    "succeeds.";
constexpr std::string_view wifi_caption =
    "Wi-Fi scanning and connection are best-effort via nmcli; secure networks prompt for a password before joining.";
constexpr std::string_view enterprise_caption =
    "Use an enterprise network for PEAP, TTLS, or EAP-TLS sign-in. Server certificate validation is mandatory.";
constexpr std::string_view plug_in_caption = "Plug in an Ethernet cable to use a wired connection.";
constexpr std::string_view diagnostics_caption =
    "Checks NetworkManager state, address, gateway and DNS without sending traffic to a Vorn service.";
constexpr std::string_view vpn_caption =
    "Connect here day to day. Use Vessix only for imports, DNS, routing, and kill-switch rules.";
constexpr std::string_view no_vpn_caption =
    "No VPN profiles yet. Vessix can import WireGuard and OpenVPN configurations.";
constexpr std::string_view airplane_caption = "Disables Wi-Fi and mobile broadband together.";
constexpr std::string_view clients_caption =
    "Client names are not guessed from traffic. Turn the hotspot off to disconnect every client immediately.";

// The ids of the texts the view changes in place.
std::string text_id(std::string_view part, std::string_view item = {})
{
    return item.empty() ? fmt::format("network.text.{}", part) : fmt::format("network.text.{}.{}", part, item);
}

std::string ethernet_label(const std::optional<WiredDevice>& wired)
{
    if (!wired || !wired->enabled) {
        return "Not connected";
    }
    return wired->connection ? fmt::format("Connected · {}", *wired->connection) : std::string("Connected");
}

std::string client_signal(const HotspotClient& client)
{
    return client.signal_dbm ? fmt::format("{} dBm", *client.signal_dbm) : std::string("signal unknown");
}

std::string dns_label(const ConnectionDiagnostics& diagnostics)
{
    return diagnostics.dns.empty() ? std::string("Not provided") : fmt::format("{}", fmt::join(diagnostics.dns, ", "));
}

// The section's actions: the Wi-Fi switch is bound to "wifi"; the others must be published for automation.
actions::catalogue::SectionBindings section_bindings()
{
    auto bindings = actions::catalogue::network_bindings();
    for (const std::string_view id :
         {"refresh", "run-diagnostics", "enable-wired", "disable-wired", "enable-airplane-mode",
          "disable-airplane-mode", "enable-hotspot", "disable-hotspot", "enable-mobile-broadband",
          "disable-mobile-broadband"}) {
        bindings.require(id);
    }
    return bindings;
}

WidgetBox header_toggle(std::string_view id, std::string_view key, std::string_view label)
{
    return Toggle(std::string(id), std::string(key)).with_id(std::string(id)).with_label(std::string(label)).boxed();
}

WidgetBox card(std::string_view title, WidgetBox companion, std::vector<WidgetBox> body)
{
    return vorn_ui::card::surface(title, std::move(companion),
                                  std::make_unique<Column>(ph::compact_stack(std::move(body))))
        .boxed();
}

}  // namespace

std::string connect_button_id(std::string_view ssid) { return fmt::format("settings.network.connect.{}", ssid); }
std::string join_button_id(std::string_view ssid) { return fmt::format("settings.network.join.{}", ssid); }
std::string password_field_id(std::string_view ssid) { return fmt::format("settings.network.password.{}", ssid); }
std::string vpn_toggle_id(std::string_view name) { return fmt::format("settings.network.vpn.{}", name); }

std::string_view connect_label(const WifiNetwork& network, bool expanded)
{
    if (network.in_use) {
        return "Connected";
    }
    return expanded ? "Cancel" : "Connect";
}

NetworkPane::NetworkPane(NetworkBackend backend, NetworkWorkers workers)
    : PreferencePane({"network", "Network", "Wi-Fi, wired connections, and VPN"}),
      model_(std::make_unique<NetworkModel>(std::move(backend), std::move(workers)))
{
}

NetworkPane::NetworkPane(NetworkBackend backend, NetworkWorkers workers, NetworkSnapshot state)
    : PreferencePane({"network", "Network", "Wi-Fi, wired connections, and VPN"}),
      model_(std::make_unique<NetworkModel>(std::move(backend), std::move(workers), std::move(state)))
{
}

NetworkPane::~NetworkPane() = default;

void NetworkPane::share_operation_cells(operations::OperationRequestCell requests,
                                        operations::OperationStatusCell status)
{
    model_->share_operation_requests(std::move(requests));
    model_->share_operation_status(std::move(status));
}

void NetworkPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    // The controls first write what the user did, so that the model acts on it in this same pass.
    if (content() != nullptr) {
        content()->sync(doc, ctx);
    }
    model_->sync(doc);
    refresh_view(doc, ctx);
}

std::string NetworkPane::structure_key() const
{
    const NetworkModel& model = *model_;
    if (model.loading()) {
        return "loading";
    }
    const NetworkSnapshot& state = model.state();
    std::string key = fmt::format("{}|{}|{}|{}|{}|{}|", state.connectivity == Connectivity::SignInRequired,
                                  state.wifi_enabled, model.status_text().has_value(), model.expanded().value_or(""),
                                  state.wired.has_value(), state.wired && state.wired->enabled);
    if (state.wifi_enabled) {
        for (const auto& network : state.wifi_networks) {
            key += fmt::format("{}/{};", network.ssid, network.in_use);
        }
    }
    key += '|';
    for (const auto& vpn : state.vpns) {
        key += vpn.name + ';';
    }
    if (const auto& diagnostics = model.diagnostics()) {
        key += fmt::format("|diag:{}:{}:{}:{}", diagnostics->device.has_value(), diagnostics->address.has_value(),
                           diagnostics->gateway.has_value(), diagnostics->notes.size());
    }
    key += fmt::format("|{}:{}|{}", state.radio.hotspot_active, state.hotspot_clients.size(),
                       state.radio.mobile_broadband_available);
    return key;
}

std::unique_ptr<vorn_ui::Widget> NetworkPane::build_view()
{
    const NetworkModel& model = *model_;
    const NetworkSnapshot& state = model.state();
    const auto bindings = section_bindings();
    std::vector<WidgetBox> cards;
    if (model.loading()) {
        cards.push_back(ph::caption(loading_caption));
        return std::make_unique<Column>(ph::section_stack(std::move(cards)));
    }

    // Internet access
    {
        const bool sign_in = state.connectivity == Connectivity::SignInRequired;
        std::vector<WidgetBox> body;
        body.push_back(ph::value_row("Connectivity", connectivity_label(state.connectivity), text_id("connectivity")));
        body.push_back(ph::caption(sign_in ? sign_in_caption : connectivity_caption));
        if (sign_in) {
            body.push_back(Row()
                               .push(Button(std::string(captive_portal_button_id), "Open sign-in page",
                                            std::string(captive_portal_key)))
                               .push(Spacer::flexible())
                               .boxed());
        }
        cards.push_back(card("Internet access", nullptr, std::move(body)));
    }

    // Wi-Fi
    {
        std::vector<WidgetBox> body;
        body.push_back(
            ph::value_row("Status", wifi_status_label(state.wifi_enabled, state.wifi_networks), text_id("wifi")));
        if (model.status_text()) {
            body.push_back(ph::caption(*model.status_text(), text_id("status")));
        }
        if (state.wifi_enabled) {
            for (const auto& network : state.wifi_networks) {
                const bool expanded = model.expanded() == network.ssid;
                body.push_back(Row()
                                   .with_spacing(8.0f)
                                   .push(Text(wifi_row_label(network))
                                             .with_size(ph::kBodyText)
                                             .with_label(text_id("network", network.ssid)))
                                   .push(Spacer::flexible())
                                   .push(Button(connect_button_id(network.ssid),
                                                std::string(connect_label(network, expanded)),
                                                connect_key(network.ssid)))
                                   .boxed());
                if (expanded) {
                    auto field = TextInput(password_field_id(network.ssid))
                                     .with_kind(vorn_ui::text_input_kind::password)
                                     .with_placeholder("Password");
                    if (auto buffer = model.password_buffer(network.ssid)) {
                        field = std::move(field).with_external_buffer(std::move(buffer));
                    }
                    body.push_back(Row()
                                       .with_spacing(8.0f)
                                       .push(std::move(field).with_width(320.0f).boxed())
                                       .push(Button(join_button_id(network.ssid), "Join", join_key(network.ssid)))
                                       .push(Spacer::flexible())
                                       .boxed());
                }
            }
        }
        body.push_back(Row()
                           .push(Button(std::string(refresh_button_id), "Refresh", std::string(refresh_key)))
                           .push(Spacer::flexible())
                           .boxed());
        body.push_back(ph::caption(wifi_caption));
        auto power = Toggle(std::string(wifi_toggle_id), std::string(wifi_key))
                         .with_id("network.wifi")
                         .with_label("Wi-Fi")
                         .on_action(bindings.toggle("wifi"))
                         .boxed();
        cards.push_back(card("Wi-Fi", std::move(power), std::move(body)));
    }

    cards.push_back(card("Enterprise Wi-Fi", nullptr, ph::widgets(ph::caption(enterprise_caption))));

    // Wired
    {
        std::vector<WidgetBox> body;
        body.push_back(ph::value_row("Ethernet", ethernet_label(state.wired), text_id("ethernet")));
        if (state.wired && state.wired->enabled) {
            body.push_back(ph::value_row("Interface", state.wired->interface, text_id("interface")));
            body.push_back(ph::value_row("IPv4", state.wired->ipv4_address.value_or("—"), text_id("ipv4")));
        } else {
            body.push_back(ph::caption(plug_in_caption));
        }
        WidgetBox power;
        if (state.wired) {
            power = Toggle(std::string(wired_toggle_id), std::string(wired_key))
                        .with_id("network.wired")
                        .with_label("Wired")
                        .boxed();
        }
        cards.push_back(card("Wired", std::move(power), std::move(body)));
    }

    cards.push_back(ph::surface_card("Connection profiles"));

    // Connection diagnostics
    {
        std::vector<WidgetBox> body;
        body.push_back(Row()
                           .push(Button(std::string(diagnostics_button_id), "Run diagnostics",
                                        std::string(diagnostics_key)))
                           .push(Spacer::flexible())
                           .boxed());
        if (const auto& diagnostics = model.diagnostics()) {
            body.push_back(ph::value_row("NetworkManager", diagnostics->manager_state, text_id("diagnostics", "state")));
            body.push_back(ph::value_row("Internet", connectivity_label(diagnostics->connectivity),
                                         text_id("diagnostics", "internet")));
            const std::pair<std::string_view, const std::optional<std::string>*> optional_rows[] = {
                {"Device", &diagnostics->device}, {"Address", &diagnostics->address}, {"Gateway", &diagnostics->gateway}};
            for (const auto& [label, value] : optional_rows) {
                if (value->has_value()) {
                    body.push_back(ph::value_row(label, **value, text_id("diagnostics", label)));
                }
            }
            body.push_back(ph::value_row("DNS", dns_label(*diagnostics), text_id("diagnostics", "dns")));
            for (std::size_t i = 0; i < diagnostics->notes.size(); ++i) {
                body.push_back(ph::caption(diagnostics->notes[i], text_id("diagnostics", fmt::format("note{}", i))));
            }
        } else {
            body.push_back(ph::caption(diagnostics_caption));
        }
        cards.push_back(card("Connection diagnostics", nullptr, std::move(body)));
    }

    // VPN
    {
        std::vector<WidgetBox> body;
        for (const auto& vpn : state.vpns) {
            body.push_back(Row()
                               .with_spacing(8.0f)
                               .push(Text(vpn.name).with_size(ph::kBodyText))
                               .push(Spacer::flexible())
                               .push(header_toggle(vpn_toggle_id(vpn.name), vpn_key(vpn.name), vpn.name))
                               .boxed());
        }
        body.push_back(ph::caption(state.vpns.empty() ? no_vpn_caption : vpn_caption));
        cards.push_back(ph::labelled_card("VPN", std::make_unique<Column>(ph::compact_stack(std::move(body)))));
    }

    cards.push_back(card("Airplane mode", header_toggle(airplane_toggle_id, airplane_key, "Airplane mode"),
                         ph::widgets(ph::caption(airplane_caption))));

    // Wi-Fi hotspot
    {
        std::vector<WidgetBox> body;
        body.push_back(ph::value_row("Status", state.radio.hotspot_active ? "Active" : "Off", text_id("hotspot")));
        if (state.radio.hotspot_active) {
            body.push_back(ph::value_row("Connected devices", fmt::format("{}", state.hotspot_clients.size()),
                                         text_id("hotspot", "clients")));
            for (std::size_t i = 0; i < state.hotspot_clients.size(); ++i) {
                const auto& client = state.hotspot_clients[i];
                body.push_back(ph::value_row(client.name, client_signal(client), text_id("client", fmt::format("{}", i))));
            }
            body.push_back(ph::caption(clients_caption));
        }
        cards.push_back(card("Wi-Fi hotspot", header_toggle(hotspot_toggle_id, hotspot_key, "Wi-Fi hotspot"),
                             std::move(body)));
    }

    if (state.radio.mobile_broadband_available) {
        cards.push_back(card("Mobile broadband", header_toggle(mobile_toggle_id, mobile_key, "Mobile broadband"),
                             {}));
    }
    return std::make_unique<Column>(ph::section_stack(std::move(cards)));
}

bool NetworkPane::show_values()
{
    const NetworkModel& model = *model_;
    if (model.loading()) {
        return false;
    }
    const NetworkSnapshot& state = model.state();
    bool changed = false;
    changed |= show_text(text_id("connectivity"), connectivity_label(state.connectivity));
    changed |= show_text(text_id("wifi"), wifi_status_label(state.wifi_enabled, state.wifi_networks));
    if (model.status_text()) {
        changed |= show_text(text_id("status"), *model.status_text());
    }
    for (const auto& network : state.wifi_networks) {
        changed |= show_text(text_id("network", network.ssid), wifi_row_label(network));
        const std::string_view label = connect_label(network, model.expanded() == network.ssid);
        if (auto* button = control<Button>(connect_button_id(network.ssid)); button && button->caption() != label) {
            button->set_caption(std::string(label));
            changed = true;
        }
    }
    changed |= show_text(text_id("ethernet"), ethernet_label(state.wired));
    if (state.wired) {
        changed |= show_text(text_id("interface"), state.wired->interface);
        changed |= show_text(text_id("ipv4"), state.wired->ipv4_address.value_or("—"));
    }
    if (const auto& diagnostics = model.diagnostics()) {
        changed |= show_text(text_id("diagnostics", "state"), diagnostics->manager_state);
        changed |= show_text(text_id("diagnostics", "internet"), connectivity_label(diagnostics->connectivity));
        changed |= show_text(text_id("diagnostics", "Device"), diagnostics->device.value_or(""));
        changed |= show_text(text_id("diagnostics", "Address"), diagnostics->address.value_or(""));
        changed |= show_text(text_id("diagnostics", "Gateway"), diagnostics->gateway.value_or(""));
        changed |= show_text(text_id("diagnostics", "dns"), dns_label(*diagnostics));
        for (std::size_t i = 0; i < diagnostics->notes.size(); ++i) {
            changed |= show_text(text_id("diagnostics", fmt::format("note{}", i)), diagnostics->notes[i]);
        }
    }
    changed |= show_text(text_id("hotspot"), state.radio.hotspot_active ? "Active" : "Off");
    changed |= show_text(text_id("hotspot", "clients"), fmt::format("{}", state.hotspot_clients.size()));
    for (std::size_t i = 0; i < state.hotspot_clients.size(); ++i) {
        changed |= show_text(text_id("client", fmt::format("{}", i)), client_signal(state.hotspot_clients[i]));
    }
    return changed;
}

}  // namespace settings::panes::network
