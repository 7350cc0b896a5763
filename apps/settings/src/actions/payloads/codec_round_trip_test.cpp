// One row per variant of every vocabulary: the value, its compact JSON, and the way back.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "actions/payloads/codec.hpp"
#include "actions/payloads/test_support.hpp"

namespace settings::actions {
namespace {

struct RoundTrip {
    AnyOperation value;
    std::string json;  // the compact form
};

void PrintTo(const RoundTrip& row, std::ostream* out)
{
    *out << operation_kind(row.value) << ':' << row.json;
}

using Update = UpdateOperation;
using Keys = KeyboardSourceOperation;
using Input = InputOperation;
using Time = TimeDateOperation;
using Power = PowerOperation;
using Account = AccountOperation;
using Network = NetworkOperation;
using Bt = BluetoothOperation;
using Storage = StorageOperation;
using Audio = AudioOperation;
using Display = DisplayOperation;
using Printer = PrinterOperation;
using User = UserOperation;
using Model = AgentModelOperation;
using Mesh = DeviceMeshOperation;
using Provider = AgentProviderOperation;

constexpr std::uint64_t u64_max = std::numeric_limits<std::uint64_t>::max();

const std::vector<RoundTrip>& rows()
{
    static const std::vector<RoundTrip> table{
        {Update{Update::Check{}}, R"("Check")"},
        {Update{Update::Restart{}}, R"("Restart")"},
        {Update{Update::ReviewRollback{}}, R"("ReviewRollback")"},
        {Update{Update::Rollback{}}, R"("Rollback")"},
        {Update{Update::RefreshFirmware{}}, R"("RefreshFirmware")"},
        {Update{Update::InstallFirmware{}}, R"("InstallFirmware")"},
        {Update{Update::SetAutomatic{true}}, R"({"SetAutomatic":{"enabled":true}})"},
        {Update{Update::SetSchedule{"Weekly"}}, R"({"SetSchedule":{"schedule":"Weekly"}})"},
        {Update{Update::SetMetered{true}}, R"({"SetMetered":{"allowed":true}})"},

        {Keys{Keys::Add{"German (no dead keys)"}}, R"~({"Add":{"label":"German (no dead keys)"}})~"},
        {Keys{Keys::MoveUp{2}}, R"({"MoveUp":{"index":2}})"},
        {Keys{Keys::MoveDown{u64_max}}, R"({"MoveDown":{"index":18446744073709551615}})"},
        {Keys{Keys::Remove{1}}, R"({"Remove":{"index":1}})"},

        {Input{Input::SetTouchpadNaturalScroll{true}}, R"({"SetTouchpadNaturalScroll":{"enabled":true}})"},
        {Input{Input::SetMouseNaturalScroll{true}}, R"({"SetMouseNaturalScroll":{"enabled":true}})"},
        {Input{Input::SetTapToClick{false}}, R"({"SetTapToClick":{"enabled":false}})"},
        {Input{Input::SetTouchpadPointerSpeed{0.25}}, R"({"SetTouchpadPointerSpeed":{"value":0.25}})"},
        {Input{Input::SetMousePointerSpeed{1.0}}, R"({"SetMousePointerSpeed":{"value":1.0}})"},
        {Input{Input::SetKeyRepeat{0.0}}, R"({"SetKeyRepeat":{"value":0.0}})"},
        {Input{Input::SetTapDrag{true}}, R"({"SetTapDrag":{"enabled":true}})"},
        {Input{Input::SetDisableWhileTyping{true}}, R"({"SetDisableWhileTyping":{"enabled":true}})"},
        {Input{Input::SetMiddleEmulation{false}}, R"({"SetMiddleEmulation":{"enabled":false}})"},
        {Input{Input::SetLeftHanded{true}}, R"({"SetLeftHanded":{"enabled":true}})"},
        {Input{Input::SetTouchpadGestures{true}}, R"({"SetTouchpadGestures":{"enabled":true}})"},
        {Input{Input::SetAccelerationProfile{"Flat"}}, R"({"SetAccelerationProfile":{"profile":"Flat"}})"},
        {Input{Input::SetComposeKey{"Right Alt"}}, R"({"SetComposeKey":{"key":"Right Alt"}})"},
        {Input{Input::SetActiveSource{"English (US)"}}, R"~({"SetActiveSource":{"label":"English (US)"}})~"},

        {Time{Time::SetAutomaticTime{true}}, R"({"SetAutomaticTime":{"enabled":true}})"},
        {Time{Time::SetTimezone{"Europe/Berlin"}}, R"({"SetTimezone":{"timezone":"Europe/Berlin"}})"},
        {Time{Time::SetHourCycle{true}}, R"({"SetHourCycle":{"h24":true}})"},

        {Power{Power::SetChargeLimit{80}}, R"({"SetChargeLimit":{"percent":80}})"},
        {Power{Power::SetProfile{"Power Saver"}}, R"({"SetProfile":{"profile":"Power Saver"}})"},
        {Power{Power::SetAutoSuspend{true}}, R"({"SetAutoSuspend":{"enabled":true}})"},
        {Power{Power::SetBlankTimeout{"5 minutes"}}, R"({"SetBlankTimeout":{"label":"5 minutes"}})"},
        {Power{Power::SetLockTimeout{"Never"}}, R"({"SetLockTimeout":{"label":"Never"}})"},
        {Power{Power::SetSuspendTimeout{"saver", "15 minutes"}},
         R"({"SetSuspendTimeout":{"profile":"saver","label":"15 minutes"}})"},
        {Power{Power::SetLidAction{"Lock screen"}}, R"({"SetLidAction":{"action":"Lock screen"}})"},
        {Power{Power::SetPowerKeyAction{"Suspend"}}, R"({"SetPowerKeyAction":{"action":"Suspend"}})"},
        {Power{Power::SetCriticalAction{"Do nothing"}}, R"({"SetCriticalAction":{"action":"Do nothing"}})"},

        {Account{Account::Add{"mail"}}, R"({"Add":{"kind":"mail"}})"},
        {Account{Account::Open{"acct-1"}}, R"({"Open":{"id":"acct-1"}})"},
        {Account{Account::Edit{"acct-1"}}, R"({"Edit":{"id":"acct-1"}})"},
        {Account{Account::Reauthenticate{"acct-2"}}, R"({"Reauthenticate":{"id":"acct-2"}})"},
        {Account{Account::SubmitForm{}}, R"("SubmitForm")"},
        {Account{Account::CancelForm{}}, R"("CancelForm")"},
        {Account{Account::SubmitReauthentication{}}, R"("SubmitReauthentication")"},
        {Account{Account::CancelReauthentication{}}, R"("CancelReauthentication")"},
        {Account{Account::Test{"acct-3"}}, R"({"Test":{"id":"acct-3"}})"},
        {Account{Account::Remove{"acct-3"}}, R"({"Remove":{"id":"acct-3"}})"},

        {Network{Network::Refresh{}}, R"("Refresh")"},
        {Network{Network::SetWifiEnabled{true}}, R"({"SetWifiEnabled":{"enabled":true}})"},
        {Network{Network::SetWiredEnabled{false}}, R"({"SetWiredEnabled":{"enabled":false}})"},
        {Network{Network::SetAirplaneMode{true}}, R"({"SetAirplaneMode":{"enabled":true}})"},
        {Network{Network::SetHotspot{true}}, R"({"SetHotspot":{"enabled":true}})"},
        {Network{Network::SetMobileBroadband{false}}, R"({"SetMobileBroadband":{"enabled":false}})"},
        {Network{Network::RunDiagnostics{}}, R"("RunDiagnostics")"},

        {Bt{Bt::SetPowered{true}}, R"({"SetPowered":{"enabled":true}})"},
        {Bt{Bt::StartScan{}}, R"("StartScan")"},
        {Bt{Bt::Refresh{}}, R"("Refresh")"},
        // The solidus is written as it is.
        {Bt{Bt::Pair{"/org/bluez/hci0/dev_00_11_22_33_44_55"}},
         R"({"Pair":{"path":"/org/bluez/hci0/dev_00_11_22_33_44_55"}})"},
        {Bt{Bt::Connect{"/org/bluez/hci0/dev_A"}}, R"({"Connect":{"path":"/org/bluez/hci0/dev_A"}})"},
        {Bt{Bt::Disconnect{"/org/bluez/hci0/dev_A"}}, R"({"Disconnect":{"path":"/org/bluez/hci0/dev_A"}})"},
        {Bt{Bt::Forget{"/org/bluez/hci0/dev_B"}}, R"({"Forget":{"path":"/org/bluez/hci0/dev_B"}})"},

        {Storage{Storage::CleanupCaches{}}, R"("CleanupCaches")"},
        {Storage{Storage::FreeSyncedFiles{}}, R"("FreeSyncedFiles")"},
        {Storage{Storage::OpenDisks{}}, R"("OpenDisks")"},
        {Storage{Storage::OpenBackups{}}, R"("OpenBackups")"},

        {Audio{Audio::SetOutputVolume{0.5}}, R"({"SetOutputVolume":{"value":0.5}})"},
        {Audio{Audio::SetOutputMuted{true}}, R"({"SetOutputMuted":{"muted":true}})"},
        {Audio{Audio::SetInputVolume{0.75}}, R"({"SetInputVolume":{"value":0.75}})"},
        {Audio{Audio::SetBalance{0.1}}, R"({"SetBalance":{"value":0.1}})"},
        {Audio{Audio::SetMono{true}}, R"({"SetMono":{"enabled":true}})"},
        {Audio{Audio::SetDeviceProfile{42, 3}}, R"({"SetDeviceProfile":{"device_id":42,"profile_index":3}})"},
        {Audio{Audio::RouteStream{7, true, std::nullopt}},
         R"({"RouteStream":{"stream_id":7,"playback":true,"device_id":null}})"},
        {Audio{Audio::RouteStream{8, false, 51}}, R"({"RouteStream":{"stream_id":8,"playback":false,"device_id":51}})"},
        {Audio{Audio::SetStreamVolume{12, 0.3}}, R"({"SetStreamVolume":{"stream_id":12,"value":0.3}})"},
        {Audio{Audio::SetStreamMuted{12, true}}, R"({"SetStreamMuted":{"stream_id":12,"muted":true}})"},
        {Audio{Audio::ToggleDiagnostics{}}, R"("ToggleDiagnostics")"},
        {Audio{Audio::TestChannel{false}}, R"({"TestChannel":{"left":false}})"},
        {Audio{Audio::ToggleMicrophoneMeter{}}, R"("ToggleMicrophoneMeter")"},
        {Audio{Audio::SelectOutput{4294967295U}}, R"({"SelectOutput":{"device_id":4294967295}})"},
        {Audio{Audio::SelectInput{51}}, R"({"SelectInput":{"device_id":51}})"},
        {Audio{Audio::RoutePlayback{7, 50}}, R"({"RoutePlayback":{"stream_id":7,"device_id":50}})"},
        {Audio{Audio::RouteRecording{8, 51}}, R"({"RouteRecording":{"stream_id":8,"device_id":51}})"},

        {Display{Display::SetBrightness{0.8}}, R"({"SetBrightness":{"value":0.8}})"},
        {Display{Display::SetAutoBrightness{true}}, R"({"SetAutoBrightness":{"enabled":true}})"},
        {Display{Display::SetNightLight{true}}, R"({"SetNightLight":{"enabled":true}})"},
        // Non-ASCII text is written as its UTF-8 bytes.
        {Display{Display::SetNightLightTemperature{"Warm \u00b7 3700 K"}},
         "{\"SetNightLightTemperature\":{\"label\":\"Warm \xc2\xb7 3700 K\"}}"},
        {Display{Display::SetScale{"125%"}}, R"({"SetScale":{"label":"125%"}})"},
        {Display{Display::SetPrimary{"DP-1", true}}, R"({"SetPrimary":{"connector":"DP-1","primary":true}})"},
        {Display{Display::SetOutputScale{"HDMI-A-1", "150%"}},
         R"({"SetOutputScale":{"connector":"HDMI-A-1","label":"150%"}})"},
        {Display{Display::SetPosition{"DP-2", "Right of DP-1"}},
         R"({"SetPosition":{"connector":"DP-2","label":"Right of DP-1"}})"},
        {Display{Display::SetMirror{"DP-2", "Mirror DP-1"}},
         R"({"SetMirror":{"connector":"DP-2","label":"Mirror DP-1"}})"},
        {Display{Display::SetModeLabel{"DP-1", "2560 x 1440 @ 59.95 Hz"}},
         R"({"SetModeLabel":{"connector":"DP-1","label":"2560 x 1440 @ 59.95 Hz"}})"},
        {Display{Display::SetTransformLabel{"DP-1", "Portrait left"}},
         R"({"SetTransformLabel":{"connector":"DP-1","label":"Portrait left"}})"},
        {Display{Display::SetColorProfileLabel{"eDP-1", "System default"}},
         R"({"SetColorProfileLabel":{"connector":"eDP-1","label":"System default"}})"},
        {Display{Display::SetEnabled{"HDMI-A-1", false}},
         R"({"SetEnabled":{"connector":"HDMI-A-1","enabled":false}})"},
        {Display{Display::SetMode{"DP-1", {2560, 1440, 59951}}},
         R"({"SetMode":{"connector":"DP-1","mode":{"width":2560,"height":1440,"refresh_mhz":59951}}})"},
        {Display{Display::SetTransform{"DP-1", OutputTransform::Rotate90}},
         R"({"SetTransform":{"connector":"DP-1","transform":"rotate90"}})"},
        {Display{Display::SetHdr{"DP-1", false}}, R"({"SetHdr":{"connector":"DP-1","enabled":false}})"},
        {Display{Display::SetVrr{"DP-1", true}}, R"({"SetVrr":{"connector":"DP-1","enabled":true}})"},
        {Display{Display::SetColorProfile{"DP-1", std::nullopt}},
         R"({"SetColorProfile":{"connector":"DP-1","profile":null}})"},
        {Display{Display::SetColorProfile{"DP-1", "icc-srgb"}},
         R"({"SetColorProfile":{"connector":"DP-1","profile":"icc-srgb"}})"},
        {Display{Display::Apply{}}, R"("Apply")"},
        {Display{Display::Confirm{}}, R"("Confirm")"},
        {Display{Display::Revert{}}, R"("Revert")"},

        {Printer{Printer::Refresh{}}, R"("Refresh")"},
        {Printer{Printer::Discover{}}, R"("Discover")"},
        {Printer{Printer::SetDefault{"Office"}}, R"({"SetDefault":{"name":"Office"}})"},
        {Printer{Printer::SetEnabled{"Office", true}}, R"({"SetEnabled":{"name":"Office","enabled":true}})"},
        {Printer{Printer::Remove{"Lab"}}, R"({"Remove":{"name":"Lab"}})"},
        {Printer{Printer::CancelJob{"Office-12"}}, R"({"CancelJob":{"id":"Office-12"}})"},
        {Printer{Printer::RetryJob{"Office-13"}}, R"({"RetryJob":{"id":"Office-13"}})"},

        {User{User::SetAdmin{"alice", true}}, R"({"SetAdmin":{"username":"alice","admin":true}})"},
        {User{User::SetAutologin{"alice", false}}, R"({"SetAutologin":{"username":"alice","enabled":false}})"},
        {User{User::Remove{"bob", true}}, R"({"Remove":{"username":"bob","remove_files":true}})"},

        {Model{Model::StageAccelerator{}}, R"("StageAccelerator")"},
        {Model{Model::Install{"llama-3-8b", "2024-05"}}, R"({"Install":{"id":"llama-3-8b","revision":"2024-05"}})"},
        {Model{Model::Start{"llama-3-8b"}}, R"({"Start":{"id":"llama-3-8b"}})"},
        {Model{Model::Stop{"llama-3-8b"}}, R"({"Stop":{"id":"llama-3-8b"}})"},
        {Model{Model::Retry{"mistral-7b", "r2"}}, R"({"Retry":{"id":"mistral-7b","revision":"r2"}})"},
        {Model{Model::Remove{"mistral-7b"}}, R"({"Remove":{"id":"mistral-7b"}})"},

        {Mesh{Mesh::SetRole{"Always-on server"}}, R"({"SetRole":{"role":"Always-on server"}})"},
        {Mesh{Mesh::SetReplication{"On demand"}}, R"({"SetReplication":{"replication":"On demand"}})"},
        {Mesh{Mesh::SetService{"continuity.clipboard", true}},
         R"({"SetService":{"service":"continuity.clipboard","enabled":true}})"},
        {Mesh{Mesh::SetWorkspace{u64_max, true}}, R"({"SetWorkspace":{"id":18446744073709551615,"enabled":true}})"},

        {Provider{Provider::Add{"anthropic"}}, R"({"Add":{"protocol":"anthropic"}})"},
        {Provider{Provider::SetProtocol{"p1", "openai-compatible"}},
         R"({"SetProtocol":{"id":"p1","protocol":"openai-compatible"}})"},
        {Provider{Provider::SetEnabled{"p1", false}}, R"({"SetEnabled":{"id":"p1","enabled":false}})"},
        {Provider{Provider::Remove{"p2"}}, R"({"Remove":{"id":"p2"}})"},
        {Provider{Provider::SetDefault{"p1"}}, R"({"SetDefault":{"id":"p1"}})"},
        {Provider{Provider::SetDetails{"p1", "Work", "https://api.example.com/v1", "claude-x"}},
         R"({"SetDetails":{"id":"p1","label":"Work","endpoint":"https://api.example.com/v1","model":"claude-x"}})"},
        {Provider{Provider::SetDetails{"p1", " ", "e", std::nullopt}},
         R"({"SetDetails":{"id":"p1","label":" ","endpoint":"e","model":null}})"},

        {SettingsAction::set_setting("appearance.theme", SettingValue::Text("Dark")),
         R"({"SetSetting":{"key":"appearance.theme","value":{"Text":"Dark"}}})"},
        {SettingsAction::set_setting("text.check_spelling", SettingValue::Bool(true)),
         R"({"SetSetting":{"key":"text.check_spelling","value":{"Bool":true}}})"},
        {SettingsAction::set_setting("a.b", SettingValue::Int(-3)), R"({"SetSetting":{"key":"a.b","value":{"Int":-3}}})"},
        {SettingsAction::set_setting("a.b", SettingValue::Float(0.5)),
         R"({"SetSetting":{"key":"a.b","value":{"Float":0.5}}})"},
        // Control characters and quotes are escaped; a whole float keeps its fraction.
        {SettingsAction::set_setting("q\"\\\n\x01", SettingValue::Float(2.0)),
         R"({"SetSetting":{"key":"q\"\\\n\u0001","value":{"Float":2.0}}})"},
    };
    return table;
}

class RoundTripTest : public testing::TestWithParam<RoundTrip> {};

TEST_P(RoundTripTest, WritesTheGoldenJsonAndReadsItBack)
{
    const RoundTrip& row = GetParam();
    const std::string_view kind = operation_kind(row.value);

    const auto written = encode_payload(row.value);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(*written, row.json);

    const auto read = decode_operation(kind, row.json);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, row.value);

