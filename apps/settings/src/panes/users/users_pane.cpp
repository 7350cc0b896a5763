#include "panes/users/users_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "page_helpers/layout.hpp"
#include "panes/users/users_text.hpp"
#include "vorn_ui/widgets.hpp"
#include "vorn_ui/widgets/card.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace settings::panes::users {

namespace ph = page_helpers;
using vorn_ui::Button;
using vorn_ui::Column;
using vorn_ui::Row;
using vorn_ui::Spacer;
using vorn_ui::Text;
using vorn_ui::TextInput;
using WidgetBox = std::unique_ptr<vorn_ui::Widget>;
using BadgeWidget = vorn_ui::widget::badge::Badge;

namespace {

constexpr float name_size = 13.0f;
constexpr float detail_size = 11.0f;
constexpr float row_spacing = 8.0f;

// The Users section's actions for one account, as automation reaches the same changes.
constexpr std::array<std::string_view, 4> account_actions = {"set-admin", "set-autologin", "remove-keep-files",
                                                             "remove-files"};

// A button whose press is written under its key, which is also its id; `subject` tells the buttons of different
// entries apart for assistive tools.
WidgetBox press_button(const std::string& key, std::string_view caption, std::string_view subject)
{
    return Button(key, std::string(caption), key).with_accessible_description(std::string(subject)).boxed();
}

WidgetBox card(std::string_view title, WidgetBox companion, std::vector<WidgetBox> body)
{
    return vorn_ui::card::surface(title, std::move(companion),
                                  std::make_unique<Column>(ph::compact_stack(std::move(body))))
        .boxed();
}

WidgetBox caption_text(std::string_view text) { return ph::caption(text); }

std::unique_ptr<BadgeWidget> badge(const Badge& shown, BadgeWidget*& out)
{
    auto widget =
        std::make_unique<BadgeWidget>(std::string(shown.text), vorn_ui::widget::badge::tone_of_kind(shown.kind));
    out = widget.get();
    return widget;
}

bool set_badge(BadgeWidget* widget, const Badge& shown)
{
    const vorn_ui::Tone tone = vorn_ui::widget::badge::tone_of_kind(shown.kind);
    if (widget == nullptr || (widget->text() == shown.text && widget->tone() == tone)) {
        return false;
    }
    widget->set_text(std::string(shown.text));
    widget->set_tone(tone);
    return true;
}

bool any_protection(const std::vector<IdentitySummary>& identities, Protection protection)
{
    return std::ranges::any_of(identities,
                               [&](const IdentitySummary& identity) { return identity.protection == protection; });
}

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

// The control that takes the focus when the one that had it is gone from the new view: a removal's first
// confirmation for its "Remove…" button, the form's "Add user" button once the form has closed.
std::string counterpart(std::string_view id)
{
    const std::string remove_prefix = remove_key("");
    const std::string identity_remove_prefix = identity_remove_key("");
    if (id.starts_with(remove_prefix)) {
        return confirm_remove_keep_key(id.substr(remove_prefix.size()));
    }
    if (id.starts_with(identity_remove_prefix)) {
        return identity_confirm_remove_key(id.substr(identity_remove_prefix.size()));
    }
    if (id == create_id || id == cancel_id || id == full_name_id || id == username_id || id == password_id) {
        return std::string(add_key);
    }
    return {};
}

}  // namespace

std::string text_id(std::string_view part, std::string_view subject)
{
    return subject.empty() ? fmt::format("users.{}", part) : fmt::format("users.{}.{}", part, subject);
}

UsersPane::UsersPane(UsersModel::Environment environment)
    : PreferencePane({"users", "Users", "Accounts on this device and their roles"}), model_(std::move(environment))
{
}

UsersPane::~UsersPane() = default;

void UsersPane::use_operation_requests(operations::OperationRequestCell cell)
{
    model_.share_operation_requests(std::move(cell));
}

void UsersPane::use_operation_status(operations::OperationStatusCell cell)
{
    model_.share_operation_status(std::move(cell));
}

page_doc::Document& UsersPane::working_document(page_doc::Document& caller)
{
    return model_.shares_requests() ? own_document_ : caller;
}

void UsersPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    page_doc::Document& working = working_document(doc);
    // Presses and typing since the last pass reach the document first, so that the model acts on them now.
    if (content() != nullptr) {
        content()->sync(working, ctx);
    }
    model_.sync(working);
    if (model_.take_structure_dirty()) {
        ctx.changed = true;
    }
    const std::string focused = content() != nullptr ? focused_control(*content()) : std::string();
    const std::uint64_t builds = view_builds();
    refresh_view(working, ctx);
    if (view_builds() != builds && !focused.empty() && focused_control(*content()).empty()) {
        if (auto* next = control<Button>(counterpart(focused))) {
            next->set_focus(true);
            ctx.changed = true;
        }
    }
}

