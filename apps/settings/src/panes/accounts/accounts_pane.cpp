#include "panes/accounts/accounts_pane.hpp"

#include "actions/action_builders.hpp"
#include "actions/catalogue/bindings.hpp"
#include "actions/contract.hpp"
#include "page_helpers/layout.hpp"
#include "vorn_ui/widgets.hpp"
#include "vorn_ui/widgets/badge.hpp"
#include "vorn_ui/widgets/card.hpp"

#include <fmt/format.h>

#include <ctime>
#include <utility>

namespace settings::panes::accounts {

namespace ph = page_helpers;
namespace cat = actions::catalogue;
using vorn_ui::Button;
using vorn_ui::Column;
using vorn_ui::Row;
using vorn_ui::Spacer;
using vorn_ui::Text;
using vorn_ui::TextInput;
using WidgetBox = std::unique_ptr<vorn_ui::Widget>;
using BadgeWidget = vorn_ui::widget::badge::Badge;

namespace {

constexpr float intro_size = 12.0f;
constexpr float name_size = 13.0f;
constexpr float detail_size = 11.0f;
constexpr float row_spacing = 8.0f;

WidgetBox card(std::string_view title, WidgetBox companion, std::vector<WidgetBox> body)
{
    return vorn_ui::card::surface(title, std::move(companion),
                                  std::make_unique<Column>(ph::compact_stack(std::move(body))))
        .boxed();
}

// A button whose press is written under its key, which is also its id; `subject` tells the buttons of different
// rows apart for assistive tools.
Button press_button(std::string_view key, std::string_view caption, std::string_view subject = {})
{
    Button button{std::string(key), std::string(caption), std::string(key)};
    if (!subject.empty()) {
        button = std::move(button).with_accessible_description(std::string(subject));
    }
    return button;
}

// The row's check: the account's "test" action, which the application runs itself (the page reads no key for it).
WidgetBox test_button(const AccountSummary& row)
{
    using A = actions::AccountOperation;
    const std::string resource = "settings.account:" + row.id;
    auto binding = cat::external_account_binding(resource, row.name, "test",
                                                 row.kind == AccountKind::Mail ? "Check server reachability"
                                                                               : "Verify sign-in",
                                                 actions::effect_operation, A(A::Test{row.id}), false);
    if (!binding) {
        actions::contract_violation(fmt::format("the account action \"test\" of {} is missing", resource));
    }
    return Button(controls::test(row.id), std::string(test_button_label(row.kind)))
        .with_accessible_description(row.name)
        .on_action(std::move(*binding))
        .boxed();
}

std::unique_ptr<BadgeWidget> badge(const Badge& shown, BadgeWidget*& out)
{
    auto widget = std::make_unique<BadgeWidget>(std::string(shown.text), static_cast<vorn_ui::Tone>(shown.tone));
    out = widget.get();
    return widget;
}

bool set_badge(BadgeWidget* widget, const Badge& shown)
{
    const auto tone = static_cast<vorn_ui::Tone>(shown.tone);
    if (widget == nullptr || (widget->text() == shown.text && widget->tone() == tone)) {
        return false;
    }
    widget->set_text(std::string(shown.text));
    widget->set_tone(tone);
    return true;
}

const settings::accounts::AccountSyncStatus* status_of(const AccountsModel& model, std::string_view id)
{
    const auto& statuses = model.statuses().statuses;
    const auto found = statuses.find(std::string(id));
    return found == statuses.end() ? nullptr : &found->second;
}

std::int64_t now_unix() { return static_cast<std::int64_t>(std::time(nullptr)); }

// The id of the focused control below `widget`, empty when none has the focus.
std::string focused_control(const vorn_ui::Widget& widget)
{
    if (widget.is_focused()) {
        if (const auto id = preference_pane::control_id(widget)) {
            return std::string(*id);
        }
    }
    for (const vorn_ui::Widget* child : widget.children()) {
        if (std::string id = focused_control(*child); !id.empty()) {
            return id;
        }
    }
    return {};
}

bool is_form_control(std::string_view id)
{
    return id == controls::form_save || id == controls::form_cancel || id == controls::form_name ||
           id == controls::form_identity || id == controls::form_username || id == controls::form_server ||
           id == controls::form_password;
}

bool is_reauth_control(std::string_view id)
{
    return id == controls::reauth_save || id == controls::reauth_cancel || id == controls::reauth_password;
}

}  // namespace

std::string text_id(std::string_view part, std::string_view subject)
{
    return subject.empty() ? fmt::format("accounts.{}", part) : fmt::format("accounts.{}.{}", part, subject);
}

AccountsPane::AccountsPane(AccountsModelOptions options)
    : PreferencePane({"external_accounts", "External Accounts", "Mail, calendar and file accounts on this device"}),
      model_(std::move(options))
{
}

AccountsPane::~AccountsPane() = default;

bool AccountsPane::needs_idle_sync() const
{
    return model_.needs_idle_sync() || (content() != nullptr && content()->needs_idle_sync());
}

void AccountsPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    // Presses and typing since the last pass reach the document and the cells first, so that the model acts on them.
    if (content() != nullptr) {
        content()->sync(doc, ctx);
    }
    const std::optional<AccountKind> form_before = model_.form_kind();
    const std::optional<std::string> reauth_before = model_.reauth_target();
    const std::optional<std::string> removal_before =
        model_.pending_removal() ? std::optional(model_.pending_removal()->second) : std::nullopt;
    model_.sync(doc);
    if (model_.take_structure_dirty()) {
        ctx.changed = true;
    }
    const std::string focused = content() != nullptr ? focused_control(*content()) : std::string();
    const std::uint64_t builds = view_builds();
    refresh_view(doc, ctx);
    if (view_builds() == builds || focused.empty()) {
        return;
    }
    // A removal just asked for takes the focus from its "Remove" button to the question's answer.
    if (const auto& pending = model_.pending_removal();
        pending && pending->second != removal_before && focused == controls::remove(pending->second)) {
        if (auto* confirm = control<Button>(controls::remove_confirm)) {
            if (auto* remove = control<Button>(focused)) {
                remove->set_focus(false);
            }
            confirm->set_focus(true);
            ctx.changed = true;
            return;
        }
    }
    if (!focused_control(*content()).empty()) {
        return;
    }
    // The focused control is gone with the rebuild: the focus goes to the control that took its place.
    std::string next;
    if (focused.starts_with(controls::remove(""))) {
        next = std::string(controls::remove_confirm);
    } else if (is_form_control(focused) && form_before) {
        next = controls::add(*form_before);
    } else if (is_reauth_control(focused) && reauth_before) {
        next = controls::reauth(*reauth_before);
    } else if ((focused == controls::remove_confirm || focused == controls::remove_cancel) && removal_before) {
        next = controls::remove(*removal_before);
        if (control<Button>(next) == nullptr) {
            next = controls::add(AccountKind::Mail);
        }
    }
    if (auto* button = control<Button>(next)) {
        button->set_focus(true);
        ctx.changed = true;
    }
}

