#pragma once
// The Users page's widget: "Could not apply that change" (only while a change failed), the add form "Add login
// account" (while open), "Login accounts" with the "Add user" button and one entry per account (name, role badge,
// login and uid, and for every account but the signed-in user's the role, automatic-login and removal buttons),
// "Your Vorn identities" with one entry per signing identity, "Signing protection" and "Identity boundary".
//
// The view is built once and its values are changed in place (show_values): names, role badges, detail lines and
// the captions of the role and automatic-login buttons follow the model at every sync. It is built again only when
// rows or buttons appear or go (an account or identity listed or gone, the signed-in account, a removal waiting for
// confirmation, the active identity, an identity that needs migration, the form opened or closed, the problem card).
// The control that had the focus gets it back by its control id; a removal's confirmation takes the focus from its
// "Remove…" button.
//
// Every button writes its document key (users_text.hpp), and the model acts on it after its live check, on what the
// page showed. The Users section publishes the same account changes for automation ("set-admin", "set-autologin",
// "remove-keep-files", "remove-files" of "settings.user:<login>"); each view build checks that the section holds them
// for every account it lists, and the model answers the operations the application hands over. The buttons do not
// send those actions themselves: the section's actions carry the values of the snapshot the resource tree was built
// from, which may not yet show a change the page has just made.
//
// The new password is typed into the model's locked buffer; the field is masked and never reaches the document, the
// accessibility tree or a log.
//
//   auto pane = std::make_unique<UsersPane>();
//   pane->use_operation_requests(context.operation_requests);
//   pane->use_operation_status(context.operation_status);

#include "panes/preference_pane/pane_base.hpp"
#include "panes/users/users_model.hpp"

#include "page_doc/page_doc.hpp"

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace vorn_ui::widget::badge {
class Badge;
}

namespace settings::panes::users {

inline constexpr std::string_view loading_caption = "Loading…";

// The ids of the texts the view changes in place: "users.{part}" for the page, "users.{part}.{login or id}" for an
// entry.
[[nodiscard]] std::string text_id(std::string_view part, std::string_view subject = {});

class UsersPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::users::UsersPane", "UsersPane")

    // Over the machine's accounts and this user's identity folder.
    UsersPane() : UsersPane(UsersModel::Environment{}) {}
    explicit UsersPane(UsersModel::Environment environment);
    ~UsersPane() override;

    // The application's cells (operations from automation and their answers).
    void use_operation_requests(operations::OperationRequestCell cell);
    void use_operation_status(operations::OperationStatusCell cell);

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;

    [[nodiscard]] const UsersModel& model() const { return model_; }
    // The document the page's presses go to: its own while it shares the application's requests, else the caller's.
    [[nodiscard]] page_doc::Document& working_document(page_doc::Document& caller);

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> form_card() const;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> accounts_card();
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> user_entry(const LocalUser& user);
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> identity_entry(const IdentitySummary& identity);
    bool show_caption(std::string_view id, std::string_view caption);

    UsersModel model_;
    page_doc::Document own_document_;
    // The badges of the built view, by login and by identity id (a badge has no id of its own).
    std::map<std::string, vorn_ui::widget::badge::Badge*, std::less<>> role_badges_;
    std::map<std::string, vorn_ui::widget::badge::Badge*, std::less<>> identity_badges_;
};

[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_users_pane(operations::OperationRequestCell requests,
                                                                operations::OperationStatusCell status);

}  // namespace settings::panes::users
