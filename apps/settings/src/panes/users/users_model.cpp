#include "panes/users/users_model.hpp"

#include "panes/users/users_text.hpp"

#include "text_utf8/text_utf8.hpp"

#include <algorithm>
#include <deque>
#include <mutex>
#include <utility>

namespace settings::panes::users {

namespace {

using page_doc::Document;

// A button's press, taken once.
bool pressed(Document& document, std::string_view key)
{
    return page_doc::take_doc_flag(document, key);
}

std::string form_text(const Document& document, std::string_view key)
{
    return page_doc::doc_text(document, key).value_or(std::string());
}

void empty_text(Document& document, std::string_view key)
{
    const auto* value = document.get(key);
    if (value == nullptr) {
        return;
    }
    if (const auto* text = std::get_if<page_doc::TextObject>(value)) {
        (void)document.update_text(text->id, "");
    } else {
        document.remove(key);
    }
}

}  // namespace

void clear_add_user_form(Document& document)
{
    empty_text(document, form_full_name_key);
    empty_text(document, form_username_key);
}

// ---- The live check -----------------------------------------------------------------------------------------------------

AccountChange AccountChange::of(const UserOperation& operation)
{
    return std::visit(
        [](const auto& op) -> AccountChange {
            using Op = std::decay_t<decltype(op)>;
            if constexpr (std::is_same_v<Op, UserOperation::SetAdmin>) {
                return {op.username, Kind::SetAdmin, op.admin};
            } else if constexpr (std::is_same_v<Op, UserOperation::SetAutologin>) {
                return {op.username, Kind::SetAutologin, op.enabled};
            } else {
                return {op.username, Kind::Remove, op.remove_files};
            }
        },
        operation.value);
}

Outcome apply_account_change(UserAdminBackend& admin, const std::vector<LocalUser>& fresh, const AccountChange& change)
{
    const auto user = std::ranges::find_if(
        fresh, [&](const LocalUser& listed) { return listed.login == change.login && !listed.signed_in; });
    if (user == fresh.end()) {
        return std::unexpected(std::string(unavailable_message));
    }
    switch (change.kind) {
    case AccountChange::Kind::SetAdmin:
        return user->admin == change.value ? Outcome{} : admin.set_role(change.login, change.value);
    case AccountChange::Kind::SetAutologin:
        return user->automatic_login == change.value ? Outcome{} : admin.set_automatic_login(change.login, change.value);
    case AccountChange::Kind::Remove:
        return admin.delete_user(change.login, change.value);
    }
    return std::unexpected(std::string(unavailable_message));
}

// ---- Answers of the worker ------------------------------------------------------------------------------------------

struct UsersModel::Answer {
    std::optional<std::string> operation_key;  // the operation this change carries out
    Outcome outcome;
    UsersReading reading;
    bool initial = false;  // the first reading, not a change
    bool create = false;   // the add form's account
};

class UsersModel::Inbox {
public:
    explicit Inbox(vorn_ui::WakeHandle wake) : wake_(std::move(wake)) {}

    // From the worker. Once the page has closed, an operation's outcome is published here instead, so that the
    // operation still ends with its own answer.
    void deliver(Answer answer, const operations::OperationStatusCell& status)
    {
        {
            const std::lock_guard lock(mutex_);
            if (!closed_) {
                answers_.push_back(std::move(answer));
                wake_.wake();
                return;
            }
        }
        if (answer.operation_key) {
            const auto outcome = answer.outcome ? std::expected<std::string, std::string>(std::string(updated_message))
                                                : std::unexpected(answer.outcome.error());
            (void)operations::finish_operation_with_key(status, *answer.operation_key, outcome);
        }
    }

    std::deque<Answer> take()
    {
        const std::lock_guard lock(mutex_);
        return std::exchange(answers_, {});
    }

    void close()
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        answers_.clear();
    }

private:
    std::mutex mutex_;
    std::deque<Answer> answers_;
    bool closed_ = false;
    vorn_ui::WakeHandle wake_;
};

// ---- The model --------------------------------------------------------------------------------------------------------

UsersModel::UsersModel(Environment environment)
    : environment_(std::move(environment)),
      inbox_(std::make_shared<Inbox>(vorn_ui::WakeHandle::create())),
      requests_(std::nullopt),
      status_(operations::OperationStatus::idle())
{
    ++in_flight_;
    environment_.worker([sources = environment_.sources, inbox = inbox_, status = status_] {
        inbox->deliver({.outcome = {}, .reading = UsersReading::take(sources), .initial = true}, status);
    });
}

UsersModel::~UsersModel()
{
    inbox_->close();
    password_->clear();
}

void UsersModel::share_operation_requests(operations::OperationRequestCell cell)
{
    requests_ = std::move(cell);
    shares_requests_ = true;
}

void UsersModel::share_operation_status(operations::OperationStatusCell cell)
{
    status_ = std::move(cell);
}

bool UsersModel::take_structure_dirty()
{
    return std::exchange(structure_dirty_, false);
}

void UsersModel::sync(Document& document)
{
    take_answers();
    take_operation();
    take_form_presses(document);
    take_account_presses(document);
    take_identity_presses(document);
    // A worker that answered at once is heard in this same pass.
    take_answers();
}

void UsersModel::post(std::function<Outcome()> change, std::optional<std::string> operation_key, bool create)
{
    ++in_flight_;
    environment_.worker([change = std::move(change), key = std::move(operation_key), create,
                         sources = environment_.sources, inbox = inbox_, status = status_]() mutable {
        Outcome outcome = change();
        inbox->deliver({.operation_key = std::move(key),
                        .outcome = std::move(outcome),
                        .reading = UsersReading::take(sources),
                        .create = create},
                       status);
    });
}

