#include "system_ops/tool_intent.hpp"
#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace system_ops::tool_intent {
namespace {

using ::testing::ElementsAre;

class OpenToolTest : public system_ops::testing::FakeTools {
protected:
    // A fake tool that records its arguments and ends at once.
    void fake(const std::string& name) { tool(name, {{.args = "*"}}); }
};

TEST_F(OpenToolTest, EachIntentStartsItsToolWithItsArguments)
{
    struct Case {
        ToolIntent intent;
        std::vector<std::string> call;
    };
    const std::vector<Case> cases = {
        {Tool::IdentityBackup, {"vorn-identity-backup"}},
        {Tool::WorkspaceAccess, {"vorn-workspace-settings", "--section=access"}},
        {Tool::WorkspaceAppRules, {"vorn-workspace-settings", "--section=apps"}},
        {Tool::Disks, {"vorn-disks"}},
        {Tool::Backups, {"vorn-backups"}},
        {VpnIntent::general(), {"vorn-vessix"}},
        // The profile arrives as one argument, blanks and a leading dash included.
        {VpnIntent::for_profile("Office VPN (Berlin)"), {"vorn-vessix", "--profile=Office VPN (Berlin)"}},
        {VpnIntent::for_profile("-rf *"), {"vorn-vessix", "--profile=-rf *"}},
    };
    for (const char* name : {"vorn-identity-backup", "vorn-workspace-settings", "vorn-disks", "vorn-backups",
                             "vorn-vessix"}) {
        fake(name);
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(open_tool(cases[i].intent).has_value());
        // One tool at a time, so the calls are recorded in order.
        ASSERT_TRUE(wait_for_calls(i + 1));
        EXPECT_EQ(calls().at(i), cases[i].call);
    }
    EXPECT_EQ(static_cast<int>(Tool::IdentityBackup), 4);
    EXPECT_EQ(VpnIntent::general().scope, 0);
    EXPECT_EQ(VpnIntent::for_profile("Office").scope, 1);
}

TEST_F(OpenToolTest, OpeningReturnsWhileTheToolRuns)
{
    const auto done = dir_ / "finished";
    tool("vorn-disks", {{.args = "*", .shell = "sleep 2; touch '" + done.string() + "'"}});
    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(open_tool(Tool::Disks).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    ASSERT_TRUE(wait_for_calls(1));
    EXPECT_FALSE(std::filesystem::exists(done));
}

TEST_F(OpenToolTest, AMissingToolOrABadVpnIntentIsAClearError)
{
    EXPECT_EQ(open_tool(Tool::IdentityBackup),
              Status(std::unexpected("Identity backup is not installed (vorn-identity-backup was not found).")));
    EXPECT_EQ(open_tool(VpnIntent::for_profile("Office")),
              Status(std::unexpected("Vessix VPN is not installed (vorn-vessix was not found).")));
    // A tool that exists but cannot be run.
    write(dir_ / "bin" / "vorn-backups", "#!/bin/sh\n");
    std::filesystem::permissions(dir_ / "bin" / "vorn-backups", std::filesystem::perms::owner_read);
    const Status denied = open_tool(Tool::Backups);
    ASSERT_FALSE(denied.has_value());
    EXPECT_TRUE(denied.error().starts_with("Could not open Backups: ")) << denied.error();

    EXPECT_FALSE(is_installed(VpnIntent::general()));
    fake("vorn-vessix");
    EXPECT_TRUE(is_installed(VpnIntent::general()));
    EXPECT_FALSE(open_tool(VpnIntent{.profile = std::nullopt, .scope = 1}).has_value());
    EXPECT_FALSE(open_tool(VpnIntent{.profile = "Office", .scope = 0}).has_value());
    EXPECT_FALSE(open_tool(VpnIntent::for_profile("")).has_value());
    EXPECT_FALSE(open_tool(VpnIntent::for_profile(std::string("a\0b", 3))).has_value());
    EXPECT_FALSE(open_tool(static_cast<Tool>(0)).has_value());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(calls().empty()) << "a refused intent starts nothing";
}

}  // namespace
}  // namespace system_ops::tool_intent
