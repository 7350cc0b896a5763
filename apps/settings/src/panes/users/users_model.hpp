#pragma once
// The Users page without its widgets: the login accounts and signing identities it lists, the add-user form, the
// removals waiting for confirmation, the problem sentence, and the handling of presses and of the user operations
// the application hands the page.
//
// Nothing here reaches the system on the UI thread. The first reading, every change and the reading that follows
// each change run on the page's worker (one after another, in the order asked); their answers come back through an
// inbox that wakes the UI loop, and sync() takes them without waiting. Until the first reading is in, loading() is
// true and the lists are empty.
//
// Presses: a button writes true at its key (users_text.hpp); sync() writes false before acting, so a press acts
// once. A press acts on what the page showed: the role and automatic-login buttons ask for the opposite of the
// listed value.
//
// The live check. Before any account changes, the worker reads the accounts afresh and looks the login up: an account
// that is gone, or that is the signed-in user's own (the effective user or $USER, system_ops::users::self_logins),
// is refused with "User account is no longer available."; a role or automatic login already as asked is done without
// calling the system. So neither a stale press nor an operation can remove or demote the user running Settings.
//
// Operations (UserOperation) are taken from the request cell. One whose key is not the running operation's is stale:
// it is reported on the page only ("Ignored a stale user-management command.") and the status cell is left alone.
// Otherwise it goes through the live check and the change, and its outcome ("User account updated." or the error)
// is published under its own key only, while the status cell still holds Running with that key. The page's own
// presses never answer an operation. A change still on the worker when the page closes answers its operation itself.
//
// The new user's password lives in a locked buffer shared with the password input (password_buffer()); it never
// enters the document. Saving copies it into locked memory for the worker and wipes the buffer; the worker wipes its
// copy once the account is made. Cancelling the form and closing the page wipe the buffer too.
//
//   UsersModel model(UsersModel::Environment{});                    // starts the first reading
//   model.share_operation_requests(app.requests);                  // the application's cells
//   model.share_operation_status(app.status);
//   every frame: model.sync(document); if (model.take_structure_dirty()) rebuild the view from model.users() ...

#include "panes/users/users_backend.hpp"

#include "actions/payloads/accounts.hpp"
#include "operations/cells.hpp"
#include "page_doc/page_doc.hpp"
#include "page_workers/page_workers.hpp"
#include "vorn_ui/locked_text.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::users {

using actions::UserOperation;

// Empties the add form's text fields in the document.
void clear_add_user_form(page_doc::Document& document);

// One change of a login account, as the live check sees it.
struct AccountChange {
    enum class Kind : std::uint8_t { SetAdmin, SetAutologin, Remove };
    std::string login;
    Kind kind = Kind::SetAdmin;
    // The role asked for (SetAdmin), automatic login on or off (SetAutologin), remove the files too (Remove).
    bool value = false;

    [[nodiscard]] static AccountChange of(const UserOperation& operation);
    friend bool operator==(const AccountChange&, const AccountChange&) = default;
};

// The live check and the change: refuses an account that is not listed in `fresh` or is signed in, does nothing for
// a value already in effect, and otherwise asks the backend.
[[nodiscard]] Outcome apply_account_change(UserAdminBackend& admin, const std::vector<LocalUser>& fresh,
                                           const AccountChange& change);

class UsersModel {
public:
    struct Environment {
        std::shared_ptr<UserAdminBackend> admin = std::make_shared<SystemUserAdmin>();
        UsersSources sources;
        page_workers::Executor worker = page_workers::serial_executor();
    };

    explicit UsersModel(Environment environment);
    ~UsersModel();
    UsersModel(const UsersModel&) = delete;
    UsersModel& operator=(const UsersModel&) = delete;

    // The application's cells in place of the model's own.
    void share_operation_requests(operations::OperationRequestCell cell);
    void share_operation_status(operations::OperationStatusCell cell);
    // Whether requests come from the application (the page then works on its own document).
    [[nodiscard]] bool shares_requests() const { return shares_requests_; }
    [[nodiscard]] const operations::OperationRequestCell& operation_requests() const { return requests_; }
    [[nodiscard]] const operations::OperationStatusCell& operation_status() const { return status_; }

    // One pass on the UI thread; never waits: the answers that arrived, the pending operation, then the presses in
    // the document (form, accounts in list order, identities in list order).
    void sync(page_doc::Document& document);

    // ---- What the view shows
    [[nodiscard]] bool loading() const { return loading_; }
    [[nodiscard]] const std::vector<LocalUser>& users() const { return users_; }
    [[nodiscard]] const std::vector<IdentitySummary>& identities() const { return identities_; }
    // Whether this user has an identity directory (without one, every identity action fails).
    [[nodiscard]] bool has_identity_store() const { return identity_backend_ != nullptr; }
    // The problem sentence of the "Could not apply that change" card.
    [[nodiscard]] const std::optional<std::string>& status() const { return status_text_; }
    [[nodiscard]] bool form_open() const { return form_open_; }
    [[nodiscard]] const std::optional<std::string>& pending_removal() const { return pending_removal_; }
    [[nodiscard]] const std::optional<std::string>& pending_identity_removal() const { return pending_identity_removal_; }
    // The buffer the password input types into.
    [[nodiscard]] const vorn_ui::SharedLockedText& password_buffer() const { return password_; }
    // Whether a new account is being made (the view may disable "Create").
    [[nodiscard]] bool creating() const { return creating_; }
    // Changes handed to the worker whose answer has not been taken.
    [[nodiscard]] int work_in_flight() const { return in_flight_; }
    // Whether the view must be built again; clears the flag.
    bool take_structure_dirty();

    class Inbox;

private:
    struct Answer;

    // Hands a change to the worker; a reading of everything follows it there, and its answer carries both.
    void post(std::function<Outcome()> change, std::optional<std::string> operation_key, bool create = false);
    void take_answers();
    void apply(Answer answer);
    void apply_reading(UsersReading reading);
    void take_operation();
    void take_form_presses(page_doc::Document& document);
    void take_account_presses(page_doc::Document& document);
    void take_identity_presses(page_doc::Document& document);
    // The live check and the change on the worker.
    void post_account_change(AccountChange change, std::optional<std::string> operation_key = std::nullopt);
    void post_identity_change(std::string id, Outcome (IdentityBackend::*change)(std::string_view));

    Environment environment_;
    std::shared_ptr<Inbox> inbox_;
    operations::OperationRequestCell requests_;
    operations::OperationStatusCell status_;
    bool shares_requests_ = false;

    bool loading_ = true;
    std::vector<LocalUser> users_;
    std::vector<IdentitySummary> identities_;
    std::shared_ptr<IdentityBackend> identity_backend_;
    std::optional<std::string> status_text_;
    bool form_open_ = false;
    bool creating_ = false;
    std::optional<std::string> pending_removal_;
    std::optional<std::string> pending_identity_removal_;
    vorn_ui::SharedLockedText password_ = vorn_ui::LockedText::create();
    int in_flight_ = 0;
    bool structure_dirty_ = true;
};

}  // namespace settings::panes::users
