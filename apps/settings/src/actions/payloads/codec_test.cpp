// What the reader accepts besides the written form, what it refuses and with which words, the operation key, and
// the writer's edge cases.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "actions/payloads/codec.hpp"
#include "actions/payloads/test_support.hpp"

namespace settings::actions {
namespace {

using testing::HasSubstr;

std::string nested_arrays(std::size_t depth)
{
    return std::string(depth, '[') + std::string(depth, ']');
}

// A payload in a failure message: JSON-escaped, broken bytes replaced, cut short.
std::string shown(std::string_view payload)
{
    return nlohmann::json(std::string(payload.substr(0, 200)))
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Test names: the row and the operation kind's domain ("7_network").
template <class Row>
std::string row_name(const testing::TestParamInfo<Row>& info)
{
    std::string domain(info.param.kind.substr(info.param.kind.find('.') + 1));
    if (domain.ends_with("-operation")) {
        domain.resize(domain.size() - std::string_view("-operation").size());
    }
    std::ranges::replace(domain, '-', '_');
    return std::to_string(info.index) + "_" + domain;
}

// ---- Accepted spellings ------------------------------------------------------------------------------------------

struct Tolerated {
    std::string_view kind;
    std::string input;
    std::string canonical;  // the compact JSON of what it decodes to
};

void PrintTo(const Tolerated& row, std::ostream* out)
{
    *out << row.kind << ' ' << shown(row.input);
}

const std::vector<Tolerated> tolerated{
    // Unit variants: bare name, null content, white space around tokens.
    {UpdateOperation::kind, R"("Check")", R"("Check")"},
    {UpdateOperation::kind, " \t\r\n\"Check\" \n", R"("Check")"},
    {UpdateOperation::kind, R"({"Check":null})", R"("Check")"},
    {UpdateOperation::kind, " { \"Check\" :\nnull } ", R"("Check")"},
    {DisplayOperation::kind, R"({"Apply":null})", R"("Apply")"},
    // Struct variants: the array form, members in any order, unknown members of any depth skipped.
    {NetworkOperation::kind, R"({"SetWifiEnabled":[true]})", R"({"SetWifiEnabled":{"enabled":true}})"},
    {NetworkOperation::kind, R"({"SetWifiEnabled":{"enabled":true,"extra":[1,{"a":null}]}})",
     R"({"SetWifiEnabled":{"enabled":true}})"},
    {NetworkOperation::kind, R"({"SetWifiEnabled":{"note":1,"enabled":false,"note":2}})",
     R"({"SetWifiEnabled":{"enabled":false}})"},
    {NetworkOperation::kind, R"({"SetWifiEnabled":{"enabled":true,"x":)" + nested_arrays(1000) + "}}",
     R"({"SetWifiEnabled":{"enabled":true}})"},
    {NetworkOperation::kind, R"({"SetWifiEnabled":{"x":{"y":{"z":{"w":{"v":{"u":{"t":[[{"s":1}]]}}}}}},"enabled":true}})",
     R"({"SetWifiEnabled":{"enabled":true}})"},
    {PowerOperation::kind, R"({"SetSuspendTimeout":{"label":"15 minutes","profile":"saver"}})",
     R"({"SetSuspendTimeout":{"profile":"saver","label":"15 minutes"}})"},
    {PowerOperation::kind, R"({"SetSuspendTimeout":["saver","15 minutes"]})",
     R"({"SetSuspendTimeout":{"profile":"saver","label":"15 minutes"}})"},
    // Optional fields: a missing key is none; in the array form null stands for none.
    {DisplayOperation::kind, R"({"SetColorProfile":{"connector":"DP-1"}})",
     R"({"SetColorProfile":{"connector":"DP-1","profile":null}})"},
    {DisplayOperation::kind, R"({"SetColorProfile":["DP-1",null]})",
     R"({"SetColorProfile":{"connector":"DP-1","profile":null}})"},
    {AudioOperation::kind, R"({"RouteStream":{"stream_id":7,"playback":true}})",
     R"({"RouteStream":{"stream_id":7,"playback":true,"device_id":null}})"},
    {AgentProviderOperation::kind, R"({"SetDetails":{"id":"p","label":"l","endpoint":"e"}})",
     R"({"SetDetails":{"id":"p","label":"l","endpoint":"e","model":null}})"},
    // Numbers: an integer for an f64 becomes a float; "-0" is the float -0.0; integer limits.
    {DisplayOperation::kind, R"({"SetBrightness":{"value":1}})", R"({"SetBrightness":{"value":1.0}})"},
    {DisplayOperation::kind, R"({"SetBrightness":{"value":-0}})", R"({"SetBrightness":{"value":-0.0}})"},
    {AudioOperation::kind, R"({"SetOutputVolume":{"value":5e-1}})", R"({"SetOutputVolume":{"value":0.5}})"},
    {PowerOperation::kind, R"({"SetChargeLimit":{"percent":4294967295}})",
     R"({"SetChargeLimit":{"percent":4294967295}})"},
    {DeviceMeshOperation::kind, R"({"SetWorkspace":[18446744073709551615,false]})",
     R"({"SetWorkspace":{"id":18446744073709551615,"enabled":false}})"},
    {SettingsAction::kind, R"({"SetSetting":{"key":"k","value":{"Float":1}}})",
     R"({"SetSetting":{"key":"k","value":{"Float":1.0}}})"},
    {SettingsAction::kind, R"({"SetSetting":{"key":"k","value":{"Int":9223372036854775807}}})",
     R"({"SetSetting":{"key":"k","value":{"Int":9223372036854775807}}})"},
    {SettingsAction::kind, R"({"SetSetting":{"key":"k","value":{"Int":-9223372036854775808}}})",
     R"({"SetSetting":{"key":"k","value":{"Int":-9223372036854775808}}})"},
    {SettingsAction::kind, R"({"SetSetting":["appearance.theme",{"Text":"dark"}]})",
     R"({"SetSetting":{"key":"appearance.theme","value":{"Text":"dark"}}})"},
    // Escapes are decoded; é and / are written back as they are.
    {TimeDateOperation::kind, R"({"SetTimezone":{"timezone":"\u00e9\/x\ud83d\ude00"}})",
     "{\"SetTimezone\":{\"timezone\":\"\xc3\xa9/x\xf0\x9f\x98\x80\"}}"},
    // The display records: OutputMode in the array form, OutputTransform in the object form.
    {DisplayOperation::kind, R"({"SetMode":{"connector":"DP-1","mode":[1920,1080,60000]}})",
     R"({"SetMode":{"connector":"DP-1","mode":{"width":1920,"height":1080,"refresh_mhz":60000}}})"},
    {DisplayOperation::kind, R"({"SetTransform":["DP-1",{"rotate270":null}]})",
     R"({"SetTransform":{"connector":"DP-1","transform":"rotate270"}})"},
};

class ToleranceTest : public testing::TestWithParam<Tolerated> {};

TEST_P(ToleranceTest, DecodesToTheCanonicalValue)
{
    const Tolerated& row = GetParam();
    const auto decoded = decode_operation(row.kind, row.input);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(encode_payload(*decoded), row.canonical);
}

INSTANTIATE_TEST_SUITE_P(Spellings, ToleranceTest, testing::ValuesIn(tolerated), row_name<Tolerated>);

// ---- Refusals ----------------------------------------------------------------------------------------------------

struct Refused {
    std::string_view kind;
    std::string input;
    std::string message;
    bool exact = true;  // false: the message contains this text (the JSON parser's own wording)
};

void PrintTo(const Refused& row, std::ostream* out)
{
    *out << row.kind << ' ' << shown(row.input);
}

const std::vector<Refused> refused{
    // Shapes of a variant.
    {UpdateOperation::kind, R"("SetAutomatic")", "invalid type: unit variant, expected struct variant at SetAutomatic"},
    {NetworkOperation::kind, R"("SetWifiEnabled")",
     "invalid type: unit variant, expected struct variant at SetWifiEnabled"},
    {UpdateOperation::kind, R"({"Check":{}})", "invalid type: map, expected unit at Check"},
    {UpdateOperation::kind, R"({"Check":[]})", "invalid type: sequence, expected unit at Check"},
    {UpdateOperation::kind, R"({"Check":false})", "invalid type: boolean `false`, expected unit at Check"},
    {UpdateOperation::kind, R"({"Check":null,"Restart":null})",
     "invalid type: map with 2 members, expected a single variant of UpdateOperation"},
    {UpdateOperation::kind, R"({"Check":null,"Check":null})",
     "invalid type: map with 2 members, expected a single variant of UpdateOperation"},
    {UpdateOperation::kind, "{}", "invalid type: empty map, expected a single variant of UpdateOperation"},
    {UpdateOperation::kind, "5", "invalid type: integer `5`, expected a variant of UpdateOperation"},
    {UpdateOperation::kind, R"(["Check"])", "invalid type: sequence, expected a variant of UpdateOperation"},
    {NetworkOperation::kind, R"({"SetWifiEnabled":"yes"})",
     "invalid type: string \"yes\", expected struct variant NetworkOperation::SetWifiEnabled at SetWifiEnabled"},
    // Struct content.
    {NetworkOperation::kind, R"({"SetWifiEnabled":[]})",
     "invalid length 0, expected struct variant NetworkOperation::SetWifiEnabled with 1 element at SetWifiEnabled"},
    {NetworkOperation::kind, R"({"SetWifiEnabled":[true,false]})",
     "invalid length 2, expected struct variant NetworkOperation::SetWifiEnabled with 1 element at SetWifiEnabled"},
    {NetworkOperation::kind, R"({"SetWifiEnabled":{"enabled":true,"enabled":false}})",
     "duplicate field `enabled` at SetWifiEnabled"},
    {NetworkOperation::kind, R"({"SetWifiEnabled":{}})", "missing field `enabled` at SetWifiEnabled"},
    {NetworkOperation::kind, R"({"SetWifiEnabled":{"Enabled":true}})", "missing field `enabled` at SetWifiEnabled"},
    {NetworkOperation::kind, R"({"SetWifiEnabled":{"enabled":1}})",
     "invalid type: integer `1`, expected a boolean at SetWifiEnabled.enabled"},
    {NetworkOperation::kind, R"({"SetWifiEnabled":{"enabled":"true"}})",
     "invalid type: string \"true\", expected a boolean at SetWifiEnabled.enabled"},
    {PowerOperation::kind, R"({"SetSuspendTimeout":["saver"]})",
     "invalid length 1, expected struct variant PowerOperation::SetSuspendTimeout with 2 elements at SetSuspendTimeout"},
    {PowerOperation::kind, R"({"SetSuspendTimeout":{"profile":"saver"}})", "missing field `label` at SetSuspendTimeout"},
    {DisplayOperation::kind, R"({"SetColorProfile":["DP-1"]})",
     "invalid length 1, expected struct variant DisplayOperation::SetColorProfile with 2 elements at SetColorProfile"},
    {AgentProviderOperation::kind, R"({"SetDetails":["p","l","e"]})",
     "invalid length 3, expected struct variant AgentProviderOperation::SetDetails with 4 elements at SetDetails"},
    {AudioOperation::kind, R"({"RouteStream":{"stream_id":7,"playback":true,"device_id":-1}})",
     "invalid value: integer `-1`, expected u32 at RouteStream.device_id"},
    // Integers.
    {PowerOperation::kind, R"({"SetChargeLimit":{"percent":80.0}})",
     "invalid type: floating point `80.0`, expected u32 at SetChargeLimit.percent"},
    {PowerOperation::kind, R"({"SetChargeLimit":{"percent":8e1}})",
     "invalid type: floating point `80.0`, expected u32 at SetChargeLimit.percent"},
    {PowerOperation::kind, R"({"SetChargeLimit":{"percent":-1}})",
     "invalid value: integer `-1`, expected u32 at SetChargeLimit.percent"},
    {PowerOperation::kind, R"({"SetChargeLimit":{"percent":-0}})",
     "invalid type: floating point `-0.0`, expected u32 at SetChargeLimit.percent"},
    {PowerOperation::kind, R"({"SetChargeLimit":{"percent":4294967296}})",
     "invalid value: integer `4294967296`, expected u32 at SetChargeLimit.percent"},
    {PowerOperation::kind, R"({"SetChargeLimit":{"percent":18446744073709551616}})",
     "expected u32 at SetChargeLimit.percent", false},
    {PowerOperation::kind, R"({"SetChargeLimit":{"percent":"80"}})",
     "invalid type: string \"80\", expected u32 at SetChargeLimit.percent"},
    {KeyboardSourceOperation::kind, R"({"MoveDown":{"index":-1}})",
     "invalid value: integer `-1`, expected u64 at MoveDown.index"},
    {DeviceMeshOperation::kind, R"({"SetWorkspace":{"id":1.5,"enabled":true}})",
     "invalid type: floating point `1.5`, expected u64 at SetWorkspace.id"},
    {DeviceMeshOperation::kind, R"({"SetWorkspace":{"id":18446744073709551616,"enabled":true}})",
     "invalid type: floating point", false},
    // Floats: absent, null, text and the words for non-finite numbers are refused, never read as 0.
    {DisplayOperation::kind, R"({"SetBrightness":{}})", "missing field `value` at SetBrightness"},
    {DisplayOperation::kind, R"({"SetBrightness":{"value":null}})",
     "invalid type: null, expected a number at SetBrightness.value"},
    {DisplayOperation::kind, R"({"SetBrightness":["0.5"]})",
     "invalid type: string \"0.5\", expected a number at SetBrightness.value"},
    {DisplayOperation::kind, R"({"SetBrightness":{"value":NaN}})", "syntax error", false},
    {DisplayOperation::kind, R"({"SetBrightness":{"value":Infinity}})", "syntax error", false},
    {DisplayOperation::kind, R"({"SetBrightness":{"value":1e400}})", "number overflow parsing '1e400' at line 1", false},
    // SettingValue.
    {SettingsAction::kind, R"({"SetSetting":{"key":"k","value":{"Int":5.0}}})",
     "invalid type: floating point `5.0`, expected i64 at SetSetting.value.Int"},
    {SettingsAction::kind, R"({"SetSetting":{"key":"k","value":{"Int":1e3}}})",
     "invalid type: floating point `1000.0`, expected i64 at SetSetting.value.Int"},
    {SettingsAction::kind, R"({"SetSetting":{"key":"k","value":{"Int":9223372036854775808}}})",
     "invalid value: integer `9223372036854775808`, expected i64 at SetSetting.value.Int"},
    {SettingsAction::kind, R"({"SetSetting":{"key":"a","value":"Text"}})",
     "invalid type: unit variant, expected newtype variant at SetSetting.value.Text"},
    {SettingsAction::kind, R"({"SetSetting":{"key":"a","value":{"Bool":"true"}}})",
     "invalid type: string \"true\", expected a boolean at SetSetting.value.Bool"},
    {SettingsAction::kind, R"({"SetSetting":{"key":"a","value":{"Text":"x","Bool":true}}})",
     "invalid type: map with 2 members, expected a single variant of SettingValue at SetSetting.value"},
    {SettingsAction::kind, R"({"SetSetting":{"key":"a","value":{"Float":null}}})",
     "invalid type: null, expected a number at SetSetting.value.Float"},
    // The display records.
    {DisplayOperation::kind, R"({"SetTransform":{"connector":"DP-1","transform":"Rotate90"}})",
     "unknown variant `Rotate90`, expected one of `normal`, `rotate90`, `rotate180`, `rotate270` "
     "at SetTransform.transform"},
    {DisplayOperation::kind, R"({"SetTransform":{"connector":"DP-1","transform":{"rotate90":1}}})",
     "invalid type: integer `1`, expected unit at SetTransform.transform.rotate90"},
    {DisplayOperation::kind, R"({"SetMode":{"connector":"DP-1","mode":{"width":1920,"height":1080}}})",
     "missing field `refresh_mhz` at SetMode.mode"},
    {DisplayOperation::kind, R"({"SetMode":{"connector":"DP-1","mode":{"width":-1920,"height":1080,"refresh_mhz":1}}})",
     "invalid value: integer `-1920`, expected u32 at SetMode.mode.width"},
    {DisplayOperation::kind, R"({"SetMode":{"connector":"DP-1","mode":[1920,1080]}})",
     "invalid length 2, expected struct OutputMode with 3 elements at SetMode.mode"},
    {DisplayOperation::kind, R"({"SetMode":{"connector":"DP-1","mode":"1080p"}})",
     "invalid type: string \"1080p\", expected struct OutputMode at SetMode.mode"},
    // Unknown variant names: the list names every variant of the vocabulary, in declaration order.
    {UpdateOperation::kind, R"("check")",
     "unknown variant `check`, expected one of `Check`, `Restart`, `ReviewRollback`, `Rollback`, `RefreshFirmware`, "
     "`InstallFirmware`, `SetAutomatic`, `SetSchedule`, `SetMetered`"},
    {KeyboardSourceOperation::kind, R"({"Append":{"label":"x"}})",
     "unknown variant `Append`, expected one of `Add`, `MoveUp`, `MoveDown`, `Remove`"},
    {InputOperation::kind, R"({"SetNaturalScroll":{"enabled":true}})",
     "unknown variant `SetNaturalScroll`, expected one of `SetTouchpadNaturalScroll`, `SetMouseNaturalScroll`, "
     "`SetTapToClick`, `SetTouchpadPointerSpeed`, `SetMousePointerSpeed`, `SetKeyRepeat`, `SetTapDrag`, "
     "`SetDisableWhileTyping`, `SetMiddleEmulation`, `SetLeftHanded`, `SetTouchpadGestures`, "
     "`SetAccelerationProfile`, `SetComposeKey`, `SetActiveSource`"},
    {TimeDateOperation::kind, R"("Sync")",
     "unknown variant `Sync`, expected one of `SetAutomaticTime`, `SetTimezone`, `SetHourCycle`"},
    {PowerOperation::kind, R"("Suspend")",
     "unknown variant `Suspend`, expected one of `SetChargeLimit`, `SetProfile`, `SetAutoSuspend`, "
     "`SetBlankTimeout`, `SetLockTimeout`, `SetSuspendTimeout`, `SetLidAction`, `SetPowerKeyAction`, "
     "`SetCriticalAction`"},
    {AccountOperation::kind, R"("Sync")",
     "unknown variant `Sync`, expected one of `Add`, `Open`, `Edit`, `Reauthenticate`, `SubmitForm`, `CancelForm`, "
     "`SubmitReauthentication`, `CancelReauthentication`, `Test`, `Remove`"},
    {NetworkOperation::kind, R"({"setwifienabled":{"enabled":true}})",
     "unknown variant `setwifienabled`, expected one of `Refresh`, `SetWifiEnabled`, `SetWiredEnabled`, "
     "`SetAirplaneMode`, `SetHotspot`, `SetMobileBroadband`, `RunDiagnostics`"},
    {BluetoothOperation::kind, R"("Scan")",
     "unknown variant `Scan`, expected one of `SetPowered`, `StartScan`, `Refresh`, `Pair`, `Connect`, `Disconnect`, "
     "`Forget`"},
    {StorageOperation::kind, R"("OpenFiles")",
     "unknown variant `OpenFiles`, expected one of `CleanupCaches`, `FreeSyncedFiles`, `OpenDisks`, `OpenBackups`"},
    {AudioOperation::kind, R"("Mute")",
     "unknown variant `Mute`, expected one of `SetOutputVolume`, `SetOutputMuted`, `SetInputVolume`, `SetBalance`, "
     "`SetMono`, `SetDeviceProfile`, `RouteStream`, `SetStreamVolume`, `SetStreamMuted`, `ToggleDiagnostics`, "
     "`TestChannel`, `ToggleMicrophoneMeter`, `SelectOutput`, `SelectInput`, `RoutePlayback`, `RouteRecording`"},
    {DisplayOperation::kind, R"("Reset")",
     "unknown variant `Reset`, expected one of `SetBrightness`, `SetAutoBrightness`, `SetNightLight`, "
     "`SetNightLightTemperature`, `SetScale`, `SetPrimary`, `SetOutputScale`, `SetPosition`, `SetMirror`, "
     "`SetModeLabel`, `SetTransformLabel`, `SetColorProfileLabel`, `SetEnabled`, `SetMode`, `SetTransform`, "
     "`SetHdr`, `SetVrr`, `SetColorProfile`, `Apply`, `Confirm`, `Revert`"},
    {PrinterOperation::kind, R"("Print")",
     "unknown variant `Print`, expected one of `Refresh`, `Discover`, `SetDefault`, `SetEnabled`, `Remove`, "
     "`CancelJob`, `RetryJob`"},
    {UserOperation::kind, R"("Add")", "unknown variant `Add`, expected one of `SetAdmin`, `SetAutologin`, `Remove`"},
    {AgentModelOperation::kind, R"("Pause")",
     "unknown variant `Pause`, expected one of `StageAccelerator`, `Install`, `Start`, `Stop`, `Retry`, `Remove`"},
    {DeviceMeshOperation::kind, R"("Pair")",
     "unknown variant `Pair`, expected one of `SetRole`, `SetReplication`, `SetService`, `SetWorkspace`"},
    {AgentProviderOperation::kind, R"("Test")",
     "unknown variant `Test`, expected one of `Add`, `SetProtocol`, `SetEnabled`, `Remove`, `SetDefault`, "
     "`SetDetails`"},
    {SettingsAction::kind, R"({"Set":{"key":"a","value":{"Bool":true}}})",
     "unknown variant `Set`, expected `SetSetting`"},
    {SettingsAction::kind, R"({"SetSetting":{"key":"a","value":{"Txt":"x"}}})",
     "unknown variant `Txt`, expected one of `Bool`, `Int`, `Float`, `Text` at SetSetting.value"},
    // Malformed JSON: the parser's message with its position.
    {UpdateOperation::kind, "", "parse error at line 1, column 1: syntax error while parsing value - unexpected end "
                                "of input",
     false},
    {UpdateOperation::kind, "   ", "unexpected end of input", false},
    {UpdateOperation::kind, R"({"Check":null}x)", "expected end of input", false},
    {UpdateOperation::kind, "\"Check\" \"Check\"", "expected end of input", false},
    {UpdateOperation::kind, R"({"Check":null,})", "syntax error", false},
    {NetworkOperation::kind, R"({"SetWifiEnabled":[true,]})", "syntax error", false},
    {NetworkOperation::kind, R"({"SetWifiEnabled":{"enabled":true,}})", "syntax error", false},
    {NetworkOperation::kind, R"({"SetWifiEnabled":{enabled:true}})", "syntax error", false},
    {NetworkOperation::kind, R"({"SetWifiEnabled" {"enabled":true}})", "syntax error", false},
    {PowerOperation::kind, R"({"SetChargeLimit":{"percent":080}})", "syntax error", false},
    {PowerOperation::kind, R"({"SetChargeLimit":{"percent":+80}})", "syntax error", false},
    {PowerOperation::kind, R"({"SetChargeLimit":{"percent":0x50}})", "syntax error", false},
    {NetworkOperation::kind,
     R"({"SetWifiEnabled":{"enabled":true,"x":)" + std::string(1000, '[') + std::string(999, ']') + "}}",
     "syntax error", false},
    {TimeDateOperation::kind, "{\"SetTimezone\":{\"timezone\":\"\xff\"}}", "ill-formed UTF-8 byte", false},
    {TimeDateOperation::kind, R"({"SetTimezone":{"timezone":"\ud800"}})", "surrogate", false},
    {TimeDateOperation::kind, "{\"SetTimezone\":{\"timezone\":\"a\nb\"}}", "control character", false},
    {TimeDateOperation::kind, R"({"SetTimezone":{"timezone":"\q"}})", "syntax error", false},
};

class RefusalTest : public testing::TestWithParam<Refused> {};

TEST_P(RefusalTest, RefusesWithAShortSentence)
{
    const Refused& row = GetParam();
    const auto decoded = decode_operation(row.kind, row.input);
    ASSERT_FALSE(decoded) << "decoded to " << testing::PrintToString(*decoded);
    if (row.exact) {
        EXPECT_EQ(decoded.error(), row.message);
    } else {
        EXPECT_THAT(decoded.error(), HasSubstr(row.message));
    }
    EXPECT_LE(decoded.error().size(), 400U);
    EXPECT_TRUE(nlohmann::json::accept(nlohmann::json(decoded.error()).dump(-1, ' ', false,
                                                                            nlohmann::json::error_handler_t::strict)))
        << "message is not valid UTF-8";
}

INSTANTIATE_TEST_SUITE_P(Payloads, RefusalTest, testing::ValuesIn(refused), row_name<Refused>);

TEST(Refusal, MessagesQuoteLongOrBrokenInputShortly)
{
    const std::string long_name(100000, 'x');
    auto decoded = decode_payload<UpdateOperation>('"' + long_name + '"');
    ASSERT_FALSE(decoded);
    EXPECT_THAT(decoded.error(), testing::StartsWith("unknown variant `xxxxxxxx"));
    EXPECT_LT(decoded.error().size(), 300U);

    // A long string with a broken byte at its end: the parser's message shows only the end, made printable.
    decoded = decode_payload<UpdateOperation>('"' + long_name + "\xff\"");
    ASSERT_FALSE(decoded);
    EXPECT_THAT(decoded.error(), HasSubstr("ill-formed UTF-8 byte"));
    EXPECT_LT(decoded.error().size(), 300U);
    EXPECT_NO_THROW((void)nlohmann::json(decoded.error()).dump());
}

TEST(Refusal, PayloadsOverOneMebibyteAreRefusedBeforeParsing)
{
    const std::string payload = R"({"Check":null})";
    std::string at_limit = payload + std::string(max_payload_bytes - payload.size(), ' ');
    ASSERT_EQ(at_limit.size(), 1048576U);
    EXPECT_TRUE(decode_payload<UpdateOperation>(at_limit));

    // One byte more is refused whatever it holds, even text that is not JSON at all.
    EXPECT_EQ(decode_payload<UpdateOperation>(at_limit + " "),
              std::unexpected("operation payload is too large (1048577 bytes; at most 1048576 are accepted)"));
    EXPECT_EQ(parse_device_local_operation(UpdateOperation::kind, std::string(max_payload_bytes + 1, '[')),
              std::unexpected("operation payload is too large (1048577 bytes; at most 1048576 are accepted)"));
}

TEST(Refusal, DeepAndWideSkippedMembersDecodeWithinTheLimit)
{
    // As deep as the size limit allows.
    const std::string deep = nested_arrays(500000);
    auto decoded = decode_payload<NetworkOperation>(R"({"SetWifiEnabled":{"enabled":true,"x":)" + deep + "}}");
    ASSERT_TRUE(decoded) << decoded.error();

    // Many distinct and many repeated unknown members: built in linear time.
    std::string wide = R"({"SetWifiEnabled":{)";
    for (int i = 0; i < 60000; ++i) {
        wide += "\"k" + std::to_string(i) + "\":0,\"r\":1,";
    }
    wide += R"("enabled":false}})";
    ASSERT_LE(wide.size(), max_payload_bytes);
    decoded = decode_payload<NetworkOperation>(wide);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(*decoded, NetworkOperation{NetworkOperation::SetWifiEnabled{false}});
}

// ---- The writer --------------------------------------------------------------------------------------------------

TEST(Writer, NonFiniteFloatsAreWrittenAsNullWhichNoReaderAccepts)
{
    for (const double value : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity()}) {
        const DisplayOperation operation = DisplayOperation::SetBrightness{value};
        const auto json = encode_payload(operation);
        ASSERT_TRUE(json) << json.error();
        EXPECT_EQ(*json, R"({"SetBrightness":{"value":null}})");
        EXPECT_TRUE(encode_payload_json(operation)["SetBrightness"]["value"].is_null());
        EXPECT_EQ(decode_payload<DisplayOperation>(*json),
                  std::unexpected("invalid type: null, expected a number at SetBrightness.value"));
        EXPECT_EQ(parse_device_local_operation(DisplayOperation::kind, *json),
                  std::unexpected("invalid type: null, expected a number at SetBrightness.value"));
    }
}

TEST(Writer, TextThatIsNotUtf8CannotBeWritten)
{
    const PrinterOperation operation = PrinterOperation::SetDefault{"Office\xff"};
    const auto json = encode_payload(operation);
    ASSERT_FALSE(json);
    EXPECT_THAT(json.error(), testing::StartsWith("payload text is not valid UTF-8"));
    // The operation key then has an empty JSON part, which no page takes for its own.
    EXPECT_EQ(encode_operation_payload(PrinterOperation::kind, operation), "settings.printer-operation:");
}

TEST(Writer, PrettyFormIndentsByTwoSpaces)
{
    const AudioOperation operation = AudioOperation::RouteStream{7, true, std::nullopt};
    EXPECT_EQ(encode_payload(operation, JsonStyle::Pretty), "{\n"
                                                            "  \"RouteStream\": {\n"
                                                            "    \"stream_id\": 7,\n"
                                                            "    \"playback\": true,\n"
                                                            "    \"device_id\": null\n"
                                                            "  }\n"
                                                            "}");
    EXPECT_EQ(encode_payload(UpdateOperation{UpdateOperation::Check{}}, JsonStyle::Pretty), R"("Check")");
}

TEST(Writer, JsonValueHasTheWrittenShape)
{
    const auto json = encode_payload_json(SettingsAction::set_setting("appearance.theme", SettingValue::Text("Dark")));
    ASSERT_TRUE(json.is_object());
    ASSERT_EQ(json.size(), 1U);
    EXPECT_EQ(json.begin().key(), "SetSetting");
    EXPECT_EQ(json.dump(), R"({"SetSetting":{"key":"appearance.theme","value":{"Text":"Dark"}}})");
}

// ---- Operation keys and kinds ------------------------------------------------------------------------------------

struct KeyCase {
    std::string kind;
    std::string payload;
    std::expected<std::string, std::string> key;
};

TEST(OperationKey, DeviceLocalOperationsComeBackInCanonicalForm)
{
    const std::vector<KeyCase> cases{
        {"settings.update-operation", R"("Check")", R"(settings.update-operation:"Check")"},
        {"settings.display-operation", " { \"SetNightLight\" : { \"enabled\" : true } }\n",
         R"(settings.display-operation:{"SetNightLight":{"enabled":true}})"},
        {"settings.power-operation", R"({"SetSuspendTimeout":{"label":"1 hour","x":[],"profile":"default"}})",
         R"(settings.power-operation:{"SetSuspendTimeout":{"profile":"default","label":"1 hour"}})"},
        {"settings.audio-operation", R"({"RouteStream":[3,false,null]})",
         R"(settings.audio-operation:{"RouteStream":{"stream_id":3,"playback":false,"device_id":null}})"},
        {"settings.device-mesh-operation", R"({"SetService":{"enabled":true,"service":"compute"}})",
         R"(settings.device-mesh-operation:{"SetService":{"service":"compute","enabled":true}})"},
        // Kinds are compared byte for byte; the other kinds are not device-local.
        {"Settings.display-operation", R"("Apply")", std::unexpected("unknown device-local operation type")},
        {"settings.display-operation ", R"("Apply")", std::unexpected("unknown device-local operation type")},
        {"settings.account-operation", R"("SubmitForm")", std::unexpected("unknown device-local operation type")},
        {"settings.agent-provider-operation", R"({"Add":{"protocol":"anthropic"}})",
         std::unexpected("unknown device-local operation type")},
        {"settings.action", R"({"SetSetting":{"key":"a","value":{"Bool":true}}})",
         std::unexpected("unknown device-local operation type")},
        {"settings.open-pane", R"("displays")", std::unexpected("unknown device-local operation type")},
        // A known kind reports the decoder's words, not an unknown kind.
        {"settings.network-operation", R"("Scan")",
         std::unexpected("unknown variant `Scan`, expected one of `Refresh`, `SetWifiEnabled`, `SetWiredEnabled`, "
                         "`SetAirplaneMode`, `SetHotspot`, `SetMobileBroadband`, `RunDiagnostics`")},
    };
    for (const KeyCase& c : cases) {
        EXPECT_EQ(parse_device_local_operation(c.kind, c.payload), c.key) << c.kind << " " << c.payload;
    }
    const auto empty = parse_device_local_operation("settings.storage-operation", "");
    ASSERT_FALSE(empty);
    EXPECT_THAT(empty.error(), HasSubstr("unexpected end of input"));
}

TEST(OperationKey, TheJsonPartOfAKeyDecodesToTheOperation)
{
    const auto key = parse_device_local_operation(UpdateOperation::kind, R"({"Check":null})");
    ASSERT_TRUE(key) << key.error();
    const std::string prefix = std::string(UpdateOperation::kind) + ":";
    ASSERT_TRUE(key->starts_with(prefix));
    EXPECT_EQ(decode_payload<UpdateOperation>(std::string_view(*key).substr(prefix.size())),
              UpdateOperation{UpdateOperation::Check{}});
}

TEST(OperationKinds, KindsAndVocabularies)
{
    EXPECT_EQ(handled_operation_kinds.front(), "settings.open-pane");
    EXPECT_EQ(handled_operation_kinds.back(), "settings.agent-provider-operation");
    for (const std::string_view kind : handled_operation_kinds) {
        const bool local = kind != "settings.open-pane" && kind != "settings.account-operation" &&
                           kind != "settings.agent-provider-operation";
        EXPECT_EQ(is_device_local_kind(kind), local) << kind;
    }
    EXPECT_FALSE(is_device_local_kind("settings.action"));

    const auto action = decode_operation("settings.action", R"({"SetSetting":["k",{"Bool":false}]})");
    ASSERT_TRUE(action) << action.error();
    EXPECT_EQ(*action, AnyOperation{SettingsAction::set_setting("k", SettingValue::Bool(false))});
    EXPECT_EQ(operation_kind(*action), "settings.action");
    EXPECT_EQ(decode_operation("settings.open-pane", R"("displays")"), std::unexpected("unknown operation type"));

    const auto local = decode_device_local_operation(StorageOperation::kind, R"("OpenDisks")");
    ASSERT_TRUE(local) << local.error();
    EXPECT_EQ(operation_kind(*local), "settings.storage-operation");
    EXPECT_EQ(decode_device_local_operation(AccountOperation::kind, R"("SubmitForm")"),
              std::unexpected("unknown device-local operation type"));
}

TEST(OpenPane, SectionIdIsAJsonString)
{
    EXPECT_EQ(encode_open_pane_payload("displays"), R"("displays")");
    EXPECT_EQ(decode_open_pane_payload(R"( "devices_sync" )"), "devices_sync");
    EXPECT_EQ(decode_open_pane_payload("5"), std::unexpected("invalid type: integer `5`, expected a string"));
    EXPECT_EQ(decode_open_pane_payload(R"({"id":"displays"})"),
              std::unexpected("invalid type: map, expected a string"));
    EXPECT_FALSE(decode_open_pane_payload(R"("displays" x)"));
}

TEST(Payloads, ByteSpansReadLikeText)
{
    const std::vector<std::uint8_t> bytes{'"', 'A', 'p', 'p', 'l', 'y', '"'};
    EXPECT_EQ(decode_payload<DisplayOperation>(payload_text(bytes)), DisplayOperation{DisplayOperation::Apply{}});
}

}  // namespace
}  // namespace settings::actions
