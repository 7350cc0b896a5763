// What the External Accounts page shows: row names and summaries, badges, sync ages and detail lines, and the
// page's titles and captions.

#include "panes/accounts/accounts_texts.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace settings::panes::accounts {
namespace {

using settings::accounts::AccountConfig;
using settings::accounts::AccountLists;
using settings::accounts::AccountSyncHealth;
using settings::accounts::AccountSyncStatus;
using settings::accounts::DavAccount;
using settings::accounts::MailAccountRow;
using settings::accounts::NextcloudAccount;

TEST(AccountsTexts, SyncAgesRoundDownAtEachUnit)
{
    const struct {
        std::int64_t age;
        std::string text;
    } cases[] = {
        {-30, "just now"},  {0, "just now"},         {59, "just now"},     {60, "1 min ago"},
        {3599, "59 min ago"}, {3600, "1 h ago"},     {86399, "23 h ago"},  {86400, "1 d ago"},
        {9 * 86400 + 86399, "9 d ago"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sync_age(c.age), c.text) << c.age;
    }
}

TEST(AccountsTexts, DetailLineSaysWhenTheLastSyncSucceededAndWhy)
{
    static constexpr std::int64_t now = 1'700'000'000;
    const auto status = [](std::optional<std::int64_t> last, std::optional<std::string> message) {
        return AccountSyncStatus{.health = AccountSyncHealth::Error,
                                 .last_attempt_unix = now,
                                 .last_success_unix = last,
                                 .message = std::move(message)};
    };
    EXPECT_EQ(account_detail(nullptr, now), "No application has reported a sync for this account.");
    const auto never = status(std::nullopt, std::nullopt);
    EXPECT_EQ(account_detail(&never, now), "Last successful sync: never completed");
    const auto future = status(now + 500, std::nullopt);
    EXPECT_EQ(account_detail(&future, now), "Last successful sync: just now");
    const auto hours = status(now - 2 * 3600 - 5, "server unreachable");
    EXPECT_EQ(account_detail(&hours, now), "Last successful sync: 2 h ago · server unreachable");
    // A hostile timestamp reads as a very old one, not as an overflow.
    const auto ancient = status(std::numeric_limits<std::int64_t>::min(), std::nullopt);
    EXPECT_EQ(account_detail(&ancient, now), "Last successful sync: 106751991167300 d ago");
}

TEST(AccountsTexts, BadgesByStateWithDisabledFirst)
{
    const auto with = [](AccountSyncHealth health) { return AccountSyncStatus{.health = health}; };
    const struct {
        bool enabled;
        std::optional<AccountSyncStatus> status;
        Badge badge;
    } cases[] = {
        {false, with(AccountSyncHealth::Healthy), {"Disabled", Tone::Neutral}},
        {false, std::nullopt, {"Disabled", Tone::Neutral}},
        {true, std::nullopt, {"Not checked yet", Tone::Neutral}},
        {true, with(AccountSyncHealth::Never), {"Not checked yet", Tone::Neutral}},
        {true, with(AccountSyncHealth::Syncing), {"Syncing", Tone::A}},
        {true, with(AccountSyncHealth::Healthy), {"Up to date", Tone::B}},
        {true, with(AccountSyncHealth::Offline), {"Offline", Tone::C}},
        {true, with(AccountSyncHealth::NeedsAuthentication), {"Sign in again", Tone::C}},
        {true, with(AccountSyncHealth::Error), {"Needs attention", Tone::D}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(account_badge(c.enabled, c.status ? &*c.status : nullptr), c.badge) << c.badge.text;
    }
}

TEST(AccountsTexts, RowsNameAndSummariseEachKind)
{
    AccountLists lists;
    lists.mail.rows = {
        MailAccountRow{.id = "a", .config = {.display_name = "Work", .email = "ada@example.org",
                                             .imap_host = "imap.example.org", .imap_port = 993}},
        MailAccountRow{.id = "b", .config = {.email = "bob@example.org", .imap_host = "mail", .imap_port = 143}, .tint = 3},
        MailAccountRow{.id = "c", .config = {.imap_port = 993}},
    };
    lists.caldav.accounts = {DavAccount{.id = "cal", .label = "Team", .base_url = "https://https://cal.example.org/dav/x"}};
    lists.webdav.accounts = {
        DavAccount{.id = "dav", .label = "Files", .base_url = "dav.example.org/remote.php", .enabled = false}};
    lists.nextcloud.accounts = {
        NextcloudAccount{.id = "n1", .label = "Cloud", .server_url = "https://cloud.example.org/index.php"},
        NextcloudAccount{.id = "n2",
                         .label = "Files only",
                         .server_url = "http://files.example.org",
                         .use_calendar = false,
                         .use_mail = false},
        NextcloudAccount{.id = "n3",
                         .label = "Nothing",
                         .server_url = "cloud.example.org",
                         .use_files = false,
                         .use_calendar = false,
                         .use_mail = false},
    };

    const auto mail = account_rows(lists, AccountKind::Mail);
    ASSERT_EQ(mail.size(), 3u);
    EXPECT_EQ(mail[0], (AccountSummary{"a", AccountKind::Mail, "Work", "ada@example.org · imap.example.org:993"}));
    EXPECT_EQ(mail[1], (AccountSummary{"b", AccountKind::Mail, "bob@example.org", "bob@example.org · mail:143", true, 3}));
    EXPECT_EQ(mail[2].name, "New account");

    EXPECT_EQ(account_rows(lists, AccountKind::CalDav)[0].summary, "CalDAV · cal.example.org");
    const auto webdav = account_rows(lists, AccountKind::WebDav);
    EXPECT_EQ(webdav[0].summary, "WebDAV · dav.example.org");
    EXPECT_FALSE(webdav[0].enabled);

    const auto cloud = account_rows(lists, AccountKind::Nextcloud);
    ASSERT_EQ(cloud.size(), 3u);
    EXPECT_EQ(cloud[0].summary, "cloud.example.org · Mail, Calendar, Files");
    EXPECT_EQ(cloud[1].summary, "files.example.org · Files");
    EXPECT_EQ(cloud[2].summary, "cloud.example.org · ");
}

TEST(AccountsTexts, TitlesCaptionsAndLabels)
{
    EXPECT_EQ(form_title(AccountKind::Mail, false), "Add Email account");
    EXPECT_EQ(form_title(AccountKind::CalDav, true), "Edit Calendar (CalDAV) account");
    EXPECT_EQ(empty_kind_caption(AccountKind::Mail), "No email accounts yet.");
    EXPECT_EQ(empty_kind_caption(AccountKind::CalDav), "No calendar (caldav) accounts yet.");
    EXPECT_EQ(empty_kind_caption(AccountKind::WebDav), "No files (webdav) accounts yet.");
    EXPECT_EQ(empty_kind_caption(AccountKind::Nextcloud), "No nextcloud accounts yet.");
    EXPECT_EQ(form_status_line("enter a display name", false), "Could not save: enter a display name");
    EXPECT_EQ(form_status_line("Checking the account before saving…", true), "Checking the account before saving…");
    EXPECT_EQ(reauth_status_line("account no longer exists", false),
              "Could not update credential: account no longer exists");
    EXPECT_EQ(removal_text("Work"),
              "Work will be removed from this device. Locally cached copies may be removed by its apps; data on the "
              "provider is not deleted. The encrypted credential and local sync-health record are removed.");
    EXPECT_EQ(test_button_label(AccountKind::Mail), "Check server");
    EXPECT_EQ(test_button_label(AccountKind::Nextcloud), "Verify sign-in");
    EXPECT_EQ(identity_label(AccountKind::Mail), "Email address");
    EXPECT_EQ(identity_label(AccountKind::WebDav), "Username");
    EXPECT_TRUE(server_placeholder(AccountKind::CalDav).ends_with("/.well-known/caldav"));
    EXPECT_TRUE(server_placeholder(AccountKind::WebDav).ends_with("/remote.php/dav/files/you/"));
    EXPECT_TRUE(server_placeholder(AccountKind::Nextcloud).starts_with("https://"));
    EXPECT_EQ(controls::add(AccountKind::WebDav), "settings.accounts.add.webdav");
    EXPECT_EQ(controls::reauth("caldav-1"), "settings.accounts.reauth.caldav-1");
    EXPECT_EQ(controls::test("ada@example.org"), "settings.accounts.test.ada@example.org");
}

}  // namespace
}  // namespace settings::panes::accounts
