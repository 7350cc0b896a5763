#include "panes/updates/update_backend.hpp"

#include "panes/updates/testing/bootc_samples.hpp"

#include "cmd_runner/fake_runner.hpp"
#include "system_ops/test_tools.hpp"
#include "system_ops/testing/fake_firmware.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

namespace settings::panes::updates {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(UpdatePolicyTest, LinesSplitAtTheFirstEqualsSignAndTheLastWins)
{
    struct Case {
        std::string_view text;
        std::string schedule;
        bool metered;
    };
    const std::vector<Case> cases = {
        {"", "System schedule", false},
        {"schedule=daily\nmetered=allow\n", "Daily", true},
        {"  schedule  =  weekly  \n", "Weekly", false},
        {"schedule=Weekly\n", "System schedule", false},            // values compare exactly
        {"schedule=weekly\r\nmetered=allow\r\n", "Weekly", true},   // a carriage return before the line feed
        {"metered=allow\nmetered=avoid\n", "System schedule", false},
        {"metered=avoid\nmetered=allow", "System schedule", true},  // no line feed after the last line
        {"# schedule=daily\nschedule weekly\n", "System schedule", false},  // no comments; no "=" is no pair
        {"schedule=daily=weekly\n", "System schedule", false},     // the value is "daily=weekly"
        {"schedule=\n", "System schedule", false},
    };
    for (const auto& c : cases) {
        const UpdatePolicy policy = parse_update_policy(c.text);
        EXPECT_EQ(schedule_label_of(policy), c.schedule) << c.text;
        EXPECT_EQ(metered_allowed_by(policy), c.metered) << c.text;
    }
    EXPECT_EQ(parse_update_policy("# schedule=daily\n").at("# schedule"), "daily");
    EXPECT_EQ(parse_update_policy("schedule=daily=weekly").at("schedule"), "daily=weekly");
}

TEST(UpdatePolicyTest, ScheduleLabelsMapToTheirPolicyActions)
{
    EXPECT_EQ(policy_action_for("System schedule"), "schedule-system");
    EXPECT_EQ(policy_action_for("Daily"), "schedule-daily");
    EXPECT_EQ(policy_action_for("Weekly"), "schedule-weekly");
    EXPECT_EQ(policy_action_for("weekly"), std::nullopt);
    EXPECT_EQ(policy_action_for("Monthly"), std::nullopt);
}

TEST(BootcStatusTest, ThePreviousImageAsBootcDescribesIt)
{
    struct Case {
        std::string_view name;
        std::string json;
        RollbackStatus expected;
    };
    const std::vector<Case> cases = {
        {"rollback with an image reference", testing::bootc_status(testing::BootcImages{.rollback = true}),
         std::optional<std::string>("quay.io/vorn/os:41")},
        {"no rollback member", testing::bootc_status({}), std::optional<std::string>()},
        {"rollback null", R"({"status":{"rollback":null}})", std::optional<std::string>()},
        {"no status", R"({"apiVersion":"org.containers.bootc/v1"})", std::optional<std::string>()},
        {"only a version", R"({"status":{"rollback":{"image":{"version":"41.20261101.0"}}}})",
         std::optional<std::string>("41.20261101.0")},
        {"an object without image data", R"({"status":{"rollback":{"ostree":{"checksum":"ab"}}}})",
         std::optional<std::string>("the previous image")},
        {"not JSON", "status: rollback", std::unexpected(std::string("bootc printed a status that is not JSON"))},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rollback_image_of(c.json), c.expected) << c.name;
    }
}

TEST(CommandRulesTest, EnabledStateIgnoresTheExitStatus)
{
    EXPECT_EQ(enabled_state("enabled\n"), true);
    EXPECT_EQ(enabled_state("enabled-runtime\n"), true);
    EXPECT_EQ(enabled_state("disabled\n"), false);
    EXPECT_EQ(enabled_state("masked\n"), std::nullopt);
    EXPECT_EQ(enabled_state(""), std::nullopt);
}

// ---- The real backend against fake systemctl and bootc on PATH ----------------------------------------------------

class UpdateBackendToolTest : public system_ops::testing::FakeTools {
protected:
    void SetUp() override
    {
        FakeTools::SetUp();
        policy_file_ = dir_ / "update-policy";
        backend.emplace(cmd_runner::system_runner(), policy_file_);
    }

    std::filesystem::path policy_file_;
    std::optional<SystemUpdateBackend> backend;
};

