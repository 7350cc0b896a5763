// The Device Privacy & Security page in the headless window with the machine read by a fake and the worker run by
// hand: "Checking…" until the answer is in, then each state of the hardware, its use and the security probes as
// the accessibility tree shows them.
#include "panes/permissions/permissions_pane.hpp"

#include "page_doc/page_doc.hpp"
#include "page_workers/testing/manual_threads.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "vorn_ui/headless.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

namespace settings::panes::permissions {
namespace {

using ::testing::Contains;
using ::testing::Not;
using ::testing::StartsWith;
namespace privacy = system_ops::privacy;

class PermissionsPaneTest : public ::testing::Test {
protected:
    void open(PrivacyReport report)
    {
        pane = std::make_unique<PermissionsPane>(PermissionsEnvironment{
            .read = [report] { return report; }, .start_thread = threads.starter()});
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1280, 2400});
        window->frame();
    }
    void settle()
    {
        threads.run_all();
        window->frame();
        window->frame();
    }
    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }

    page_workers::testing::ManualThreads threads;
    page_doc::Document doc;
    std::unique_ptr<PermissionsPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

PrivacyReport plain_report()
{
    return PrivacyReport{.status = {},
                         .security = {.disk_encryption = "Encrypted",
                                      .secure_boot = "Disabled",
                                      .firewall = "Active \u00b7 nftables"}};
}

TEST_F(PermissionsPaneTest, SaysCheckingUntilTheProbesAnswerThenShowsTheirAnswers)
{
    open(plain_report());
    EXPECT_TRUE(pane->checking());
    EXPECT_THAT(lines(), Contains("label Checking\u2026"));
    EXPECT_THAT(lines(), Not(Contains("label Encrypted")));
    EXPECT_THAT(threads.waiting(), ::testing::ElementsAre("vorn-privacy-read"));
    // The cards that need no probe are there from the start, in their order.
    EXPECT_THAT(lines(), Contains("label This device"));
    EXPECT_THAT(lines(), Contains("button Open current workspace access"));
    EXPECT_THAT(lines(), Contains("label Where enforcement happens"));

    settle();
    EXPECT_FALSE(pane->checking());
    const auto access = lines();
    EXPECT_THAT(access, Not(Contains("label Checking\u2026")));
    for (const char* expected : {"label Encrypted", "label Disabled", "label Active \u00b7 nftables",
                                 "label Not available", "label Unavailable",
                                 "label No application is using the camera or microphone now.",
                                 "label Workspace access status unavailable"}) {
        EXPECT_THAT(access, Contains(expected)) << expected;
    }
    // "Where enforcement happens" stays last.
    const auto last = std::find(access.rbegin(), access.rend(), "label Where enforcement happens");
    ASSERT_NE(last, access.rend());
    EXPECT_EQ(std::find(access.begin(), access.end(), "label Workspace access status unavailable") <
                  last.base() - 1,
              true);
}

TEST_F(PermissionsPaneTest, HardwareRowsAndUsesFollowTheReport)
{
    struct Case {
        const char* name;
        privacy::PrivacyStatus status;
        std::vector<std::string> shown;
    };
    const std::vector<Case> cases{
        {"camera without a switch, microphone listening",
         {.camera_present = true, .microphone_mute = privacy::MicrophoneMute::NotMuted},
         {"label Present \u00b7 no kill switch reported", "label Listening allowed"}},
        {"blocked switches, muted",
         {.camera_present = true,
          .microphone_mute = privacy::MicrophoneMute::Muted,
          .camera_switch = privacy::KillSwitch::BlockedByHardware,
          .microphone_switch = privacy::KillSwitch::BlockedBySoftware},
         {"label Blocked by hardware", "label Blocked by software", "label Muted"}},
        {"two applications in use",
         {.camera_present = true,
          .camera_switch = privacy::KillSwitch::Available,
          .active_uses = {{"Meeting", privacy::PrivacyDevice::Camera},
                          {"Recorder", privacy::PrivacyDevice::Microphone}}},
         {"label Available", "label Meeting", "label Using camera", "label Recorder", "label Using microphone"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto report = plain_report();
        report.status = c.status;
        open(report);
        settle();
        const auto access = lines();
        for (const auto& expected : c.shown) {
            EXPECT_THAT(access, Contains(expected)) << expected;
        }
        if (!c.status.active_uses.empty()) {
            EXPECT_THAT(access, Not(Contains("label No application is using the camera or microphone now.")));
        }
    }
}

TEST_F(PermissionsPaneTest, WorkspaceGrantsAreSummarisedPerWorkspaceAndApp)
{
    const auto record = workspace_access::decode_tree_view(R"({"workspaces":[
        {"name":"Studio","capabilities":[
          {"subject":{"Principal":{"App":"so.vorn.notes"}},"scope":{"FsPath":"/home/ana/Notes"},"effect":"Grant","verb":"Write"},
          {"subject":{"Principal":{"App":"so.vorn.meet"}},"scope":{"Device":"camera"},"effect":"Grant","verb":"Read",
           "expiry":"EndOfSession"},
          {"subject":{"Principal":{"App":"so.vorn.meet"}},"scope":{"Device":"bluetooth"},"effect":"Grant","verb":"Read"}]},
        {"name":"Only restricted","capabilities":[
          {"subject":{"Principal":{"App":"so.vorn.meet"}},"scope":{"Device":"microphone"},"effect":"Restrict","verb":"Read"}]}]})");
    ASSERT_TRUE(record) << record.error();
    auto report = plain_report();
    report.grants = workspace_access::grant_groups(*record);
    open(report);
    settle();
    const auto access = lines();
    for (const char* expected : {"label 2 grants across 1 workspace", "label Studio", "label so.vorn.meet",
                                 "label so.vorn.notes", "label Capture video", "status Until log out", "status Camera",
                                 "label /home/ana/Notes  \u00b7  read & write", "status Always"}) {
        EXPECT_THAT(access, Contains(expected)) << expected;
    }
    EXPECT_THAT(access, Not(Contains("label Only restricted")));
    EXPECT_THAT(access, Not(Contains("label Workspace access status unavailable")));

    report.grants = std::vector<workspace_access::WorkspaceGrants>{};
    open(report);
    settle();
    EXPECT_THAT(lines(), Contains("label No workspace access grants"));
    EXPECT_THAT(lines(), Contains("label Where enforcement happens"));
}

TEST_F(PermissionsPaneTest, AWorkerThatEndsWithoutAnswerLeavesEveryProbeUnavailable)
{
    open(plain_report());
    ASSERT_TRUE(threads.drop_next());
    window->frame();
    window->frame();
    EXPECT_FALSE(pane->checking());
    const auto access = lines();
    EXPECT_EQ(std::ranges::count(access, std::string("label Unavailable")), 4) << "three probes and the mute";
    EXPECT_THAT(access, Not(Contains(StartsWith("label Not encrypted"))));
    EXPECT_THAT(access, Not(Contains(StartsWith("label Not active"))));
}

TEST_F(PermissionsPaneTest, AThreadThatCannotStartIsSaidAsUnavailableNotLeftChecking)
{
    threads.refuse_with = "no threads left";
    open(plain_report());
    window->frame();
    EXPECT_FALSE(pane->checking());
    EXPECT_THAT(lines(), Not(Contains("label Checking\u2026")));
    EXPECT_THAT(lines(), Contains("label Unavailable"));
}

}  // namespace
}  // namespace settings::panes::permissions
