// The Users page's model: the reading, operations replayed from the application (live check, stale, self, no-op,
// failure, the page closing), presses, the add form and its password, the identities; and the page's own path to
// the real shadow tools on a prefix folder.
#include "panes/users/users_model.hpp"

#include "panes/users/testing/fake_users.hpp"
#include "panes/users/users_text.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/testing/account_prefix.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace settings::panes::users {
namespace {

using operations::OperationStatus;
using testing::FakeMachine;
using testing::ManualWorker;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> logins(const std::vector<LocalUser>& users)
{
    std::vector<std::string> out;
    for (const auto& user : users) {
        out.push_back(user.login);
    }
    return out;
}

// A model with the application's cells and a worker the test runs.
class ModelFixture : public ::testing::Test {
protected:
    void start(UsersModel::Environment environment)
    {
        model_ = std::make_unique<UsersModel>(std::move(environment));
        model_->share_operation_requests(requests_);
        model_->share_operation_status(status_);
        settle();
    }

    // A sync, the worker's work, and the sync that takes its answers.
    void settle()
    {
        model_->sync(doc_);
        worker_.run();
        model_->sync(doc_);
    }

    void press(std::string_view key) { doc_.put_bool(key, true); }

    // Hands the operation over as the application's runner does: Running with its key, then the request.
    std::string hand_over(const UserOperation& operation)
    {
        const auto key = operations::operation_key(operation);
        (void)status_.publish(OperationStatus::running(key));
        (void)requests_.publish(operations::PaneOperationRequest{operation});
        return key;
    }

    ManualWorker worker_;
    operations::OperationRequestCell requests_{std::nullopt};
    operations::OperationStatusCell status_{OperationStatus::idle()};
    page_doc::Document doc_;
    std::unique_ptr<UsersModel> model_;
};

// On an in-memory machine.
class UsersModelTest : public ModelFixture {
protected:
    void SetUp() override { start(machine_->environment(worker_.executor())); }

