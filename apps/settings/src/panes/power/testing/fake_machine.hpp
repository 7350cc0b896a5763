#pragma once
// The Power page's tests (header only): a machine of fakes for the page's model, a laptop's battery by default, the
// settings file's "power" section in memory, and workers the test runs by hand.
//
//   class MyTest : public ::testing::Test, protected FakeMachine { ... };
//   PowerModel model(environment());   threads.run_all();   EXPECT_EQ(stored.blank_minutes, 0U);

#include "panes/power/power_model.hpp"

#include "page_workers/testing/manual_threads.hpp"
#include "system_ops/battery.hpp"
#include "system_ops/power.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace settings::panes::power {

// A battery at 64%, discharging, 120 cycles, 90% health, one device and a stop threshold at 100%.
inline system_ops::battery::FakeBattery::State fake_laptop()
{
    return {.info = {.present = true,
                     .percent = 64,
                     .cycle_count = 120,
                     .status = "Discharging",
                     .full_capacity = 45.0,
                     .design_capacity = 50.0},
            .devices = std::vector<PowerDevice>{{.name = "BAT0", .state = "On battery", .percent = 64}},
            .capability = ChargeCapability{.supported_percentages = {50, 60, 70, 80, 90, 100}, .current_percent = 100}};
}

class FakeMachine {
protected:
    // What the page is given: these fakes, the hand-run workers and the "power" section below.
    PowerModel::Environment environment()
    {
        return {.backends = {.profiles = power,
                             .dispatcher = std::make_shared<system_ops::RealDispatcher>(),
                             .battery = battery,
                             .history = [this] { return history; }},
                .start_thread = threads.starter(),
                .load_prefs = [this] { return stored; },
                .save_prefs =
                    [this](const std::function<void(prefs::PowerPrefs&)>& change) -> std::expected<void, std::string> {
                    if (save_failure) {
                        return std::unexpected(*save_failure);
                    }
                    ++saves;
                    change(stored);
                    return {};
                },
                .last_readings = last};
    }

    std::shared_ptr<system_ops::power::FakePower> power = std::make_shared<system_ops::power::FakePower>();
    // Where the real dispatcher's profile changes go.
    system_ops::ScopedCurrent<system_ops::power::PowerService> dispatched{power};
    std::shared_ptr<system_ops::battery::FakeBattery> battery =
        std::make_shared<system_ops::battery::FakeBattery>(fake_laptop());
    std::vector<std::uint32_t> history{90, 80, 64};  // the battery history's charges
    prefs::PowerPrefs stored;                         // the settings file's "power" section
    std::optional<std::string> save_failure;          // every save fails with it while set
    int saves = 0;
    std::shared_ptr<LastReadings> last = std::make_shared<LastReadings>();
    page_workers::testing::ManualThreads threads;
};

}  // namespace settings::panes::power
