#include "operations/account_check.hpp"

#include "vorn_log/log.hpp"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace settings::operations {

CheckResultText run_account_check(const accounts::AccountProbe& probe, const account_registry::Account& account,
                                  account_registry::SecretString& secret, std::stop_token stop)
{
    struct Wipe {
        account_registry::SecretString& secret;
        ~Wipe() { secret.wipe(); }
    } wipe{secret};
    return probe.probe_cancellable(account, secret.view(), std::move(stop));
}

// The channel of capacity 1, shared by the worker (sender) and the check (receiver).
struct AccountCheck::Slot {
    std::mutex mutex;
    std::optional<CheckResultText> result;
    bool sender_gone = false;
    std::stop_source stop;
};

namespace {

// The check workers of the process that have not ended yet. Never destroyed: a worker may end after static
// destructors began.
struct Workers {
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;
};

Workers& workers()
{
    static auto* const instance = new Workers();
    return *instance;
}

// Counts one worker for as long as it lives.
class WorkerCount {
public:
    WorkerCount()
    {
        const std::lock_guard lock(workers().mutex);
        ++workers().running;
    }
    WorkerCount(WorkerCount&& other) noexcept : counted_(std::exchange(other.counted_, false)) {}
    WorkerCount(const WorkerCount&) = delete;
    WorkerCount& operator=(const WorkerCount&) = delete;
    WorkerCount& operator=(WorkerCount&&) = delete;
    ~WorkerCount()
    {
        if (counted_) {
            const std::lock_guard lock(workers().mutex);
            --workers().running;
            workers().ended.notify_all();
        }
    }

private:
    bool counted_ = true;
};

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
    struct Job {
        std::shared_ptr<const accounts::AccountProbe> probe;
        account_registry::Account account;
        account_registry::SecretString secret;
        Sender sender;
        std::stop_token stop;
    };
    auto job = std::make_unique<Job>(Job{.probe = std::move(probe),
                                         .account = std::move(account),
                                         .secret = std::move(secret),
                                         .sender = Sender(slot_),
                                         .stop = slot_->stop.get_token()});
    std::thread([count = WorkerCount(), job = std::move(job)]() mutable {
        try {
            job->sender.send(run_account_check(*job->probe, job->account, job->secret, job->stop));
        } catch (const std::exception& error) {
            VORN_WARN("account_check", "connection check failed without a result: {}", error.what());
        } catch (...) {
            VORN_WARN("account_check", "connection check failed without a result");
        }
        // Wipes the secret, releases the probe and closes the sending end; the worker counts as ended only after.
        job.reset();
    }).detach();
}

AccountCheck& AccountCheck::operator=(AccountCheck&& other) noexcept
{
    if (this != &other) {
        cancel();
        slot_ = std::move(other.slot_);
        deadline_ = other.deadline_;
    }
    return *this;
}

AccountCheck::~AccountCheck() { cancel(); }

void AccountCheck::cancel()
{
    if (slot_) {
        slot_->stop.request_stop();
    }
}

bool AccountCheck::wait_for_workers(std::chrono::steady_clock::duration limit)
{
    std::unique_lock lock(workers().mutex);
    return workers().ended.wait_for(lock, limit, [] { return workers().running == 0; });
}

AccountCheck::Received AccountCheck::try_receive(std::chrono::steady_clock::time_point now,
                                                std::string_view disconnected) const
{
    const std::lock_guard lock(slot_->mutex);
    if (slot_->result) {
        return {State::Finished, *slot_->result};
    }
    if (slot_->sender_gone) {
        return {State::Ended, std::unexpected(std::string(disconnected))};
    }
    if (now >= deadline_) {
        return {State::Ended, std::unexpected(std::string(timed_out_message))};
    }
    return {State::Running, {}};
}

}  // namespace settings::operations
