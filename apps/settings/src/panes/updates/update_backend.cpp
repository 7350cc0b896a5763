#include "panes/updates/update_backend.hpp"

#include "json_text/json_text.hpp"
#include "text_utf8/text_utf8.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace settings::panes::updates {

namespace {

using Json = json_text::Json;
using std::chrono::seconds;

constexpr seconds probe_limit{10};
constexpr seconds unit_limit{30};
constexpr seconds rollback_limit{300};
constexpr seconds update_limit{1800};
// Longest image description kept, in bytes.
constexpr std::size_t max_image_bytes = 256;

// The text at the path of object members, cleaned; none when a step is missing or the end is not text.
std::optional<std::string> text_at(const Json& value, std::initializer_list<std::string_view> path)
{
    const Json* at = &value;
    for (const auto step : path) {
        if (!at->is_object()) {
            return std::nullopt;
        }
        const auto it = at->find(step);
        if (it == at->end()) {
            return std::nullopt;
        }
        at = &*it;
    }
    if (!at->is_string()) {
        return std::nullopt;
    }
    std::string text =
        cmd_runner::clean_text(at->get_ref<const std::string&>(), {.max_bytes = max_image_bytes, .trim = true});
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

bool is_schedule_label(std::string_view label)
{
    return std::find(schedule_labels.begin(), schedule_labels.end(), label) != schedule_labels.end();
}

// ---- The policy file -----------------------------------------------------------------------------------------------

UpdatePolicy parse_update_policy(std::string_view text)
{
    UpdatePolicy policy;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (const auto equals = line.find('='); equals != std::string_view::npos) {
            policy.insert_or_assign(std::string(text_utf8::trim_white_space(line.substr(0, equals))),
                                    std::string(text_utf8::trim_white_space(line.substr(equals + 1))));
        }
        start = end + 1;
    }
    return policy;
}

std::string schedule_label_of(const UpdatePolicy& policy)
{
    const auto it = policy.find("schedule");
    if (it != policy.end() && it->second == "daily") {
        return "Daily";
    }
    if (it != policy.end() && it->second == "weekly") {
        return "Weekly";
    }
    return "System schedule";
}

bool metered_allowed_by(const UpdatePolicy& policy)
{
    const auto it = policy.find("metered");
    return it != policy.end() && it->second == "allow";
}

std::optional<std::string_view> policy_action_for(std::string_view label)
{
    if (label == "System schedule") {
        return "schedule-system";
    }
    if (label == "Daily") {
        return "schedule-daily";
    }
    if (label == "Weekly") {
        return "schedule-weekly";
    }
    return std::nullopt;
}

// ---- Commands --------------------------------------------------------------------------------------------------------

std::expected<cmd_runner::Output, std::string> run_system_command(cmd_runner::Runner& runner, std::string_view program,
                                                                  std::vector<std::string> args, seconds limit)
{
    auto out = runner.run({.program = std::string(program),
                           .args = std::move(args),
                           .time_limit = limit,
                           .output_limit = cmd_runner::default_output_limit});
    if (!out) {
        return std::unexpected(fmt::format("{} command failed: {}", program, out.error().text()));
    }
    return std::move(*out);
}

Status unit_result(const cmd_runner::Output& output, std::string_view fallback)
{
    if (output.status.success()) {
        return {};
    }
    std::string detail = cmd_runner::clean_text(output.stderr_bytes, {.max_chars = 512, .trim = true});
    if (detail.empty()) {
        detail = std::string(fallback);
    }
    return std::unexpected(std::move(detail));
}

std::optional<bool> enabled_state(std::string_view systemctl_output)
{
    const std::string_view state = text_utf8::trim_white_space(systemctl_output);
    if (state == "enabled" || state == "enabled-runtime") {
        return true;
    }
    if (state == "disabled") {
        return false;
    }
    return std::nullopt;
}

Status run_update_policy_action(cmd_runner::Runner& runner, std::string_view action)
{
    if (std::find(policy_actions.begin(), policy_actions.end(), action) == policy_actions.end()) {
        return std::unexpected(std::string("invalid update policy action"));
    }
    const std::string unit = fmt::format("vorn-update-policy@{}.service", action);
    auto out = run_system_command(runner, "systemctl", {"start", "--wait", unit}, unit_limit);
    if (!out) {
        return std::unexpected(std::move(out.error()));
    }
    return unit_result(*out, fmt::format("{} failed", unit));
}

// ---- bootc -----------------------------------------------------------------------------------------------------------

std::expected<std::string, std::string> read_bootc_status(cmd_runner::Runner& runner)
{
    auto out = run_system_command(runner, "bootc", {"status", "--format", "json"}, probe_limit);
    if (!out) {
        return std::unexpected(std::move(out.error()));
    }
    if (auto done = unit_result(*out, fmt::format("bootc status ended with {}", out->status.describe())); !done) {
        return std::unexpected(std::move(done.error()));
    }
    return out->stdout_text();
}

RollbackStatus rollback_image_of(std::string_view status_json)
{
    const auto document = json_text::parse(status_json);
    if (!document) {
        return std::unexpected(std::string("bootc printed a status that is not JSON"));
    }
    if (!document->is_object()) {
        return std::optional<std::string>();
    }
    const auto status = document->find("status");
    if (status == document->end() || !status->is_object()) {
        return std::optional<std::string>();
    }
    const auto rollback = status->find("rollback");
    if (rollback == status->end() || rollback->is_null()) {
        return std::optional<std::string>();
    }
    if (auto image = text_at(*rollback, {"image", "image", "image"})) {
        return image;
    }
    if (auto version = text_at(*rollback, {"image", "version"})) {
        return version;
    }
    return std::optional<std::string>("the previous image");
}

// ---- SystemUpdateBackend ---------------------------------------------------------------------------------------------

SystemUpdateBackend::SystemUpdateBackend(std::shared_ptr<cmd_runner::Runner> runner, std::filesystem::path policy_file)
    : runner_(std::move(runner)), policy_file_(std::move(policy_file))
{
}

std::optional<bool> SystemUpdateBackend::automatic_updates_enabled()
{
    const auto out =
        run_system_command(*runner_, "systemctl", {"is-enabled", std::string(automatic_update_timer)}, probe_limit);
    if (!out) {
        return std::nullopt;
    }
    return enabled_state(out->stdout_text());
}

Status SystemUpdateBackend::set_automatic_updates(bool enabled)
{
    const std::string verb = enabled ? "enable" : "disable";
    auto out = run_system_command(*runner_, "systemctl", {verb, "--now", std::string(automatic_update_timer)},
                                  unit_limit);
    if (!out) {
        return std::unexpected(std::move(out.error()));
    }
    return unit_result(*out, fmt::format("systemctl {} {} failed", verb, automatic_update_timer));
}

RollbackStatus SystemUpdateBackend::rollback_status()
{
    auto status = read_bootc_status(*runner_);
    if (!status) {
        return std::unexpected(std::move(status.error()));
    }
    return rollback_image_of(*status);
}

Status SystemUpdateBackend::rollback()
{
    auto out = run_system_command(*runner_, "systemctl", {"start", "--wait", std::string(rollback_service_unit)},
                                  rollback_limit);
    if (!out) {
        return std::unexpected(std::move(out.error()));
    }
    return unit_result(*out,
                       fmt::format("{} failed; see journalctl -u {}", rollback_service_unit, rollback_service_unit));
}

UpdatePolicy SystemUpdateBackend::read_policy() const
{
    std::ifstream in(policy_file_, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        return {};
    }
    return parse_update_policy(text.str());
}

std::string SystemUpdateBackend::update_schedule()
{
    return schedule_label_of(read_policy());
}

Status SystemUpdateBackend::set_update_schedule(std::string_view label)
{
    const auto action = policy_action_for(label);
    if (!action) {
        return std::unexpected(std::string("unknown update schedule"));
    }
    return run_update_policy_action(*runner_, *action);
}

bool SystemUpdateBackend::metered_updates_allowed()
{
    return metered_allowed_by(read_policy());
}

Status SystemUpdateBackend::set_metered_updates(bool allowed)
{
    return run_update_policy_action(*runner_, allowed ? "metered-allow" : "metered-avoid");
}

Status SystemUpdateBackend::start_update()
{
    auto out = run_system_command(*runner_, "systemctl", {"start", "--wait", std::string(update_service_unit)},
                                  update_limit);
    if (!out) {
        return std::unexpected(std::move(out.error()));
    }
    return unit_result(*out, "update service failed; see its system journal");
}

Result<FirmwareLists> SystemUpdateBackend::refresh_firmware()
{
    namespace firmware = system_ops::firmware;
    if (auto refreshed = firmware::refresh_firmware_metadata(); !refreshed) {
        return std::unexpected(std::move(refreshed.error()));
    }
    auto updates = firmware::get_firmware_updates();
    if (!updates) {
        return std::unexpected(std::move(updates.error()));
    }
    auto history = firmware::get_firmware_history();
    if (!history) {
        return std::unexpected(std::move(history.error()));
    }
    return FirmwareLists{.updates = std::move(*updates), .history = std::move(*history)};
}

SystemRebootControl::SystemRebootControl(std::shared_ptr<cmd_runner::Runner> runner) : runner_(std::move(runner)) {}

Status SystemRebootControl::restart()
{
    auto out = run_system_command(*runner_, "systemctl", {"reboot"}, unit_limit);
    if (!out) {
        return std::unexpected(std::move(out.error()));
    }
    if (out->status.success()) {
        return {};
    }
    return std::unexpected(cmd_runner::clean_text(out->stderr_bytes, {.max_chars = 512, .trim = true}));
}

}  // namespace settings::panes::updates
