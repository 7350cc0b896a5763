#include "panes/power/power_model.hpp"

#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace settings::panes::power {

namespace {

constexpr std::string_view log_tag = "power_pane";

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

using Op = PowerOperation;
using page_doc::Document;
using page_workers::guarded;
using page_workers::try_receive;

void put_text_if_changed(Document& doc, std::string_view key, std::string_view text)
{
    if (page_doc::doc_text(doc, key) != text) {
        doc.put_str(key, text);
    }
}

void put_bool_if_changed(Document& doc, std::string_view key, bool value)
{
    if (page_doc::doc_bool(doc, key) != value) {
        doc.put_bool(key, value);
    }
}

std::string suspend_timer_title(std::string_view profile_word)
{
    const auto name = suspend_timer_name(profile_word);
    return name ? fmt::format("{} suspend timeout", *name) : std::string("Suspend timeout");
}

// No profile is known: the service could not be asked.
ProfileState unavailable_profiles(std::string_view reason)
{
    return {.unavailable = fmt::format("Power-profile service is unavailable: {}.", reason)};
}

}  // namespace

// ---- Sentences -----------------------------------------------------------------------------------------------------

std::string profile_active_text(PowerProfile profile)
{
    return fmt::format("{} is now active.", power_profile_label(profile));
}

std::string profile_unsupported_notice(std::string_view label)
{
    return fmt::format("{} is not supported by this device.", label);
}

std::string profile_failed_text(std::string_view error)
{
    return fmt::format("Could not change the power profile: {}", error);
}

std::string cap_confirmed_notice(std::uint32_t percent)
{
    return fmt::format("Hardware confirmed a {}% charge cap.", percent);
}

std::string cap_confirmed_outcome(std::uint32_t percent)
{
    return fmt::format("hardware confirmed a {}% charge cap", percent);
}

std::string cap_failed_text(std::string_view error)
{
    return fmt::format("Charge cap was not applied: {}", error);
}

std::string prefs_not_saved_text(std::string_view error)
{
    return fmt::format("Power preference was not saved: {}", error);
}

std::string saved_text(const PowerOperation& operation)
{
    return std::visit(Overloaded{
                          [](const Op::SetChargeLimit& op) { return cap_confirmed_outcome(op.percent); },
                          [](const Op::SetProfile& op) { return fmt::format("{} is now active.", op.profile); },
                          [](const Op::SetAutoSuspend&) { return std::string("Automatic suspend preference saved."); },
                          [](const Op::SetBlankTimeout&) { return std::string("Screen blank timeout saved."); },
                          [](const Op::SetLockTimeout&) { return std::string("Automatic lock timeout saved."); },
                          [](const Op::SetSuspendTimeout& op) {
                              return fmt::format("{} saved.", suspend_timer_title(op.profile));
                          },
                          [](const Op::SetLidAction&) { return std::string("Lid-close action saved."); },
                          [](const Op::SetPowerKeyAction&) { return std::string("Power-key action saved."); },
                          [](const Op::SetCriticalAction&) { return std::string("Critical-battery action saved."); },
                      },
                      operation.value);
}

std::string already_text(const PowerOperation& operation)
{
    return std::visit(
        Overloaded{
            [](const Op::SetChargeLimit& op) { return fmt::format("The charge cap is already {}%.", op.percent); },
            [](const Op::SetProfile& op) { return fmt::format("{} is already active.", op.profile); },
            [](const Op::SetAutoSuspend& op) {
                return fmt::format("Automatic suspend is already {}.", op.enabled ? "on" : "off");
            },
            [](const Op::SetBlankTimeout& op) {
                return fmt::format("Screen blank timeout is already set to {}.", op.label);
            },
            [](const Op::SetLockTimeout& op) {
                return fmt::format("Automatic lock timeout is already set to {}.", op.label);
            },
            [](const Op::SetSuspendTimeout& op) {
                return fmt::format("{} is already set to {}.", suspend_timer_title(op.profile), op.label);
            },
            [](const Op::SetLidAction& op) { return fmt::format("Lid-close action is already set to {}.", op.action); },
            [](const Op::SetPowerKeyAction& op) {
                return fmt::format("Power-key action is already set to {}.", op.action);
            },
            [](const Op::SetCriticalAction& op) {
                return fmt::format("Critical-battery action is already set to {}.", op.action);
            },
        },
        operation.value);
}

