// The Agent Models page in the headless window over the scriptable model manager, workers run by hand and a clock the
// test moves: the view with the service absent, a recommendation with its licence confirmation, models in each phase
// and the accelerator in each state (accessibility lines), the values that change in place while a model downloads,
// requests handed over by the runner, the API key field (masked, never in the accessibility tree, emptied by the save
// that stores it in the vault), and the keyboard focus across a change.
#include "panes/agent_models/agent_models_pane.hpp"

#include "app/test_support.hpp"
#include "page_workers/testing/manual_threads.hpp"
#include "panes/agent_models/test_support.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "system_ops/testing/fake_local_models.hpp"
#include "test_support/temp_home.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"
#include "vorn_ui/widgets/progress_bar.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>

namespace settings::panes::agent_models {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using model_providers::ProviderConfig;
using model_providers::ProviderProfile;
using model_providers::ProviderProtocol;
using operations::OperationStatus;
using page_workers::testing::ManualThreads;
using system_ops::testing::FakeLocalModels;
using testing::sample_snapshot;
using Op = AgentModelOperation;
using Clock = std::chrono::steady_clock;

constexpr std::string_view manager_missing = "model service is unavailable: vorn-model-manager not found";

// A recommendation on a device without models or accelerator setup.
lm::LocalModelSnapshot recommendation_only()
{
    auto snapshot = sample_snapshot();
    snapshot.models.clear();
    snapshot.hardware.accelerator_memory_gib = 16;
    snapshot.hardware.free_storage_gib = 412;
    return snapshot;
}

class AgentModelsPaneTest : public ::testing::Test {
protected:
    // The page in a window tall enough for every card, with the application's cells, its first readings taken.
    void open(bool settle_now = true)
    {
        pane = std::make_unique<AgentModelsPane>(AgentModelsPane(AgentModelsOptions{
                                                                     .backend = manager,
                                                                     .start_thread = jobs.starter(),
                                                                     .clock = [this] { return now; },
                                                                     .providers = stores,
                                                                     .register_local_provider = false,
                                                                 })
                                                     .with_operation_requests(requests)
                                                     .with_operation_status(status));
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1280, 4000});
        window->frame();
        if (settle_now) {
            settle();
        }
    }

    // The workers run and the page takes their answers.
    void settle()
    {
        window->frame();
        while (!jobs.waiting().empty()) {
            jobs.run_all();
            window->frame();
        }
        window->frame();
    }

    // What the application's runner does for an operation: Running with its key, then the request.
    OperationStatus perform(const Op& operation)
    {
        (void)status.publish(OperationStatus::running(operations::operation_key(operation)));
        (void)requests.publish(operations::PendingOperation{operation});
        settle();
        return status.get();
    }

    // A button pressed from the keyboard, as the user does it; the page acts on it at its next passes.
    void press(std::string_view id)
    {
        ASSERT_TRUE(panes::testing::focus_control(*window, id)) << id;
        window->key(vorn_ui::Key::Space);
        settle();
    }

    void save_provider(ProviderProfile profile)
    {
        ProviderConfig config = ProviderConfig::load();
        config.profiles.push_back(std::move(profile));
        ASSERT_TRUE(config.save());
    }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool has_line(std::string_view start) const
    {
        return std::ranges::any_of(lines(), [&](const std::string& l) { return l.starts_with(start); });
    }
    void expect_lines(const std::vector<std::string_view>& shown, const std::vector<std::string_view>& absent) const
    {
        const auto access = lines();
        for (const std::string_view line : shown) {
            EXPECT_THAT(access, Contains(StartsWith(std::string(line)))) << line;
        }
        for (const std::string_view line : absent) {
            EXPECT_THAT(access, Not(Contains(StartsWith(std::string(line))))) << line;
        }
    }
    [[nodiscard]] const vorn_ui::ProgressBar* bar(std::string_view label) const
    {
        return dynamic_cast<const vorn_ui::ProgressBar*>(app::testing::find_widget(window->root(), [&](const auto& w) {
            const auto* found = dynamic_cast<const vorn_ui::ProgressBar*>(&w);
            return found != nullptr && found->label_text() == label;
        }));
    }

    test_support::ConfigHome home;
    ProviderStores stores{.key_directory = home.path() / "keys"};
    std::shared_ptr<FakeLocalModels> manager = std::make_shared<FakeLocalModels>(sample_snapshot());
    ManualThreads jobs;
    Clock::time_point now = Clock::time_point() + std::chrono::hours(1);
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
    std::unique_ptr<AgentModelsPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(AgentModelsPaneTest, WithoutTheModelServiceThePageSaysSoAndKeepsTheProviders)
{
    manager->set_snapshot(std::unexpected(std::string(manager_missing)));
    open(false);
    expect_lines({"label Private by design", "label Local inference", "label Loopback-only Vorn model gateway",
                  "label Loading\u2026"},
                 {"label Local model service unavailable"});
    EXPECT_TRUE(pane->needs_redraw());

    settle();
    expect_lines({"label Private by design",
                  "label Models configured here supply inference only.",
                  "label Downloads",
                  "label Explicit, pinned, and visible here",
                  "label Local model service unavailable",
                  "label Install or start vorn-model-manager to inspect hardware, install models, or manage local "
                  "model lifecycle. Existing hosted providers remain available below.",
                  "label model service is unavailable: vorn-model-manager not found",
                  "label Hosted and compatible providers",
                  "label Hosted and compatible endpoints are personal to this device.",
                  "button Add Anthropic",
                  "button Add compatible API"},
                 {"label Loading", "label Recommended for this device", "label Accelerator support",
                  "label Models on this device", "label Hardware fit", "button Set up on this device",
                  "label Local model service\n"});
    EXPECT_FALSE(pane->needs_redraw());
    EXPECT_EQ(pane->next_wake_deadline(), std::nullopt) << "nothing is on its way";
}

