#include "panes/updates/updates_model.hpp"

#include "panes/updates/testing/fake_update_backend.hpp"

#include "system_ops/testing/fake_firmware.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace settings::panes::updates {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using operations::OperationStatus;
using Op = UpdateOperation;
using system_ops::firmware::InstallEvent;

FirmwareUpdate webcam_update()
{
    return FirmwareUpdate{.device_id = "08d460be0f1f9f128413f816022a6439e0078018",
                          .device = "Integrated Webcam",
                          .current_version = "1.2.2",
                          .new_version = "1.2.3"};
}

class UpdatesModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        firmware->change([](auto& s) { s.updates = std::vector{webcam_update()}; });
    }

    // Opens the page as the pane factory does and lets its first reading finish.
    void open()
    {
        model = std::make_unique<UpdatesModel>(fake.environment());
        model->share_operation_requests(requests);
        model->share_operation_status(status);
        fake.threads.run_all();
        model->sync();
    }

    // What the application's runner does for an operation it accepted.
    void request(const UpdateOperation& operation)
    {
        (void)status.publish(OperationStatus::running(operations::operation_key(operation)));
        (void)requests.publish(operations::PendingOperation{operation});
    }

    // One operation from the request to its last answer: the page takes it, its workers run, the page takes their
    // answers.
    OperationStatus perform(const UpdateOperation& operation)
    {
        request(operation);
        model->sync();
        fake.threads.run_all();
        model->sync();
        return status.get();
    }

    static OperationStatus done(const UpdateOperation& operation, std::string message)
    {
        return OperationStatus::done(operations::operation_key(operation), std::move(message));
    }
    static OperationStatus failed(const UpdateOperation& operation, std::string message)
    {
        return OperationStatus::failed(operations::operation_key(operation), std::move(message));
    }

    testing::FakeEnvironment fake;
    std::shared_ptr<system_ops::testing::FakeFirmware> firmware = std::make_shared<system_ops::testing::FakeFirmware>();
    system_ops::ScopedCurrent<system_ops::firmware::FirmwareService> firmware_guard{firmware};
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    std::unique_ptr<UpdatesModel> model;
};

// ---- Opening the page ----------------------------------------------------------------------------------------------

TEST_F(UpdatesModelTest, TheSystemIsReadOnAWorkerAndOperationsWaitForIt)
{
    fake.saved->auto_update = false;
    fake.saved->last_checked = "Yesterday";
    model = std::make_unique<UpdatesModel>(fake.environment());
    model->share_operation_requests(requests);
    model->share_operation_status(status);
    EXPECT_TRUE(model->loading());
    EXPECT_THAT(fake.threads.waiting(), ElementsAre("vorn-updates-load"));
    EXPECT_THAT(fake.backend->calls(), IsEmpty());  // nothing on the UI thread

    request(Op{Op::ReviewRollback{}});
    model->sync();
    EXPECT_TRUE(requests.get().has_value());  // waits in its cell
    EXPECT_TRUE(model->needs_redraw());

    fake.threads.run_all();
    EXPECT_THAT(fake.backend->calls(), ElementsAre("automatic_updates_enabled", "rollback_status", "update_schedule",
                                                   "metered_updates_allowed"));
    EXPECT_THAT(firmware->calls(), ElementsAre("updates", "history"));
    model->sync();
    EXPECT_FALSE(model->loading());
    EXPECT_EQ(model->os_info().name, "Vorn 41");
    EXPECT_TRUE(model->prefs().auto_update);  // the timer's answer overrides the stored preference
    EXPECT_EQ(model->prefs().last_checked, "Yesterday");
    EXPECT_EQ(model->schedule(), "System schedule");
    EXPECT_EQ(model->metered_allowed(), false);
    EXPECT_EQ(model->rollback_image(), RollbackStatus(std::optional<std::string>("quay.io/vorn/os:41.20261201")));
    EXPECT_EQ(model->firmware_updates()->size(), 1U);
    EXPECT_EQ(page_doc::doc_bool(model->document(), auto_key), true);
    EXPECT_EQ(page_doc::doc_text(model->document(), schedule_key), "System schedule");
    EXPECT_EQ(page_doc::doc_bool(model->document(), metered_key), false);
    // The waiting operation was taken once the state was known.
    EXPECT_EQ(status.get(), done(Op{Op::ReviewRollback{}}, "rollback details opened"));
    EXPECT_TRUE(model->review_open());
}

