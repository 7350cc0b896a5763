#include "panes/agent_models/agent_models_model.hpp"

#include "page_workers/testing/manual_threads.hpp"
#include "panes/agent_models/test_support.hpp"
#include "system_ops/testing/fake_local_models.hpp"
#include "test_support/temp_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

namespace settings::panes::agent_models {
namespace {

using model_providers::ProviderConfig;
using model_providers::ProviderProfile;
using model_providers::ProviderProtocol;
using operations::OperationStatus;
using operations::PaneOperationRequest;
using system_ops::testing::FakeLocalModels;
using page_workers::testing::ManualThreads;
using testing::sample_snapshot;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Op = AgentModelOperation;
using Clock = std::chrono::steady_clock;

constexpr std::string_view unavailable = "model service is unavailable: vorn-model-manager not found";

class AgentModelsTest : public ::testing::Test {
protected:
    std::unique_ptr<AgentModelsModel> make(bool register_provider = false)
    {
        auto model = std::make_unique<AgentModelsModel>(AgentModelsOptions{
            .backend = manager,
            .start_thread = jobs.starter(),
            .clock = [this] { return now; },
            .providers = stores,
            .register_local_provider = register_provider,
        });
        model->share_operation_requests(requests);
        model->share_operation_status(status);
        return model;
    }
    // A model whose first readings are in.
    std::unique_ptr<AgentModelsModel> loaded(bool register_provider = false)
    {
        auto model = make(register_provider);
        settle(*model);
        manager_calls_at_start = manager->calls().size();
        return model;
    }
    // Syncs and runs the workers' jobs until none is left.
    void settle(AgentModelsModel& model)
    {
        model.sync(doc);
        while (!jobs.waiting().empty()) {
            jobs.run_all();
            model.sync(doc);
        }
    }
    // Hands the operation over as the runner does: Running with its key, then the request.
    void hand_over(const Op& operation)
    {
        (void)status.publish(OperationStatus::running(operations::operation_key(operation)));
        (void)requests.publish(PaneOperationRequest{operation});
    }
    void press(std::string_view key) { doc.put_bool(key, true); }
    // The manager's calls since the model was loaded.
    std::vector<std::string> new_calls() const
    {
        const auto calls = manager->calls();
        return {calls.begin() + static_cast<std::ptrdiff_t>(manager_calls_at_start), calls.end()};
    }

