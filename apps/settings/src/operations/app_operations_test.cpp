#include "operations/app_operations.hpp"

#include "operations/test_support.hpp"

#include "accounts/paths.hpp"
#include "model_providers/model_providers.hpp"
#include "vorn_model_gateway/vorn_model_gateway.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

namespace settings::operations {
namespace {

using namespace std::chrono_literals;
using namespace settings::actions;
using testing::FakeSystem;
using testing::ManualClock;
using testing::RecordingHost;
using testing::TempHome;
using testing::op_id;
using vorn_ui::OperationClass;
using vorn_ui::OperationCompletion;
using vorn_ui::ResourceOperationAnswer;
using vorn_ui::ResourceOperationStart;

constexpr auto effect = OperationClass::Effect;
constexpr auto presentation = OperationClass::Presentation;

using test_support::read_file;

// A connection check the test controls: it records the secret it was given and answers once released.
class ScriptedProbe final : public accounts::AccountProbe {
public:
    enum class Ending : std::uint8_t { Answer, Throw };

    std::expected<std::string, std::string> probe(const account_registry::Account& account,
                                                  std::string_view secret) const override
    {
        std::unique_lock lock(mutex_);
        seen_.push_back(account.id + ":" + std::string(secret));
        released_.wait(lock, [&] { return release_count_ > 0; });
        --release_count_;
        if (ending_ == Ending::Throw) {
            throw std::runtime_error("resolver crashed");
        }
        return answer_;
    }

    void release(std::expected<std::string, std::string> answer, Ending ending = Ending::Answer)
    {
        const std::lock_guard lock(mutex_);
        answer_ = std::move(answer);
        ending_ = ending;
        ++release_count_;
        released_.notify_all();
    }
    [[nodiscard]] std::vector<std::string> seen() const
    {
        const std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable released_;
    mutable int release_count_ = 0;
    mutable std::vector<std::string> seen_;
    std::expected<std::string, std::string> answer_;
    Ending ending_ = Ending::Answer;
};

class AppOperationsTest : public ::testing::Test {
protected:
    AppOperationsTest()
    {
        host.on_page_replaced = [this] { ops.page_replaced(); };
        auto store = paths.try_load_store();
        EXPECT_TRUE(store);
        account_registry::Account mail("mail-1", "email");
        mail.display_name = "Work mail";
        store->upsert(mail);
        store->upsert(account_registry::Account("dav-1", "webdav"));
        store->upsert(account_registry::Account("odd-1", "exchange"));
        EXPECT_TRUE(paths.save_store(*store));
        auto vault = paths.open_vault();
        EXPECT_TRUE(vault) << vault.error();
        vault->put("mail-1", account_registry::SecretString("hunter2"));
        EXPECT_TRUE(vault->save());
    }
    ~AppOperationsTest() override
    {
        // No worker outlives the test still waiting.
        for (int i = 0; i < 8; ++i) {
            probe->release(std::unexpected(std::string("test over")));
        }
    }

