// Removing an account from the vault, the store and the statuses, and every way that can fail.

#include "accounts/removal.hpp"
#include "accounts/test_support.hpp"

#include <gtest/gtest.h>

namespace settings::accounts {
namespace {

using namespace testing;

class Removal : public ::testing::Test {
protected:
    Removal() { seed(paths_, two_accounts()); }

    [[nodiscard]] bool journal_exists() const { return std::filesystem::exists(*paths_.journal_path()); }
    [[nodiscard]] std::string vault_bytes() const { return read_file(*paths_.vault_path()); }

    static Snapshot without(Snapshot s, const std::string& id)
    {
        s.store.remove(id);
        s.statuses.remove(id);
        s.secrets.erase(id);
        return s;
    }

    TempHome home_;
    AccountPaths paths_{.root = home_.root()};
};

TEST_F(Removal, RemovesCredentialRecordAndStatus)
{
    ASSERT_TRUE(remove_account(paths_, AccountKind::Mail, "mail-1"));
    const Snapshot now = snapshot(paths_);
    EXPECT_EQ(now, without(two_accounts(), "mail-1"));
    EXPECT_EQ(now.store.active_id("email"), std::nullopt);  // the active mail account went with it
    EXPECT_FALSE(journal_exists());
    EXPECT_EQ(mode_of(*paths_.vault_path()), 0600u);

    ASSERT_TRUE(remove_account(paths_, AccountKind::WebDav, "dav-1"));
    EXPECT_EQ(snapshot(paths_), Snapshot{});
}

TEST_F(Removal, AccountOfAnotherKindIsRefused)
{
    const std::string before = vault_bytes();
    const auto removed = remove_account(paths_, AccountKind::CalDav, "dav-1");
    ASSERT_FALSE(removed);
    EXPECT_EQ(removed.error(), "account type changed before removal; refresh Settings and try again");
    EXPECT_EQ(snapshot(paths_), two_accounts());
    EXPECT_EQ(vault_bytes(), before);
    EXPECT_FALSE(journal_exists());
}

TEST_F(Removal, UnknownIdSucceedsAndChangesNothing)
{
    const std::string before = vault_bytes();
    ASSERT_TRUE(remove_account(paths_, AccountKind::Nextcloud, "nobody"));
    EXPECT_EQ(snapshot(paths_), two_accounts());
    EXPECT_EQ(vault_bytes(), before);  // not even rewritten
    EXPECT_FALSE(journal_exists());
}

TEST_F(Removal, AccountWithoutCredentialNeverWritesTheVault)
{
    Snapshot s = two_accounts();
    s.secrets.erase("dav-1");
    seed(paths_, s);
    Faults faults;
    faults.fail("vault.enc", "the vault must not be written");
    ASSERT_TRUE(remove_account(paths_, AccountKind::WebDav, "dav-1"));
    EXPECT_EQ(snapshot(paths_), without(s, "dav-1"));
}

TEST_F(Removal, VaultSaveFailureChangesNothing)
{
    Faults faults;
    faults.fail("vault.enc", "no space left on device");
    EXPECT_EQ(remove_account(paths_, AccountKind::Mail, "mail-1").error(),
              "could not remove saved credential: could not save the credential vault: no space left on device");
    EXPECT_EQ(snapshot(paths_), two_accounts());
    EXPECT_FALSE(journal_exists());
}

TEST_F(Removal, StoreFailurePutsTheCredentialBack)
{
    {
        Faults faults;
        faults.fail("accounts.json", "no space left on device");
        EXPECT_EQ(remove_account(paths_, AccountKind::Mail, "mail-1").error(),
                  "could not remove account metadata: no space left on device");
    }
    EXPECT_EQ(snapshot(paths_), two_accounts());
    EXPECT_FALSE(journal_exists());

    // When the credential cannot be put back either, the journal stays and the next start restores it.
    {
        Faults faults;
        faults.fail("accounts.json", "no space left on device").fail("vault.enc", "read-only", 1);
        EXPECT_EQ(remove_account(paths_, AccountKind::Mail, "mail-1").error(),
                  "could not remove account metadata: no space left on device; rollback also failed: "
                  "could not save the credential vault: read-only");
    }
    EXPECT_TRUE(journal_exists());
    EXPECT_EQ(snapshot(paths_).secrets.count("mail-1"), 0u);
    paths_.recover_interrupted_mutation();
    EXPECT_EQ(snapshot(paths_), two_accounts());
    EXPECT_FALSE(journal_exists());
}

TEST_F(Removal, StatusFailurePutsStoreAndCredentialBack)
{
    {
        Faults faults;
        faults.fail("sync-status.json", "input/output error");
        EXPECT_EQ(remove_account(paths_, AccountKind::Mail, "mail-1").error(),
                  "could not remove account sync status: input/output error");
    }
    EXPECT_EQ(snapshot(paths_), two_accounts());
    EXPECT_FALSE(journal_exists());

    // The store's write-back fails too: both sentences, and the journal remains for the recovery.
    {
        Faults faults;
        faults.fail("sync-status.json", "input/output error").fail("accounts.json", "read-only", 1);
        EXPECT_EQ(remove_account(paths_, AccountKind::Mail, "mail-1").error(),
                  "could not remove account sync status: input/output error; rollback also failed: read-only");
    }
    EXPECT_TRUE(journal_exists());
    paths_.recover_interrupted_mutation();
    EXPECT_EQ(snapshot(paths_), two_accounts());

    // ... and with the credential's write-back failing as well, "{}; {}".
    {
        Faults faults;
        faults.fail("sync-status.json", "input/output error")
            .fail("accounts.json", "read-only", 1)
            .fail("vault.enc", "quota", 1);
        EXPECT_EQ(remove_account(paths_, AccountKind::Mail, "mail-1").error(),
                  "could not remove account sync status: input/output error; rollback also failed: read-only; "
                  "could not save the credential vault: quota");
    }
    EXPECT_TRUE(journal_exists());
    paths_.recover_interrupted_mutation();
    EXPECT_EQ(snapshot(paths_), two_accounts());
}

TEST_F(Removal, JournalThatCannotBeginChangesNothing)
{
    Faults faults;
    faults.fail("mutation-journal.json", "quota exceeded");
    EXPECT_EQ(remove_account(paths_, AccountKind::Mail, "mail-1").error(),
              "could not persist account transaction intent: quota exceeded");
    EXPECT_EQ(snapshot(paths_), two_accounts());
}

TEST_F(Removal, CommitFailureRollsBack)
{
    int removals = 0;
    account_registry::files::set_hook_for_testing(
        [&](std::string_view what, const std::filesystem::path& path) -> std::expected<void, std::string> {
            if (what == "remove" && path.filename() == "mutation-journal.json" && removals++ == 0) {
                return std::unexpected(std::string("device busy"));
            }
            return {};
        });
    EXPECT_EQ(remove_account(paths_, AccountKind::Mail, "mail-1").error(),
              "could not complete account removal: could not clear account transaction intent: device busy; "
              "changes were rolled back");
    account_registry::files::set_hook_for_testing(nullptr);
    EXPECT_EQ(snapshot(paths_), two_accounts());
    EXPECT_FALSE(journal_exists());
}

TEST_F(Removal, DamagedVaultGivesAClearErrorAndLosesNothing)
{
    std::string damaged = vault_bytes();
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x01);
    write_file(*paths_.vault_path(), damaged);
    const std::string store_text = read_file(*paths_.store_path());
    const std::string status_text = read_file(*paths_.statuses_path());

