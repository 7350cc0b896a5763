#include "system_ops/testing/fake_network_backends.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace system_ops::testing {

using namespace system_ops::network;

#define VORN_FAKE_FAILURE()                      \
    const std::lock_guard lock(mutex_);          \
    if (state_.failure) {                        \
        return std::unexpected(*state_.failure); \
    }

FakeConnections::State FakeConnections::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

Status FakeConnections::find(std::string_view uuid, std::vector<SavedNetworkProfile>::iterator& at)
{
    if (auto ok = check_profile_uuid(uuid); !ok) {
        return ok;
    }
    at = std::ranges::find(state_.profiles, uuid, &SavedNetworkProfile::uuid);
    if (at == state_.profiles.end()) {
        return std::unexpected(fmt::format("unknown connection '{}'", uuid));
    }
    return {};
}

Result<Connectivity> FakeConnections::get_connectivity()
{
    VORN_FAKE_FAILURE();
    return state_.connectivity;
}

Result<std::string> FakeConnections::captive_portal_uri()
{
    VORN_FAKE_FAILURE();
    return state_.portal_uri;
}

Result<ConnectionDiagnostics> FakeConnections::connection_diagnostics()
{
    VORN_FAKE_FAILURE();
    return state_.diagnostics;
}

Result<std::vector<SavedNetworkProfile>> FakeConnections::list_saved_network_profiles()
{
    VORN_FAKE_FAILURE();
    return state_.profiles;
}

Result<ConnectionProfileSettings> FakeConnections::connection_profile_settings(std::string_view uuid)
{
    VORN_FAKE_FAILURE();
    const auto found = state_.settings.find(std::string(uuid));
    if (found == state_.settings.end()) {
        return std::unexpected(fmt::format("unknown connection '{}'", uuid));
    }
    return found->second;
}

Status FakeConnections::set_network_autoconnect(std::string_view uuid, bool enabled)
{
    VORN_FAKE_FAILURE();
    std::vector<SavedNetworkProfile>::iterator at;
    if (auto ok = find(uuid, at); !ok) {
        return ok;
    }
    at->autoconnect = enabled;
    return {};
}

Status FakeConnections::forget_network_profile(std::string_view uuid)
{
    VORN_FAKE_FAILURE();
    std::vector<SavedNetworkProfile>::iterator at;
    if (auto ok = find(uuid, at); !ok) {
        return ok;
    }
    state_.profiles.erase(at);
    state_.settings.erase(std::string(uuid));
    return {};
}

Status FakeConnections::configure_ipv4(std::string_view uuid, const Ipv4Request& request)
{
    VORN_FAKE_FAILURE();
    std::vector<SavedNetworkProfile>::iterator at;
    if (auto ok = find(uuid, at); !ok) {
        return ok;
    }
    if (auto ok = check_ipv4_request(request); !ok) {
        return ok;
    }
    state_.ipv4_requests.emplace_back(std::string(uuid), request);
    auto& settings = state_.settings[std::string(uuid)];
    settings.ipv4 = Ipv4Settings{.addresses = request.addresses,
                                 .dns = request.dns,
                                 .gateway = request.gateway,
                                 .automatic = request.automatic};
    return {};
}

Status FakeConnections::configure_connection_policy_patch(std::string_view uuid, const ConnectionPolicyPatch& patch)
{
    VORN_FAKE_FAILURE();
    std::vector<SavedNetworkProfile>::iterator at;
    if (auto ok = find(uuid, at); !ok) {
        return ok;
    }
    if (auto ok = check_policy_patch(patch); !ok) {
        return ok;
    }
    state_.policy_patches.emplace_back(std::string(uuid), patch);
    auto& settings = state_.settings[std::string(uuid)];
    if (patch.metered) {
        settings.metered = *patch.metered;
    }
    if (patch.mac_policy) {
        settings.mac_policy = *patch.mac_policy;
    }
    if (patch.proxy) {
        settings.proxy = patch.proxy;
    }
    return {};
}

Status FakeConnections::connect_enterprise_wifi(const EnterpriseWifiRequest& request, std::string_view password)
{
    VORN_FAKE_FAILURE();
    if (auto ok = check_enterprise_request(request, password); !ok) {
        return ok;
    }
    state_.enterprise.push_back({request, SecretText(password)});
    state_.profiles.push_back({.name = request.profile_name.empty() ? request.ssid : request.profile_name,
                               .uuid = fmt::format("e0000000-0000-4000-8000-{:012}", state_.enterprise.size()),
                               .connection_type = std::string(wifi_profile_type),
                               .autoconnect = true});
    return {};
}

Status FakeConnections::configure_hotspot(const HotspotConfiguration& configuration)
{
    VORN_FAKE_FAILURE();
    if (auto ok = configuration.validate(); !ok) {
        return ok;
    }
    state_.hotspot = configuration;
    return {};
}

Result<std::vector<HotspotClient>> FakeConnections::list_hotspot_clients()
{
    VORN_FAKE_FAILURE();
    return state_.hotspot ? state_.hotspot_clients : std::vector<HotspotClient>{};
}

Status FakeConnections::create_mobile_profile(std::string_view name, std::string_view apn)
{
    VORN_FAKE_FAILURE();
    if (auto ok = check_mobile_profile(name, apn); !ok) {
        return ok;
    }
    state_.mobile_profiles.emplace_back(std::string(name), std::string(apn));
    return {};
}

FakeModem::State FakeModem::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

Result<std::vector<modem::MobileSim>> FakeModem::list_mobile_sims()
{
    VORN_FAKE_FAILURE();
    return state_.sims;
}

Status FakeModem::unlock_mobile_sim_on(std::string_view sim, std::string_view pin)
{
    VORN_FAKE_FAILURE();
    if (auto ok = modem::check_unlock(sim, pin); !ok) {
        return ok;
    }
    if (std::ranges::find(state_.sims, sim, &modem::MobileSim::identifier) == state_.sims.end()) {
        return std::unexpected(std::string("The SIM is no longer available."));
    }
    if (pin != state_.pin) {
        return std::unexpected(std::string("The SIM PIN is not correct."));
    }
    state_.unlocked.emplace_back(sim);
    return {};
}

#undef VORN_FAKE_FAILURE

void ScriptedWifiContinuity::script(Answer answer)
{
    const std::lock_guard lock(mutex_);
    answers_.push_back(std::move(answer));
}

std::vector<vorn_ui::collaboration::broker::WifiContinuityRequest> ScriptedWifiContinuity::requests() const
{
    const std::lock_guard lock(mutex_);
    return requests_;
}

ScriptedWifiContinuity::Answer ScriptedWifiContinuity::command(
    const vorn_ui::collaboration::broker::WifiContinuityRequest& request)
{
    const std::lock_guard lock(mutex_);
    requests_.push_back(request);
    if (answers_.empty()) {
        return std::unexpected(std::string("no scripted reply"));
    }
    auto answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
}

}  // namespace system_ops::testing
