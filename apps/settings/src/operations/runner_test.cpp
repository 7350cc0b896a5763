#include "operations/runner.hpp"

#include "operations/live_state.hpp"
#include "operations/test_support.hpp"

#include "prefs/locale.hpp"
#include "prefs/settings_file.hpp"

#include <gtest/gtest.h>

#include <fstream>

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
using vorn_ui::ResourceOperationStart;

class RunnerTest : public ::testing::Test {
protected:
    RunnerTest()
    {
        host.on_page_replaced = [this] { runner.page_replaced(); };
    }

    ResourceOperationStart start(std::string_view kind, std::string_view payload, std::uint64_t id = 1,
                                 OperationClass cls = OperationClass::Effect)
    {
        return runner.start(op_id(id), cls, kind, payload);
    }

    TempHome home;
    FakeSystem system;
    ManualClock clock;
    RecordingHost host;
    DeviceLocalRunner runner{host, RunnerOptions{.deadline = 2min,
                                                 .long_deadline = 35min,
                                                 .clock = clock.function(),
                                                 .keyboard_layouts = testing::test_layouts,
                                                 .storage_state = testing::test_storage_state}};
};

// ---- One table per operation family: the request and what the runner answers -----------------------------------

struct RequestCase {
    std::string name;
    std::string_view kind;
    std::string payload;
    std::optional<std::string> refusal;  // none: accepted
    Section section;                     // the page the window shows afterwards, refused or not
    std::function<void(FakeSystem&)> setup = {};
};

void PrintTo(const RequestCase& c, std::ostream* out)
{
    *out << c.name;
}

class RequestTable : public RunnerTest, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(RequestTable, AcceptsOrRefusesWithTheExactSentence)
{
    const RequestCase& c = GetParam();
    if (c.setup) {
        c.setup(system);
    }
    const auto answer = start(c.kind, c.payload);
    EXPECT_EQ(host.selected, c.section);

    const bool applied = c.kind == InputOperation::kind || c.kind == KeyboardSourceOperation::kind ||
                         c.kind == TimeDateOperation::kind;
    if (applied) {
        // Applied operations always answer Pending; a refusal is their outcome.
        ASSERT_EQ(answer.kind, ResourceOperationStart::Kind::Pending) << answer.message;
        const auto report = runner.poll(op_id(1), false);
        ASSERT_TRUE(report.has_value());
        if (c.refusal) {
            EXPECT_EQ(report->kind, OperationCompletion::Kind::Failed);
            EXPECT_EQ(report->message, *c.refusal);
        } else {
            EXPECT_EQ(report->kind, OperationCompletion::Kind::Completed) << report->message;
        }
        return;
    }
    if (c.refusal) {
        EXPECT_EQ(answer, ResourceOperationStart::failed(*c.refusal));
        // A refused request reaches no page.
        EXPECT_FALSE(runner.operation_requests().get().has_value());
        EXPECT_FALSE(runner.mesh_requests().get().has_value());
        EXPECT_TRUE(runner.operation_status().get().is_idle());
        EXPECT_FALSE(runner.in_flight());
    } else {
        EXPECT_EQ(answer.kind, ResourceOperationStart::Kind::Pending) << answer.message;
        EXPECT_TRUE(runner.operation_status().get().is_running_kind(c.kind));
        EXPECT_TRUE(runner.in_flight());
    }
}

const auto no_wired = [](FakeSystem& s) { s.network->change([](auto& state) { state.wired.reset(); }); };
const auto network_down = [](FakeSystem& s) {
    s.network->change([](auto& state) { state.failure = "NetworkManager is not running"; });
};
const auto zones_unreadable = [](FakeSystem& s) {
    s.time->change([](auto& state) { state.zones = std::unexpected("zone1970.tab is missing"); });
};
const auto timedated_refuses = [](FakeSystem& s) {
    s.time->change([](auto& state) {
        state.set_timezone_answer = std::unexpected("access denied");
        state.set_ntp_answer = std::unexpected("access denied");
    });
};
const auto cups_down = [](FakeSystem& s) {
    s.printing->set_state({.queues = std::unexpected("the scheduler is not running"),
                           .jobs = std::unexpected("the scheduler is not running")});
};
const auto no_displays = [](FakeSystem& s) { s.displays->set_snapshot(std::unexpected("no DRM device")); };
const auto bluez_down = [](FakeSystem& s) { s.bluez->set_devices(std::unexpected("bluetoothd is not running")); };

