// The Agent Models page over the scriptable model manager (a recommendation, the accelerator and a model in each
// phase) and one hosted provider in a private home: a frame of the open page (sync, layout, draw), and the first
// frames, which read the service and the providers and build the view.
#include "panes/agent_models/agent_models_pane.hpp"

#include "panes/agent_models/test_support.hpp"
#include "system_ops/testing/fake_local_models.hpp"
#include "test_support/temp_home.hpp"
#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>

namespace settings::panes::agent_models {
namespace {

struct Device {
    Device()
    {
        auto snapshot = testing::sample_snapshot();
        snapshot.accelerator_setup = lm::AcceleratorSetup{"amd-rdna3-2026.12", lm::AcceleratorState::Active, ""};
        manager->set_snapshot(snapshot);
        model_providers::ProviderConfig config;
        auto provider = model_providers::ProviderProfile::hosted(model_providers::ProviderProtocol::Anthropic);
        provider.default_model = "claude-sonnet-4";
        config.profiles.push_back(provider);
        (void)config.save();
    }
    // The work runs on the calling thread, so that the first frames see its answers.
    AgentModelsOptions options()
    {
        return {.backend = manager,
                .start_thread = [](std::string_view, std::function<void()> work) -> std::expected<void, std::string> {
                    work();
                    return {};
                },
                .providers = {.key_directory = home.path() / "keys"},
                .register_local_provider = false};
    }

    test_support::ConfigHome home;
    std::shared_ptr<system_ops::testing::FakeLocalModels> manager =
        std::make_shared<system_ops::testing::FakeLocalModels>();
};

void BM_AgentModelsPageFrame(benchmark::State& state)
{
    Device device;
    page_doc::Document doc;
    AgentModelsPane pane(device.options());
    vorn_ui::HeadlessWindow window(pane, doc, {1280, 4000});
    window.frame();
    window.frame();
    for (auto _ : state) {
        window.frame();
    }
}
BENCHMARK(BM_AgentModelsPageFrame)->Unit(benchmark::kMillisecond);

void BM_AgentModelsPageOpen(benchmark::State& state)
{
    Device device;
    for (auto _ : state) {
        page_doc::Document doc;
        AgentModelsPane pane(device.options());
        vorn_ui::HeadlessWindow window(pane, doc, {1280, 4000});
        window.frame();
        window.frame();
        benchmark::DoNotOptimize(pane.content());
    }
}
BENCHMARK(BM_AgentModelsPageOpen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::agent_models
