// The Users page in the headless window over an in-memory machine: the accounts with their roles and automatic
// login, the signed-in user without buttons, removal and its confirmation, the add form and its password (never in
// the accessibility tree, the document or the log), the identities with their protection, operations handed over by
// the application, values changed in place and the focus kept when the view is built again.
#include "panes/users/users_pane.hpp"

#include "panes/users/testing/fake_users.hpp"
#include "panes/users/users_text.hpp"

#include "actions/catalogue/platform.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::panes::users {
namespace {

namespace cat = actions::catalogue;
using operations::OperationStatus;
using testing::FakeMachine;
using testing::ManualWorker;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::string_view new_password = "Tr0ub4dor&3-horse";

using ::settings::panes::testing::node_with_id;

// The accounts as the Users section publishes them (the catalogue's own reading of the same machine).
std::vector<cat::LocalUser> published(const std::vector<LocalUser>& users)
{
    std::vector<cat::LocalUser> out;
    for (const auto& user : users) {
        out.push_back({.name = user.login,
                       .full_name = user.full_name,
                       .admin = user.admin,
                       .signed_in = user.signed_in,
                       .autologin = user.automatic_login});
    }
    return out;
}

// The text field with this id in the view (null when it is not shown).
const vorn_ui::TextInput* text_input(const vorn_ui::Widget& root, std::string_view id)
{
    const auto* field = dynamic_cast<const vorn_ui::TextInput*>(&root);
    if (field != nullptr && field->id() == id) {
        return field;
    }
    for (const vorn_ui::Widget* child : root.children()) {
        if (const auto* found = text_input(*child, id)) {
            return found;
        }
    }
    return nullptr;
}

// Every text and string the document holds, one after another.
std::string document_texts(const page_doc::Document& document)
{
    std::string out;
    for (const auto& key : document.keys()) {
        const page_doc::Value* value = document.get(key);
        if (const auto* text = std::get_if<page_doc::TextObject>(value)) {
            out += document.text(text->id).value_or("") + "\n";
        } else if (const auto* string = std::get_if<std::string>(value)) {
            out += *string + "\n";
        }
    }
    return out;
}

// Runs the work it is handed at once, on the calling thread.
page_workers::Executor immediate() { return [](std::function<void()> work) { work(); }; }

// The page on the in-memory machine in a 1280×1800 headless window, with the application's cells, the contract read
// from a fake platform listing the same accounts.
class UsersPaneTest : public ::testing::Test {
protected:
    void open(page_workers::Executor worker = immediate())
    {
        platform->users = published(machine->state().users);
        pane = std::make_unique<UsersPane>(machine->environment(std::move(worker)));
        pane->use_operation_requests(requests);
        pane->use_operation_status(status);
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1280, 1800});
        window->frame();
    }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    [[nodiscard]] std::optional<nlohmann::ordered_json> node(std::string_view id) const
    {
        return node_with_id(window->accessibility_json(), id);
    }
    [[nodiscard]] std::string label_of(std::string_view id) const
    {
        const auto found = node(id);
        return found ? found->value("label", std::string()) : std::string("<none>");
    }
    void click_control(std::string_view id)
    {
        const auto found = node(id);
        ASSERT_TRUE(found.has_value()) << id << "\n" << ::testing::PrintToString(lines());
        const auto& b = (*found)["bounds"];
        window->click(b["x"].get<double>() + b["width"].get<double>() / 2.0,
                      b["y"].get<double>() + b["height"].get<double>() / 2.0);
        window->frame();
    }
    void type_into(std::string_view id, std::string_view text)
    {
        click_control(id);
        window->type(text);
        window->frame();
    }
    void focus(std::string_view id) { ASSERT_TRUE(panes::testing::focus_control(*window, id)) << id; }
    // Hands the operation over as the application's runner does: Running with its key, then the request.
    std::string hand_over(const UserOperation& operation)
    {
        const auto key = operations::operation_key(operation);
        (void)status.publish(OperationStatus::running(key));
        (void)requests.publish(operations::PaneOperationRequest{operation});
        window->frame();
        return key;
    }

    std::shared_ptr<cat::FakePlatform> platform = std::make_shared<cat::FakePlatform>();
    cat::ScopedPlatform scoped{platform};
    std::shared_ptr<FakeMachine> machine =
        FakeMachine::create({.users = testing::sample_users(), .identities = testing::sample_identities()});
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
    std::unique_ptr<UsersPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(UsersPaneTest, AccountsAreListedWithTheirRolesAndOnlyOthersHaveButtons)
{
    open();
    const auto all = lines();
    for (const std::string_view expected :
         {"label Login accounts", "button Add user", "label Ada Lovelace", "label ada · UID 1000 · signed in",
          "label Alan Turing", "label alan · UID 1001", "label Grace Hopper", "label grace · UID 1002"}) {
        EXPECT_THAT(all, Contains(HasSubstr(std::string(expected)))) << expected << "\n"
                                                                     << ::testing::PrintToString(all);
    }
    for (const std::string_view badge : {"Administrator", "Standard"}) {
        EXPECT_TRUE(shows(badge)) << badge;
    }
    // The signed-in user can be neither demoted nor removed from here.
    for (const auto& key : {role_key("ada"), autologin_key("ada"), remove_key("ada")}) {
        EXPECT_FALSE(node(key).has_value()) << key;
    }
    struct Buttons {
        std::string login;
        std::string_view role;
        std::string_view autologin;
    };
    for (const Buttons& row : {Buttons{"alan", "Make administrator", "Disable automatic login"},
                               Buttons{"grace", "Make standard", "Enable automatic login"}}) {
        EXPECT_EQ(label_of(role_key(row.login)), row.role);
        EXPECT_EQ(label_of(autologin_key(row.login)), row.autologin);
        EXPECT_EQ(label_of(remove_key(row.login)), "Remove…");
        EXPECT_FALSE(node(confirm_remove_key(row.login)).has_value());
    }
    // Each entry's role badge sits on its name's line, right of the name.
    const auto name = window->find_text_bounds("Alan Turing");
    const auto detail = window->find_text_bounds("alan · UID 1001");
    ASSERT_TRUE(name && detail);
    EXPECT_LT(name->y1, detail->y0 + 1.0);
    EXPECT_FALSE(shows(problem_title));
    EXPECT_FALSE(shows(form_title));
    EXPECT_FALSE(shows(no_accounts_caption));
}

