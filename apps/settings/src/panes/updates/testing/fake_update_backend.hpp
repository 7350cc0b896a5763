#pragma once
// Test support for the Updates page: an update backend and a restart held in memory, worker threads that run only
// when the test says so, and an environment that wires them with fixed probe answers.

#include "panes/updates/updates_model.hpp"

#include "page_workers/testing/manual_threads.hpp"

#include <deque>
#include <map>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::updates::testing {

// Answers from its state and applies every change to it, like the system would; records every call. Safe to use
// from several threads.
class FakeUpdateBackend final : public UpdateBackend {
public:
    struct State {
        std::optional<bool> timer = true;
        // When set, the timer does not follow a change (the system ignores it).
        bool timer_ignores_changes = false;
        RollbackStatus rollback = std::optional<std::string>("quay.io/vorn/os:41.20261201");
        std::string schedule = "System schedule";
        bool metered = false;
        // Failures of the changing operations, by operation name ("set_automatic_updates", "rollback",
        // "set_update_schedule", "set_metered_updates", "start_update", "refresh_firmware").
        std::map<std::string, std::string, std::less<>> failures;
        // A change that fails but takes effect anyway (as when its command timed out after the unit was queued).
        bool failed_changes_apply = false;
        FirmwareLists firmware;
    };

    FakeUpdateBackend() = default;
    explicit FakeUpdateBackend(State state) : state_(std::move(state)) {}

    [[nodiscard]] State state() const;
    void change(const std::function<void(State&)>& edit);
    // The calls so far: "automatic_updates_enabled", "set_automatic_updates true", "set_update_schedule Weekly", ...
    [[nodiscard]] std::vector<std::string> calls() const;
    // The calls that change something.
    [[nodiscard]] std::vector<std::string> changes() const;

    std::optional<bool> automatic_updates_enabled() override;
    Status set_automatic_updates(bool enabled) override;
    RollbackStatus rollback_status() override;
    Status rollback() override;
    std::string update_schedule() override;
    Status set_update_schedule(std::string_view label) override;
    bool metered_updates_allowed() override;
    Status set_metered_updates(bool allowed) override;
    Status start_update() override;
    Result<FirmwareLists> refresh_firmware() override;

private:
    void record(std::string call);
    [[nodiscard]] std::optional<std::string> failure(std::string_view operation) const;

    mutable std::mutex mutex_;
    State state_;
    std::vector<std::string> calls_;
};

class FakeRebootControl final : public RebootControl {
public:
    // The answer of every restart.
    Status answer = {};
    [[nodiscard]] int restarts() const;
    Status restart() override;

private:
    mutable std::mutex mutex_;
    int restarts_ = 0;
};

using page_workers::testing::ManualThreads;

// An environment over the fakes: os-release says "Vorn 41", nothing is staged, the journal has one line, the
// clock says "2026-12-11 09:30", preferences are kept in `saved`.
struct FakeEnvironment {
    std::shared_ptr<FakeUpdateBackend> backend = std::make_shared<FakeUpdateBackend>();
    std::shared_ptr<FakeRebootControl> reboot = std::make_shared<FakeRebootControl>();
    std::shared_ptr<OsInfo> os_info = std::make_shared<OsInfo>(OsInfo{.name = "Vorn 41"});
    std::shared_ptr<std::string> clock = std::make_shared<std::string>("2026-12-11 09:30");
    std::shared_ptr<prefs::UpdatePrefs> saved = std::make_shared<prefs::UpdatePrefs>();
    std::shared_ptr<std::optional<std::string>> save_failure = std::make_shared<std::optional<std::string>>();
    std::shared_ptr<int> saves = std::make_shared<int>(0);
    ManualThreads threads;

    [[nodiscard]] UpdatesEnvironment environment();
};

}  // namespace settings::panes::updates::testing