TEST_F(UpdatesModelTest, AReadingThatCannotBeMadeShowsWhatIsNotKnown)
{
    fake.threads.refuse_with = "Resource temporarily unavailable";
    model = std::make_unique<UpdatesModel>(fake.environment());
    model->share_operation_requests(requests);
    model->share_operation_status(status);
    model->sync();
    EXPECT_FALSE(model->loading());
    EXPECT_EQ(model->status_line(), "The update status could not be read: worker could not start");
    EXPECT_EQ(model->schedule(), std::nullopt);
    EXPECT_EQ(model->metered_allowed(), std::nullopt);
    EXPECT_FALSE(model->rollback_image().has_value());
    fake.threads.refuse_with.reset();
    // Every operation still ends.
    EXPECT_EQ(perform(Op{Op::SetSchedule{"Daily"}}),
              failed(Op{Op::SetSchedule{"Daily"}}, "the download schedule is not available on this machine"));
    EXPECT_EQ(perform(Op{Op::SetMetered{true}}),
              failed(Op{Op::SetMetered{true}}, "the metered-network policy is not available on this machine"));
}

TEST_F(UpdatesModelTest, ControlsActOnlyThroughOperationsAndARequestForAnotherPageStays)
{
    open();
    model->document().put_bool(auto_key, false);
    model->document().put_str(schedule_key, "Weekly");
    model->document().put_bool(check_key, true);
    model->sync();
    fake.threads.run_all();
    EXPECT_EQ(page_doc::doc_bool(model->document(), auto_key), true);
    EXPECT_EQ(page_doc::doc_text(model->document(), schedule_key), "System schedule");
    EXPECT_EQ(page_doc::doc_bool(model->document(), check_key), false);
    EXPECT_THAT(fake.backend->changes(), IsEmpty());

    const operations::PendingOperation other{actions::PowerOperation{actions::PowerOperation::SetProfile{"Balanced"}}};
    (void)requests.publish(other);
    model->sync();
    EXPECT_EQ(requests.get(), other);
}

TEST_F(UpdatesModelTest, ARunningOperationThePageDidNotTakeIsPerformedWhenThePageIsIdle)
{
    open();
    // The request was taken by a page that closed before it acted.
    (void)status.publish(OperationStatus::running(operations::operation_key(Op{Op::SetMetered{true}})));
    model->sync();
    fake.threads.run_all();
    model->sync();
    EXPECT_EQ(status.get(), done(Op{Op::SetMetered{true}}, "metered-network policy changed"));
    EXPECT_THAT(fake.backend->changes(), ElementsAre("set_metered_updates true"));
}

// ---- The update check ----------------------------------------------------------------------------------------------

