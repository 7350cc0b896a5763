#pragma once
// The account connection check: one sign-in with the saved credential (IMAP for mail accounts, an authenticated
// PROPFIND for CalDAV, WebDAV and Nextcloud accounts), reported as one sentence.
//
// probe() blocks until the check ends, within its own time limits, so callers run it on a worker thread of their
// own. An implementation holds no state that a check changes: the application creates one shared instance and hands
// it to every External Accounts page, and several checks may run at once on different threads.

#include "account_registry/records.hpp"

#include <expected>
#include <memory>
#include <string>
#include <string_view>

namespace settings::accounts {

class AccountProbe {
public:
    AccountProbe() = default;
    AccountProbe(const AccountProbe&) = delete;
    AccountProbe& operator=(const AccountProbe&) = delete;
    virtual ~AccountProbe() = default;

    // Success with a sentence ("IMAP sign-in succeeded"), or failure with a sentence. The secret is only read
    // during the call; the caller owns it and wipes it afterwards.
    [[nodiscard]] virtual std::expected<std::string, std::string> probe(const account_registry::Account& account,
                                                                        std::string_view secret) const = 0;
};

// The check of this build: it answers, without any network access, that the check is not available.
class UnavailableAccountProbe final : public AccountProbe {
public:
    static constexpr std::string_view unavailable_message = "account connection check is not available in this build";

    [[nodiscard]] std::expected<std::string, std::string> probe(const account_registry::Account& account,
                                                                std::string_view secret) const override;
};

// The one probe the application shares with its pages.
[[nodiscard]] std::shared_ptr<const AccountProbe> default_account_probe();

}  // namespace settings::accounts