std::optional<std::string> unknown_value_text(const PowerOperation& operation)
{
    using Text = std::optional<std::string>;
    const auto action = [](const std::string& label) -> Text {
        return button_action_from_label(label) ? Text() : Text("unsupported power action");
    };
    return std::visit(Overloaded{
                          [](const Op::SetChargeLimit&) -> Text { return std::nullopt; },
                          [](const Op::SetAutoSuspend&) -> Text { return std::nullopt; },
                          [](const Op::SetProfile& op) -> Text {
                              return power_profile_from_label(op.profile) ? Text() : Text("unsupported power profile");
                          },
                          [](const Op::SetBlankTimeout& op) -> Text {
                              return short_timeout_minutes_from_label(op.label) ? Text()
                                                                                : Text("unsupported screen blank timeout");
                          },
                          [](const Op::SetLockTimeout& op) -> Text {
                              return short_timeout_minutes_from_label(op.label)
                                         ? Text()
                                         : Text("unsupported automatic lock timeout");
                          },
                          [](const Op::SetSuspendTimeout& op) -> Text {
                              if (!timeout_minutes_from_label(op.label)) {
                                  return "unsupported suspend timeout";
                              }
                              return is_suspend_timer_word(op.profile) ? Text()
                                                                       : Text("unsupported power profile timeout");
                          },
                          [&](const Op::SetLidAction& op) { return action(op.action); },
                          [&](const Op::SetPowerKeyAction& op) { return action(op.action); },
                          [&](const Op::SetCriticalAction& op) { return action(op.action); },
                      },
                      operation.value);
}

// ---- The model -----------------------------------------------------------------------------------------------------

PowerModel::PowerModel(Environment environment)
    : environment_(std::move(environment)), wake_(vorn_ui::WakeHandle::create())
{
    applied_ = environment_.load_prefs();
    if (environment_.last_readings) {
        battery_ = environment_.last_readings->battery();
        profiles_ = environment_.last_readings->profiles();
    }
    if (profiles_) {
        applied_profile_ = profiles_->active;
        profile_notice_ = profiles_->unavailable;
    }
    start_reads();
}

PowerModel::~PowerModel()
{
    if (active_ && status_cell_.get().is_running(active_->key)) {
        (void)status_cell_.publish(operations::OperationStatus::failed(active_->key, std::string(page_closed_text)));
    }
}

void PowerModel::use_operation_requests(operations::OperationRequestCell cell)
{
    requests_ = std::move(cell);
    shares_requests_ = true;
}

void PowerModel::use_operation_status(operations::OperationStatusCell cell)
{
    status_cell_ = std::move(cell);
    shares_status_ = true;
}

bool PowerModel::take_structure_dirty()
{
    return std::exchange(structure_dirty_, false);
}

bool PowerModel::finish_operation(const PowerOperation& operation,
                                  const std::expected<std::string, std::string>& outcome)
{
    return finish(operations::operation_key(operation), outcome);
}

bool PowerModel::finish(const std::string& key, const std::expected<std::string, std::string>& outcome)
{
    if (key.empty()) {
        return false;
    }
    if (active_ && active_->key == key) {
        active_.reset();
    }
    if (!status_cell_.get().is_running(key)) {
        return false;
    }
    auto next = outcome ? operations::OperationStatus::done(key, *outcome)
                        : operations::OperationStatus::failed(key, outcome.error());
    if (const auto published = status_cell_.publish(std::move(next)); !published) {
        VORN_WARN(log_tag, "power operation outcome not published: {}", published.error().message());
        return false;
    }
    return true;
}

bool PowerModel::operation_allows(const PowerOperation& operation) const
{
    return !shares_status_ || status_cell_.get().is_running(operations::operation_key(operation));
}

std::string PowerModel::key_of(const PowerOperation& operation) const
{
    return shares_status_ ? operations::operation_key(operation) : std::string();
}

