#include "operations/account_commands.hpp"

namespace settings::operations {

AccountCommandCell::AccountCommandCell() : shared_(std::make_shared<Shared>()), wake_(std::uint64_t{0}) {}

std::optional<std::uint64_t> AccountCommandCell::send(AccountPaneCommand command) const
{
    std::uint64_t serial = 0;
    {
        const std::lock_guard lock(shared_->mutex);
        if (shared_->queue.size() >= max_waiting) {
            return std::nullopt;
        }
        serial = shared_->next_serial++;
        shared_->queue.push_back(AccountCommandRequest{.serial = serial, .command = std::move(command)});
    }
    (void)wake_.publish(serial);
    return serial;
}

std::optional<AccountCommandOutcome> AccountCommandCell::take_answer(std::uint64_t serial) const
{
    const std::lock_guard lock(shared_->mutex);
    const auto found = shared_->answers.find(serial);
    if (found == shared_->answers.end()) {
        return std::nullopt;
    }
    AccountCommandOutcome outcome = std::move(found->second);
    shared_->answers.erase(found);
    return outcome;
}

bool AccountCommandCell::has_reader() const
{
    const std::lock_guard lock(shared_->mutex);
    return shared_->readers > 0;
}

bool AccountCommandCell::cancel(std::uint64_t serial) const
{
    const std::lock_guard lock(shared_->mutex);
    if (std::erase_if(shared_->queue, [&](const AccountCommandRequest& r) { return r.serial == serial; }) > 0) {
        return true;
    }
    if (shared_->taken.contains(serial)) {
        shared_->cancelled.insert(serial);
    }
    return false;
}

void AccountCommandCell::forget(std::uint64_t serial) const
{
    const std::lock_guard lock(shared_->mutex);
    std::erase_if(shared_->queue, [&](const AccountCommandRequest& r) { return r.serial == serial; });
    shared_->taken.erase(serial);
    shared_->cancelled.erase(serial);
    shared_->answers.erase(serial);
}

std::shared_ptr<const void> AccountCommandCell::attach() const
{
    struct Reader {
        std::shared_ptr<Shared> shared;
        explicit Reader(std::shared_ptr<Shared> s) : shared(std::move(s))
        {
            const std::lock_guard lock(shared->mutex);
            ++shared->readers;
        }
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;
        ~Reader()
        {
            const std::lock_guard lock(shared->mutex);
            --shared->readers;
        }
    };
    return std::make_shared<const Reader>(shared_);
}

std::optional<AccountCommandRequest> AccountCommandCell::take() const
{
    const std::lock_guard lock(shared_->mutex);
    if (shared_->queue.empty()) {
        return std::nullopt;
    }
    AccountCommandRequest request = std::move(shared_->queue.front());
    shared_->queue.pop_front();
    shared_->taken.insert(request.serial);
    return request;
}

bool AccountCommandCell::pending() const
{
    const std::lock_guard lock(shared_->mutex);
    return !shared_->queue.empty();
}

void AccountCommandCell::answer(std::uint64_t serial, AccountCommandOutcome outcome) const
{
    const std::lock_guard lock(shared_->mutex);
    if (shared_->taken.erase(serial) == 0) {
        return;  // forgotten, or answered already
    }
    shared_->cancelled.erase(serial);
    shared_->answers.insert_or_assign(serial, std::move(outcome));
}

bool AccountCommandCell::cancel_requested(std::uint64_t serial) const
{
    const std::lock_guard lock(shared_->mutex);
    return shared_->cancelled.contains(serial);
}

std::deque<AccountCommandRequest> AccountCommandCell::waiting() const
{
    const std::lock_guard lock(shared_->mutex);
    return shared_->queue;
}

}  // namespace settings::operations