void UsersModel::take_answers()
{
    for (auto& answer : inbox_->take()) {
        apply(std::move(answer));
    }
}

void UsersModel::apply(Answer answer)
{
    --in_flight_;
    structure_dirty_ = true;
    if (answer.initial) {
        loading_ = false;
        apply_reading(std::move(answer.reading));
        return;
    }
    if (answer.operation_key) {
        const auto outcome = answer.outcome ? std::expected<std::string, std::string>(std::string(updated_message))
                                            : std::unexpected(answer.outcome.error());
        (void)operations::finish_operation_with_key(status_, *answer.operation_key, outcome);
    }
    status_text_ = answer.outcome ? std::nullopt : std::optional(answer.outcome.error());
    if (answer.create) {
        creating_ = false;
        if (answer.outcome) {
            form_open_ = false;
        }
    }
    apply_reading(std::move(answer.reading));
}

void UsersModel::apply_reading(UsersReading reading)
{
    users_ = std::move(reading.users);
    if (!reading.identity_dir) {
        return;  // without a directory the identities stay as they were
    }
    identities_ = std::move(reading.identities);
    if (!identity_backend_) {
        identity_backend_ = environment_.sources.identity_backend(*reading.identity_dir);
    }
}

void UsersModel::take_operation()
{
    auto operation = operations::take_operation_request<UserOperation>(requests_);
    if (!operation) {
        return;
    }
    std::string key = operations::operation_key(*operation);
    if (!status_.get().is_running(key)) {
        status_text_ = std::string(stale_message);
        structure_dirty_ = true;
        return;
    }
    post_account_change(AccountChange::of(*operation), std::move(key));
}

void UsersModel::post_account_change(AccountChange change, std::optional<std::string> operation_key)
{
    post(
        [admin = environment_.admin, users = environment_.sources.users, change = std::move(change)] {
            return apply_account_change(*admin, users(), change);
        },
        std::move(operation_key));
}

void UsersModel::take_form_presses(Document& document)
{
    if (pressed(document, add_key)) {
        form_open_ = true;
        (void)page_doc::seed_text_object(document, form_full_name_key);
        (void)page_doc::seed_text_object(document, form_username_key);
        structure_dirty_ = true;
    }
    if (pressed(document, form_cancel_key)) {
        form_open_ = false;
        clear_add_user_form(document);
        password_->clear();
        structure_dirty_ = true;
    }
    if (pressed(document, form_save_key)) {
        if (creating_) {
            return;  // the account asked for is still being made
        }
        const std::string full_name(text_utf8::trim_white_space(form_text(document, form_full_name_key)));
        const std::string login(text_utf8::trim_white_space(form_text(document, form_username_key)));
        // Out of the buffer into locked memory of the worker's own; the buffer is wiped at once.
        auto password = std::make_shared<vorn_ui::SecretBytes>(password_->copy());
        password_->clear();
        clear_add_user_form(document);
        creating_ = true;
        structure_dirty_ = true;
        post(
            [admin = environment_.admin, login, full_name, password] {
                auto outcome = admin->create_user(login, full_name, password->view());
                password->clear();
                return outcome;
            },
            std::nullopt, true);
    }
}

void UsersModel::take_account_presses(Document& document)
{
    using Kind = AccountChange::Kind;
    // The list may change while presses are handled; each press acts on the user as it was listed.
    const auto listed = users_;
    for (const auto& user : listed) {
        if (pressed(document, role_key(user.login))) {
            post_account_change({user.login, Kind::SetAdmin, !user.admin});
        }
        if (pressed(document, autologin_key(user.login))) {
            post_account_change({user.login, Kind::SetAutologin, !user.automatic_login});
        }
        if (pressed(document, remove_key(user.login))) {
            pending_removal_ = user.login;
            structure_dirty_ = true;
        }
        if (pressed(document, confirm_remove_key(user.login))) {
            pending_removal_.reset();
            post_account_change({user.login, Kind::Remove, true});
        }
        if (pressed(document, confirm_remove_keep_key(user.login))) {
            pending_removal_.reset();
            post_account_change({user.login, Kind::Remove, false});
        }
    }
}

void UsersModel::take_identity_presses(Document& document)
{
    const auto listed = identities_;
    for (const auto& identity : listed) {
        if (pressed(document, identity_activate_key(identity.id))) {
            post_identity_change(identity.id, &IdentityBackend::set_active_identity);
        }
        if (pressed(document, identity_remove_key(identity.id))) {
            pending_identity_removal_ = identity.id;
            structure_dirty_ = true;
        }
        if (pressed(document, identity_confirm_remove_key(identity.id))) {
            pending_identity_removal_.reset();
            post_identity_change(identity.id, &IdentityBackend::remove_identity);
        }
        if (pressed(document, identity_protect_key(identity.id))) {
            post_identity_change(identity.id, &IdentityBackend::secure_identity);
        }
    }
}

void UsersModel::post_identity_change(std::string id, Outcome (IdentityBackend::*change)(std::string_view))
{
    post([backend = identity_backend_, id = std::move(id), change]() -> Outcome {
        if (!backend) {
            return std::unexpected(std::string(no_identity_store_message));
        }
        return ((*backend).*change)(id);
    },
         std::nullopt);
}

}  // namespace settings::panes::users
