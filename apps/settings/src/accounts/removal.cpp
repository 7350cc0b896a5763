#include "accounts/removal.hpp"

#include <fmt/format.h>

#include <optional>

namespace settings::accounts {

std::expected<void, std::string> remove_account(const AccountPaths& paths, AccountKind kind, std::string_view id)
{
    auto store = paths.try_load_store();
    if (!store) {
        return std::unexpected(fmt::format("could not read account store: {}", store.error()));
    }
    if (const Account* account = store->get(id); account != nullptr && account->type_id != account_type_id(kind)) {
        return std::unexpected(std::string("account type changed before removal; refresh Settings and try again"));
    }
    auto statuses = paths.try_load_statuses();
    if (!statuses) {
        return std::unexpected(fmt::format("could not read account sync status: {}", statuses.error()));
    }
    if (auto begun = paths.begin_mutation(*store, *statuses); !begun) {
        return begun;
    }

    auto vault = paths.open_vault();
    if (!vault) {
        // Nothing was changed: the journal can go, and a vault that cannot be opened is never written over.
        (void)paths.clear_mutation();
        return std::unexpected(fmt::format("could not open credential vault: {}", vault.error()));
    }
    std::optional<account_registry::SecretString> remembered = vault->take(id);
    const bool credential_removed = remembered.has_value();
    if (credential_removed) {
        if (auto saved = vault->save(); !saved) {
            (void)paths.clear_mutation();
            return std::unexpected(fmt::format("could not remove saved credential: {}", saved.error()));
        }
    }

    AccountStore changed_store = *store;
    changed_store.remove(id);
    if (auto saved = paths.save_store(changed_store); !saved) {
        std::optional<std::string> rollback_error;
        if (credential_removed) {
            if (auto restored = put_back_credential(paths, id, remembered); !restored) {
                rollback_error = restored.error();
            }
        }
        std::string message = fmt::format("could not remove account metadata: {}", saved.error());
        if (rollback_error) {
            // The journal stays: the next start (or change) puts the credential back.
            return std::unexpected(fmt::format("{}; rollback also failed: {}", message, *rollback_error));
        }
        (void)paths.clear_mutation();
        return std::unexpected(std::move(message));
    }

    AccountSyncStatusStore changed_statuses = *statuses;
    changed_statuses.remove(id);
    if (auto saved = paths.save_statuses(changed_statuses); !saved) {
        std::optional<std::string> store_error;
        std::optional<std::string> vault_error;
        if (auto restored = paths.save_store(*store); !restored) {
            store_error = restored.error();
        }
        if (credential_removed) {
            if (auto restored = put_back_credential(paths, id, remembered); !restored) {
                vault_error = restored.error();
            }
        }
        std::string message = fmt::format("could not remove account sync status: {}", saved.error());
        if (store_error && vault_error) {
            return std::unexpected(
                fmt::format("{}; rollback also failed: {}; {}", message, *store_error, *vault_error));
        }
        if (store_error || vault_error) {
            return std::unexpected(
                fmt::format("{}; rollback also failed: {}", message, store_error ? *store_error : *vault_error));
        }
        (void)paths.clear_mutation();
        return std::unexpected(std::move(message));
    }

    return commit_account_mutation(paths, "account removal");
}

}  // namespace settings::accounts