    test_support::ConfigHome home;
    ProviderStores stores{.config_file = home.path() / "vorn" / "model-providers.json",
                          .key_directory = home.path() / "keys"};
    std::shared_ptr<FakeLocalModels> manager = std::make_shared<FakeLocalModels>(sample_snapshot());
    ManualThreads jobs;
    Clock::time_point now = Clock::time_point() + std::chrono::hours(1);
    page_doc::Document doc;
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    std::size_t manager_calls_at_start = 0;
};

TEST_F(AgentModelsTest, OperationsAndPressesWaitForTheFirstReading)
{
    auto model = make();
    EXPECT_THAT(jobs.waiting(), ElementsAre("model-snapshot", "provider-list"));
    hand_over(Op{Op::Start{"phi-3"}});
    model->sync(doc);
    EXPECT_FALSE(model->loaded());
    EXPECT_TRUE(requests.get().has_value()) << "taken before anything was read";

    settle(*model);
    EXPECT_TRUE(model->loaded());
    EXPECT_TRUE(model->service_available());
    EXPECT_EQ(model->snapshot(), sample_snapshot());
    EXPECT_FALSE(requests.get().has_value());
    EXPECT_THAT(manager->calls(), ElementsAre("snapshot", "start phi-3", "snapshot"));
    EXPECT_EQ(status.get(), OperationStatus::done(operations::operation_key(Op{Op::Start{"phi-3"}}),
                                                  "Start request accepted by the local model manager"));
    // The first pass left every press key false, including the models'.
    EXPECT_EQ(page_doc::doc_bool(doc, local_confirm_key), false);
    EXPECT_EQ(page_doc::doc_bool(doc, local_model_flag_key("gemma", LocalModelAction::Start)), false);
}

TEST_F(AgentModelsTest, EveryRequestIsCarriedOutAndAnsweredAfterANewReading)
{
    struct Case {
        Op operation;
        std::string refusing;  // the command the manager refuses, if any
        std::string refusal;
        std::vector<std::string> calls;
        std::expected<std::string, std::string> answer;
    };
    const std::vector<Case> cases = {
        {Op{Op::StageAccelerator{}}, "", "", {"stage-accelerator", "snapshot"},
         "Accelerator setup request accepted by the local model manager"},
        {Op{Op::StageAccelerator{}}, "stage-accelerator", "accelerator setup service refused the request",
         {"stage-accelerator"},
         std::unexpected("Accelerator setup could not start: accelerator setup service refused the request")},
        {Op{Op::Install{"qwen-7b", "r3"}}, "", "", {"install qwen-7b r3", "snapshot"},
         "Model installation request accepted by the local model manager"},
        {Op{Op::Install{"qwen-7b", "r3"}}, "install", "model service refused the installation", {"install qwen-7b r3"},
         std::unexpected("Installation could not start: model service refused the installation")},
        {Op{Op::Start{"phi-3"}}, "", "", {"start phi-3", "snapshot"}, "Start request accepted by the local model manager"},
        {Op{Op::Start{"phi-3"}}, "start", "model service refused start", {"start phi-3"},
         std::unexpected("Start failed: model service refused start")},
        {Op{Op::Stop{"llama-8b"}}, "", "", {"stop llama-8b", "snapshot"},
         "Stop request accepted by the local model manager"},
        // Retry runs the installation of the model's own package and revision.
        {Op{Op::Retry{"mistral", "r4"}}, "", "", {"install mistral r4", "snapshot"},
         "Retry install request accepted by the local model manager"},
        // An operation removes at once: its caller has confirmed it.
        {Op{Op::Remove{"phi-3"}}, "", "", {"remove phi-3", "snapshot"},
         "Remove… request accepted by the local model manager"},
        {Op{Op::Remove{"phi-3"}}, "remove", "model service refused remove", {"remove phi-3"},
         std::unexpected("Remove… failed: model service refused remove")},
    };
    for (const auto& c : cases) {
        const std::string key = operations::operation_key(c.operation);
        SCOPED_TRACE(key + (c.refusing.empty() ? "" : " refused"));
        manager = std::make_shared<FakeLocalModels>(sample_snapshot());
        if (!c.refusing.empty()) {
            manager->answer(c.refusing, std::unexpected(c.refusal));
        }
        doc = page_doc::Document();
        auto model = loaded();
        hand_over(c.operation);
        settle(*model);
        EXPECT_EQ(new_calls(), c.calls);
        EXPECT_EQ(status.get(), c.answer ? OperationStatus::done(key, *c.answer)
                                         : OperationStatus::failed(key, c.answer.error()));
        // A failure is also the page's sentence; an accepted request clears it.
        EXPECT_EQ(model->status(), c.answer ? std::nullopt : std::optional(c.answer.error()));
        EXPECT_FALSE(model->requests_pending());
    }
}

TEST_F(AgentModelsTest, ARequestThatCannotApplyIsRefusedAtOnceAndNeverFiresLater)
{
    struct Case {
        Op operation;
        std::string refusal;
        std::function<void(lm::LocalModelSnapshot&)> device = {};
    };
    const std::vector<Case> cases = {
        {Op{Op::Start{"llama-8b"}}, "Start is not available while Llama 8B is running"},
        {Op{Op::Stop{"phi-3"}}, "Stop is not available while Phi 3 is stopped"},
        {Op{Op::Start{"gemma"}}, "Start is not available while Gemma is downloading"},
        {Op{Op::Remove{"gemma"}}, "Remove… is not available while Gemma is downloading"},
        {Op{Op::Retry{"phi-3", "r2"}}, "Retry install is not available while Phi 3 is stopped"},
        {Op{Op::Retry{"mistral", "r9"}}, "the model's revision changed; refresh and try again"},
        {Op{Op::Stop{"nothing\x1b[2J"}}, "model nothing is not installed"},
        {Op{Op::Install{"qwen-7b", "r2"}}, "the recommended model changed; refresh and try again"},
        {Op{Op::Install{"llama-8b", "r3"}}, "the recommended model changed; refresh and try again"},
        {Op{Op::Install{"qwen-7b", "r3"}}, "the recommended model changed; refresh and try again",
         [](lm::LocalModelSnapshot& s) { s.recommendation.reset(); }},
        {Op{Op::Install{"qwen-7b", "r3"}}, "Qwen 7B cannot be set up on this device now",
         [](lm::LocalModelSnapshot& s) { s.hardware.fit = lm::HardwareFit::Unsupported; }},
        {Op{Op::Install{"qwen-7b", "r3"}}, "Qwen 7B cannot be set up on this device now",
         [](lm::LocalModelSnapshot& s) {
             s.accelerator_setup = lm::AcceleratorSetup{"pack", lm::AcceleratorState::Staging, ""};
         }},
    };
    for (const auto& c : cases) {
        const std::string key = operations::operation_key(c.operation);
        SCOPED_TRACE(key);
        auto device = sample_snapshot();
        if (c.device) {
            c.device(device);
        }
        manager = std::make_shared<FakeLocalModels>(device);
        doc = page_doc::Document();
        auto model = loaded();
        hand_over(c.operation);
        model->sync(doc);
        EXPECT_EQ(status.get(), OperationStatus::failed(key, c.refusal));
        EXPECT_THAT(jobs.waiting(), IsEmpty());
        EXPECT_THAT(new_calls(), IsEmpty());
        EXPECT_EQ(page_doc::doc_bool(doc, local_confirm_key), false);
        for (const auto action : all_local_model_actions) {
            EXPECT_NE(page_doc::doc_bool(doc, local_model_flag_key("gemma", action)), true);
        }
    }

    // The refused Start of a downloading model does not run once the model is ready.
    manager = std::make_shared<FakeLocalModels>(sample_snapshot());
    auto model = loaded();
    hand_over(Op{Op::Start{"gemma"}});
    model->sync(doc);
    auto ready = sample_snapshot();
    ready.models[3].phase = lm::Ready{.running = false};
    manager->set_snapshot(ready);
    now += std::chrono::seconds(1);
    settle(*model);
    EXPECT_THAT(new_calls(), ElementsAre("snapshot"));
    EXPECT_EQ(model->snapshot(), ready);
}

TEST_F(AgentModelsTest, WithoutTheServiceEveryRequestFailsWithItsReason)
{
    manager->set_snapshot(std::unexpected(std::string(unavailable)));
    auto model = loaded();
    EXPECT_TRUE(model->loaded());
    EXPECT_FALSE(model->service_available());
    EXPECT_EQ(model->unavailable_reason(), unavailable);
    EXPECT_EQ(model->snapshot(), lm::LocalModelSnapshot{});
    EXPECT_EQ(model->status(),
              "The local model service is unavailable (model service is unavailable: vorn-model-manager not found). "
              "Install or start vorn-model-manager to inspect hardware, install models, or manage local model "
              "lifecycle.");
    for (const Op& operation : {Op{Op::StageAccelerator{}}, Op{Op::Start{"phi-3"}}}) {
        hand_over(operation);
        model->sync(doc);
        EXPECT_EQ(status.get(), OperationStatus::failed(operations::operation_key(operation), std::string(unavailable)));
    }
    EXPECT_THAT(new_calls(), IsEmpty());
}

TEST_F(AgentModelsTest, ALaterReadingFailsAndTheServiceReturns)
{
    auto model = loaded();
    press(local_model_flag_key("phi-3", LocalModelAction::Start));
    manager->set_snapshot(std::unexpected(std::string("model service is unavailable: vorn-model-manager timed out")));
    settle(*model);
    // The request was accepted, but the reading after it failed: the page keeps what it showed before.
    EXPECT_FALSE(model->service_available());
    EXPECT_EQ(model->snapshot(), sample_snapshot());
    EXPECT_EQ(model->status(), "Could not refresh local models: model service is unavailable: vorn-model-manager timed out");

    manager->set_snapshot(sample_snapshot());
    now += std::chrono::seconds(1);
    settle(*model);  // Gemma is still downloading: the periodic reading runs
    EXPECT_TRUE(model->service_available());
    EXPECT_EQ(model->status(), std::nullopt);
}

TEST_F(AgentModelsTest, RemovingAsksFirstAndAnyOtherRequestAbandonsTheQuestion)
{
    auto model = loaded();
    const std::string remove_phi = local_model_flag_key("phi-3", LocalModelAction::Remove);
    press(remove_phi);
    settle(*model);
    EXPECT_EQ(model->pending_removal(), "phi-3");
    EXPECT_EQ(model->status(),
              "Remove Phi 3? This deletes its 5.0 GiB local snapshot. Tasks and workspace data are unchanged.");
    EXPECT_THAT(new_calls(), IsEmpty());

    // Another request closes the question.
    press(local_model_flag_key("llama-8b", LocalModelAction::Stop));
    settle(*model);
    EXPECT_EQ(model->pending_removal(), std::nullopt);
    EXPECT_EQ(model->status(), std::nullopt);
    EXPECT_THAT(new_calls(), ElementsAre("stop llama-8b", "snapshot"));

    // Asked again and confirmed ("Confirm remove" presses the same key).
    press(remove_phi);
    settle(*model);
    EXPECT_EQ(model->pending_removal(), "phi-3");
    press(remove_phi);
    settle(*model);
    EXPECT_EQ(model->pending_removal(), std::nullopt);
    EXPECT_EQ(model->status(), std::nullopt);
    EXPECT_THAT(new_calls(), ElementsAre("stop llama-8b", "snapshot", "remove phi-3", "snapshot"));
    EXPECT_TRUE(status.get().is_idle()) << "a press answers no operation";

    // A periodic reading keeps an open question; a model that goes away takes its question along.
    press(remove_phi);
    now += std::chrono::seconds(1);
    settle(*model);
    EXPECT_EQ(model->pending_removal(), "phi-3");
    auto without_phi = sample_snapshot();
    without_phi.models.erase(without_phi.models.begin() + 1);
    manager->set_snapshot(without_phi);
    now += std::chrono::seconds(1);
    settle(*model);
    EXPECT_EQ(model->pending_removal(), std::nullopt);
    EXPECT_EQ(model->status(), std::nullopt);
}

TEST_F(AgentModelsTest, TheRecommendedModelIsInstalledOnlyAfterItsLicenceIsAccepted)
{
    auto model = loaded();
    press(local_confirm_key);  // nothing open to confirm
    settle(*model);
    EXPECT_THAT(new_calls(), IsEmpty());

    press(local_setup_key);
    settle(*model);
    EXPECT_EQ(model->pending_install(), "qwen-7b");
    press(local_cancel_key);
    settle(*model);
    EXPECT_EQ(model->pending_install(), std::nullopt);

    press(local_setup_key);
    settle(*model);
    press(local_confirm_key);
    settle(*model);
    EXPECT_EQ(model->pending_install(), std::nullopt);
    EXPECT_THAT(new_calls(), ElementsAre("install qwen-7b r3", "snapshot"));

    // A confirmation whose package is no longer recommended closes.
    press(local_setup_key);
    settle(*model);
    auto other = sample_snapshot();
    other.recommendation = testing::package("qwen-14b", "Qwen 14B", "r1");
    manager->set_snapshot(other);
    now += std::chrono::seconds(1);
    settle(*model);
    EXPECT_EQ(model->pending_install(), std::nullopt);
}

TEST_F(AgentModelsTest, ABusyModelTakesNoSecondRequest)
{
    auto model = loaded();
    press(local_model_flag_key("phi-3", LocalModelAction::Start));
    model->sync(doc);  // the start waits for its worker
    EXPECT_TRUE(model->model_busy("phi-3"));
    press(local_model_flag_key("phi-3", LocalModelAction::Start));
    hand_over(Op{Op::Remove{"phi-3"}});
    model->sync(doc);
    EXPECT_EQ(status.get(), OperationStatus::failed(operations::operation_key(Op{Op::Remove{"phi-3"}}),
                                                    "a request for Phi 3 is still running"));
    // The accelerator and another model's request wait their turn; a second staging is refused meanwhile.
    press(accelerator_setup_key);
    model->sync(doc);
    EXPECT_TRUE(model->accelerator_busy());
    hand_over(Op{Op::StageAccelerator{}});
    model->sync(doc);
    EXPECT_EQ(status.get(), OperationStatus::failed(operations::operation_key(Op{Op::StageAccelerator{}}),
                                                    "a request for the accelerator is still running"));
    press(local_model_flag_key("llama-8b", LocalModelAction::Stop));
    settle(*model);
    EXPECT_THAT(new_calls(), ElementsAre("start phi-3", "snapshot", "stage-accelerator", "snapshot", "stop llama-8b",
                                         "snapshot"));
    EXPECT_FALSE(model->accelerator_busy());
    EXPECT_FALSE(model->model_busy("phi-3"));
}

TEST_F(AgentModelsTest, ModelsWhoseIdsDifferOnlyInPunctuationAreNeverConfused)
{
    auto device = sample_snapshot();
    device.models = {{testing::package("a-b", "Model A-B", "r1"), lm::Ready{.running = true}},
                     {testing::package("a.b", "Model A.B", "r1"), lm::Ready{.running = true}}};
    manager->set_snapshot(device);
    auto model = loaded();
    press(local_model_flag_key("a.b", LocalModelAction::Stop));
    settle(*model);
    EXPECT_THAT(new_calls(), ElementsAre("stop a.b", "snapshot"));
}

TEST_F(AgentModelsTest, WhileSomethingIsOnItsWayTheSnapshotIsReadEvery750Ms)
{
    auto model = loaded();
    const auto first = now;
    EXPECT_TRUE(model->update());
    EXPECT_EQ(model->next_refresh_due(), first + std::chrono::milliseconds(750));
    now += std::chrono::milliseconds(749);
    model->sync(doc);
    EXPECT_THAT(jobs.waiting(), IsEmpty());
    now += std::chrono::milliseconds(1);
    model->sync(doc);
    EXPECT_THAT(jobs.waiting(), ElementsAre("model-snapshot"));
    EXPECT_EQ(model->next_refresh_due(), std::nullopt) << "none while a reading runs";
    now += std::chrono::seconds(5);
    model->sync(doc);
    EXPECT_THAT(jobs.waiting(), ElementsAre("model-snapshot")) << "one reading at a time";

    // Gemma finishes: the readings stop.
    auto done = sample_snapshot();
    done.models[3].phase = lm::Ready{.running = false};
    manager->set_snapshot(done);
    settle(*model);
    EXPECT_FALSE(model->update());
    EXPECT_EQ(model->next_refresh_due(), std::nullopt);
    now += std::chrono::minutes(5);
    model->sync(doc);
    EXPECT_THAT(jobs.waiting(), IsEmpty());
    EXPECT_THAT(new_calls(), ElementsAre("snapshot"));

    // The accelerator staging is polled the same way.
    done.accelerator_setup = lm::AcceleratorSetup{"amd-rocm", lm::AcceleratorState::Queued, ""};
    manager->set_snapshot(done);
    press(accelerator_setup_key);
    settle(*model);
    EXPECT_TRUE(model->update());
    EXPECT_EQ(model->next_refresh_due(), now + std::chrono::milliseconds(750));
}

// A manager whose next snapshot call, once held, waits until the test lets it go.
class HeldManager final : public lm::LocalModelBackend {
public:
    explicit HeldManager(std::shared_ptr<FakeLocalModels> inner) : inner_(std::move(inner)) {}
    void hold_next()
    {
        const std::lock_guard lock(mutex_);
        hold_ = true;
    }
    void wait_until_held()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return held_; });
    }
    void release()
    {
        {
            const std::lock_guard lock(mutex_);
            held_ = false;
        }
        changed_.notify_all();
    }
    system_ops::Result<lm::LocalModelSnapshot> snapshot() override
    {
        auto answer = inner_->snapshot();  // what the manager said when it was asked
        std::unique_lock lock(mutex_);
        if (std::exchange(hold_, false)) {
            held_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return !held_; });
        }
        return answer;
    }
    system_ops::Status install(const lm::LocalModelPackage& package) override { return inner_->install(package); }
    system_ops::Status start(std::string_view id) override { return inner_->start(id); }
    system_ops::Status stop(std::string_view id) override { return inner_->stop(id); }
    system_ops::Status remove(std::string_view id) override { return inner_->remove(id); }
    system_ops::Status stage_accelerator() override { return inner_->stage_accelerator(); }

