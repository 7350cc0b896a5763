// The strict decoder of the workspace access record and the grant rows the privacy page lists from it.
#include "workspace_access/workspace_access.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace workspace_access {
namespace {

std::string app_grant(std::string_view app, std::string_view scope, std::string_view extra = {})
{
    return fmt::format(R"({{"subject":{{"Principal":{{"App":"{}"}}}},"scope":{},"effect":"Grant","verb":"Read"{}}})",
                       app, scope, extra);
}

std::string record(std::string_view name, const std::vector<std::string>& caps)
{
    std::string list;
    for (const auto& cap : caps) {
        list += (list.empty() ? "" : ",") + cap;
    }
    return fmt::format(R"({{"workspaces":[{{"name":"{}","capabilities":[{}]}}]}})", name, list);
}

TEST(WorkspaceAccessDecoder, AcceptsWhatTheDesktopWritesAndRefusesTheRest)
{
    struct Case {
        const char* name;
        std::string text;
        bool decodes;
    };
    const std::vector<Case> cases{
        {"a workspace with only a name", R"({"workspaces":[{"name":"Home"}]})", true},
        {"members the settings do not read", R"({"workspaces":[],"version":3})", true},
        {"no workspaces member", R"({"spaces":[]})", false},
        {"records as arrays", R"({"workspaces":[["Home",[[{"Principal":{"App":"a"}},{"FsPath":"/x"},"Grant","Write",null]]]]})",
         true},
        {"the whole record as an array", R"([[]])", true},
        {"lower-case effect", record("W", {R"({"subject":{"Principal":{"App":"a"}},"scope":"Workspace","effect":"grant","verb":"Read"})"}), false},
        {"an unknown member of an override", record("W", {app_grant("a", R"({"Device":"camera"})", R"(,"note":"x")")}),
         false},
        {"a unit variant as an object with null", record("W", {app_grant("a", R"({"Workspace":null})")}), true},
        {"an enum object with two members", record("W", {app_grant("a", R"({"Device":"camera","NetHost":"x"})")}),
         false},
        {"an unknown scope", record("W", {app_grant("a", R"({"Printer":"x"})")}), false},
        {"a role subject", record("W", {R"({"subject":{"Role":"Owner"},"scope":"Workspace","effect":"Grant","verb":"Admin"})"}), true},
        {"a user key of 32 bytes",
         record("W", {R"({"subject":{"User":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,255]},"scope":"Workspace","effect":"Grant","verb":"Read"})"}),
         true},
        {"a user key of 31 bytes",
         record("W", {R"({"subject":{"User":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31]},"scope":"Workspace","effect":"Grant","verb":"Read"})"}),
         false},
        {"a user key byte over 255",
         record("W", {R"({"subject":{"User":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,256]},"scope":"Workspace","effect":"Grant","verb":"Read"})"}),
         false},
        {"an action scope", record("W", {app_grant("a", R"({"Action":{"app":"b","action":"share"}})")}), true},
        {"an action scope missing its action", record("W", {app_grant("a", R"({"Action":{"app":"b"}})")}), false},
        {"a resource instance that is not a UUID", record("W", {app_grant("a", R"({"ResourceInstance":"nope"})")}),
         false},
        {"a resource instance UUID",
         record("W", {app_grant("a", R"({"ResourceInstance":"67e55044-10b1-426f-9247-bb680e5fe0c8"})")}), true},
        {"a negative expiry time", record("W", {app_grant("a", "\"Workspace\"", R"(,"expiry":{"AtUnix":-1})")}), false},
        {"not JSON", "{\"workspaces\":", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = decode_tree_view(c.text);
        EXPECT_EQ(decoded.has_value(), c.decodes) << (decoded ? "" : decoded.error());
    }
}

TEST(WorkspaceAccessDecoder, DefaultsAndErrorsNameWhatWasExpected)
{
    const auto decoded = decode_tree_view(record("W", {app_grant("a", "\"Workspace\"", R"(,"id":null)")}));
    ASSERT_TRUE(decoded) << decoded.error();
    const auto& cap = decoded->workspaces.at(0).capabilities.at(0);
    EXPECT_EQ(cap.id, "");
    EXPECT_EQ(cap.expiry.kind, ExpiryKind::Never);
    EXPECT_EQ(cap.subject, Principal(Subject{SubjectKind::App, "a"}));
    EXPECT_FALSE(cap.granted_by.has_value());

    const auto unknown = decode_tree_view(record("W", {app_grant("a", "\"Workspace\"", R"(,"extra":1)")}));
    ASSERT_FALSE(unknown);
    EXPECT_THAT(unknown.error(), ::testing::HasSubstr("unknown field `extra`, expected one of `subject`"));
    EXPECT_THAT(unknown.error(), ::testing::HasSubstr("`granted_by`"));
}

TEST(WorkspaceGrants, RowsAreGroupedByWorkspaceAndAppAndSkipWhatIsNotShown)
{
    const std::string text = fmt::format(
        R"({{"workspaces":[{{"name":"  ","capabilities":[{},{},{},{},{}]}},{{"name":"Team","capabilities":[{},{}]}},{{"name":"Empty","capabilities":[{}]}}]}})",
        app_grant("zeta", R"({"NetHost":"*"})", R"(,"expiry":"AfterUse")"),
        app_grant("alpha", R"({"FsPath":"/home/ana/Notes"})", R"(,"expiry":{"AtUnix":1700000000})"),
        app_grant("alpha", R"({"Device":"bluetooth"})"),
        R"({"subject":{"Principal":{"Person":"ana"}},"scope":{"Device":"camera"},"effect":"Grant","verb":"Read"})",
        R"({"subject":{"Principal":{"App":"beta"}},"scope":{"Device":"camera"},"effect":"Restrict","verb":"Read"})",
        app_grant("cam", R"({"Device":"camera"})", R"(,"expiry":"EndOfSession")"),
        app_grant("cam", R"({"Device":"remote-desktop"})"),
        app_grant("x", R"({"App":"y"})"));
    const auto decoded = decode_tree_view(text);
    ASSERT_TRUE(decoded) << decoded.error();
    const auto groups = grant_groups(*decoded);
    ASSERT_EQ(groups.size(), 2U) << "a workspace holding only skipped overrides is not listed";
    EXPECT_EQ(groups[0].title, "Workspace");
    ASSERT_EQ(groups[0].apps.size(), 2U);
    EXPECT_EQ(groups[0].apps.begin()->first, "alpha") << "apps in identifier order";
    EXPECT_THAT(groups[0].apps.at("alpha"),
                ::testing::ElementsAre(GrantRow{"/home/ana/Notes  \u00b7  read-only", "Files", "Temporary",
                                                GrantKind::Files}));
    EXPECT_THAT(groups[0].apps.at("zeta"),
                ::testing::ElementsAre(GrantRow{"Any host", "Network", "Once", GrantKind::Network}));
    EXPECT_THAT(groups[1].apps.at("cam"),
                ::testing::ElementsAre(GrantRow{"Capture video", "Camera", "Until log out", GrantKind::Camera},
                                       GrantRow{"Inject pointer & keyboard", "Remote control", "Always",
                                                GrantKind::RemoteControl}));
    EXPECT_EQ(grants_summary(groups), "4 grants across 2 workspaces");
    EXPECT_EQ(grants_summary({groups[0]}), "2 grants across 1 workspace");

    const auto one = decode_tree_view(record("Solo", {app_grant("a", R"({"Device":"microphone"})")}));
    ASSERT_TRUE(one);
    EXPECT_EQ(grants_summary(grant_groups(*one)), "1 grant across 1 workspace");
    const auto restricted = decode_tree_view(
        record("R", {R"({"subject":{"Principal":{"App":"a"}},"scope":{"Device":"camera"},"effect":"Restrict","verb":"Read"})"}));
    ASSERT_TRUE(restricted);
    EXPECT_TRUE(grant_groups(*restricted).empty());
}

TEST(WorkspaceAccessRecord, AMissingPathOrFileIsAnError)
{
    EXPECT_FALSE(read_record(std::nullopt));
    EXPECT_FALSE(read_record(std::filesystem::path("/nonexistent/vorn/state.json")));
}

}  // namespace
}  // namespace workspace_access