TEST_F(AgentModelsPaneTest, ARecommendationIsConfirmedBeforeItIsInstalled)
{
    manager->set_snapshot(recommendation_only());
    open();
    expect_lines({"label Recommended for this device", "label Good fit", "label Hardware fit", "label System memory",
                  "label 32 GiB", "label Radeon 780M", "label Accelerator memory", "label 16 GiB",
                  "label Storage available", "label 412 GiB", "label Balanced.", "label Recommended model",
                  "label Qwen 7B", "label Qwen 7B for this device.", "button Set up on this device",
                  "label Models on this device",
                  "label No local models are installed. Setup shows the download, storage, source, revision, and "
                  "license before anything changes."},
                 {"label Accelerator support", "button Accept license & download", "label Pinned revision"});

    press("agent-models-setup-local");
    expect_lines({"label Download", "label 4.5 GiB", "label Storage after install", "label 5.0 GiB", "label Source",
                  "label https://models.vorn.example/qwen-7b", "label Pinned revision", "label r3", "label License",
                  "label Apache-2.0",
                  "label By continuing, you accept the model license at https://www.apache.org/licenses/LICENSE-2.0. "
                  "Vorn downloads the pinned snapshot once and keeps inference on this device.",
                  "button Accept license & download", "button Cancel"},
                 {"button Set up on this device"});
    EXPECT_EQ(manager->count("install qwen-7b r3"), 0U) << "nothing changes before the licence is accepted";

    press("agent-models-cancel-install");
    expect_lines({"button Set up on this device"}, {"button Accept license & download", "label Pinned revision"});

    manager->on("install", [](lm::LocalModelSnapshot& s) {
        s.models.push_back({*s.recommendation, lm::Downloading{0, 4831838208ULL}});
    });
    press("agent-models-setup-local");
    press("agent-models-confirm-install");
    EXPECT_EQ(manager->count("install qwen-7b r3"), 1U);
    expect_lines({"label Qwen 7B", "label Downloading", "label 0.0 GiB of 4.5 GiB downloaded \u00b7 safe to leave "
                                                       "this page"},
                 {"button Accept license & download", "label Models on this device"});
}