void PowerModel::sync(Document& document)
{
    Document& doc = working_document(document);
    receive_battery(doc);
    receive_profiles(doc);
    receive_profile_change(doc);
    receive_cap_change(doc);
    if (refresh_document_) {
        write_applied_state(doc);
        refresh_document_ = false;
    }
    take_request(doc);
    if (active_) {
        write_request(doc, active_->operation);  // again, should a worker's answer have put its key back
    }
    if (!shares_status_) {
        run_handlers(doc);
    } else if (status_cell_.get().state == operations::OperationStatus::State::Running) {
        run_handlers(doc);
    } else {
        write_applied_state(doc);
    }
    settle_request();
}

// ---- Readings ------------------------------------------------------------------------------------------------------

void PowerModel::start_reads()
{
    auto battery = page_workers::start_one_shot<std::optional<BatteryState>>(
        environment_.start_thread, "vorn-battery", wake_,
        [backends = environment_.backends] { return std::optional(read_battery(backends)); });
    if (battery) {
        battery_channel_ = std::move(*battery);
    } else {
        VORN_WARN(log_tag, "battery not read: could not start a worker: {}", battery.error());
        battery_read_ = true;
        if (!battery_) {
            battery_ = BatteryState{};
        }
    }

    auto profiles = page_workers::start_one_shot<std::optional<ProfileState>>(
        environment_.start_thread, "vorn-profiles", wake_,
        [backends = environment_.backends] { return std::optional(read_profiles(backends)); });
    if (profiles) {
        profiles_channel_ = std::move(*profiles);
    } else {
        profiles_ = unavailable_profiles(fmt::format("could not start a worker: {}", profiles.error()));
        profiles_read_ = true;
        applied_profile_ = profiles_->active;
        profile_notice_ = profiles_->unavailable;
    }
}

void PowerModel::receive_battery(Document& doc)
{
    auto arrival = try_receive(battery_channel_, [] { return std::optional<BatteryState>(); });
    if (!arrival) {
        return;
    }
    battery_channel_.reset();
    battery_read_ = true;
    structure_dirty_ = true;
    if (!*arrival) {
        VORN_WARN(log_tag, "the battery reading ended without a result");
        if (!battery_) {
            battery_ = BatteryState{};
        }
        return;
    }
    std::optional<std::string> shown;
    if (battery_ && battery_->capability) {
        shown = charge_limit_text(battery_->capability->current_percent);
    }
    battery_ = std::move(**arrival);
    if (environment_.last_readings) {
        environment_.last_readings->keep(*battery_);
    }
    // The cap in force, unless the user chose another one meanwhile.
    if (!refresh_document_ && battery_->capability) {
        const auto current = page_doc::doc_text(doc, charge_limit_key);
        if (!current || current == shown) {
            put_text_if_changed(doc, charge_limit_key, charge_limit_text(battery_->capability->current_percent));
        }
    }
}

void PowerModel::receive_profiles(Document& doc)
{
    auto arrival = try_receive(profiles_channel_, [] { return std::optional<ProfileState>(); });
    if (!arrival) {
        return;
    }
    profiles_channel_.reset();
    profiles_read_ = true;
    structure_dirty_ = true;
    if (!*arrival) {
        *arrival = unavailable_profiles("the reading ended without a result");
    }
    const std::optional<std::string> shown =
        profiles_ ? std::optional(std::string(power_profile_label(applied_profile_))) : std::nullopt;
    profiles_ = std::move(**arrival);
    applied_profile_ = profiles_->active;
    profile_notice_ = profiles_->unavailable;
    if (environment_.last_readings) {
        environment_.last_readings->keep(*profiles_);
    }
    if (!refresh_document_) {
        const auto current = page_doc::doc_text(doc, profile_key);
        if (!current || current == shown) {
            put_text_if_changed(doc, profile_key, power_profile_label(applied_profile_));
        }
    }
}

void PowerModel::receive_profile_change(Document& doc)
{
    if (!profile_change_) {
        return;
    }
    auto answer = try_receive(profile_change_->channel, [] {
        return system_ops::Status(std::unexpected(std::string("the change ended without an answer")));
    });
    if (!answer) {
        return;
    }
    const ProfileChange change = std::move(*profile_change_);
    profile_change_.reset();
    structure_dirty_ = true;
    const std::string_view label = power_profile_label(change.profile);
    if (*answer) {
        applied_profile_ = change.profile;
        if (profiles_) {
            profiles_->active = change.profile;
            profiles_->active_known = true;
            if (environment_.last_readings) {
                environment_.last_readings->keep(*profiles_);
            }
        }
        profile_notice_ = profile_active_text(change.profile);
        finish(change.key, *profile_notice_);
        return;
    }
    VORN_WARN("set_power_profile", "power pane dispatch failed: {}", answer->error());
    if (page_doc::doc_text(doc, profile_key) == label) {
        doc.put_str(profile_key, power_profile_label(applied_profile_));
    }
    profile_notice_ = profile_failed_text(answer->error());
    finish(change.key, std::unexpected(*profile_notice_));
}

