// What the tree does with large, odd or missing system data.
#include "actions/catalogue/catalogue.hpp"
#include "actions/catalogue/platform.hpp"
#include "actions/catalogue/sections.hpp"
#include "actions/catalogue/support.hpp"

#include <gtest/gtest.h>

#include <fmt/format.h>

namespace settings::actions::catalogue {
namespace {

std::string payload_for(const vorn_actions::ActionSpec& action, nlohmann::ordered_json args)
{
    auto encoded = action.build_json(args);
    return encoded ? encoded->payload : "refused: " + encoded.error().message();
}

TEST(Limits, LongObjectListsArePublishedUpTo256)
{
    auto platform = std::make_shared<FakePlatform>();
    std::vector<system_ops::bluez::BluetoothDevice> devices;
    std::vector<system_ops::printing::PrintQueue> queues;
    std::vector<system_ops::printing::PrintJob> jobs;
    config_sections::hardware::DisplayHardwareSnapshot snapshot;
    for (int i = 0; i < 300; ++i) {
        devices.push_back({.path = fmt::format("/org/bluez/hci0/dev_{}", i), .name = "Mouse"});
        system_ops::printing::PrintQueue queue;
        queue.name = fmt::format("Queue{}", i);
        queues.push_back(queue);
        system_ops::printing::PrintJob job;
        job.id = std::to_string(i);
        jobs.push_back(job);
        config_sections::hardware::OutputDescriptor output;
        output.connector = fmt::format("DP-{}", i);
        snapshot.outputs.push_back(output);
    }
    platform->bluetooth = devices;
    platform->queues = queues;
    platform->jobs = jobs;
    platform->displays = snapshot;
    ScopedPlatform scoped(platform);
    EXPECT_EQ(bluetooth_resource().children.size(), 256U);
    EXPECT_EQ(printers_resource().children.size(), 512U);
    const Resource displays = displays_resource();
    ASSERT_EQ(displays.children.size(), 256U);
    // Each output offers "Automatic" and four texts for each of the other 255 published outputs.
    EXPECT_EQ(displays.children[0].find_action("position")->params[0].choices.size(), 1U + 4U * 255U);
}

TEST(Limits, DeviceChoicesStopAt128AndALaterDeviceMatchesNothing)
{
    auto platform = std::make_shared<FakePlatform>();
    for (std::uint32_t id = 0; id < 130; ++id) {
        sound_graph::audio::AudioNode node;
        node.id = 100 + id;
        node.display_name = fmt::format("Output {}", id);
        platform->audio.sinks.push_back(node);
    }
    sound_graph::audio::AudioStream stream;
    stream.id = 7;
    platform->audio.playback_streams = {stream};
    ScopedPlatform scoped(platform);
    const Resource sound = sound_resource();
    const auto* output = sound.find_action("output-device");
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->params[0].choices.size(), 128U);
    EXPECT_EQ(payload_for(*output, {{"choice", "Output 127"}}), R"({"SelectOutput":{"device_id":227}})");
    EXPECT_EQ(payload_for(*output, {{"choice", "Output 128"}}), R"({"SelectOutput":{"device_id":4294967295}})");
    EXPECT_EQ(sound.find_action("input-device"), nullptr);  // no input devices

