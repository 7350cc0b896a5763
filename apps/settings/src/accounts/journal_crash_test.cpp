// Account changes killed part-way: whatever point a crash hits, the next start finds the three stores complete
// from before the change or complete from after it, never a mix, and no journal left behind.

#include "accounts/removal.hpp"
#include "accounts/test_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace settings::accounts {
namespace {

using namespace testing;

constexpr int crashed = 99;

// Saves an account with its credential the way the External Accounts page does: journal, vault, store, commit.
std::expected<void, std::string> save_account(const AccountPaths& paths, const Account& account,
                                              std::string_view secret)
{
    auto store = paths.try_load_store();
    auto statuses = paths.try_load_statuses();
    if (!store || !statuses) {
        return std::unexpected(std::string("unreadable"));
    }
    if (auto begun = paths.begin_mutation(*store, *statuses); !begun) {
        return begun;
    }
    if (!secret.empty()) {
        auto vault = paths.open_vault();
        if (!vault) {
            return std::unexpected(vault.error());
        }
        vault->put(account.id, account_registry::SecretString(secret));
        if (auto saved = vault->save(); !saved) {
            return saved;
        }
    }
    store->upsert(account);
    if (auto saved = paths.save_store(*store); !saved) {
        return saved;
    }
    return commit_account_mutation(paths, "account save");
}

struct Change {
    const char* name;
    std::function<std::expected<void, std::string>(const AccountPaths&)> run;
    std::function<Snapshot(Snapshot)> after;
};

std::vector<Change> changes()
{
    Account added = webdav_account("dav-2");
    Account edited = mail_account("mail-1", "ada@example.net");
    return {
        {"removal", [](const AccountPaths& p) { return remove_account(p, AccountKind::Mail, "mail-1"); },
         [](Snapshot s) {
             s.store.remove("mail-1");
             s.statuses.remove("mail-1");
             s.secrets.erase("mail-1");
             return s;
         }},
        {"add", [added](const AccountPaths& p) { return save_account(p, added, "new secret"); },
         [added](Snapshot s) {
             s.store.upsert(added);
             s.secrets["dav-2"] = "new secret";
             return s;
         }},
        {"edit with password", [edited](const AccountPaths& p) { return save_account(p, edited, "changed"); },
         [edited](Snapshot s) {
             s.store.upsert(edited);
             s.secrets["mail-1"] = "changed";
             return s;
         }},
        {"edit without password", [edited](const AccountPaths& p) { return save_account(p, edited, ""); },
         [edited](Snapshot s) {
             s.store.upsert(edited);
             return s;
         }},
    };
}

// Runs `work` in a child process that ends itself (as abruptly as a kill: no destructors, no flushing) just before
// its file action number `kill_at`; returns the child's exit status.
int run_child(const std::function<bool()>& work, int kill_at)
{
    const pid_t child = ::fork();
    if (child == 0) {
        auto actions = std::make_shared<int>(0);
        account_registry::files::set_hook_for_testing(
            [actions, kill_at](std::string_view, const std::filesystem::path&) -> std::expected<void, std::string> {
                if ((*actions)++ == kill_at) {
                    ::_exit(crashed);
                }
                return {};
            });
        ::_exit(work() ? 0 : 3);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> leftovers(const std::filesystem::path& root)
{
    std::vector<std::string> names;
    for (const auto* dir : {"accounts", "vault"}) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(root / dir, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with(".mutation-journal.json.tmp-") || name.starts_with(".vault.enc.tmp-") ||
                name == "mutation-journal.json") {
                names.push_back(name);
            }
        }
    }
    return names;
}

TEST(JournalCrash, EveryKillPointOfEveryChangeRecoversToBeforeOrAfter)
{
    for (const Change& change : changes()) {
        int completed_at = -1;
        for (int kill_at = 0; kill_at < 40 && completed_at < 0; ++kill_at) {
            TempHome home;
            const AccountPaths paths{.root = home.root()};
            const Snapshot before = two_accounts();
            seed(paths, before);
            const Snapshot after = change.after(before);

            const int status = run_child([&] { return change.run(paths).has_value(); }, kill_at);
            ASSERT_TRUE(status == crashed || status == 0) << change.name << " at " << kill_at << ": " << status;
            if (status == 0) {
                completed_at = kill_at;
            }

            // A crash during the recovery itself (at each of its steps) is settled by the next start.
            for (int recovery_kill = 0; recovery_kill < 8; ++recovery_kill) {
                if (run_child([&] { paths.recover_interrupted_mutation(); return true; }, recovery_kill) == 0) {
                    break;
                }
            }
            paths.recover_interrupted_mutation();

            // The change counts only once its journal was removed: any earlier crash rolls it back.
            const Snapshot expected = status == 0 ? after : before;
            EXPECT_EQ(snapshot(paths), expected) << change.name << " killed before file action " << kill_at;
            EXPECT_TRUE(leftovers(home.root()).empty()) << change.name << " at " << kill_at;
            EXPECT_EQ(mode_of(*paths.vault_path()), 0600u);
        }
        // At least the journal, one store and the journal's removal.
        EXPECT_GE(completed_at, 3) << change.name << " finished without reaching its file actions";
    }
}

TEST(JournalCrash, RandomKillsDuringRepeatedChanges)
{
    TempHome home;
    const AccountPaths paths{.root = home.root()};
    const Snapshot with_account = two_accounts();
    Snapshot without_account = with_account;
    without_account.store.remove("dav-1");
    without_account.statuses.remove("dav-1");
    without_account.secrets.erase("dav-1");
    seed(paths, with_account);
    const Account dav = with_account.store.accounts[1];

    std::mt19937 random(20250117);
    std::uniform_int_distribution<int> delay_us(0, 20000);
    int saw_with = 0;
    int saw_without = 0;
    for (int round = 0; round < 40; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {  // remove and add the account again until killed
                if (!remove_account(paths, AccountKind::WebDav, "dav-1") || !save_account(paths, dav, "dav secret")) {
                    ::_exit(3);
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the changing child failed with " << WEXITSTATUS(status);

        paths.recover_interrupted_mutation();
        const Snapshot now = snapshot(paths);
        const bool has_account = now.store.get("dav-1") != nullptr;
        const Snapshot& expected = has_account ? with_account : without_account;
        EXPECT_EQ(now.store, expected.store) << "round " << round;
        EXPECT_EQ(now.secrets, expected.secrets) << "round " << round;
        // The status of "dav-1" goes with its first removal and is not written again by a save.
        EXPECT_EQ(now.statuses.statuses.at("mail-1"), with_account.statuses.statuses.at("mail-1"));
        EXPECT_LE(now.statuses.statuses.size(), 2u);
        EXPECT_TRUE(leftovers(home.root()).empty()) << "round " << round;
        (has_account ? saw_with : saw_without) += 1;
    }
    EXPECT_EQ(saw_with + saw_without, 40);
}

}  // namespace
}  // namespace settings::accounts
