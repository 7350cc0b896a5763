#pragma once
// Fakes of the connection, modem and Wi-Fi continuity backends, for the tests of the Network page. Each answers
// from its state and applies every change to it, like a machine would, and refuses what the real backend refuses
// (the same checks run first). Safe to share between threads: workers of the page call them.
//
//   auto connections = std::make_shared<system_ops::testing::FakeConnections>();
//   system_ops::ScopedCurrent<system_ops::network::ConnectionService> guard(connections);
//   connections->change([](auto& s) { s.profiles.push_back({"Home", uuid, "802-11-wireless", true}); });

#include "collaboration_broker/wifi_continuity.hpp"
#include "system_ops/modem.hpp"
#include "system_ops/network_connections.hpp"

#include <deque>
#include <map>
#include <mutex>

namespace system_ops::testing {

class FakeConnections final : public network::ConnectionService {
public:
    struct EnterpriseAttempt {
        network::EnterpriseWifiRequest request;
        SecretText password;
    };
    struct State {
        network::Connectivity connectivity = network::Connectivity::Connected;
        std::string portal_uri = "http://check.example/check_network_status.txt";
        network::ConnectionDiagnostics diagnostics{.manager_state = "connected",
                                                   .connectivity = network::Connectivity::Connected};
        std::vector<network::SavedNetworkProfile> profiles;
        std::map<std::string, network::ConnectionProfileSettings> settings;  // by UUID; missing: unreadable
        std::optional<network::HotspotConfiguration> hotspot;
        std::vector<network::HotspotClient> hotspot_clients;
        std::vector<std::pair<std::string, std::string>> mobile_profiles;  // name, APN
        std::vector<EnterpriseAttempt> enterprise;
        std::vector<std::pair<std::string, network::Ipv4Request>> ipv4_requests;
        std::vector<std::pair<std::string, network::ConnectionPolicyPatch>> policy_patches;
        // When set, every operation fails with this text (NetworkManager not running).
        std::optional<std::string> failure;
    };

    FakeConnections() = default;
    explicit FakeConnections(State state) : state_(std::move(state)) {}

    [[nodiscard]] State state() const;
    template <class F>
    void change(F&& f)
    {
        const std::lock_guard lock(mutex_);
        f(state_);
    }

    Result<network::Connectivity> get_connectivity() override;
    Result<std::string> captive_portal_uri() override;
    Result<network::ConnectionDiagnostics> connection_diagnostics() override;
    Result<std::vector<network::SavedNetworkProfile>> list_saved_network_profiles() override;
    Result<network::ConnectionProfileSettings> connection_profile_settings(std::string_view uuid) override;
    Status set_network_autoconnect(std::string_view uuid, bool enabled) override;
    Status forget_network_profile(std::string_view uuid) override;
    Status configure_ipv4(std::string_view uuid, const network::Ipv4Request& request) override;
    Status configure_connection_policy_patch(std::string_view uuid,
                                             const network::ConnectionPolicyPatch& patch) override;
    Status connect_enterprise_wifi(const network::EnterpriseWifiRequest& request, std::string_view password) override;
    Status configure_hotspot(const network::HotspotConfiguration& configuration) override;
    Result<std::vector<network::HotspotClient>> list_hotspot_clients() override;
    Status create_mobile_profile(std::string_view name, std::string_view apn) override;

private:
    Status find(std::string_view uuid, std::vector<network::SavedNetworkProfile>::iterator& at);

    mutable std::mutex mutex_;
    State state_;
};

class FakeModem final : public modem::ModemService {
public:
    struct State {
        std::vector<modem::MobileSim> sims;
        std::string pin = "1234";  // the PIN every SIM accepts
        std::vector<std::string> unlocked;  // identifiers of the SIMs unlocked so far
        std::optional<std::string> failure;
    };

    FakeModem() = default;
    explicit FakeModem(State state) : state_(std::move(state)) {}
    [[nodiscard]] State state() const;

    Result<std::vector<modem::MobileSim>> list_mobile_sims() override;
    Status unlock_mobile_sim_on(std::string_view sim, std::string_view pin) override;

private:
    mutable std::mutex mutex_;
    State state_;
};

// Answers each command with the next scripted reply (or the failed command "no scripted reply") and records it.
class ScriptedWifiContinuity final : public vorn_ui::collaboration::broker::WifiContinuity {
public:
    using Answer = std::expected<vorn_ui::collaboration::broker::WifiContinuityReply, std::string>;

    void script(Answer answer);
    [[nodiscard]] std::vector<vorn_ui::collaboration::broker::WifiContinuityRequest> requests() const;

    Answer command(const vorn_ui::collaboration::broker::WifiContinuityRequest& request) override;

private:
    mutable std::mutex mutex_;
    std::deque<Answer> answers_;
    std::vector<vorn_ui::collaboration::broker::WifiContinuityRequest> requests_;
};

}  // namespace system_ops::testing
