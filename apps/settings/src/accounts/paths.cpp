#include "accounts/paths.hpp"

#include "accounts/records.hpp"

#include "account_registry/registry.hpp"
#include "config_sections/config_sections.hpp"
#include "safe_write/safe_write.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <cstring>

namespace settings::accounts {
namespace {

constexpr std::string_view no_config_dir = "no config dir";
constexpr std::string_view journal_name = "mutation-journal.json";

std::unexpected<std::string> fail(std::string_view format_text, const std::string& inner)
{
    return std::unexpected(fmt::format(fmt::runtime(format_text), inner));
}

// The effective root passed through `f`, or the root's error.
template <class F>
auto with_root(const std::expected<std::filesystem::path, std::string>& root, F&& f)
    -> std::expected<std::remove_cvref_t<decltype(f(*root))>, std::string>
{
    if (!root) {
        return std::unexpected(root.error());
    }
    return f(*root);
}

// The same for an `f` that has an outcome of its own.
template <class F>
auto then_root(const std::expected<std::filesystem::path, std::string>& root, F&& f) -> decltype(f(*root))
{
    if (!root) {
        return std::unexpected(root.error());
    }
    return f(*root);
}

}  // namespace

std::optional<std::filesystem::path> AccountPaths::config_root() const
{
    if (root) {
        return root;
    }
    return account_registry::config_root();
}

std::expected<std::filesystem::path, std::string> AccountPaths::accounts_root() const
{
    if (auto r = config_root()) {
        return *r;
    }
    return std::unexpected(std::string(no_config_dir));
}

std::expected<std::filesystem::path, std::string> AccountPaths::require_root() const { return accounts_root(); }

std::optional<std::filesystem::path> AccountPaths::config_file(std::string_view name) const
{
    if (root) {
        return *root / name;
    }
    // The settings store's configuration directory: the folder of the settings file.
    auto settings = config_sections::settings_path();
    if (!settings) {
        return std::nullopt;
    }
    return settings->parent_path() / name;
}

std::expected<std::filesystem::path, std::string> AccountPaths::accounts_dir() const
{
    return with_root(accounts_root(), [](const auto& r) { return account_registry::accounts_dir_in(r); });
}

std::expected<std::filesystem::path, std::string> AccountPaths::journal_path() const
{
    return with_root(accounts_dir(), [](const auto& dir) { return dir / journal_name; });
}

std::expected<std::filesystem::path, std::string> AccountPaths::vault_path() const
{
    return with_root(accounts_root(), [](const auto& r) { return account_registry::vault_dir_in(r) / "vault.enc"; });
}

std::expected<std::filesystem::path, std::string> AccountPaths::store_path() const
{
    return with_root(accounts_root(), [](const auto& r) { return account_registry::store_file_in(r); });
}

std::expected<std::filesystem::path, std::string> AccountPaths::statuses_path() const
{
    return with_root(accounts_root(), [](const auto& r) { return account_registry::status_file_in(r); });
}

AccountStore AccountPaths::load_store() const
{
    const auto r = config_root();
    if (!r) {
        return {};
    }
    auto store = account_registry::load_store_in(*r);
    if (!store) {
        VORN_WARN("account_store_load", "could not load the account store: {}", store.error());
        return {};
    }
    return std::move(*store);
}

std::expected<AccountStore, std::string> AccountPaths::try_load_store() const
{
    return then_root(accounts_root(), [](const auto& r) { return account_registry::load_store_in(r); });
}

std::expected<void, std::string> AccountPaths::save_store(const AccountStore& store) const
{
    return then_root(require_root(), [&](const auto& r) { return account_registry::save_store_in(r, store); });
}

AccountSyncStatusStore AccountPaths::load_statuses() const
{
    const auto r = config_root();
    if (!r) {
        return {};
    }
    auto statuses = account_registry::load_statuses_in(*r);
    if (!statuses) {
        VORN_WARN("account_status_load", "could not load the account sync statuses: {}", statuses.error());
        return {};
    }
    return std::move(*statuses);
}

std::expected<AccountSyncStatusStore, std::string> AccountPaths::try_load_statuses() const
{
    return then_root(accounts_root(), [](const auto& r) { return account_registry::load_statuses_in(r); });
}

std::expected<void, std::string> AccountPaths::save_statuses(const AccountSyncStatusStore& statuses) const
{
    return then_root(require_root(), [&](const auto& r) { return account_registry::save_statuses_in(r, statuses); });
}

std::expected<account_registry::SecretVault, std::string> AccountPaths::open_vault() const
{
    if (root) {
        return account_registry::SecretVault::open_in(*root);
    }
    return account_registry::SecretVault::open();
}

void AccountPaths::prepare_vault() const
{
    if (const auto r = config_root()) {
        account_registry::SecretVault::prepare_in(*r);
    }
}

bool AccountPaths::vault_ready() const
{
    const auto r = config_root();
    return !r || account_registry::SecretVault::ready_in(*r);
}

std::expected<void, std::string> AccountPaths::begin_mutation(const AccountStore& store,
                                                              const AccountSyncStatusStore& statuses) const
{
    if (auto settled = recover_mutation(); !settled) {
        return settled;
    }
    const auto vault = vault_path();
    if (!vault) {
        return std::unexpected(vault.error());
    }
    auto vault_bytes = account_registry::files::read(*vault);
    if (!vault_bytes) {
        return fail("could not read credential vault: {}", vault_bytes.error());
    }

    AccountMutationJournal journal{.previous_store = store, .previous_statuses = statuses};
    if (*vault_bytes) {
        const std::string& bytes = **vault_bytes;
        journal.previous_vault_ciphertext.emplace(bytes.size());
        std::memcpy(journal.previous_vault_ciphertext->data(), bytes.data(), bytes.size());
    }
    const std::string text = encode_record(journal);

    const auto path = journal_path();
    if (!path) {
        return std::unexpected(path.error());
    }
    if (auto written = account_registry::files::write_private(*path, text); !written) {
        return fail("could not persist account transaction intent: {}", written.error());
    }
    return {};
}

std::expected<void, std::string> AccountPaths::clear_mutation() const
{
    const auto path = journal_path();
    if (!path) {
        return std::unexpected(path.error());
    }
    if (auto removed = account_registry::files::remove(*path); !removed) {
        return fail("could not clear account transaction intent: {}", removed.error());
    }
    return {};
}

std::expected<void, std::string> AccountPaths::recover_mutation() const
{
    const auto path = journal_path();
    if (!path) {
        return std::unexpected(path.error());
    }
    auto text = account_registry::files::read(*path);
    if (!text) {
        return fail("could not read account transaction intent: {}", text.error());
    }
    if (!*text) {
        return {};  // no change in flight
    }
    auto journal = decode_record<AccountMutationJournal>(**text);
    if (!journal) {
        return fail("account transaction intent is invalid: {}", journal.error());
    }
    if (auto saved = save_store(journal->previous_store); !saved) {
        return fail("could not recover account metadata: {}", saved.error());
    }
    if (auto saved = save_statuses(journal->previous_statuses); !saved) {
        return fail("could not recover account sync status: {}", saved.error());
    }
    const auto vault = vault_path();
    if (!vault) {
        return std::unexpected(vault.error());
    }
    std::expected<void, std::string> restored;
    if (journal->previous_vault_ciphertext) {
        const auto& bytes = *journal->previous_vault_ciphertext;
        restored = account_registry::files::write_private(
            *vault, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } else {
        restored = account_registry::files::remove(*vault);
    }
    if (!restored) {
        return fail("could not recover credential vault: {}", restored.error());
    }
    return clear_mutation();
}

void AccountPaths::recover_interrupted_mutation() const
{
    if (!config_root()) {
        return;
    }
    if (auto recovered = recover_mutation(); !recovered) {
        VORN_WARN("account_mutation_recovery", "could not recover interrupted account mutation: {}",
                  recovered.error());
        return;
    }
    // Temporary files that a write interrupted by a crash left beside the journal and the vault.
    if (const auto journal = journal_path()) {
        safe_write::remove_stale_temporaries(*journal);
    }
    if (const auto vault = vault_path()) {
        safe_write::remove_stale_temporaries(*vault);
    }
}

std::expected<void, std::string> put_back_credential(const AccountPaths& paths, std::string_view id,
                                                     const std::optional<account_registry::SecretString>& remembered)
{
    auto vault = paths.open_vault();
    if (!vault) {
        return std::unexpected(vault.error());
    }
    if (remembered) {
        vault->put(std::string(id), remembered->clone());
    } else {
        vault->remove(id);
    }
    return vault->save();
}

std::expected<void, std::string> commit_account_mutation(const AccountPaths& paths, std::string_view label)
{
    auto cleared = paths.clear_mutation();
    if (cleared) {
        return {};
    }
    if (auto recovered = paths.recover_mutation(); !recovered) {
        return std::unexpected(fmt::format("could not complete {}: {}; recovery also failed: {}", label,
                                           cleared.error(), recovered.error()));
    }
    return std::unexpected(fmt::format("could not complete {}: {}; changes were rolled back", label, cleared.error()));
}

}  // namespace settings::accounts
