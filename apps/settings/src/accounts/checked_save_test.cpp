// The journaled save of a checked account form and the replacement of a saved credential, with every write that
// can fail.

#include "accounts/checked_save.hpp"
#include "accounts/test_support.hpp"

#include <gtest/gtest.h>

namespace settings::accounts {
namespace {

using namespace testing;

class CheckedSave : public ::testing::Test {
protected:
    CheckedSave() { seed(paths_, two_accounts()); }

    [[nodiscard]] bool journal_exists() const { return std::filesystem::exists(*paths_.journal_path()); }
    [[nodiscard]] std::string file(const std::expected<std::filesystem::path, std::string>& path) const
    {
        return read_file(*path);
    }

    static CheckedForm new_calendar()
    {
        return CheckedForm{.reserved_id = "caldav-new",
                           .kind = AccountKind::CalDav,
                           .display_name = "Team calendar",
                           .username = "ada",
                           .server_url = "https://cal.example.org/",
                           .password = account_registry::SecretString(" cal secret ")};
    }

    static CheckedForm edited_files(std::string_view password)
    {
        return CheckedForm{.reserved_id = "dav-1",
                           .kind = AccountKind::WebDav,
                           .editing_id = "dav-1",
                           .display_name = "Renamed files",
                           .username = "sam",
                           .server_url = "https://dav.example.org/remote.php/dav",
                           .password = account_registry::SecretString(password)};
    }

    static Snapshot with_calendar(Snapshot s)
    {
        Account calendar("caldav-new", "caldav");
        calendar.display_name = "Team calendar";
        calendar.config = Json{{"display_name", "Team calendar"},
                               {"server_url", "https://cal.example.org"},
                               {"username", "ada"}};
        s.store.accounts.push_back(calendar);
        s.secrets["caldav-new"] = "cal secret";
        return s;
    }

