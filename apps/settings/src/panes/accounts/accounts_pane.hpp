#pragma once
// The External Accounts page's widget: the introduction (with the local-key caption while the desktop Secret
// Service is unavailable, and the empty-page sentence), the add/edit form, the credential form "Replace saved
// password", the removal question "Remove account?", a failed removal's sentence, and one card per kind (Email,
// Calendar (CalDAV), Files (WebDAV), Nextcloud) with its "Add account" button and a row per account: name, badge,
// summary, detail line, and the buttons "Edit", "Sign in again", the check ("Check server" or "Verify sign-in") and
// "Remove".
//
// The view is built once and its values are changed in place (show_values): names, summaries, badges, detail lines
// and the forms' status sentences follow the model at every sync. It is built again only when rows or cards appear
// or go (an account listed or gone, a form opened or closed, a status line shown or hidden, a removal asked). The
// control that had the focus gets it back by its control id; a removal's question takes the focus from the row's
// "Remove" button, and a closed form gives it back to its kind's "Add account" button (the credential form to the
// row's "Sign in again").
//
// Every button but the check writes its document key (accounts_texts.hpp, controls) and the model acts on it. The
// check button is bound to the account's "test" action, which the application runs itself. The other buttons do not
// send their actions too: "remove" would remove the account without the page's question, and a form command would
// reach the page a second time. Automation reaches the same commands through the section's actions, which the
// application hands to the page. The text inputs are
// bound to the model's cells; the two password fields type into the model's locked buffers, never into the
// document, the accessibility tree or a log.
//
//   auto pane = std::make_unique<AccountsPane>(AccountsModelOptions{.paths = paths, .commands = cell});

#include "panes/accounts/accounts_model.hpp"
#include "panes/accounts/accounts_texts.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace vorn_ui::widget::badge {
class Badge;
}

namespace settings::panes::accounts {

// The ids of the texts the view changes in place: "accounts.{part}" for the page, "accounts.{part}.{id}" for a row.
[[nodiscard]] std::string text_id(std::string_view part, std::string_view subject = {});

class AccountsPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::accounts::AccountsPane", "AccountsPane")

    explicit AccountsPane(AccountsModelOptions options);
    ~AccountsPane() override;

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] bool needs_idle_sync() const override;

    [[nodiscard]] const AccountsModel& model() const { return model_; }
    [[nodiscard]] AccountsModel& model() { return model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> form_card() const;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> reauth_card() const;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> kind_card(AccountKind kind);
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> account_row(const AccountSummary& row);
    // The row of the account waiting for removal, when it is still listed.
    [[nodiscard]] std::optional<AccountSummary> removal_row() const;

    AccountsModel model_;
    // The badges of the built view by account id (a badge has no id of its own).
    std::map<std::string, vorn_ui::widget::badge::Badge*, std::less<>> badges_;
};

}  // namespace settings::panes::accounts
