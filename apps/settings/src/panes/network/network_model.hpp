#pragma once
// What the Network page keeps and decides, apart from its widgets: the machine's network state as last read (the
// Wi-Fi power and the networks in range, the wired device, the radios, the VPN connections, the connectivity and
// the saved profiles), the status sentence, the diagnostics, the Wi-Fi row whose password field is open with its
// password buffer, and the handling of the page document's keys and of the network operations the application
// hands the page.
//
// Document keys. A press is a boolean a button sets to true; the model writes false before acting on it, so each
// press acts once.
//
//   "network.wifi_enabled", "network.wired_enabled", "network.airplane_mode", "network.hotspot",
//   "network.mobile_broadband"      the switches
//   "network.vpn.<name>"            a VPN connection's switch
//   "network.refresh", "network.diagnostics.run", "network.captive_portal.open"     presses
//   "network.connect.<ssid>", "network.join.<ssid>"  presses: connect a listed network / join with the typed password
//   "network.expanded"              the SSID of the row whose password field is open, empty for none
//
// Every backend call runs on the workers (NetworkWorkers); sync() hands work over and takes the answers that have
// arrived, never waiting. Until the first reading is in, the model is loading: presses wait in the document and
// operations in their cell.
//
// Operations (NetworkOperation) are taken from the request cell and written into the document as the value or
// press the matching control writes, so an operation and a click take one path. Every operation taken is answered
// exactly once, published only while the status cell holds Running with exactly its key: a value already in force
// is done at once ("Wi-Fi is already on."), a wired switch on a machine without a wired device fails at once.
//
// A switch the user flips acts whenever no other device-local operation runs; while a different one runs, the
// Wi-Fi and wired switches are put back (the radio switches never wait). A switch whose change failed goes back to
// the state in force and the status says why.
//
// Wi-Fi passwords: the open row's password is typed into a locked buffer (password_buffer) that never reaches the
// document. Join copies it, hands the copy to the join's worker and wipes the buffer; closing or moving the open row
// wipes it too, as does the model's end.

#include "panes/network/network_backend.hpp"

#include "actions/payloads/connectivity.hpp"
#include "operations/cells.hpp"
#include "page_doc/page_doc.hpp"
#include "vorn_ui/locked_text.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::network {

using actions::NetworkOperation;

inline constexpr std::string_view wifi_key = "network.wifi_enabled";
inline constexpr std::string_view wired_key = "network.wired_enabled";
inline constexpr std::string_view airplane_key = "network.airplane_mode";
inline constexpr std::string_view hotspot_key = "network.hotspot";
inline constexpr std::string_view mobile_key = "network.mobile_broadband";
inline constexpr std::string_view refresh_key = "network.refresh";
inline constexpr std::string_view diagnostics_key = "network.diagnostics.run";
inline constexpr std::string_view captive_portal_key = "network.captive_portal.open";
inline constexpr std::string_view expanded_key = "network.expanded";

[[nodiscard]] std::string vpn_key(std::string_view name);      // "network.vpn.<name>"
[[nodiscard]] std::string connect_key(std::string_view ssid);  // "network.connect.<ssid>"
[[nodiscard]] std::string join_key(std::string_view ssid);     // "network.join.<ssid>"

// ---- Labels ----

// 0 "Connectivity not checked", 1 "Offline", 2 "Sign-in required", 3 "Limited connectivity", 4 "Connected to the
// internet"; any other code counts as not checked.
[[nodiscard]] std::string_view connectivity_label(Connectivity connectivity);
// The signal strength in four steps: 0 to 3.
[[nodiscard]] std::uint8_t signal_level(const WifiNetwork& network);
// "<signal glyph>  <lock glyph>  <ssid>".
[[nodiscard]] std::string wifi_row_label(const WifiNetwork& network);
// With Wi-Fi on "Connected to <ssid>" (the first network in use) or "Not connected"; with Wi-Fi off "Wi-Fi is off".
[[nodiscard]] std::string wifi_status_label(bool wifi_enabled, const std::vector<WifiNetwork>& networks);

// The machine as read at one moment.
struct NetworkSnapshot {
    std::vector<WifiNetwork> wifi_networks;
    bool wifi_enabled = true;
    std::optional<WiredDevice> wired;
    RadioState radio;
    Connectivity connectivity = Connectivity::NotChecked;
    std::vector<VpnConnection> vpns;
    std::vector<SavedNetworkProfile> profiles;
    std::vector<HotspotClient> hotspot_clients;
};