std::vector<RequestCase> input_cases()
{
    const auto k = InputOperation::kind;
    const auto s = Section::MouseKeyboard;
    return {
        {"input_tap_to_click", k, R"({"SetTapToClick":{"enabled":false}})", {}, s},
        {"input_speed", k, R"({"SetMousePointerSpeed":{"value":1}})", {}, s},
        {"input_speed_too_high", k, R"({"SetTouchpadPointerSpeed":{"value":1.01}})",
         "input value must be between 0.0 and 1.0", s},
        {"input_key_repeat_negative", k, R"({"SetKeyRepeat":{"value":-0.1}})",
         "input value must be between 0.0 and 1.0", s},
        {"input_acceleration", k, R"({"SetAccelerationProfile":{"profile":"Flat"}})", {}, s},
        {"input_acceleration_lower_case", k, R"({"SetAccelerationProfile":{"profile":"flat"}})",
         "unsupported acceleration profile", s},
        {"input_compose", k, R"({"SetComposeKey":{"key":"Left Super"}})", {}, s},
        {"input_compose_unknown", k, R"({"SetComposeKey":{"key":"Scroll Lock"}})", "unsupported compose key", s},
        {"input_active_source", k, R"j({"SetActiveSource":{"label":"English (US)"}})j", {}, s},
        {"input_active_source_inactive", k, R"({"SetActiveSource":{"label":"German"}})",
         "keyboard input source is not active on this device", s},
        {"input_active_source_uninstalled", k, R"({"SetActiveSource":{"label":"Klingon"}})",
         "keyboard input source is no longer installed", s},
    };
}

std::vector<RequestCase> keyboard_source_cases()
{
    const auto k = KeyboardSourceOperation::kind;
    const auto s = Section::MouseKeyboard;
    return {
        {"sources_add", k, R"({"Add":{"label":"German"}})", {}, s},
        {"sources_add_active", k, R"j({"Add":{"label":"English (US)"}})j", "keyboard input source is already active",
         s},
        {"sources_add_uninstalled", k, R"({"Add":{"label":"Klingon"}})",
         "keyboard input source is no longer installed", s},
        {"sources_move_up_first", k, R"({"MoveUp":{"index":0}})", "keyboard input source can no longer move up", s},
        {"sources_move_down_last", k, R"({"MoveDown":{"index":0}})", "keyboard input source can no longer move down",
         s},
        {"sources_remove_only", k, R"({"Remove":{"index":0}})", "keyboard input source can no longer be removed", s},
    };
}

std::vector<RequestCase> time_cases()
{
    const auto k = TimeDateOperation::kind;
    const auto s = Section::TimeDate;
    return {
        {"time_zone", k, R"({"SetTimezone":{"timezone":"Europe/Berlin"}})", {}, s},
        {"time_zone_unlisted", k, R"({"SetTimezone":{"timezone":"Mars/Base_One"}})",
         "time zone is not available on this device", s},
        {"time_zone_list_unreadable", k, R"({"SetTimezone":{"timezone":"UTC"}})",
         "could not list time zones: zone1970.tab is missing", s, zones_unreadable},
        {"time_zone_refused", k, R"({"SetTimezone":{"timezone":"UTC"}})",
         "time zone could not be changed: access denied", s, timedated_refuses},
        {"time_automatic", k, R"({"SetAutomaticTime":{"enabled":false}})", {}, s},
        {"time_automatic_refused", k, R"({"SetAutomaticTime":{"enabled":true}})",
         "automatic time could not be changed: access denied", s, timedated_refuses},
        {"time_hour_cycle", k, R"({"SetHourCycle":{"h24":false}})", {}, s},
    };
}