private:
    std::shared_ptr<FakeLocalModels> inner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool hold_ = false;
    bool held_ = false;
};

TEST_F(AgentModelsTest, AnOlderReadingNeverReplacesANewerOne)
{
    auto held = std::make_shared<HeldManager>(manager);
    auto model = std::make_unique<AgentModelsModel>(AgentModelsOptions{
        .backend = held, .start_thread = jobs.starter(), .clock = [this] { return now; }, .providers = stores});
    settle(*model);

    // A periodic reading begins and is held up with the state before the start.
    held->hold_next();
    now += std::chrono::seconds(1);
    model->sync(doc);
    ASSERT_THAT(jobs.waiting(), ElementsAre("model-snapshot"));
    std::thread periodic([&] { jobs.run_next(); });
    held->wait_until_held();

    // Meanwhile Phi 3 starts, and the reading after it sees it running.
    auto started = sample_snapshot();
    std::get<lm::Ready>(started.models[1].phase).running = true;
    manager->on("start", [&](lm::LocalModelSnapshot& s) { s = started; });
    press(local_model_flag_key("phi-3", LocalModelAction::Start));
    model->sync(doc);
    ASSERT_THAT(jobs.waiting(), ElementsAre("model-request"));
    jobs.run_next();
    model->sync(doc);
    EXPECT_EQ(model->snapshot(), started);

    // The held reading comes in last, older than what the page shows.
    held->release();
    periodic.join();
    model->sync(doc);
    EXPECT_EQ(model->snapshot(), started);
}

