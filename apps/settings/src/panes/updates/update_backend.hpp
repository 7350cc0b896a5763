#pragma once
// What the Updates page calls to change the system: the automatic-update timer, the previous image and rolling
// back to it, the download policy, the image update itself, firmware metadata, and the restart.
//
// Every command goes through the bounded command runner with its own time limit (queries 10 s; the timer, the
// policy units and the restart 30 s; the rollback 300 s; the image update 1,800 s) and blocks its caller for at
// most that long: the page calls all of it from worker threads. A command that could not run at all fails with
// "{program} command failed: {why}"; a command that ran and failed gives its cleaned standard error, or the
// operation's own sentence when it printed nothing.
//
// The download policy lives in the update-policy file ("/var/lib/vorn/update-policy"), which this program only
// reads; changes go through the template unit "vorn-update-policy@{action}.service", which the image provides.
//
//   UpdateBackend& backend = ...;                 // SystemUpdateBackend in the program, a fake in tests
//   if (auto done = backend.set_update_schedule("Weekly"); !done) show(done.error());
//   auto label = backend.update_schedule();      // read back: what the system now says

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/firmware.hpp"
#include "system_ops/result.hpp"

#include <array>
#include <chrono>
#include <expected>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::updates {

using system_ops::Result;
using system_ops::Status;

inline constexpr std::string_view update_policy_path = "/var/lib/vorn/update-policy";
inline constexpr std::string_view automatic_update_timer = "bootc-fetch-apply-updates.timer";
inline constexpr std::string_view update_service_unit = "vorn-deployment-update.service";
inline constexpr std::string_view rollback_service_unit = "vorn-deployment-rollback.service";

// The schedule labels, shown and accepted, in this order.
inline constexpr std::array<std::string_view, 3> schedule_labels = {"System schedule", "Daily", "Weekly"};
[[nodiscard]] bool is_schedule_label(std::string_view label);

// The five instances of "vorn-update-policy@{}.service".
inline constexpr std::array<std::string_view, 5> policy_actions = {"schedule-system", "schedule-daily",
                                                                   "schedule-weekly", "metered-allow", "metered-avoid"};

// What the machine knows of its previous image: its description, none when it keeps no previous image, or why the
// image status could not be read (bootc missing, or refused without administrator rights). An unreadable status is
// never taken for "no previous image".
using RollbackStatus = std::expected<std::optional<std::string>, std::string>;

// The firmware lists a metadata refresh reads afterwards.
struct FirmwareLists {
    std::vector<system_ops::firmware::FirmwareUpdate> updates;
    std::vector<system_ops::firmware::FirmwareHistoryEntry> history;
    friend bool operator==(const FirmwareLists&, const FirmwareLists&) = default;
};

// ---- The policy file ---------------------------------------------------------------------------------------------

using UpdatePolicy = std::map<std::string, std::string, std::less<>>;

// Lines of "key = value": split at the first "=", both sides trimmed of white space; lines without "=" are ignored
// and there are no comments; a carriage return before the line feed is dropped; a later line wins.
[[nodiscard]] UpdatePolicy parse_update_policy(std::string_view text);
// "schedule" = "daily" → "Daily", "weekly" → "Weekly", anything else "System schedule" (values compare exactly).
[[nodiscard]] std::string schedule_label_of(const UpdatePolicy& policy);
// True exactly when "metered" = "allow".
[[nodiscard]] bool metered_allowed_by(const UpdatePolicy& policy);
// "schedule-system", "schedule-daily" or "schedule-weekly" for a schedule label; none for any other text.
[[nodiscard]] std::optional<std::string_view> policy_action_for(std::string_view label);

// ---- bootc's status document ----------------------------------------------------------------------------------------

// The text bootc reports for `bootc status --format json`, or why there is none: "bootc command failed: …" when it
// could not run, its cleaned standard error (else "bootc status ended with exit status N") when it refused, or
// "bootc printed a status that is not JSON".
[[nodiscard]] std::expected<std::string, std::string> read_bootc_status(cmd_runner::Runner& runner);
// The previous image named by a status document: none when "status"/"rollback" is missing or null; else the text
// at "image"/"image"/"image", else at "image"/"version", else "the previous image". An error for text that is not
// a JSON document.
[[nodiscard]] RollbackStatus rollback_image_of(std::string_view status_json);

// ---- The interfaces --------------------------------------------------------------------------------------------------

class UpdateBackend {
public:
    virtual ~UpdateBackend() = default;
    // The automatic-update timer: true when enabled, false when disabled, none when the system does not say.
    [[nodiscard]] virtual std::optional<bool> automatic_updates_enabled() = 0;
    [[nodiscard]] virtual Status set_automatic_updates(bool enabled) = 0;
    [[nodiscard]] virtual RollbackStatus rollback_status() = 0;
    // Makes the previous image the one the machine boots next.
    [[nodiscard]] virtual Status rollback() = 0;
    // One of schedule_labels; "System schedule" when the policy names none.
    [[nodiscard]] virtual std::string update_schedule() = 0;
    [[nodiscard]] virtual Status set_update_schedule(std::string_view label) = 0;
    [[nodiscard]] virtual bool metered_updates_allowed() = 0;
    [[nodiscard]] virtual Status set_metered_updates(bool allowed) = 0;
    // Fetches and stages the new image; returns when the update service has finished.
    [[nodiscard]] virtual Status start_update() = 0;
    // Refreshes the firmware metadata, then reads the upgrades and the history.
    [[nodiscard]] virtual Result<FirmwareLists> refresh_firmware() = 0;
};

class RebootControl {
public:
    virtual ~RebootControl() = default;
    [[nodiscard]] virtual Status restart() = 0;
};

// ---- The program's own -----------------------------------------------------------------------------------------------

// Runs the command with no input, the 1 MiB output cap and the time limit. A run that could not happen is the
// error "{program} command failed: {why}"; a non-zero exit is not an error here: the caller judges it.
[[nodiscard]] std::expected<cmd_runner::Output, std::string>
run_system_command(cmd_runner::Runner& runner, std::string_view program, std::vector<std::string> args,
                   std::chrono::seconds limit);

// Success for exit status 0; otherwise the cleaned standard error (at most 512 characters, trimmed), or `fallback`
// when that is empty.
[[nodiscard]] Status unit_result(const cmd_runner::Output& output, std::string_view fallback);

// "enabled" or "enabled-runtime" (trimmed standard output, whatever the exit status) → true, "disabled" → false,
// anything else → none.
[[nodiscard]] std::optional<bool> enabled_state(std::string_view systemctl_output);

// Runs `systemctl start --wait vorn-update-policy@{action}.service` (30 s) for one of the five policy actions;
// any other text fails with "invalid update policy action".
[[nodiscard]] Status run_update_policy_action(cmd_runner::Runner& runner, std::string_view action);

class SystemUpdateBackend final : public UpdateBackend {
public:
    explicit SystemUpdateBackend(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner(),
                                 std::filesystem::path policy_file = std::filesystem::path(update_policy_path));

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
    [[nodiscard]] UpdatePolicy read_policy() const;

    std::shared_ptr<cmd_runner::Runner> runner_;
    std::filesystem::path policy_file_;
};

// Restarts the machine with `systemctl reboot` (30 s). A refusal gives the cleaned standard error, even when it is
// empty.
class SystemRebootControl final : public RebootControl {
public:
    explicit SystemRebootControl(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    Status restart() override;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
};

}  // namespace settings::panes::updates
