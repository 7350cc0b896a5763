// The Bluetooth page runs on the UI thread once per frame: a model pass with nothing to do must stay cheap even in a
// place with hundreds of devices around, and so must a frame of the page (sync, layout, drawing) and a frame that
// builds the view anew.
#include "panes/bluetooth/bluetooth_model.hpp"
#include "panes/bluetooth/bluetooth_pane.hpp"

#include "actions/catalogue/platform.hpp"
#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

namespace settings::panes::bluetooth {
namespace {

std::vector<BluetoothDevice> nearby(std::int64_t count)
{
    std::vector<BluetoothDevice> devices;
    for (std::int64_t i = 0; i < count; ++i) {
        devices.push_back({.path = fmt::format("/org/bluez/hci0/dev_A4_C1_38_00_{:02X}_{:02X}", i / 256, i % 256),
                           .name = fmt::format("Sensor {}", i),
                           .rssi = -70,
                           .paired = i % 3 == 0});
    }
    return devices;
}

const auto now = [](std::function<void()> work) { work(); };

void BM_IdleSync(benchmark::State& state)
{
    const auto devices = nearby(state.range(0));
    BluetoothModel model(std::make_shared<system_ops::bluez::FakeBluez>(devices), {.actions = now, .pairing = now},
                         BluetoothSnapshot{.devices = devices, .powered = true});
    page_doc::Document doc;
    model.sync(doc);
    for (auto _ : state) {
        model.sync(doc);
    }
}
BENCHMARK(BM_IdleSync)->Arg(10)->Arg(200);

// One frame of the page in the headless window; with `rebuild`, every frame opens another device's details, so the
// view is built anew each time.
void page_frames(benchmark::State& state, bool rebuild)
{
    const actions::catalogue::ScopedPlatform platform(std::make_shared<actions::catalogue::FakePlatform>());
    const auto devices = nearby(state.range(0));
    BluetoothPane pane(std::make_shared<system_ops::bluez::FakeBluez>(devices), {.actions = now, .pairing = now},
                       BluetoothSnapshot{.devices = devices, .powered = true});
    page_doc::Document doc;
    vorn_ui::HeadlessWindow window(pane, doc, {1280, 800});
    window.frame();
    std::size_t next = 0;
    for (auto _ : state) {
        if (rebuild) {
            doc.put_bool(bluetooth_device_widget_id(devices[next++ % devices.size()].path, "details"), true);
        }
        window.frame();
    }
}
void BM_PageFrame(benchmark::State& state) { page_frames(state, false); }
void BM_PageFrameRebuilt(benchmark::State& state) { page_frames(state, true); }
BENCHMARK(BM_PageFrame)->Arg(10)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageFrameRebuilt)->Arg(10)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::bluetooth