TEST_F(AgentModelsTest, OperationsAreAnsweredWhenThePageCloses)
{
    const Op start{Op::Start{"phi-3"}};
    const Op stop{Op::Stop{"llama-8b"}};

    // Waiting behind another request: failed by the closing page.
    auto model = loaded();
    press(local_model_flag_key("mistral", LocalModelAction::Retry));
    model->sync(doc);
    hand_over(stop);
    model->sync(doc);
    model.reset();
    EXPECT_EQ(status.get(), OperationStatus::failed(operations::operation_key(stop),
                                                    "the Agent Models page closed before the request was carried out"));
    jobs.run_all();

    // Handed to the manager: answered by its worker.
    model = loaded();
    hand_over(start);
    model->sync(doc);
    model.reset();
    EXPECT_TRUE(status.get().is_running(operations::operation_key(start)));
    jobs.run_all();
    EXPECT_EQ(status.get(), OperationStatus::done(operations::operation_key(start),
                                                  "Start request accepted by the local model manager"));

    // Answered by the worker but not yet taken: answered by the closing page.
    model = loaded();
    hand_over(start);
    model->sync(doc);
    jobs.run_all();
    EXPECT_TRUE(status.get().is_running(operations::operation_key(start)));
    model.reset();
    EXPECT_EQ(status.get(), OperationStatus::done(operations::operation_key(start),
                                                  "Start request accepted by the local model manager"));
}