    const Resource* playback = find_resource_in(sound, "settings.audio-playback:7");
    ASSERT_NE(playback, nullptr);
    const auto* route = playback->find_action("route");
    EXPECT_EQ(route->params[0].choices.size(), 128U);  // "Default" and 127 devices
    EXPECT_EQ(payload_for(*route, {{"choice", "Output 127"}}),
              R"({"RouteStream":{"stream_id":7,"playback":true,"device_id":null}})");
}

TEST(Limits, SystemTextsAreCleanedAndBounded)
{
    auto platform = std::make_shared<FakePlatform>();
    platform->bluetooth = std::vector<system_ops::bluez::BluetoothDevice>{
        {.path = "/org/bluez/hci0/dev_1", .name = "Evil\x1b[31m\u202E name\n"},
        {.path = "/org/bluez/hci0/dev_2", .name = std::string(1000, 'x')},
        {.path = "/org/bluez/hci0/dev_\n3", .name = "Newline in the key"},
        {.path = "/org/bluez/hci0/dev_4", .address = "AA:BB", .name = "\x01\x02"},
    };
    ScopedPlatform scoped(platform);
    const Resource bluetooth = bluetooth_resource();
    ASSERT_EQ(bluetooth.children.size(), 3U);  // the key with a line feed is not published
    EXPECT_EQ(bluetooth.children[0].title, "Evil name");
    EXPECT_EQ(bluetooth.children[1].title, std::string(kLabelLimit, 'x'));
    EXPECT_EQ(bluetooth.children[2].title, "AA:BB");  // nothing left of the name
}

TEST(Limits, DistinctLabelsNumberTheRepeats)
{
    EXPECT_EQ(distinct_labels({"A", "B", "A", "A"}), (std::vector<std::string>{"A", "B", "A (2)", "A (3)"}));
    // A label that already reads like a numbered repeat is skipped over.
    EXPECT_EQ(distinct_labels({"A", "A (2)", "A"}), (std::vector<std::string>{"A", "A (2)", "A (3)"}));
}

TEST(ConditionalActions, FollowTheMachine)
{
    auto platform = std::make_shared<FakePlatform>();
    ScopedPlatform scoped(platform);
    page_doc::Document doc;
    const prefs::SettingsFile file;
    EXPECT_EQ(power_resource().find_action("set-charge-cap"), nullptr);
    const Resource plain = accessibility_resource(doc, file);
    for (const char* id : {"screen-reader", "speech-rate", "speech-voice", "on-screen-keyboard"}) {
        EXPECT_EQ(plain.find_action(id), nullptr) << id;
    }

    platform->charge = system_ops::battery::ChargeCapability{{80, 100}, 100};
    platform->screen_reader_engine = true;
    platform->on_screen_keyboard = true;
    const Resource power = power_resource();
    const auto* cap = power.find_action("set-charge-cap");
    ASSERT_NE(cap, nullptr);
    EXPECT_TRUE(cap->is_privileged);
    const Resource assisted = accessibility_resource(doc, file);
    for (const char* id : {"screen-reader", "speech-rate", "speech-voice", "on-screen-keyboard"}) {
        EXPECT_NE(assisted.find_action(id), nullptr) << id;
    }
}

TEST(CurrentValues, ComeFromTheDocumentThenTheSettingsFile)
{
    ScopedPlatform scoped(std::make_shared<FakePlatform>());
    page_doc::Document doc;
    prefs::SettingsFile file;
    file.appearance.theme = "Nord";
    file.appearance.ui_scale = 1.25;

    const Resource fresh = appearance_resource(doc, file);
    EXPECT_EQ(payload_for(*fresh.find_action("theme"), nlohmann::ordered_json::object()),
              R"({"SetSetting":{"key":"appearance.theme","value":{"Text":"Nord"}}})");
    EXPECT_EQ(payload_for(*fresh.find_action("ui_scale"), nlohmann::ordered_json::object()),
              R"({"SetSetting":{"key":"appearance.ui_scale","value":{"Text":"125%"}}})");
    EXPECT_EQ(fresh.find_action("high_contrast")->title, "Turn on high contrast");

    doc.put("appearance.theme", page_doc::ScalarValue(std::string("Light")));
    doc.put("appearance.high_contrast", page_doc::ScalarValue(true));
    const Resource edited = appearance_resource(doc, file);
    EXPECT_EQ(payload_for(*edited.find_action("theme"), nlohmann::ordered_json::object()),
              R"({"SetSetting":{"key":"appearance.theme","value":{"Text":"Light"}}})");
    EXPECT_EQ(edited.find_action("high_contrast")->title, "Turn off high contrast");

    // Spelling is on until the document says otherwise; the action then turns it on again.
    EXPECT_EQ(mouse_keyboard_resource(doc, file).find_action("spell-checking")->title,
              "Turn off spell checking while typing");
    doc.put("text.check_spelling", page_doc::ScalarValue(false));
    EXPECT_EQ(mouse_keyboard_resource(doc, file).find_action("spell-checking")->title,
              "Turn on spell checking while typing");

    // The date format falls back to a format the locale preferences take.
    EXPECT_EQ(payload_for(*region_formats_resource(page_doc::Document{}).find_action("date"),
                          nlohmann::ordered_json::object()),
              R"json({"SetSetting":{"key":"region.date_format","value":{"Text":"ISO (2023-03-15)"}}})json");
}

TEST(Keys, DefaultAppAndNotificationKeysFollowTheirIds)
{
    auto platform = std::make_shared<FakePlatform>();
    platform->default_kinds = {{"mime:text/html", "Web pages", {{"a", "Browser"}, {"c", "Browser"}, {"b", "Zed"}}, "c"}};
    platform->notification_app_list = {{"org.example.App", "App"}, {"bad id/with slash", "Bad"}};
    ScopedPlatform scoped(platform);
    page_doc::Document doc;
    const Resource apps = default_apps_resource(doc);
    ASSERT_EQ(apps.children.size(), 1U);
    const auto* handler = apps.children[0].find_action("set-handler");
    // Candidates are offered by the texts the page applies; two of one name stay apart.
    EXPECT_EQ(handler->params[0].choices,
              (std::vector<std::string>{"Browser \u2014 a", "Browser \u2014 c", "Zed \u2014 b"}));
    EXPECT_EQ(payload_for(*handler, nlohmann::ordered_json::object()),
              R"({"SetSetting":{"key":"default_apps.mime.text/html","value":{"Text":"Browser — c"}}})");
    EXPECT_EQ(payload_for(*handler, {{"choice", "Zed \u2014 b"}}),
              R"({"SetSetting":{"key":"default_apps.mime.text/html","value":{"Text":"Zed — b"}}})");

    const Resource notifications = notifications_resource(doc, prefs::SettingsFile{});
    ASSERT_EQ(notifications.children.size(), 1U);  // an id that cannot be a rule key is left out
    EXPECT_EQ(payload_for(*notifications.children[0].find_action("priority"), nlohmann::ordered_json::object()),
              R"({"SetSetting":{"key":"notifications.app.org.example.App.priority","value":{"Bool":true}}})");
}

}  // namespace
}  // namespace settings::actions::catalogue

