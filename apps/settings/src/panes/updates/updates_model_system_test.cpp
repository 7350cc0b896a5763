// The model over the program's own environment: real worker threads, the real backend, probe and settings file,
// with systemctl, bootc, journalctl and fwupdmgr on PATH printing what the real tools print on a machine where the
// user may not read bootc's status.
#include "panes/updates/updates_model.hpp"

#include "prefs/settings_file.hpp"
#include "system_ops/test_tools.hpp"
#include "test_support/temp_home.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace settings::panes::updates {
namespace {

using namespace std::chrono_literals;
using operations::OperationStatus;
using Op = UpdateOperation;

class UpdatesSystemTest : public system_ops::testing::FakeTools {
protected:
    void SetUp() override
    {
        FakeTools::SetUp();
        tool("bootc", {{.args = "status --format json", .err = "error: This command requires root privileges\n", .code = 1}});
        tool("journalctl", {{.args = "*", .out = "-- No entries --\n"}});
        tool("systemctl", {{.args = "is-enabled bootc-fetch-apply-updates.timer", .out = "enabled\n"},
                           {.args = "is-enabled vorn-rollback-confirm.timer", .out = "disabled\n", .code = 1},
                           {.args = "start --wait vorn-deployment-update.service"},
                           {.args = "disable --now bootc-fetch-apply-updates.timer",
                            .err = "Failed to disable unit: Access denied\n",
                            .code = 1}});
        tool("fwupdmgr", {{.args = "get-updates --json", .out = R"({"Devices":[]})"},
                          {.args = "get-history --json",
                           .out = R"({"Error":{"Domain":"FwupdError","Code":9,"Message":"No history"}})",
                           .code = 2}});
    }

    // Syncs until `done` holds (the workers are real threads), at most a few seconds.
    template <class Done>
    bool sync_until(UpdatesModel& model, Done done)
    {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            model.sync();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    OperationStatus perform(UpdatesModel& model, const UpdateOperation& operation)
    {
        const std::string key = operations::operation_key(operation);
        (void)status.publish(OperationStatus::running(key));
        (void)requests.publish(operations::PendingOperation{operation});
        EXPECT_TRUE(sync_until(model, [&] { return !status.get().is_running(key); })) << key;
        return status.get();
    }

    test_support::ConfigHome home{"vorn-updates"};
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
};

TEST_F(UpdatesSystemTest, AMachineWhereBootcCannotBeReadSaysSoAndTheOperationsWork)
{
    UpdatesModel model(UpdatesEnvironment::system());
    model.share_operation_requests(requests);
    model.share_operation_status(status);
    ASSERT_TRUE(sync_until(model, [&] { return !model.loading(); }));

    EXPECT_FALSE(model.os_info().name.empty());
    EXPECT_EQ(model.os_info().image_error, "error: This command requires root privileges");
    EXPECT_EQ(model.rollback_image(), RollbackStatus(std::unexpected("error: This command requires root privileges")));
    EXPECT_EQ(model.timer_state(), true);
    EXPECT_EQ(model.service_status().protection, "Rollback protection state is not reported");
    EXPECT_TRUE(model.service_status().journal_lines.empty());
    ASSERT_TRUE(model.firmware_updates().has_value());
    EXPECT_TRUE(model.firmware_updates()->empty());
    ASSERT_TRUE(model.firmware_history().has_value());
    EXPECT_TRUE(model.firmware_history()->empty());

    EXPECT_EQ(perform(model, Op{Op::Check{}}),
              OperationStatus::done(operations::operation_key(Op{Op::Check{}}), "update check finished"));
    const auto stored = prefs::load_settings_file().updates;
    EXPECT_EQ(stored.last_checked, model.prefs().last_checked);
    EXPECT_NE(stored.last_checked, "Never");

    EXPECT_EQ(perform(model, Op{Op::SetAutomatic{false}}),
              OperationStatus::failed(operations::operation_key(Op{Op::SetAutomatic{false}}),
                                      "Automatic updates could not be changed: Failed to disable unit: Access denied"));
    EXPECT_TRUE(model.prefs().auto_update);
}

}  // namespace
}  // namespace settings::panes::updates
