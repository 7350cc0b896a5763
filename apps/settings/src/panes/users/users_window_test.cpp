// The Users page in the real application window (headless), over the real shadow tools working on a prefix folder
// with copies of the account files, pkexec replaced by a stand-in that runs its arguments: the page lists the
// machine's login accounts, carries out and answers an operation automation starts through the Users section's
// action, adds a user through the add form and removes it through its own buttons; the password never reaches a
// tool's arguments, the accessibility tree or the log.
#include "app/settings_app.hpp"
#include "app/test_support.hpp"
#include "panes/users/users_pane.hpp"
#include "panes/users/users_text.hpp"

#include "actions/catalogue/bindings.hpp"
#include "cmd_runner/cmd_runner.hpp"
#include "launch/launch.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "system_ops/testing/account_prefix.hpp"
#include "vorn_ui/actions/invocation_route.hpp"
#include "vorn_ui/app.hpp"
#include "vorn_ui/headless.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <thread>

namespace settings::panes::users {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::string_view new_password = "correct horse battery";

using ::settings::panes::testing::node_with_id;

class UsersWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto prefix = system_ops::testing::AccountPrefix::create();
        if (!prefix) {
            GTEST_SKIP() << prefix.error();
        }
        prefix_ = std::move(*prefix);
        scoped_.emplace(std::make_shared<system_ops::users::ShadowUsers>(cmd_runner::system_runner(),
                                                                         prefix_->options({"ada"})));
    }

    void open_page()
    {
        settings = app::SettingsApp::create();
        window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 1600});
        window->frame();
        settings->select_section(Section::Users);
    }

    // Runs frames until `done` holds (at most 30 s: the shadow tools answer well within a second).
    bool frames_until(const std::function<bool()>& done)
    {
        return ::settings::panes::testing::frames_until(*window, done, std::chrono::seconds(30));
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

    app::testing::PrivateHome home;
    // Everything logged while the application runs (it goes after the application's own threads).
    panes::testing::LogCapture log;
    std::unique_ptr<system_ops::testing::AccountPrefix> prefix_;
    std::optional<system_ops::ScopedCurrent<system_ops::users::UsersService>> scoped_;
    page_doc::Document doc;
    std::unique_ptr<app::SettingsApp> settings;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(UsersWindowTest, ListsTheAccountsAnswersAnOperationThenAddsAndRemovesAUserThroughThePage)
{
    open_page();
    ASSERT_TRUE(frames_until([&] { return shows("grace · UID 1001"); }));
    EXPECT_FALSE(shows(app::kPageNotAvailable));
    EXPECT_TRUE(shows("Ada Lovelace"));
    EXPECT_TRUE(shows("ada · UID 1000 · signed in"));
    EXPECT_TRUE(shows("Grace Hopper"));
    EXPECT_EQ(control(role_key("grace"))->value("label", std::string()), "Make administrator");
    EXPECT_FALSE(control(role_key("ada")).has_value());
    EXPECT_TRUE(shows(no_identities_caption));  // the private home has no identity yet

    // Automation makes Grace an administrator through the Users section's action: the runner hands the operation
    // to the page, which checks it live, changes the account and answers.
    vorn_ui::app::App loop("so.vorn.settings");
    launch::register_actions(loop);
    const auto invocation = actions::catalogue::users_bindings().child_button("settings.user:grace", "set-admin")
                                .invoke(vorn_actions::Unit{});
    ASSERT_TRUE(invocation.has_value());
    const auto id = vorn_ui::OperationId::from_parts(0x05e5, 1);
    const auto routed =
        vorn_ui::run_control_invocation(window->root(), doc, loop.action_registry(), *invocation, id);
    ASSERT_TRUE(routed.has_value()) << routed.error().display();
    ASSERT_TRUE(routed->start.has_value());
    ASSERT_EQ(routed->start->kind, vorn_ui::ResourceOperationStart::Kind::Pending);
    std::optional<vorn_ui::OperationCompletion> completion;
    ASSERT_TRUE(frames_until([&] {
        completion = window->root().poll_resource_operation(id, false, {});
        return completion.has_value();
    }));
    EXPECT_EQ(completion->kind, vorn_ui::OperationCompletion::Kind::Completed) << completion->message;
    ASSERT_TRUE(frames_until([&] {
        return control(role_key("grace"))->value("label", std::string()) == "Make standard";
    }));
    EXPECT_EQ(prefix_->line_of("group", "sudo"), "sudo:x:27:ada,grace");

    click_control(add_key);
    ASSERT_TRUE(frames_until([&] { return control(username_id).has_value(); }));
    for (const auto& [id, text] : {std::pair{full_name_id, std::string_view("Bob Builder")},
                                   std::pair{username_id, std::string_view("bob")},
                                   std::pair{password_id, new_password}}) {
        click_control(id);
        window->type(text);
        window->frame();
    }
    EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr(new_password)));
    click_control(create_id);
    ASSERT_TRUE(frames_until([&] { return shows("bob · UID 1002"); }));
    EXPECT_TRUE(shows("Bob Builder"));
    EXPECT_FALSE(shows(form_title));
    EXPECT_FALSE(shows(problem_title));
    EXPECT_THAT(prefix_->line_of("passwd", "bob"), HasSubstr("bob:x:1002:"));
    EXPECT_THAT(prefix_->line_of("shadow", "bob"), ::testing::StartsWith("bob:$"));
    for (const auto& run : prefix_->runs()) {
        EXPECT_THAT(run, Not(HasSubstr("horse")));
    }

    click_control(remove_key("bob"));
    ASSERT_TRUE(frames_until([&] { return control(confirm_remove_key("bob")).has_value(); }));
    click_control(confirm_remove_key("bob"));
    ASSERT_TRUE(frames_until([&] { return !shows("Bob Builder"); }));
    EXPECT_FALSE(shows(problem_title));
    EXPECT_EQ(prefix_->line_of("passwd", "bob"), "");
    EXPECT_FALSE(std::filesystem::exists(prefix_->root() / "home/bob"));
    EXPECT_TRUE(shows("Grace Hopper"));
    EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr(new_password)));
    EXPECT_THAT(log.text(), Not(HasSubstr(new_password)));
}

}  // namespace
}  // namespace settings::panes::users
