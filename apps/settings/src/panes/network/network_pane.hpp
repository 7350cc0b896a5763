#pragma once
// The Network page's widget: the cards "Internet access" (the connectivity, and the sign-in button behind a captive
// portal), "Wi-Fi" (the power switch, the status, the networks in range with Connect, the open row's password field
// and Join, Refresh), "Enterprise Wi-Fi", "Wired" (its switch, the link, interface and address), "Connection
// profiles", "Connection diagnostics", "VPN" (one switch per connection), "Airplane mode", "Wi-Fi hotspot" and,
// where a modem is present, "Mobile broadband".
//
// The view is built once and its values are changed in place (show_values): the connectivity, the Wi-Fi status,
// each network's signal and button caption, the wired link, the diagnostics and the hotspot status follow the model
// at every sync. It is built again only when rows appear or go (networks listed or gone, a row opened, Wi-Fi
// switched, the wired link up or down, VPNs, diagnostics read, the status line shown); the control that had the
// focus gets it back by its control id.
//
// Every control writes its document key (network_model.hpp); the model acts on it. The Wi-Fi switch is also bound
// to the Network section's "wifi" action; the section's other actions (the wired, airplane, hotspot and mobile
// switches, refresh and diagnostics) must be published, as automation reaches the same changes through them.
//
//   auto pane = std::make_unique<NetworkPane>(NetworkBackend::current(), NetworkWorkers::background());
//   pane->share_operation_cells(app.operation_requests(), app.operation_status());

#include "panes/network/network_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace settings::panes::network {

inline constexpr std::string_view loading_caption = "Loading…";
inline constexpr std::string_view wifi_toggle_id = "settings.network.wifi";
inline constexpr std::string_view wired_toggle_id = "settings.network.wired";
inline constexpr std::string_view airplane_toggle_id = "settings.network.airplane";
inline constexpr std::string_view hotspot_toggle_id = "settings.network.hotspot";
inline constexpr std::string_view mobile_toggle_id = "settings.network.mobile";
inline constexpr std::string_view refresh_button_id = "settings.network.refresh";
inline constexpr std::string_view diagnostics_button_id = "settings.network.diagnostics";
inline constexpr std::string_view captive_portal_button_id = "settings.network.captive-portal";
[[nodiscard]] std::string connect_button_id(std::string_view ssid);  // "settings.network.connect.<ssid>"
[[nodiscard]] std::string join_button_id(std::string_view ssid);     // "settings.network.join.<ssid>"
[[nodiscard]] std::string password_field_id(std::string_view ssid);  // "settings.network.password.<ssid>"
[[nodiscard]] std::string vpn_toggle_id(std::string_view name);      // "settings.network.vpn.<name>"
// "Connected" for the network in use, "Cancel" for the open row, else "Connect".
[[nodiscard]] std::string_view connect_label(const WifiNetwork& network, bool expanded);

class NetworkPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::network::NetworkPane", "NetworkPane")

    // Reads the machine on the workers; the page shows "Loading…" until the reading is in.
    NetworkPane(NetworkBackend backend, NetworkWorkers workers);
    // Starts from a known reading.
    NetworkPane(NetworkBackend backend, NetworkWorkers workers, NetworkSnapshot state);
    ~NetworkPane() override;

    // The application's operation cells in place of the model's own.
    void share_operation_cells(operations::OperationRequestCell requests, operations::OperationStatusCell status);

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;

    [[nodiscard]] const NetworkModel& model() const { return *model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    std::unique_ptr<NetworkModel> model_;
};

}  // namespace settings::panes::network
