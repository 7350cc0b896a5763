// Account lists and the one-time legacy import.

#include "accounts/lists.hpp"
#include "accounts/test_support.hpp"

#include "vorn_log/log.hpp"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

namespace settings::accounts {
namespace {

using namespace testing;

class Lists : public ::testing::Test {
protected:
    [[nodiscard]] std::filesystem::path marker() const
    {
        return home_.root() / "accounts" / "legacy-settings-import-v1";
    }
    [[nodiscard]] std::filesystem::path legacy_webdav() const { return home_.root() / "files" / "accounts.json"; }
    [[nodiscard]] std::filesystem::path legacy_nextcloud() const
    {
        return home_.root() / "nextcloud" / "accounts.json";
    }

    TempHome home_;
    AccountPaths paths_{.root = home_.root()};
};

TEST_F(Lists, FirstLoadWithoutLegacyFilesOnlyWritesTheMarker)
{
    const AccountLists lists = paths_.load_store_with_legacy_import();
    EXPECT_TRUE(lists.is_empty());
    EXPECT_EQ(lists.caldav.version, 1u);
    EXPECT_EQ(read_file(marker()), "imported\n");
    EXPECT_FALSE(std::filesystem::exists(*paths_.store_path()));
}

TEST_F(Lists, LegacyRecordsAreImportedOnce)
{
    seed(paths_, two_accounts());
    // "dav-1" is taken already; "dav-9" appears twice; the Nextcloud list has no "version".
    write_file(legacy_webdav(),
               R"({"version":1,"accounts":[{"id":"dav-1","label":"Old","base_url":"https://old","username":"o"},)"
               R"({"id":"dav-9","label":"Archive","base_url":"https://archive.example.org/dav","username":"a",)"
               R"("enabled":false,"tint":6},{"id":"dav-9","label":"Again","base_url":"x","username":"y"}]})");
    write_file(legacy_nextcloud(),
               R"({"accounts":[{"id":"nc-1","label":"Cloud","server_url":"https://cloud.example.org",)"
               R"("username":"c","use_mail":false}]})");

    const AccountLists lists = paths_.load_store_with_legacy_import();
    const AccountStore store = paths_.load_store();
    ASSERT_EQ(store.accounts.size(), 4u);
    EXPECT_EQ(store.accounts[0], two_accounts().store.accounts[0]);
    EXPECT_EQ(store.accounts[1], two_accounts().store.accounts[1]);  // not touched by the legacy "dav-1"
    const Account& archive = store.accounts[2];
    EXPECT_EQ(archive.id, "dav-9");
    EXPECT_EQ(archive.type_id, "webdav");
    EXPECT_EQ(archive.display_name, "Archive");
    EXPECT_FALSE(archive.enabled);
    EXPECT_EQ(archive.tint, 6);
    EXPECT_EQ(json_text::compact(archive.config),
              R"({"id":"dav-9","label":"Archive","base_url":"https://archive.example.org/dav","username":"a",)"
              R"("enabled":false,"tint":6})");
    EXPECT_EQ(store.accounts[3].type_id, "nextcloud");
    EXPECT_EQ(json_text::compact(store.accounts[3].config),
              R"({"id":"nc-1","label":"Cloud","server_url":"https://cloud.example.org","username":"c",)"
              R"("use_files":true,"use_calendar":true,"use_mail":false,"enabled":true,"tint":0})");
    EXPECT_EQ(read_file(marker()), "imported\n");

    ASSERT_EQ(lists.webdav.accounts.size(), 2u);
    EXPECT_EQ(lists.webdav.accounts[1].label, "Archive");
    ASSERT_EQ(lists.nextcloud.accounts.size(), 1u);
    EXPECT_FALSE(lists.nextcloud.accounts[0].use_mail);

    // Once marked, the legacy files are never read again.
    write_file(legacy_webdav(), R"({"accounts":[{"id":"dav-10","label":"L","base_url":"b","username":"u"}]})");
    EXPECT_EQ(paths_.load_store_with_legacy_import(), lists);
    EXPECT_EQ(paths_.load_store().accounts.size(), 4u);
}

TEST_F(Lists, AnyMarkerSuppressesTheImportAndBadLegacyFilesCountAsEmpty)
{
    write_file(marker(), "");
    write_file(legacy_webdav(), R"({"accounts":[{"id":"dav-10","label":"L","base_url":"b","username":"u"}]})");
    EXPECT_TRUE(paths_.load_store_with_legacy_import().is_empty());

    std::filesystem::remove(marker());
    write_file(legacy_webdav(), R"({"accounts":[{"id":"dav-10"}]})");  // invalid: nothing, silently
    write_file(legacy_nextcloud(), "not json");
    EXPECT_TRUE(paths_.load_store_with_legacy_import().is_empty());
    EXPECT_EQ(read_file(marker()), "imported\n");
}

TEST_F(Lists, FailedSaveLeavesTheImportForNextTime)
{
    write_file(legacy_webdav(), R"({"accounts":[{"id":"dav-10","label":"L","base_url":"b","username":"u"}]})");
    std::ostringstream log;
    vorn_log::set_sink(std::make_shared<spdlog::sinks::ostream_sink_mt>(log));
    {
        Faults faults;
        faults.fail("accounts.json", "disk full");
        const AccountLists lists = paths_.load_store_with_legacy_import();
        EXPECT_EQ(lists.webdav.accounts.size(), 1u);  // shown from memory
    }
    EXPECT_FALSE(std::filesystem::exists(marker()));
    {
        Faults faults;
        faults.fail("legacy-settings-import-v1", "read-only");
        EXPECT_EQ(paths_.load_store_with_legacy_import().webdav.accounts.size(), 1u);
    }
    vorn_log::set_sink(nullptr);
    EXPECT_NE(log.str().find("could not persist imported legacy accounts: disk full"), std::string::npos);
    EXPECT_NE(log.str().find("could not mark legacy account import complete: read-only"), std::string::npos);

    // The store was saved although the marker was not: the next import finds the account present.
    EXPECT_FALSE(std::filesystem::exists(marker()));
    EXPECT_EQ(paths_.load_store_with_legacy_import().webdav.accounts.size(), 1u);
    EXPECT_EQ(paths_.load_store().accounts.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(marker()));
}

TEST_F(Lists, DamagedStoreIsNeitherImportedIntoNorReplaced)
{
    write_file(*paths_.store_path(), "{\"accounts\":[");
    write_file(legacy_webdav(), R"({"accounts":[{"id":"dav-10","label":"L","base_url":"b","username":"u"}]})");
    std::ostringstream log;
    vorn_log::set_sink(std::make_shared<spdlog::sinks::ostream_sink_mt>(log));
    EXPECT_TRUE(paths_.load_store_with_legacy_import().is_empty());
    vorn_log::set_sink(nullptr);
    EXPECT_EQ(read_file(*paths_.store_path()), "{\"accounts\":[");
    EXPECT_FALSE(std::filesystem::exists(marker()));
    EXPECT_NE(log.str().find("could not load the account store"), std::string::npos);
}

TEST_F(Lists, InterruptedChangeIsRecoveredBeforeListing)
{
    seed(paths_, two_accounts());
    const auto store = paths_.try_load_store();
    ASSERT_TRUE(paths_.begin_mutation(*store, paths_.load_statuses()));
    ASSERT_TRUE(paths_.save_store(AccountStore{}));
    const AccountLists lists = paths_.load_store_with_legacy_import();
    EXPECT_EQ(lists.mail.rows.size(), 1u);
    EXPECT_EQ(lists.webdav.accounts.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(*paths_.journal_path()));
}

TEST(AccountListsFromStore, EachKindAsThePageEditsIt)
{
    AccountStore store;
    store.accounts.push_back(mail_account("m1", "a@example.org"));
    Account broken_mail("m2", "email");
    broken_mail.config = Json::parse(R"({"email":"b@example.org"})");  // not a full AccountConfig: left out
    store.accounts.push_back(broken_mail);
    Account third_mail = mail_account("m3", "c@example.org");
    third_mail.tint = 9;
    store.accounts.push_back(third_mail);

    Account calendar("c1", "caldav");
    calendar.display_name = "Calendar";
    calendar.config = Json::parse(R"({"server_url":"https://cal.example.org","username":7})");
    Account bare_calendar("c2", "caldav");  // null config
    store.accounts.push_back(calendar);
    store.accounts.push_back(bare_calendar);

    Account files = webdav_account("w1");
    files.display_name = "Renamed";
    files.enabled = false;
    store.accounts.push_back(files);
    Account odd_files("w2", "webdav");
    odd_files.config = Json::parse("[]");
    store.accounts.push_back(odd_files);
    store.accounts.emplace_back("x1", "exchange");
    store.active["email"] = "m3";

    const AccountLists lists = account_lists_from_store(store);
    ASSERT_EQ(lists.mail.rows.size(), 2u);
    EXPECT_EQ(lists.mail.rows[1].id, "m3");
    EXPECT_EQ(lists.mail.rows[1].tint, 9);
    EXPECT_FALSE(lists.mail.rows[1].dirty);
    EXPECT_EQ(lists.mail.rows[1].config.email, "c@example.org");
    EXPECT_EQ(lists.mail.active, 1u);

    ASSERT_EQ(lists.caldav.accounts.size(), 2u);
    EXPECT_EQ(lists.caldav.accounts[0], (DavAccount{.id = "c1",
                                                    .label = "Calendar",
                                                    .base_url = "https://cal.example.org",
                                                    .username = "",
                                                    .enabled = true,
                                                    .tint = 0}));
    EXPECT_EQ(lists.caldav.accounts[1].base_url, "");

    ASSERT_EQ(lists.webdav.accounts.size(), 1u);
    EXPECT_EQ(lists.webdav.accounts[0].label, "Renamed");  // the account's name, not the config's
    EXPECT_FALSE(lists.webdav.accounts[0].enabled);
    EXPECT_EQ(lists.webdav.accounts[0].base_url, "https://dav.example.org/remote.php/dav");
    EXPECT_EQ(lists.webdav.version, 1u);
    EXPECT_TRUE(lists.nextcloud.accounts.empty());
    EXPECT_FALSE(lists.is_empty());

    store.active["email"] = "m2";  // not listed
    EXPECT_EQ(account_lists_from_store(store).mail.active, 0u);

    const AccountRowBuilders<std::string> builders{
        .mail = [](const MailAccountRow& row) { return "mail:" + row.id; },
        .dav = [](const DavAccount& account) { return "dav:" + account.id; },
        .nextcloud = [](const NextcloudAccount& account) { return "nc:" + account.id; },
    };
    EXPECT_EQ(lists.rows_of(AccountKind::Mail, builders), (std::vector<std::string>{"mail:m1", "mail:m3"}));
    EXPECT_EQ(lists.rows_of(AccountKind::CalDav, builders), (std::vector<std::string>{"dav:c1", "dav:c2"}));
    EXPECT_EQ(lists.rows_of(AccountKind::WebDav, builders), (std::vector<std::string>{"dav:w1"}));
    EXPECT_TRUE(lists.rows_of(AccountKind::Nextcloud, builders).empty());
}

}  // namespace
}  // namespace settings::accounts
