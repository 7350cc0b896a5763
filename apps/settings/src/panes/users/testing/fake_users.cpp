#include "panes/users/testing/fake_users.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace settings::panes::users::testing {

class FakeMachine::Admin final : public UserAdminBackend {
public:
    explicit Admin(std::shared_ptr<FakeMachine> machine) : machine_(std::move(machine)) {}

    Outcome create_user(std::string_view login, std::string_view full_name, std::string_view password) override
    {
        auto outcome = machine_->record(fmt::format("create_user {}|{}|{}", login, full_name, password), "create_user");
        if (outcome) {
            machine_->change([&](State& state) {
                state.users.push_back({.login = std::string(login),
                                       .full_name = full_name.empty() ? std::string(login) : std::string(full_name),
                                       .uid = 1000 + state.users.size()});
            });
        }
        return outcome;
    }
    Outcome delete_user(std::string_view login, bool remove_files) override
    {
        auto outcome = machine_->record(fmt::format("delete_user {} {}", login, remove_files), "delete_user");
        if (outcome) {
            machine_->change([&](State& state) {
                std::erase_if(state.users, [&](const LocalUser& user) { return user.login == login; });
            });
        }
        return outcome;
    }
    Outcome set_role(std::string_view login, bool admin) override
    {
        auto outcome = machine_->record(fmt::format("set_role {} {}", login, admin), "set_role");
        if (outcome) {
            machine_->change([&](State& state) {
                for (auto& user : state.users) {
                    user.admin = user.login == login ? admin : user.admin;
                }
            });
        }
        return outcome;
    }
    Outcome set_automatic_login(std::string_view login, bool enabled) override
    {
        auto outcome = machine_->record(fmt::format("set_automatic_login {} {}", login, enabled), "set_automatic_login");
        if (outcome) {
            machine_->change([&](State& state) {
                for (auto& user : state.users) {
                    // One account at most logs in automatically.
                    user.automatic_login = user.login == login ? enabled : (enabled ? false : user.automatic_login);
                }
            });
        }
        return outcome;
    }

private:
    std::shared_ptr<FakeMachine> machine_;
};

class FakeMachine::Identities final : public IdentityBackend {
public:
    explicit Identities(std::shared_ptr<FakeMachine> machine) : machine_(std::move(machine)) {}

    Outcome set_active_identity(std::string_view id) override
    {
        auto outcome = machine_->record(fmt::format("set_active_identity {}", id), "set_active_identity");
        if (outcome) {
            machine_->change([&](State& state) {
                for (auto& identity : state.identities) {
                    identity.active = identity.id == id;
                }
            });
        }
        return outcome;
    }
    Outcome remove_identity(std::string_view id) override
    {
        auto outcome = machine_->record(fmt::format("remove_identity {}", id), "remove_identity");
        if (outcome) {
            machine_->change([&](State& state) {
                std::erase_if(state.identities, [&](const IdentitySummary& identity) { return identity.id == id; });
            });
        }
        return outcome;
    }
    Outcome secure_identity(std::string_view id) override
    {
        auto outcome = machine_->record(fmt::format("secure_identity {}", id), "secure_identity");
        if (outcome) {
            machine_->change([&](State& state) {
                for (auto& identity : state.identities) {
                    if (identity.id == id) {
                        identity.protection = Protection::SecretService;
                    }
                }
            });
        }
        return outcome;
    }

private:
    std::shared_ptr<FakeMachine> machine_;
};

std::shared_ptr<FakeMachine> FakeMachine::create(State state)
{
    return std::shared_ptr<FakeMachine>(new FakeMachine(std::move(state)));
}

FakeMachine::State FakeMachine::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

Outcome FakeMachine::record(std::string call, std::string_view name)
{
    const std::lock_guard lock(mutex_);
    state_.calls.push_back(std::move(call));
    if (const auto failure = state_.failures.find(name); failure != state_.failures.end()) {
        return std::unexpected(failure->second);
    }
    return {};
}

UsersModel::Environment FakeMachine::environment(page_workers::Executor worker)
{
    auto self = shared_from_this();
    UsersSources sources{
        .users = [self] { return self->state().users; },
        .identity_dir = [self] { return self->state().identity_dir; },
        .identities = [self](const std::filesystem::path&) { return self->state().identities; },
        .identity_backend = [self](const std::filesystem::path&) -> std::shared_ptr<IdentityBackend> {
            return std::make_shared<Identities>(self);
        }};
    return {.admin = std::make_shared<Admin>(self), .sources = std::move(sources), .worker = std::move(worker)};
}

std::vector<LocalUser> sample_users()
{
    return {{.login = "ada", .full_name = "Ada Lovelace", .uid = 1000, .admin = true, .signed_in = true},
            {.login = "alan", .full_name = "Alan Turing", .uid = 1001, .automatic_login = true},
            {.login = "grace", .full_name = "Grace Hopper", .uid = 1002, .admin = true}};
}

std::vector<IdentitySummary> sample_identities()
{
    return {{.id = "work",
             .display_name = "Work",
             .public_key = {0x0a, 0xff, 0x10, 0x00, 0x7f},
             .recovery_threshold = 2,
             .recovery_shares = 3,
             .active = true,
             .protection = Protection::SecretService},
            {.id = "laptop", .public_key = {0x01, 0x02, 0x03, 0x04}, .protection = Protection::PrivateFile},
            {.id = "old", .display_name = "Old laptop", .protection = Protection::MigrationRequired}};
}

}  // namespace settings::panes::users::testing