TEST_F(UpdateBackendToolTest, TheAutomaticUpdateTimerIsAskedAndChanged)
{
    tool("systemctl", {{.args = "is-enabled bootc-fetch-apply-updates.timer", .out = "enabled-runtime\n", .code = 1},
                       {.args = "enable --now bootc-fetch-apply-updates.timer"},
                       {.args = "disable --now bootc-fetch-apply-updates.timer",
                        .err = "\x1b[31mFailed to disable unit: Access denied\x1b[0m\n",
                        .code = 1}});
    EXPECT_EQ(backend->automatic_updates_enabled(), true);
    EXPECT_TRUE(backend->set_automatic_updates(true).has_value());
    EXPECT_EQ(backend->set_automatic_updates(false).error(), "Failed to disable unit: Access denied");
    EXPECT_THAT(call_lines(), ElementsAre("systemctl is-enabled bootc-fetch-apply-updates.timer",
                                          "systemctl enable --now bootc-fetch-apply-updates.timer",
                                          "systemctl disable --now bootc-fetch-apply-updates.timer"));
}

TEST_F(UpdateBackendToolTest, QueriesFallBackWhenTheSystemDoesNotSay)
{
    // What systemd 252 prints on this Debian machine, which has no such timer.
    tool("systemctl", {{.args = "is-enabled bootc-fetch-apply-updates.timer",
                        .err = "Failed to get unit file state for bootc-fetch-apply-updates.timer: No such file or "
                               "directory\n",
                        .code = 1}});
    EXPECT_EQ(backend->automatic_updates_enabled(), std::nullopt);
    EXPECT_EQ(backend->update_schedule(), "System schedule");  // no policy file
    EXPECT_FALSE(backend->metered_updates_allowed());
    std::ofstream(policy_file_) << "schedule = weekly\nmetered=allow\n";
    EXPECT_EQ(backend->update_schedule(), "Weekly");
    EXPECT_TRUE(backend->metered_updates_allowed());
}

TEST_F(UpdateBackendToolTest, FailedUnitsGiveTheirErrorOrTheirOwnSentence)
{
    tool("systemctl",
         {{.args = "enable --now bootc-fetch-apply-updates.timer", .code = 1},
          {.args = "start --wait vorn-deployment-rollback.service", .err = "  \n", .code = 1},
          {.args = "start --wait vorn-deployment-update.service", .code = 3},
          {.args = "start --wait vorn-update-policy@schedule-weekly.service", .code = 1},
          {.args = "start --wait vorn-update-policy@metered-avoid.service",
           .err = "Job for vorn-update-policy@metered-avoid.service failed.\n",
           .code = 1},
          {.args = "start --wait vorn-update-policy@metered-allow.service"}});
    EXPECT_EQ(backend->set_automatic_updates(true).error(), "systemctl enable bootc-fetch-apply-updates.timer failed");
    EXPECT_EQ(backend->rollback().error(),
              "vorn-deployment-rollback.service failed; see journalctl -u vorn-deployment-rollback.service");
    EXPECT_EQ(backend->start_update().error(), "update service failed; see its system journal");
    EXPECT_EQ(backend->set_update_schedule("Weekly").error(), "vorn-update-policy@schedule-weekly.service failed");
    EXPECT_EQ(backend->set_metered_updates(false).error(), "Job for vorn-update-policy@metered-avoid.service failed.");
    EXPECT_TRUE(backend->set_metered_updates(true).has_value());
}

TEST_F(UpdateBackendToolTest, AnUnknownScheduleRunsNothing)
{
    tool("systemctl", {});
    EXPECT_EQ(backend->set_update_schedule("Monthly").error(), "unknown update schedule");
    EXPECT_EQ(backend->set_update_schedule("weekly").error(), "unknown update schedule");
    auto runner = cmd_runner::system_runner();
    EXPECT_EQ(run_update_policy_action(*runner, "schedule-weekly; reboot").error(), "invalid update policy action");
    EXPECT_TRUE(call_lines().empty());
}

TEST_F(UpdateBackendToolTest, BootcStatusWithAndWithoutAPreviousImage)
{
    tool("bootc", {{.args = "status --format json", .out = testing::bootc_status({.staged = true, .rollback = true})}});
    EXPECT_EQ(backend->rollback_status(), RollbackStatus(std::optional<std::string>("quay.io/vorn/os:41")));
    tool("bootc", {{.args = "status --format json", .out = testing::bootc_status({})}});
    EXPECT_EQ(backend->rollback_status(), RollbackStatus(std::optional<std::string>()));
}

