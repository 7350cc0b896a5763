// The account mutation journal: begin, clear, recover and commit, without crashes (see journal_crash_test.cpp).

#include "accounts/paths.hpp"
#include "accounts/test_support.hpp"

#include "vorn_log/log.hpp"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

namespace settings::accounts {
namespace {

using namespace testing;

class Journal : public ::testing::Test {
protected:
    [[nodiscard]] std::filesystem::path journal() const { return *paths_.journal_path(); }
    [[nodiscard]] std::filesystem::path vault_file() const { return *paths_.vault_path(); }

    // Begins a change from the current state, as a caller does.
    void begin()
    {
        const auto store = paths_.try_load_store();
        const auto statuses = paths_.try_load_statuses();
        ASSERT_TRUE(store && statuses);
        const auto begun = paths_.begin_mutation(*store, *statuses);
        ASSERT_TRUE(begun) << begun.error();
    }

    // Changes all three stores: mail-1 leaves, a new account arrives with its secret.
    void change_everything()
    {
        Snapshot after = two_accounts();
        after.store.remove("mail-1");
        after.store.upsert(webdav_account("dav-2"));
        after.statuses.remove("mail-1");
        after.secrets.erase("mail-1");
        after.secrets["dav-2"] = "new secret";
        seed(paths_, after);
    }

    TempHome home_;
    AccountPaths paths_{.root = home_.root()};
};

TEST_F(Journal, PathsBelowTheRoot)
{
    EXPECT_EQ(paths_.journal_path(), home_.root() / "accounts" / "mutation-journal.json");
    EXPECT_EQ(paths_.vault_path(), home_.root() / "vault" / "vault.enc");
    EXPECT_EQ(paths_.store_path(), home_.root() / "accounts" / "accounts.json");
    EXPECT_EQ(paths_.config_file("files/accounts.json"), home_.root() / "files" / "accounts.json");

    // Without a root of its own the paths follow the configuration directory, like the settings store does.
    const AccountPaths defaults;
    EXPECT_EQ(defaults.config_root(), home_.path() / "vorn");
    EXPECT_EQ(defaults.journal_path(), home_.path() / "vorn" / "accounts" / "mutation-journal.json");
    EXPECT_EQ(defaults.config_file("nextcloud/accounts.json"), home_.path() / "vorn" / "nextcloud" / "accounts.json");
}

TEST_F(Journal, InterruptedChangeIsRolledBackCompletely)
{
    const Snapshot before = two_accounts();
    seed(paths_, before);
    const std::string vault_bytes = read_file(vault_file());
    begin();

    // The journal: compact, owner-only, with the exact vault bytes.
    const std::string text = read_file(journal());
    EXPECT_EQ(mode_of(journal()), 0600u);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find(": "), std::string::npos);
    const auto recorded = decode_record<AccountMutationJournal>(text);
    ASSERT_TRUE(recorded) << recorded.error();
    EXPECT_EQ(recorded->previous_store, before.store);
    EXPECT_EQ(recorded->previous_statuses, before.statuses);
    ASSERT_TRUE(recorded->previous_vault_ciphertext);
    EXPECT_EQ(std::string(recorded->previous_vault_ciphertext->begin(), recorded->previous_vault_ciphertext->end()),
              vault_bytes);
    EXPECT_EQ(text.find("mail secret"), std::string::npos);  // the journal keeps the sealed file, not secrets