std::optional<AccountSummary> AccountsPane::removal_row() const
{
    const auto& pending = model_.pending_removal();
    if (!pending) {
        return std::nullopt;
    }
    for (auto& row : account_rows(model_.accounts(), pending->first)) {
        if (row.id == pending->second) {
            return std::move(row);
        }
    }
    return std::nullopt;
}

std::string AccountsPane::structure_key() const
{
    std::string key = fmt::format("{}|{}|{}|{}|{}|{}", model_.store_error().has_value(), model_.vault_error().has_value(),
                                  model_.secret_service_unavailable(), model_.accounts().is_empty(),
                                  model_.removal_error().has_value(), removal_row() ? removal_row()->id : "");
    if (const auto kind = model_.form_kind()) {
        key += fmt::format("|form:{}/{}/{}", slug(*kind), model_.editing_id().has_value(),
                           model_.form_status().has_value());
    }
    if (const auto& target = model_.reauth_target()) {
        key += fmt::format("|reauth:{}/{}", *target, model_.reauth_status().has_value());
    }
    for (const AccountKind kind : settings::accounts::all_account_kinds) {
        key += fmt::format("|{}", slug(kind));
        for (const auto& row : account_rows(model_.accounts(), kind)) {
            key += ":" + row.id;
        }
    }
    return key;
}

