#include "panes/network/network_model.hpp"

#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <deque>
#include <mutex>
#include <type_traits>
#include <utility>

namespace settings::panes::network {

namespace {

using page_doc::Document;
using Op = NetworkOperation;
namespace net = system_ops::network;

constexpr std::string_view kLogTag = "network_page";

// Acts on a press once: answers whether it was set, and clears it first.
bool consume(Document& doc, std::string_view key)
{
    if (page_doc::doc_bool(doc, key) != true) {
        return false;
    }
    doc.put_bool(key, false);
    return true;
}

std::string_view on_off(bool on) { return on ? "on" : "off"; }

}  // namespace

// ---- Keys and labels ----

std::string vpn_key(std::string_view name) { return fmt::format("network.vpn.{}", name); }
std::string connect_key(std::string_view ssid) { return fmt::format("network.connect.{}", ssid); }
std::string join_key(std::string_view ssid) { return fmt::format("network.join.{}", ssid); }

std::string_view connectivity_label(Connectivity connectivity)
{
    switch (connectivity) {
    case Connectivity::Offline: return "Offline";
    case Connectivity::SignInRequired: return "Sign-in required";
    case Connectivity::Limited: return "Limited connectivity";
    case Connectivity::Connected: return "Connected to the internet";
    case Connectivity::NotChecked: break;
    }
    return "Connectivity not checked";
}

std::uint8_t signal_level(const WifiNetwork& network)
{
    return static_cast<std::uint8_t>(std::min(3, network.signal / 25));
}

std::string wifi_row_label(const WifiNetwork& network)
{
    static constexpr std::array<std::string_view, 4> signal_glyphs = {"\U000F092B", "\U000F091F", "\U000F0922",
                                                                      "\U000F0925"};
    const std::string_view lock = network.open() ? "\U000F033F" : "\U000F033E";
    return fmt::format("{}  {}  {}", signal_glyphs[signal_level(network)], lock, network.ssid);
}

std::string wifi_status_label(bool wifi_enabled, const std::vector<WifiNetwork>& networks)
{
    if (!wifi_enabled) {
        return "Wi-Fi is off";
    }
    const auto in_use = std::ranges::find_if(networks, &WifiNetwork::in_use);
    return in_use == networks.end() ? std::string("Not connected") : fmt::format("Connected to {}", in_use->ssid);
}

// ---- Worker answers ----

class NetworkModel::Inbox {
public:
    explicit Inbox(vorn_ui::WakeHandle wake) : wake_(std::move(wake)) {}

    void put(Answer answer)
    {
        {
            const std::lock_guard lock(mutex_);
            answers_.push_back(std::move(answer));
        }
        wake_.wake();
    }

    std::deque<Answer> take()
    {
        const std::lock_guard lock(mutex_);
        return std::exchange(answers_, {});
    }

private:
    std::mutex mutex_;
    std::deque<Answer> answers_;
    vorn_ui::WakeHandle wake_;
};

// Everything the page shows, read on a worker.
struct NetworkModel::Reading {
    system_ops::Result<std::vector<WifiNetwork>> wifi_networks;
    system_ops::Result<bool> wifi_enabled;
    system_ops::Result<std::optional<WiredDevice>> wired;
    system_ops::Result<RadioState> radio;
    system_ops::Result<Connectivity> connectivity;
    system_ops::Result<std::vector<VpnConnection>> vpns;
    system_ops::Result<std::vector<SavedNetworkProfile>> profiles;
    system_ops::Result<std::vector<HotspotClient>> hotspot_clients;