TEST_F(UpdateBackendToolTest, ABootcThatCannotBeReadIsNotTakenForNoPreviousImage)
{
    // Stock bootc refuses its status to a user without administrator rights.
    tool("bootc", {{.args = "status --format json", .err = "error: This command requires root privileges\n", .code = 1}});
    EXPECT_EQ(backend->rollback_status(), RollbackStatus(std::unexpected("error: This command requires root privileges")));
    tool("bootc", {{.args = "status --format json", .code = 1}});
    EXPECT_EQ(backend->rollback_status(), RollbackStatus(std::unexpected("bootc status ended with exit status 1")));

    // This Debian machine has no bootc at all.
    std::filesystem::remove(dir_ / "bin" / "bootc");
    const char* path = std::getenv("PATH");
    const std::string saved = path != nullptr ? path : "";
    ::setenv("PATH", (dir_ / "bin").c_str(), 1);
    const auto missing = backend->rollback_status();
    ::setenv("PATH", saved.c_str(), 1);
    ASSERT_FALSE(missing.has_value());
    EXPECT_THAT(missing.error(), ::testing::StartsWith("bootc command failed: "));
}

TEST_F(UpdateBackendToolTest, ARefusedRestartKeepsItsEmptyError)
{
    tool("systemctl", {{.args = "reboot", .code = 1}});
    SystemRebootControl reboot;
    EXPECT_EQ(reboot.restart(), Status(std::unexpected(std::string())));
    tool("systemctl", {{.args = "reboot"}});
    EXPECT_TRUE(reboot.restart().has_value());
}

TEST(UpdateBackendLimitsTest, EachCommandHasItsTimeLimitAndOutputCap)
{
    auto runner = std::make_shared<cmd_runner::FakeRunner>();
    SystemUpdateBackend backend(runner, "/nonexistent/update-policy");
    SystemRebootControl reboot(runner);
    (void)backend.automatic_updates_enabled();
    (void)backend.set_automatic_updates(true);
    (void)backend.rollback_status();
    (void)backend.rollback();
    (void)backend.set_update_schedule("Daily");
    (void)backend.set_metered_updates(true);
    (void)backend.start_update();
    (void)reboot.restart();
    std::vector<std::pair<std::string, std::chrono::milliseconds>> seen;
    for (const auto& call : runner->calls()) {
        EXPECT_EQ(call.output_limit, 1024U * 1024U);
        EXPECT_FALSE(call.input.has_value());
        seen.emplace_back(call.program + " " + call.args.front(), call.time_limit);
    }
    EXPECT_THAT(seen, ElementsAre(std::pair{std::string("systemctl is-enabled"), 10s},
                                  std::pair{std::string("systemctl enable"), 30s},
                                  std::pair{std::string("bootc status"), 10s},
                                  std::pair{std::string("systemctl start"), 300s},
                                  std::pair{std::string("systemctl start"), 30s},
                                  std::pair{std::string("systemctl start"), 30s},
                                  std::pair{std::string("systemctl start"), 1800s},
                                  std::pair{std::string("systemctl reboot"), 30s}));
}

TEST(UpdateBackendLimitsTest, ARunnerErrorNamesTheProgram)
{
    auto runner = std::make_shared<cmd_runner::FakeRunner>([](const cmd_runner::Command&) {
        return cmd_runner::FakeRunner::failed(cmd_runner::ErrorKind::TimedOut, "systemctl timed out after 300 s");
    });
    SystemUpdateBackend backend(runner, "/nonexistent/update-policy");
    EXPECT_EQ(backend.rollback().error(), "systemctl command failed: systemctl timed out after 300 s");
}

TEST(UpdateBackendFirmwareTest, RefreshReadsBothListsAndStopsAtTheFirstError)
{
    auto firmware = std::make_shared<system_ops::testing::FakeFirmware>();
    system_ops::ScopedCurrent<system_ops::firmware::FirmwareService> guard(firmware);
    firmware->change([](auto& s) {
        s.updates = std::vector{system_ops::firmware::FirmwareUpdate{.device_id = "0123456789", .device = "Dock"}};
    });
    SystemUpdateBackend backend(std::make_shared<cmd_runner::FakeRunner>());
    const auto lists = backend.refresh_firmware();
    ASSERT_TRUE(lists.has_value()) << lists.error();
    EXPECT_EQ(lists->updates.size(), 1U);
    EXPECT_THAT(firmware->calls(), ElementsAre("refresh", "updates", "history"));

    firmware->change([](auto& s) { s.refresh = std::unexpected(std::string("Failed to download metadata")); });
    EXPECT_EQ(backend.refresh_firmware().error(), "Failed to download metadata");
    EXPECT_EQ(firmware->calls().size(), 4U);  // nothing read after the failed refresh
}

}  // namespace
}  // namespace settings::panes::updates