    std::shared_ptr<FakeMachine> machine_ =
        FakeMachine::create({.users = testing::sample_users(), .identities = testing::sample_identities()});
};

TEST_F(UsersModelTest, ReadsAccountsAndIdentitiesOnTheWorker)
{
    UsersModel fresh(machine_->environment(worker_.executor()));
    page_doc::Document doc;
    fresh.sync(doc);
    EXPECT_TRUE(fresh.loading());
    EXPECT_THAT(fresh.users(), IsEmpty());
    EXPECT_FALSE(fresh.has_identity_store());
    worker_.run();
    fresh.sync(doc);
    EXPECT_FALSE(fresh.loading());
    EXPECT_EQ(fresh.users(), testing::sample_users());
    EXPECT_EQ(fresh.identities(), testing::sample_identities());
    EXPECT_TRUE(fresh.has_identity_store());
    EXPECT_TRUE(fresh.take_structure_dirty());
    EXPECT_THAT(machine_->calls(), IsEmpty());
}

TEST_F(UsersModelTest, EveryOperationIsCheckedLiveAndAnsweredUnderItsOwnKey)
{
    using Op = UserOperation;
    struct Case {
        std::string_view name;
        Op operation;
        std::vector<std::string> calls;
        std::optional<std::string> failure;  // the answer's error; none: Done "User account updated."
        std::string fail_call = {};          // a change the machine refuses with "userdel: user is logged in"
    };
    const std::vector<Case> cases{
        {"make standard", Op{Op::SetAdmin{"grace", false}}, {"set_role grace false"}, std::nullopt},
        {"role already so", Op{Op::SetAdmin{"grace", true}}, {}, std::nullopt},
        {"own account", Op{Op::SetAdmin{"ada", false}}, {}, "User account is no longer available."},
        {"own removal", Op{Op::Remove{"ada", true}}, {}, "User account is no longer available."},
        {"unknown account", Op{Op::Remove{"nobody", false}}, {}, "User account is no longer available."},
        {"automatic login off", Op{Op::SetAutologin{"alan", false}}, {"set_automatic_login alan false"}, std::nullopt},
        {"automatic login already on", Op{Op::SetAutologin{"alan", true}}, {}, std::nullopt},
        {"remove with files", Op{Op::Remove{"grace", true}}, {"delete_user grace true"}, std::nullopt},
        {"refused", Op{Op::Remove{"alan", false}}, {"delete_user alan false"}, "userdel: user is logged in",
         "delete_user"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        machine_->change([&](FakeMachine::State& state) {
            state.users = testing::sample_users();
            state.calls.clear();
            state.failures.clear();
            if (!c.fail_call.empty()) {
                state.failures[c.fail_call] = "userdel: user is logged in";
            }
        });
        settle();  // the list as the machine has it
        const auto key = hand_over(c.operation);
        model_->sync(doc_);
        EXPECT_EQ(requests_.get(), std::nullopt);  // taken once
        EXPECT_TRUE(status_.get().is_running(key));  // the answer waits for the work
        worker_.run();
        model_->sync(doc_);
        EXPECT_EQ(machine_->calls(), c.calls);
        if (c.failure) {
            EXPECT_EQ(status_.get(), OperationStatus::failed(key, *c.failure));
            EXPECT_EQ(model_->status(), c.failure);
        } else {
            EXPECT_EQ(status_.get(), OperationStatus::done(key, "User account updated."));
            EXPECT_EQ(model_->status(), std::nullopt);
        }
        EXPECT_EQ(model_->users(), machine_->state().users);  // read again after the change
    }
}

TEST_F(UsersModelTest, AStaleOperationIsReportedOnThePageOnly)
{
    // Nothing runs, then another operation runs: either way the request is not the running one.
    for (const auto& running : {OperationStatus::idle(),
                                OperationStatus::running(operations::operation_key(
                                    UserOperation{UserOperation::SetAdmin{"alan", true}}))}) {
        (void)status_.publish(running);
        (void)requests_.publish(operations::PaneOperationRequest{UserOperation{UserOperation::Remove{"grace", true}}});
        model_->sync(doc_);
        EXPECT_EQ(worker_.waiting(), 0U);
        EXPECT_EQ(requests_.get(), std::nullopt);
        EXPECT_EQ(status_.get(), running);
        EXPECT_EQ(model_->status(), "Ignored a stale user-management command.");
    }
    EXPECT_THAT(machine_->calls(), IsEmpty());
}

TEST_F(UsersModelTest, APressNeverAnswersAnOperation)
{
    // An operation the runner still shows as running, whose request never reached the page.
    const auto key = operations::operation_key(UserOperation{UserOperation::SetAdmin{"alan", true}});
    (void)status_.publish(OperationStatus::running(key));
    press(role_key("grace"));
    settle();
    EXPECT_EQ(machine_->calls(), std::vector<std::string>{"set_role grace false"});
    EXPECT_EQ(status_.get(), OperationStatus::running(key));
}

TEST_F(UsersModelTest, AnOutcomeForAnOperationNoLongerRunningIsDropped)
{
    (void)hand_over(UserOperation{UserOperation::SetAdmin{"alan", true}});
    model_->sync(doc_);
    // The runner gave up on it meanwhile and started another.
    const auto other = OperationStatus::running("settings.printer-operation:\"Refresh\"");
    (void)status_.publish(other);
    worker_.run();
    model_->sync(doc_);
    EXPECT_EQ(status_.get(), other);
    EXPECT_EQ(machine_->calls(), std::vector<std::string>{"set_role alan true"});
}

TEST_F(UsersModelTest, AChangeStillOnTheWorkerWhenThePageClosesAnswersItself)
{
    const auto key = hand_over(UserOperation{UserOperation::Remove{"grace", false}});
    model_->sync(doc_);
    model_.reset();
    worker_.run();
    EXPECT_EQ(status_.get(), OperationStatus::done(key, "User account updated."));
    EXPECT_EQ(machine_->calls(), std::vector<std::string>{"delete_user grace false"});
}

TEST_F(UsersModelTest, PressesActOnTheAccountAsListed)
{
    press(role_key("grace"));
    press(autologin_key("alan"));
    settle();
    // In list order, each once.
    EXPECT_EQ(machine_->calls(), (std::vector<std::string>{"set_automatic_login alan false", "set_role grace false"}));
    EXPECT_EQ(page_doc::doc_bool(doc_, role_key("grace")), false);

    // Changed elsewhere after the page listed it: the press asks for what is already so, and nothing runs.
    machine_->change([](FakeMachine::State& state) { state.users[2].admin = true; state.calls.clear(); });
    press(role_key("grace"));  // the page still lists grace as standard: "Make administrator"
    settle();
    EXPECT_THAT(machine_->calls(), IsEmpty());
    EXPECT_EQ(model_->status(), std::nullopt);

    // A press left for the signed-in user's own account (the view offers none) is refused.
    press(role_key("ada"));
    press(confirm_remove_key("ada"));
    settle();
    EXPECT_THAT(machine_->calls(), IsEmpty());
    EXPECT_EQ(model_->status(), "User account is no longer available.");
}

TEST_F(UsersModelTest, RemovalWaitsForItsConfirmation)
{
    press(remove_key("alan"));
    settle();
    EXPECT_EQ(model_->pending_removal(), "alan");
    EXPECT_THAT(machine_->calls(), IsEmpty());
    press(remove_key("grace"));
    settle();
    EXPECT_EQ(model_->pending_removal(), "grace");
    press(confirm_remove_keep_key("grace"));
    settle();
    EXPECT_EQ(model_->pending_removal(), std::nullopt);
    EXPECT_EQ(machine_->calls(), std::vector<std::string>{"delete_user grace false"});
    EXPECT_THAT(logins(model_->users()), ElementsAre("ada", "alan"));
}

TEST_F(UsersModelTest, TheAddFormMakesAStandardAccountAndWipesThePassword)
{
    press(add_key);
    settle();
    ASSERT_TRUE(model_->form_open());
    const auto* name = std::get_if<page_doc::TextObject>(doc_.get(form_full_name_key));
    const auto* login = std::get_if<page_doc::TextObject>(doc_.get(form_username_key));
    ASSERT_TRUE(name != nullptr && login != nullptr);
    ASSERT_TRUE(doc_.update_text(name->id, "  Barbara Liskov "));
    ASSERT_TRUE(doc_.update_text(login->id, " barbara\u00A0"));
    model_->password_buffer()->set("correct horse battery");

    press(form_save_key);
    model_->sync(doc_);
    // The buffer and the fields are emptied before the worker runs.
    EXPECT_TRUE(model_->password_buffer()->empty());
    EXPECT_EQ(page_doc::doc_text(doc_, form_username_key), "");
    EXPECT_TRUE(model_->creating());
    press(form_save_key);  // a second press while the account is made does nothing
    model_->sync(doc_);
    EXPECT_EQ(worker_.waiting(), 1U);

    worker_.run();
    model_->sync(doc_);
    EXPECT_EQ(machine_->calls(), std::vector<std::string>{"create_user barbara|Barbara Liskov|correct horse battery"});
    EXPECT_FALSE(model_->form_open());
    EXPECT_FALSE(model_->creating());
    EXPECT_THAT(logins(model_->users()), ElementsAre("ada", "alan", "grace", "barbara"));
}

TEST_F(UsersModelTest, AFailedCreateLeavesTheFormOpenWithEmptyFields)
{
    machine_->change([](FakeMachine::State& state) { state.failures["create_user"] = "Enter a user name."; });
    press(add_key);
    settle();
    model_->password_buffer()->set("0123456789");
    press(form_save_key);
    settle();
    EXPECT_TRUE(model_->form_open());
    EXPECT_EQ(model_->status(), "Enter a user name.");
    EXPECT_TRUE(model_->password_buffer()->empty());
    EXPECT_EQ(page_doc::doc_text(doc_, form_full_name_key), "");

    model_->password_buffer()->set("typed again");
    press(form_cancel_key);
    settle();
    EXPECT_FALSE(model_->form_open());
    EXPECT_TRUE(model_->password_buffer()->empty());
}

TEST_F(UsersModelTest, ClosingThePageWipesThePassword)
{
    const auto buffer = model_->password_buffer();
    buffer->set("half typed secret");
    model_.reset();
    EXPECT_TRUE(buffer->empty());
}

TEST_F(UsersModelTest, IdentityActions)
{
    press(identity_activate_key("laptop"));
    press(identity_protect_key("old"));
    settle();
    EXPECT_EQ(machine_->calls(), (std::vector<std::string>{"set_active_identity laptop", "secure_identity old"}));
    EXPECT_TRUE(model_->identities()[1].active);
    EXPECT_EQ(model_->identities()[2].protection, Protection::SecretService);

    press(identity_remove_key("work"));
    settle();
    EXPECT_EQ(model_->pending_identity_removal(), "work");
    press(identity_remove_key("old"));
    settle();
    EXPECT_EQ(model_->pending_identity_removal(), "old");
    machine_->change([](FakeMachine::State& state) { state.failures["remove_identity"] = "locked keyring"; });
    press(identity_confirm_remove_key("old"));
    settle();
    EXPECT_EQ(model_->pending_identity_removal(), std::nullopt);
    EXPECT_EQ(model_->status(), "locked keyring");
    EXPECT_EQ(model_->identities().size(), 3U);
}

TEST_F(UsersModelTest, WithoutAnIdentityDirectoryTheListIsEmptyOrKept)
{
    machine_->change([](FakeMachine::State& state) { state.identity_dir.reset(); });
    UsersModel fresh(machine_->environment(worker_.executor()));
    page_doc::Document doc;
    fresh.sync(doc);
    worker_.run();
    fresh.sync(doc);
    EXPECT_THAT(fresh.identities(), IsEmpty());
    EXPECT_FALSE(fresh.has_identity_store());

    // The page that had a directory keeps its list when a later reading has none.
    press(role_key("grace"));
    settle();
    EXPECT_EQ(model_->identities(), testing::sample_identities());
}

TEST(UsersTextTest, LinesAndLabels)
{
    const auto users = testing::sample_users();
    EXPECT_EQ(user_detail_line(users[0]), "ada · UID 1000 · signed in");
    EXPECT_EQ(user_detail_line(users[1]), "alan · UID 1001");
    EXPECT_EQ(role_badge(users[0]), (Badge{"Administrator", 0}));
    EXPECT_EQ(role_badge(users[1]), (Badge{"Standard", 2}));
    EXPECT_EQ(role_button_label(users[0]), "Make standard");
    EXPECT_EQ(autologin_button_label(users[1]), "Disable automatic login");
    EXPECT_EQ(autologin_button_label(users[2]), "Enable automatic login");

    const auto identities = testing::sample_identities();
    EXPECT_EQ(identity_detail_line(identities[0]), "work · key 0aff1000… · 2-of-3 · Secret Service + app-scoped signing broker");
    EXPECT_EQ(identity_title(identities[1]), "laptop");  // no display name: the id
    EXPECT_EQ(identity_badge(identities[0]), (Badge{"Active", 0}));
    EXPECT_EQ(identity_badge(identities[1]), (Badge{"Available", 2}));
    EXPECT_EQ(protection_label(Protection::PrivateFile), "Private session file + app-scoped signing broker");
    EXPECT_EQ(protection_label(Protection::HardwareBacked), "Hardware-backed + app-scoped signing broker");
    EXPECT_EQ(protection_label(Protection::MigrationRequired), "Migration required");
    EXPECT_EQ(protection_label(Protection::ProviderUnavailable), "Protection provider unavailable");
    EXPECT_EQ(identity_confirm_remove_key("old"), "settings.users.identity.confirm_remove.old");
    EXPECT_EQ(confirm_remove_keep_key("alan"), "settings.users.confirm_remove_keep.alan");
}

// ---- The page's own path to the real tools -------------------------------------------------------------------------

// The model with the production backend (SystemUserAdmin over system_ops::users), the shadow tools working on a
// prefix folder through the pkexec stand-in, and a worker the test runs.
class UsersModelShadowTest : public ModelFixture {
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
        UsersModel::Environment environment;
        environment.sources.identity_dir = [] { return std::optional<std::filesystem::path>(); };
        environment.worker = worker_.executor();
        start(std::move(environment));
    }

    std::unique_ptr<system_ops::testing::AccountPrefix> prefix_;
    std::optional<system_ops::ScopedCurrent<system_ops::users::UsersService>> scoped_;
};

TEST_F(UsersModelShadowTest, AddingAndRemovingAUserThroughThePage)
{
    ASSERT_THAT(logins(model_->users()), ElementsAre("ada", "grace"));
    EXPECT_TRUE(model_->users()[0].signed_in);

    press(add_key);
    settle();
    (void)doc_.update_text(std::get<page_doc::TextObject>(*doc_.get(form_full_name_key)).id, "Bob Builder");
    (void)doc_.update_text(std::get<page_doc::TextObject>(*doc_.get(form_username_key)).id, "bob");
    model_->password_buffer()->set("correct horse battery");
    press(form_save_key);
    settle();
    ASSERT_EQ(model_->status(), std::nullopt);
    EXPECT_THAT(logins(model_->users()), ElementsAre("ada", "grace", "bob"));
    EXPECT_FALSE(model_->users()[2].admin);
    EXPECT_THAT(prefix_->line_of("shadow", "bob"), ::testing::StartsWith("bob:$y$"));
    for (const auto& run : prefix_->runs()) {
        EXPECT_THAT(run, ::testing::Not(::testing::HasSubstr("horse")));
    }

    // The runner hands over "make bob an administrator", then the page's own buttons remove him.
    const auto key = hand_over(UserOperation{UserOperation::SetAdmin{"bob", true}});
    settle();
    EXPECT_EQ(status_.get(), OperationStatus::done(key, "User account updated."));
    EXPECT_EQ(prefix_->line_of("group", "sudo"), "sudo:x:27:ada,bob");
    EXPECT_TRUE(model_->users()[2].admin);

    press(autologin_key("bob"));
    settle();
    EXPECT_TRUE(model_->users()[2].automatic_login);
    EXPECT_THAT(prefix_->read("etc/lightdm/lightdm.conf"), ::testing::HasSubstr("autologin-user=bob\n"));

    press(remove_key("bob"));
    settle();
    press(confirm_remove_key("bob"));
    settle();
    EXPECT_EQ(model_->status(), std::nullopt);
    EXPECT_THAT(logins(model_->users()), ElementsAre("ada", "grace"));
    EXPECT_EQ(prefix_->line_of("passwd", "bob"), "");
    EXPECT_FALSE(std::filesystem::exists(prefix_->root() / "home/bob"));

    // The signed-in user cannot demote herself, whatever the runner hands over.
    const auto self_key = hand_over(UserOperation{UserOperation::SetAdmin{"ada", false}});
    settle();
    EXPECT_EQ(status_.get(), OperationStatus::failed(self_key, "User account is no longer available."));
    EXPECT_EQ(prefix_->line_of("group", "sudo"), "sudo:x:27:ada");
}

}  // namespace
}  // namespace settings::panes::users