class NetworkModel {
public:
    // Starts loading: the first reading runs on the action worker (what cannot be read counts as absent, empty or
    // off; Wi-Fi counts as on).
    NetworkModel(NetworkBackend backend, NetworkWorkers workers);
    // Starts from a known reading.
    NetworkModel(NetworkBackend backend, NetworkWorkers workers, NetworkSnapshot state);
    // Wipes every typed password.
    ~NetworkModel();
    NetworkModel(const NetworkModel&) = delete;
    NetworkModel& operator=(const NetworkModel&) = delete;

    // The application's cells in place of the model's own (which nobody else sees).
    void share_operation_requests(operations::OperationRequestCell cell);
    void share_operation_status(operations::OperationStatusCell cell);
    [[nodiscard]] const operations::OperationRequestCell& operation_requests() const { return requests_; }
    [[nodiscard]] const operations::OperationStatusCell& operation_status() const { return status_; }

    // One pass on the UI thread over the working document.
    void sync(page_doc::Document& doc);

    [[nodiscard]] bool loading() const { return loading_; }
    [[nodiscard]] const NetworkSnapshot& state() const { return state_; }
    [[nodiscard]] const std::optional<std::string>& status_text() const { return status_text_; }
    [[nodiscard]] const std::optional<ConnectionDiagnostics>& diagnostics() const { return diagnostics_; }
    [[nodiscard]] const std::optional<std::string>& expanded() const { return expanded_; }
    // The password buffer of the open row (null when no row is open or `ssid` is not the open one).
    [[nodiscard]] vorn_ui::SharedLockedText password_buffer(std::string_view ssid) const;
    [[nodiscard]] bool joining(std::string_view ssid) const { return pending_joins_.contains(ssid); }
    // Work handed to the workers whose answer has not been taken yet.
    [[nodiscard]] int work_in_flight() const { return in_flight_; }

    class Inbox;

private:
    using Answer = std::function<void(NetworkModel&, page_doc::Document&)>;
    struct Reading;

    void post(const Executor& executor, std::function<Answer(NetworkBackend&)> work);
    void take_answers(page_doc::Document& doc);

    void seed(page_doc::Document& doc);
    void seed_vpn_keys(page_doc::Document& doc);
    void replay(page_doc::Document& doc);
    void apply_wifi(page_doc::Document& doc);
    void apply_wired(page_doc::Document& doc);
    void apply_radios(page_doc::Document& doc);
    void apply_vpns(page_doc::Document& doc);
    void run_diagnostics(page_doc::Document& doc);
    void open_captive_portal(page_doc::Document& doc);
    void refresh(page_doc::Document& doc);
    void follow_expanded(page_doc::Document& doc);
    void connect_presses(page_doc::Document& doc);

    void start_join(page_doc::Document& doc, const std::string& ssid, std::shared_ptr<vorn_ui::SecretBytes> password);
    // Moves the open row (none: closes it). The new row gets an empty buffer; the old row's buffer is wiped.
    void switch_secret_field(page_doc::Document& doc, std::optional<std::string> ssid);
    void apply_reading(page_doc::Document& doc, const Reading& reading);
    // Whether a change of the Wi-Fi or wired switch to the operation's value may be made now: always with the
    // model's own cells; with the application's, unless a different device-local operation runs.
    [[nodiscard]] bool may_change(const NetworkOperation& operation) const;
    void finish_operation(const NetworkOperation& operation, bool failed, const std::string& message);

    NetworkBackend backend_;
    NetworkWorkers workers_;
    std::shared_ptr<Inbox> inbox_;

    NetworkSnapshot state_;
    bool loading_ = false;
    bool needs_seed_ = true;
    std::optional<std::string> status_text_;
    std::optional<ConnectionDiagnostics> diagnostics_;
    std::optional<std::string> expanded_;
    // The open row's password, keyed by its SSID (apart from every other secret of the page).
    std::map<std::string, vorn_ui::SharedLockedText, std::less<>> wifi_passwords_;
    std::set<std::string, std::less<>> pending_joins_;
    std::set<std::string, std::less<>> seeded_vpns_;

    operations::OperationRequestCell requests_;
    operations::OperationStatusCell status_;
    bool shares_requests_ = false;
    bool shares_status_ = false;

    // Changes handed over whose answer is not in.
    std::optional<bool> wifi_asked_;
    std::optional<bool> wired_asked_;
    std::map<std::string, bool, std::less<>> radio_asked_;
    std::map<std::string, bool, std::less<>> vpn_asked_;
    bool refreshing_ = false;
    int in_flight_ = 0;
};

}  // namespace settings::panes::network