TEST_F(AgentModelsTest, TheLocalProviderFollowsTheServedModel)
{
    auto model = loaded(true);
    auto local = [&] {
        const auto config = ProviderConfig::load_from(stores.config_file);
        const auto it = std::find_if(config.profiles.begin(), config.profiles.end(),
                                     [](const ProviderProfile& p) { return p.is_local_vllm_candidate(); });
        return it == config.profiles.end() ? std::optional<ProviderProfile>() : *it;
    };
    ASSERT_TRUE(local());
    EXPECT_TRUE(local()->enabled);
    EXPECT_EQ(local()->endpoint, "http://127.0.0.1:8000/v1");
    EXPECT_EQ(local()->default_model, "llama-8b");
    EXPECT_EQ(local()->models.size(), 2U);  // Llama 8B and Phi 3 are ready

    manager->on("stop", [](lm::LocalModelSnapshot& s) { std::get<lm::Ready>(s.models[0].phase).running = false; });
    press(local_model_flag_key("llama-8b", LocalModelAction::Stop));
    settle(*model);
    EXPECT_FALSE(local()->enabled);
    EXPECT_EQ(local()->models.size(), 2U);
}

// ---- Providers -----------------------------------------------------------------------------------------------------

class AgentModelsProvidersTest : public AgentModelsTest {
protected:
    void SetUp() override
    {
        ProviderConfig config = ProviderConfig::load_from(stores.config_file);
        auto anthropic = ProviderProfile::hosted(ProviderProtocol::Anthropic);
        anthropic.id = "anthropic-1";
        config.profiles = {anthropic, ProviderProfile::local_vllm()};
        ASSERT_TRUE(config.save());
        // The machine has no model manager: provider sentences must show all the same.
        manager->set_snapshot(std::unexpected(std::string(unavailable)));
    }
    static std::string text_of(const vorn_ui::SharedLockedText& buffer)
    {
        std::string text;
        buffer->with_text([&](std::string_view value) { text = value; });
        return text;
    }
};

