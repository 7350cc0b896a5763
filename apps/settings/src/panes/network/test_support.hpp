#pragma once
// What the Network page's tests run on: workers the test runs by hand or at once, and a machine of fakes (the
// network and connection services and a browser that records the addresses it was asked to open). Tests only.

#include "panes/network/network_backend.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "system_ops/testing/fake_network_backends.hpp"

#include <nlohmann/json.hpp>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace settings::panes::network::testing {

// Keeps the work handed over until the test runs it, so a test can look at the page while a join is under way.
class ManualWorkers {
public:
    [[nodiscard]] NetworkWorkers workers()
    {
        return {.actions = [this](std::function<void()> work) { actions_.push_back(std::move(work)); },
                .joins = [this](std::function<void()> work) { joins_.push_back(std::move(work)); }};
    }
    std::size_t run_actions() { return run(actions_); }
    std::size_t run_joins() { return run(joins_); }

private:
    static std::size_t run(std::deque<std::function<void()>>& queue)
    {
        std::size_t count = 0;
        while (!queue.empty()) {
            auto work = std::move(queue.front());
            queue.pop_front();
            work();
            ++count;
        }
        return count;
    }

    std::deque<std::function<void()>> actions_;
    std::deque<std::function<void()>> joins_;
};

// Workers that do the work at once, on the calling thread: a press and its answer in one sync.
[[nodiscard]] inline NetworkWorkers immediate_workers()
{
    const auto now = [](std::function<void()> work) { work(); };
    return {.actions = now, .joins = now};
}

// Home (in use, WPA2), Café (open) and Office (WPA2, weak) in range, a wired device without a link.
[[nodiscard]] inline std::vector<WifiNetwork> sample_networks()
{
    return {{.ssid = "Home", .security = "WPA2", .signal = 90, .in_use = true},
            {.ssid = "Café", .security = "", .signal = 55},
            {.ssid = "Office", .security = "WPA1 WPA2", .signal = 20}};
}

struct FakeMachine {
    std::shared_ptr<system_ops::network::FakeNetwork> network = std::make_shared<system_ops::network::FakeNetwork>();
    std::shared_ptr<system_ops::testing::FakeConnections> connections =
        std::make_shared<system_ops::testing::FakeConnections>();
    std::shared_ptr<std::vector<std::string>> opened = std::make_shared<std::vector<std::string>>();
    // When set, opening an address fails with this text.
    std::shared_ptr<std::optional<std::string>> browser_failure = std::make_shared<std::optional<std::string>>();

    [[nodiscard]] NetworkBackend backend() const
    {
        return {.network = network,
                .connections = connections,
                .open_uri = [opened = opened, failure = browser_failure](std::string_view uri) -> system_ops::Status {
                    if (*failure) {
                        return std::unexpected(**failure);
                    }
                    opened->emplace_back(uri);
                    return {};
                }};
    }
    // NetworkManager not running: every call fails.
    void stop(const std::string& why = "NetworkManager is not running")
    {
        network->change([&](auto& s) { s.failure = why; });
        connections->change([&](auto& s) { s.failure = why; });
    }
};

// The node of an accessibility dump with this id (none when there is none).
using ::settings::panes::testing::node_with_id;

}  // namespace settings::panes::network::testing
