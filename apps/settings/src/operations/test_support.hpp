#pragma once
// The world the operation tests run in: a private home (configuration, data and state directories), the fakes of
// the system layers with a small machine in them, a clock the test moves, and an application host that records
// what it was asked to show.

#include "operations/app_operations.hpp"
#include "operations/runner.hpp"
#include "test_support/temp_home.hpp"

#include "config_sections/display_hardware.hpp"
#include "sound_graph/audio.hpp"
#include "system_ops/battery.hpp"
#include "system_ops/bluez.hpp"
#include "system_ops/current.hpp"
#include "system_ops/network.hpp"
#include "system_ops/printing.hpp"
#include "system_ops/time.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <stdlib.h>

namespace vorn_ui {

inline void PrintTo(const OperationCompletion& c, std::ostream* out)
{
    constexpr const char* kinds[] = {"completed", "failed", "cancelled"};
    *out << kinds[static_cast<int>(c.kind)] << " value=" << c.completed.value.value_or("-") << " code=" << c.code
         << " message=" << c.message << " retryable=" << c.retryable;
}

inline void PrintTo(const ResourceOperationStart& s, std::ostream* out)
{
    constexpr const char* kinds[] = {"Completed", "Failed", "NotHandled", "Pending"};
    *out << kinds[static_cast<int>(s.kind)] << " " << s.message;
}

}  // namespace vorn_ui

namespace settings::operations {

inline void PrintTo(const OperationStatus& s, std::ostream* out)
{
    constexpr const char* states[] = {"Idle", "Running", "Done", "Failed"};
    *out << states[static_cast<int>(s.state)] << " {" << s.key << "} " << s.message;
}

}  // namespace settings::operations