    change_everything();
    ASSERT_NE(snapshot(paths_), before);
    paths_.recover_interrupted_mutation();
    EXPECT_EQ(snapshot(paths_), before);
    EXPECT_EQ(read_file(vault_file()), vault_bytes);
    EXPECT_EQ(mode_of(vault_file()), 0600u);
    EXPECT_FALSE(std::filesystem::exists(journal()));
}

TEST_F(Journal, RecoveryWithoutAJournalChangesNothing)
{
    seed(paths_, two_accounts());
    const std::string store_text = read_file(*paths_.store_path());
    ASSERT_TRUE(paths_.recover_mutation());
    EXPECT_EQ(read_file(*paths_.store_path()), store_text);
    EXPECT_EQ(snapshot(paths_), two_accounts());
}

TEST_F(Journal, NullVaultBytesRemoveTheVaultFile)
{
    // Before the change there was no vault; the change made one.
    begin();
    EXPECT_NE(read_file(journal()).find(R"("previous_vault_ciphertext":null)"), std::string::npos);
    change_everything();
    ASSERT_TRUE(std::filesystem::exists(vault_file()));
    ASSERT_TRUE(paths_.recover_mutation());
    EXPECT_FALSE(std::filesystem::exists(vault_file()));
    EXPECT_EQ(snapshot(paths_), Snapshot{});

    // With no vault file at all the recovery succeeds all the same.
    write_file(journal(), R"({"previous_store":{},"previous_statuses":{},"previous_vault_ciphertext":null})");
    ASSERT_TRUE(paths_.recover_mutation());
    EXPECT_FALSE(std::filesystem::exists(journal()));
}

TEST_F(Journal, VaultBytesAreWrittenBackExactlyCreatingTheDirectory)
{
    write_file(journal(), R"({"previous_store":{},"previous_statuses":{},"previous_vault_ciphertext":[1,2,255]})");
    ASSERT_FALSE(std::filesystem::exists(vault_file().parent_path()));
    ASSERT_TRUE(paths_.recover_mutation());
    EXPECT_EQ(read_file(vault_file()), "\x01\x02\xff");
    EXPECT_EQ(mode_of(vault_file()), 0600u);
    EXPECT_EQ(mode_of(vault_file().parent_path()), 0700u);
}

TEST_F(Journal, InvalidJournalBlocksEveryLaterChange)
{
    seed(paths_, two_accounts());
    write_file(journal(), "{}");
    const std::string expected = "account transaction intent is invalid: missing field `previous_store`";
    EXPECT_EQ(paths_.recover_mutation().error(), expected);
    EXPECT_EQ(paths_.begin_mutation({}, {}).error(), expected);
    EXPECT_EQ(read_file(journal()), "{}");  // kept for repair by hand
    EXPECT_EQ(snapshot(paths_), two_accounts());

    std::ostringstream log;
    vorn_log::set_sink(std::make_shared<spdlog::sinks::ostream_sink_mt>(log));
    paths_.recover_interrupted_mutation();
    vorn_log::set_sink(nullptr);
    EXPECT_NE(log.str().find("could not recover interrupted account mutation: " + expected), std::string::npos)
        << log.str();
}

TEST_F(Journal, BeginSettlesAnOldJournalFirst)
{
    const Snapshot before = two_accounts();
    seed(paths_, before);
    begin();
    change_everything();  // ... and the program ended here

    // The next change starts from the state before the interrupted one.
    const Snapshot changed = snapshot(paths_);
    ASSERT_TRUE(paths_.begin_mutation(changed.store, changed.statuses));
    EXPECT_EQ(snapshot(paths_), before);
    const auto recorded = decode_record<AccountMutationJournal>(read_file(journal()));
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->previous_store, changed.store);  // the new journal holds what the caller gave

    // When the old journal cannot be settled, the new change does not start.
    write_file(journal(), R"({"previous_store":{},"previous_statuses":{}})");
    {
        Faults faults;
        faults.fail("accounts.json", "read-only file system");
        EXPECT_EQ(paths_.begin_mutation({}, {}).error(), "could not recover account metadata: read-only file system");
    }
    EXPECT_EQ(read_file(journal()), R"({"previous_store":{},"previous_statuses":{}})");
}

TEST_F(Journal, RecoveryStopsAtTheFirstFailureAndRunsAgainLater)
{
    const Snapshot before = two_accounts();
    seed(paths_, before);
    begin();
    change_everything();
    {
        Faults faults;
        faults.fail("vault.enc", "disk full");
        EXPECT_EQ(paths_.recover_mutation().error(), "could not recover credential vault: disk full");
    }
    EXPECT_TRUE(std::filesystem::exists(journal()));
    {
        Faults faults;
        faults.fail("sync-status.json", "disk full");
        EXPECT_EQ(paths_.recover_mutation().error(), "could not recover account sync status: disk full");
    }
    ASSERT_TRUE(paths_.recover_mutation());
    EXPECT_EQ(snapshot(paths_), before);
}