TEST_F(UsersPaneTest, AnAccountTheResourceTreeHasNotSeenYetIsShownWithItsButtons)
{
    // The tree's snapshot of the machine lags behind the page's own reading (an account made a moment ago).
    open();
    machine->change([](FakeMachine::State& state) {
        state.users.push_back({.login = "bob", .full_name = "Bob Builder", .uid = 1003});
    });
    click_control(role_key("grace"));
    EXPECT_TRUE(shows("Bob Builder"));
    EXPECT_EQ(label_of(role_key("bob")), "Make administrator");
    click_control(role_key("bob"));
    EXPECT_THAT(machine->calls(), Contains("set_role bob true"));
}

TEST_F(UsersPaneTest, LoadingThenNoAccountsAndNoIdentityDirectory)
{
    machine->change([](FakeMachine::State& state) {
        state.users = {};
        state.identity_dir.reset();
        state.identities = {};
    });
    ManualWorker worker;
    open(worker.executor());
    EXPECT_TRUE(shows(loading_caption));
    EXPECT_FALSE(shows(no_accounts_caption));

    ASSERT_EQ(worker.run(), 1U);
    window->frame();
    EXPECT_FALSE(shows(loading_caption));
    EXPECT_TRUE(shows(no_accounts_caption));
    // Without an identity folder the identities card says so; the two cards that explain signing still show.
    const auto all = lines();
    for (const std::string_view text : {identities_title, no_identities_caption, protection_title, protection_caption,
                                        boundary_title, boundary_caption}) {
        EXPECT_THAT(all, Contains("label " + std::string(text))) << text;
    }
    EXPECT_THAT(all, Not(Contains("label " + std::string(private_file_caption))));
    EXPECT_THAT(all, Not(Contains("label " + std::string(hardware_caption))));
}

TEST_F(UsersPaneTest, FocusSurvivesAChange)
{
    open();
    const auto builds = pane->view_builds();
    focus(autologin_key("alan"));
    EXPECT_EQ(panes::testing::next_in_focus_order(*window, autologin_key("alan")), remove_key("alan"));
    window->key(vorn_ui::Key::Space);
    window->frame();
    EXPECT_THAT(machine->calls(), Contains("set_automatic_login alan false"));
    EXPECT_EQ(label_of(autologin_key("alan")), "Enable automatic login");
    EXPECT_EQ(panes::testing::focused_id(*window), autologin_key("alan"));
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), remove_key("alan"));

    click_control(role_key("alan"));
    EXPECT_THAT(machine->calls(), Contains("set_role alan true"));
    EXPECT_EQ(label_of(role_key("alan")), "Make standard");
    EXPECT_FALSE(shows("Standard"));  // every account shown is now an administrator
    EXPECT_EQ(pane->view_builds(), builds);
}

