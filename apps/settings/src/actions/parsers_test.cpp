// The argument parsers: arguments -> the operation they stand for (as "kind:payload"), and the parsers that stop the
// program when built outside their family.

#include "actions/parsers.hpp"
#include "actions/action_builders.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace settings::actions {
namespace {

using nlohmann::ordered_json;

struct ParserCase {
    std::string name;
    Parser parser;
    ordered_json args;
    std::string expected;  // kind ":" payload
};

std::string run(const Parser& parser, const ordered_json& args)
{
    const auto action = parser(vorn_actions::ActionArgs(args));
    if (!action) {
        return "refused: " + action.error().message();
    }
    return action->kind + ":" + action->payload;
}

const std::vector<ChoiceRecord> outputs{{"Speakers", 41}, {"Headphones", 42}, {"Headphones", 43}};

std::vector<ParserCase> parser_cases()
{
    const ordered_json none = ordered_json::object();
    auto value = [](auto v) { return ordered_json{{"value", v}}; };
    auto choice = [](std::string c) { return ordered_json{{"choice", std::move(c)}}; };
    auto percent = [](std::string p) { return ordered_json{{"percent", std::move(p)}}; };
    const std::string power = "settings.power-operation:";
    const std::string audio = "settings.audio-operation:";
    const std::string display = "settings.display-operation:";
    const std::string input = "settings.input-operation:";
    const std::string time = "settings.time-date-operation:";
    const std::string mesh = "settings.device-mesh-operation:";
    return {
        // Power
        {"auto suspend on", power_auto_suspend_parser(), value(true), power + R"({"SetAutoSuspend":{"enabled":true}})"},
        {"auto suspend absent", power_auto_suspend_parser(), none, power + R"({"SetAutoSuspend":{"enabled":false}})"},
        {"lid", power_action_parser("lid"), choice("Suspend"), power + R"({"SetLidAction":{"action":"Suspend"}})"},
        {"power key", power_action_parser("power-key"), choice("Do nothing"),
         power + R"({"SetPowerKeyAction":{"action":"Do nothing"}})"},
        {"unexpected power selector", power_action_parser("other"), choice("Suspend"),
         power + R"({"SetCriticalAction":{"action":"Suspend"}})"},
        {"profile", power_choice_parser("active"), choice("Power Saver"),
         power + R"({"SetProfile":{"profile":"Power Saver"}})"},
        {"blank", power_choice_parser("blank"), choice("5 minutes"),
         power + R"({"SetBlankTimeout":{"label":"5 minutes"}})"},
        {"lock", power_choice_parser("lock"), none, power + R"({"SetLockTimeout":{"label":""}})"},
        {"suspend after", power_choice_parser("default"), choice("15 minutes"),
         power + R"({"SetSuspendTimeout":{"profile":"default","label":"15 minutes"}})"},
        {"charge cap 80%%", charge_limit_parser(100), percent("80%%"), power + R"({"SetChargeLimit":{"percent":80}})"},
        {"charge cap +80%", charge_limit_parser(100), percent("+80%"), power + R"({"SetChargeLimit":{"percent":80}})"},
        {"charge cap leading space", charge_limit_parser(100), percent(" 80%"),
         power + R"({"SetChargeLimit":{"percent":100}})"},
        {"charge cap letters", charge_limit_parser(90), percent("eighty"),
         power + R"({"SetChargeLimit":{"percent":90}})"},
        {"charge cap negative", charge_limit_parser(90), percent("-1"), power + R"({"SetChargeLimit":{"percent":90}})"},
        {"charge cap overflow", charge_limit_parser(90), percent("4294967296"),
         power + R"({"SetChargeLimit":{"percent":90}})"},
        {"charge cap absent", charge_limit_parser(90), none, power + R"({"SetChargeLimit":{"percent":90}})"},
        // Sound
        {"mute", output_muted_parser(), value(true), audio + R"({"SetOutputMuted":{"muted":true}})"},
        {"mono", mono_parser(), value(false), audio + R"({"SetMono":{"enabled":false}})"},
        {"volume", output_volume_parser(), value(0.5), audio + R"({"SetOutputVolume":{"value":0.5}})"},
        // A number is never made up: absent, null and non-finite numbers are refused, not read as 0.
        {"input volume absent", input_volume_parser(), none, R"(refused: "value" must be a finite number)"},
        {"balance null", balance_parser(), ordered_json{{"value", nullptr}}, R"(refused: "value" must be a finite number)"},
        {"volume not a number", output_volume_parser(), value("0.5"), R"(refused: "value" must be a finite number)"},
        {"stream volume infinite", stream_volume_parser(9), value(std::numeric_limits<double>::infinity()),
         R"(refused: "value" must be a finite number)"},
        {"brightness NaN", brightness_parser(), value(std::numeric_limits<double>::quiet_NaN()),
         R"(refused: "value" must be a finite number)"},
        {"pointer speed absent", input_level_parser(InputOperation::SetMousePointerSpeed{}), none,
         R"(refused: "value" must be a finite number)"},
        {"output device", output_device_parser(outputs), choice("Headphones"),
         audio + R"({"SelectOutput":{"device_id":42}})"},
        {"output device unknown", output_device_parser(outputs), choice("speakers"),
         audio + R"({"SelectOutput":{"device_id":4294967295}})"},
        {"input device", input_device_parser(outputs), choice("Speakers"), audio + R"({"SelectInput":{"device_id":41}})"},
        {"page dropdown other selector", audio_device_choice_parser("input", outputs), choice("Speakers"),
         audio + R"({"SelectInput":{"device_id":41}})"},
        {"profile", device_profile_parser(7, {{"Analog Stereo", 1}, {"HDMI", 2}}), choice("HDMI"),
         audio + R"({"SetDeviceProfile":{"device_id":7,"profile_index":2}})"},
        {"profile unknown", device_profile_parser(7, {}), choice("HDMI"),
         audio + R"({"SetDeviceProfile":{"device_id":7,"profile_index":4294967295}})"},
        {"route", stream_route_parser(9, true, outputs), choice("Speakers"),
         audio + R"({"RouteStream":{"stream_id":9,"playback":true,"device_id":41}})"},
        {"route default", stream_route_parser(9, false, {{"Default", 5}}), choice("Default"),
         audio + R"({"RouteStream":{"stream_id":9,"playback":false,"device_id":null}})"},
        {"route unknown", stream_route_parser(9, true, outputs), choice("Bluetooth"),
         audio + R"({"RouteStream":{"stream_id":9,"playback":true,"device_id":null}})"},
        {"stream volume", stream_volume_parser(9), value(0.25),
         audio + R"({"SetStreamVolume":{"stream_id":9,"value":0.25}})"},
        {"stream muted", stream_muted_parser(9), value(true), audio + R"({"SetStreamMuted":{"stream_id":9,"muted":true}})"},
        // Network, Bluetooth, Updates
        {"wifi absent", wifi_parser(), none, R"(settings.network-operation:{"SetWifiEnabled":{"enabled":false}})"},
        {"wifi wrong type", wifi_parser(), value("yes"),
         R"(settings.network-operation:{"SetWifiEnabled":{"enabled":false}})"},
        {"bluetooth", bluetooth_power_parser(), value(true),
         R"(settings.bluetooth-operation:{"SetPowered":{"enabled":true}})"},
        {"automatic updates", update_automatic_parser(), value(true),
         R"(settings.update-operation:{"SetAutomatic":{"enabled":true}})"},
        {"metered", update_metered_parser(), value(true), R"(settings.update-operation:{"SetMetered":{"allowed":true}})"},
        {"schedule", update_schedule_parser(), choice("Weekly"),
         R"(settings.update-operation:{"SetSchedule":{"schedule":"Weekly"}})"},
        // Displays
        {"auto brightness", auto_brightness_parser(), value(true), display + R"({"SetAutoBrightness":{"enabled":true}})"},
        {"night light", night_light_parser(), value(true), display + R"({"SetNightLight":{"enabled":true}})"},
        {"warmth", night_light_temperature_parser(), choice("Warm \u00b7 3700 K"),
         display + "{\"SetNightLightTemperature\":{\"label\":\"Warm \u00b7 3700 K\"}}"},
        {"scale", display_scale_parser(), choice("125%"), display + R"({"SetScale":{"label":"125%"}})"},
        {"brightness unclamped", brightness_parser(), value(1.7), display + R"({"SetBrightness":{"value":1.7}})"},
        {"brightness integer", brightness_parser(), value(1), display + R"({"SetBrightness":{"value":1.0}})"},
        {"output enabled", output_switch_parser("HDMI-A-1", OutputSwitch::Enabled), value(true),
         display + R"({"SetEnabled":{"connector":"HDMI-A-1","enabled":true}})"},
        {"output primary", output_switch_parser("eDP-1", OutputSwitch::Primary), value(true),
         display + R"({"SetPrimary":{"connector":"eDP-1","primary":true}})"},
        {"output hdr", output_switch_parser("eDP-1", OutputSwitch::Hdr), none,
         display + R"({"SetHdr":{"connector":"eDP-1","enabled":false}})"},
        {"output vrr", output_switch_parser("eDP-1", OutputSwitch::Vrr), value(true),
         display + R"({"SetVrr":{"connector":"eDP-1","enabled":true}})"},
        {"output scale", output_choice_parser("eDP-1", "scale"), choice("150%"),
         display + R"({"SetOutputScale":{"connector":"eDP-1","label":"150%"}})"},
        {"output position", output_choice_parser("eDP-1", "position"), choice("Left of DP-2"),
         display + R"({"SetPosition":{"connector":"eDP-1","label":"Left of DP-2"}})"},
        {"output mirror", output_choice_parser("eDP-1", "mirror"), choice("Extend workspace"),
         display + R"({"SetMirror":{"connector":"eDP-1","label":"Extend workspace"}})"},
        {"output mode", output_choice_parser("eDP-1", "mode"), choice("1920 \u00d7 1080"),
         display + "{\"SetModeLabel\":{\"connector\":\"eDP-1\",\"label\":\"1920 \u00d7 1080\"}}"},
        {"output transform", output_choice_parser("eDP-1", "transform"), choice("Portrait left"),
         display + R"({"SetTransformLabel":{"connector":"eDP-1","label":"Portrait left"}})"},
        {"output colour profile", output_choice_parser("eDP-1", "color-profile"), none,
         display + R"({"SetColorProfileLabel":{"connector":"eDP-1","label":""}})"},
        // Mouse & Keyboard
        {"tap to click", input_switch_parser(InputOperation::SetTapToClick{}), value(true),
         input + R"({"SetTapToClick":{"enabled":true}})"},
        {"left handed", input_switch_parser(InputOperation::SetLeftHanded{true}), value(false),
         input + R"({"SetLeftHanded":{"enabled":false}})"},
        {"pointer speed above", input_level_parser(InputOperation::SetMousePointerSpeed{}), value(1.7),
         input + R"({"SetMousePointerSpeed":{"value":1.0}})"},
        {"pointer speed below", input_level_parser(InputOperation::SetTouchpadPointerSpeed{}), value(-0.2),
         input + R"({"SetTouchpadPointerSpeed":{"value":0.0}})"},
        {"key repeat", input_level_parser(InputOperation::SetKeyRepeat{}), value(0.3),
         input + R"({"SetKeyRepeat":{"value":0.3}})"},
        {"compose key", input_choice_parser(&make_compose_key, "Disabled"), ordered_json{{"choice", "Right Alt"}},
         input + R"({"SetComposeKey":{"key":"Right Alt"}})"},
        {"acceleration absent", input_choice_parser(&make_acceleration_profile, "Adaptive"), none,
         input + R"({"SetAccelerationProfile":{"profile":"Adaptive"}})"},
        {"active source", input_choice_parser(&make_active_source, "English (US)"), choice("German"),
         input + R"({"SetActiveSource":{"label":"German"}})"},
        {"add source", add_source_parser("English (US)"), ordered_json{{"label", "French"}},
         R"(settings.keyboard-source-operation:{"Add":{"label":"French"}})"},
        {"add source absent", add_source_parser("English (US)"), none,
         R"x(settings.keyboard-source-operation:{"Add":{"label":"English (US)"}})x"},
        // Time & Date
        {"automatic time", time_switch_parser(TimeDateOperation::SetAutomaticTime{}), value(true),
         time + R"({"SetAutomaticTime":{"enabled":true}})"},
        {"24-hour", time_switch_parser(TimeDateOperation::SetHourCycle{}), value(true),
         time + R"({"SetHourCycle":{"h24":true}})"},
        {"timezone absent", timezone_parser(), none, time + R"({"SetTimezone":{"timezone":"UTC"}})"},
        {"timezone", timezone_parser(), choice("Europe/Berlin"), time + R"({"SetTimezone":{"timezone":"Europe/Berlin"}})"},
        // Devices & Sync
        {"role", mesh_choice_parser(&make_mesh_role), choice("Always-on server"),
         mesh + R"({"SetRole":{"role":"Always-on server"}})"},
        {"replication", mesh_choice_parser(&make_mesh_replication), choice("On demand"),
         mesh + R"({"SetReplication":{"replication":"On demand"}})"},
        {"service", mesh_service_parser("continuity.clipboard"), value(true),
         mesh + R"({"SetService":{"service":"continuity.clipboard","enabled":true}})"},
        {"workspace", workspace_available_parser(18446744073709551615ULL), value(true),
         mesh + R"({"SetWorkspace":{"id":18446744073709551615,"enabled":true}})"},
        // Agent Models
        {"provider details", provider_details_parser("p1"),
         ordered_json{{"label", "Lab"}, {"endpoint", "https://ai.example"}, {"model", "m-1"}},
         R"(settings.agent-provider-operation:{"SetDetails":{"id":"p1","label":"Lab","endpoint":"https://ai.example","model":"m-1"}})"},
        {"provider details absent", provider_details_parser("p1"), none,
         R"(settings.agent-provider-operation:{"SetDetails":{"id":"p1","label":"","endpoint":"","model":null}})"},
    };
}

TEST(Parsers, ArgumentsToOperations)
{
    for (const ParserCase& c : parser_cases()) {
        EXPECT_EQ(run(c.parser, c.args), c.expected) << c.name;
    }
}

TEST(Parsers, ChargePercentReadingRule)
{
    const std::vector<std::pair<std::string_view, std::optional<std::uint32_t>>> cases{
        {"80", 80},      {"80%", 80},       {"80%%", 80}, {"+80", 80},      {"0", 0},
        {"4294967295", 4294967295U},        {"", {}},     {"%", {}},        {"+", {}},
        {" 80", {}},     {"80 %", {}},      {"8O", {}},   {"-0", {}},       {"++8", {}},
        {"4294967296", {}},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parse_charge_percent(text), expected) << text;
    }
}

TEST(ParsersDeathTest, TemplatesOutsideTheirFamilyStopTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH((void)output_choice_parser("eDP-1", "brightness"),
                 "internal error: entered unreachable code: action id is validated before constructing the closure");
    EXPECT_DEATH((void)input_switch_parser(InputOperation::SetKeyRepeat{}),
                 "internal error: entered unreachable code: input bool resources only contain boolean operations");
    EXPECT_DEATH((void)input_level_parser(InputOperation::SetTapDrag{}),
                 "internal error: entered unreachable code: input number resources only contain numeric operations");
    EXPECT_DEATH((void)input_level_parser(InputOperation::SetComposeKey{}),
                 "input number resources only contain numeric operations");
    EXPECT_DEATH((void)time_switch_parser(TimeDateOperation::SetTimezone{}),
                 "internal error: entered unreachable code: time boolean resource must be boolean");
}

}  // namespace
}  // namespace settings::actions
