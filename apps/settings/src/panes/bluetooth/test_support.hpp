#pragma once
// What the Bluetooth page's tests run on: workers the test runs by hand, and a machine with one device in each
// state. Included by tests only.

#include "panes/bluetooth/bluetooth_backend.hpp"

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace settings::panes::bluetooth::testing {

// Keeps the work handed over until the test runs it, so a test can look at the page while a pairing or an action
// is under way.
class ManualWorkers {
public:
    [[nodiscard]] BluetoothWorkers workers()
    {
        return {.actions = [this](std::function<void()> work) { actions_.push_back(std::move(work)); },
                .pairing = [this](std::function<void()> work) { pairing_.push_back(std::move(work)); }};
    }
    // Runs the action work handed over so far, in order; answers how much ran.
    std::size_t run_actions() { return run(actions_); }
    std::size_t run_pairing() { return run(pairing_); }
    [[nodiscard]] std::size_t waiting_actions() const { return actions_.size(); }
    [[nodiscard]] std::size_t waiting_pairings() const { return pairing_.size(); }

private:
    static std::size_t run(std::deque<std::function<void()>>& queue)
    {
        std::size_t count = 0;
        while (!queue.empty()) {
            auto work = std::move(queue.front());
            queue.pop_front();
            work();
            ++count;
        }
        return count;
    }

    std::deque<std::function<void()>> actions_;
    std::deque<std::function<void()>> pairing_;
};

// Workers that do the work at once, on the calling thread: a press and its answer in one sync.
[[nodiscard]] inline BluetoothWorkers immediate_workers()
{
    const auto now = [](std::function<void()> work) { work(); };
    return {.actions = now, .pairing = now};
}

inline const std::string headset_path = "/org/bluez/hci0/dev_00_1B_66_AA_BB_CC";
inline const std::string mouse_path = "/org/bluez/hci0/dev_5C_F3_70_11_22_33";
inline const std::string phone_path = "/org/bluez/hci0/dev_A4_C1_38_00_00_01";

// A connected headset with its battery, a paired mouse that is not connected, and a phone nearby.
[[nodiscard]] inline std::vector<BluetoothDevice> sample_devices()
{
    return {{.path = headset_path,
             .address = "00:1B:66:AA:BB:CC",
             .name = "Sony Headphones",
             .icon = "audio-headset",
             .rssi = -60,
             .battery = 70,
             .paired = true,
             .trusted = true,
             .connected = true},
            {.path = mouse_path, .address = "5C:F3:70:11:22:33", .name = "MX Master 3", .icon = "input-mouse", .paired = true},
            {.path = phone_path, .address = "A4:C1:38:00:00:01", .name = "Pixel 7", .icon = "phone", .rssi = -71}};
}

}  // namespace settings::panes::bluetooth::testing