std::vector<RequestCase> page_cases()
{
    using K = std::string_view;
    const K update = UpdateOperation::kind, power = PowerOperation::kind, network = NetworkOperation::kind,
            bt = BluetoothOperation::kind, audio = AudioOperation::kind, display = DisplayOperation::kind,
            printer = PrinterOperation::kind;
    const std::string headset = testing::kPairedHeadset, keyboard = testing::kNewKeyboard;
    return {
        // Updates.
        {"update_check", update, R"("Check")", {}, Section::Updates},
        {"update_schedule", update, R"({"SetSchedule":{"schedule":"Weekly"}})", {}, Section::Updates},
        {"update_schedule_unknown", update, R"({"SetSchedule":{"schedule":"Hourly"}})",
         "unsupported update schedule", Section::Updates},
        // Power.
        {"power_charge_limit", power, R"({"SetChargeLimit":{"percent":80}})", {}, Section::Power},
        {"power_charge_limit_unsupported", power, R"({"SetChargeLimit":{"percent":75}})",
         "battery charge-cap control is unavailable on this device", Section::Power},
        {"power_charge_limit_no_control", power, R"({"SetChargeLimit":{"percent":80}})",
         "battery charge-cap control is unavailable on this device", Section::Power,
         [](FakeSystem& s) { s.battery->set_state({}); }},
        {"power_profile", power, R"({"SetProfile":{"profile":"Turbo"}})", "unsupported power profile", Section::Power},
        {"power_suspend_label_first", power, R"({"SetSuspendTimeout":{"profile":"eco","label":"2 hours"}})",
         "unsupported suspend timeout", Section::Power},
        // Network.
        {"network_wired", network, R"({"SetWiredEnabled":{"enabled":false}})", {}, Section::Network},
        {"network_wired_absent", network, R"({"SetWiredEnabled":{"enabled":true}})",
         "wired networking is unavailable on this device", Section::Network, no_wired},
        {"network_wired_unreadable", network, R"({"SetWiredEnabled":{"enabled":true}})",
         "NetworkManager is not running", Section::Network, network_down},
        {"network_wifi_unchecked", network, R"({"SetWifiEnabled":{"enabled":true}})", {}, Section::Network,
         network_down},
        // Bluetooth.
        {"bt_pair", bt, R"({"Pair":{"path":")" + keyboard + R"("}})", {}, Section::Bluetooth},
        {"bt_pair_paired", bt, R"({"Pair":{"path":")" + headset + R"("}})",
         "Bluetooth device state changed; refresh and try again", Section::Bluetooth},
        {"bt_connect_unpaired", bt, R"({"Connect":{"path":")" + keyboard + R"("}})",
         "Bluetooth device state changed; refresh and try again", Section::Bluetooth},
        {"bt_forget_gone", bt, R"({"Forget":{"path":"/org/bluez/hci0/dev_00_00_00_00_00_00"}})",
         "Bluetooth device is no longer available", Section::Bluetooth},
        {"bt_unreadable", bt, R"({"Connect":{"path":")" + headset + R"("}})", "bluetoothd is not running",
         Section::Bluetooth, bluez_down},
        // Sound.
        {"audio_select_output", audio, R"({"SelectOutput":{"device_id":48}})", {}, Section::Sound},
        {"audio_select_output_gone", audio, R"({"SelectOutput":{"device_id":50}})",
         "audio output device is no longer available", Section::Sound},
        {"audio_profile_unavailable", audio, R"({"SetDeviceProfile":{"device_id":30,"profile_index":2}})",
         "audio profile is no longer available", Section::Sound},
        {"audio_route_to_default", audio, R"({"RouteStream":{"stream_id":71,"playback":false,"device_id":null}})", {},
         Section::Sound},
        {"audio_route_wrong_direction", audio, R"({"RouteStream":{"stream_id":71,"playback":true,"device_id":48}})",
         "audio stream is no longer available", Section::Sound},
        {"audio_balance", audio, R"({"SetBalance":{"value":1.5}})", "output balance must be between 0 and 1",
         Section::Sound},
        // Displays.
        {"display_brightness", display, R"({"SetBrightness":{"value":1.0000001}})",
         "display brightness must be between 0 and 1", Section::Displays},
        {"display_hdr", display, R"({"SetHdr":{"connector":"DP-1","enabled":true}})", {}, Section::Displays},
        {"display_hdr_off_unsupported", display, R"({"SetHdr":{"connector":"HDMI-A-1","enabled":false}})",
         "HDR is not available for that output", Section::Displays},
        {"display_mode", display, R"({"SetModeLabel":{"connector":"DP-1","label":"2560 × 1440 · 60 Hz"}})", {},
         Section::Displays},
        {"display_mode_gone", display, R"({"SetMode":{"connector":"DP-1","mode":{"width":800,"height":600,"refresh_mhz":60000}}})",
         "display mode is no longer supported by that output", Section::Displays},
        // Colour profiles are labelled description first: "sRGB · srgb".
        {"display_profile_label", display, R"({"SetColorProfileLabel":{"connector":"DP-1","label":"sRGB · srgb"}})",
         {}, Section::Displays},
        {"display_profile_label_reversed", display,
         R"({"SetColorProfileLabel":{"connector":"DP-1","label":"srgb · sRGB"}})",
         "colour profile is no longer available for that output", Section::Displays},
        {"display_output_gone", display, R"({"SetVrr":{"connector":"DP-2","enabled":true}})",
         "display output is no longer available", Section::Displays},
        {"display_no_snapshot", display, R"({"SetPrimary":{"connector":"DP-1","primary":true}})",
         "live display capabilities are unavailable", Section::Displays, no_displays},
        // Printers.
        {"printer_resume_paused", printer, R"({"SetEnabled":{"name":"Lab","enabled":true}})", {}, Section::Printers},
        {"printer_resume_ready", printer, R"({"SetEnabled":{"name":"Office","enabled":true}})",
         "printer queue state changed; refresh and try again", Section::Printers},
        {"printer_gone", printer, R"({"Remove":{"name":"Hall"}})", "printer queue is no longer available",
         Section::Printers},
        {"printer_job_gone", printer, R"({"CancelJob":{"id":"13"}})", "print job is no longer available",
         Section::Printers},
        {"printer_scheduler_down", printer, R"({"SetDefault":{"name":"Office"}})",
         "could not list printers: the scheduler is not running", Section::Printers, cups_down},
        {"printer_jobs_scheduler_down", printer, R"({"RetryJob":{"id":"12"}})",
         "could not list print jobs: the scheduler is not running", Section::Printers, cups_down},
        // Storage (its refusals: StorageOperationsAreCheckedAgainstTheMachine).
        {"storage", StorageOperation::kind, R"("CleanupCaches")", {}, Section::Storage},
        // Pages whose operations the runner does not check.
        {"users", UserOperation::kind, R"({"SetAdmin":{"username":"ada","admin":true}})", {}, Section::Users},
        {"agent_models", AgentModelOperation::kind, R"({"Start":{"id":"llama"}})", {}, Section::AgentModels},
        {"device_mesh", DeviceMeshOperation::kind, R"({"SetRole":{"role":"Always-on server"}})", {},
         Section::DevicesSync},
    };
}

