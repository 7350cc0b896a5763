#include "actions/catalogue/bindings.hpp"
#include "actions/catalogue/platform.hpp"
#include "actions/catalogue/sections.hpp"
#include "actions/catalogue/test_support.hpp"
#include "actions/payloads/codec.hpp"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <cmath>
#include <limits>

namespace settings::actions::catalogue {
namespace {

class Bindings : public ::testing::Test {
protected:
    ScopedPlatform platform_{std::make_shared<FakePlatform>(FakePlatform::sample())};
    page_doc::Document doc_;

    // The action of that address in the whole tree the application publishes.
    const vorn_actions::ActionSpec* published(std::string_view resource_id, std::string_view action_id)
    {
        tree_ = build_root_resource(doc_, {}).at(0);
        const Resource* resource = find_resource_in(tree_, resource_id);
        return resource != nullptr ? resource->find_action(action_id) : nullptr;
    }

    Resource tree_;
};

template <class T>
std::string payload_of(const ActionBinding<T>& binding, T value)
{
    auto invocation = binding.invoke(std::move(value));
    if (!invocation) {
        return "refused: " + invocation.error().message();
    }
    auto encoded = binding.spec().build_json(invocation->arguments.json());
    return encoded ? encoded->payload : "refused: " + encoded.error().message();
}

// A binding names the resource and action of the published tree and carries the same specification.
TEST_F(Bindings, BindTheActionsThePublishedTreeHolds)
{
    struct Row {
        std::string resource_id;
        std::string action_id;
        std::function<std::optional<vorn_actions::ActionSpec>()> bound;
    };
    auto spec_of = [](const auto& binding) -> std::optional<vorn_actions::ActionSpec> {
        if (!binding) {
            return std::nullopt;
        }
        return binding->spec();
    };
    const std::vector<Row> rows{
        {"settings.section:displays", "brightness", [&] { return spec_of(brightness_binding("brightness")); }},
        {"settings.section:displays", "night_light", [&] { return spec_of(display_toggle_binding("night_light")); }},
        {"settings.section:displays", "apply", [&] { return spec_of(display_unit_binding("apply")); }},
        {"settings.section:sound", "volume", [&] { return spec_of(sound_slider_binding("volume")); }},
        {"settings.section:sound", "mono", [&] { return spec_of(sound_toggle_binding("mono")); }},
        {"settings.section:sound", "test-left", [&] { return spec_of(sound_unit_binding("test-left")); }},
        {"settings.section:power", "lid", [&] { return spec_of(power_choice_binding("lid")); }},
        {"settings.section:power", "auto_suspend", [&] { return spec_of(power_toggle_binding("auto_suspend")); }},
        {"settings.section:power", "set-charge-cap", [&] { return spec_of(charge_limit_binding({60, 80, 100}, 80)); }},
        {"settings.section:mouse_keyboard", "key-repeat",
         [&] { return spec_of(mouse_keyboard_slider_binding("key-repeat")); }},
        {"settings.section:mouse_keyboard", "add-source",
         [&] { return spec_of(mouse_keyboard_choice_binding("add-source")); }},
        {"settings.section:network", "wifi", [&] { return spec_of(network_toggle_binding("wifi")); }},
        {"settings.section:bluetooth", "bluetooth", [&] { return spec_of(bluetooth_toggle_binding("bluetooth")); }},
        {"settings.section:updates", "schedule", [&] { return spec_of(updates_choice_binding()); }},
        {"settings.section:updates", "rollback", [&] { return spec_of(updates_unit_binding("rollback")); }},
        {"settings.section:time_date", "timezone", [&] { return spec_of(time_zone_binding()); }},
        {"settings.section:devices_sync", "role", [&] { return spec_of(device_mesh_choice_binding("role")); }},
        {"settings.section:devices_sync", "continuity-media",
         [&] { return spec_of(device_mesh_toggle_binding("continuity-media")); }},
        {"settings.device-mesh-workspace:9", "set-available", [&] { return spec_of(workspace_availability_binding(9)); }},
        {"settings.input-source:de", "remove", [&] { return spec_of(input_source_binding("de", "remove")); }},
        {"settings.display-output:DP-1", "hdr", [&] { return spec_of(display_output_toggle_binding("DP-1", "x", "hdr")); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.resource_id + "#" + row.action_id);
        auto bound = row.bound();
        ASSERT_TRUE(bound);
        const auto* expected = published(row.resource_id, row.action_id);
        ASSERT_NE(expected, nullptr);
        Resource left("r", "k", "t");
        left.actions.push_back(*bound);
        Resource right("r", "k", "t");
        right.actions.push_back(*expected);
        EXPECT_EQ(testing::dump_tree(left), testing::dump_tree(right));
    }
    auto brightness = brightness_binding("brightness");
    ASSERT_TRUE(brightness);
    EXPECT_EQ(brightness->resource_id(), "settings.section:displays");
    EXPECT_EQ(brightness->action_id(), "brightness");
}

TEST_F(Bindings, RoutinesForKnownIdsAnswerNoneForOthers)
{
    EXPECT_FALSE(sound_toggle_binding("volume"));
    EXPECT_TRUE(sound_slider_binding("volume"));
    EXPECT_EQ(sound_slider_binding("volume")->resource_id(), "settings.section:sound");
    EXPECT_FALSE(display_toggle_binding("brightness"));
    EXPECT_FALSE(brightness_binding("night_light"));
    EXPECT_FALSE(display_output_toggle_binding("DP-1", "Monitor", "mode"));
    EXPECT_FALSE(display_output_choice_binding("DP-1", "Monitor", "hdr", {"On"}));
    EXPECT_FALSE(audio_device_choice_binding("route", {{"Speakers", 1}}));
    EXPECT_FALSE(input_source_binding("fr", "remove"));
    EXPECT_FALSE(workspace_availability_binding(404));
}

TEST_F(Bindings, AbsentOrNonFiniteLevelsAreRefusedNotReadAsZero)
{
    auto brightness = brightness_binding("brightness");
    ASSERT_TRUE(brightness);
    EXPECT_EQ(payload_of(*brightness, 0.25), R"({"SetBrightness":{"value":0.25}})");
    auto refused = brightness->invoke(std::numeric_limits<double>::quiet_NaN());
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message(), "brightness needs a number for value, and none was given");
    auto empty = brightness->spec().build_json(nlohmann::ordered_json::object());
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.error().message(), "brightness needs a number for value, and none was given");
}

TEST_F(Bindings, DeviceChoicesAreBoundAsFarAsTheyArePublished)
{
    EXPECT_FALSE(audio_device_choice_binding("output-device", {}));

    std::vector<ChoiceRecord> devices;
    for (std::uint32_t id = 0; id < 129; ++id) {
        devices.push_back({fmt::format("Device {}", id), 1000 + id});
    }
    auto exactly = audio_device_choice_binding("output-device", {devices.begin(), devices.begin() + 128});
    ASSERT_TRUE(exactly);
    EXPECT_EQ(exactly->spec().params.at(0).choices.size(), 128U);
    // One more than fits: bound with the first 128 instead of failing the page.
    auto more = audio_device_choice_binding("output-device", devices);
    ASSERT_TRUE(more);
    EXPECT_EQ(more->spec().params.at(0).choices.size(), 128U);
    EXPECT_EQ(payload_of(*more, std::string("Device 128")), R"({"SelectOutput":{"device_id":4294967295}})");
}

TEST_F(Bindings, TwoDevicesWithOneLabelStaySelectable)
{
    const std::vector<ChoiceRecord> headsets{{"Headset", 41}, {"Headset", 42}};
    const auto shown = distinct_choice_records(headsets);
    ASSERT_EQ(shown.size(), 2U);
    EXPECT_EQ(shown[0].label, "Headset");
    EXPECT_EQ(shown[1].label, "Headset (2)");
    auto binding = audio_device_choice_binding("output-device", headsets);
    ASSERT_TRUE(binding);
    EXPECT_EQ(payload_of(*binding, std::string("Headset")), R"({"SelectOutput":{"device_id":41}})");
    EXPECT_EQ(payload_of(*binding, std::string("Headset (2)")), R"({"SelectOutput":{"device_id":42}})");

    auto route = stream_route_binding(70, true, "Music", headsets);
    ASSERT_TRUE(route);
    EXPECT_EQ(route->resource_id(), "settings.audio-playback:70");
    EXPECT_EQ(payload_of(*route, std::string("Headset (2)")),
              R"({"RouteStream":{"stream_id":70,"playback":true,"device_id":42}})");
    EXPECT_EQ(payload_of(*route, std::string("Default")),
              R"({"RouteStream":{"stream_id":70,"playback":true,"device_id":null}})");
}

TEST_F(Bindings, AnOutputWithManyModesBindsTheFirst128)
{
    std::vector<std::string> modes;
    for (int i = 0; i < 200; ++i) {
        modes.push_back(fmt::format("Mode {}", i));
    }
    auto binding = display_output_choice_binding("DP-1", "Monitor", "mode", modes);
    ASSERT_TRUE(binding);
    EXPECT_EQ(binding->resource_id(), "settings.display-output:DP-1");
    EXPECT_EQ(binding->spec().params.at(0).choices.size(), 128U);
    EXPECT_EQ(payload_of(*binding, std::string("Mode 3")),
              R"({"SetModeLabel":{"connector":"DP-1","label":"Mode 3"}})");
    EXPECT_FALSE(display_output_choice_binding("DP-1", "Monitor", "mode", {}));
}

TEST_F(Bindings, ChargeCapIsPrivilegedAndReadsPercentages)
{
    auto binding = charge_limit_binding({60, 80, 100}, 80);
    ASSERT_TRUE(binding);
    EXPECT_TRUE(binding->spec().is_privileged);
    EXPECT_EQ(payload_of(*binding, std::string("60%")), R"({"SetChargeLimit":{"percent":60}})");
    EXPECT_EQ(payload_of(*binding, std::string("most")), R"({"SetChargeLimit":{"percent":80}})");
}

TEST_F(Bindings, MouseKeyboardChoicesUseTheActionsParameterName)
{
    auto add = mouse_keyboard_choice_binding("add-source");
    ASSERT_TRUE(add);
    EXPECT_EQ(add->arguments("German"), (nlohmann::ordered_json{{"label", "German"}}));
    auto compose = mouse_keyboard_choice_binding("compose-key");
    ASSERT_TRUE(compose);
    EXPECT_EQ(compose->arguments("Menu"), (nlohmann::ordered_json{{"choice", "Menu"}}));
    auto remove = input_source_binding("de", "remove");
    ASSERT_TRUE(remove);
    EXPECT_EQ(payload_of(*remove, Unit{}), R"({"Remove":{"index":1}})");
}

TEST_F(Bindings, AgentProviderButtonsBindWithAndWithoutAProvider)
{
    const Resource agents = agent_models_resource();
    EXPECT_TRUE(agent_provider_unit_binding(agents, std::nullopt, "add-anthropic"));
    auto enable = agent_provider_unit_binding(agents, "lab", "enable");
    ASSERT_TRUE(enable);
    EXPECT_EQ(enable->resource_id(), "settings.agent-provider:lab");
    EXPECT_EQ(payload_of(*enable, Unit{}), R"({"SetEnabled":{"id":"lab","enabled":true}})");
    EXPECT_FALSE(agent_provider_unit_binding(agents, "lab", "disable"));      // it is disabled now
    EXPECT_FALSE(agent_provider_unit_binding(agents, "lab", "set-details"));  // takes parameters
    EXPECT_FALSE(agent_provider_unit_binding(agents, "local-vllm", "enable"));
}

TEST_F(Bindings, ExternalAccountActionsCarryTheirFlags)
{
    auto remove = external_account_binding("settings.account:mail-1", "Work mail", "remove",
                                           "Remove from this device", 1,
                                           AccountOperation(AccountOperation::Remove{"mail-1"}), true);
    ASSERT_TRUE(remove);
    EXPECT_TRUE(remove->spec().is_destructive);
    EXPECT_EQ(remove->resource_id(), "settings.account:mail-1");
    auto save = external_account_binding("settings.section:external_accounts", "External Accounts", "save-form",
                                         "Save account", 1, AccountOperation(AccountOperation::SubmitForm{}), false);
    ASSERT_TRUE(save);
    EXPECT_FALSE(save->spec().is_destructive);
    EXPECT_EQ(payload_of(*save, Unit{}), R"("SubmitForm")");

    account_registry::Account files("dav-1", "webdav");
    const Resource resource = external_account_resource(files);
    EXPECT_EQ(resource.kind, "settings.external-account");
    EXPECT_EQ(resource.title, "dav-1");
    ASSERT_NE(resource.find_action("test"), nullptr);
    EXPECT_EQ(resource.find_action("test")->title, "Verify sign-in");
    EXPECT_TRUE(resource.find_action("remove")->is_destructive);
}

}  // namespace
}  // namespace settings::actions::catalogue
