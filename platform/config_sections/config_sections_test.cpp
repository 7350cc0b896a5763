#include "config_sections/config_sections.hpp"
#include "config_sections/hardware.hpp"
#include "config_sections/notification_policy.hpp"

#include "json_text/json_text.hpp"
#include "json_text/record.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace config_sections {
namespace {

using hardware::KeyboardInputSource;
using hardware::OutputDescriptor;
using hardware::OutputMode;
using hardware::OutputTransform;
using hardware::RichInputConfig;
using notification_policy::AppNotificationRule;
using notification_policy::FocusSchedule;

template <class T>
std::expected<T, std::string> decode_text(const char* text)
{
    return json_text::decode<T>(*json_text::parse(text));
}

class ConfigDir : public ::testing::Test {
protected:
    ConfigDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-config-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    ~ConfigDir() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path settings() const { return dir_ / "vorn" / "settings.json"; }
    static std::string read(const std::filesystem::path& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path dir_;
};

TEST_F(ConfigDir, SettingsPathAndNamedSections)
{
    EXPECT_EQ(settings_path(), settings());
    EXPECT_EQ(load_section("text_assistance"), std::nullopt);

    std::filesystem::create_directories(settings().parent_path());
    std::ofstream(settings()) << R"({"audio": {"x": 1}, "text_assistance": "broken", "version": 1})";
    const auto saved = update_section("text_assistance", [](Json& section) { section["check_spelling"] = false; });
    ASSERT_TRUE(saved) << saved.error();
    EXPECT_EQ(read(settings()), "{\n"
                                "  \"audio\": {\n"
                                "    \"x\": 1\n"
                                "  },\n"
                                "  \"text_assistance\": {\n"
                                "    \"check_spelling\": false\n"
                                "  },\n"
                                "  \"version\": 1\n"
                                "}");
    ASSERT_TRUE(update_section("text_assistance", [](Json& section) { section["auto_correct"] = true; }));
    EXPECT_EQ(load_section("text_assistance"), Json::parse(R"({"check_spelling": false, "auto_correct": true})"));

    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");
    EXPECT_EQ(settings_path(), std::nullopt);
    EXPECT_EQ(update_section("text_assistance", [](Json&) {}).error(), "no config dir");
}

TEST_F(ConfigDir, UpdateCreatesDirectoriesAndRefusesUnreadableFiles)
{
    const auto nested = dir_ / "a" / "b" / "state.json";
    ASSERT_TRUE(update_json_file(nested, [](Json& root) { root["n"] = 1; }));
    EXPECT_EQ(read(nested), "{\n  \"n\": 1\n}");

    std::filesystem::create_directories(dir_ / "dir.json");
    const auto refused = update_json_file(dir_ / "dir.json", [](Json& root) { root["n"] = 1; });
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("left unchanged"), std::string::npos) << refused.error();
}

TEST(ConfigSectionRecords, NotificationPolicyDecodes)
{
    EXPECT_EQ(decode_text<FocusSchedule>(R"({"enabled": true})"), FocusSchedule{.enabled = true});
    EXPECT_EQ(decode_text<FocusSchedule>(R"([true, 60, 120, 31])"),
              (FocusSchedule{.start_minute = 60, .end_minute = 120, .weekdays = 31, .enabled = true}));
    EXPECT_FALSE(decode_text<FocusSchedule>(R"({"start_minute": 70000})"));
    EXPECT_FALSE(decode_text<FocusSchedule>(R"({"weekdays": 300})"));
    EXPECT_EQ(decode_text<AppNotificationRule>(R"({"muted_until": -5})"), AppNotificationRule{.muted_until = -5});
    EXPECT_EQ(decode_text<AppNotificationRule>(R"({"muted_until": null, "badges": false})"),
              AppNotificationRule{.badges = false});
    EXPECT_FALSE(decode_text<AppNotificationRule>(R"({"muted_until": 1.5})"));
}

TEST(ConfigSectionRecords, OutputModeAndTransform)
{
    EXPECT_EQ(decode_text<OutputMode>("[1920, 1080, 60000]"), (OutputMode{1920, 1080, 60000}));
    EXPECT_EQ(decode_text<OutputMode>(R"({"width": 1920, "height": 1080})").error(), "missing field `refresh_mhz`");
    EXPECT_EQ(decode_text<OutputMode>("[1920, 1080, 60000, 1]").error(),
              "invalid length 4, expected fewer elements in array");
    EXPECT_EQ(decode_text<OutputMode>("[1920, 1080]").error(),
              "invalid length 2, expected struct OutputMode with 3 elements");
    EXPECT_EQ(json_text::compact(Json(OutputMode{2560, 1440, 144000})),
              R"({"width":2560,"height":1440,"refresh_mhz":144000})");

    EXPECT_EQ(decode_text<OutputTransform>(R"("rotate90")"), OutputTransform::Rotate90);
    EXPECT_EQ(decode_text<OutputTransform>(R"({"rotate270": null})"), OutputTransform::Rotate270);
    EXPECT_FALSE(decode_text<OutputTransform>(R"("Rotate90")"));
    EXPECT_EQ(decode_text<OutputTransform>(R"("rotate_90")").error(),
              "unknown variant `rotate_90`, expected one of `normal`, `rotate90`, `rotate180`, `rotate270`");
    EXPECT_EQ(json_text::compact(Json(OutputTransform::Rotate180)), R"("rotate180")");

    EXPECT_EQ((OutputDescriptor{.connector = "HDMI-A-1", .name = ""}.name_or_connector()), "HDMI-A-1");
    EXPECT_EQ((OutputDescriptor{.connector = "eDP-1", .name = "Built-in display"}.name_or_connector()),
              "Built-in display");
}

TEST(ConfigSectionRecords, KeyboardInputSourceIds)
{
    const struct {
        const char* text;
        const char* id;  // nullptr: refused
    } cases[] = {
        {"us", "us"},
        {" us:colemak\n", "us:colemak"},
        {"in:tam_tamilnet_TAB", "in:tam_tamilnet_TAB"},
        {"us:alt-intl", "us:alt-intl"},
        {"", nullptr},
        {"us:", nullptr},
        {":dvorak", nullptr},
        {"us:dvorak:extra", nullptr},
        {"us dvorak", nullptr},
        {"de/neo", nullptr},
    };
    for (const auto& c : cases) {
        const auto parsed = KeyboardInputSource::parse(c.text);
        if (c.id == nullptr) {
            EXPECT_FALSE(parsed) << c.text;
        } else {
            ASSERT_TRUE(parsed) << c.text;
            EXPECT_EQ(parsed->id(), c.id);
        }
    }
    const auto source = KeyboardInputSource::parse("us:colemak");
    EXPECT_EQ(source->layout(), "us");
    EXPECT_EQ(source->variant(), "colemak");
    EXPECT_EQ(KeyboardInputSource::parse("fr")->variant(), std::nullopt);
}

TEST(ConfigSectionRecords, InputSourcesNormalise)
{
    const struct {
        std::string active;
        std::vector<std::string> sources;
        std::string want_active;
        std::vector<std::string> want_sources;
    } cases[] = {
        {"us", {"us"}, "us", {"us"}},
        {"de", {}, "de", {"de"}},
        {"", {}, "us", {"us"}},
        {"bad id", {"fr", "de"}, "fr", {"fr", "de"}},
        {"de", {"us"}, "de", {"us", "de"}},
        {"us", {"us", " us ", "fr", "fr"}, "us", {"us", "fr"}},
        {"se", {"us", "de", "fr", "es"}, "se", {"us", "de", "fr", "se"}},
        {"it", {"us", "de", "fr", "es", "it", "pl"}, "it", {"us", "de", "fr", "it"}},
        {"de", {"us", "de", "fr", "es", "it"}, "de", {"us", "de", "fr", "es"}},
    };
    for (const auto& c : cases) {
        RichInputConfig config{.keyboard_layout = c.active, .keyboard_layouts = c.sources};
        config.normalise_sources();
        EXPECT_EQ(config.keyboard_layout, c.want_active) << c.active;
        EXPECT_EQ(config.keyboard_layouts, c.want_sources) << c.active;
    }
}

}  // namespace
}  // namespace config_sections
