// The Bluetooth page's model runs on the UI thread once per frame: a pass with nothing to do must stay cheap even
// in a place with hundreds of devices around.
#include "panes/bluetooth/bluetooth_model.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

namespace settings::panes::bluetooth {
namespace {

void BM_IdleSync(benchmark::State& state)
{
    std::vector<BluetoothDevice> devices;
    for (int i = 0; i < state.range(0); ++i) {
        devices.push_back({.path = fmt::format("/org/bluez/hci0/dev_A4_C1_38_00_{:02X}_{:02X}", i / 256, i % 256),
                           .name = fmt::format("Sensor {}", i),
                           .rssi = -70,
                           .paired = i % 3 == 0});
    }
    const auto now = [](std::function<void()> work) { work(); };
    BluetoothModel model(std::make_shared<system_ops::bluez::FakeBluez>(devices), {.actions = now, .pairing = now},
                         BluetoothSnapshot{.devices = devices, .powered = true});
    page_doc::Document doc;
    model.sync(doc);
    for (auto _ : state) {
        model.sync(doc);
    }
}
BENCHMARK(BM_IdleSync)->Arg(10)->Arg(200);

}  // namespace
}  // namespace settings::panes::bluetooth