TEST_F(UpdatesModelTest, ACheckStartsOneWorkerAndIsAnsweredOnceWhenItsResultArrives)
{
    open();
    *fake.os_info = OsInfo{.name = "Vorn 41", .staged = "quay.io/vorn/os:42"};
    request(Op{Op::Check{}});
    model->sync();
    model->sync();
    model->sync();
    EXPECT_THAT(fake.threads.waiting(), ElementsAre("vorn-update-check"));
    EXPECT_TRUE(model->check_running());
    EXPECT_TRUE(status.get().is_running(operations::operation_key(Op{Op::Check{}})));

    fake.threads.run_all();
    model->sync();
    EXPECT_EQ(status.get(), done(Op{Op::Check{}}, "update check finished"));
    const auto version = status.version();
    model->sync();
    EXPECT_EQ(status.version(), version);
    EXPECT_THAT(fake.threads.waiting(), IsEmpty());
    EXPECT_THAT(fake.backend->changes(), ElementsAre("start_update"));
    EXPECT_FALSE(model->check_running());
    EXPECT_EQ(model->os_info().staged, "quay.io/vorn/os:42");
    EXPECT_EQ(model->prefs().last_checked, "2026-12-11 09:30");
    EXPECT_EQ(model->applied_prefs().last_checked, "2026-12-11 09:30");
    EXPECT_EQ(fake.saved->last_checked, "2026-12-11 09:30");
    EXPECT_EQ(model->status_line(), std::nullopt);
}

TEST_F(UpdatesModelTest, ASecondCheckWhileOneRunsFailsAndStartsNothing)
{
    open();
    request(Op{Op::Check{}});
    model->sync();
    request(Op{Op::Check{}});
    model->sync();
    EXPECT_EQ(status.get(), failed(Op{Op::Check{}}, "an update check is already running"));
    EXPECT_THAT(fake.threads.waiting(), ElementsAre("vorn-update-check"));
    // The first check's result still updates the page; its operation was already answered.
    fake.threads.run_all();
    model->sync();
    EXPECT_EQ(status.get(), failed(Op{Op::Check{}}, "an update check is already running"));
    EXPECT_EQ(model->prefs().last_checked, "2026-12-11 09:30");
    EXPECT_THAT(fake.backend->changes(), ElementsAre("start_update"));
}

TEST_F(UpdatesModelTest, CheckFailures)
{
    open();
    fake.backend->change([](auto& s) { s.failures["start_update"] = "update service failed; see its system journal"; });
    EXPECT_EQ(perform(Op{Op::Check{}}),
              failed(Op{Op::Check{}}, "Updates could not be checked: update service failed; see its system journal"));
    EXPECT_EQ(model->status_line(), "Updates could not be checked: update service failed; see its system journal");
    EXPECT_EQ(fake.saved->last_checked, "Never");

    request(Op{Op::Check{}});
    model->sync();
    ASSERT_TRUE(fake.threads.drop_next());  // the worker died without an answer
    model->sync();
    EXPECT_EQ(status.get(), failed(Op{Op::Check{}}, "update check worker stopped"));
    EXPECT_EQ(model->status_line(), "Updates could not be checked: worker stopped");

    fake.threads.refuse_with = "Resource temporarily unavailable";
    EXPECT_EQ(perform(Op{Op::Check{}}), failed(Op{Op::Check{}}, "update check worker could not start"));
    EXPECT_EQ(model->status_line(), "Updates could not be checked: worker could not start");
}

TEST_F(UpdatesModelTest, AFailedSaveAfterACheckChangesNothingElse)
{
    open();
    *fake.save_failure = "disk full";
    EXPECT_EQ(perform(Op{Op::Check{}}), done(Op{Op::Check{}}, "update check finished"));
    EXPECT_EQ(model->prefs().last_checked, "2026-12-11 09:30");
    EXPECT_EQ(fake.saved->last_checked, "Never");
}

// ---- Restart, automatic updates, schedule, metered policy --------------------------------------------------------

TEST_F(UpdatesModelTest, ASecondRestartOnTheSamePageFailsWithoutACommand)
{
    open();
    EXPECT_EQ(perform(Op{Op::Restart{}}), done(Op{Op::Restart{}}, "restart command accepted by the system"));
    EXPECT_EQ(perform(Op{Op::Restart{}}),
              failed(Op{Op::Restart{}}, "a restart was already attempted; restart from the system menu"));
    EXPECT_EQ(fake.reboot->restarts(), 1);
    EXPECT_TRUE(model->restart_attempted());
}

