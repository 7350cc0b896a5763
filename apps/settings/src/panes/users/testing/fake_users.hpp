#pragma once
// An in-memory machine for the Users page's tests: login accounts and signing identities that the fake backends
// change, every call recorded, answers scriptable; and a worker that runs when the test says so.

#include "panes/users/users_model.hpp"

#include <deque>
#include <map>
#include <mutex>

namespace settings::panes::users::testing {

class FakeMachine : public std::enable_shared_from_this<FakeMachine> {
public:
    struct State {
        std::vector<LocalUser> users;
        std::optional<std::filesystem::path> identity_dir = std::filesystem::path("/home/ada/.local/share/vorn/identities");
        std::vector<IdentitySummary> identities;
        // Answers of the changes by name ("create_user", "set_role", ...): an error text makes that change fail.
        std::map<std::string, std::string, std::less<>> failures;
        // Every change asked for, as "set_role grace true", "create_user bob Bob Builder <password>", ...
        std::vector<std::string> calls;
    };

    [[nodiscard]] static std::shared_ptr<FakeMachine> create(State state);

    [[nodiscard]] State state() const;
    template <class F>
    void change(F&& f)
    {
        const std::lock_guard lock(mutex_);
        f(state_);
    }
    [[nodiscard]] std::vector<std::string> calls() const { return state().calls; }

    // The page's environment on this machine, with `worker`.
    [[nodiscard]] UsersModel::Environment environment(page_workers::Executor worker);

private:
    class Admin;
    class Identities;
    explicit FakeMachine(State state) : state_(std::move(state)) {}
    Outcome record(std::string call, std::string_view name);

    mutable std::mutex mutex_;
    State state_;
};

// Keeps the work handed over until the test runs it.
class ManualWorker {
public:
    [[nodiscard]] page_workers::Executor executor()
    {
        return [this](std::function<void()> work) { work_.push_back(std::move(work)); };
    }
    // Runs everything handed over so far (and what that hands over), in order; answers how much ran.
    std::size_t run()
    {
        std::size_t count = 0;
        while (!work_.empty()) {
            auto next = std::move(work_.front());
            work_.pop_front();
            next();
            ++count;
        }
        return count;
    }
    [[nodiscard]] std::size_t waiting() const { return work_.size(); }

private:
    std::deque<std::function<void()>> work_;
};

// Ada (administrator, signed in), Alan (standard, automatic login) and Grace (administrator).
[[nodiscard]] std::vector<LocalUser> sample_users();
// "work" (active, Secret Service, 2-of-3), "laptop" (no name, private file), "old" (needs migration).
[[nodiscard]] std::vector<IdentitySummary> sample_identities();

}  // namespace settings::panes::users::testing
