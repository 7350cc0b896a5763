// The External Accounts page in the real application window (headless), with the application's own connection check
// trusting the tests' CA: a CalDAV account whose server is a real radicale on loopback is refused with a wrong
// password, then checked, saved and listed, and removed again after the page asked; the password never reaches the
// accessibility tree or the log.
#include "app/settings_app.hpp"
#include "app/test_support.hpp"
#include "panes/accounts/accounts_pane.hpp"
#include "panes/accounts/accounts_texts.hpp"

#include "account_probe/probe_test_support.hpp"
#include "actions/action_builders.hpp"
#include "actions/catalogue/bindings.hpp"
#include "launch/launch.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "test_buses/no_session_bus.hpp"
#include "page_doc/page_doc.hpp"
#include "vorn_ui/actions/invocation_route.hpp"
#include "vorn_ui/app.hpp"
#include "vorn_ui/headless.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <thread>

namespace settings::panes::accounts {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;
namespace probe_testing = account_probe::testing;
namespace servers = settings::test_servers;

using ::settings::panes::testing::node_with_id;

class AccountsWindowTest : public probe_testing::ServerSuite<servers::Radicale> {
protected:
    void open_page()
    {
        settings = app::SettingsApp::create(
            {.account_paths = paths,
             .account_probe = std::make_shared<account_probe::NetworkAccountProbe>(
                 probe_testing::options_trusting_test_ca())});
        window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 2400});
        window->frame();
        settings->select_section(Section::ExternalAccounts);
    }

    // Runs frames until `done` holds (at most 60 s: radicale answers well within a second).
    bool frames_until(const std::function<bool()>& done)
    {
        return ::settings::panes::testing::frames_until(*window, done, std::chrono::seconds(60));
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    [[nodiscard]] std::optional<nlohmann::ordered_json> control(std::string_view id) const
    {
        return node_with_id(window->accessibility_json(), id);
    }
    void click_control(std::string_view id)
    {
        const auto found = control(id);
        ASSERT_TRUE(found.has_value()) << id;
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
    [[nodiscard]] std::vector<account_registry::Account> stored() const
    {
        auto store = paths.try_load_store();
        EXPECT_TRUE(store) << store.error();
        return store ? store->accounts : std::vector<account_registry::Account>{};
    }

    // Before the home: it changes the environment, which the home restores only once the page workers are joined.
    test_buses::NoSessionBus no_session_bus;  // the vault key stays in the private home, never in a keyring
    app::testing::PrivateHome home;
    panes::testing::LogCapture log;
    settings::accounts::AccountPaths paths{.root = home.path() / "config" / "vorn"};
    page_doc::Document doc;
    std::unique_ptr<app::SettingsApp> settings;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(AccountsWindowTest, ACalDavAccountIsCheckedAgainstItsServerSavedListedAndRemoved)
{
    open_page();
    ASSERT_TRUE(frames_until([&] { return shows(texts::no_accounts); }));
    EXPECT_FALSE(shows(app::kPageNotAvailable));

    click_control(controls::add(AccountKind::CalDav));
    ASSERT_TRUE(frames_until([&] { return control(controls::form_server).has_value(); }));
    const std::string address = "https://localhost:" + std::to_string(server().port()) + "/alice/";
    type_into(controls::form_name, "Team calendar");
    type_into(controls::form_identity, servers::alice);
    type_into(controls::form_server, address);

    // A wrong password: the server refuses it and nothing is saved.
    type_into(controls::form_password, "wrong");
    click_control(controls::form_save);
    ASSERT_TRUE(frames_until([&] { return shows("Could not save: server rejected the saved credential"); }))
        << ::testing::PrintToString(panes::testing::access_lines(window->accessibility_json())) << server().log();
    EXPECT_TRUE(stored().empty());

    click_control(controls::form_password);
    for (int i = 0; i < 5; ++i) {
        window->key(vorn_ui::Key::Backspace);
    }
    window->type(servers::alice_password);
    window->frame();
    EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr(servers::alice_password)));
    click_control(controls::form_save);
    ASSERT_TRUE(frames_until([&] { return !control(controls::form_save).has_value(); })) << server().log();
    ASSERT_TRUE(frames_until([&] { return shows("Team calendar"); }));
    EXPECT_TRUE(shows("Not checked yet"));
    EXPECT_FALSE(shows(texts::no_accounts));
    const auto accounts = stored();
    ASSERT_EQ(accounts.size(), 1u);
    const std::string id = accounts[0].id;
    EXPECT_EQ(accounts[0].type_id, "caldav");
    {
        auto vault = paths.open_vault();
        ASSERT_TRUE(vault) << vault.error();
        ASSERT_TRUE(vault->get(id));
        EXPECT_EQ(vault->get(id)->view(), servers::alice_password);
    }
    EXPECT_EQ(control(controls::test(id))->value("label", std::string()), "Verify sign-in");

    click_control(controls::remove(id));
    ASSERT_TRUE(frames_until([&] { return shows(texts::removal_title); }));
    EXPECT_TRUE(shows(removal_text("Team calendar")));
    click_control(controls::remove_confirm);
    ASSERT_TRUE(frames_until([&] { return !shows("Team calendar"); }));
    EXPECT_FALSE(shows(texts::removal_title));
    EXPECT_TRUE(shows(texts::no_accounts));
    EXPECT_TRUE(stored().empty());
    {
        auto vault = paths.open_vault();
        ASSERT_TRUE(vault) << vault.error();
        EXPECT_FALSE(vault->get(id));
    }
    EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr(servers::alice_password)));
    EXPECT_THAT(log.text(), Not(HasSubstr(servers::alice_password)));
}