TEST_F(UpdatesModelTest, ARefusedRestartSaysWhy)
{
    open();
    fake.reboot->answer = std::unexpected(std::string("Access denied"));
    EXPECT_EQ(perform(Op{Op::Restart{}}),
              failed(Op{Op::Restart{}}, "Restarting into the staged update failed: Access denied"));
    EXPECT_EQ(model->status_line(), "Restarting into the staged update failed: Access denied");
    EXPECT_TRUE(model->status_failed());
}

TEST_F(UpdatesModelTest, AutomaticUpdates)
{
    struct Case {
        std::string_view name;
        bool timer_before;
        std::function<void(testing::FakeUpdateBackend::State&)> system;
        bool wanted;
        OperationStatus outcome;
        std::optional<std::string> status_line;
        bool prefs_after;
        std::vector<std::string> changes;
        bool saved;
    };
    const auto none = [](auto&) {};
    const std::vector<Case> cases = {
        {"already selected", true, none, true,
         done(Op{Op::SetAutomatic{true}}, "automatic-update timer was already selected"), std::nullopt, true, {}, false},
        {"accepted", true, none, false, done(Op{Op::SetAutomatic{false}}, "automatic-update timer changed"),
         std::nullopt, false, {"set_automatic_updates false"}, true},
        {"accepted by the command, not by the timer", true, [](auto& s) { s.timer_ignores_changes = true; }, false,
         failed(Op{Op::SetAutomatic{false}}, "the system did not accept the automatic-update timer change"),
         "Automatic updates are still on. The system did not accept the change.", true, {"set_automatic_updates false"},
         true},
        {"refused", false, [](auto& s) { s.failures["set_automatic_updates"] = "Access denied"; }, true,
         failed(Op{Op::SetAutomatic{true}}, "Automatic updates could not be changed: Access denied"),
         "Automatic updates could not be changed: Access denied", false, {"set_automatic_updates true"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        fake = testing::FakeEnvironment{};
        fake.backend->change([&](auto& s) {
            s.timer = c.timer_before;
            c.system(s);
        });
        open();
        const int saves_before = *fake.saves;
        EXPECT_EQ(perform(Op{Op::SetAutomatic{c.wanted}}), c.outcome);
        EXPECT_EQ(model->status_line(), c.status_line);
        EXPECT_EQ(model->prefs().auto_update, c.prefs_after);
        EXPECT_EQ(model->applied_prefs().auto_update, c.prefs_after);
        EXPECT_EQ(page_doc::doc_bool(model->document(), auto_key), c.prefs_after);
        EXPECT_EQ(fake.backend->changes(), c.changes);
        EXPECT_EQ(*fake.saves > saves_before, c.saved);
    }
}

TEST_F(UpdatesModelTest, ASettingTheSystemDidNotTakeIsTriedAgainWhenAskedAgain)
{
    fake.backend->change([](auto& s) { s.timer_ignores_changes = true; });
    open();
    (void)perform(Op{Op::SetAutomatic{false}});
    fake.backend->change([](auto& s) { s.timer_ignores_changes = false; });
    EXPECT_EQ(perform(Op{Op::SetAutomatic{false}}), done(Op{Op::SetAutomatic{false}}, "automatic-update timer changed"));
    EXPECT_THAT(fake.backend->changes(), ElementsAre("set_automatic_updates false", "set_automatic_updates false"));
}

TEST_F(UpdatesModelTest, DownloadSchedule)
{
    struct Case {
        std::string_view name;
        std::function<void(testing::FakeUpdateBackend::State&)> system;
        std::string wanted;
        OperationStatus outcome;
        std::optional<std::string> status_line;
        std::string shown;  // the schedule and the drop-down afterwards
        std::vector<std::string> changes;
    };
    const auto none = [](auto&) {};
    const std::vector<Case> cases = {
        {"already selected", none, "System schedule",
         done(Op{Op::SetSchedule{"System schedule"}}, "update schedule was already selected"), std::nullopt,
         "System schedule", {}},
        {"outside the three", none, "Monthly", failed(Op{Op::SetSchedule{"Monthly"}}, "unsupported update schedule"),
         std::nullopt, "System schedule", {}},
        {"changed", none, "Weekly", done(Op{Op::SetSchedule{"Weekly"}}, "update schedule changed"), std::nullopt,
         "Weekly", {"set_update_schedule Weekly"}},
        {"refused", [](auto& s) { s.failures["set_update_schedule"] = "vorn-update-policy@schedule-daily.service failed"; },
         "Daily",
         failed(Op{Op::SetSchedule{"Daily"}},
                "Download schedule could not be changed: vorn-update-policy@schedule-daily.service failed"),
         "Download schedule could not be changed: vorn-update-policy@schedule-daily.service failed", "System schedule",
         {"set_update_schedule Daily"}},
        {"timed out after it took effect: the page shows what the system says",
         [](auto& s) {
             s.failures["set_update_schedule"] = "systemctl command failed: systemctl timed out after 30 s";
             s.failed_changes_apply = true;
         },
         "Daily",
         failed(Op{Op::SetSchedule{"Daily"}},
                "Download schedule could not be changed: systemctl command failed: systemctl timed out after 30 s"),
         "Download schedule could not be changed: systemctl command failed: systemctl timed out after 30 s", "Daily",
         {"set_update_schedule Daily"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        fake = testing::FakeEnvironment{};
        fake.backend->change(c.system);
        open();
        EXPECT_EQ(perform(Op{Op::SetSchedule{c.wanted}}), c.outcome);
        EXPECT_EQ(model->status_line(), c.status_line);
        EXPECT_EQ(model->schedule(), c.shown);
        EXPECT_EQ(page_doc::doc_text(model->document(), schedule_key), c.shown);
        EXPECT_EQ(fake.backend->changes(), c.changes);
    }
}

TEST_F(UpdatesModelTest, MeteredNetworkPolicy)
{
    struct Case {
        std::string_view name;
        std::function<void(testing::FakeUpdateBackend::State&)> system;
        bool wanted;
        OperationStatus outcome;
        std::optional<std::string> status_line;
        bool shown;
    };
    const auto none = [](auto&) {};
    const std::vector<Case> cases = {
        {"already selected", none, false, done(Op{Op::SetMetered{false}}, "metered-network policy was already selected"),
         std::nullopt, false},
        {"changed", none, true, done(Op{Op::SetMetered{true}}, "metered-network policy changed"), std::nullopt, true},
        {"refused", [](auto& s) { s.failures["set_metered_updates"] = "Access denied"; }, true,
         failed(Op{Op::SetMetered{true}}, "Metered-network policy could not be changed: Access denied"),
         "Metered-network policy could not be changed: Access denied", false},
        {"timed out after it took effect",
         [](auto& s) {
             s.failures["set_metered_updates"] = "systemctl command failed: systemctl timed out after 30 s";
             s.failed_changes_apply = true;
         },
         true,
         failed(Op{Op::SetMetered{true}},
                "Metered-network policy could not be changed: systemctl command failed: systemctl timed out after 30 s"),
         "Metered-network policy could not be changed: systemctl command failed: systemctl timed out after 30 s", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        fake = testing::FakeEnvironment{};
        fake.backend->change(c.system);
        open();
        EXPECT_EQ(perform(Op{Op::SetMetered{c.wanted}}), c.outcome);
        EXPECT_EQ(model->status_line(), c.status_line);
        EXPECT_EQ(model->metered_allowed(), c.shown);
        EXPECT_EQ(page_doc::doc_bool(model->document(), metered_key), c.shown);
    }
}

TEST_F(UpdatesModelTest, PolicyCommandsRunOnAWorker)
{
    open();
    request(Op{Op::SetSchedule{"Weekly"}});
    model->sync();
    EXPECT_THAT(fake.threads.waiting(), ElementsAre("vorn-update-change"));
    EXPECT_THAT(fake.backend->changes(), IsEmpty());
    EXPECT_TRUE(model->changing());
    EXPECT_TRUE(model->needs_redraw());
    model->sync();  // the page does not perform the running operation a second time while its change runs
    EXPECT_THAT(fake.threads.waiting(), ElementsAre("vorn-update-change"));
    fake.threads.run_all();
    model->sync();
    EXPECT_EQ(status.get(), done(Op{Op::SetSchedule{"Weekly"}}, "update schedule changed"));
    EXPECT_FALSE(model->changing());
}

TEST_F(UpdatesModelTest, AChangeWhoseWorkerCannotStartOrDiesIsAnswered)
{
    open();
    fake.threads.refuse_with = "Resource temporarily unavailable";
    EXPECT_EQ(perform(Op{Op::SetMetered{true}}), failed(Op{Op::SetMetered{true}}, "update change worker could not start"));
    fake.threads.refuse_with.reset();
    request(Op{Op::Rollback{}});
    model->sync();
    ASSERT_TRUE(fake.threads.drop_next());
    model->sync();
    EXPECT_EQ(status.get(), failed(Op{Op::Rollback{}}, "update change worker stopped"));
}

// ---- Rollback ------------------------------------------------------------------------------------------------------

TEST_F(UpdatesModelTest, RollbackReviewThenConfirm)
{
    open();
    EXPECT_EQ(perform(Op{Op::ReviewRollback{}}), done(Op{Op::ReviewRollback{}}, "rollback details opened"));
    EXPECT_TRUE(model->review_open());
    EXPECT_THAT(fake.backend->changes(), IsEmpty());

    request(Op{Op::Rollback{}});
    model->sync();
    EXPECT_THAT(fake.backend->changes(), IsEmpty());  // the 300-second command is on a worker
    fake.threads.run_all();
    model->sync();
    EXPECT_EQ(status.get(), done(Op{Op::Rollback{}}, "previous system image selected for next boot"));
    EXPECT_FALSE(model->review_open());
    EXPECT_EQ(model->status_line(),
              "Done. The previous image is what this machine will boot next. Restart when you are ready \u2014 "
              "nothing has been removed, so this is reversible.");
    EXPECT_FALSE(model->status_failed());
    EXPECT_EQ(model->rollback_image(), RollbackStatus(std::optional<std::string>("quay.io/vorn/os:41.20261210")));
}

TEST_F(UpdatesModelTest, AFailedRollbackKeepsTheReviewOpen)
{
    open();
    (void)perform(Op{Op::ReviewRollback{}});
    fake.backend->change([](auto& s) {
        s.failures["rollback"] = "vorn-deployment-rollback.service failed; see journalctl -u vorn-deployment-rollback.service";
    });
    EXPECT_EQ(perform(Op{Op::Rollback{}}),
              failed(Op{Op::Rollback{}}, "Rolling back failed: vorn-deployment-rollback.service failed; see journalctl "
                                         "-u vorn-deployment-rollback.service"));
    EXPECT_TRUE(model->review_open());
    EXPECT_TRUE(model->status_failed());
}

// ---- Firmware ------------------------------------------------------------------------------------------------------

TEST_F(UpdatesModelTest, FirmwareRefresh)
{
    open();
    fake.backend->change([](auto& s) {
        s.firmware.updates = {webcam_update(), webcam_update()};
        s.firmware.history = {FirmwareHistoryEntry{.device = "Dock", .text = "Installed 2026-12-01"}};
    });
    request(Op{Op::RefreshFirmware{}});
    model->sync();
    EXPECT_THAT(fake.threads.waiting(), ElementsAre("vorn-firmware-refresh"));
    EXPECT_TRUE(model->refresh_running());
    fake.threads.run_all();
    model->sync();
    EXPECT_EQ(status.get(), done(Op{Op::RefreshFirmware{}}, "firmware metadata refreshed"));
    EXPECT_EQ(model->firmware_updates()->size(), 2U);
    EXPECT_EQ(model->firmware_history()->size(), 1U);

    fake.backend->change([](auto& s) { s.failures["refresh_firmware"] = "Failed to connect to daemon"; });
    EXPECT_EQ(perform(Op{Op::RefreshFirmware{}}),
              failed(Op{Op::RefreshFirmware{}}, "Firmware metadata could not be refreshed: Failed to connect to daemon"));
    EXPECT_EQ(model->firmware_updates().error(), "Failed to connect to daemon");
    EXPECT_EQ(model->firmware_history().error(), "Failed to connect to daemon");

    request(Op{Op::RefreshFirmware{}});
    model->sync();
    ASSERT_TRUE(fake.threads.drop_next());
    model->sync();
    EXPECT_EQ(status.get(),
              failed(Op{Op::RefreshFirmware{}}, "Firmware metadata could not be refreshed: firmware refresh worker stopped"));
}

TEST_F(UpdatesModelTest, InstallProgressNeverGoesBackAndTheListsAreReadAgain)
{
    open();
    request(Op{Op::InstallFirmware{}});
    model->sync();
    EXPECT_THAT(firmware->calls(), ElementsAre("updates", "history", "install 08d460be0f1f9f128413f816022a6439e0078018"));
    EXPECT_EQ(model->install_progress(),
              (FirmwareInstallProgress{FirmwareInstallProgress::Progress{"Preparing firmware transaction\u2026", 0}}));

    // A refresh while it installs starts nothing.
    EXPECT_EQ(perform(Op{Op::RefreshFirmware{}}), failed(Op{Op::RefreshFirmware{}}, "firmware work is already in progress"));
    EXPECT_THAT(fake.backend->changes(), IsEmpty());

    (void)status.publish(OperationStatus::running(operations::operation_key(Op{Op::InstallFirmware{}})));
    firmware->send(InstallEvent{InstallEvent::Preparing{1}});
    model->sync();
    EXPECT_EQ(model->install_progress(),
              (FirmwareInstallProgress{FirmwareInstallProgress::Progress{"Preparing 1 update(s)\u2026", 0}}));
    std::vector<unsigned> shown;
    for (const unsigned percent : {40U, 0U, 30U}) {
        firmware->send(InstallEvent{InstallEvent::Progress{"Integrated Webcam: Writing\u2026", percent}});
        model->sync();
        shown.push_back(std::get<FirmwareInstallProgress::Progress>(model->install_progress().value).percent);
    }
    EXPECT_THAT(shown, ElementsAre(40U, 40U, 40U));
    EXPECT_TRUE(model->needs_redraw());

    firmware->change([](auto& s) { s.updates = std::vector<FirmwareUpdate>{}; });
    firmware->send(InstallEvent{InstallEvent::Finished{.restart_required = true}});
    model->sync();
    EXPECT_EQ(status.get(), done(Op{Op::InstallFirmware{}}, "firmware installation finished"));
    EXPECT_EQ(model->status_line(), "Firmware installation finished. Restart to activate the update.");
    EXPECT_FALSE(model->status_failed());
    EXPECT_EQ(model->install_progress(), (FirmwareInstallProgress{FirmwareInstallProgress::Finished{true}}));
    EXPECT_THAT(fake.threads.waiting(), ElementsAre("vorn-firmware-refresh"));  // the lists, read on a worker
    fake.threads.run_all();
    model->sync();
    EXPECT_TRUE(model->firmware_updates()->empty());
    firmware->end_install();
    model->sync();
    EXPECT_FALSE(model->needs_redraw());
}

TEST_F(UpdatesModelTest, InstallFailures)
{
    open();
    firmware->change([](auto& s) { s.install_failure = "there are no firmware upgrades to install"; });
    EXPECT_EQ(perform(Op{Op::InstallFirmware{}}),
              failed(Op{Op::InstallFirmware{}},
                     "Firmware upgrades could not be installed: there are no firmware upgrades to install"));
    firmware->change([](auto& s) { s.install_failure.reset(); });

    request(Op{Op::InstallFirmware{}});
    model->sync();
    firmware->send(InstallEvent{InstallEvent::Failed{"Integrated Webcam: device busy"}});
    model->sync();
    EXPECT_EQ(status.get(),
              failed(Op{Op::InstallFirmware{}}, "Firmware installation failed: Integrated Webcam: device busy"));
    EXPECT_EQ(model->install_progress(), FirmwareInstallProgress{});

    // A stream that closes without saying how the installation ended.
    request(Op{Op::InstallFirmware{}});
    model->sync();
    firmware->send(InstallEvent{InstallEvent::Progress{"Writing\u2026", 50}});
    firmware->end_install();
    model->sync();
    EXPECT_EQ(status.get(), failed(Op{Op::InstallFirmware{}},
                                   "Firmware installation failed: firmware installation ended without a result"));
    EXPECT_FALSE(model->installing());
    // Firmware work is possible again.
    EXPECT_EQ(perform(Op{Op::RefreshFirmware{}}), done(Op{Op::RefreshFirmware{}}, "firmware metadata refreshed"));
}

TEST_F(UpdatesModelTest, AnInstallAfterAFailedQueryReportsThatQuerysError)
{
    firmware->change([](auto& s) { s.updates = std::unexpected(std::string("Failed to connect to daemon")); });
    open();
    EXPECT_EQ(perform(Op{Op::InstallFirmware{}}),
              failed(Op{Op::InstallFirmware{}}, "Firmware upgrades could not be installed: Failed to connect to daemon"));
    EXPECT_THAT(firmware->calls(), ElementsAre("updates", "history"));  // no installation started
}

TEST_F(UpdatesModelTest, AnInstallDuringARefreshIsRefused)
{
    open();
    request(Op{Op::RefreshFirmware{}});
    model->sync();
    request(Op{Op::InstallFirmware{}});
    model->sync();
    EXPECT_EQ(status.get(), failed(Op{Op::InstallFirmware{}}, "firmware work is already in progress"));
    EXPECT_EQ(model->status_line(), "Firmware work is already in progress");
}

// ---- Closing the page ------------------------------------------------------------------------------------------------

TEST_F(UpdatesModelTest, AnOperationUnderWayWhenThePageClosesIsAnsweredFailed)
{
    for (const auto& operation : {Op{Op::Check{}}, Op{Op::RefreshFirmware{}}, Op{Op::InstallFirmware{}},
                                  Op{Op::Rollback{}}, Op{Op::SetSchedule{"Daily"}}}) {
        const std::string key = operations::operation_key(operation);
        SCOPED_TRACE(key);
        fake = testing::FakeEnvironment{};
        open();
        request(operation);
        model->sync();
        ASSERT_TRUE(status.get().is_running(key));
        model.reset();
        EXPECT_EQ(status.get(), OperationStatus::failed(key, std::string(UpdatesModel::closed_message)));
        fake.threads.run_all();  // a worker that ends later answers nobody
        EXPECT_EQ(status.get(), OperationStatus::failed(key, std::string(UpdatesModel::closed_message)));
        firmware->end_install();
    }
}

TEST_F(UpdatesModelTest, AnAnswerForAnOperationNoLongerRunningIsDropped)
{
    open();
    request(Op{Op::SetMetered{true}});
    model->sync();
    (void)status.publish(OperationStatus::failed(operations::operation_key(Op{Op::SetMetered{true}}), "timed out"));
    fake.threads.run_all();
    model->sync();
    EXPECT_EQ(status.get().message, "timed out");
    EXPECT_EQ(model->metered_allowed(), true);  // the change itself is still shown
}

}  // namespace
}  // namespace settings::panes::updates