TEST_F(AgentModelsPaneTest, SetupIsOfferedOnlyWhenTheDeviceCanTakeIt)
{
    struct Case {
        std::string_view name;
        std::function<void(lm::LocalModelSnapshot&)> device;
        bool enabled;
    };
    const std::vector<Case> cases{
        {"a good fit", [](lm::LocalModelSnapshot&) {}, true},
        {"not enough memory", [](lm::LocalModelSnapshot& s) { s.hardware.fit = lm::HardwareFit::Unsupported; }, false},
        {"the accelerator still staging",
         [](lm::LocalModelSnapshot& s) { s.accelerator_setup = lm::AcceleratorSetup{"pack", lm::AcceleratorState::Staging}; },
         false},
        {"the accelerator active",
         [](lm::LocalModelSnapshot& s) { s.accelerator_setup = lm::AcceleratorSetup{"pack", lm::AcceleratorState::Active}; },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        pane.reset();
        auto snapshot = recommendation_only();
        c.device(snapshot);
        manager->set_snapshot(snapshot);
        open();
        const auto* button = dynamic_cast<const vorn_ui::Button*>(app::testing::find_widget(
            window->root(), [](const auto& w) { return preference_pane::control_id(w) == "agent-models-setup-local"; }));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->is_enabled(), c.enabled);
    }

    window.reset();
    pane.reset();
    auto catalogue_pending = recommendation_only();
    catalogue_pending.recommendation.reset();
    manager->set_snapshot(catalogue_pending);
    open();
    expect_lines({"label Waiting for signed model catalog", "label Service unavailable",
                  "label Setup stays disabled until the local model service reports a verified, immutable model "
                  "release.",
                  "button Set up unavailable"},
                 {"button Set up on this device"});
}

TEST_F(AgentModelsPaneTest, EveryModelShowsItsPhaseAndTheActionsOfItsPhase)
{
    auto snapshot = sample_snapshot();
    snapshot.models.push_back({testing::package("tiny", "Tiny", "r6"), lm::Installing{std::nullopt, "Verifying files"}});
    manager->set_snapshot(snapshot);
    open();
    expect_lines({"label Llama 8B", "label Running",
                  "label Available to agents through the local Vorn gateway. Workspace permissions still apply to "
                  "every task.",
                  "button Stop", "label Phi 3", "label Ready",
                  "label Installed and verified. Start it when you want agents to use it; stopped models consume no "
                  "accelerator memory.",
                  "button Start", "label Mistral", "label Needs attention", "label checksum mismatch",
                  "label Retry resumes verified files where possible. Remove clears this model's local snapshot.",
                  "button Retry install", "label Gemma", "label 0.0 GiB of 0.0 GiB downloaded", "label Tiny",
                  "label Installing", "label Verifying files", "label Storage", "label 5.0 GiB"},
                 {"label Models on this device"});
    EXPECT_EQ(std::ranges::count(lines(), "button Remove\u2026"), 3) << "running, stopped and failed models";
    // Each button carries the model's own key.
    EXPECT_NE(app::testing::find_widget(window->root(),
                                        [](const auto& w) {
                                            return preference_pane::control_id(w) ==
                                                   "agent-models-start-agent_models.local.phi_2d3.start";
                                        }),
              nullptr);
    const auto* downloading = bar("Downloading Gemma");
    ASSERT_NE(downloading, nullptr);
    EXPECT_EQ(downloading->fraction(), std::optional(0.25));
    const auto* installing = bar("Installing Tiny");
    ASSERT_NE(installing, nullptr);
    EXPECT_EQ(installing->fraction(), std::nullopt) << "no percent: the bar is indeterminate";
}

