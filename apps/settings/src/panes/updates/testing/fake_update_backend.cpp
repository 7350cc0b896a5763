#include "panes/updates/testing/fake_update_backend.hpp"

#include <fmt/format.h>

namespace settings::panes::updates::testing {

FakeUpdateBackend::State FakeUpdateBackend::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

void FakeUpdateBackend::change(const std::function<void(State&)>& edit)
{
    const std::lock_guard lock(mutex_);
    edit(state_);
}

std::vector<std::string> FakeUpdateBackend::calls() const
{
    const std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> FakeUpdateBackend::changes() const
{
    std::vector<std::string> out;
    for (auto& call : calls()) {
        if (call.starts_with("set_") || call == "rollback" || call == "start_update" || call == "refresh_firmware") {
            out.push_back(std::move(call));
        }
    }
    return out;
}

void FakeUpdateBackend::record(std::string call)
{
    calls_.push_back(std::move(call));
}

std::optional<std::string> FakeUpdateBackend::failure(std::string_view operation) const
{
    const auto it = state_.failures.find(operation);
    if (it == state_.failures.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<bool> FakeUpdateBackend::automatic_updates_enabled()
{
    const std::lock_guard lock(mutex_);
    record("automatic_updates_enabled");
    return state_.timer;
}

Status FakeUpdateBackend::set_automatic_updates(bool enabled)
{
    const std::lock_guard lock(mutex_);
    record(fmt::format("set_automatic_updates {}", enabled));
    const auto failed = failure("set_automatic_updates");
    if ((!failed || state_.failed_changes_apply) && !state_.timer_ignores_changes) {
        state_.timer = enabled;
    }
    if (failed) {
        return std::unexpected(*failed);
    }
    return {};
}

RollbackStatus FakeUpdateBackend::rollback_status()
{
    const std::lock_guard lock(mutex_);
    record("rollback_status");
    return state_.rollback;
}

Status FakeUpdateBackend::rollback()
{
    const std::lock_guard lock(mutex_);
    record("rollback");
    if (auto failed = failure("rollback")) {
        return std::unexpected(*failed);
    }
    // The image booted now becomes the fallback.
    state_.rollback = std::optional<std::string>("quay.io/vorn/os:41.20261210");
    return {};
}

std::string FakeUpdateBackend::update_schedule()
{
    const std::lock_guard lock(mutex_);
    record("update_schedule");
    return state_.schedule;
}

Status FakeUpdateBackend::set_update_schedule(std::string_view label)
{
    const std::lock_guard lock(mutex_);
    record(fmt::format("set_update_schedule {}", label));
    if (!is_schedule_label(label)) {
        return std::unexpected(std::string("unknown update schedule"));
    }
    const auto failed = failure("set_update_schedule");
    if (!failed || state_.failed_changes_apply) {
        state_.schedule = std::string(label);
    }
    if (failed) {
        return std::unexpected(*failed);
    }
    return {};
}

bool FakeUpdateBackend::metered_updates_allowed()
{
    const std::lock_guard lock(mutex_);
    record("metered_updates_allowed");
    return state_.metered;
}

Status FakeUpdateBackend::set_metered_updates(bool allowed)
{
    const std::lock_guard lock(mutex_);
    record(fmt::format("set_metered_updates {}", allowed));
    const auto failed = failure("set_metered_updates");
    if (!failed || state_.failed_changes_apply) {
        state_.metered = allowed;
    }
    if (failed) {
        return std::unexpected(*failed);
    }
    return {};
}

Status FakeUpdateBackend::start_update()
{
    const std::lock_guard lock(mutex_);
    record("start_update");
    if (auto failed = failure("start_update")) {
        return std::unexpected(*failed);
    }
    return {};
}

Result<FirmwareLists> FakeUpdateBackend::refresh_firmware()
{
    const std::lock_guard lock(mutex_);
    record("refresh_firmware");
    if (auto failed = failure("refresh_firmware")) {
        return std::unexpected(*failed);
    }
    return state_.firmware;
}

int FakeRebootControl::restarts() const
{
    const std::lock_guard lock(mutex_);
    return restarts_;
}

Status FakeRebootControl::restart()
{
    const std::lock_guard lock(mutex_);
    ++restarts_;
    return answer;
}

UpdatesEnvironment FakeEnvironment::environment()
{
    return UpdatesEnvironment{
        .backend = backend,
        .reboot = reboot,
        .os_info_source = [info = os_info] { return *info; },
        .status_source =
            [](const RollbackStatus& rollback) {
                return UpdateServiceStatus{
                    .journal_lines = {"2026-12-11T09:00:00+0000 host bootc[1]: No changes in image"},
                    .release_notes = "https://docs.vorn.example/releases/41",
                    .protection = protection_sentence(true, rollback),
                };
            },
        .clock_source = [clock = clock] { return *clock; },
        .load_prefs = [saved = saved] { return *saved; },
        .save_prefs = [saved = saved, failure = save_failure, saves = saves](
                          const prefs::UpdatePrefs& updates) -> system_ops::Status {
            if (*failure) {
                return std::unexpected(**failure);
            }
            *saved = updates;
            ++*saves;
            return {};
        },
        .start_thread = threads.starter(),
    };
}

}  // namespace settings::panes::updates::testing
