// The checks against live state, with their exact refusal sentences.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "actions/payloads/checks.hpp"
#include "actions/payloads/test_support.hpp"

namespace settings::actions {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr std::uint64_t u64_max = std::numeric_limits<std::uint64_t>::max();

// ---- Fixtures: the live state the checks are given ---------------------------------------------------------------

const std::vector<KeyboardLayout> layouts{
    {"us", "English (US)"}, {"de", "German"}, {"fr", "French"}, {"gb", "English (UK)"}, {"it", "Italian"}};

InputLiveState input_state()
{
    return {.catalogue = [] { return layouts; }, .active_layouts = {"us", "de"}};
}

PowerLiveState power_state(std::optional<std::vector<std::uint32_t>> percentages)
{
    return {.charge_limit_percentages = [percentages] { return percentages; }};
}

BluetoothLiveState bluetooth_state()
{
    return {.devices = []() -> std::expected<std::vector<BluetoothDevice>, std::string> {
        return std::vector<BluetoothDevice>{{"/dev/connected", true, true},
                                            {"/dev/paired", true, false},
                                            {"/dev/new", false, false}};
    }};
}

const AudioLiveState audio_state{
    .outputs = {50, 52},
    .inputs = {51},
    .playback_streams = {7},
    .recording_streams = {8},
    .devices = {{42, {{0, true}, {1, false}, {3, true}}}},
};

LiveOutput hdr_output()
{
    return {.modes = {{{1920, 1080, 60000}, "1920 \u00d7 1080 @ 60 Hz"}, {{2560, 1440, 59951}, "2560 \u00d7 1440 @ 60 Hz"}},
            .color_profiles = {"icc-srgb"},
            .color_profile_labels = {"sRGB IEC61966-2.1 \u00b7 icc-srgb"},
            .hdr = true,
            .vrr = false};
}

DisplayLiveState display_state()
{
    return {.find_output = [](std::string_view connector) -> std::expected<LiveOutput, std::string> {
        if (connector == "DP-1") {
            return hdr_output();
        }
        if (connector == "HDMI-A-1") {
            return LiveOutput{.vrr = true};
        }
        return std::unexpected("display output is no longer available");
    }};
}

PrinterLiveState printer_state()
{
    return {.queues = [] { return std::vector<PrinterQueue>{{"Office", false}, {"Lab", true}}; },
            .job_ids = [] { return std::vector<std::string>{"Office-12"}; }};
}

const AgentProviderLiveState provider_state{{
    {"ready", true, true},
    {"disabled", false, true},
    {"no-model", true, false},
}};

// ---- One table for every check -----------------------------------------------------------------------------------

struct CheckCase {
    std::string name;
    std::function<CheckResult()> check;
    std::optional<std::string> refusal;  // none: accepted
};

void PrintTo(const CheckCase& c, std::ostream* out)
{
    *out << c.name;
}

template <class Operation, class State>
std::function<CheckResult()> bind(CheckResult (*check)(const Operation&, const State&), Operation operation,
                                  State state)
{
    return [=] { return check(operation, state); };
}

template <class Operation>
std::function<CheckResult()> bind(CheckResult (*check)(const Operation&), Operation operation)
{
    return [=] { return check(operation); };
}

std::vector<CheckCase> cases()
{
    using Update = UpdateOperation;
    using Input = InputOperation;
    using Time = TimeDateOperation;
    using Power = PowerOperation;
    using Network = NetworkOperation;
    using Bt = BluetoothOperation;
    using Audio = AudioOperation;
    using Display = DisplayOperation;
    using Printer = PrinterOperation;
    using Mesh = DeviceMeshOperation;
    using Provider = AgentProviderOperation;

    const auto input = [](Input op) { return bind(&check_input_operation, std::move(op), input_state()); };
    const auto power = [](Power op, std::optional<std::vector<std::uint32_t>> percentages = {{60, 80, 100}}) {
        return bind(&check_power_operation, std::move(op), power_state(std::move(percentages)));
    };
    const auto bt = [](Bt op) { return bind(&check_bluetooth_operation, std::move(op), bluetooth_state()); };
    const auto audio = [](Audio op) { return bind(&check_audio_operation, std::move(op), audio_state); };
    const auto display = [](Display op) { return bind(&check_display_operation, std::move(op), display_state()); };
    const auto printer = [](Printer op) { return bind(&check_printer_operation, std::move(op), printer_state()); };
    const auto mesh = [](Mesh op) {
        return bind(&check_device_mesh_operation, std::move(op), DeviceMeshLiveState{{7, u64_max}});
    };
    const auto provider = [](Provider op) {
        return bind(&check_agent_provider_operation, std::move(op), provider_state);
    };
    using Storage = StorageOperation;
    // The machine has a cache to clean and Disks, but no sync-storage service and no Backups tool.
    const auto storage = [](Storage op, bool everything = false) {
        return bind(&check_storage_operation, std::move(op),
                    StorageLiveState{.cache_to_clean = [] { return true; },
                                     .sync_service_running = [everything] { return everything; },
                                     .disks_installed = [] { return true; },
                                     .backups_installed = [everything] { return everything; }});
    };
    const auto no_cache = [] {
        return bind(&check_storage_operation, Storage{Storage::CleanupCaches{}},
                    StorageLiveState{.cache_to_clean = [] { return false; }});
    };
    const auto wired = [](std::expected<bool, std::string> available) {
        return bind(&check_network_operation, Network{Network::SetWiredEnabled{true}},
                    NetworkLiveState{[available] { return available; }});
    };
    const auto zone = [](std::string name) {
        return bind(&check_time_date_operation, Time{Time::SetTimezone{std::move(name)}},
                    TimeDateLiveState{[] { return std::vector<std::string>{"UTC", "Europe/Berlin"}; }});
    };
    // The system cannot list its zones or printers: the refusal names that, not a stale object.
    const auto zone_list_fails = [] {
        return bind(&check_time_date_operation, Time{Time::SetTimezone{"UTC"}},
                    TimeDateLiveState{[]() -> std::expected<std::vector<std::string>, std::string> {
                        return std::unexpected("timedated is not running");
                    }});
    };
    const auto printers_fail = [](Printer op) {
        const auto fail = []() -> std::expected<std::vector<std::string>, std::string> {
            return std::unexpected("the scheduler is not responding");
        };
        return bind(&check_printer_operation, std::move(op),
                    PrinterLiveState{[]() -> std::expected<std::vector<PrinterQueue>, std::string> {
                                         return std::unexpected("the scheduler is not responding");
                                     },
                                     fail});
    };

    const std::string position_160(160, 'x');
    // 159 characters, 160 bytes: lengths count bytes.
    const std::string position_multibyte = std::string(158, 'x') + "\u00e9";
    const std::optional<std::string> ok;

    return {
        // Updates.
        {"update_schedule", bind(&check_update_operation, Update{Update::SetSchedule{"Daily"}}), ok},
        {"update_schedule_lower_case", bind(&check_update_operation, Update{Update::SetSchedule{"daily"}}),
         "unsupported update schedule"},
        {"update_unchecked", bind(&check_update_operation, Update{Update::Rollback{}}), ok},

        // Input preferences.
        {"input_level_0", input(Input::SetKeyRepeat{0.0}), ok},
        {"input_level_1", input(Input::SetMousePointerSpeed{1.0}), ok},
        {"input_level_above", input(Input::SetTouchpadPointerSpeed{1.0000001}),
         "input value must be between 0.0 and 1.0"},
        {"input_level_below", input(Input::SetKeyRepeat{-0.0001}), "input value must be between 0.0 and 1.0"},
        {"input_level_nan", input(Input::SetMousePointerSpeed{nan}), "input value must be between 0.0 and 1.0"},
        {"input_level_infinite", input(Input::SetKeyRepeat{inf}), "input value must be between 0.0 and 1.0"},
        {"input_acceleration", input(Input::SetAccelerationProfile{"Flat"}), ok},
        {"input_acceleration_lower_case", input(Input::SetAccelerationProfile{"flat"}),
         "unsupported acceleration profile"},
        {"input_compose_disabled", input(Input::SetComposeKey{"Disabled"}), ok},
        {"input_compose_lower_case", input(Input::SetComposeKey{"disabled"}), "unsupported compose key"},
        {"input_active_source", input(Input::SetActiveSource{"German"}), ok},
        {"input_active_source_not_installed", input(Input::SetActiveSource{"Klingon"}),
         "keyboard input source is no longer installed"},
        {"input_active_source_not_active", input(Input::SetActiveSource{"French"}),
         "keyboard input source is not active on this device"},
        {"input_switch", input(Input::SetLeftHanded{true}), ok},

        // Time and date.
        {"time_zone", zone("Europe/Berlin"), ok},
        {"time_zone_unknown", zone("Mars/Olympus_Mons"), "time zone is not available on this device"},
        {"time_zone_case", zone("utc"), "time zone is not available on this device"},
        {"time_zone_list_fails", zone_list_fails(), "could not list time zones: timedated is not running"},

        // Power.
        {"power_charge_limit", power(Power::SetChargeLimit{80}), ok},
        {"power_charge_limit_unlisted", power(Power::SetChargeLimit{85}),
         "battery charge-cap control is unavailable on this device"},
        {"power_charge_limit_no_capability", power(Power::SetChargeLimit{80}, std::nullopt),
         "battery charge-cap control is unavailable on this device"},
        {"power_profile", power(Power::SetProfile{"Power Saver"}), ok},
        {"power_profile_word", power(Power::SetProfile{"saver"}), "unsupported power profile"},
        {"power_blank", power(Power::SetBlankTimeout{"1 minute"}), ok},
        {"power_blank_45", power(Power::SetBlankTimeout{"45 minutes"}), "unsupported screen blank timeout"},
        {"power_lock_never", power(Power::SetLockTimeout{"Never"}), ok},
        {"power_lock_1_hour", power(Power::SetLockTimeout{"1 hour"}), "unsupported automatic lock timeout"},
        {"power_suspend", power(Power::SetSuspendTimeout{"balanced", "1 hour"}), ok},
        {"power_suspend_label_first", power(Power::SetSuspendTimeout{"Balanced", "1 minute"}),
         "unsupported suspend timeout"},
        {"power_suspend_profile_case", power(Power::SetSuspendTimeout{"Balanced", "45 minutes"}),
         "unsupported power profile timeout"},
        {"power_lid", power(Power::SetLidAction{"Lock screen"}), ok},
        {"power_key", power(Power::SetPowerKeyAction{"Shut down"}), "unsupported power action"},
        {"power_critical", power(Power::SetCriticalAction{"suspend"}), "unsupported power action"},
        {"power_switch", power(Power::SetAutoSuspend{false}), ok},

        // Accounts.
        {"account_add", bind(&check_account_operation, AccountOperation{AccountOperation::Add{"nextcloud"}}), ok},
        {"account_add_case", bind(&check_account_operation, AccountOperation{AccountOperation::Add{"Mail"}}),
         "unknown account kind"},

        // Network.
        {"network_wired", wired(true), ok},
        {"network_wired_missing", wired(false), "wired networking is unavailable on this device"},
        {"network_wired_error", wired(std::unexpected("nmcli: NetworkManager is not running")),
         "nmcli: NetworkManager is not running"},

        // Bluetooth.
        {"bluetooth_pair", bt(Bt::Pair{"/dev/new"}), ok},
        {"bluetooth_pair_paired", bt(Bt::Pair{"/dev/paired"}), "Bluetooth device state changed; refresh and try again"},
        {"bluetooth_connect", bt(Bt::Connect{"/dev/paired"}), ok},
        {"bluetooth_connect_connected", bt(Bt::Connect{"/dev/connected"}),
         "Bluetooth device state changed; refresh and try again"},
        {"bluetooth_connect_unpaired", bt(Bt::Connect{"/dev/new"}),
         "Bluetooth device state changed; refresh and try again"},
        {"bluetooth_disconnect", bt(Bt::Disconnect{"/dev/connected"}), ok},
        {"bluetooth_disconnect_idle", bt(Bt::Disconnect{"/dev/paired"}),
         "Bluetooth device state changed; refresh and try again"},
        {"bluetooth_forget", bt(Bt::Forget{"/dev/paired"}), ok},
        {"bluetooth_forget_unpaired", bt(Bt::Forget{"/dev/new"}),
         "Bluetooth device state changed; refresh and try again"},
        {"bluetooth_gone", bt(Bt::Forget{"/dev/gone"}), "Bluetooth device is no longer available"},
        {"bluetooth_list_error",
         bind(&check_bluetooth_operation, Bt{Bt::Pair{"/dev/new"}},
              BluetoothLiveState{[]() -> std::expected<std::vector<BluetoothDevice>, std::string> {
                  return std::unexpected("org.bluez is not available");
              }}),
         "org.bluez is not available"},

        // Sound.
        {"audio_output_volume", audio(Audio::SetOutputVolume{1.0}), ok},
        {"audio_output_volume_above", audio(Audio::SetOutputVolume{1.0000001}),
         "output volume must be between 0 and 1"},
        {"audio_input_volume_nan", audio(Audio::SetInputVolume{nan}), "input volume must be between 0 and 1"},
        {"audio_balance_below", audio(Audio::SetBalance{-0.5}), "output balance must be between 0 and 1"},
        {"audio_profile", audio(Audio::SetDeviceProfile{42, 3}), ok},
        {"audio_profile_unavailable", audio(Audio::SetDeviceProfile{42, 1}), "audio profile is no longer available"},
        {"audio_profile_missing", audio(Audio::SetDeviceProfile{42, 4294967295U}),
         "audio profile is no longer available"},
        {"audio_profile_hardware", audio(Audio::SetDeviceProfile{4294967295U, 0}),
         "audio hardware is no longer available"},
        {"audio_route_default", audio(Audio::RouteStream{7, true, std::nullopt}), ok},
        {"audio_route_output", audio(Audio::RouteStream{7, true, 52}), ok},
        {"audio_route_to_input", audio(Audio::RouteStream{7, true, 51}), "audio route is no longer available"},
        {"audio_route_recording_as_playback", audio(Audio::RouteStream{8, true, std::nullopt}),
         "audio stream is no longer available"},
        {"audio_route_recording", audio(Audio::RouteStream{8, false, 51}), ok},
        {"audio_stream_volume_first", audio(Audio::SetStreamVolume{99, 2.0}), "stream volume must be between 0 and 1"},
        {"audio_stream_volume_stream", audio(Audio::SetStreamVolume{99, 0.5}), "audio stream is no longer available"},
        {"audio_stream_volume", audio(Audio::SetStreamVolume{8, 0.5}), ok},
        {"audio_stream_muted", audio(Audio::SetStreamMuted{7, true}), ok},
        {"audio_stream_muted_gone", audio(Audio::SetStreamMuted{9, true}), "audio stream is no longer available"},
        {"audio_select_output", audio(Audio::SelectOutput{50}), ok},
        {"audio_select_output_no_match", audio(Audio::SelectOutput{4294967295U}),
         "audio output device is no longer available"},
        {"audio_select_input", audio(Audio::SelectInput{50}), "audio input device is no longer available"},
        {"audio_route_playback", audio(Audio::RoutePlayback{7, 52}), ok},
        {"audio_route_playback_stream", audio(Audio::RoutePlayback{8, 52}), "playback stream is no longer available"},
        {"audio_route_playback_device", audio(Audio::RoutePlayback{7, 51}),
         "audio output device is no longer available"},
        {"audio_route_recording_stream", audio(Audio::RouteRecording{7, 51}),
         "recording stream is no longer available"},
        {"audio_route_recording_device", audio(Audio::RouteRecording{8, 50}),
         "audio input device is no longer available"},
        {"audio_unchecked", audio(Audio::TestChannel{true}), ok},

        // Storage.
        {"storage_cleanup", storage(Storage::CleanupCaches{}), ok},
        {"storage_cleanup_no_cache", no_cache(), "no reclaimable application cache is available"},
        {"storage_free_synced", storage(Storage::FreeSyncedFiles{}, true), ok},
        {"storage_free_synced_no_service", storage(Storage::FreeSyncedFiles{}),
         "the sync storage service is not running on this device"},
        {"storage_disks", storage(Storage::OpenDisks{}), ok},
        {"storage_backups", storage(Storage::OpenBackups{}, true), ok},
        {"storage_backups_missing", storage(Storage::OpenBackups{}), "Backups is not installed on this device"},

        // Displays.
        {"display_brightness_0", display(Display::SetBrightness{0.0}), ok},
        {"display_brightness_1", display(Display::SetBrightness{1.0}), ok},
        {"display_brightness_above", display(Display::SetBrightness{1.0000001}),
         "display brightness must be between 0 and 1"},
        {"display_brightness_below", display(Display::SetBrightness{-0.0001}),
         "display brightness must be between 0 and 1"},
        {"display_brightness_nan", display(Display::SetBrightness{nan}), "display brightness must be between 0 and 1"},
        {"display_warmth", display(Display::SetNightLightTemperature{"Very warm \u00b7 2800 K"}), ok},
        {"display_warmth_full_stop", display(Display::SetNightLightTemperature{"Warm . 3700 K"}),
         "unsupported Night Light warmth"},
        {"display_scale", display(Display::SetScale{"175%"}), ok},
        {"display_scale_space", display(Display::SetScale{"125 %"}), "unsupported display scale"},
        {"display_output_scale", display(Display::SetOutputScale{"DP-1", "200%"}), ok},
        {"display_output_scale_label", display(Display::SetOutputScale{"DP-1", "300%"}), "unsupported output scale"},
        {"display_output_first", display(Display::SetOutputScale{"DP-9", "300%"}),
         "display output is no longer available"},
        {"display_primary_gone", display(Display::SetPrimary{"DP-9", true}), "display output is no longer available"},
        {"display_primary", display(Display::SetPrimary{"DP-1", true}), ok},
        {"display_enabled", display(Display::SetEnabled{"HDMI-A-1", false}), ok},
        {"display_transform", display(Display::SetTransform{"DP-1", OutputTransform::Rotate270}), ok},
        {"display_position_160_bytes", display(Display::SetPosition{"DP-1", position_160}), ok},
        {"display_position_161_bytes", display(Display::SetPosition{"DP-1", position_160 + "x"}),
         "display position label is too long"},
        {"display_position_multibyte", display(Display::SetPosition{"DP-1", position_multibyte + "x"}),
         "display position label is too long"},
        {"display_mirror_161_bytes", display(Display::SetMirror{"DP-1", position_160 + "x"}),
         "display mirror label is too long"},
        {"display_mirror", display(Display::SetMirror{"DP-1", "Extend workspace"}), ok},
        {"display_mode_label", display(Display::SetModeLabel{"DP-1", "2560 \u00d7 1440 @ 60 Hz"}), ok},
        {"display_mode_label_other", display(Display::SetModeLabel{"DP-1", "3840 \u00d7 2160 @ 60 Hz"}),
         "display mode is no longer supported by that output"},
        {"display_mode", display(Display::SetMode{"DP-1", {1920, 1080, 60000}}), ok},
        {"display_mode_refresh", display(Display::SetMode{"DP-1", {1920, 1080, 59940}}),
         "display mode is no longer supported by that output"},
        {"display_orientation", display(Display::SetTransformLabel{"DP-1", "Portrait right"}), ok},
        {"display_orientation_case", display(Display::SetTransformLabel{"DP-1", "portrait right"}),
         "unsupported display orientation"},
        {"display_profile_label_default", display(Display::SetColorProfileLabel{"DP-1", "System default"}), ok},
        {"display_profile_label", display(Display::SetColorProfileLabel{"DP-1", "sRGB IEC61966-2.1 \u00b7 icc-srgb"}),
         ok},
        {"display_profile_label_other", display(Display::SetColorProfileLabel{"DP-1", "icc-srgb"}),
         "colour profile is no longer available for that output"},
        {"display_profile_none", display(Display::SetColorProfile{"HDMI-A-1", std::nullopt}), ok},
        {"display_profile", display(Display::SetColorProfile{"DP-1", "icc-srgb"}), ok},
        {"display_profile_other", display(Display::SetColorProfile{"HDMI-A-1", "icc-srgb"}),
         "colour profile is no longer available for that output"},
        {"display_hdr", display(Display::SetHdr{"DP-1", true}), ok},
        {"display_hdr_off_unsupported", display(Display::SetHdr{"HDMI-A-1", false}),
         "HDR is not available for that output"},
        {"display_vrr", display(Display::SetVrr{"HDMI-A-1", true}), ok},
        {"display_vrr_unsupported", display(Display::SetVrr{"DP-1", false}),
         "variable refresh rate is not available for that output"},
        {"display_unchecked", display(Display::Confirm{}), ok},
        {"display_capabilities_unreadable",
         bind(&check_display_operation, Display{Display::SetHdr{"DP-1", true}},
              DisplayLiveState{[](std::string_view) -> std::expected<LiveOutput, std::string> {
                  return std::unexpected("live display capabilities are unavailable");
              }}),
         "live display capabilities are unavailable"},

        // Printers.
        {"printer_default", printer(Printer::SetDefault{"Lab"}), ok},
        {"printer_default_gone", printer(Printer::SetDefault{"office"}), "printer queue is no longer available"},
        {"printer_remove_gone", printer(Printer::Remove{"Hall"}), "printer queue is no longer available"},
        {"printer_resume_paused", printer(Printer::SetEnabled{"Lab", true}), ok},
        {"printer_pause_ready", printer(Printer::SetEnabled{"Office", false}), ok},
        {"printer_resume_ready", printer(Printer::SetEnabled{"Office", true}),
         "printer queue state changed; refresh and try again"},
        {"printer_pause_paused", printer(Printer::SetEnabled{"Lab", false}),
         "printer queue state changed; refresh and try again"},
        {"printer_enable_gone", printer(Printer::SetEnabled{"Hall", true}), "printer queue is no longer available"},
        {"printer_cancel", printer(Printer::CancelJob{"Office-12"}), ok},
        {"printer_retry_gone", printer(Printer::RetryJob{"Office-13"}), "print job is no longer available"},
        {"printer_list_fails", printers_fail(Printer::SetEnabled{"Lab", true}),
         "could not list printers: the scheduler is not responding"},
        {"printer_jobs_list_fails", printers_fail(Printer::CancelJob{"Office-12"}),
         "could not list print jobs: the scheduler is not responding"},

        // Devices & Sync.
        {"mesh_role", mesh(Mesh::SetRole{"Available while active"}), ok},
        {"mesh_role_other", mesh(Mesh::SetRole{"Server"}), "unsupported device role"},
        {"mesh_replication", mesh(Mesh::SetReplication{"Full workspace copy"}), ok},
        {"mesh_replication_other", mesh(Mesh::SetReplication{"Everything"}), "unsupported replication policy"},
        {"mesh_service", mesh(Mesh::SetService{"remote_control_relay", true}), ok},
        {"mesh_continuity", mesh(Mesh::SetService{"continuity.typed_gamepad", false}), ok},
        {"mesh_continuity_unknown", mesh(Mesh::SetService{"continuity.teleport", true}),
         "unsupported Continuity capability"},
        {"mesh_service_unknown", mesh(Mesh::SetService{"device_mesh.compute", true}), "unsupported device service"},
        {"mesh_workspace", mesh(Mesh::SetWorkspace{u64_max, false}), ok},
        {"mesh_workspace_gone", mesh(Mesh::SetWorkspace{8, true}), "workspace is no longer available on this device"},

        // Agent model providers.
        {"provider_add", provider(Provider::Add{"openai-compatible"}), ok},
        {"provider_add_case", provider(Provider::Add{"Anthropic"}), "unsupported provider protocol"},
        {"provider_protocol", provider(Provider::SetProtocol{"ready", "anthropic"}), ok},
        {"provider_protocol_gone", provider(Provider::SetProtocol{"gone", "bogus"}), "provider is no longer available"},
        {"provider_protocol_other", provider(Provider::SetProtocol{"ready", "bogus"}),
         "unsupported provider protocol"},
        {"provider_enabled_gone", provider(Provider::SetEnabled{"gone", true}), "provider is no longer available"},
        {"provider_remove", provider(Provider::Remove{"disabled"}), ok},
        {"provider_default", provider(Provider::SetDefault{"ready"}), ok},
        {"provider_default_disabled", provider(Provider::SetDefault{"disabled"}),
         "provider cannot currently be selected as default"},
        {"provider_default_no_model", provider(Provider::SetDefault{"no-model"}),
         "provider cannot currently be selected as default"},
        {"provider_default_gone", provider(Provider::SetDefault{"gone"}),
         "provider cannot currently be selected as default"},
        {"provider_details", provider(Provider::SetDetails{"ready", " Work ", "https://x", std::nullopt}), ok},
        {"provider_details_blank_before_lookup", provider(Provider::SetDetails{"gone", " \t", "https://x", "m"}),
         "provider name and endpoint are required"},
        {"provider_details_blank_endpoint", provider(Provider::SetDetails{"ready", "Work", "", "m"}),
         "provider name and endpoint are required"},
        {"provider_details_gone", provider(Provider::SetDetails{"gone", "Work", "https://x", std::nullopt}),
         "provider is no longer available"},
        {"provider_details_user_and_key", provider(Provider::SetDetails{"ready", "Work", "https://user:key@x/v1", "m"}),
         "the endpoint address must not contain a user name or password; store the API key instead"},
        {"provider_details_user_only", provider(Provider::SetDetails{"ready", "Work", "http://user@127.0.0.1:8000", "m"}),
         "the endpoint address must not contain a user name or password; store the API key instead"},
        {"provider_details_at_in_path", provider(Provider::SetDetails{"ready", "Work", "https://x/v1/@models", "m"}), ok},
    };
}

class CheckTest : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, AnswersWithTheExpectedSentence)
{
    const CheckCase& c = GetParam();
    const CheckResult result = c.check();
    if (c.refusal) {
        ASSERT_FALSE(result) << "accepted";
        EXPECT_EQ(result.error(), *c.refusal);
    } else {
        EXPECT_TRUE(result) << result.error();
    }
}