    TempHome home_;
    AccountPaths paths_{.root = home_.root()};
};

TEST_F(CheckedSave, SavesTheAccountAndItsCredentialAndLeavesTheStatusesAlone)
{
    const std::string statuses = file(paths_.statuses_path());
    ASSERT_TRUE(save_checked_draft(paths_, new_calendar()));
    EXPECT_EQ(snapshot(paths_), with_calendar(two_accounts()));
    EXPECT_EQ(file(paths_.statuses_path()), statuses);
    EXPECT_FALSE(journal_exists());
}

TEST_F(CheckedSave, AnEditWithAnEmptyPasswordNeverWritesTheVault)
{
    const std::string vault = file(paths_.vault_path());
    ASSERT_TRUE(save_checked_draft(paths_, edited_files(" ")));
    EXPECT_EQ(file(paths_.vault_path()), vault);
    EXPECT_EQ(paths_.try_load_store()->get("dav-1")->display_name, "Renamed files");
    EXPECT_EQ(snapshot(paths_).secrets, two_accounts().secrets);
}

TEST_F(CheckedSave, EveryFailedWriteLeavesTheStoresAsTheyWere)
{
    struct Case {
        std::string name;
        CheckedForm (*form)();
        std::string failing_file;
        int pass;
        std::string action;
        int times;
        std::string sentence;
    };
    const auto edit_with_password = [] { return edited_files("new dav secret"); };
    const Case cases[] = {
        {"journal not written", new_calendar, "mutation-journal.json", 0, "write", -1,
         "could not persist account transaction intent: disk full"},
        {"vault not saved", new_calendar, "vault.enc", 0, "write", -1,
         "could not save credential: could not save the credential vault: disk full"},
        {"store not saved, new credential taken back", new_calendar, "accounts.json", 0, "write", -1,
         "could not persist account: disk full"},
        {"store not saved, old credential put back", +edit_with_password, "accounts.json", 0, "write", -1,
         "could not persist account: disk full"},
        // Only the commit's removal fails; its recovery puts everything back.
        {"journal not cleared", new_calendar, "mutation-journal.json", 0, "remove", 1,
         "could not complete account save: could not clear account transaction intent: disk full; changes were "
         "rolled back"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        seed(paths_, two_accounts());
        Faults faults;
        faults.fail(c.failing_file, "disk full", c.pass, c.action, c.times);
        const auto saved = save_checked_draft(paths_, c.form());
        ASSERT_FALSE(saved);
        EXPECT_EQ(saved.error(), c.sentence);
        EXPECT_EQ(snapshot(paths_), two_accounts());
        EXPECT_FALSE(journal_exists());
    }
}

TEST_F(CheckedSave, WhenTheCredentialCannotBePutBackTheJournalStaysForTheRecovery)
{
    {
        Faults faults;
        faults.fail("accounts.json", "disk full").fail("vault.enc", "vault gone", 1);  // the second vault write fails
        const auto saved = save_checked_draft(paths_, new_calendar());
        ASSERT_FALSE(saved);
        EXPECT_TRUE(saved.error().starts_with(
            "could not persist account: disk full; credential rollback also failed: "))
            << saved.error();
        EXPECT_TRUE(journal_exists());
        EXPECT_EQ(snapshot(paths_).secrets, with_calendar(two_accounts()).secrets);  // the orphan, for now
    }
    ASSERT_TRUE(paths_.recover_mutation());
    EXPECT_EQ(snapshot(paths_), two_accounts());
    EXPECT_FALSE(journal_exists());
}

TEST_F(CheckedSave, NothingStartsFromStoresThatCannotBeRead)
{
    // A store that cannot be read is never replaced by one holding only the new account.
    write_file(*paths_.store_path(), "[\"truncated");
    auto saved = save_checked_draft(paths_, new_calendar());
    ASSERT_FALSE(saved);
    EXPECT_TRUE(saved.error().starts_with("could not read account store: ")) << saved.error();
    EXPECT_EQ(file(paths_.store_path()), "[\"truncated");

    seed(paths_, two_accounts());
    write_file(*paths_.statuses_path(), "{\"statuses\":");
    saved = save_checked_draft(paths_, new_calendar());
    ASSERT_FALSE(saved);
    EXPECT_TRUE(saved.error().starts_with("could not read account sync status: ")) << saved.error();
    EXPECT_EQ(paths_.try_load_store()->accounts.size(), 2u);

    // A vault file that exists but cannot be read is never taken for "no vault".
    seed(paths_, two_accounts());
    const auto vault = *paths_.vault_path();
    std::filesystem::remove(vault);
    std::filesystem::create_directory(vault);
    saved = save_checked_draft(paths_, new_calendar());
    ASSERT_FALSE(saved);
    EXPECT_TRUE(saved.error().starts_with("could not open credential vault: ")) << saved.error();
    EXPECT_TRUE(std::filesystem::is_directory(vault));
    EXPECT_FALSE(journal_exists());
}

TEST_F(CheckedSave, AnAccountAddedElsewhereDuringTheCheckIsNotOverwritten)
{
    CheckedForm form{.reserved_id = "bob@example.org",
                     .kind = AccountKind::Mail,
                     .display_name = "Bob",
                     .email = "bob@example.org",
                     .password = account_registry::SecretString("pw")};
    Snapshot elsewhere = two_accounts();
    elsewhere.store.accounts.push_back(mail_account("bob@example.org", "bob@example.org"));
    elsewhere.secrets["bob@example.org"] = "their secret";
    seed(paths_, elsewhere);
    const auto saved = save_checked_draft(paths_, form);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), "this account is already configured");
    EXPECT_EQ(snapshot(paths_), elsewhere);
}

TEST_F(CheckedSave, ACredentialIsReplacedOnlyForAnAccountThatStillExists)
{
    const std::string store = file(paths_.store_path());
    ASSERT_TRUE(update_credential(paths_, "dav-1", account_registry::SecretString("replacement")));
    EXPECT_EQ(snapshot(paths_).secrets.at("dav-1"), "replacement");
    EXPECT_EQ(file(paths_.store_path()), store);  // byte for byte
    EXPECT_FALSE(journal_exists());

    // Removed while its new password was being checked: no credential without its account.
    const std::string vault = file(paths_.vault_path());
    const auto orphan = update_credential(paths_, "gone-1", account_registry::SecretString("x"));
    ASSERT_FALSE(orphan);
    EXPECT_EQ(orphan.error(), "account no longer exists");
    EXPECT_EQ(file(paths_.vault_path()), vault);

    Faults faults;
    faults.fail("vault.enc", "read-only file system");
    const auto failed = update_credential(paths_, "mail-1", account_registry::SecretString("y"));
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), "could not save the credential vault: read-only file system");
}

}  // namespace
}  // namespace settings::accounts
