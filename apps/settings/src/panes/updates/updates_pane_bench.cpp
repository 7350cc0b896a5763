// The Updates page over the fake backend and firmware service: a frame of the open page (sync, layout, draw), and
// the first frames, which read the system and build the view.
#include "panes/updates/updates_pane.hpp"

#include "panes/updates/testing/fake_update_backend.hpp"
#include "system_ops/testing/fake_firmware.hpp"
#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>

namespace settings::panes::updates {
namespace {

// A machine with a staged image, a previous one and a firmware upgrade, its readings taken on the calling thread.
struct Machine {
    Machine()
    {
        fake.os_info->staged = "quay.io/vorn/os:42.20261210";
        firmware->change([](auto& s) {
            s.updates = std::vector{FirmwareUpdate{.device_id = "08d460be0f1f9f128413f816022a6439e0078018",
                                                   .device = "Integrated Webcam",
                                                   .current_version = "1.2.2",
                                                   .new_version = "1.2.3"}};
        });
    }
    UpdatesEnvironment environment()
    {
        auto env = fake.environment();
        env.start_thread = [](std::string_view, std::function<void()> work) -> std::expected<void, std::string> {
            work();
            return {};
        };
        return env;
    }

    testing::FakeEnvironment fake;
    std::shared_ptr<system_ops::testing::FakeFirmware> firmware = std::make_shared<system_ops::testing::FakeFirmware>();
    system_ops::ScopedCurrent<system_ops::firmware::FirmwareService> guard{firmware};
};

void BM_UpdatesPageFrame(benchmark::State& state)
{
    Machine machine;
    page_doc::Document doc;
    UpdatesPane pane(machine.environment());
    vorn_ui::HeadlessWindow window(pane, doc, {1280, 3200});
    window.frame();
    window.frame();
    for (auto _ : state) {
        window.frame();
    }
}
BENCHMARK(BM_UpdatesPageFrame)->Unit(benchmark::kMillisecond);

void BM_UpdatesPageOpen(benchmark::State& state)
{
    Machine machine;
    for (auto _ : state) {
        page_doc::Document doc;
        UpdatesPane pane(machine.environment());
        vorn_ui::HeadlessWindow window(pane, doc, {1280, 3200});
        window.frame();
        window.frame();
        benchmark::DoNotOptimize(pane.content());
    }
}
BENCHMARK(BM_UpdatesPageOpen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::updates