std::string UsersPane::structure_key() const
{
    std::string key = fmt::format("{}|{}|{}|accounts", model_.loading(), model_.status().has_value(),
                                  model_.form_open());
    for (const auto& user : model_.users()) {
        key += fmt::format(":{}/{}/{}", user.login, user.signed_in, model_.pending_removal() == user.login);
    }
    key += "|identities";
    for (const auto& identity : model_.identities()) {
        key += fmt::format(":{}/{}/{}/{}", identity.id, identity.active,
                           identity.protection == Protection::MigrationRequired,
                           model_.pending_identity_removal() == identity.id);
    }
    const auto& identities = model_.identities();
    key += fmt::format("|{}{}", any_protection(identities, Protection::PrivateFile),
                       any_protection(identities, Protection::HardwareBacked));
    return key;
}

std::unique_ptr<vorn_ui::Widget> UsersPane::build_view()
{
    role_badges_.clear();
    identity_badges_.clear();
    std::vector<WidgetBox> cards;
    if (const auto& status = model_.status()) {
        cards.push_back(card(problem_title, nullptr, ph::widgets(ph::caption(*status, text_id("status")))));
    }
    if (model_.form_open()) {
        cards.push_back(form_card());
    }
    cards.push_back(accounts_card());

    const auto& identities = model_.identities();
    std::vector<WidgetBox> entries;
    for (const auto& identity : identities) {
        entries.push_back(identity_entry(identity));
    }
    if (entries.empty()) {
        entries.push_back(caption_text(no_identities_caption));
    }
    cards.push_back(card(identities_title, nullptr, std::move(entries)));

    std::vector<WidgetBox> protection;
    protection.push_back(caption_text(protection_caption));
    if (any_protection(identities, Protection::PrivateFile)) {
        protection.push_back(caption_text(private_file_caption));
    }
    if (any_protection(identities, Protection::HardwareBacked)) {
        protection.push_back(caption_text(hardware_caption));
    }
    cards.push_back(card(protection_title, nullptr, std::move(protection)));
    cards.push_back(card(boundary_title, nullptr, ph::widgets(caption_text(boundary_caption))));
    return std::make_unique<Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> UsersPane::form_card() const
{
    std::vector<WidgetBox> rows;
    // The two text fields follow their document keys; the password field types into the model's locked buffer.
    rows.push_back(ph::setting_row(full_name_label, TextInput(std::string(full_name_id))
                                                        .with_kind(full_name_kind)
                                                        .with_label(std::string(full_name_label))
                                                        .with_placeholder(std::string(full_name_placeholder))
                                                        .with_change_path(std::string(form_full_name_key))
                                                        .boxed()));
    rows.push_back(ph::setting_row(username_label, TextInput(std::string(username_id))
                                                       .with_kind(username_kind)
                                                       .with_label(std::string(username_label))
                                                       .with_placeholder(std::string(username_placeholder))
                                                       .with_change_path(std::string(form_username_key))
                                                       .boxed()));
    rows.push_back(ph::setting_row(password_label, TextInput(std::string(password_id))
                                                       .with_kind(password_kind)
                                                       .with_label(std::string(password_label))
                                                       .with_placeholder(std::string(password_placeholder))
                                                       .with_external_buffer(model_.password_buffer())
                                                       .boxed()));
    rows.push_back(caption_text(form_caption));
    rows.push_back(Row()
                       .with_spacing(row_spacing)
                       .push(Button(std::string(create_id), std::string(create_label), std::string(form_save_key))
                                 .with_enabled(!model_.creating()))
                       .push(Button(std::string(cancel_id), std::string(cancel_label), std::string(form_cancel_key)))
                       .push(Spacer::flexible())
                       .boxed());
    return card(form_title, nullptr, std::move(rows));
}

std::unique_ptr<vorn_ui::Widget> UsersPane::accounts_card()
{
    // One section for the whole view: every account it publishes must carry the account changes automation uses.
    // An account the page lists that the section does not (yet) publish is one the tree's snapshot has not seen.
    const auto bindings = actions::catalogue::users_bindings();
    std::vector<WidgetBox> entries;
    for (const auto& user : model_.users()) {
        if (!user.signed_in) {
            const std::string child = "settings.user:" + user.login;
            const auto& children = bindings.section().children;
            if (std::ranges::any_of(children, [&](const auto& resource) { return resource.id == child; })) {
                for (const std::string_view action : account_actions) {
                    (void)bindings.child_button(child, action);
                }
            }
        }
        entries.push_back(user_entry(user));
    }
    if (entries.empty()) {
        entries.push_back(ph::caption(model_.loading() ? loading_caption : no_accounts_caption, text_id("empty")));
    }
    auto add = Button(std::string(add_key), std::string(add_user_label), std::string(add_key)).boxed();
    return card(accounts_title, std::move(add), std::move(entries));
}

std::unique_ptr<vorn_ui::Widget> UsersPane::user_entry(const LocalUser& user)
{
    const std::string& login = user.login;
    std::vector<WidgetBox> parts;
    BadgeWidget* shown_badge = nullptr;
    parts.push_back(Row()
                        .with_spacing(row_spacing)
                        .push(Text(user.full_name).with_size(name_size).with_label(text_id("name", login)))
                        .push(badge(role_badge(user), shown_badge))
                        .push(Spacer::flexible())
                        .boxed());
    role_badges_[login] = shown_badge;
    parts.push_back(
        Text(user_detail_line(user)).with_size(detail_size).caption().with_label(text_id("detail", login)).boxed());
    if (!user.signed_in) {
        Row buttons = Row().with_spacing(row_spacing);
        buttons.push(press_button(role_key(login), role_button_label(user), user.full_name));
        buttons.push(press_button(autologin_key(login), autologin_button_label(user), user.full_name));
        if (model_.pending_removal() == login) {
            buttons.push(press_button(confirm_remove_keep_key(login), confirm_remove_keep_label, user.full_name));
            buttons.push(press_button(confirm_remove_key(login), confirm_remove_label, user.full_name));
        } else {
            buttons.push(press_button(remove_key(login), remove_label, user.full_name));
        }
        buttons.push(Spacer::flexible());
        parts.push_back(std::make_unique<Row>(std::move(buttons)));
    }
    return std::make_unique<Column>(ph::stack(std::move(parts), ph::kRowSpacing));
}

std::unique_ptr<vorn_ui::Widget> UsersPane::identity_entry(const IdentitySummary& identity)
{
    const std::string& id = identity.id;
    const std::string subject(identity_title(identity));
    std::vector<WidgetBox> parts;
    BadgeWidget* shown_badge = nullptr;
    parts.push_back(Row()
                        .with_spacing(row_spacing)
                        .push(Text(subject).with_size(name_size).with_label(text_id("identity", id)))
                        .push(badge(identity_badge(identity), shown_badge))
                        .push(Spacer::flexible())
                        .boxed());
    identity_badges_[id] = shown_badge;
    parts.push_back(Text(identity_detail_line(identity))
                        .with_size(detail_size)
                        .caption()
                        .with_label(text_id("identity_detail", id))
                        .boxed());
    Row buttons = Row().with_spacing(row_spacing);
    bool any = false;
    if (!identity.active) {
        buttons.push(press_button(identity_activate_key(id), use_label, subject));
        if (model_.pending_identity_removal() == id) {
            buttons.push(press_button(identity_confirm_remove_key(id), identity_confirm_remove_label, subject));
        } else {
            buttons.push(press_button(identity_remove_key(id), identity_remove_label, subject));
        }
        any = true;
    }
    if (identity.protection == Protection::MigrationRequired) {
        buttons.push(press_button(identity_protect_key(id), protect_label, subject));
        any = true;
    }
    if (any) {
        buttons.push(Spacer::flexible());
        parts.push_back(std::make_unique<Row>(std::move(buttons)));
    }
    return std::make_unique<Column>(ph::stack(std::move(parts), ph::kRowSpacing));
}

bool UsersPane::show_caption(std::string_view id, std::string_view caption)
{
    auto* button = control<Button>(id);
    if (button == nullptr || button->caption() == caption) {
        return false;
    }
    button->set_caption(std::string(caption));
    return true;
}

bool UsersPane::show_values()
{
    bool changed = false;
    if (const auto& status = model_.status()) {
        changed |= show_text(text_id("status"), *status);
    }
    changed |= show_text(text_id("empty"), model_.loading() ? loading_caption : no_accounts_caption);
    if (auto* create = control<Button>(create_id); create != nullptr && create->is_enabled() == model_.creating()) {
        create->set_enabled(!model_.creating());
        changed = true;
    }
    for (const auto& user : model_.users()) {
        const std::string& login = user.login;
        changed |= show_text(text_id("name", login), user.full_name);
        changed |= show_text(text_id("detail", login), user_detail_line(user));
        if (const auto found = role_badges_.find(login); found != role_badges_.end()) {
            changed |= set_badge(found->second, role_badge(user));
        }
        changed |= show_caption(role_key(login), role_button_label(user));
        changed |= show_caption(autologin_key(login), autologin_button_label(user));
    }
    for (const auto& identity : model_.identities()) {
        changed |= show_text(text_id("identity", identity.id), identity_title(identity));
        changed |= show_text(text_id("identity_detail", identity.id), identity_detail_line(identity));
        if (const auto found = identity_badges_.find(identity.id); found != identity_badges_.end()) {
            changed |= set_badge(found->second, identity_badge(identity));
        }
    }
    return changed;
}

std::unique_ptr<vorn_ui::Widget> boxed_users_pane(operations::OperationRequestCell requests,
                                                  operations::OperationStatusCell status)
{
    auto pane = std::make_unique<UsersPane>();
    pane->use_operation_requests(std::move(requests));
    pane->use_operation_status(std::move(status));
    return pane;
}

}  // namespace settings::panes::users