void PowerModel::receive_cap_change(Document& doc)
{
    if (!cap_change_) {
        return;
    }
    using Answer = system_ops::Result<ChargeCapability>;
    auto answer = try_receive(cap_change_->channel,
                              [] { return Answer(std::unexpected(std::string("the change ended without an answer"))); });
    if (!answer) {
        return;
    }
    const CapChange change = std::move(*cap_change_);
    cap_change_.reset();
    structure_dirty_ = true;
    const bool shows_attempt = page_doc::doc_text(doc, charge_limit_key) == charge_limit_text(change.percent);
    if (*answer) {
        const std::uint32_t percent = (*answer)->current_percent;
        if (battery_) {
            battery_->capability = **answer;
            battery_->battery.charge_limited = percent < 100;
            battery_->battery.charge_limit_percent = percent;
            if (environment_.last_readings) {
                environment_.last_readings->keep(*battery_);
            }
        }
        if (shows_attempt) {
            put_text_if_changed(doc, charge_limit_key, charge_limit_text(percent));
        }
        cap_notice_ = cap_confirmed_notice(percent);
        finish(change.key, cap_confirmed_outcome(percent));
        return;
    }
    VORN_WARN("set_charge_limit", "battery cap failed: {}", answer->error());
    // The cap in force goes back into the document, so that the privileged write is not tried again by itself.
    if (shows_attempt && battery_ && battery_->capability) {
        doc.put_str(charge_limit_key, charge_limit_text(battery_->capability->current_percent));
    }
    cap_notice_ = cap_failed_text(answer->error());
    finish(change.key, std::unexpected(*cap_notice_));
}

// ---- The document --------------------------------------------------------------------------------------------------

void PowerModel::write_applied_state(Document& doc)
{
    if (profiles_) {
        put_text_if_changed(doc, profile_key, power_profile_label(applied_profile_));
    }
    put_bool_if_changed(doc, auto_suspend_key, applied_.auto_suspend);
    put_text_if_changed(doc, blank_key, blank_timeout_label(applied_.blank_minutes));
    put_text_if_changed(doc, lock_key, lock_timeout_label(applied_.lock_minutes));
    put_text_if_changed(doc, suspend_key, suspend_timeout_label(applied_.suspend_minutes));
    put_text_if_changed(doc, saver_suspend_key, suspend_timeout_label(applied_.saver_suspend_minutes));
    put_text_if_changed(doc, balanced_suspend_key, suspend_timeout_label(applied_.balanced_suspend_minutes));
    put_text_if_changed(doc, performance_suspend_key, suspend_timeout_label(applied_.performance_suspend_minutes));
    put_text_if_changed(doc, lid_key, button_action_label(applied_.lid_close_action));
    put_text_if_changed(doc, power_key_key, button_action_label(applied_.power_key_action));
    put_text_if_changed(doc, critical_key, button_action_label(applied_.critical_action));
    if (battery_ && battery_->capability) {
        put_text_if_changed(doc, charge_limit_key, charge_limit_text(battery_->capability->current_percent));
    }
}

void PowerModel::take_request(Document& doc)
{
    auto operation = operations::take_operation_request<PowerOperation>(requests_);
    if (!operation) {
        return;
    }
    std::string key = operations::operation_key(*operation);
    active_ = ActiveRequest{.key = key, .operation = *operation};
    if (auto unknown = unknown_value_text(*operation)) {
        finish(key, std::unexpected(std::move(*unknown)));
        return;
    }
    write_request(doc, *operation);
}

