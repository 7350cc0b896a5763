#pragma once
// The accounts of the registry grouped by kind, as the External Accounts page shows and edits them, and the
// one-time import of the two legacy account lists ("files/accounts.json" and "nextcloud/accounts.json").

#include "accounts/paths.hpp"
#include "accounts/records.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace settings::accounts {

struct MailAccountRow {
    std::string id;
    AccountConfig config;
    bool dirty = false;  // the loader sets it to false
    std::uint8_t tint = 0;

    bool operator==(const MailAccountRow&) const = default;
};

struct MailAccounts {
    std::vector<MailAccountRow> rows;
    // The position of the registry's active "email" account in rows; 0 when there is none or it is not listed.
    // With no rows at all this 0 names no row: check rows first.
    std::size_t active = 0;

    bool operator==(const MailAccounts&) const = default;
};

template <class Row>
struct AccountRowBuilders {
    std::function<Row(const MailAccountRow&)> mail;
    std::function<Row(const DavAccount&)> dav;  // CalDAV and WebDAV
    std::function<Row(const NextcloudAccount&)> nextcloud;
};

struct AccountLists {
    MailAccounts mail;
    DavStore caldav{.version = 1};
    DavStore webdav{.version = 1};
    NextcloudStore nextcloud{.version = 1};

    // True when all four lists are empty.
    [[nodiscard]] bool is_empty() const;

    // The rows of one kind in list order, each passed through the builder for that kind.
    template <class Row>
    [[nodiscard]] std::vector<Row> rows_of(AccountKind kind, const AccountRowBuilders<Row>& build) const
    {
        std::vector<Row> rows;
        switch (kind) {
            case AccountKind::Mail:
                for (const auto& row : mail.rows) {
                    rows.push_back(build.mail(row));
                }
                break;
            case AccountKind::CalDav:
            case AccountKind::WebDav:
                for (const auto& account : (kind == AccountKind::CalDav ? caldav : webdav).accounts) {
                    rows.push_back(build.dav(account));
                }
                break;
            case AccountKind::Nextcloud:
                for (const auto& account : nextcloud.accounts) {
                    rows.push_back(build.nextcloud(account));
                }
                break;
        }
        return rows;
    }

    bool operator==(const AccountLists&) const = default;
};

// The lists built from a store: mail accounts whose config reads as AccountConfig; every CalDAV account (server
// address and user name from its config's "server_url" and "username" when they are texts, else empty); WebDAV
// and Nextcloud accounts whose config reads as their record, with id, label, enabled and tint taken from the
// account.
[[nodiscard]] AccountLists account_lists_from_store(const AccountStore& store);

// Adds the legacy records whose ids the store does not hold yet (in file order; WebDAV first) as "webdav" and
// "nextcloud" accounts whose config is the whole record; true when the store gained accounts.
bool merge_legacy_account(AccountStore& store, const DavStore& webdav, const NextcloudStore& nextcloud);

}  // namespace settings::accounts