namespace settings::actions::catalogue {
namespace {

// Bytes that are not UTF-8 never reach a payload: a label is repaired, a key that would name the wrong object is
// not published, and every published action still encodes.
TEST(Limits, TextsThatAreNotUtf8NeitherBreakNorVanishSilently)
{
    auto platform = std::make_shared<FakePlatform>();
    platform->bluetooth = std::vector<system_ops::bluez::BluetoothDevice>{
        {.path = "/org/bluez/hci0/dev_1", .name = "Caf\xe9 speaker"},
        {.path = "/org/bluez/hci0/dev_\xff", .name = "Bad key"},
    };
    system_ops::printing::PrintQueue queue;
    queue.name = "Queue\xc3";
    platform->queues = std::vector<system_ops::printing::PrintQueue>{queue};
    ScopedPlatform scoped(platform);
    const Resource bluetooth = bluetooth_resource();
    ASSERT_EQ(bluetooth.children.size(), 1U);
    EXPECT_EQ(bluetooth.children[0].title, "Caf\uFFFD speaker");
    EXPECT_TRUE(printers_resource().children.empty());
    for (const auto& action : bluetooth.children[0].actions) {
        EXPECT_TRUE(action.build_json(nlohmann::ordered_json::object())) << action.id;
    }
}

// The machine this test runs on, through the real system layers: whatever they find or fail to find, the tree has
// its 22 sections, each opening first.
TEST(SystemTree, BuildsOnThisMachine)
{
    ScopedPlatform scoped(std::make_shared<SystemPlatform>());
    page_doc::Document doc;
    const auto roots = build_root_resource(doc, {});
    ASSERT_EQ(roots.size(), 1U);
    ASSERT_EQ(roots[0].children.size(), 22U);
    for (const auto& section : roots[0].children) {
        ASSERT_FALSE(section.actions.empty());
        EXPECT_EQ(section.actions[0].id, "open");
    }
}

}  // namespace
}  // namespace settings::actions::catalogue

namespace settings::actions::catalogue {
namespace {

TEST(Limits, ARepeatedKeyIsPublishedOnce)
{
    auto platform = std::make_shared<FakePlatform>();
    platform->bluetooth = std::vector<system_ops::bluez::BluetoothDevice>{
        {.path = "/org/bluez/hci0/dev_1", .name = "First"},
        {.path = "/org/bluez/hci0/dev_1", .name = "Second"},
    };
    ScopedPlatform scoped(platform);
    const Resource bluetooth = bluetooth_resource();
    ASSERT_EQ(bluetooth.children.size(), 1U);
    EXPECT_EQ(bluetooth.children[0].title, "First");
}

}  // namespace
}  // namespace settings::actions::catalogue

namespace settings::actions::catalogue {
namespace {

// Found by the catalogue fuzz target: an output whose name is not UTF-8 used to put an unwritable text into the
// other outputs' position and mirror choices, whose operations then went out with an empty payload.
TEST(Limits, AnOutputWithABrokenNameLeavesTheOthersChoicesWritable)
{
    config_sections::hardware::OutputDescriptor good;
    good.connector = "DP-1";
    good.name = "Monitor";
    config_sections::hardware::OutputDescriptor broken;
    broken.connector = "DP-2";
    broken.name = "Caf\xe9";
    broken.color_profiles = {"bad"};
    broken.color_profile_catalogue = {{"bad", "Prof\xff"}};
    auto platform = std::make_shared<FakePlatform>();
    platform->displays = config_sections::hardware::DisplayHardwareSnapshot{{good, broken}};
    ScopedPlatform scoped(platform);
    page_doc::Document doc;
    const Resource displays = section_resource(Section::Displays, doc, prefs::SettingsFile{}, {});
    const Resource* first = find_resource_in(displays, "settings.display-output:DP-1");
    ASSERT_NE(first, nullptr);
    const auto* position = first->find_action("position");
    ASSERT_EQ(position->params[0].choices.size(), 5U);
    EXPECT_EQ(position->params[0].choices[1], "Left of Caf\uFFFD");
    for (const auto& choice : position->params[0].choices) {
        auto encoded = position->build_json({{"choice", choice}});
        ASSERT_TRUE(encoded) << choice;
        EXPECT_FALSE(encoded->payload.empty());
    }
    const Resource* second = find_resource_in(displays, "settings.display-output:DP-2");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->find_action("color-profile")->params[0].choices, (std::vector<std::string>{"System default"}));
    // A text that cannot be written is refused with a reason rather than sent with an empty payload.
    auto refused = second->find_action("mode")->build_json({{"choice", "Mode \xff"}});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind(), vorn_actions::ActionError::Kind::PayloadEncoding);
}

}  // namespace
}  // namespace settings::actions::catalogue