TEST_F(UsersPaneTest, RemovalAsksWhichFilesToKeepThenRemoves)
{
    open();
    focus(remove_key("grace"));
    window->key(vorn_ui::Key::Enter);
    window->frame();
    EXPECT_EQ(label_of(confirm_remove_keep_key("grace")), "Remove, keep files");
    EXPECT_EQ(label_of(confirm_remove_key("grace")), "Remove account and files");
    EXPECT_FALSE(node(remove_key("grace")).has_value());
    EXPECT_EQ(panes::testing::focused_id(*window), confirm_remove_keep_key("grace"));
    EXPECT_TRUE(node(remove_key("alan")).has_value());  // only that account waits
    EXPECT_THAT(machine->calls(), Not(Contains(HasSubstr("delete_user"))));

    click_control(confirm_remove_key("grace"));
    EXPECT_THAT(machine->calls(), Contains("delete_user grace true"));
    EXPECT_FALSE(shows("Grace Hopper"));
    EXPECT_TRUE(shows("Alan Turing"));
}

TEST_F(UsersPaneTest, TheAddFormCreatesAStandardAccountAndThePasswordStaysOutOfEverything)
{
    open();
    const panes::testing::LogCapture log;
    click_control(add_key);
    EXPECT_TRUE(shows(form_title));
    EXPECT_TRUE(shows(form_caption));
    for (const std::string_view id : {full_name_id, username_id, password_id}) {
        EXPECT_TRUE(node(id).has_value()) << id;
    }
    EXPECT_EQ(label_of(create_id), "Create");
    EXPECT_EQ(label_of(cancel_id), "Cancel");
    const vorn_ui::TextInput* password = text_input(*pane, password_id);
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(password->kind(), password_kind);
    EXPECT_EQ(password->placeholder(), password_placeholder);

    type_into(full_name_id, "Bob Builder");
    type_into(username_id, "bob");
    type_into(password_id, new_password);
    // Typed, not yet used: the password is in the locked buffer only.
    EXPECT_EQ(pane->model().password_buffer()->copy().view(), new_password);
    EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr(new_password)));
    EXPECT_THAT(document_texts(pane->working_document(doc)), HasSubstr("Bob Builder"));
    EXPECT_THAT(document_texts(pane->working_document(doc)), Not(HasSubstr(new_password)));
    EXPECT_THAT(document_texts(doc), Not(HasSubstr(new_password)));
    EXPECT_THAT(lines(), Not(Contains(HasSubstr(std::string(new_password)))));

    click_control(create_id);
    EXPECT_THAT(machine->calls(), Contains(fmt::format("create_user bob|Bob Builder|{}", new_password)));
    EXPECT_FALSE(shows(form_title));
    EXPECT_TRUE(shows("Bob Builder"));
    EXPECT_TRUE(shows("bob · UID 1003"));
    EXPECT_EQ(pane->model().password_buffer()->copy().view(), "");
    EXPECT_EQ(panes::testing::focused_id(*window), add_key);  // the form's button is gone; "Add user" has the focus
    EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr(new_password)));
    EXPECT_THAT(log.text(), Not(HasSubstr(new_password)));
}

TEST_F(UsersPaneTest, AFailedCreateIsShownAndTheFormStaysOpenWithEmptyFields)
{
    machine->change([](FakeMachine::State& state) {
        state.failures["create_user"] = "The user name \"Bob\" must start with a lower-case letter or \"_\".";
    });
    open();
    click_control(add_key);
    type_into(full_name_id, "Bob");
    type_into(username_id, "Bob");
    type_into(password_id, new_password);
    click_control(create_id);
    EXPECT_TRUE(shows(problem_title));
    EXPECT_THAT(lines(),
                Contains(std::string("label ") + "The user name \"Bob\" must start with a lower-case letter or \"_\"."));
    EXPECT_TRUE(shows(form_title));
    for (const std::string_view id : {full_name_id, username_id, password_id}) {
        const auto field = node(id);
        ASSERT_TRUE(field.has_value()) << id;
        EXPECT_EQ(field->value("value", std::string()), "") << id;
    }
    EXPECT_EQ(pane->model().password_buffer()->copy().view(), "");

    // Cancel closes the form; the problem stays until the next change.
    click_control(cancel_id);
    EXPECT_FALSE(shows(form_title));
    EXPECT_TRUE(shows(problem_title));
}