std::unique_ptr<vorn_ui::Widget> AccountsPane::build_view()
{
    badges_.clear();
    std::vector<WidgetBox> intro;
    intro.push_back(Text(std::string(texts::introduction)).with_size(intro_size).boxed());
    if (model_.secret_service_unavailable()) {
        intro.push_back(ph::caption(texts::secret_service_unavailable));
    }
    if (const auto& error = model_.store_error()) {
        intro.push_back(ph::caption(store_failure_line(*error), text_id("store_error")));
    }
    if (const auto& error = model_.vault_error()) {
        intro.push_back(ph::caption(vault_failure_line(*error), text_id("vault_error")));
    }
    if (model_.accounts().is_empty()) {
        intro.push_back(ph::caption(texts::no_accounts));
    }
    if (const auto& error = model_.removal_error()) {
        intro.push_back(ph::caption(removal_failure_line(*error), text_id("removal_error")));
    }

    std::vector<WidgetBox> cards;
    cards.push_back(std::make_unique<Column>(ph::compact_stack(std::move(intro))));
    if (model_.form_kind()) {
        cards.push_back(form_card());
    }
    if (model_.reauth_target()) {
        cards.push_back(reauth_card());
    }
    if (const auto row = removal_row()) {
        auto buttons = Row()
                           .with_spacing(row_spacing)
                           .push(press_button(controls::remove_confirm, texts::remove_confirm, row->name))
                           .push(press_button(controls::remove_cancel, texts::cancel, row->name))
                           .push(Spacer::flexible())
                           .boxed();
        cards.push_back(card(texts::removal_title, nullptr,
                             ph::widgets(Text(removal_text(row->name)).with_size(ph::kBodyText).boxed(),
                                         std::move(buttons))));
    }
    for (const AccountKind kind : settings::accounts::all_account_kinds) {
        cards.push_back(kind_card(kind));
    }
    return std::make_unique<Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> AccountsPane::form_card() const
{
    const AccountKind kind = *model_.form_kind();
    const bool mail = kind == AccountKind::Mail;
    std::vector<WidgetBox> rows;
    rows.push_back(ph::setting_row(texts::display_name_label,
                                   TextInput::from_state(model_.display_name_cell())
                                       .with_id(std::string(controls::form_name))
                                       .with_kind(input_kind::display_name)
                                       .with_label(std::string(texts::display_name_label))
                                       .with_placeholder(std::string(texts::display_name_label))
                                       .boxed()));
    rows.push_back(ph::setting_row(identity_label(kind),
                                   TextInput::from_state(mail ? model_.email_cell() : model_.username_cell())
                                       .with_id(std::string(controls::form_identity))
                                       .with_kind(mail ? input_kind::email : input_kind::username)
                                       .with_label(std::string(identity_label(kind)))
                                       .with_placeholder(std::string(identity_placeholder(kind)))
                                       .boxed()));
    if (mail) {
        rows.push_back(ph::setting_row(texts::login_name_label,
                                       TextInput::from_state(model_.username_cell())
                                           .with_id(std::string(controls::form_username))
                                           .with_kind(input_kind::username)
                                           .with_label(std::string(texts::login_name_label))
                                           .with_placeholder(std::string(texts::login_name_placeholder))
                                           .boxed()));
    } else {
        rows.push_back(ph::setting_row(texts::server_label,
                                       TextInput::from_state(model_.server_url_cell())
                                           .with_id(std::string(controls::form_server))
                                           .with_kind(input_kind::server_url)
                                           .with_label(std::string(texts::server_label))
                                           .with_placeholder(std::string(server_placeholder(kind)))
                                           .boxed()));
    }
    rows.push_back(ph::setting_row(texts::password_label, TextInput(std::string(controls::form_password))
                                                              .with_kind(input_kind::password)
                                                              .with_label(std::string(texts::password_label))
                                                              .with_placeholder(std::string(texts::password_placeholder))
                                                              .with_external_buffer(model_.password_cell())
                                                              .boxed()));
    if (const auto& status = model_.form_status()) {
        rows.push_back(ph::caption(form_status_line(*status, model_.form_check_pending()), text_id("form_status")));
    }
    rows.push_back(ph::caption(texts::form_caption));
    rows.push_back(Row()
                       .with_spacing(row_spacing)
                       .push(press_button(controls::form_save, texts::save_account).with_style(button_style::save))
                       .push(press_button(controls::form_cancel, texts::cancel).with_style(button_style::add_and_cancel))
                       .push(Spacer::flexible())
                       .boxed());
    return card(form_title(kind, model_.editing_id().has_value()), nullptr, std::move(rows));
}

std::unique_ptr<vorn_ui::Widget> AccountsPane::reauth_card() const
{
    std::vector<WidgetBox> rows;
    rows.push_back(ph::value_row(texts::reauth_account_label, *model_.reauth_target(), text_id("reauth_account")));
    rows.push_back(ph::setting_row(texts::reauth_credential_label,
                                   TextInput(std::string(controls::reauth_password))
                                       .with_kind(input_kind::password)
                                       .with_label(std::string(texts::reauth_password))
                                       .with_placeholder(std::string(texts::reauth_password))
                                       .with_external_buffer(model_.new_password_cell())
                                       .boxed()));
    rows.push_back(ph::caption(texts::reauth_caption));
    if (const auto& status = model_.reauth_status()) {
        rows.push_back(
            ph::caption(reauth_status_line(*status, model_.reauth_check_pending()), text_id("reauth_status")));
    }
    rows.push_back(
        Row()
            .with_spacing(row_spacing)
            .push(press_button(controls::reauth_save, texts::update_credential).with_style(button_style::save))
            .push(press_button(controls::reauth_cancel, texts::cancel).with_style(button_style::add_and_cancel))
            .push(Spacer::flexible())
            .boxed());
    return card(texts::reauth_title, nullptr, std::move(rows));
}

std::unique_ptr<vorn_ui::Widget> AccountsPane::kind_card(AccountKind kind)
{
    std::vector<WidgetBox> rows;
    for (const auto& row : account_rows(model_.accounts(), kind)) {
        rows.push_back(account_row(row));
    }
    if (rows.empty()) {
        rows.push_back(ph::caption(empty_kind_caption(kind)));
    }
    auto add = press_button(controls::add(kind), texts::add_account, settings::accounts::label(kind))
                   .with_style(button_style::add_and_cancel)
                   .boxed();
    return card(settings::accounts::label(kind), std::move(add), std::move(rows));
}

std::unique_ptr<vorn_ui::Widget> AccountsPane::account_row(const AccountSummary& row)
{
    const std::string& id = row.id;
    std::vector<WidgetBox> parts;
    BadgeWidget* shown = nullptr;
    const auto* status = status_of(model_, id);
    parts.push_back(Row()
                        .with_spacing(row_spacing)
                        .push(Text(row.name).with_size(name_size).with_label(text_id("name", id)))
                        .push(Spacer::flexible())
                        .push(badge(account_badge(row.enabled, status), shown))
                        .boxed());
    badges_[id] = shown;
    parts.push_back(Text(row.summary).with_size(detail_size).caption().with_label(text_id("summary", id)).boxed());
    parts.push_back(Text(account_detail(status, now_unix()))
                        .with_size(detail_size)
                        .caption()
                        .with_label(text_id("detail", id))
                        .boxed());
    parts.push_back(Row()
                        .with_spacing(row_spacing)
                        .push(press_button(controls::edit(id), texts::edit, row.name))
                        .push(press_button(controls::reauth(id), texts::sign_in_again, row.name))
                        .push(test_button(row))
                        .push(press_button(controls::remove(id), texts::remove, row.name))
                        .push(Spacer::flexible())
                        .boxed());
    return std::make_unique<Column>(ph::stack(std::move(parts), ph::kRowSpacing));
}

bool AccountsPane::show_values()
{
    bool changed = false;
    if (const auto& status = model_.form_status()) {
        changed |= show_text(text_id("form_status"), form_status_line(*status, model_.form_check_pending()));
    }
    if (const auto& status = model_.reauth_status()) {
        changed |= show_text(text_id("reauth_status"), reauth_status_line(*status, model_.reauth_check_pending()));
    }
    if (const auto& error = model_.removal_error()) {
        changed |= show_text(text_id("removal_error"), removal_failure_line(*error));
    }
    if (const auto& error = model_.store_error()) {
        changed |= show_text(text_id("store_error"), store_failure_line(*error));
    }
    if (const auto& error = model_.vault_error()) {
        changed |= show_text(text_id("vault_error"), vault_failure_line(*error));
    }
    const std::int64_t now = now_unix();
    for (const AccountKind kind : settings::accounts::all_account_kinds) {
        for (const auto& row : account_rows(model_.accounts(), kind)) {
            const auto* status = status_of(model_, row.id);
            changed |= show_text(text_id("name", row.id), row.name);
            changed |= show_text(text_id("summary", row.id), row.summary);
            changed |= show_text(text_id("detail", row.id), account_detail(status, now));
            if (const auto found = badges_.find(row.id); found != badges_.end()) {
                changed |= set_badge(found->second, account_badge(row.enabled, status));
            }
        }
    }
    return changed;
}

}  // namespace settings::panes::accounts