TEST_F(AgentModelsProvidersTest, AKeyIsStoredInTheVaultAndItsFieldEmptiedWithoutTheModelService)
{
    auto model = loaded();
    ASSERT_TRUE(model->providers_loaded());
    ASSERT_EQ(model->providers().providers.size(), 1U) << "the local profile is not listed";
    EXPECT_FALSE(model->providers().providers[0].key_stored);

    const auto field = model->api_key_buffer("anthropic-1");
    ASSERT_TRUE(field);
    field->set("sk-ant-0001");
    model->save_key("anthropic-1");
    EXPECT_TRUE(field->empty()) << "the key leaves its field at once";
    EXPECT_EQ(model->provider_jobs_running(), 1);
    settle(*model);
    EXPECT_EQ(model->provider_status(), "API key saved in the Vorn vault.");
    EXPECT_TRUE(model->providers().providers[0].key_stored);
    EXPECT_EQ((*stores.keys()->api_key("anthropic-1"))->view(), "sk-ant-0001");
    EXPECT_FALSE(model->service_available());
    EXPECT_NE(model->status(), model->provider_status()) << "provider sentences have a place of their own";

    field->set("   ");
    model->save_key("anthropic-1");
    EXPECT_TRUE(field->empty());
    settle(*model);
    EXPECT_EQ(model->provider_status(), "API key was not saved: the API key is empty");

    model->remove_key("anthropic-1");
    settle(*model);
    EXPECT_EQ(model->provider_status(), "API key removed from the Vorn vault.");
    EXPECT_FALSE(model->providers().providers[0].key_stored);
}