    std::optional<OperationCompletion> wait_for_report(std::uint64_t id)
    {
        for (int i = 0; i < 500; ++i) {
            if (auto report = ops.poll(op_id(id), false)) {
                return report;
            }
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

    ResourceOperationStart start_account(OperationClass cls, std::string_view payload, std::uint64_t id = 1)
    {
        auto answer = ops.start(op_id(id), cls, AccountOperation::kind, payload);
        EXPECT_TRUE(answer.has_value());
        return answer.value_or(ResourceOperationStart::not_handled());
    }

    TempHome home;
    FakeSystem system;
    ManualClock clock;
    RecordingHost host;
    accounts::AccountPaths paths{.root = home.path() / "accounts"};
    std::shared_ptr<ScriptedProbe> probe = std::make_shared<ScriptedProbe>();
    ApplicationOperations ops{host, AppOperationsOptions{.account_paths = paths,
                                                         .probe = probe,
                                                         .account_check_deadline = 90s,
                                                         .runner = {.clock = clock.function(),
                                                                    .keyboard_layouts = testing::test_layouts,
                                                                    .storage_state = testing::test_storage_state}}};
};

TEST_F(AppOperationsTest, HandledKindsInTheirOrder)
{
    const std::vector<std::string_view> expected{
        "settings.open-pane",           "settings.account-operation",      "settings.update-operation",
        "settings.keyboard-source-operation", "settings.input-operation", "settings.time-date-operation",
        "settings.power-operation",     "settings.network-operation",      "settings.bluetooth-operation",
        "settings.storage-operation",   "settings.audio-operation",        "settings.display-operation",
        "settings.printer-operation",   "settings.user-operation",         "settings.agent-model-operation",
        "settings.device-mesh-operation", "settings.agent-provider-operation"};
    const auto ids = ApplicationOperations::handled_action_ids();
    EXPECT_EQ(std::vector<std::string_view>(ids.begin(), ids.end()), expected);
}

TEST_F(AppOperationsTest, OperationsThatAreNotTheApplicationsGoDownTheTree)
{
    EXPECT_FALSE(ops.start(op_id(1), effect, "settings.action", "{}").has_value());
    EXPECT_FALSE(ops.start(op_id(1), effect, "settings.open-pane", R"("about")").has_value());
    // A device-local kind of another class is routed; only the rollback review is handled on the way.
    EXPECT_FALSE(ops.start(op_id(1), presentation, PowerOperation::kind, R"("x")").has_value());
    EXPECT_EQ(ops.handle(presentation, PowerOperation::kind, "{}"), ResourceOperationAnswer::not_handled());
    EXPECT_EQ(ops.handle(effect, "settings.open-pane", R"("about")"), ResourceOperationAnswer::not_handled());
    EXPECT_EQ(ops.handle(OperationClass::Unclassified, UpdateOperation::kind, R"("ReviewRollback")"),
              ResourceOperationAnswer::not_handled());
    EXPECT_FALSE(ops.owns(op_id(7)));
    EXPECT_FALSE(ops.poll(op_id(7), false).has_value());
    EXPECT_TRUE(host.selections.empty());
}

// ---- Opening pages --------------------------------------------------------------------------------------------------

TEST_F(AppOperationsTest, PagesOpenByIdAndTheRollbackReviewOpensUpdates)
{
    EXPECT_EQ(ops.handle(presentation, "settings.open-pane", R"("default-apps")"), ResourceOperationAnswer::handled());
    EXPECT_EQ(host.selected, Section::DefaultApps);
    EXPECT_EQ(ops.handle(presentation, "settings.open-pane", R"("gone")"),
              ResourceOperationAnswer::failed("Settings pane is no longer available"));
    EXPECT_EQ(ops.handle(presentation, "settings.open-pane", "42").kind, ResourceOperationAnswer::Kind::Failed);

    EXPECT_EQ(ops.handle(presentation, UpdateOperation::kind, R"("ReviewRollback")"),
              ResourceOperationAnswer::handled());
    EXPECT_EQ(host.selected, Section::Updates);
    EXPECT_EQ(ops.handle(presentation, UpdateOperation::kind, R"("Rollback")"),
              ResourceOperationAnswer::failed("operation kind does not match update operation"));
    // As an effect the review is a device-local operation for the Updates page.
    EXPECT_EQ(ops.start(op_id(3), effect, UpdateOperation::kind, R"("ReviewRollback")"),
              ResourceOperationStart::pending());
}

// ---- Account form commands ----------------------------------------------------------------------------------------

struct AccountCase {
    std::string name;
    OperationClass cls;
    std::string payload;
    std::expected<AccountPaneCommand, std::string> result;
};

void PrintTo(const AccountCase& c, std::ostream* out)
{
    *out << c.name;
}

class AccountCommandTable : public AppOperationsTest, public ::testing::WithParamInterface<AccountCase> {};

TEST_P(AccountCommandTable, SendsTheCommandToThePageOrRefuses)
{
    const auto& c = GetParam();
    const auto page = ops.account_commands().attach();  // an External Accounts page is open
    const auto answer = start_account(c.cls, c.payload);
    if (c.result) {
        EXPECT_EQ(answer, ResourceOperationStart::pending());  // reported once the page has acted
        const auto waiting = ops.account_commands().waiting();
        ASSERT_EQ(waiting.size(), 1u);
        EXPECT_EQ(waiting.front().command, *c.result);
        EXPECT_TRUE(ops.owns(op_id(1)));
    } else {
        EXPECT_EQ(answer, ResourceOperationStart::failed(c.result.error()));
        EXPECT_TRUE(ops.account_commands().waiting().empty());
    }
    EXPECT_EQ(host.selected, Section::ExternalAccounts);
}

using Cmd = AccountPaneCommand;
const std::string mismatch = "operation kind does not match account operation";

INSTANTIATE_TEST_SUITE_P(
    Accounts, AccountCommandTable,
    ::testing::Values(
        AccountCase{"add", presentation, R"({"Add":{"kind":"caldav"}})", Cmd{Cmd::Add{accounts::AccountKind::CalDav}}},
        AccountCase{"add_unknown_kind", presentation, R"({"Add":{"kind":"pop3"}})",
                    std::unexpected("unknown account kind")},
        AccountCase{"open", presentation, R"({"Open":{"id":"mail-1"}})", Cmd{Cmd::Edit{"mail-1"}}},
        AccountCase{"edit", presentation, R"({"Edit":{"id":"mail-1"}})", Cmd{Cmd::Edit{"mail-1"}}},
        AccountCase{"reauthenticate", presentation, R"({"Reauthenticate":{"id":"dav-1"}})",
                    Cmd{Cmd::Reauthenticate{"dav-1"}}},
        AccountCase{"cancel_form", presentation, R"("CancelForm")", Cmd{Cmd::CancelForm{}}},
        AccountCase{"cancel_reauthentication", presentation, R"("CancelReauthentication")",
                    Cmd{Cmd::CancelReauthentication{}}},
        AccountCase{"submit_form", effect, R"("SubmitForm")", Cmd{Cmd::SubmitForm{}}},
        AccountCase{"submit_reauthentication", effect, R"("SubmitReauthentication")",
                    Cmd{Cmd::SubmitReauthentication{}}},
        AccountCase{"add_as_effect", effect, R"({"Add":{"kind":"mail"}})", std::unexpected(mismatch)},
        AccountCase{"submit_as_presentation", presentation, R"("SubmitForm")", std::unexpected(mismatch)},
        AccountCase{"test_as_presentation", presentation, R"({"Test":{"id":"mail-1"}})", std::unexpected(mismatch)},
        AccountCase{"unclassified", OperationClass::Unclassified, R"("CancelForm")", std::unexpected(mismatch)},
        AccountCase{"remove_gone", effect, R"({"Remove":{"id":"nobody"}})",
                    std::unexpected("account no longer exists")},
        AccountCase{"remove_unknown_type", effect, R"({"Remove":{"id":"odd-1"}})",
                    std::unexpected("unsupported account type")},
        AccountCase{"test_gone", effect, R"({"Test":{"id":"nobody"}})", std::unexpected("account no longer exists")},
        AccountCase{"test_without_secret", effect, R"({"Test":{"id":"dav-1"}})",
                    std::unexpected("this account has no saved credential; sign in again first")}),
    [](const auto& info) { return info.param.name; });

TEST_F(AppOperationsTest, FormCommandsAreReportedWhenThePageHasActedOnThem)
{
    using Outcome = AccountCommandOutcome;
    const AccountCommandCell& cell = ops.account_commands();

    // No page to act on the command: it fails at once, and nothing waits for a page.
    EXPECT_EQ(start_account(presentation, R"({"Add":{"kind":"mail"}})", 1),
              ResourceOperationStart::failed("the External Accounts page is not open"));
    EXPECT_TRUE(cell.waiting().empty());
    EXPECT_EQ(ops.handle(presentation, AccountOperation::kind, R"("CancelForm")"),
              ResourceOperationAnswer::failed("the External Accounts page is not open"));

    auto page = cell.attach();
    ASSERT_EQ(start_account(presentation, R"({"Add":{"kind":"mail"}})", 2), ResourceOperationStart::pending());
    ASSERT_EQ(start_account(effect, R"("SubmitForm")", 3), ResourceOperationStart::pending());
    EXPECT_EQ(ops.poll(op_id(2), false), std::nullopt);  // not acted on yet

    // The page takes the commands in order and answers each when it is done.
    const auto add = cell.take();
    const auto submit = cell.take();
    ASSERT_TRUE(add && submit);
    EXPECT_EQ(add->command, AccountPaneCommand{AccountPaneCommand::Add{accounts::AccountKind::Mail}});
    cell.answer(add->serial, Outcome(""));
    EXPECT_EQ(ops.poll(op_id(2), false), OperationCompletion::completed_with(op_id(2), {}));
    EXPECT_FALSE(ops.owns(op_id(2)));
    EXPECT_EQ(ops.poll(op_id(3), false), std::nullopt);  // its check is still running
    cell.answer(submit->serial, Outcome(std::unexpect, "enter a display name"));
    EXPECT_EQ(ops.poll(op_id(3), false),
              OperationCompletion::failed(op_id(3), "account_form_failed", "enter a display name", false));

    // A page that goes without answering fails what it took.
    ASSERT_EQ(start_account(effect, R"("SubmitReauthentication")", 4), ResourceOperationStart::pending());
    ASSERT_TRUE(cell.take());
    page.reset();
    EXPECT_EQ(ops.poll(op_id(4), false),
              OperationCompletion::failed(op_id(4), "account_form_failed",
                                          "the page was closed before the operation finished", false));
}

TEST_F(AppOperationsTest, CancellingAFormCommandWithdrawsItOrWaitsForThePageToStop)
{
    const AccountCommandCell& cell = ops.account_commands();
    auto page = cell.attach();

    // Not taken yet: withdrawn, and the page never sees it.
    ASSERT_EQ(start_account(effect, R"("SubmitForm")", 1), ResourceOperationStart::pending());
    EXPECT_EQ(ops.poll(op_id(1), true), OperationCompletion::cancelled(op_id(1), "operation cancelled"));
    EXPECT_FALSE(cell.take());

    // Taken: the page is asked to stop, and its answer ends the operation.
    ASSERT_EQ(start_account(effect, R"("SubmitForm")", 2), ResourceOperationStart::pending());
    const auto taken = cell.take();
    ASSERT_TRUE(taken);
    EXPECT_EQ(ops.poll(op_id(2), true), std::nullopt);
    EXPECT_TRUE(cell.cancel_requested(taken->serial));
    cell.answer(taken->serial, AccountCommandOutcome(std::unexpect, "connection check cancelled"));
    EXPECT_EQ(ops.poll(op_id(2), true), OperationCompletion::cancelled(op_id(2), "operation cancelled"));

    // A page that finished before the stop reached it reports what it did.
    ASSERT_EQ(start_account(effect, R"("SubmitForm")", 3), ResourceOperationStart::pending());
    const auto saved = cell.take();
    ASSERT_TRUE(saved);
    EXPECT_EQ(ops.poll(op_id(3), true), std::nullopt);
    cell.answer(saved->serial, AccountCommandOutcome(""));
    EXPECT_EQ(ops.poll(op_id(3), false), OperationCompletion::completed_with(op_id(3), {}));
}

TEST_F(AppOperationsTest, MalformedAccountPayloadFailsBeforeTheWindowChanges)
{
    const auto answer = start_account(presentation, R"({"Open":{}})");
    EXPECT_EQ(answer.kind, ResourceOperationStart::Kind::Failed);
    EXPECT_NE(answer.message.find("missing field `id`"), std::string::npos) << answer.message;
    EXPECT_TRUE(host.selections.empty());
}

TEST_F(AppOperationsTest, RemovingAnAccountRemovesItsRecordAndSecretAndReloads)
{
    EXPECT_EQ(start_account(effect, R"({"Remove":{"id":"mail-1"}})"), ResourceOperationStart::completed_with({}));
    EXPECT_EQ(paths.try_load_store()->get("mail-1"), nullptr);
    EXPECT_EQ(paths.open_vault()->get("mail-1"), nullptr);
    EXPECT_EQ(host.account_reloads, 1);
    EXPECT_EQ(host.refreshes, 1);
}

// ---- The connection check -----------------------------------------------------------------------------------------

TEST_F(AppOperationsTest, ConnectionCheckReportsThroughThePollAndAllowsTheNextOnce)
{
    ASSERT_EQ(start_account(effect, R"({"Test":{"id":"mail-1"}})", 1), ResourceOperationStart::pending());
    EXPECT_TRUE(ops.owns(op_id(1)));
    EXPECT_EQ(start_account(effect, R"({"Test":{"id":"mail-1"}})", 2),
              ResourceOperationStart::failed("an account connection check is already running"));
    // The check does not hold the device-local runner.
    EXPECT_EQ(ops.start(op_id(3), effect, StorageOperation::kind, R"("CleanupCaches")"),
              ResourceOperationStart::pending());
    EXPECT_FALSE(ops.poll(op_id(1), false).has_value());

    probe->release(std::string("IMAP sign-in succeeded"));
    EXPECT_EQ(wait_for_report(1), OperationCompletion::completed_with(op_id(1), {{}, "IMAP sign-in succeeded"}));
    EXPECT_EQ(probe->seen(), std::vector<std::string>{"mail-1:hunter2"});
    EXPECT_FALSE(ops.account_check_outstanding());

    ASSERT_EQ(start_account(effect, R"({"Test":{"id":"mail-1"}})", 4), ResourceOperationStart::pending());
    probe->release(std::unexpected(std::string("authentication failed")));
    EXPECT_EQ(wait_for_report(4), OperationCompletion::failed(op_id(4), "account_connection_failed",
                                                              "authentication failed", true));
}

TEST_F(AppOperationsTest, CancelledCheckReportsCancelledAndNothingAfterwards)
{
    ASSERT_EQ(start_account(effect, R"({"Test":{"id":"mail-1"}})", 1), ResourceOperationStart::pending());
    EXPECT_EQ(ops.poll(op_id(1), true), OperationCompletion::cancelled(op_id(1), "connection check cancelled"));
    probe->release(std::string("late"));
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(ops.poll(op_id(1), false).has_value());
    EXPECT_EQ(start_account(effect, R"({"Test":{"id":"mail-1"}})", 2), ResourceOperationStart::pending());
}

TEST_F(AppOperationsTest, CheckThatEndsWithoutAResultIsReportedAsFailed)
{
    ASSERT_EQ(start_account(effect, R"({"Test":{"id":"mail-1"}})", 1), ResourceOperationStart::pending());
    probe->release(std::string("unused"), ScriptedProbe::Ending::Throw);
    EXPECT_EQ(wait_for_report(1), OperationCompletion::failed(op_id(1), "account_connection_failed",
                                                              "connection check ended without a result", true));
    EXPECT_EQ(start_account(effect, R"({"Test":{"id":"mail-1"}})", 2), ResourceOperationStart::pending());
}

TEST_F(AppOperationsTest, CheckThatIsNeverPolledStopsBlockingAtItsDeadline)
{
    ASSERT_EQ(start_account(effect, R"({"Test":{"id":"mail-1"}})", 1), ResourceOperationStart::pending());
    clock.now += 89s;
    EXPECT_EQ(start_account(effect, R"({"Test":{"id":"mail-1"}})", 2).message,
              "an account connection check is already running");
    clock.now += 1s;
    ASSERT_EQ(start_account(effect, R"({"Test":{"id":"mail-1"}})", 2), ResourceOperationStart::pending());
    EXPECT_EQ(ops.poll(op_id(1), false), OperationCompletion::failed(op_id(1), "account_connection_failed",
                                                                     "connection check timed out", true));
    EXPECT_FALSE(ops.owns(op_id(1)));
    // A polled check past its deadline is reported as timed out too.
    clock.now += 90s;
    EXPECT_EQ(ops.poll(op_id(2), false), OperationCompletion::failed(op_id(2), "account_connection_failed",
                                                                     "connection check timed out", true));
}

TEST(AccountCheckTest, SecretIsWipedAfterTheCheckWhateverItsEnd)
{
    class Probe final : public accounts::AccountProbe {
    public:
        explicit Probe(bool fail) : fail_(fail) {}
        std::expected<std::string, std::string> probe(const account_registry::Account&,
                                                      std::string_view secret) const override
        {
            seen = std::string(secret);
            if (fail_) {
                throw std::runtime_error("boom");
            }
            return "ok";
        }
        mutable std::string seen;

    private:
        bool fail_;
    };
    const account_registry::Account account("mail-1", "email");

    Probe answering(false);
    account_registry::SecretString secret("hunter2");
    EXPECT_EQ(run_account_check(answering, account, secret), std::string("ok"));
    EXPECT_EQ(answering.seen, "hunter2");
    EXPECT_TRUE(secret.empty());

    Probe throwing(true);
    account_registry::SecretString other("s3cret");
    EXPECT_THROW((void)run_account_check(throwing, account, other), std::runtime_error);
    EXPECT_TRUE(other.empty());
}

// ---- Model providers ----------------------------------------------------------------------------------------------

class ProviderTest : public AppOperationsTest {
protected:
    ResourceOperationAnswer run(std::string_view payload, OperationClass cls = effect)
    {
        return ops.handle(cls, AgentProviderOperation::kind, payload);
    }
    model_providers::ProviderConfig stored() const { return model_providers::ProviderConfig::load(); }
    std::filesystem::path config_file() const { return *model_providers::ProviderConfig::default_path(); }

    // Adds a provider and answers its id.
    std::string add(std::string_view protocol)
    {
        EXPECT_EQ(run(R"({"Add":{"protocol":")" + std::string(protocol) + R"("}})"),
                  ResourceOperationAnswer::handled());
        return stored().profiles.back().id;
    }
};

TEST_F(ProviderTest, RefusalsLeaveTheConfigurationAsItWas)
{
    const std::string id = add("anthropic");
    const std::string before = read_file(config_file());
    struct Refusal {
        std::string payload;
        std::string message;
        OperationClass cls = effect;
    };
    const std::vector<Refusal> refusals{
        {R"({"Add":{"protocol":"anthropic"}})", "provider configuration requires an effect operation", presentation},
        {R"({"Add":{"protocol":"gemini"}})", "unsupported provider protocol"},
        {R"({"SetProtocol":{"id":")" + id + R"(","protocol":"Anthropic"}})", "unsupported provider protocol"},
        {R"({"SetEnabled":{"id":"nobody","enabled":false}})", "provider is no longer available"},
        {R"({"Remove":{"id":"nobody"}})", "provider is no longer available"},
        // Enabled, but without a selected model.
        {R"({"SetDefault":{"id":")" + id + R"("}})", "provider cannot currently be selected as default"},
        {R"({"SetDetails":{"id":"nobody","label":"  ","endpoint":"https://x","model":null}})",
         "provider name and endpoint are required"},
        {R"({"SetDetails":{"id":"nobody","label":"Mine","endpoint":"https://x","model":null}})",
         "provider is no longer available"},
    };
    for (const auto& refusal : refusals) {
        EXPECT_EQ(run(refusal.payload, refusal.cls), ResourceOperationAnswer::failed(refusal.message))
            << refusal.payload;
    }
    EXPECT_EQ(read_file(config_file()), before);
}

TEST_F(ProviderTest, ChangesAreSavedAndOpenTheAgentModelsPage)
{
    const std::string id = add("openai-compatible");
    EXPECT_EQ(host.selected, Section::AgentModels);
    ASSERT_EQ(stored().profiles.size(), 1u);
    EXPECT_EQ(stored().profiles[0].protocol, model_providers::ProviderProtocol::OpenAiCompatible);

    EXPECT_EQ(run(R"({"SetProtocol":{"id":")" + id + R"(","protocol":"anthropic"}})"),
              ResourceOperationAnswer::handled());
    EXPECT_EQ(stored().find(id)->protocol, model_providers::ProviderProtocol::Anthropic);

    // Label and endpoint are stored as given; the model is trimmed, added and selected.
    EXPECT_EQ(run(R"({"SetDetails":{"id":")" + id +
                  R"(","label":" Lab box ","endpoint":"https://llm.example.org/v1","model":" qwen-7b "}})"),
              ResourceOperationAnswer::handled());
    auto profile = *stored().find(id);
    EXPECT_EQ(profile.label, " Lab box ");
    EXPECT_EQ(profile.default_model, "qwen-7b");
    ASSERT_EQ(profile.models.size(), 1u);
    // A blank model keeps the selection; an existing one is only selected.
    EXPECT_EQ(run(R"({"SetDetails":{"id":")" + id + R"(","label":"Lab","endpoint":"https://llm.example.org/v1","model":"  "}})"),
              ResourceOperationAnswer::handled());
    EXPECT_EQ(stored().find(id)->default_model, "qwen-7b");
    EXPECT_EQ(run(R"({"SetDetails":{"id":")" + id + R"(","label":"Lab","endpoint":"https://llm.example.org/v1","model":"qwen-7b"}})"),
              ResourceOperationAnswer::handled());
    EXPECT_EQ(stored().find(id)->models.size(), 1u);

    EXPECT_EQ(run(R"({"SetDefault":{"id":")" + id + R"("}})"), ResourceOperationAnswer::handled());
    EXPECT_EQ(stored().default_provider, id);
    EXPECT_EQ(run(R"({"SetEnabled":{"id":")" + id + R"(","enabled":false}})"), ResourceOperationAnswer::handled());
    EXPECT_FALSE(stored().find(id)->enabled);
    EXPECT_EQ(run(R"({"SetDefault":{"id":")" + id + R"("}})"),
              ResourceOperationAnswer::failed("provider cannot currently be selected as default"));
}

TEST_F(ProviderTest, RemovingAProviderRemovesItsKeyAfterTheConfigurationIsSaved)
{
    const std::string id = add("anthropic");
    ASSERT_TRUE(vorn_model_gateway::set_api_key(id, std::string("sk-ant-test-key")));
    EXPECT_EQ(run(R"({"Remove":{"id":")" + id + R"("}})"), ResourceOperationAnswer::handled());
    EXPECT_EQ(stored().find(id), nullptr);
    EXPECT_EQ(vorn_model_gateway::secret_configured(id), false);
}

TEST_F(ProviderTest, FailedKeyRemovalLeavesProviderAndKeyAsTheyWere)
{
    const std::string id = add("anthropic");
    ASSERT_TRUE(vorn_model_gateway::set_api_key(id, std::string("sk-ant-test-key")));
    // The key store can no longer be read.
    const auto keys = *vorn_model_gateway::ApiKeyStore::for_user();
    std::ofstream(keys.keys_file(), std::ios::trunc) << "{ damaged";
    const std::string config_before = read_file(config_file());
    const std::string keys_before = read_file(keys.keys_file());

    const auto answer = run(R"({"Remove":{"id":")" + id + R"("}})");
    EXPECT_EQ(answer.kind, ResourceOperationAnswer::Kind::Failed);
    EXPECT_TRUE(answer.message.starts_with("provider vault key was not removed: ")) << answer.message;
    EXPECT_EQ(read_file(config_file()), config_before);
    EXPECT_EQ(read_file(keys.keys_file()), keys_before);
    EXPECT_NE(stored().find(id), nullptr);
}

TEST_F(ProviderTest, DamagedConfigurationIsNeverTheBaseOfAChange)
{
    std::filesystem::create_directories(config_file().parent_path());
    std::ofstream(config_file()) << "{ \"providers\": [ oops";
    const auto answer = run(R"({"Add":{"protocol":"anthropic"}})");
    EXPECT_EQ(answer.kind, ResourceOperationAnswer::Kind::Failed);
    EXPECT_TRUE(answer.message.starts_with("provider settings could not be read: ")) << answer.message;
    EXPECT_EQ(read_file(config_file()), "{ \"providers\": [ oops");
}

}  // namespace
}  // namespace settings::operations