// Automation opens and cancels the add form through the section's actions: the application hands each command to
// the page, and the operation ends only once the page has acted on it.
TEST_F(AccountsWindowTest, TheSectionsFormCommandsAreCarriedOutByThePage)
{
    open_page();
    ASSERT_TRUE(frames_until([&] { return shows(texts::no_accounts); }));
    vorn_ui::app::App loop("so.vorn.settings");
    launch::register_actions(loop);
    using A = actions::AccountOperation;
    std::uint32_t serial = 0;
    const auto run = [&](std::string_view action, const A& operation, std::uint8_t effect) {
        auto binding = actions::catalogue::external_account_binding(
            "settings.section:external_accounts", "External Accounts", action, action, effect, operation, false);
        EXPECT_TRUE(binding.has_value()) << action;
        const auto invocation = binding->invoke(vorn_actions::Unit{});
        EXPECT_TRUE(invocation.has_value()) << action;
        const auto id = vorn_ui::OperationId::from_parts(0xacc, ++serial);
        const auto routed =
            vorn_ui::run_control_invocation(window->root(), doc, loop.action_registry(), *invocation, id);
        EXPECT_TRUE(routed.has_value()) << (routed ? "" : routed.error().display());
        std::optional<vorn_ui::OperationCompletion> completion;
        EXPECT_TRUE(frames_until([&] {
            completion = window->root().poll_resource_operation(id, false, {});
            return completion.has_value();
        })) << action;
        return completion;
    };

    const auto opened = run("add-caldav", A(A::Add{"caldav"}), actions::effect_navigation);
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(opened->kind, vorn_ui::OperationCompletion::Kind::Completed) << opened->message;
    EXPECT_TRUE(shows("Add Calendar (CalDAV) account"));
    EXPECT_TRUE(control(controls::form_server).has_value());

    const auto cancelled = run("cancel-form", A(A::CancelForm{}), actions::effect_navigation);
    ASSERT_TRUE(cancelled.has_value());
    EXPECT_EQ(cancelled->kind, vorn_ui::OperationCompletion::Kind::Completed) << cancelled->message;
    EXPECT_FALSE(control(controls::form_save).has_value());

    // With no form open, a submit is refused with its sentence.
    const auto refused = run("save-form", A(A::SubmitForm{}), actions::effect_operation);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->kind, vorn_ui::OperationCompletion::Kind::Failed);
    EXPECT_THAT(refused->message, HasSubstr(sentences::no_form_open));
}

}  // namespace
}  // namespace settings::panes::accounts