namespace settings::operations::testing {

// A fresh directory that is the home, configuration, data and state directory while the object lives, without a
// session bus; the environment is put back afterwards.
class TempHome : public test_support::TempDir {
public:
    TempHome() : TempDir("vorn-operations")
    {
        for (const char* name :
             {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "DBUS_SESSION_BUS_ADDRESS"}) {
            const char* value = std::getenv(name);
            saved_.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
        }
        ::setenv("HOME", path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", config().c_str(), 1);
        ::setenv("XDG_DATA_HOME", data().c_str(), 1);
        ::setenv("XDG_STATE_HOME", (path() / "state").c_str(), 1);
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");  // no vault key reaches the user's own keyring
    }
    ~TempHome()
    {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    [[nodiscard]] std::filesystem::path config() const { return path() / "config"; }
    [[nodiscard]] std::filesystem::path data() const { return path() / "data"; }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

inline const std::string kPairedHeadset = "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_01";
inline const std::string kNewKeyboard = "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_02";

// The fakes of every system layer the runner reads, holding one small machine.
struct FakeSystem {
    std::shared_ptr<system_ops::time::FakeTime> time = std::make_shared<system_ops::time::FakeTime>();
    std::shared_ptr<system_ops::network::FakeNetwork> network = std::make_shared<system_ops::network::FakeNetwork>();
    std::shared_ptr<system_ops::bluez::FakeBluez> bluez = std::make_shared<system_ops::bluez::FakeBluez>(
        std::vector<system_ops::bluez::BluetoothDevice>{
            {.path = kPairedHeadset, .address = "AA:BB:CC:DD:EE:01", .name = "Headset", .paired = true},
            {.path = kNewKeyboard, .address = "AA:BB:CC:DD:EE:02", .name = "Keyboard"},
        });
    std::shared_ptr<system_ops::battery::FakeBattery> battery =
        std::make_shared<system_ops::battery::FakeBattery>(system_ops::battery::FakeBattery::State{
            .capability = system_ops::battery::ChargeCapability{.supported_percentages = {60, 80, 100}}});
    std::shared_ptr<system_ops::printing::FakePrinting> printing =
        std::make_shared<system_ops::printing::FakePrinting>(system_ops::printing::FakePrinting::State{
            .queues =
                std::vector<system_ops::printing::PrintQueue>{
                    {.name = "Office", .state = system_ops::printing::QueueState::Ready},
                    {.name = "Lab", .state = system_ops::printing::QueueState::Paused},
                },
            .jobs = std::vector<system_ops::printing::PrintJob>{{.id = "12", .printer = "Office"}},
        });
    std::shared_ptr<sound_graph::audio::FakeAudioEnumerator> audio =
        std::make_shared<sound_graph::audio::FakeAudioEnumerator>(sound_graph::audio::AudioGraph{
            .sinks = {{.display_name = "Speakers", .id = 48}},
            .sources = {{.display_name = "Microphone", .id = 50}},
            .playback_streams = {{.id = 70, .playback = true}},
            .recording_streams = {{.id = 71, .playback = false}},
            .devices = {{.id = 30,
                         .display_name = "Built-in Audio",
                         .profiles = {{.name = "output:analog-stereo", .index = 1, .available = true},
                                      {.name = "output:hdmi-stereo", .index = 2, .available = false}}}},
        });
    std::shared_ptr<config_sections::hardware::FakeDisplayHardware> displays =
        std::make_shared<config_sections::hardware::FakeDisplayHardware>(
            config_sections::hardware::DisplayHardwareSnapshot{.outputs = {
                                                                   {.connector = "DP-1",
                                                                    .name = "DELL U2720Q",
                                                                    .modes = {{2560, 1440, 60000}},
                                                                    .color_profiles = {"srgb"},
                                                                    .color_profile_catalogue = {{"srgb", "sRGB"}},
                                                                    .hdr_supported = true},
                                                                   {.connector = "HDMI-A-1", .vrr_supported = true},
                                                               }});

    system_ops::ScopedCurrent<system_ops::time::TimeService> time_guard{time};
    system_ops::ScopedCurrent<system_ops::network::NetworkService> network_guard{network};
    system_ops::ScopedCurrent<system_ops::bluez::BluezService> bluez_guard{bluez};
    system_ops::ScopedCurrent<system_ops::battery::BatteryService> battery_guard{battery};
    system_ops::ScopedCurrent<system_ops::printing::PrintingService> printing_guard{printing};
    system_ops::ScopedCurrent<sound_graph::audio::AudioEnumerator> audio_guard{audio};
    config_sections::hardware::ScopedDisplayHardware displays_guard{displays};
};

// A clock the test moves by hand.
struct ManualClock {
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    [[nodiscard]] RunnerOptions::Clock function()
    {
        return [this] { return now; };
    }
};

// The keyboard layouts the tests install.
// A machine with a cache to clean, the sync-storage service, and the Disks and Backups tools.
inline actions::StorageLiveState test_storage_state()
{
    const auto yes = [] { return true; };
    return {.cache_to_clean = yes, .sync_service_running = yes, .disks_installed = yes, .backups_installed = yes};
}

inline std::vector<actions::KeyboardLayout> test_layouts()
{
    return {{"us", "English (US)"}, {"de", "German"}, {"fr", "French"}, {"it", "Italian"}, {"es", "Spanish"}};
}

// The application object as far as the operations see it: the selected section, and what it was asked to do.
// A section change or a page refresh replaces the page, as the application object does.
class RecordingHost final : public AppOperationsHost {
public:
    void select_section(Section section) override
    {
        selections.push_back(section);
        if (section != selected) {
            selected = section;
            replace_page();
        }
    }
    void refresh_page() override
    {
        ++refreshes;
        replace_page();
    }
    void reload_accounts() override { ++account_reloads; }

    Section selected = Section::About;
    std::vector<Section> selections;
    int refreshes = 0;
    int account_reloads = 0;
    std::function<void()> on_page_replaced;

private:
    void replace_page()
    {
        if (on_page_replaced) {
            on_page_replaced();
        }
    }
};

inline vorn_ui::OperationId op_id(std::uint64_t n)
{
    return vorn_ui::OperationId::from_parts(0x5e77, n);
}

}  // namespace settings::operations::testing