std::vector<RequestCase> all_cases()
{
    std::vector<RequestCase> all;
    for (auto family : {input_cases(), keyboard_source_cases(), time_cases(), page_cases()}) {
        all.insert(all.end(), family.begin(), family.end());
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(Operations, RequestTable, ::testing::ValuesIn(all_cases()),
                         [](const auto& info) { return info.param.name; });

TEST_F(RunnerTest, StorageOperationsAreCheckedAgainstTheMachine)
{
    // A machine with nothing: no cache, no sync-storage service, neither tool.
    DeviceLocalRunner bare{host, RunnerOptions{.clock = clock.function(),
                                               .keyboard_layouts = testing::test_layouts,
                                               .storage_state = [] { return StorageLiveState{
                                                                         .cache_to_clean = [] { return false; },
                                                                         .sync_service_running = [] { return false; },
                                                                         .disks_installed = [] { return false; },
                                                                         .backups_installed = [] { return false; }}; }}};
    const std::pair<std::string_view, std::string_view> cases[] = {
        {R"("CleanupCaches")", "no reclaimable application cache is available"},
        {R"("FreeSyncedFiles")", "the sync storage service is not running on this device"},
        {R"("OpenDisks")", "Disks is not installed on this device"},
        {R"("OpenBackups")", "Backups is not installed on this device"},
    };
    for (const auto& [payload, refusal] : cases) {
        host.selected = Section::About;
        EXPECT_EQ(bare.start(op_id(1), OperationClass::Effect, StorageOperation::kind, payload),
                  ResourceOperationStart::failed(std::string(refusal)));
        EXPECT_EQ(host.selected, Section::Storage);
        EXPECT_FALSE(bare.operation_requests().get().has_value());
    }
}

TEST(LiveStorageState, TheCacheCountsOnlyWhenItHoldsSomething)
{
    TempHome home;
    const char* saved = std::getenv("XDG_CACHE_HOME");
    const std::optional<std::string> old = saved ? std::optional<std::string>(saved) : std::nullopt;
    ::setenv("XDG_CACHE_HOME", (home.path() / "cache").c_str(), 1);
    const auto state = live_storage_state();
    const bool missing = state.cache_to_clean();
    std::filesystem::create_directories(home.path() / "cache");
    const bool empty = state.cache_to_clean();
    test_support::write_file(home.path() / "cache" / "app" / "blob", "x");
    const bool holding = state.cache_to_clean();
    if (old) {
        ::setenv("XDG_CACHE_HOME", old->c_str(), 1);
    } else {
        ::unsetenv("XDG_CACHE_HOME");
    }
    EXPECT_FALSE(missing);
    EXPECT_FALSE(empty);
    EXPECT_TRUE(holding);
}

// ---- Refusals before anything happens ---------------------------------------------------------------------------

TEST_F(RunnerTest, RefusesBeforeChangingTheWindow)
{
    // Only effect operations, whatever the kind.
    EXPECT_EQ(start("settings.unknown-operation", "{}", 1, OperationClass::Presentation),
              ResourceOperationStart::failed("device-local settings commands must be effect operations"));
    EXPECT_EQ(start("settings.unknown-operation", "{}"), ResourceOperationStart::not_handled());
    // A payload that does not decode: the decoder's sentence, and the window stays where it was.
    const auto malformed = start(PowerOperation::kind, R"({"SetProfile":{}})");
    EXPECT_EQ(malformed.kind, ResourceOperationStart::Kind::Failed);
    EXPECT_NE(malformed.message.find("missing field `profile`"), std::string::npos) << malformed.message;
    EXPECT_TRUE(host.selections.empty());
    EXPECT_FALSE(runner.in_flight());
}

// ---- The status cell through the poll -----------------------------------------------------------------------------

TEST_F(RunnerTest, HandedOverOperationRunsUntilItsPageReportsAndThePollCollectsIt)
{
    const auto& status = runner.operation_status();
    const std::string key = R"(settings.power-operation:{"SetProfile":{"profile":"Balanced"}})";
    // Unknown members are dropped and the key is re-encoded in declaration order.
    ASSERT_EQ(start(PowerOperation::kind, R"({ "SetProfile" : { "extra": 1, "profile": "Balanced" } })"),
              ResourceOperationStart::pending());
    EXPECT_EQ(status.get(), OperationStatus::running(key));
    EXPECT_EQ(runner.finished_operation_kind(), key);

    // Nothing to report while the page has not finished.
    EXPECT_FALSE(runner.poll(op_id(1), false).has_value());
    // Another page's take leaves the request; the Power page takes it.
    EXPECT_FALSE(take_operation_request<NetworkOperation>(runner.operation_requests()).has_value());
    const auto request = take_operation_request<PowerOperation>(runner.operation_requests());
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(*request, PowerOperation{PowerOperation::SetProfile{"Balanced"}});
    EXPECT_FALSE(runner.operation_requests().get().has_value());
    // A page of another kind cannot finish it.
    EXPECT_FALSE(finish_operation(status, NetworkOperation::kind, std::string("done")));
    EXPECT_TRUE(finish_operation(status, PowerOperation::kind, std::string("Power profile set.")));
    EXPECT_EQ(status.get(), OperationStatus::done(key, "Power profile set."));

    const auto report = runner.poll(op_id(1), false);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(*report, OperationCompletion::completed_with(op_id(1), {{}, "Power profile set."}));
    EXPECT_EQ(status.get(), OperationStatus::idle());
    EXPECT_FALSE(runner.in_flight());
    // Reported once.
    EXPECT_FALSE(runner.poll(op_id(1), false).has_value());
}

TEST_F(RunnerTest, PageFailureIsReportedWithTheRunnersCode)
{
    ASSERT_EQ(start(NetworkOperation::kind, R"({"SetWifiEnabled":{"enabled":true}})"), ResourceOperationStart::pending());
    ASSERT_TRUE(take_operation_request<NetworkOperation>(runner.operation_requests()));
    ASSERT_TRUE(finish_operation(runner.operation_status(), NetworkOperation::kind,
                                 std::unexpected(std::string("Could not change Wi-Fi power: radio blocked"))));
    EXPECT_EQ(runner.poll(op_id(1), false),
              OperationCompletion::failed(op_id(1), "device_local_operation_failed",
                                          "Could not change Wi-Fi power: radio blocked", false));
}

TEST_F(RunnerTest, AppliedOperationPublishesRunningThenItsOutcomeAndRefreshesThePage)
{
    const auto& status = runner.operation_status();
    const auto version = status.version();
    ASSERT_EQ(start(InputOperation::kind, R"({"SetTapToClick":{"enabled":false}})"), ResourceOperationStart::pending());
    // Running, then Done: two publications.
    EXPECT_EQ(status.version(), version + 2);
    EXPECT_EQ(status.get(), OperationStatus::done(R"(settings.input-operation:{"SetTapToClick":{"enabled":false}})",
                                                  "tap to click updated"));
    EXPECT_EQ(host.refreshes, 1);
    EXPECT_FALSE(prefs::load_settings_file().input.tap_to_click);

    EXPECT_EQ(runner.poll(op_id(1), false),
              OperationCompletion::completed_with(op_id(1), {{}, "tap to click updated"}));
    EXPECT_TRUE(status.get().is_idle());

}

TEST_F(RunnerTest, AppliedChangesReachTheSettingsFileAndTheSystem)
{
    const auto run = [&](std::string_view kind, std::string_view payload) {
        static std::uint64_t id = 100;
        ++id;
        ASSERT_EQ(runner.start(op_id(id), OperationClass::Effect, kind, payload), ResourceOperationStart::pending());
        const auto report = runner.poll(op_id(id), false);
        ASSERT_TRUE(report);
        ASSERT_EQ(report->kind, OperationCompletion::Kind::Completed) << report->message;
    };
    run(InputOperation::kind, R"({"SetComposeKey":{"key":"Left Super"}})");
    EXPECT_EQ(prefs::load_settings_file().input.compose_key, "lwin");
    run(InputOperation::kind, R"({"SetComposeKey":{"key":"Disabled"}})");
    EXPECT_EQ(prefs::load_settings_file().input.compose_key, std::nullopt);

    run(KeyboardSourceOperation::kind, R"({"Add":{"label":"German"}})");
    run(KeyboardSourceOperation::kind, R"({"Add":{"label":"French"}})");
    auto input = prefs::load_settings_file().input;
    EXPECT_EQ(input.keyboard_layouts, (std::vector<std::string>{"us", "de", "fr"}));
    EXPECT_EQ(input.keyboard_layout, "fr");
    // Removing the active last source makes its predecessor active.
    run(KeyboardSourceOperation::kind, R"({"Remove":{"index":2}})");
    input = prefs::load_settings_file().input;
    EXPECT_EQ(input.keyboard_layouts, (std::vector<std::string>{"us", "de"}));
    EXPECT_EQ(input.keyboard_layout, "de");

    run(TimeDateOperation::kind, R"({"SetTimezone":{"timezone":"Europe/Berlin"}})");
    run(TimeDateOperation::kind, R"({"SetAutomaticTime":{"enabled":false}})");
    EXPECT_EQ(system.time->state().timezones_set, std::vector<std::string>{"Europe/Berlin"});
    EXPECT_EQ(system.time->state().ntp_set, std::vector<bool>{false});
    run(TimeDateOperation::kind, R"({"SetHourCycle":{"h24":false}})");
    EXPECT_EQ(prefs::load_locale().time_format, prefs::HourCycle::H12);
}

TEST_F(RunnerTest, AFailedSaveIsTheOutcomeAndTheFileStaysAsItWas)
{
    // The configuration directory cannot be created: a file stands in its place.
    std::ofstream(home.config()) << "not a directory";
    ASSERT_EQ(start(InputOperation::kind, R"({"SetLeftHanded":{"enabled":true}})"), ResourceOperationStart::pending());
    const auto report = runner.poll(op_id(1), false);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->kind, OperationCompletion::Kind::Failed);
    EXPECT_TRUE(report->message.starts_with("could not persist input preferences: ")) << report->message;
}

// ---- One at a time, and how a running operation always ends -----------------------------------------------------

TEST_F(RunnerTest, SecondOperationIsRefusedUntilThePollCollectsTheFirst)
{
    const std::string busy = "another device-local Settings operation is still running";
    ASSERT_EQ(start(InputOperation::kind, R"({"SetTapDrag":{"enabled":false}})", 1), ResourceOperationStart::pending());
    // Finished, but not yet polled: still refused.
    EXPECT_EQ(start(StorageOperation::kind, R"("CleanupCaches")", 2), ResourceOperationStart::failed(busy));
    // A poll for another id changes nothing.
    EXPECT_FALSE(runner.poll(op_id(2), false).has_value());
    EXPECT_EQ(start(StorageOperation::kind, R"("CleanupCaches")", 2), ResourceOperationStart::failed(busy));

    ASSERT_TRUE(runner.poll(op_id(1), false).has_value());
    EXPECT_EQ(start(StorageOperation::kind, R"("CleanupCaches")", 2), ResourceOperationStart::pending());
}

TEST_F(RunnerTest, CancelFromThePollEndsTheOperationAndDropsItsLateOutcome)
{
    ASSERT_EQ(start(BluetoothOperation::kind, R"("StartScan")", 1), ResourceOperationStart::pending());
    EXPECT_EQ(runner.poll(op_id(1), true), OperationCompletion::cancelled(op_id(1), "operation cancelled"));
    EXPECT_FALSE(runner.in_flight());
    EXPECT_FALSE(runner.operation_requests().get().has_value());
    EXPECT_TRUE(runner.operation_status().get().is_idle());
    // The page reporting afterwards finds nothing running.
    EXPECT_FALSE(finish_operation(runner.operation_status(), BluetoothOperation::kind, std::string("Scanning.")));

    EXPECT_EQ(start(StorageOperation::kind, R"("CleanupCaches")", 2), ResourceOperationStart::pending());
}

TEST_F(RunnerTest, CancelAfterThePageFinishedReportsTheOutcome)
{
    ASSERT_EQ(start(StorageOperation::kind, R"("OpenDisks")", 1), ResourceOperationStart::pending());
    ASSERT_TRUE(finish_operation(runner.operation_status(), StorageOperation::kind, std::string("Disks opened.")));
    EXPECT_EQ(runner.poll(op_id(1), true), OperationCompletion::completed_with(op_id(1), {{}, "Disks opened."}));
}

TEST_F(RunnerTest, DeadlineEndsAnOperationItsPageNeverFinishes)
{
    ASSERT_EQ(start(PowerOperation::kind, R"({"SetAutoSuspend":{"enabled":true}})", 1),
              ResourceOperationStart::pending());
    clock.now += 119s;
    EXPECT_FALSE(runner.poll(op_id(1), false).has_value());
    clock.now += 1s;
    EXPECT_EQ(runner.poll(op_id(1), false), OperationCompletion::failed(op_id(1), "device_local_operation_failed",
                                                                        "operation timed out", false));
    // The request the page never took is gone with it.
    EXPECT_FALSE(runner.operation_requests().get().has_value());
    EXPECT_TRUE(runner.operation_status().get().is_idle());
    EXPECT_EQ(start(StorageOperation::kind, R"("CleanupCaches")", 2), ResourceOperationStart::pending());
}

TEST_F(RunnerTest, StuckOperationThatIsNeverPolledDoesNotBlockLaterOnes)
{
    ASSERT_EQ(start(PowerOperation::kind, R"({"SetAutoSuspend":{"enabled":true}})", 1),
              ResourceOperationStart::pending());
    clock.now += 1min;
    EXPECT_EQ(start(StorageOperation::kind, R"("CleanupCaches")", 2).message,
              "another device-local Settings operation is still running");
    clock.now += 1min;
    ASSERT_EQ(start(StorageOperation::kind, R"("CleanupCaches")", 2), ResourceOperationStart::pending());
    // The stuck operation's request did not survive; the new one is the only one.
    EXPECT_TRUE(take_operation_request<StorageOperation>(runner.operation_requests()).has_value());
    EXPECT_FALSE(take_operation_request<PowerOperation>(runner.operation_requests()).has_value());
    // A late poll of the stuck one learns how it ended, once.
    EXPECT_EQ(runner.poll(op_id(1), false), OperationCompletion::failed(op_id(1), "device_local_operation_failed",
                                                                        "operation timed out", false));
    EXPECT_FALSE(runner.poll(op_id(1), false).has_value());
    EXPECT_TRUE(runner.operation_status().get().is_running_kind(StorageOperation::kind));
}

TEST_F(RunnerTest, UpdatesHaveTheLongDeadline)
{
    ASSERT_EQ(start(UpdateOperation::kind, R"("Check")", 1), ResourceOperationStart::pending());
    clock.now += 30min;
    EXPECT_FALSE(runner.poll(op_id(1), false).has_value());
    EXPECT_EQ(start(StorageOperation::kind, R"("CleanupCaches")", 2).message,
              "another device-local Settings operation is still running");
    clock.now += 5min;
    EXPECT_EQ(runner.poll(op_id(1), false)->message, "operation timed out");
}

TEST_F(RunnerTest, LeavingThePageFailsItsOperationAndClearsItsRequest)
{
    ASSERT_EQ(start(PrinterOperation::kind, R"("Refresh")", 1), ResourceOperationStart::pending());
    const std::string key = R"(settings.printer-operation:"Refresh")";
    // The user opens another page before the Printers page took its request.
    host.select_section(Section::Network);
    EXPECT_FALSE(runner.operation_requests().get().has_value());
    EXPECT_EQ(runner.operation_status().get(),
              OperationStatus::failed(key, "the page was closed before the operation finished"));
    EXPECT_EQ(runner.poll(op_id(1), false),
              OperationCompletion::failed(op_id(1), "device_local_operation_failed",
                                          "the page was closed before the operation finished", false));
    // Back on the Printers page nothing is run.
    host.select_section(Section::Printers);
    EXPECT_FALSE(take_operation_request<PrinterOperation>(runner.operation_requests()).has_value());
}

TEST_F(RunnerTest, DevicesAndSyncGetsItsOperationThroughItsOwnCell)
{
    ASSERT_EQ(start(DeviceMeshOperation::kind, R"({"SetWorkspace":{"id":18446744073709551615,"enabled":true}})"),
              ResourceOperationStart::pending());
    EXPECT_FALSE(runner.operation_requests().get().has_value());
    const DeviceMeshOperation expected = DeviceMeshOperation::SetWorkspace{18446744073709551615ULL, true};
    EXPECT_EQ(runner.mesh_requests().get(), expected);
    EXPECT_TRUE(runner.operation_status().get().is_running_kind(DeviceMeshOperation::kind));
}

}  // namespace
}  // namespace settings::operations