void PowerModel::write_request(Document& doc, const PowerOperation& operation)
{
    std::visit(Overloaded{
                   [&](const Op::SetChargeLimit& op) {
                       put_text_if_changed(doc, charge_limit_key, charge_limit_text(op.percent));
                   },
                   [&](const Op::SetProfile& op) { put_text_if_changed(doc, profile_key, op.profile); },
                   [&](const Op::SetAutoSuspend& op) { put_bool_if_changed(doc, auto_suspend_key, op.enabled); },
                   [&](const Op::SetBlankTimeout& op) { put_text_if_changed(doc, blank_key, op.label); },
                   [&](const Op::SetLockTimeout& op) { put_text_if_changed(doc, lock_key, op.label); },
                   [&](const Op::SetSuspendTimeout& op) {
                       put_text_if_changed(doc, suspend_key_for(op.profile), op.label);
                   },
                   [&](const Op::SetLidAction& op) { put_text_if_changed(doc, lid_key, op.action); },
                   [&](const Op::SetPowerKeyAction& op) { put_text_if_changed(doc, power_key_key, op.action); },
                   [&](const Op::SetCriticalAction& op) { put_text_if_changed(doc, critical_key, op.action); },
               },
               operation.value);
}

// ---- Requests that no handler took ---------------------------------------------------------------------------------

bool PowerModel::waits_for_worker(const PowerOperation& operation) const
{
    if (std::holds_alternative<Op::SetProfile>(operation.value)) {
        return !profiles_read_ || profile_change_.has_value();
    }
    if (std::holds_alternative<Op::SetChargeLimit>(operation.value)) {
        return !battery_read_ || cap_change_.has_value();
    }
    return false;
}

bool PowerModel::in_effect(const PowerOperation& operation) const
{
    const auto minutes = [](const std::optional<std::uint32_t>& wanted, std::uint32_t applied) {
        return wanted == applied;
    };
    const auto action = [](const std::string& label, PowerAction applied) {
        return button_action_from_label(label) == applied;
    };
    return std::visit(
        Overloaded{
            [&](const Op::SetChargeLimit& op) {
                return battery_ && battery_->capability && battery_->capability->current_percent == op.percent;
            },
            [&](const Op::SetProfile& op) { return power_profile_from_label(op.profile) == applied_profile_; },
            [&](const Op::SetAutoSuspend& op) { return op.enabled == applied_.auto_suspend; },
            [&](const Op::SetBlankTimeout& op) {
                return minutes(short_timeout_minutes_from_label(op.label), applied_.blank_minutes);
            },
            [&](const Op::SetLockTimeout& op) {
                return minutes(short_timeout_minutes_from_label(op.label), applied_.lock_minutes);
            },
            [&](const Op::SetSuspendTimeout& op) {
                return minutes(timeout_minutes_from_label(op.label), applied_.*suspend_field_for(op.profile));
            },
            [&](const Op::SetLidAction& op) { return action(op.action, applied_.lid_close_action); },
            [&](const Op::SetPowerKeyAction& op) { return action(op.action, applied_.power_key_action); },
            [&](const Op::SetCriticalAction& op) { return action(op.action, applied_.critical_action); },
        },
        operation.value);
}

// A request the handlers left alone asks for what is in effect, or for what this machine cannot do; either way it
// ends here, so that the runner is free again.
void PowerModel::settle_request()
{
    if (!active_ || waits_for_worker(active_->operation)) {
        return;
    }
    const ActiveRequest request = *active_;
    const auto& operation = request.operation;
    if (const auto* limit = std::get_if<Op::SetChargeLimit>(&operation.value)) {
        const bool offered = battery_ && battery_->capability &&
                             std::ranges::find(battery_->capability->supported_percentages, limit->percent) !=
                                 battery_->capability->supported_percentages.end();
        if (!offered) {
            finish(request.key, std::unexpected(std::string(cap_unavailable_text)));
            return;
        }
    }
    if (!in_effect(operation)) {
        // Not this page's running operation (the runner gave up on it), or a change no handler could carry out.
        finish(request.key, std::unexpected(std::string("The Power page could not carry out this change.")));
        active_.reset();
        return;
    }
    if (std::holds_alternative<Op::SetProfile>(operation.value) && profiles_ && !profiles_->active_known) {
        // What is "in effect" is only assumed: the service never said.
        finish(request.key, std::unexpected(profiles_->unavailable.value_or(profile_failed_text("the active power "
                                                                                                 "profile is unknown"))));
        return;
    }
    finish(request.key, already_text(operation));
}

