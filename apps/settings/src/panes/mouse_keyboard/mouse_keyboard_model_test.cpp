#include "panes/mouse_keyboard/mouse_keyboard_model.hpp"

#include "config_sections/config_sections.hpp"
#include "panes/preference_pane/testing.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::panes::mouse_keyboard {
namespace {

const std::vector<keyboard_layouts::KeyboardLayout> catalog{
    {"de", "German"}, {"gb", "English (UK)"}, {"us", "English (US)"}, {"us:colemak", "English (US) — Colemak"},
    {"fr", "French"},
};

prefs::InputPrefs with_sources(std::vector<std::string> sources, std::string active)
{
    prefs::InputPrefs input;
    input.keyboard_layouts = std::move(sources);
    input.keyboard_layout = std::move(active);
    return input;
}

TEST(MouseKeyboardModel, KeyRepeatPositionAndText)
{
    const struct {
        std::optional<std::uint32_t> delay;
        std::optional<std::uint32_t> rate;
        double position;
        std::string_view text;
    } cases[] = {
        {250, 30, 0.5, "30 keys per second \u00B7 starts after 250 ms"},
        {250, 60, 1.0, "60 keys per second \u00B7 starts after 250 ms"},
        {500, 8, 0.0, "8 keys per second \u00B7 starts after 500 ms"},
        {500, 0, 0.0, "Repeat is off \u2014 move the slider to turn it on"},
        {std::nullopt, 30, 0.7, "Faster repeat starts sooner"},
        {400, std::nullopt, 0.7, "Faster repeat starts sooner"},
    };
    for (const auto& c : cases) {
        prefs::InputPrefs input;
        input.key_repeat = 0.7;
        input.key_repeat_delay_ms = c.delay;
        input.key_repeat_rate_hz = c.rate;
        EXPECT_DOUBLE_EQ(key_repeat_position(input), c.position) << c.text;
        EXPECT_EQ(key_repeat_text(input), c.text);
    }
}

TEST(MouseKeyboardModel, ChoiceLabels)
{
    EXPECT_EQ(compose_key_label(std::string("ralt")), "Right Alt");
    EXPECT_EQ(compose_key_label(std::string("lwin")), "Left Super");
    EXPECT_EQ(compose_key_label(std::string("hyper")), "Disabled");
    EXPECT_EQ(compose_key_label(std::nullopt), "Disabled");
    EXPECT_EQ(acceleration_label("flat"), "Flat");
    EXPECT_EQ(acceleration_label("adaptive"), "Adaptive");
}

TEST(MouseKeyboardModel, InputSourceRowsAndTheAddPicker)
{
    testing::TempConfig home;
    MouseKeyboardModel single(with_sources({"us"}, "us"), {}, catalog);
    const auto one = single.source_rows();
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].label, "English (US)");
    EXPECT_TRUE(one[0].active);
    EXPECT_FALSE(one[0].can_move_up || one[0].can_move_down || one[0].can_remove);
    EXPECT_EQ(single.addable_source_labels(),
              (std::vector<std::string>{"German", "English (UK)", "English (US) — Colemak", "French"}));

    MouseKeyboardModel three(with_sources({"de", "us:colemak", "xx"}, "us:colemak"), {}, catalog);
    const auto rows = three.source_rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_FALSE(rows[0].can_move_up);
    EXPECT_TRUE(rows[0].can_move_down && rows[0].can_remove);
    EXPECT_TRUE(rows[1].active);
    EXPECT_TRUE(rows[2].can_move_up);
    EXPECT_FALSE(rows[2].can_move_down);
    EXPECT_EQ(rows[2].label, "xx");  // not in the catalogue: the id itself
    EXPECT_EQ(three.active_source_labels(),
              (std::vector<std::string>{"German", "English (US) — Colemak", "xx"}));

    MouseKeyboardModel four(with_sources({"de", "gb", "us", "fr"}, "us"), {}, catalog);
    EXPECT_TRUE(four.addable_source_labels().empty());
}

TEST(MouseKeyboardModel, TextAssistanceIsReadWithDefaultsAndSavedOneKeyAtATime)
{
    testing::TempConfig home;
    home.write_settings(R"({"text_assistance": {"check_spelling": true, "other": 7}})");
    page_doc::Document doc;
    MouseKeyboardModel model(prefs::InputPrefs{}, TextAssistance::load(), catalog);
    EXPECT_TRUE(model.text_assistance().auto_correct);  // missing: on
    model.sync(doc);
    EXPECT_EQ(page_doc::doc_bool(doc, check_spelling_key), true);
    EXPECT_EQ(page_doc::doc_bool(doc, auto_correct_key), true);

    doc.put_bool(check_spelling_key, false);
    model.sync(doc);
    EXPECT_EQ(config_sections::load_section(text_assistance_section),
              config_sections::Json::parse(R"({"check_spelling": false, "other": 7})"));
    EXPECT_FALSE(TextAssistance::load().check_spelling);
    EXPECT_FALSE(model.status());
}

TEST(MouseKeyboardModel, AFailedTextAssistanceSavePutsTheSwitchBack)
{
    testing::TempConfig home;
    std::filesystem::create_directories(home.settings_file());  // the file cannot be written
    page_doc::Document doc;
    MouseKeyboardModel model(prefs::InputPrefs{}, {}, catalog);
    model.sync(doc);
    testing::LogCapture log;
    doc.put_bool(auto_correct_key, false);
    model.sync(doc);
    EXPECT_EQ(page_doc::doc_bool(doc, auto_correct_key), true);
    EXPECT_TRUE(model.text_assistance().auto_correct);
    ASSERT_TRUE(model.status());
    EXPECT_TRUE(model.status()->starts_with("Auto-correction could not be saved: "));
    EXPECT_NE(log.text().find("text_assistance_save"), std::string::npos);
}

}  // namespace
}  // namespace settings::panes::mouse_keyboard