TEST_F(UsersPaneTest, OperationsFromTheApplicationAreAnsweredAndShown)
{
    open();
    const auto builds = pane->view_builds();
    const auto key = hand_over(UserOperation{UserOperation::SetAdmin{"grace", false}});
    EXPECT_EQ(status.get(), OperationStatus::done(key, "User account updated."));
    EXPECT_EQ(label_of(role_key("grace")), "Make administrator");
    EXPECT_EQ(pane->view_builds(), builds);

    // The signed-in user, whatever is handed over.
    const auto self = hand_over(UserOperation{UserOperation::Remove{"ada", true}});
    EXPECT_EQ(status.get(), OperationStatus::failed(self, "User account is no longer available."));
    EXPECT_THAT(lines(), Contains(std::string("label ") + "User account is no longer available."));
    EXPECT_TRUE(shows("Ada Lovelace"));

    // A request that is not the running operation is reported on the page only.
    (void)status.publish(OperationStatus::running("settings.user-operation:{}"));
    (void)requests.publish(operations::PaneOperationRequest{UserOperation{UserOperation::Remove{"alan", false}}});
    window->frame();
    EXPECT_THAT(lines(), Contains(std::string("label ") + "Ignored a stale user-management command."));
    EXPECT_EQ(status.get(), OperationStatus::running("settings.user-operation:{}"));
    EXPECT_THAT(machine->calls(), Not(Contains(HasSubstr("delete_user"))));
}

TEST_F(UsersPaneTest, IdentitiesShowTheirProtectionAndActions)
{
    open();
    const auto all = lines();
    for (const std::string_view expected :
         {"label Your Vorn identities", "label Work", "label work · key 0aff1000… · 2-of-3 · Secret Service + "
                                                      "app-scoped signing broker",
          "label laptop", "label laptop · key 01020304… · 1-of-1 · Private session file + app-scoped signing broker",
          "label Old laptop", "label old · key 00000000… · 1-of-1 · Migration required"}) {
        EXPECT_THAT(all, Contains(std::string(expected))) << expected << "\n" << ::testing::PrintToString(all);
    }
    EXPECT_THAT(all, Contains("label " + std::string(private_file_caption)));
    EXPECT_THAT(all, Not(Contains("label " + std::string(hardware_caption))));
    EXPECT_TRUE(shows("Active"));
    EXPECT_TRUE(shows("Available"));
    // The active identity can be neither used again nor removed; only the one that needs migration offers protection.
    for (const auto& key : {identity_activate_key("work"), identity_remove_key("work"), identity_protect_key("work"),
                            identity_protect_key("laptop")}) {
        EXPECT_FALSE(node(key).has_value()) << key;
    }
    EXPECT_EQ(label_of(identity_activate_key("laptop")), "Use");
    EXPECT_EQ(label_of(identity_protect_key("old")), "Protect now");

    // The confirmation moves from one identity to the next.
    click_control(identity_remove_key("laptop"));
    EXPECT_EQ(label_of(identity_confirm_remove_key("laptop")), "Remove identity");
    EXPECT_EQ(panes::testing::focused_id(*window), identity_confirm_remove_key("laptop"));
    click_control(identity_remove_key("old"));
    EXPECT_EQ(label_of(identity_confirm_remove_key("old")), "Remove identity");
    EXPECT_EQ(label_of(identity_remove_key("laptop")), "Remove…");
    click_control(identity_confirm_remove_key("old"));
    EXPECT_THAT(machine->calls(), Contains("remove_identity old"));
    EXPECT_FALSE(shows("Old laptop"));

    click_control(identity_activate_key("laptop"));
    EXPECT_THAT(machine->calls(), Contains("set_active_identity laptop"));
    EXPECT_FALSE(node(identity_activate_key("laptop")).has_value());
    EXPECT_EQ(label_of(identity_activate_key("work")), "Use");

    // A failure is the page's problem sentence.
    machine->change(
        [](FakeMachine::State& state) { state.failures["set_active_identity"] = "The keyring is locked."; });
    click_control(identity_activate_key("work"));
    EXPECT_TRUE(shows(problem_title));
    EXPECT_THAT(lines(), Contains(std::string("label ") + "The keyring is locked."));
}

}  // namespace
}  // namespace settings::panes::users