TEST_F(AgentModelsPaneTest, TheAcceleratorCardFollowsItsState)
{
    struct Case {
        lm::AcceleratorState state;
        std::vector<std::string_view> shown;
        std::vector<std::string_view> absent;
    };
    using S = lm::AcceleratorState;
    const std::vector<Case> cases{
        {S::Available,
         {"status Ready to set up", "label Vorn found a signed accelerator stack matched to this device.",
          "button Set up accelerator"},
         {"button Retry accelerator setup"}},
        {S::Queued,
         {"status Queued", "label The request is queued. You can leave Settings while Vorn verifies and stages the "
                          "signed system image."},
         {"button Set up accelerator"}},
        {S::Staging,
         {"status Staging", "label Vorn is building the next boot deployment. The current desktop keeps running "
                           "normally."},
         {"button Set up accelerator"}},
        {S::RestartRequired,
         {"status Restart required", "label Accelerator support is ready for the next boot."},
         {"button Set up accelerator"}},
        {S::Active,
         {"status Active", "label The signed accelerator stack is active and local model setup can use it."},
         {"button Set up accelerator", "button Retry accelerator setup"}},
        {S::Error,
         {"status Needs attention", "label signature did not verify",
          "label Nothing was installed into the running system. Retry rechecks this device against the signed "
          "hardware policy.",
          "button Retry accelerator setup"},
         {"button Set up accelerator"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.state));
        window.reset();
        pane.reset();
        auto snapshot = recommendation_only();
        snapshot.accelerator_setup = lm::AcceleratorSetup{
            "amd-rdna3-2026.12", c.state, c.state == S::Error ? "signature did not verify" : ""};
        manager->set_snapshot(snapshot);
        open();
        auto shown = c.shown;
        shown.push_back("label Accelerator support");
        shown.push_back("label Signed hardware match");
        shown.push_back("label amd-rdna3-2026.12");
        expect_lines(shown, c.absent);
        if (c.state == S::Queued || c.state == S::Staging) {
            EXPECT_NE(bar(c.state == S::Queued ? "Preparing accelerator support" : "Staging accelerator support"),
                      nullptr);
        }
    }
    // The setup button asks the manager.
    manager->set_snapshot([] {
        auto s = recommendation_only();
        s.accelerator_setup = lm::AcceleratorSetup{"amd-rdna3-2026.12", S::Available, ""};
        return s;
    }());
    window.reset();
    pane.reset();
    open();
    press("agent-models-accelerator-setup");
    EXPECT_EQ(manager->count("stage-accelerator"), 1U);
}

TEST_F(AgentModelsPaneTest, ADownloadMovesOnInPlaceAndTheReadingsStopWhenItEnds)
{
    open();
    const auto builds = pane->view_builds();
    ASSERT_TRUE(pane->next_wake_deadline().has_value()) << "Gemma is downloading";
    EXPECT_EQ(*pane->next_wake_deadline(), now + AgentModelsModel::refresh_interval);

    auto snapshot = sample_snapshot();
    std::get<lm::Downloading>(snapshot.models[3].phase).downloaded_bytes = 3072;
    manager->set_snapshot(snapshot);
    window->frame();
    EXPECT_TRUE(jobs.waiting().empty()) << "no reading before 750 ms";
    now += AgentModelsModel::refresh_interval;
    settle();
    const auto* downloading = bar("Downloading Gemma");
    ASSERT_NE(downloading, nullptr);
    EXPECT_EQ(downloading->fraction(), std::optional(0.75));
    EXPECT_EQ(pane->view_builds(), builds) << "the progress changes in place";

    snapshot.models[3].phase = lm::Ready{.running = false};
    manager->set_snapshot(snapshot);
    now += AgentModelsModel::refresh_interval;
    settle();
    EXPECT_EQ(bar("Downloading Gemma"), nullptr);
    EXPECT_EQ(std::ranges::count(lines(), "button Start"), 2);
    EXPECT_EQ(pane->next_wake_deadline(), std::nullopt);
}

TEST_F(AgentModelsPaneTest, RequestsHandedOverByTheRunnerAreAnswered)
{
    open();
    manager->on("start", [](lm::LocalModelSnapshot& s) { s.models[1].phase = lm::Ready{.running = true}; });
    const auto started = perform(Op{Op::Start{"phi-3"}});
    EXPECT_EQ(started, OperationStatus::done(operations::operation_key(Op{Op::Start{"phi-3"}}),
                                             "Start request accepted by the local model manager"));
    EXPECT_EQ(std::ranges::count(lines(), "button Stop"), 2);

    // A request that cannot apply is refused at once, and says why on the page.
    const auto refused = perform(Op{Op::Start{"not-installed"}});
    EXPECT_EQ(refused.state, OperationStatus::State::Failed);
    EXPECT_EQ(manager->count("start not-installed"), 0U);

    manager->answer("stop", std::unexpected(std::string("model service refused stop")));
    const auto failed = perform(Op{Op::Stop{"llama-8b"}});
    EXPECT_EQ(failed.state, OperationStatus::State::Failed);
    expect_lines({"label Local model service", "label Stop failed: model service refused stop"}, {});
}

