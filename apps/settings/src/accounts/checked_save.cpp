#include "accounts/checked_save.hpp"

#include "text_utf8/text_utf8.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

namespace settings::accounts {

DraftInputs CheckedForm::inputs() const
{
    return DraftInputs{.display_name = display_name,
                       .identity = kind == AccountKind::Mail ? std::string_view(email) : std::string_view(username),
                       .username = username,
                       .server_url = server_url,
                       .password = password.view()};
}

std::expected<void, std::string> save_checked_draft(const AccountPaths& paths, const CheckedForm& form)
{
    auto draft = save_account_draft(paths, form.kind, form.editing_id, form.reserved_id, form.inputs());
    if (!draft) {
        return std::unexpected(std::move(draft.error()));
    }
    const std::string id = draft->account.id;  // the account itself moves into the store below

    auto store = paths.try_load_store();
    if (!store) {
        return std::unexpected(fmt::format("could not read account store: {}", store.error()));
    }
    auto statuses = paths.try_load_statuses();
    if (!statuses) {
        return std::unexpected(fmt::format("could not read account sync status: {}", statuses.error()));
    }
    if (auto begun = paths.begin_mutation(*store, *statuses); !begun) {
        return begun;
    }

    // The credential first, remembering what it replaces; an edit with an empty password keeps the saved one.
    const bool credential_put = !text_utf8::trim_white_space(form.password.view()).empty();
    std::optional<account_registry::SecretString> remembered;
    if (credential_put) {
        auto vault = paths.open_vault();
        if (!vault) {
            (void)paths.clear_mutation();
            return std::unexpected(fmt::format("could not open credential vault: {}", vault.error()));
        }
        remembered = vault->take(id);
        vault->put(id, draft->secret.clone());
        if (auto saved = vault->save(); !saved) {
            (void)paths.clear_mutation();
            return std::unexpected(fmt::format("could not save credential: {}", saved.error()));
        }
    }

    AccountStore changed = *store;
    changed.upsert(std::move(draft->account));
    auto saved = paths.save_store(changed);
    if (saved) {
        return commit_account_mutation(paths, "account save");
    }
    const std::string message = fmt::format("could not persist account: {}", saved.error());
    if (credential_put) {
        if (auto restored = put_back_credential(paths, id, remembered); !restored) {
            // The journal stays: the next start (or change) puts the vault back as it was.
            return std::unexpected(fmt::format("{}; credential rollback also failed: {}", message, restored.error()));
        }
    }
    (void)paths.clear_mutation();
    VORN_WARN("account_store_save", "failed to persist account metadata: {}", saved.error());
    return std::unexpected(message);
}

std::expected<void, std::string> update_credential(const AccountPaths& paths, std::string_view id,
                                                   const account_registry::SecretString& secret)
{
    // The account may have been removed while its new credential was being checked: a credential is never kept
    // without its account.
    auto store = paths.try_load_store();
    if (!store) {
        return std::unexpected(fmt::format("could not read account store: {}", store.error()));
    }
    if (store->get(id) == nullptr) {
        return std::unexpected(std::string(draft_sentences::no_longer_exists));
    }
    auto vault = paths.open_vault();
    if (!vault) {
        return std::unexpected(fmt::format("could not open credential vault: {}", vault.error()));
    }
    vault->put(std::string(id), secret.clone());
    return vault->save();
}

}  // namespace settings::accounts
