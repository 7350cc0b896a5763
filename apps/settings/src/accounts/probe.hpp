#pragma once
// The account connection check: one sign-in with the saved credential (IMAP for mail accounts, an authenticated
// PROPFIND for CalDAV, WebDAV and Nextcloud accounts), reported as one sentence.
//
// probe() blocks until the check ends, within its own time limits, so callers run it on a worker thread of their
// own. An implementation holds no state that a check changes: the application creates one shared instance
// (account_probe::default_account_probe()) and hands it to every External Accounts page, and several checks may run
// at once on different threads.

#include "account_registry/records.hpp"

#include <expected>
#include <stop_token>
#include <string>
#include <string_view>

namespace settings::accounts {

class AccountProbe {
public:
    // The failure of a check that was stopped before it ended.
    static constexpr std::string_view cancelled_message = "connection check cancelled";

    AccountProbe() = default;
    AccountProbe(const AccountProbe&) = delete;
    AccountProbe& operator=(const AccountProbe&) = delete;
    virtual ~AccountProbe() = default;

    // Success with a sentence ("IMAP sign-in succeeded"), or failure with a sentence. The secret is only read
    // during the call; the caller owns it and wipes it afterwards.
    [[nodiscard]] virtual std::expected<std::string, std::string> probe(const account_registry::Account& account,
                                                                        std::string_view secret) const = 0;

    // The same check, ended early with cancelled_message soon after `stop` is stopped (the window closed, nobody
    // waits any more). A probe without waits of its own may ignore the token: the default runs probe().
    [[nodiscard]] virtual std::expected<std::string, std::string> probe_cancellable(
        const account_registry::Account& account, std::string_view secret, std::stop_token /*stop*/) const
    {
        return probe(account, secret);
    }
};

}  // namespace settings::accounts