INSTANTIATE_TEST_SUITE_P(LiveState, CheckTest, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

// The system is queried only for the variants that need it.
TEST(Checks, QueryOnlyWhatTheVariantNeeds)
{
    int queries = 0;
    const NetworkLiveState network{[&]() -> std::expected<bool, std::string> {
        ++queries;
        return false;
    }};
    const BluetoothLiveState bluetooth{[&]() -> std::expected<std::vector<BluetoothDevice>, std::string> {
        ++queries;
        return std::vector<BluetoothDevice>{};
    }};
    const PowerLiveState power{[&] {
        ++queries;
        return std::optional<std::vector<std::uint32_t>>{};
    }};
    const PrinterLiveState printers{[&] {
                                        ++queries;
                                        return std::vector<PrinterQueue>{};
                                    },
                                    [&] {
                                        ++queries;
                                        return std::vector<std::string>{};
                                    }};
    const DisplayLiveState displays{[&](std::string_view) -> std::expected<LiveOutput, std::string> {
        ++queries;
        return std::unexpected("display output is no longer available");
    }};
    const TimeDateLiveState time{[&] {
        ++queries;
        return std::vector<std::string>{};
    }};

    EXPECT_TRUE(check_network_operation(NetworkOperation::SetWifiEnabled{true}, network));
    EXPECT_TRUE(check_bluetooth_operation(BluetoothOperation::SetPowered{true}, bluetooth));
    EXPECT_TRUE(check_bluetooth_operation(BluetoothOperation::StartScan{}, bluetooth));
    EXPECT_TRUE(check_power_operation(PowerOperation::SetProfile{"Balanced"}, power));
    EXPECT_TRUE(check_printer_operation(PrinterOperation::Discover{}, printers));
    EXPECT_TRUE(check_display_operation(DisplayOperation::SetNightLight{true}, displays));
    EXPECT_TRUE(check_display_operation(DisplayOperation::Apply{}, displays));
    EXPECT_TRUE(check_time_date_operation(TimeDateOperation::SetHourCycle{true}, time));
    EXPECT_EQ(queries, 0);
}

// ---- Keyboard sources: the list edits the runner applies ---------------------------------------------------------

struct SourceEdit {
    std::string name;
    KeyboardSources before;
    KeyboardSourceOperation operation;
    std::expected<std::string, std::string> outcome;
    KeyboardSources after;  // equal to `before` when refused
};

void PrintTo(const SourceEdit& edit, std::ostream* out)
{
    *out << edit.name;
}

std::vector<SourceEdit> source_edits()
{
    using Op = KeyboardSourceOperation;
    const KeyboardSources two{{"us", "de"}, "de"};
    const KeyboardSources three{{"us", "de", "fr"}, "de"};
    const KeyboardSources four{{"us", "de", "fr", "gb"}, "us"};
    const KeyboardSources one{{"us"}, "us"};
    return {
        {"add", two, Op::Add{"French"}, "keyboard input source added", {{"us", "de", "fr"}, "fr"}},
        {"add_fourth", three, Op::Add{"Italian"}, "keyboard input source added", {{"us", "de", "fr", "it"}, "it"}},
        {"add_fifth", four, Op::Add{"Italian"},
         std::unexpected("the maximum number of keyboard input sources is already active"), four},
        {"add_active_when_full", four, Op::Add{"German"}, std::unexpected("keyboard input source is already active"),
         four},
        {"add_not_installed", two, Op::Add{"Klingon"}, std::unexpected("keyboard input source is no longer installed"),
         two},
        {"move_up", three, Op::MoveUp{2}, "keyboard input source moved up", {{"us", "fr", "de"}, "de"}},
        {"move_up_first", three, Op::MoveUp{0}, std::unexpected("keyboard input source can no longer move up"), three},
        {"move_up_past_end", three, Op::MoveUp{3}, std::unexpected("keyboard input source can no longer move up"),
         three},
        {"move_up_largest_index", three, Op::MoveUp{u64_max},
         std::unexpected("keyboard input source can no longer move up"), three},
        {"move_down", three, Op::MoveDown{0}, "keyboard input source moved down", {{"de", "us", "fr"}, "de"}},
        {"move_down_last", three, Op::MoveDown{2}, std::unexpected("keyboard input source can no longer move down"),
         three},
        {"move_down_single", one, Op::MoveDown{0}, std::unexpected("keyboard input source can no longer move down"),
         one},
        // The largest index must not wrap to 0 (index + 1) and move the first source down.
        {"move_down_largest_index", three, Op::MoveDown{u64_max},
         std::unexpected("keyboard input source can no longer move down"), three},
        {"remove_inactive", three, Op::Remove{0}, "keyboard input source removed", {{"de", "fr"}, "de"}},
        {"remove_active_successor", three, Op::Remove{1}, "keyboard input source removed", {{"us", "fr"}, "fr"}},
        {"remove_active_last_predecessor", KeyboardSources{{"us", "de", "fr"}, "fr"}, Op::Remove{2},
         "keyboard input source removed", {{"us", "de"}, "de"}},
        {"remove_only", one, Op::Remove{0}, std::unexpected("keyboard input source can no longer be removed"), one},
        {"remove_past_end", three, Op::Remove{3}, std::unexpected("keyboard input source can no longer be removed"),
         three},
        {"remove_largest_index", three, Op::Remove{u64_max},
         std::unexpected("keyboard input source can no longer be removed"), three},
    };
}

class SourceEditTest : public testing::TestWithParam<SourceEdit> {};

TEST_P(SourceEditTest, EditsOrRefusesWithoutChange)
{
    const SourceEdit& edit = GetParam();
    KeyboardSources sources = edit.before;
    EXPECT_EQ(apply_keyboard_source_operation(edit.operation, [] { return layouts; }, sources), edit.outcome);
    EXPECT_EQ(sources.layouts, edit.after.layouts);
    EXPECT_EQ(sources.active, edit.after.active);
}

INSTANTIATE_TEST_SUITE_P(KeyboardSources, SourceEditTest, testing::ValuesIn(source_edits()),
                         [](const testing::TestParamInfo<SourceEdit>& info) { return info.param.name; });

// ---- Input preference values -------------------------------------------------------------------------------------

TEST(InputValues, LabelsMapToStoredValues)
{
    EXPECT_EQ(acceleration_profile_value("Adaptive"), "adaptive");
    EXPECT_EQ(acceleration_profile_value("Flat"), "flat");
    EXPECT_EQ(compose_key_value("Disabled").value(), std::optional<std::string>{});
    EXPECT_EQ(compose_key_value("Right Alt").value(), std::optional<std::string>{"ralt"});
    EXPECT_EQ(compose_key_value("Menu").value(), std::optional<std::string>{"menu"});
    EXPECT_EQ(compose_key_value("Caps Lock").value(), std::optional<std::string>{"caps"});
    EXPECT_EQ(compose_key_value("Right Super").value(), std::optional<std::string>{"rwin"});
    EXPECT_EQ(compose_key_value("Left Super").value(), std::optional<std::string>{"lwin"});
    EXPECT_EQ(active_source_id("German", layouts, {"us", "de"}), "de");

    EXPECT_EQ(input_operation_done_message(InputOperation::SetTouchpadNaturalScroll{true}),
              "touchpad natural scrolling updated");
    EXPECT_EQ(input_operation_done_message(InputOperation::SetKeyRepeat{0.5}), "key repeat updated");
    EXPECT_EQ(input_operation_done_message(InputOperation::SetMiddleEmulation{true}), "middle-button emulation updated");
    EXPECT_EQ(input_operation_done_message(InputOperation::SetActiveSource{"German"}), "active keyboard source updated");
}

}  // namespace
}  // namespace settings::actions
