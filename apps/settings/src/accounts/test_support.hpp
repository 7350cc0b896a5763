#pragma once
// Helpers of the account tests: a private account root with two accounts, snapshots of all three stores, and
// injected file failures.

#include "accounts/paths.hpp"
#include "accounts/records.hpp"
#include "test_support/temp_home.hpp"

#include "account_registry/registry.hpp"
#include "account_registry/vault.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <vector>
#include <ostream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace settings::accounts::testing {

using test_support::read_file;
using test_support::write_file;

// A fresh directory that is also the configuration directory (XDG_CONFIG_HOME) for the object's life, so that
// nothing reaches the user's own files. Injected file failures end with it.
class TempHome : public test_support::ConfigHome {
public:
    TempHome() : test_support::ConfigHome("vorn-accounts") {}
    ~TempHome() { account_registry::files::set_hook_for_testing(nullptr); }
    // The account root that the default paths resolve to.
    [[nodiscard]] std::filesystem::path root() const { return path() / "vorn"; }
};

inline unsigned mode_of(const std::filesystem::path& path)
{
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

inline Account mail_account(const std::string& id, const std::string& email)
{
    Account account(id, "email");
    account.display_name = "Mail " + id;
    store_serialized_value(account, AccountConfig{.display_name = "Mail " + id,
                                                  .email = email,
                                                  .imap_host = "imap.example.org",
                                                  .imap_port = 993,
                                                  .imap_tls = true,
                                                  .smtp_host = "smtp.example.org",
                                                  .smtp_port = 465,
                                                  .smtp_tls = true,
                                                  .username = email});
    return account;
}

inline Account webdav_account(const std::string& id)
{
    Account account(id, "webdav");
    account.display_name = "Files " + id;
    account.tint = 4;
    store_serialized_value(account, DavAccount{.id = id,
                                               .label = "Files " + id,
                                               .base_url = "https://dav.example.org/remote.php/dav",
                                               .username = "sam"});
    return account;
}

// Everything the three stores hold, the vault's secrets decrypted.
struct Snapshot {
    AccountStore store;
    AccountSyncStatusStore statuses;
    std::map<std::string, std::string> secrets;

    bool operator==(const Snapshot&) const = default;
};

inline void PrintTo(const Snapshot& s, std::ostream* os)
{
    *os << encode_record(s.store) << " " << encode_record(s.statuses) << " secrets:";
    for (const auto& [id, secret] : s.secrets) {
        *os << " " << id << "=" << secret;
    }
}

inline Snapshot snapshot(const AccountPaths& paths)
{
    Snapshot s;
    auto store = paths.try_load_store();
    EXPECT_TRUE(store) << store.error();
    auto statuses = paths.try_load_statuses();
    EXPECT_TRUE(statuses) << statuses.error();
    auto vault = paths.open_vault();
    EXPECT_TRUE(vault) << vault.error();
    if (store) {
        s.store = *store;
    }
    if (statuses) {
        s.statuses = *statuses;
    }
    if (vault) {
        for (const auto& id : vault->ids()) {
            s.secrets[id] = std::string(vault->get(id)->view());
        }
    }
    return s;
}

// Writes all three stores as the snapshot holds them (without a journal).
inline void seed(const AccountPaths& paths, const Snapshot& s)
{
    ASSERT_TRUE(paths.save_store(s.store));
    ASSERT_TRUE(paths.save_statuses(s.statuses));
    auto vault = paths.open_vault();
    ASSERT_TRUE(vault) << vault.error();
    for (const auto& id : vault->ids()) {
        vault->remove(id);
    }
    for (const auto& [id, secret] : s.secrets) {
        vault->put(id, account_registry::SecretString(secret));
    }
    ASSERT_TRUE(vault->save());
}

// Two accounts with their credentials and statuses.
inline Snapshot two_accounts()
{
    Snapshot s;
    s.store.accounts = {mail_account("mail-1", "ada@example.org"), webdav_account("dav-1")};
    s.store.active["email"] = "mail-1";
    s.statuses.statuses["mail-1"] = AccountSyncStatus{.health = AccountSyncHealth::Healthy,
                                                      .last_attempt_unix = 1700000000,
                                                      .last_success_unix = 1700000000,
                                                      .message = std::nullopt};
    s.statuses.statuses["dav-1"] = AccountSyncStatus{.health = AccountSyncHealth::Offline};
    s.secrets = {{"mail-1", "mail secret"}, {"dav-1", "dav secret"}};
    return s;
}

// Injected file failures while the object lives: a write (or removal) of a file with the given name fails with
// the given error, every time or only after `pass` successful ones (so that a write can succeed once and fail on
// its write-back), and at most `times` times when that is not negative.
class Faults {
public:
    Faults() { install(); }
    Faults(const Faults&) = delete;
    Faults& operator=(const Faults&) = delete;
    ~Faults() { account_registry::files::set_hook_for_testing(nullptr); }

    Faults& fail(std::string name, std::string error, int pass = 0, std::string action = "write", int times = -1)
    {
        rules_->push_back(Rule{std::move(name), std::move(action), std::move(error), pass, times});
        return *this;
    }

private:
    struct Rule {
        std::string name;
        std::string action;
        std::string error;
        int pass;
        int times;
    };

    void install()
    {
        account_registry::files::set_hook_for_testing(
            [rules = rules_](std::string_view what,
                             const std::filesystem::path& path) -> std::expected<void, std::string> {
                for (Rule& rule : *rules) {
                    if (rule.action != what || path.filename() != rule.name) {
                        continue;
                    }
                    if (rule.pass > 0) {
                        --rule.pass;
                        return {};
                    }
                    if (rule.times == 0) {
                        return {};
                    }
                    if (rule.times > 0) {
                        --rule.times;
                    }
                    return std::unexpected(rule.error);
                }
                return {};
            });
    }

    std::shared_ptr<std::vector<Rule>> rules_ = std::make_shared<std::vector<Rule>>();
};

}  // namespace settings::accounts::testing