TEST_F(AgentModelsProvidersTest, AKeyIsWipedWhenItsJobCannotStartAndWhenThePageGoes)
{
    auto model = std::make_unique<AgentModelsModel>(AgentModelsOptions{
        .backend = manager,
        .start_thread = [this](std::string_view name,
                               std::function<void()> work) -> std::expected<void, std::string> {
            if (name == "provider-job") {
                return std::unexpected("Resource temporarily unavailable");
            }
            return jobs.starter()(name, std::move(work));
        },
        .clock = [this] { return now; },
        .providers = stores});
    settle(*model);
    const auto field = model->api_key_buffer("anthropic-1");
    ASSERT_TRUE(field);
    field->set("sk-ant-0002");
    model->save_key("anthropic-1");
    EXPECT_TRUE(field->empty());
    model->sync(doc);
    EXPECT_EQ(model->provider_status(), "the request could not start: Resource temporarily unavailable");
    EXPECT_EQ(model->provider_jobs_running(), 0);
    EXPECT_EQ(stores.keys()->secret_configured("anthropic-1"), false);

    field->set("typed but never saved");
    model.reset();
    EXPECT_TRUE(field->empty());
}

TEST_F(AgentModelsProvidersTest, DetailsAreSavedFromTheDraftsAndAProviderRemovedElsewhereTakesItsBuffersAlong)
{
    auto model = loaded();
    const auto* draft = model->draft("anthropic-1");
    ASSERT_NE(draft, nullptr);
    EXPECT_EQ(text_of(draft->label), "Anthropic");
    draft->label->set("Claude at work");
    draft->model->set("claude-sonnet");
    model->save_details("anthropic-1");
    settle(*model);
    EXPECT_EQ(model->provider_status(), "Provider details saved.");
    EXPECT_EQ(model->providers().providers[0].profile.label, "Claude at work");
    EXPECT_EQ(model->providers().providers[0].profile.default_model, "claude-sonnet");
    EXPECT_EQ(text_of(model->draft("anthropic-1")->label), "Claude at work") << "drafts outlive a new list";

    const auto field = model->api_key_buffer("anthropic-1");
    field->set("sk-typed");
    auto config = ProviderConfig::load_from(stores.config_file);
    ASSERT_TRUE(config.remove("anthropic-1"));
    ASSERT_TRUE(config.save());
    model->reload_providers();
    settle(*model);
    EXPECT_TRUE(model->providers().providers.empty());
    EXPECT_EQ(model->api_key_buffer("anthropic-1"), nullptr);
    EXPECT_TRUE(field->empty());
    model->save_details("anthropic-1");
    EXPECT_EQ(model->provider_status(), "Provider is no longer available.");
}

TEST_F(AgentModelsProvidersTest, TheRealWorkersAnswerThroughTheInbox)
{
    manager->set_snapshot(sample_snapshot());
    AgentModelsModel model(AgentModelsOptions{.backend = manager, .providers = stores, .register_local_provider = false});
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while ((!model.loaded() || !model.providers_loaded()) && Clock::now() < deadline) {
        model.sync(doc);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(model.loaded());
    EXPECT_TRUE(model.service_available());
    EXPECT_EQ(model.providers().providers.size(), 1U);
}

}  // namespace
}  // namespace settings::panes::agent_models
