#pragma once
// The one account connection check the application object runs for the "Test" account operation.
//
// The check runs the account probe on a detached worker thread of its own, which owns copies of the account
// record and of its secret and hands its one result back through a one-slot channel; the UI thread never waits on
// it. The secret is wiped as soon as the probe returns (or throws). A check always ends: with the probe's result,
// with "connection check ended without a result" when the worker ends without one, with "connection check timed
// out" once its deadline has passed, or cancelled by the poll.
//
// Dropping the receiving end stops the probe (its I/O looks at a stop flag), so a check nobody waits for ends
// within moments instead of running out its time limits. wait_for_workers() lets the application wait, bounded,
// until no worker is left before the program ends.

#include "accounts/probe.hpp"

#include "account_registry/records.hpp"
#include "account_registry/secret.hpp"

#include <chrono>
#include <expected>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

namespace settings::operations {

using CheckResultText = std::expected<std::string, std::string>;

// Runs the probe and wipes the secret afterwards, whatever happens. An exception of the probe passes on.
[[nodiscard]] CheckResultText run_account_check(const accounts::AccountProbe& probe,
                                                const account_registry::Account& account,
                                                account_registry::SecretString& secret, std::stop_token stop = {});

// The receiving end of one running check.
class AccountCheck {
public:
    static constexpr std::string_view no_result_message = "connection check ended without a result";
    static constexpr std::string_view timed_out_message = "connection check timed out";

    // Starts the worker thread.
    AccountCheck(std::shared_ptr<const accounts::AccountProbe> probe, account_registry::Account account,
                 account_registry::SecretString secret, std::chrono::steady_clock::time_point deadline);
    AccountCheck(AccountCheck&& other) noexcept = default;
    AccountCheck& operator=(AccountCheck&& other) noexcept;
    AccountCheck(const AccountCheck&) = delete;
    AccountCheck& operator=(const AccountCheck&) = delete;
    // Stops the probe when the check is still running.
    ~AccountCheck();

    // Asks the probe to stop; the check then ends with the probe's "connection check cancelled".
    void cancel();

    // Waits until no check worker of this process is running, at most `limit`; false when some still run.
    static bool wait_for_workers(std::chrono::steady_clock::duration limit);

    enum class State : std::uint8_t { Running, Finished, Ended };
    struct Received {
        State state = State::Running;
        CheckResultText result;  // Finished: the probe's result; Ended: the failure sentence
    };
    // A non-blocking look at the channel at the instant `now`: the result when one is waiting; else, when the
    // worker ended without one, `disconnected` (no_result_message unless given); else, once the deadline has
    // passed, timed_out_message.
    [[nodiscard]] Received try_receive(std::chrono::steady_clock::time_point now,
                                       std::string_view disconnected = no_result_message) const;
    [[nodiscard]] std::chrono::steady_clock::time_point deadline() const { return deadline_; }

    // The one-slot channel between the worker and the check.
    struct Slot;

private:
    std::shared_ptr<Slot> slot_;
    std::chrono::steady_clock::time_point deadline_;
};

}  // namespace settings::operations
