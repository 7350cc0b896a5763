#include "operations/account_check.hpp"

#include "vorn_log/log.hpp"

#include <mutex>
#include <thread>
#include <utility>

namespace settings::operations {

CheckResultText run_account_check(const accounts::AccountProbe& probe, const account_registry::Account& account,
                                  account_registry::SecretString& secret)
{
    struct Wipe {
        account_registry::SecretString& secret;
        ~Wipe() { secret.wipe(); }
    } wipe{secret};
    return probe.probe(account, secret.view());
}

// The channel of capacity 1, shared by the worker (sender) and the check (receiver).
struct AccountCheck::Slot {
    std::mutex mutex;
    std::optional<CheckResultText> result;
    bool sender_gone = false;
};

namespace {

// The worker's end of the channel: sends at most one result, and marks the sender gone when the worker ends,
// with or without a result.
class Sender {
public:
    explicit Sender(std::shared_ptr<AccountCheck::Slot> slot) : slot_(std::move(slot)) {}
    Sender(Sender&&) = default;
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;
    Sender& operator=(Sender&&) = delete;
    ~Sender()
    {
        if (slot_) {
            const std::lock_guard lock(slot_->mutex);
            slot_->sender_gone = true;
        }
    }

    void send(CheckResultText result)
    {
        const std::lock_guard lock(slot_->mutex);
        if (!slot_->result) {
            slot_->result = std::move(result);
        }
    }

private:
    std::shared_ptr<AccountCheck::Slot> slot_;
};

}  // namespace

AccountCheck::AccountCheck(std::shared_ptr<const accounts::AccountProbe> probe, account_registry::Account account,
                           account_registry::SecretString secret, std::chrono::steady_clock::time_point deadline)
    : slot_(std::make_shared<Slot>()), deadline_(deadline)
{
    std::thread([probe = std::move(probe), account = std::move(account), secret = std::move(secret),
                 sender = Sender(slot_)]() mutable {
        try {
            sender.send(run_account_check(*probe, account, secret));
        } catch (const std::exception& error) {
            VORN_WARN("account_check", "connection check failed without a result: {}", error.what());
        } catch (...) {
            VORN_WARN("account_check", "connection check failed without a result");
        }
        secret.wipe();
    }).detach();
}

AccountCheck::Received AccountCheck::try_receive(std::chrono::steady_clock::time_point now) const
{
    const std::lock_guard lock(slot_->mutex);
    if (slot_->result) {
        return {State::Finished, *slot_->result};
    }
    if (slot_->sender_gone) {
        return {State::Ended, std::unexpected(std::string(no_result_message))};
    }
    if (now >= deadline_) {
        return {State::Ended, std::unexpected(std::string(timed_out_message))};
    }
    return {State::Running, {}};
}

}  // namespace settings::operations