    const auto removed = remove_account(paths_, AccountKind::Mail, "mail-1");
    ASSERT_FALSE(removed);
    EXPECT_EQ(removed.error(), "could not open credential vault: credential vault " + paths_.vault_path()->string() +
                                   " is damaged: its contents do not authenticate");
    EXPECT_EQ(read_file(*paths_.vault_path()), damaged);
    EXPECT_EQ(read_file(*paths_.store_path()), store_text);
    EXPECT_EQ(read_file(*paths_.statuses_path()), status_text);
    EXPECT_FALSE(journal_exists());
}

TEST_F(Removal, UnreadableStoreOrStatusesAreNeverReplacedByEmptyOnes)
{
    write_file(*paths_.store_path(), R"({"accounts":[{"id":"x"}]})");
    const std::string before = vault_bytes();
    const auto removed = remove_account(paths_, AccountKind::Mail, "mail-1");
    ASSERT_FALSE(removed);
    EXPECT_EQ(removed.error(), "could not read account store: account store " + paths_.store_path()->string() +
                                   " is invalid: missing field `type_id`");
    EXPECT_EQ(read_file(*paths_.store_path()), R"({"accounts":[{"id":"x"}]})");
    EXPECT_EQ(vault_bytes(), before);

    seed(paths_, two_accounts());
    const std::string sealed = vault_bytes();
    write_file(*paths_.statuses_path(), "{\"statuses\":");
    const auto blocked = remove_account(paths_, AccountKind::Mail, "mail-1");
    ASSERT_FALSE(blocked);
    EXPECT_TRUE(blocked.error().starts_with("could not read account sync status: ")) << blocked.error();
    EXPECT_EQ(read_file(*paths_.statuses_path()), "{\"statuses\":");
    EXPECT_EQ(paths_.try_load_store(), two_accounts().store);
    EXPECT_EQ(vault_bytes(), sealed);
    EXPECT_FALSE(journal_exists());
}

}  // namespace
}  // namespace settings::accounts
