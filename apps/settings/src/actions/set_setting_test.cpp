// The set-setting action: key and value -> what the page document holds afterwards, or the refusal; the producing
// builders; the registered decoder; and typed dispatch through the toolkit's action host.

#include "actions/set_setting.hpp"

#include "page_doc/page_doc.hpp"
#include "vorn_actions/application.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/actions/action_host.hpp"
#include "vorn_ui/actions/action_records.hpp"

#include "test_support/temp_home.hpp"

#include <gtest/gtest.h>
#include <spdlog/sinks/null_sink.h>

#include <string>
#include <vector>

namespace settings::actions {
namespace {

using nlohmann::ordered_json;
using vorn_actions::ActionArgs;
using vorn_actions::EncodedAction;

const std::string refusal = "settings target is stale, unknown, or has an invalid value: ";

struct SetCase {
    std::string key;
    SettingValue value;
    bool written;
};

std::vector<SetCase> set_cases()
{
    const std::string app160(160, 'a');
    const auto text = [](std::string t) { return SettingValue::Text(std::move(t)); };
    const auto on = SettingValue::Bool(true);
    return {
        // Fixed text keys: 1 to 1024 bytes.
        {"appearance.theme", text("Light"), true},
        {"appearance.theme", text(""), false},
        {"appearance.theme", text(std::string(1024, 'x')), true},
        {"appearance.theme", text(std::string(1025, 'x')), false},
        {"appearance.theme", on, false},
        {"region.first_day", text("Monday"), true},
        {"a11y.reader_voice", text("Default"), true},
        {"notifications.focus.days", text("Mon-Fri"), true},
        // Fixed boolean keys.
        {"a11y.screen_reader", on, true},
        {"a11y.screen_reader", text("true"), false},
        {"shortcuts.vim_mode", on, true},
        {"notifications.focus.enabled", on, true},
        {"text.auto_correct", on, true},
        // No key takes a number.
        {"appearance.text_size", SettingValue::Int(2), false},
        {"a11y.high_contrast", SettingValue::Float(1.0), false},
        {"notifications.app.org.example.Mail.banners", SettingValue::Int(1), false},
        // Shortcut keys: exactly the catalogue's ids.
        {"shortcuts.search", text("Super+K"), true},
        {"shortcuts.search.edit", text("Super+K"), false},
        {"shortcuts.Search", text("Super+K"), false},
        {"shortcuts.next", text("Super+K"), false},
        {"shortcuts.search", on, false},
        // Default applications: any kind without an edit or error suffix.
        {"default_apps.web", text("firefox.desktop"), true},
        {"default_apps.web.edit", text("firefox.desktop"), false},
        {"default_apps.web.error", text("firefox.desktop"), false},
        {"default_apps.web", on, false},
        // Notification rules: split at the last dot; app ids of 1 to 160 bytes of [0-9A-Za-z._-].
        {"notifications.app.org.example.Mail.banners", on, true},
        {"notifications.app.org.example.Mail.priority_contacts", on, true},
        {"notifications.app." + app160 + ".sounds", on, true},
        {"notifications.app." + app160 + "a.sounds", on, false},
        {"notifications.app..sounds", on, false},
        {"notifications.app.org/example.sounds", on, false},
        {"notifications.app.org example.sounds", on, false},
        {"notifications.app.mail.volume", on, false},
        {"notifications.app.mail.mute", text("1 hour"), true},
        {"notifications.app.mail.mute", on, false},
        {"notifications.app.mail.banners", text("on"), false},
        {"notifications.app.banners", on, false},
        // Anything else.
        {"display.brightness", text("1"), false},
        {"appearance", text("Dark"), false},
        {"", text("x"), false},
    };
}

TEST(SetSetting, KeyAndValueToDocumentOrRefusal)
{
    for (const SetCase& c : set_cases()) {
        page_doc::Document doc;
        const auto applied = apply_settings_action(SettingsAction::set_setting(c.key, c.value), doc);
        EXPECT_EQ(applied.has_value(), c.written) << c.key;
        EXPECT_EQ(setting_accepts(c.key, c.value), c.written) << c.key;
        if (!c.written) {
            EXPECT_EQ(applied.error().display(), refusal + c.key);
            EXPECT_EQ(doc.size(), 0U) << c.key;
            continue;
        }
        if (const auto* flag = std::get_if<bool>(&c.value.value)) {
            EXPECT_EQ(page_doc::doc_bool(doc, c.key), *flag) << c.key;
        } else {
            EXPECT_EQ(page_doc::doc_string(doc, c.key), std::get<std::string>(c.value.value)) << c.key;
        }
    }
}

TEST(SetSetting, OnlyADifferentValueIsWritten)
{
    page_doc::Document doc;
    doc.put_bool("a11y.large_cursor", true);
    doc.put_str("appearance.theme", "Dark");
    doc.put_int("region.currency", 3);                     // another kind: replaced
    doc.put_text_object("region.date_format");              // a Text object: replaced by a string scalar
    doc.commit();
    const std::vector<page_doc::ChangeHash> heads = doc.get_heads();

    ASSERT_TRUE(apply_settings_action(bool_entry("a11y.large_cursor", true), doc));
    ASSERT_TRUE(apply_settings_action(string_pair("appearance.theme", "Dark"), doc));
    EXPECT_EQ(doc.pending_ops(), 0U);
    EXPECT_EQ(doc.get_heads(), heads);

    ASSERT_TRUE(apply_settings_action(string_pair("region.currency", "EUR"), doc));
    ASSERT_TRUE(apply_settings_action(string_pair("region.date_format", "ISO (2023-03-15)"), doc));
    ASSERT_TRUE(apply_settings_action(bool_entry("a11y.large_cursor", false), doc));
    EXPECT_EQ(doc.pending_ops(), 3U);
    EXPECT_EQ(page_doc::doc_string(doc, "region.currency"), "EUR");
    EXPECT_EQ(page_doc::doc_string(doc, "region.date_format"), "ISO (2023-03-15)");
    EXPECT_EQ(page_doc::doc_bool(doc, "a11y.large_cursor"), false);
}

std::string invoke(const ActionSpec& spec, ordered_json args = ordered_json::object())
{
    const auto action = spec.build_json(args);
    return action ? action->kind + ":" + action->payload : "<" + action.error().display() + ">";
}

TEST(SetSetting, ProducingBuilders)
{
    const ActionSpec on = setting_action_spec("spell-checking", "text.check_spelling", true, "spell checking");
    EXPECT_EQ(on.title, "Turn off spell checking");
    EXPECT_EQ(invoke(on), R"(settings.action:{"SetSetting":{"key":"text.check_spelling","value":{"Bool":false}}})");
    const ActionSpec off = setting_action_spec("spell-checking", "text.check_spelling", false, "spell checking");
    EXPECT_EQ(off.title, "Turn on spell checking");
    EXPECT_EQ(invoke(off, {{"value", false}}),
              R"(settings.action:{"SetSetting":{"key":"text.check_spelling","value":{"Bool":true}}})");
    EXPECT_EQ(on.effect_class, effect_setting);
    EXPECT_EQ(on.contract.tags, (std::vector<std::string>{"configuration", "system-setting"}));

    const ActionSpec toggle = setting_toggle_spec("high-contrast", "Set high contrast", "a11y.high_contrast");
    EXPECT_FALSE(toggle.operation_kind.has_value());
    EXPECT_EQ(toggle.params.at(0).title, "Whether this setting is on");
    EXPECT_EQ(toggle.input->hint, "On or off");
    EXPECT_EQ(invoke(toggle), R"(settings.action:{"SetSetting":{"key":"a11y.high_contrast","value":{"Bool":false}}})");

    const ActionSpec choice = setting_choice_spec("theme", "Set theme", "appearance.theme", "Choose a theme",
                                                  {"Dark", "Light"}, "Dark");
    EXPECT_EQ(choice.params.at(0).choices, (std::vector<std::string>{"Dark", "Light"}));
    EXPECT_EQ(invoke(choice), R"(settings.action:{"SetSetting":{"key":"appearance.theme","value":{"Text":"Dark"}}})");
    EXPECT_EQ(invoke(choice, {{"choice", "Light"}}),
              R"(settings.action:{"SetSetting":{"key":"appearance.theme","value":{"Text":"Light"}}})");

    // The shortcut text parser sends the empty text when no chord is given; applying it is then refused.
    const ActionSpec shortcut = shortcut_text_spec(
        "search", "Set Open search shortcut", hints::shortcut,
        {ActionParam("choice", "Shortcut", vorn_actions::ParamType::Text)}, "shortcuts.search");
    EXPECT_TRUE(shortcut.contract.tags.empty());
    const auto empty = shortcut.build_json(ordered_json::object());
    EXPECT_EQ(empty->payload, R"({"SetSetting":{"key":"shortcuts.search","value":{"Text":""}}})");
    page_doc::Document doc;
    EXPECT_EQ(decode_settings_action(empty->payload).value()->apply(doc).error().display(),
              refusal + "shortcuts.search");
}

TEST(SetSetting, RegisteredDecoder)
{
    vorn_actions::ActionDecoderRegistry registry;
    register_settings_action(registry);
    register_settings_action(registry);
    EXPECT_EQ(registry.size(), 1U);

    const auto action = registry.decode("settings.action",
                                        R"({"SetSetting":{"key":"appearance.theme","value":{"Text":"Light \"2\""}}})");
    ASSERT_TRUE(action.has_value());
    EXPECT_EQ((*action)->debug_text(), R"(SetSetting { key: "appearance.theme", value: Text("Light \"2\"") })");
    EXPECT_FALSE((*action)->yes_no_query_a());
    EXPECT_TRUE((*action)->yes_no_query_b());
    // A decoded action stores its value the way the Appearance page takes it: "Light \"2\"" is no theme.
    test_support::ConfigHome home;
    page_doc::Document doc;
    const auto refused = (*action)->apply(doc);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().display(), "\u201CLight \"2\"\u201D is not a theme name.");
    EXPECT_FALSE(page_doc::doc_string(doc, "appearance.theme"));
    const auto light = registry.decode("settings.action",
                                       R"({"SetSetting":{"key":"appearance.theme","value":{"Text":"Light"}}})");
    ASSERT_TRUE(light.has_value());
    ASSERT_TRUE((*light)->apply(doc).has_value());
    EXPECT_EQ(page_doc::doc_string(doc, "appearance.theme"), "Light");
    EXPECT_NE(test_support::read_file(home.path() / "vorn" / "settings.json").find(R"("theme": "Light")"),
              std::string::npos);

    const auto broken = registry.decode("settings.action", R"({"SetSetting":{"key":"x"}})");
    ASSERT_FALSE(broken.has_value());
    EXPECT_EQ(broken.error().kind(), vorn_actions::ActionError::Kind::PayloadDecoding);
    EXPECT_EQ(broken.error().subject(), "settings.action");
    EXPECT_EQ(broken.error().display(), "could not decode the settings.action payload: " + broken.error().message());
}

// A page's setting change travels through the toolkit's action host; a refused change comes back to the page.
TEST(SetSetting, TypedDispatchThroughTheActionHost)
{
    vorn_log::set_sink(std::make_shared<spdlog::sinks::null_sink_mt>());
    page_doc::Document doc;
    vorn_ui::ActionHost host;
    const SettingsAction light = string_pair("appearance.theme", "Light");
    const auto context = vorn_ui::action_context_from_args(settings_app_id, settings_app_name, light);
    EXPECT_EQ(context.label, "Set setting");

    ASSERT_TRUE(host.dispatch_with_context(doc, "settings.action", light, context).has_value());
    EXPECT_EQ(page_doc::doc_string(doc, "appearance.theme"), "Light");
    EXPECT_EQ(host.last_action(), encode_setting_action(light));

    const auto refused =
        host.dispatch_with_context(doc, "settings.action", string_pair("appearance.colour", "Blue"), context);
    vorn_log::set_sink(nullptr);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().display(), refusal + "appearance.colour");
    EXPECT_EQ(host.last_action(), encode_setting_action(light));
}

}  // namespace
}  // namespace settings::actions