TEST_F(Journal, ClearTwiceAndRefusals)
{
    begin();
    ASSERT_TRUE(paths_.clear_mutation());
    EXPECT_FALSE(std::filesystem::exists(journal()));
    {
        Faults faults;  // a second clear does not even try to remove anything
        faults.fail("mutation-journal.json", "must not be called", 0, "remove");
        EXPECT_TRUE(paths_.clear_mutation());
    }

    begin();
    {
        Faults faults;
        faults.fail("mutation-journal.json", "device busy", 0, "remove");
        EXPECT_EQ(paths_.clear_mutation().error(), "could not clear account transaction intent: device busy");
    }
    ASSERT_TRUE(paths_.clear_mutation());

    Faults faults;
    faults.fail("mutation-journal.json", "quota exceeded");
    EXPECT_EQ(paths_.begin_mutation({}, {}).error(), "could not persist account transaction intent: quota exceeded");
}

TEST_F(Journal, UnreadableVaultIsNeverRecordedAsAbsent)
{
    seed(paths_, two_accounts());
    std::filesystem::remove(vault_file());
    std::filesystem::create_directory(vault_file());  // exists, cannot be read as a file
    const auto begun = paths_.begin_mutation({}, {});
    ASSERT_FALSE(begun);
    EXPECT_TRUE(begun.error().starts_with("could not read credential vault: ")) << begun.error();
    EXPECT_FALSE(std::filesystem::exists(journal()));
}

TEST_F(Journal, CommitRollsBackWhenTheJournalCannotBeRemoved)
{
    const Snapshot before = two_accounts();
    seed(paths_, before);
    begin();
    change_everything();
    {
        Faults faults;  // the commit's removal fails, and so does the recovery's
        faults.fail("mutation-journal.json", "device busy", 0, "remove");
        EXPECT_EQ(commit_account_mutation(paths_, "account save").error(),
                  "could not complete account save: could not clear account transaction intent: device busy; "
                  "recovery also failed: could not clear account transaction intent: device busy");
    }
    EXPECT_EQ(snapshot(paths_), before);  // the recovery put everything back before its own clear failed
    EXPECT_TRUE(std::filesystem::exists(journal()));

    change_everything();
    {
        // Only the commit's own removal fails; the recovery's works.
        int removals = 0;
        account_registry::files::set_hook_for_testing(
            [&](std::string_view what, const std::filesystem::path& path) -> std::expected<void, std::string> {
                if (what == "remove" && path.filename() == "mutation-journal.json" && removals++ == 0) {
                    return std::unexpected(std::string("device busy"));
                }
                return {};
            });
        EXPECT_EQ(commit_account_mutation(paths_, "account save").error(),
                  "could not complete account save: could not clear account transaction intent: device busy; "
                  "changes were rolled back");
        account_registry::files::set_hook_for_testing(nullptr);
    }
    EXPECT_EQ(snapshot(paths_), before);
    EXPECT_FALSE(std::filesystem::exists(journal()));
}

TEST(JournalWithoutRoot, EverythingSaysNoConfigDir)
{
    TempHome home;
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::unsetenv("HOME");
    const AccountPaths paths;
    EXPECT_EQ(paths.config_root(), std::nullopt);
    EXPECT_EQ(paths.accounts_root().error(), "no config dir");
    EXPECT_EQ(paths.begin_mutation({}, {}).error(), "no config dir");
    EXPECT_EQ(paths.clear_mutation().error(), "no config dir");
    EXPECT_EQ(paths.recover_mutation().error(), "no config dir");
    EXPECT_EQ(paths.save_store({}).error(), "no config dir");
    EXPECT_EQ(paths.save_statuses({}).error(), "no config dir");
    EXPECT_EQ(paths.open_vault().error(), "no config dir");
    EXPECT_EQ(paths.config_file("files/accounts.json"), std::nullopt);
    EXPECT_EQ(paths.load_store(), AccountStore{});
    EXPECT_EQ(paths.load_statuses(), AccountSyncStatusStore{});
    paths.recover_interrupted_mutation();  // does nothing
}

}  // namespace
}  // namespace settings::accounts