    static Reading take(NetworkBackend& backend)
    {
        Reading reading;
        reading.wifi_enabled = backend.network->get_wifi();
        reading.wifi_networks = backend.network->list_wifi_networks();
        reading.wired = backend.network->get_wired();
        reading.radio = backend.network->get_radio_state();
        reading.vpns = backend.network->list_vpn_connections();
        reading.connectivity = backend.connections->get_connectivity();
        reading.profiles = backend.connections->list_saved_network_profiles();
        reading.hotspot_clients = backend.connections->list_hotspot_clients();
        return reading;
    }
};

namespace {

// The radio switches: airplane mode, the hotspot and mobile broadband.
struct RadioRow {
    std::string_view key;
    std::string_view label;  // in "<label> enabled." and "Could not change <label> state: …"
    std::string_view name;   // in "<name> is already on."
    bool RadioState::*flag;
    system_ops::Status (net::NetworkService::*set)(bool);
    Op (*operation)(bool);
};

const std::array<RadioRow, 3> radio_rows{{
    {airplane_key, "airplane", "Airplane mode", &RadioState::airplane_mode, &net::NetworkService::set_airplane_mode,
     [](bool on) { return Op(Op::SetAirplaneMode{on}); }},
    {hotspot_key, "hotspot", "The hotspot", &RadioState::hotspot_active, &net::NetworkService::set_hotspot,
     [](bool on) { return Op(Op::SetHotspot{on}); }},
    {mobile_key, "mobile", "Mobile broadband", &RadioState::mobile_broadband,
     &net::NetworkService::set_mobile_broadband, [](bool on) { return Op(Op::SetMobileBroadband{on}); }},
}};

const RadioRow& radio_row(std::string_view key)
{
    return *std::ranges::find(radio_rows, key, &RadioRow::key);
}

}  // namespace

// ---- The model ----

NetworkModel::NetworkModel(NetworkBackend backend, NetworkWorkers workers)
    : NetworkModel(std::move(backend), std::move(workers), NetworkSnapshot{})
{
    loading_ = true;
    post(workers_.actions, [](NetworkBackend& backend) -> Answer {
        auto reading = Reading::take(backend);
        return [reading = std::move(reading)](NetworkModel& model, Document& doc) {
            model.loading_ = false;
            model.apply_reading(doc, reading);
        };
    });
}

NetworkModel::NetworkModel(NetworkBackend backend, NetworkWorkers workers, NetworkSnapshot state)
    : backend_(std::move(backend)),
      workers_(std::move(workers)),
      inbox_(std::make_shared<Inbox>(vorn_ui::WakeHandle::create())),
      state_(std::move(state)),
      requests_(std::nullopt),
      status_(operations::OperationStatus::idle())
{
}

NetworkModel::~NetworkModel()
{
    for (auto& [ssid, buffer] : wifi_passwords_) {
        buffer->clear();
    }
}

void NetworkModel::share_operation_requests(operations::OperationRequestCell cell)
{
    requests_ = std::move(cell);
    shares_requests_ = true;
}

void NetworkModel::share_operation_status(operations::OperationStatusCell cell)
{
    status_ = std::move(cell);
    shares_status_ = true;
}

vorn_ui::SharedLockedText NetworkModel::password_buffer(std::string_view ssid) const
{
    if (expanded_ != ssid) {
        return nullptr;
    }
    const auto found = wifi_passwords_.find(ssid);
    return found == wifi_passwords_.end() ? nullptr : found->second;
}

void NetworkModel::post(const Executor& executor, std::function<Answer(NetworkBackend&)> work)
{
    ++in_flight_;
    executor([backend = backend_, inbox = inbox_, work = std::move(work)]() mutable {
        Answer answer = work(backend);
        inbox->put([answer = std::move(answer)](NetworkModel& model, Document& doc) {
            --model.in_flight_;
            answer(model, doc);
        });
    });
}

void NetworkModel::take_answers(Document& doc)
{
    for (auto& answer : inbox_->take()) {
        answer(*this, doc);
    }
}

void NetworkModel::sync(Document& doc)
{
    take_answers(doc);
    if (loading_) {
        return;
    }
    seed(doc);
    replay(doc);
    apply_wifi(doc);
    apply_wired(doc);
    apply_radios(doc);
    apply_vpns(doc);
    run_diagnostics(doc);
    open_captive_portal(doc);
    refresh(doc);
    follow_expanded(doc);
    connect_presses(doc);
    // A worker that answered at once is heard in this same pass.
    take_answers(doc);
}

void NetworkModel::seed(Document& doc)
{
    if (!std::exchange(needs_seed_, false)) {
        return;
    }
    // The switches show the machine as it is now, whatever an earlier visit left in the document.
    doc.put_bool(wifi_key, state_.wifi_enabled);
    doc.put_bool(wired_key, state_.wired && state_.wired->enabled);
    for (const auto& row : radio_rows) {
        doc.put_bool(row.key, state_.radio.*row.flag);
    }
    for (const auto key : {refresh_key, diagnostics_key, captive_portal_key}) {
        doc.put_bool(key, false);
    }
    doc.put_str(expanded_key, "");
    seed_vpn_keys(doc);
}

void NetworkModel::seed_vpn_keys(Document& doc)
{
    // A connection listed for the first time gets its key, so that its switch shows whether it is up.
    for (const auto& vpn : state_.vpns) {
        if (seeded_vpns_.insert(vpn.name).second && !vpn_asked_.contains(vpn.name)) {
            doc.put_bool(vpn_key(vpn.name), vpn.active);
        }
    }
}

void NetworkModel::apply_reading(Document& doc, const Reading& reading)
{
    if (reading.wifi_enabled) {
        state_.wifi_enabled = *reading.wifi_enabled;
        if (!needs_seed_ && !wifi_asked_) {
            doc.put_bool(wifi_key, state_.wifi_enabled);
        }
    }
    if (reading.wifi_networks) {
        state_.wifi_networks = *reading.wifi_networks;
    } else if (!state_.wifi_enabled) {
        state_.wifi_networks.clear();
    }
    if (reading.wired) {
        state_.wired = *reading.wired;
    } else if (loading_ || needs_seed_) {
        state_.wired.reset();
    }
    if (!needs_seed_ && !wired_asked_) {
        doc.put_bool(wired_key, state_.wired && state_.wired->enabled);
    }
    if (reading.radio) {
        state_.radio = *reading.radio;
        if (!needs_seed_) {
            for (const auto& row : radio_rows) {
                if (!radio_asked_.contains(row.key)) {
                    doc.put_bool(row.key, state_.radio.*row.flag);
                }
            }
        }
    }
    state_.connectivity = reading.connectivity.value_or(Connectivity::NotChecked);
    if (reading.vpns) {
        state_.vpns = *reading.vpns;
        for (const auto& vpn : state_.vpns) {
            // A connection brought up or down elsewhere: its switch follows, unless a change of it is under way.
            if (!needs_seed_ && seeded_vpns_.contains(vpn.name) && !vpn_asked_.contains(vpn.name)) {
                doc.put_bool(vpn_key(vpn.name), vpn.active);
            }
        }
        if (!needs_seed_) {
            seed_vpn_keys(doc);
        }
    }
    state_.profiles = reading.profiles.value_or(std::vector<SavedNetworkProfile>{});
    state_.hotspot_clients = reading.hotspot_clients.value_or(std::vector<HotspotClient>{});
}

bool NetworkModel::may_change(const NetworkOperation& operation) const
{
    if (!shares_status_) {
        return true;
    }
    const operations::OperationStatus status = status_.get();
    return status.state != operations::OperationStatus::State::Running ||
           status.key == operations::operation_key(operation);
}

void NetworkModel::finish_operation(const NetworkOperation& operation, bool failed, const std::string& message)
{
    (void)operations::finish_operation_with_key(
        status_, operations::operation_key(operation),
        failed ? std::expected<std::string, std::string>(std::unexpected(message))
               : std::expected<std::string, std::string>(message));
}

// ---- Operations ----

void NetworkModel::replay(Document& doc)
{
    auto operation = operations::take_operation_request<NetworkOperation>(requests_);
    if (!operation) {
        return;
    }
    std::visit(
        [&](const auto& op) {
            using T = std::decay_t<decltype(op)>;
            if constexpr (std::is_same_v<T, Op::Refresh>) {
                doc.put_bool(refresh_key, true);
            } else if constexpr (std::is_same_v<T, Op::RunDiagnostics>) {
                doc.put_bool(diagnostics_key, true);
            } else if constexpr (std::is_same_v<T, Op::SetWifiEnabled>) {
                if (op.enabled == state_.wifi_enabled && !wifi_asked_) {
                    finish_operation(*operation, false, fmt::format("Wi-Fi is already {}.", on_off(op.enabled)));
                }
                doc.put_bool(wifi_key, op.enabled);
            } else if constexpr (std::is_same_v<T, Op::SetWiredEnabled>) {
                if (!state_.wired) {
                    finish_operation(*operation, true, "wired networking is unavailable on this device");
                    return;
                }
                if (op.enabled == state_.wired->enabled && !wired_asked_) {
                    finish_operation(*operation, false,
                                     fmt::format("Wired networking is already {}.", on_off(op.enabled)));
                }
                doc.put_bool(wired_key, op.enabled);
            } else {
                const RadioRow& row = radio_row(std::is_same_v<T, Op::SetAirplaneMode> ? airplane_key
                                                : std::is_same_v<T, Op::SetHotspot>    ? hotspot_key
                                                                                       : mobile_key);
                if (op.enabled == state_.radio.*row.flag && !radio_asked_.contains(row.key)) {
                    finish_operation(*operation, false, fmt::format("{} is already {}.", row.name, on_off(op.enabled)));
                }
                doc.put_bool(row.key, op.enabled);
            }
        },
        operation->value);
}

// ---- Switches ----

void NetworkModel::apply_wifi(Document& doc)
{
    const auto requested = page_doc::doc_bool(doc, wifi_key);
    // One change at a time: a different request is looked at again once the answer is in.
    if (!requested || wifi_asked_ || *requested == state_.wifi_enabled) {
        return;
    }
    const bool enabled = *requested;
    const NetworkOperation operation = Op::SetWifiEnabled{enabled};
    if (!may_change(operation)) {
        doc.put_bool(wifi_key, state_.wifi_enabled);
        return;
    }
    wifi_asked_ = enabled;
    post(workers_.actions, [enabled, operation](NetworkBackend& backend) -> Answer {
        auto changed = backend.network->set_wifi(enabled);
        auto reading = Reading::take(backend);
        return [=](NetworkModel& model, Document& doc) {
            model.wifi_asked_.reset();
            if (changed) {
                model.state_.wifi_enabled = enabled;
                model.finish_operation(operation, false, enabled ? "Wi-Fi enabled." : "Wi-Fi disabled.");
            } else {
                VORN_WARN(kLogTag, "network pane dispatch failed: op=set_wifi error={}", changed.error());
                const std::string message = fmt::format("Could not change Wi-Fi power: {}", changed.error());
                model.status_text_ = message;
                model.finish_operation(operation, true, message);
            }
            model.apply_reading(doc, reading);
            doc.put_bool(wifi_key, model.state_.wifi_enabled);
        };
    });
}

void NetworkModel::apply_wired(Document& doc)
{
    const auto requested = page_doc::doc_bool(doc, wired_key);
    if (!requested || wired_asked_) {
        return;
    }
    const bool current = state_.wired && state_.wired->enabled;
    if (*requested == current) {
        return;
    }
    const bool enabled = *requested;
    const NetworkOperation operation = Op::SetWiredEnabled{enabled};
    if (!state_.wired || !may_change(operation)) {
        doc.put_bool(wired_key, current);
        return;
    }
    wired_asked_ = enabled;
    post(workers_.actions, [enabled, operation](NetworkBackend& backend) -> Answer {
        auto changed = backend.network->set_wired(enabled);
        auto reading = Reading::take(backend);
        return [=](NetworkModel& model, Document& doc) {
            model.wired_asked_.reset();
            if (changed) {
                model.finish_operation(operation, false,
                                       enabled ? "Wired networking enabled." : "Wired networking disabled.");
            } else {
                VORN_WARN(kLogTag, "network pane dispatch failed: op=set_wired error={}", changed.error());
                const std::string message = fmt::format("Could not change wired networking: {}", changed.error());
                model.status_text_ = message;
                model.finish_operation(operation, true, message);
            }
            model.apply_reading(doc, reading);
        };
    });
}

void NetworkModel::apply_radios(Document& doc)
{
    for (const auto& row : radio_rows) {
        const auto requested = page_doc::doc_bool(doc, row.key);
        if (!requested || radio_asked_.contains(row.key) || *requested == state_.radio.*row.flag) {
            continue;
        }
        const bool enabled = *requested;
        radio_asked_[std::string(row.key)] = enabled;
        post(workers_.actions, [&row, enabled](NetworkBackend& backend) -> Answer {
            auto changed = ((*backend.network).*row.set)(enabled);
            auto reading = Reading::take(backend);
            return [=, &row](NetworkModel& model, Document& doc) {
                model.radio_asked_.erase(std::string(row.key));
                const NetworkOperation operation = row.operation(enabled);
                if (changed) {
                    model.state_.radio.*row.flag = enabled;
                    model.finish_operation(operation, false,
                                           fmt::format("{} {}.", row.label, enabled ? "enabled" : "disabled"));
                } else {
                    VORN_WARN(kLogTag, "radio action failed: op={} error={}", row.label, changed.error());
                    const std::string message =
                        fmt::format("Could not change {} state: {}", row.label, changed.error());
                    model.status_text_ = message;
                    model.finish_operation(operation, true, message);
                }
                model.apply_reading(doc, reading);
                if (!changed) {
                    doc.put_bool(row.key, model.state_.radio.*row.flag);
                }
            };
        });
    }
}

void NetworkModel::apply_vpns(Document& doc)
{
    for (const auto& vpn : state_.vpns) {
        // A connection without a key yet (listed after the page opened) is left as it is.
        const auto requested = page_doc::doc_bool(doc, vpn_key(vpn.name));
        if (!requested || *requested == vpn.active || vpn_asked_.contains(vpn.name)) {
            continue;
        }
        const bool enabled = *requested;
        vpn_asked_[vpn.name] = enabled;
        post(workers_.actions, [name = vpn.name, enabled](NetworkBackend& backend) -> Answer {
            auto changed = backend.network->set_vpn_connection(name, enabled);
            auto vpns = backend.network->list_vpn_connections();
            return [=](NetworkModel& model, Document& doc) {
                model.vpn_asked_.erase(name);
                if (vpns) {
                    model.state_.vpns = *vpns;
                }
                const auto listed = std::ranges::find(model.state_.vpns, name, &VpnConnection::name);
                if (changed && listed != model.state_.vpns.end() && !vpns) {
                    listed->active = enabled;
                }
                if (!changed) {
                    VORN_WARN(kLogTag, "VPN action failed: op=set_vpn_connection profile={} error={}", name,
                              changed.error());
                    model.status_text_ = fmt::format("Could not {} {}: {}", enabled ? "connect" : "disconnect",
                                                     name, changed.error());
                }
                if (listed != model.state_.vpns.end()) {
                    doc.put_bool(vpn_key(name), listed->active);
                }
                model.seed_vpn_keys(doc);
            };
        });
    }
}

// ---- Presses ----

void NetworkModel::run_diagnostics(Document& doc)
{
    if (!consume(doc, diagnostics_key)) {
        return;
    }
    post(workers_.actions, [](NetworkBackend& backend) -> Answer {
        auto result = backend.connections->connection_diagnostics();
        return [result = std::move(result)](NetworkModel& model, Document&) {
            const NetworkOperation operation = Op::RunDiagnostics{};
            if (result) {
                model.diagnostics_ = *result;
                model.finish_operation(operation, false, "Network diagnostics completed.");
            } else {
                model.status_text_ = fmt::format("Diagnostics unavailable: {}", result.error());
                model.finish_operation(operation, true, *model.status_text_);
            }
        };
    });
}

void NetworkModel::open_captive_portal(Document& doc)
{
    if (!consume(doc, captive_portal_key)) {
        return;
    }
    post(workers_.actions, [](NetworkBackend& backend) -> Answer {
        system_ops::Status opened;
        if (auto uri = backend.connections->captive_portal_uri(); !uri) {
            opened = std::unexpected(uri.error());
        } else {
            opened = backend.open_uri(*uri);
        }
        return [opened](NetworkModel& model, Document&) {
            if (!opened) {
                model.status_text_ = fmt::format("Could not open network sign-in: {}", opened.error());
            }
        };
    });
}

void NetworkModel::refresh(Document& doc)
{
    if (!consume(doc, refresh_key)) {
        return;
    }
    post(workers_.actions, [](NetworkBackend& backend) -> Answer {
        auto reading = Reading::take(backend);
        return [reading = std::move(reading)](NetworkModel& model, Document& doc) {
            const NetworkOperation operation = Op::Refresh{};
            if (reading.wifi_networks) {
                model.finish_operation(operation, false, "Network list refreshed.");
            } else {
                VORN_WARN(kLogTag, "rescan failed: op=list_wifi_networks error={}", reading.wifi_networks.error());
                model.finish_operation(operation, true,
                                       fmt::format("Could not refresh network list: {}", reading.wifi_networks.error()));
            }
            model.apply_reading(doc, reading);
        };
    });
}

// ---- Joining a Wi-Fi network ----

void NetworkModel::switch_secret_field(Document& doc, std::optional<std::string> ssid)
{
    if (ssid == expanded_) {
        return;
    }
    doc.put_str(expanded_key, ssid.value_or(""));
    if (ssid && !wifi_passwords_.contains(*ssid)) {
        wifi_passwords_.emplace(*ssid, vorn_ui::LockedText::create());
    }
    if (expanded_) {
        if (const auto old = wifi_passwords_.find(*expanded_); old != wifi_passwords_.end()) {
            old->second->clear();
            wifi_passwords_.erase(old);
        }
    }
    expanded_ = std::move(ssid);
}

void NetworkModel::follow_expanded(Document& doc)
{
    // The open row as the document names it, with its buffer made or wiped as when the page moves it itself, so
    // that the field shown is always the buffer Join reads.
    const std::string named = page_doc::doc_text(doc, expanded_key).value_or("");
    std::optional<std::string> wanted = named.empty() ? std::nullopt : std::optional<std::string>(named);
    if (wanted != expanded_) {
        switch_secret_field(doc, std::move(wanted));
    }
}

void NetworkModel::connect_presses(Document& doc)
{
    const std::vector<WifiNetwork> networks = state_.wifi_networks;
    for (const auto& network : networks) {
        const bool busy = pending_joins_.contains(network.ssid);
        if (consume(doc, connect_key(network.ssid)) && !network.in_use && !busy) {
            if (network.open()) {
                start_join(doc, network.ssid, nullptr);
            } else if (expanded_ == network.ssid) {
                switch_secret_field(doc, std::nullopt);  // "Cancel"
            } else if (std::ranges::any_of(state_.profiles, [&](const SavedNetworkProfile& p) {
                           return p.name == network.ssid && p.connection_type == net::wifi_profile_type;
                       })) {
                // A saved network knows its password.
                start_join(doc, network.ssid, nullptr);
            } else {
                switch_secret_field(doc, network.ssid);
                status_text_ = fmt::format("Enter the password for {}.", network.ssid);
            }
        }
        if (consume(doc, join_key(network.ssid)) && !busy) {
            std::shared_ptr<vorn_ui::SecretBytes> password;
            if (const auto buffer = password_buffer(network.ssid); buffer && !buffer->empty()) {
                password = std::make_shared<vorn_ui::SecretBytes>(buffer->copy());
            }
            start_join(doc, network.ssid, std::move(password));
        }
    }
}

void NetworkModel::start_join(Document& doc, const std::string& ssid, std::shared_ptr<vorn_ui::SecretBytes> password)
{
    // The typed password now lives only in the copy the worker holds; the field's buffer is wiped with its row.
    if (expanded_ == ssid) {
        switch_secret_field(doc, std::nullopt);
    }
    if (!pending_joins_.insert(ssid).second) {
        return;  // this network is being joined already
    }
    status_text_ = fmt::format("Connecting to {}…", ssid);
    post(workers_.joins, [ssid, password = std::move(password)](NetworkBackend& backend) mutable -> Answer {
        auto joined = backend.network->connect_wifi(
            ssid, password ? std::optional<std::string_view>(password->view()) : std::nullopt);
        password.reset();  // wiped as the copy goes
        std::optional<Reading> reading;
        if (joined) {
            reading = Reading::take(backend);
        }
        return [ssid, joined, reading = std::move(reading)](NetworkModel& model, Document& doc) {
            model.pending_joins_.erase(ssid);
            if (joined) {
                model.status_text_ = fmt::format("Connected to {}.", ssid);
                model.apply_reading(doc, *reading);
            } else {
                VORN_WARN(kLogTag, "network pane operation failed: op=network_job subject={} error={}", ssid,
                          joined.error());
                model.status_text_ = fmt::format("Could not configure {}: {}", ssid, joined.error());
            }
        };
    });
}

}  // namespace settings::panes::network