TEST_F(AgentModelsPaneTest, RemovingAsksFirstAndTheQuestionStaysInPlace)
{
    open();
    const std::string remove = local_model_button_id("phi-3", LocalModelAction::Remove);
    press(remove);
    EXPECT_EQ(manager->count("remove phi-3"), 0U);
    EXPECT_TRUE(has_line("button Confirm remove"));
    EXPECT_THAT(lines(), Contains(HasSubstr("Remove Phi 3?")));
    EXPECT_EQ(panes::testing::focused_id(*window), remove) << "the question keeps the focus on its button";

    press(remove);
    EXPECT_EQ(manager->count("remove phi-3"), 1U);
}

TEST_F(AgentModelsPaneTest, AnApiKeyNeverReachesTheAccessibilityTreeAndIsStoredInTheVault)
{
    ProviderProfile compatible = ProviderProfile::hosted(ProviderProtocol::OpenAiCompatible);
    compatible.endpoint = "https://llm.example.org/v1";
    save_provider(compatible);
    const std::string& id = compatible.id;
    manager->set_snapshot(std::unexpected(std::string(manager_missing)));
    open();
    expect_lines({"label Compatible API", "label Hosted provider", "button Save details", "button Use Anthropic",
                  "button Disable", "button Remove provider", "label Protocol", "label OpenAI-compatible",
                  "button Save key", "button Remove key", "label No API key stored."},
                 {"button Use by default", "button Default for new tasks"});

    constexpr std::string_view secret = "sk-test-4f9a2c71e0";
    ASSERT_TRUE(panes::testing::focus_control(*window, provider_control_id("api-key", id)));
    window->type(secret);
    window->frame();
    EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr(secret)));
    EXPECT_EQ(pane->model().api_key_buffer(id)->size(), secret.size());

    pane->model().save_key(id);  // what "Save key" runs
    EXPECT_EQ(pane->model().api_key_buffer(id)->size(), 0U) << "the buffer is emptied as the job takes the key";
    settle();
    const auto stored = vorn_model_gateway::ApiKeyStore(stores.key_directory).api_key(id);
    ASSERT_TRUE(stored.has_value()) << stored.error().message;
    ASSERT_TRUE(stored->has_value());
    EXPECT_EQ(stored->value().view(), secret);
    expect_lines({"label API key saved in the Vorn vault.", "label API key is stored in the Vorn vault.",
                  "button Replace key"},
                 {"button Save key"});
    EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr(secret)));
}

TEST_F(AgentModelsPaneTest, FocusSurvivesAChange)
{
    ProviderProfile compatible = ProviderProfile::hosted(ProviderProtocol::OpenAiCompatible);
    compatible.default_model = "gpt-test";
    save_provider(compatible);
    open();
    const std::string label = provider_control_id("label", compatible.id);
    ASSERT_TRUE(panes::testing::focus_control(*window, label));
    EXPECT_EQ(panes::testing::next_in_focus_order(*window, label), provider_control_id("url", compatible.id));
    window->type(" Renamed");
    window->frame();

    // A provider job's sentence brings a row of its own: the view is built anew, the field keeps the focus and
    // what was typed.
    const auto builds = pane->view_builds();
    pane->model().remove_key(compatible.id);
    settle();
    EXPECT_GT(pane->view_builds(), builds);
    EXPECT_TRUE(has_line("label API key removed from the Vorn vault."));
    EXPECT_EQ(panes::testing::focused_id(*window), label);
    EXPECT_THAT(lines(), Contains(HasSubstr("Compatible API Renamed")));
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), provider_control_id("url", compatible.id));

    // A request from the model's button keeps the focus where it was, and Tab goes on from it.
    const std::string stop = local_model_button_id("llama-8b", LocalModelAction::Stop);
    press(stop);
    EXPECT_EQ(manager->count("stop llama-8b"), 1U);
    EXPECT_EQ(panes::testing::focused_id(*window), stop);
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), local_model_button_id("llama-8b", LocalModelAction::Remove));
}

}  // namespace
}  // namespace settings::panes::agent_models