// ---- Handlers ------------------------------------------------------------------------------------------------------

void PowerModel::run_handlers(Document& doc)
{
    handle_profile(doc);
    handle_charge_cap(doc);
    handle_timeouts(doc);
    handle_actions(doc);
}

void PowerModel::handle_profile(Document& doc)
{
    if (!profiles_read_ || !profiles_ || profile_change_) {
        return;
    }
    const auto label = page_doc::doc_text(doc, profile_key);
    const auto profile = label ? power_profile_from_label(*label) : std::nullopt;
    if (!profile || *profile == applied_profile_) {
        return;
    }
    const PowerOperation operation{Op::SetProfile{*label}};
    if (!operation_allows(operation)) {
        return;
    }
    const std::string key = key_of(operation);
    structure_dirty_ = true;
    const auto refuse = [&](std::string notice, std::string outcome) {
        doc.put_str(profile_key, power_profile_label(applied_profile_));
        profile_notice_ = std::move(notice);
        finish(key, std::unexpected(std::move(outcome)));
    };
    if (std::ranges::find(profiles_->available, *profile) == profiles_->available.end()) {
        if (profiles_->available.empty() && profiles_->unavailable) {
            refuse(*profiles_->unavailable, *profiles_->unavailable);
        } else {
            refuse(profile_unsupported_notice(*label), std::string(profile_not_supported_text));
        }
        return;
    }
    auto started = page_workers::start_one_shot<system_ops::Status>(
        environment_.start_thread, "vorn-profile-set", wake_,
        [dispatcher = environment_.backends.dispatcher, wanted = *profile] {
            return dispatcher->set_power_profile(wanted);
        });
    if (!started) {
        const std::string text = profile_failed_text(fmt::format("could not start a worker: {}", started.error()));
        refuse(text, text);
        return;
    }
    profile_change_ = ProfileChange{.key = key, .profile = *profile, .channel = std::move(*started)};
}

void PowerModel::handle_charge_cap(Document& doc)
{
    if (!battery_read_ || !battery_ || !battery_->capability || cap_change_) {
        return;
    }
    const auto text = page_doc::doc_text(doc, charge_limit_key);
    const auto percent = text ? charge_limit_from_text(*text) : std::nullopt;
    const ChargeCapability& capability = *battery_->capability;
    if (!percent || *percent == capability.current_percent ||
        std::ranges::find(capability.supported_percentages, *percent) == capability.supported_percentages.end()) {
        return;
    }
    const PowerOperation operation{Op::SetChargeLimit{*percent}};
    if (!operation_allows(operation)) {
        return;
    }
    const std::string key = key_of(operation);
    structure_dirty_ = true;
    auto started = page_workers::start_one_shot<system_ops::Result<ChargeCapability>>(
        environment_.start_thread, "vorn-charge-cap", wake_,
        [battery = environment_.backends.battery, wanted = *percent] {
            return battery->set_charge_limit_checked(wanted);
        });
    if (!started) {
        doc.put_str(charge_limit_key, charge_limit_text(capability.current_percent));
        cap_notice_ = cap_failed_text(fmt::format("could not start a worker: {}", started.error()));
        finish(key, std::unexpected(*cap_notice_));
        return;
    }
    cap_change_ = CapChange{.key = key, .percent = *percent, .channel = std::move(*started)};
}

void PowerModel::save_setting(Document& doc, Card card, const PowerOperation& operation,
                              const std::function<void(prefs::PowerPrefs&)>& change,
                              const std::function<void(Document&)>& write_back)
{
    const std::string key = key_of(operation);
    std::optional<std::string>& notice = card == Card::Saving ? saving_notice_ : behaviour_notice_;
    structure_dirty_ = true;
    const auto saved = guarded([&] { return environment_.save_prefs(change); });
    if (saved) {
        change(applied_);
        notice.reset();
        finish(key, saved_text(operation));
        return;
    }
    VORN_WARN("power_prefs_save", "failed to persist power prefs: {}", saved.error());
    // What is in force stays in force, and the control shows it again.
    notice = prefs_not_saved_text(saved.error());
    write_back(doc);
    finish(key, std::unexpected(*notice));
}

