#include "panes/updates/updates_model.hpp"

#include "prefs/settings_file.hpp"

#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <mutex>

namespace settings::panes::updates {

namespace firmware = system_ops::firmware;

namespace {

constexpr std::string_view log_tag = "updates";

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

using page_workers::start_one_shot;
using page_workers::try_receive;

std::string_view on_off(bool value)
{
    return value ? "on" : "off";
}

}  // namespace

// ---- Threads and the environment -----------------------------------------------------------------------------------

UpdatesEnvironment UpdatesEnvironment::system()
{
    auto probe = std::make_shared<StatusProbe>();
    return UpdatesEnvironment{
        .backend = std::make_shared<SystemUpdateBackend>(),
        .reboot = std::make_shared<SystemRebootControl>(),
        .os_info_source = [probe] { return probe->os_pretty_name(); },
        .status_source = [probe](const RollbackStatus& rollback) { return probe->update_service_status(rollback); },
        .clock_source = clock_text,
        .load_prefs = [] { return prefs::load_settings_file().updates; },
        .save_prefs = [](const prefs::UpdatePrefs& updates) -> system_ops::Status {
            auto file = prefs::load_settings_file();
            file.updates = updates;
            if (auto saved = prefs::save_settings_file(file); !saved) {
                return std::unexpected(std::move(saved.error()));
            }
            return {};
        },
        .start_thread = page_workers::start_detached_thread,
    };
}

// ---- The model -------------------------------------------------------------------------------------------------------

UpdatesModel::UpdatesModel(UpdatesEnvironment environment)
    : environment_(std::move(environment)),
      wake_(vorn_ui::WakeHandle::create()),
      requests_(std::nullopt),
      status_(operations::OperationStatus::idle())
{
    start_loading();
}

// The workers keep their slots; what they send goes nowhere once the model is gone. An operation the page was still
// carrying out is answered, so that the application does not wait for it (and refuse every other operation) until
// the page is opened again.
UpdatesModel::~UpdatesModel()
{
    // Answers that have arrived give their own outcome.
    receive_answers();
    receive_install_events();
    const std::string closed(closed_message);
    if (check_slot_) {
        fail_operation(UpdateOperation{UpdateOperation::Check{}}, closed);
    }
    if (refresh_slot_) {
        fail_operation(UpdateOperation{UpdateOperation::RefreshFirmware{}}, closed);
    }
    if (install_events_) {
        fail_operation(UpdateOperation{UpdateOperation::InstallFirmware{}}, closed);
    }
    for (const auto& action : actions_) {
        fail_operation(action->operation, closed);
    }
}

void UpdatesModel::share_operation_requests(operations::OperationRequestCell cell)
{
    requests_ = std::move(cell);
    shares_requests_ = true;
}

void UpdatesModel::share_operation_status(operations::OperationStatusCell cell)
{
    status_ = std::move(cell);
    shares_status_ = true;
}

bool UpdatesModel::needs_redraw() const
{
    return work_under_way();
}

bool UpdatesModel::work_under_way() const
{
    return loading_ || check_slot_ || refresh_slot_ || reread_slot_ || install_events_ || !actions_.empty();
}

bool UpdatesModel::firmware_busy() const
{
    return refresh_slot_ || reread_slot_ || install_events_;
}

// ---- Loading ---------------------------------------------------------------------------------------------------------

void UpdatesModel::start_loading()
{
    // The same reads, in the same order, as a page that read everything while it was built.
    auto started = start_one_shot<Result<LoadResult>>(
        environment_.start_thread, "vorn-updates-load", wake_,
        [backend = environment_.backend, os_info_source = environment_.os_info_source,
         status_source = environment_.status_source, load_prefs = environment_.load_prefs] {
            LoadResult result;
            result.os_info = os_info_source();
            result.prefs = load_prefs();
            result.timer = backend->automatic_updates_enabled();
            if (result.timer) {
                result.prefs.auto_update = *result.timer;
            }
            result.rollback = backend->rollback_status();
            result.service = status_source(result.rollback);
            result.schedule = backend->update_schedule();
            result.metered = backend->metered_updates_allowed();
            result.updates = firmware::get_firmware_updates();
            result.history = firmware::get_firmware_history();
            return result;
        });
    if (started) {
        load_slot_ = std::move(*started);
        return;
    }
    VORN_WARN(log_tag, "the update status worker could not start: {}", started.error());
    load_failed("worker could not start");
}

void UpdatesModel::load_failed(const std::string& reason)
{
    apply_load(LoadResult{
        .os_info = OsInfo{.name = std::string(fallback_os_name), .staged = std::nullopt, .image_error = reason},
        .prefs = environment_.load_prefs(),
        .rollback = std::unexpected(reason),
        .service = UpdateServiceStatus{.protection = protection_sentence(false, std::unexpected(reason))},
        .updates = std::unexpected(reason),
        .history = std::unexpected(reason),
    });
    // Nothing is known of the timer and the policy: their controls are shown as unavailable.
    schedule_.reset();
    metered_allowed_.reset();
    set_status(fmt::format("The update status could not be read: {}", reason), true);
}

void UpdatesModel::apply_load(LoadResult result)
{
    loading_ = false;
    os_info_ = std::move(result.os_info);
    prefs_ = std::move(result.prefs);
    timer_state_ = result.timer;
    rollback_image_ = std::move(result.rollback);
    service_status_ = std::move(result.service);
    schedule_ = std::move(result.schedule);
    metered_allowed_ = result.metered;
    firmware_updates_ = std::move(result.updates);
    firmware_history_ = std::move(result.history);
    applied_prefs_ = prefs::UpdatePrefs{};
    seed_pending_ = true;
    structure_dirty_ = true;
}

// ---- Sync ------------------------------------------------------------------------------------------------------------

void UpdatesModel::sync()
{
    receive_answers();
    receive_install_events();
    if (loading_) {
        return;  // operations wait in their cell until the page knows the system's state
    }
    if (seed_pending_) {
        seed();
    }
    if (auto taken = operations::take_operation_request<UpdateOperation>(requests_)) {
        replay(*taken);
        run_handlers();
    }
    // The running operation, when the page has nothing of its own under way, is performed here (a page built while
    // it was running did not take its request); otherwise the document goes back to the page's state.
    const auto status = status_.get();
    std::optional<UpdateOperation> running;
    const std::string prefix = std::string(UpdateOperation::kind) + ":";
    if (status.state == operations::OperationStatus::State::Running && status.key.starts_with(prefix)) {
        if (auto decoded = actions::decode_payload<UpdateOperation>(std::string_view(status.key).substr(prefix.size()))) {
            running = std::move(*decoded);
        }
    }
    if (running && !work_under_way()) {
        replay(*running);
        run_handlers();
    } else {
        replay(UpdateOperation{UpdateOperation::SetAutomatic{.enabled = prefs_.auto_update}});
    }
}

void UpdatesModel::seed()
{
    write_state();
    applied_prefs_ = prefs_;
    seed_pending_ = false;
}

void UpdatesModel::write_state()
{
    for (const auto key : {check_key, restart_key, rollback_key, rollback_confirm_key, firmware_refresh_key,
                           firmware_install_key}) {
        document_.put_bool(key, false);
    }
    document_.put_bool(auto_key, prefs_.auto_update);
    if (schedule_) {
        document_.put_str(schedule_key, *schedule_);
    }
    if (metered_allowed_) {
        document_.put_bool(metered_key, *metered_allowed_);
    }
}

void UpdatesModel::replay(const UpdateOperation& operation)
{
    write_state();
    using Op = UpdateOperation;
    std::visit(Overloaded{
                   [&](const Op::Check&) { document_.put_bool(check_key, true); },
                   [&](const Op::Restart&) { document_.put_bool(restart_key, true); },
                   [&](const Op::ReviewRollback&) { document_.put_bool(rollback_key, true); },
                   [&](const Op::Rollback&) { document_.put_bool(rollback_confirm_key, true); },
                   [&](const Op::RefreshFirmware&) { document_.put_bool(firmware_refresh_key, true); },
                   [&](const Op::InstallFirmware&) { document_.put_bool(firmware_install_key, true); },
                   [&](const Op::SetAutomatic& op) { document_.put_bool(auto_key, op.enabled); },
                   [&](const Op::SetSchedule& op) { document_.put_str(schedule_key, op.schedule); },
                   [&](const Op::SetMetered& op) { document_.put_bool(metered_key, op.allowed); },
               },
               operation.value);
}

void UpdatesModel::run_handlers()
{
    start_update_check();
    start_firmware_refresh();
    install_firmware();
    handle_restart();
    handle_set_automatic();
    handle_set_schedule();
    handle_set_metered();
    handle_rollback();
}

void UpdatesModel::receive_answers()
{
    if (auto load = try_receive(load_slot_, [] { return Result<LoadResult>(std::unexpected("worker stopped")); })) {
        load_slot_.reset();
        if (*load) {
            apply_load(std::move(**load));
        } else {
            load_failed(load->error());
        }
    }

    if (auto arrival = try_receive(check_slot_, [] { return std::optional<Result<CheckReport>>(); })) {
        check_slot_.reset();
        structure_dirty_ = true;
        const UpdateOperation op{UpdateOperation::Check{}};
        auto& check = *arrival;  // none: the worker ended without an answer
        if (!check) {
            set_status("Updates could not be checked: worker stopped", true);
            fail_operation(op, "update check worker stopped");
        } else if (!*check) {
            std::string sentence = fmt::format("Updates could not be checked: {}", check->error());
            set_status(sentence, true);
            fail_operation(op, std::move(sentence));
        } else {
            CheckReport& report = **check;
            os_info_ = std::move(report.os_info);
            rollback_image_ = std::move(report.rollback);
            service_status_ = std::move(report.service);
            const std::string now = environment_.clock_source();
            prefs_.last_checked = now;
            applied_prefs_.last_checked = now;
            clear_status();
            save_prefs();
            finish_operation(op, "update check finished");
        }
    }

    if (auto lists = try_receive(refresh_slot_, [] {
            return Result<FirmwareLists>(std::unexpected("firmware refresh worker stopped"));
        })) {
        refresh_slot_.reset();
        structure_dirty_ = true;
        const UpdateOperation op{UpdateOperation::RefreshFirmware{}};
        if (*lists) {
            firmware_updates_ = std::move((*lists)->updates);
            firmware_history_ = std::move((*lists)->history);
            clear_status();
            finish_operation(op, "firmware metadata refreshed");
        } else {
            firmware_updates_ = std::unexpected(lists->error());
            firmware_history_ = std::unexpected(lists->error());
            std::string sentence = fmt::format("Firmware metadata could not be refreshed: {}", lists->error());
            set_status(sentence, true);
            fail_operation(op, std::move(sentence));
        }
    }

    if (auto reread = try_receive(reread_slot_, [] {
            const std::string gone = "firmware lists could not be read again";
            return FirmwareRead{.updates = std::unexpected(gone), .history = std::unexpected(gone)};
        })) {
        reread_slot_.reset();
        structure_dirty_ = true;
        firmware_updates_ = std::move(reread->updates);
        firmware_history_ = std::move(reread->history);
    }

    for (auto it = actions_.begin(); it != actions_.end();) {
        const std::shared_ptr<Action> action = *it;
        auto apply = try_receive(action->slot, [&operation = action->operation]() -> Apply {
            return [operation](UpdatesModel& model) {
                model.set_status("The change could not be made: worker stopped", true);
                model.fail_operation(operation, "update change worker stopped");
            };
        });
        if (!apply) {
            ++it;
            continue;
        }
        it = actions_.erase(it);
        structure_dirty_ = true;
        (*apply)(*this);
    }
}

void UpdatesModel::receive_install_events()
{
    if (!install_events_) {
        return;
    }
    const UpdateOperation op{UpdateOperation::InstallFirmware{}};
    using Event = firmware::InstallEvent;
    while (install_events_) {
        auto event = install_events_->try_next();
        if (!event) {
            if (install_events_->ended()) {
                // The installation's thread went without saying how it ended.
                install_events_.reset();
                install_progress_ = {};
                structure_dirty_ = true;
                const std::string sentence =
                    "Firmware installation failed: firmware installation ended without a result";
                set_status(sentence, true);
                fail_operation(op, sentence);
            }
            return;
        }
        structure_dirty_ = true;
        std::visit(
            Overloaded{
                [&](const Event::Preparing& preparing) {
                    install_progress_ = {FirmwareInstallProgress::Progress{
                        .text = fmt::format("Preparing {} update(s)\u2026", preparing.updates), .percent = 0}};
                },
                [&](const Event::Progress& progress) {
                    unsigned percent = std::min(progress.percent, 100U);
                    if (const auto* previous = std::get_if<FirmwareInstallProgress::Progress>(&install_progress_.value)) {
                        percent = progress.percent == 0 ? previous->percent : std::max(previous->percent, percent);
                    }
                    install_progress_ = {FirmwareInstallProgress::Progress{.text = progress.text, .percent = percent}};
                },
                [&](const Event::Finished& finished) {
                    install_events_.reset();
                    install_progress_ = {FirmwareInstallProgress::Finished{.restart_required = finished.restart_required}};
                    set_status(finished.restart_required
                                   ? "Firmware installation finished. Restart to activate the update."
                                   : "Firmware installation finished successfully.",
                               false);
                    start_firmware_reread();
                    finish_operation(op, "firmware installation finished");
                },
                [&](const Event::Failed& failed) {
                    install_events_.reset();
                    install_progress_ = {};
                    std::string sentence = fmt::format("Firmware installation failed: {}", failed.message);
                    set_status(sentence, true);
                    fail_operation(op, std::move(sentence));
                },
            },
            event->value);
    }
}

// ---- Image updates -------------------------------------------------------------------------------------------------

void UpdatesModel::start_update_check()
{
    if (!page_doc::take_doc_flag(document_, check_key)) {
        return;
    }
    const UpdateOperation op{UpdateOperation::Check{}};
    if (check_slot_) {
        fail_operation(op, "an update check is already running");
        return;
    }
    auto started = start_one_shot<std::optional<Result<CheckReport>>>(
        environment_.start_thread, "vorn-update-check", wake_,
        [backend = environment_.backend, os_info_source = environment_.os_info_source,
         status_source = environment_.status_source]() -> Result<CheckReport> {
            if (auto updated = backend->start_update(); !updated) {
                return std::unexpected(std::move(updated.error()));
            }
            CheckReport report;
            report.os_info = os_info_source();
            report.rollback = backend->rollback_status();
            report.service = status_source(report.rollback);
            return report;
        });
    if (!started) {
        VORN_WARN(log_tag, "the update check worker could not start: {}", started.error());
        set_status("Updates could not be checked: worker could not start", true);
        fail_operation(op, "update check worker could not start");
        return;
    }
    check_slot_ = std::move(*started);
    structure_dirty_ = true;
}

void UpdatesModel::handle_restart()
{
    if (!page_doc::take_doc_flag(document_, restart_key)) {
        return;
    }
    const UpdateOperation op{UpdateOperation::Restart{}};
    if (restart_attempted_) {
        // One attempt per page; the operation still gets its answer, so that nothing waits for it.
        set_status("A restart was already attempted from this page; restart from the system menu", true);
        fail_operation(op, "a restart was already attempted; restart from the system menu");
        return;
    }
    restart_attempted_ = true;
    structure_dirty_ = true;
    post_action(op, [](UpdateBackend&, RebootControl& reboot) -> Apply {
        auto restarted = reboot.restart();
        return [restarted = std::move(restarted)](UpdatesModel& model) {
            const UpdateOperation op{UpdateOperation::Restart{}};
            if (restarted) {
                model.finish_operation(op, "restart command accepted by the system");
                return;
            }
            VORN_WARN("reboot", "restart & update failed: {}", restarted.error());
            std::string sentence = fmt::format("Restarting into the staged update failed: {}", restarted.error());
            model.set_status(sentence, true);
            model.fail_operation(op, std::move(sentence));
        };
    });
}

void UpdatesModel::handle_set_automatic()
{
    const auto wanted = page_doc::doc_bool(document_, auto_key);
    if (!wanted) {
        return;
    }
    const bool v = *wanted;
    const UpdateOperation op{UpdateOperation::SetAutomatic{.enabled = v}};
    if (v == applied_prefs_.auto_update) {
        finish_operation(op, "automatic-update timer was already selected");
        return;
    }
    applied_prefs_.auto_update = v;
    post_action(op, [v](UpdateBackend& backend, RebootControl&) -> Apply {
        auto changed = backend.set_automatic_updates(v);
        const auto timer = backend.automatic_updates_enabled();
        return [v, changed = std::move(changed), timer](UpdatesModel& model) {
            const UpdateOperation op{UpdateOperation::SetAutomatic{.enabled = v}};
            model.timer_state_ = timer;
            if (!changed) {
                VORN_WARN("set_update_timer", "automatic updates could not be changed: {}", changed.error());
                const bool actual = timer.value_or(model.prefs_.auto_update);
                model.prefs_.auto_update = actual;
                model.applied_prefs_.auto_update = actual;
                model.document_.put_bool(auto_key, actual);
                std::string sentence = fmt::format("Automatic updates could not be changed: {}", changed.error());
                model.set_status(sentence, true);
                model.fail_operation(op, std::move(sentence));
                return;
            }
            const bool actual = timer.value_or(v);
            model.prefs_.auto_update = actual;
            // What the system now runs is what the page has applied, so asking for the same change again is tried
            // again rather than taken as already done.
            model.applied_prefs_.auto_update = actual;
            if (actual != v) {
                model.set_status(fmt::format("Automatic updates are still {}. The system did not accept the change.",
                                             on_off(actual)),
                                 true);
            } else {
                model.clear_status();
            }
            model.save_prefs();
            if (actual != v) {
                model.fail_operation(op, "the system did not accept the automatic-update timer change");
            } else {
                model.finish_operation(op, "automatic-update timer changed");
            }
        };
    });
}

void UpdatesModel::handle_set_schedule()
{
    const auto wanted = page_doc::doc_text(document_, schedule_key);
    if (!wanted) {
        return;
    }
    const UpdateOperation op{UpdateOperation::SetSchedule{.schedule = *wanted}};
    if (!schedule_) {
        fail_operation(op, "the download schedule is not available on this machine");
        return;
    }
    if (*wanted == *schedule_) {
        finish_operation(op, "update schedule was already selected");
        return;
    }
    if (!is_schedule_label(*wanted)) {
        fail_operation(op, "unsupported update schedule");
        return;
    }
    post_action(op, [label = *wanted](UpdateBackend& backend, RebootControl&) -> Apply {
        auto changed = backend.set_update_schedule(label);
        // Read back either way: a change that timed out may still have been applied.
        std::string now = backend.update_schedule();
        return [label, changed = std::move(changed), now = std::move(now)](UpdatesModel& model) {
            const UpdateOperation op{UpdateOperation::SetSchedule{.schedule = label}};
            model.schedule_ = now;
            model.document_.put_str(schedule_key, now);
            if (!changed) {
                std::string sentence = fmt::format("Download schedule could not be changed: {}", changed.error());
                model.set_status(sentence, true);
                model.fail_operation(op, std::move(sentence));
                return;
            }
            model.clear_status();
            model.finish_operation(op, "update schedule changed");
        };
    });
}

void UpdatesModel::handle_set_metered()
{
    const auto wanted = page_doc::doc_bool(document_, metered_key);
    if (!wanted) {
        return;
    }
    const bool v = *wanted;
    const UpdateOperation op{UpdateOperation::SetMetered{.allowed = v}};
    if (!metered_allowed_) {
        fail_operation(op, "the metered-network policy is not available on this machine");
        return;
    }
    if (v == *metered_allowed_) {
        finish_operation(op, "metered-network policy was already selected");
        return;
    }
    post_action(op, [v](UpdateBackend& backend, RebootControl&) -> Apply {
        auto changed = backend.set_metered_updates(v);
        const bool now = backend.metered_updates_allowed();
        return [v, changed = std::move(changed), now](UpdatesModel& model) {
            const UpdateOperation op{UpdateOperation::SetMetered{.allowed = v}};
            model.metered_allowed_ = now;
            model.document_.put_bool(metered_key, now);
            if (!changed) {
                std::string sentence =
                    fmt::format("Metered-network policy could not be changed: {}", changed.error());
                model.set_status(sentence, true);
                model.fail_operation(op, std::move(sentence));
                return;
            }
            model.clear_status();
            model.finish_operation(op, "metered-network policy changed");
        };
    });
}

void UpdatesModel::handle_rollback()
{
    if (page_doc::take_doc_flag(document_, rollback_key)) {
        review_open_ = true;
        clear_status();
        structure_dirty_ = true;
        finish_operation(UpdateOperation{UpdateOperation::ReviewRollback{}}, "rollback details opened");
    }
    if (!page_doc::take_doc_flag(document_, rollback_confirm_key)) {
        return;
    }
    post_action(UpdateOperation{UpdateOperation::Rollback{}}, [](UpdateBackend& backend, RebootControl&) -> Apply {
        auto rolled_back = backend.rollback();
        std::optional<RollbackStatus> now;
        if (rolled_back) {
            now = backend.rollback_status();
        }
        return [rolled_back = std::move(rolled_back), now = std::move(now)](UpdatesModel& model) {
            const UpdateOperation op{UpdateOperation::Rollback{}};
            if (!rolled_back) {
                VORN_WARN("rollback", "rollback failed: {}", rolled_back.error());
                std::string sentence = fmt::format("Rolling back failed: {}", rolled_back.error());
                model.set_status(sentence, true);
                model.fail_operation(op, std::move(sentence));
                return;
            }
            model.review_open_ = false;
            model.set_status("Done. The previous image is what this machine will boot next. Restart when you are "
                             "ready \u2014 nothing has been removed, so this is reversible.",
                             false);
            model.rollback_image_ = *now;
            model.finish_operation(op, "previous system image selected for next boot");
        };
    });
}

void UpdatesModel::post_action(UpdateOperation operation, std::function<Apply(UpdateBackend&, RebootControl&)> work)
{
    auto started = start_one_shot<Apply>(environment_.start_thread, "vorn-update-change", wake_,
                                         [backend = environment_.backend, reboot = environment_.reboot,
                                          work = std::move(work)] { return work(*backend, *reboot); });
    if (!started) {
        VORN_WARN(log_tag, "the update change worker could not start: {}", started.error());
        set_status("The change could not be made: worker could not start", true);
        fail_operation(operation, "update change worker could not start");
        return;
    }
    actions_.push_back(std::make_shared<Action>(Action{.operation = std::move(operation), .slot = std::move(*started)}));
    structure_dirty_ = true;
}

// ---- Firmware --------------------------------------------------------------------------------------------------------

void UpdatesModel::start_firmware_refresh()
{
    if (!page_doc::take_doc_flag(document_, firmware_refresh_key)) {
        return;
    }
    const UpdateOperation op{UpdateOperation::RefreshFirmware{}};
    if (firmware_busy()) {
        fail_operation(op, "firmware work is already in progress");
        return;
    }
    auto started = start_one_shot<Result<FirmwareLists>>(environment_.start_thread, "vorn-firmware-refresh", wake_,
                                                         [backend = environment_.backend] {
                                                             return backend->refresh_firmware();
                                                         });
    if (!started) {
        VORN_WARN(log_tag, "the firmware refresh worker could not start: {}", started.error());
        set_status("Firmware metadata could not be refreshed: worker could not start", true);
        fail_operation(op, "firmware refresh worker could not start");
        return;
    }
    refresh_slot_ = std::move(*started);
    structure_dirty_ = true;
}

void UpdatesModel::install_firmware()
{
    if (!page_doc::take_doc_flag(document_, firmware_install_key)) {
        return;
    }
    const UpdateOperation op{UpdateOperation::InstallFirmware{}};
    if (firmware_busy()) {
        set_status("Firmware work is already in progress", true);
        fail_operation(op, "firmware work is already in progress");
        return;
    }
    Result<firmware::InstallEvents> events = std::unexpected(std::string());
    if (!firmware_updates_) {
        events = std::unexpected(firmware_updates_.error());
    } else {
        events = firmware::start_firmware_install(*firmware_updates_, [wake = wake_] { wake.wake(); });
    }
    structure_dirty_ = true;
    if (!events) {
        std::string sentence = fmt::format("Firmware upgrades could not be installed: {}", events.error());
        set_status(sentence, true);
        fail_operation(op, std::move(sentence));
        return;
    }
    install_events_.emplace(std::move(*events));
    install_progress_ = {FirmwareInstallProgress::Progress{.text = "Preparing firmware transaction\u2026", .percent = 0}};
    clear_status();
}

void UpdatesModel::start_firmware_reread()
{
    auto started = start_one_shot<FirmwareRead>(environment_.start_thread, "vorn-firmware-refresh", wake_, [] {
        return FirmwareRead{.updates = firmware::get_firmware_updates(), .history = firmware::get_firmware_history()};
    });
    if (!started) {
        VORN_WARN(log_tag, "the firmware lists could not be read again: {}", started.error());
        return;
    }
    reread_slot_ = std::move(*started);
}

// ---- Status and outcomes ---------------------------------------------------------------------------------------------

void UpdatesModel::set_status(std::string text, bool failure)
{
    status_line_ = std::move(text);
    status_failed_ = failure;
    structure_dirty_ = true;
}

void UpdatesModel::clear_status()
{
    if (status_line_) {
        structure_dirty_ = true;
    }
    status_line_.reset();
    status_failed_ = false;
}

void UpdatesModel::save_prefs()
{
    if (auto saved = environment_.save_prefs(prefs_); !saved) {
        VORN_WARN("update_prefs_save", "failed to persist update prefs: {}", saved.error());
    }
}

void UpdatesModel::finish_operation(const UpdateOperation& operation, std::string message)
{
    const std::string key = operations::operation_key(operation);
    if (!status_.get().is_running(key)) {
        return;
    }
    if (auto published = status_.publish(operations::OperationStatus::done(key, std::move(message))); !published) {
        VORN_WARN(log_tag, "update operation outcome not published: {}", published.error().message());
    }
}

void UpdatesModel::fail_operation(const UpdateOperation& operation, std::string message)
{
    const std::string key = operations::operation_key(operation);
    if (!status_.get().is_running(key)) {
        return;
    }
    if (auto published = status_.publish(operations::OperationStatus::failed(key, std::move(message))); !published) {
        VORN_WARN(log_tag, "update operation outcome not published: {}", published.error().message());
    }
}

}  // namespace settings::panes::updates