    // The pretty form reads back to the same value.
    const auto pretty = encode_payload(row.value, JsonStyle::Pretty);
    ASSERT_TRUE(pretty) << pretty.error();
    const auto from_pretty = decode_operation(kind, *pretty);
    ASSERT_TRUE(from_pretty) << from_pretty.error();
    EXPECT_EQ(*from_pretty, row.value);

    // The operation key; device-local kinds give the same key through parse_device_local_operation.
    const std::string key = std::visit(
        [&](const auto& operation) { return encode_operation_payload(kind, operation); }, row.value);
    EXPECT_EQ(key, std::string(kind) + ":" + row.json);
    const auto parsed = parse_device_local_operation(kind, *pretty);
    if (is_device_local_kind(kind)) {
        ASSERT_TRUE(parsed) << parsed.error();
        EXPECT_EQ(*parsed, key);
    } else {
        EXPECT_EQ(parsed, std::unexpected("unknown device-local operation type"));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, RoundTripTest, testing::ValuesIn(rows()),
                         [](const testing::TestParamInfo<RoundTrip>& info) {
                             std::string name = std::to_string(info.index) + "_" + variant_label(info.param.value);
                             std::erase(name, ':');
                             return name;
                         });

// Every variant of every vocabulary has a row above.
TEST(RoundTripTable, CoversEveryVariant)
{
    std::set<std::pair<std::size_t, std::size_t>> covered;
    for (const RoundTrip& row : rows()) {
        covered.emplace(row.value.index(), std::visit([](const auto& op) { return op.value.index(); }, row.value));
    }
    std::set<std::pair<std::size_t, std::size_t>> missing;
    [&]<std::size_t... V>(std::index_sequence<V...>) {
        (
            [&] {
                using Vocabulary = std::variant_alternative_t<V, AnyOperation>;
                for (std::size_t i = 0; i < std::variant_size_v<typename Vocabulary::Variant>; ++i) {
                    if (!covered.contains({V, i})) {
                        missing.emplace(V, i);
                    }
                }
            }(),
            ...);
    }(std::make_index_sequence<std::variant_size_v<AnyOperation>>{});
    EXPECT_TRUE(missing.empty()) << "vocabulary/variant indexes without a row: " << testing::PrintToString(missing);
}

}  // namespace
}  // namespace settings::actions