void PowerModel::handle_minutes(Document& doc, std::string_view key, std::uint32_t prefs::PowerPrefs::*field,
                                std::string_view (*label_of)(std::uint32_t), bool short_table,
                                const std::function<PowerOperation(std::string)>& operation_for)
{
    const auto label = page_doc::doc_text(doc, key);
    if (!label) {
        return;
    }
    const auto minutes = short_table ? short_timeout_minutes_from_label(*label) : timeout_minutes_from_label(*label);
    if (!minutes || *minutes == applied_.*field) {
        return;
    }
    const PowerOperation operation = operation_for(*label);
    if (!operation_allows(operation)) {
        return;
    }
    // A stored value no label names is shown by the table's fallback label; showing it is no choice of the user's.
    if (!shares_status_ && *label == label_of(applied_.*field)) {
        return;
    }
    save_setting(
        doc, Card::Saving, operation, [field, value = *minutes](prefs::PowerPrefs& p) { p.*field = value; },
        [this, key, field, label_of](Document& d) { d.put_str(key, label_of(applied_.*field)); });
}

void PowerModel::handle_timeouts(Document& doc)
{
    if (const auto wanted = page_doc::doc_bool(doc, auto_suspend_key); wanted && *wanted != applied_.auto_suspend) {
        const PowerOperation operation{Op::SetAutoSuspend{*wanted}};
        if (operation_allows(operation)) {
            save_setting(
                doc, Card::Saving, operation, [value = *wanted](prefs::PowerPrefs& p) { p.auto_suspend = value; },
                [this](Document& d) { d.put_bool(auto_suspend_key, applied_.auto_suspend); });
        }
    }
    using P = prefs::PowerPrefs;
    handle_minutes(doc, blank_key, &P::blank_minutes, blank_timeout_label, true,
                   [](std::string label) { return PowerOperation{Op::SetBlankTimeout{std::move(label)}}; });
    handle_minutes(doc, lock_key, &P::lock_minutes, lock_timeout_label, true,
                   [](std::string label) { return PowerOperation{Op::SetLockTimeout{std::move(label)}}; });
    const auto suspend = [](std::string_view word) {
        return [word](std::string label) { return PowerOperation{Op::SetSuspendTimeout{std::string(word), std::move(label)}}; };
    };
    handle_minutes(doc, suspend_key, &P::suspend_minutes, suspend_timeout_label, false, suspend("default"));
    handle_minutes(doc, saver_suspend_key, &P::saver_suspend_minutes, suspend_timeout_label, false, suspend("saver"));
    handle_minutes(doc, balanced_suspend_key, &P::balanced_suspend_minutes, suspend_timeout_label, false,
                   suspend("balanced"));
    handle_minutes(doc, performance_suspend_key, &P::performance_suspend_minutes, suspend_timeout_label, false,
                   suspend("performance"));
}

void PowerModel::handle_action(Document& doc, std::string_view key, PowerAction prefs::PowerPrefs::*field,
                               const std::function<PowerOperation(std::string)>& operation_for)
{
    const auto label = page_doc::doc_text(doc, key);
    const auto action = label ? button_action_from_label(*label) : std::nullopt;
    if (!action || *action == applied_.*field) {
        return;
    }
    const PowerOperation operation = operation_for(*label);
    if (!operation_allows(operation)) {
        return;
    }
    save_setting(
        doc, Card::Behaviour, operation, [field, value = *action](prefs::PowerPrefs& p) { p.*field = value; },
        [this, key, field](Document& d) { d.put_str(key, button_action_label(applied_.*field)); });
}

void PowerModel::handle_actions(Document& doc)
{
    using P = prefs::PowerPrefs;
    handle_action(doc, lid_key, &P::lid_close_action,
                  [](std::string label) { return PowerOperation{Op::SetLidAction{std::move(label)}}; });
    handle_action(doc, power_key_key, &P::power_key_action,
                  [](std::string label) { return PowerOperation{Op::SetPowerKeyAction{std::move(label)}}; });
    handle_action(doc, critical_key, &P::critical_action,
                  [](std::string label) { return PowerOperation{Op::SetCriticalAction{std::move(label)}}; });
}

}  // namespace settings::panes::power
