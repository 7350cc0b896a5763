#include "prefs/locale.hpp"
#include "prefs/settings_file.hpp"
#include "prefs/test_support.hpp"

#include "config_sections/config_sections.hpp"
#include "json_text/json_text.hpp"
#include "vorn_log/log.hpp"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <cmath>
#include <functional>
#include <limits>
#include <regex>

#include <sys/stat.h>

namespace settings::prefs {
namespace {

using testing::ConfigHome;
using testing::read_file;
using testing::testdata;
using testing::write_file;

std::vector<std::string> member_names(const std::string& text)
{
    std::vector<std::string> names;
    const Json root = Json::parse(text);
    for (const auto& [key, value] : root.items()) {
        names.push_back(key);
    }
    return names;
}

TEST(SettingsFile, FreshFileIsTheGoldenText)
{
    const std::string golden = testdata("fresh_settings.json");
    EXPECT_EQ(write_settings_json(SettingsFile{}, ""), golden);

    ConfigHome home;
    const auto saved = save_settings_file(load_settings_file());
    ASSERT_TRUE(saved) << saved.error();
    EXPECT_EQ(*saved, home.settings_file());
    EXPECT_EQ(read_file(home.settings_file()), golden);
    EXPECT_EQ(load_settings_file(), SettingsFile{});
}

TEST(SettingsFile, MergeKeepsForeignMembersAndWritesOnlyChangedSections)
{
    const std::string before = testdata("merge_before.json");
    SettingsFile file = parse_settings_file(before);
    EXPECT_FALSE(file.audio.event_sounds);
    EXPECT_EQ(file.display, DisplayPrefs{});  // "display" lacks a required member: default
    file.appearance.theme = "Dark";

    // Unchanged sections stay as stored (foreign members, order and all); "appearance" is merged field by field;
    // the undecodable "display" and the missing sections are written; version becomes 1 in place.
    EXPECT_EQ(write_settings_json(file, before), testdata("merge_after_changed.json"));

    // A record that was not loaded writes every section: extra members of whole sections go, per-application rules
    // are sorted, the 32-bit balance is widened.
    file = parse_settings_file(before);
    file.loaded.reset();
    EXPECT_EQ(write_settings_json(file, before), testdata("merge_after_unloaded.json"));
}

TEST(SettingsFile, TwoWritersChangingDifferentAppearanceFieldsBothSurvive)
{
    ConfigHome home;
    ASSERT_TRUE(save_settings_file(load_settings_file()));
    SettingsFile theme_writer = load_settings_file();
    SettingsFile scale_writer = load_settings_file();
    theme_writer.appearance.theme = "Light";
    scale_writer.appearance.text_scale = 1.5;
    ASSERT_TRUE(save_settings_file(theme_writer));
    ASSERT_TRUE(save_settings_file(scale_writer));
    const SettingsFile now = load_settings_file();
    EXPECT_EQ(now.appearance.theme, "Light");
    EXPECT_EQ(now.appearance.text_scale, 1.5);
}

TEST(SettingsFile, AnAppearanceThatDoesNotDecodeIsReplacedByTheValuesInForce)
{
    // "reduce_motion" is missing, so the stored section was never in force: the record holds the defaults, and
    // saving it must not leave the stored "Light" and 1.5 behind to take effect on the next load.
    const std::string before =
        R"({"appearance": {"accent": "teal", "theme": "Light", "high_contrast": false, "text_scale": 1.5}})";
    const SettingsFile file = parse_settings_file(before);
    ASSERT_EQ(file.appearance, AppearancePrefs{});
    const std::string after = write_settings_json(file, before);
    EXPECT_EQ(parse_settings_file(after), file);
    EXPECT_EQ(Json::parse(after)["appearance"]["theme"], AppearancePrefs{}.theme);
}

TEST(SettingsFile, MembersMissingFromTheFileAreAppendedInSectionOrder)
{
    const std::string after = write_settings_json(SettingsFile{}, R"({"locale": {"currency": "EUR"}, "power": []})");
    EXPECT_EQ(member_names(after),
              (std::vector<std::string>{"locale", "power", "version", "audio", "display", "input", "updates",
                                        "appearance", "notifications", "accessibility"}));
    EXPECT_EQ(Json::parse(after)["locale"], Json::parse(R"({"currency": "EUR"})"));
}

TEST(SettingsFile, TextsThatAreNotAnObjectLoadAsDefaults)
{
    for (const char* text : {"", "[]", "null", "{} {}", "{\"audio\": ", "\"settings\"", "\xff\xfe{}"}) {
        EXPECT_EQ(parse_settings_file(text), SettingsFile{}) << text;
        EXPECT_EQ(member_names(write_settings_json(SettingsFile{}, text)).size(), 9u) << text;
    }
}

TEST(SettingsFile, OneBrokenSectionFallsBackAlone)
{
    const auto file = parse_settings_file(R"({
        "display": {"auto_brightness": true},
        "power": {"auto_suspend": false, "blank_minutes": 3},
        "accessibility": {"magnifier_zoom": 300},
        "updates": {"auto": false, "channel": "Beta", "last_checked": "Yesterday"},
        "Audio": {"event_sounds": false, "chat_join": false, "chat_leave": false}})");
    EXPECT_EQ(file.display, DisplayPrefs{});
    EXPECT_EQ(file.accessibility, AccessibilityPrefs{});
    EXPECT_EQ(file.audio, AudioPrefs{});  // member names are case-sensitive
    EXPECT_EQ(file.power, (PowerPrefs{.auto_suspend = false, .blank_minutes = 3}));
    EXPECT_EQ(file.updates.channel, "Beta");
}

TEST(SettingsFile, LegacyInputForms)
{
    struct Case {
        const char* input;
        bool natural;
        bool touchpad;
        bool mouse;
        std::string active;
        std::vector<std::string> layouts;
    };
    const Case cases[] = {
        {R"({"natural_scroll": true})", true, true, true, "us", {"us"}},
        {R"({"natural_scroll": true, "mouse_natural_scroll": false})", true, true, false, "us", {"us"}},
        {R"({"natural_scroll": false, "touchpad_natural_scroll": null})", false, false, false, "us", {"us"}},
        {R"({"touchpad_natural_scroll": false})", false, false, false, "us", {"us"}},
        {R"({})", false, true, false, "us", {"us"}},
        // Before the list of layouts only the active one was stored.
        {R"({"keyboard_layout": "de"})", false, true, false, "de", {"de"}},
        {R"({"keyboard_layout": "de", "layouts": ["fr"]})", false, true, false, "de", {"us", "de"}},
        {R"({"keyboard_layout": "fr", "keyboard_layouts": ["us", "fr", "us", "bad id", "de"]})", false, true, false,
         "fr", {"us", "fr", "de"}},
        {R"({"keyboard_layout": "", "keyboard_layouts": ["de:neo", "ch"]})", false, true, false, "de:neo",
         {"de:neo", "ch"}},
        {R"({"keyboard_layout": "se", "keyboard_layouts": ["us", "de", "fr", "es", "it"]})", false, true, false, "se",
         {"us", "de", "fr", "se"}},
    };
    for (const auto& c : cases) {
        const auto file = parse_settings_file(std::string(R"({"input": )") + c.input + "}");
        EXPECT_EQ(file.input.natural_scroll, c.natural) << c.input;
        EXPECT_EQ(file.input.touchpad_natural_scroll, c.touchpad) << c.input;
        EXPECT_EQ(file.input.mouse_natural_scroll, c.mouse) << c.input;
        EXPECT_EQ(file.input.keyboard_layout, c.active) << c.input;
        EXPECT_EQ(file.input.keyboard_layouts, c.layouts) << c.input;
    }
    // An "input" member that is not an object gives the defaults.
    EXPECT_EQ(parse_settings_file(R"({"input": [true]})").input, InputPrefs{});
}

TEST(SettingsFile, AnotherWritersSectionSurvivesASave)
{
    ConfigHome home;
    SettingsFile page = load_settings_file();  // loaded before the other writer saved

    SettingsFile runner = load_settings_file();
    runner.input.left_handed = true;
    runner.power.lock_minutes = 1;
    ASSERT_TRUE(save_settings_file(runner));

    page.display.night_light = true;
    ASSERT_TRUE(save_settings_file(page));

    const auto now = load_settings_file();
    EXPECT_TRUE(now.display.night_light);
    EXPECT_TRUE(now.input.left_handed);
    EXPECT_EQ(now.power.lock_minutes, 1u);
}

TEST(SettingsFile, NonFiniteNumbersKeepTheirPreviousValue)
{
    ConfigHome home;
    SettingsFile file = load_settings_file();
    file.display.scale = 1.5;
    file.appearance.ui_scale = 1.25;
    ASSERT_TRUE(save_settings_file(file));

    file = load_settings_file();
    file.display.scale = std::numeric_limits<double>::quiet_NaN();
    file.appearance.ui_scale = std::numeric_limits<double>::infinity();
    file.audio.balance = -std::numeric_limits<float>::infinity();
    file.input.mouse_pointer_speed = std::numeric_limits<double>::quiet_NaN();
    file.display.night_light = true;
    ASSERT_TRUE(save_settings_file(file));

    const auto now = load_settings_file();
    EXPECT_TRUE(now.display.night_light);
    EXPECT_EQ(now.display.scale, 1.5);
    EXPECT_EQ(now.appearance.ui_scale, 1.25);
    EXPECT_EQ(now.audio.balance, 0.5f);
    EXPECT_EQ(now.input.mouse_pointer_speed, std::nullopt);

    // Without a previous value in the file, the default stands in.
    SettingsFile fresh;
    fresh.display.scale = std::numeric_limits<double>::infinity();
    EXPECT_EQ(parse_settings_file(write_settings_json(fresh, "")).display.scale, 1.0);
}

TEST(SettingsFile, DamagedFileIsKeptAsideBeforeItIsReplaced)
{
    ConfigHome home;
    std::ostringstream log;
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(log);
    vorn_log::set_sink(sink);

    for (const char* damaged : {"{\"audio\": {\"event_sounds\": tru", "[1, 2, 3]"}) {
        std::filesystem::remove_all(home.settings_file().parent_path());
        write_file(home.settings_file(), damaged);
        SettingsFile file = load_settings_file();
        EXPECT_EQ(file, SettingsFile{});
        file.power.auto_suspend = false;
        ASSERT_TRUE(save_settings_file(file));

        std::vector<std::filesystem::path> kept;
        for (const auto& entry : std::filesystem::directory_iterator(home.settings_file().parent_path())) {
            if (std::regex_match(entry.path().filename().string(), std::regex(R"(settings\.json\.corrupt-[0-9a-f]+)"))) {
                kept.push_back(entry.path());
            }
        }
        ASSERT_EQ(kept.size(), 1u) << damaged;
        EXPECT_EQ(read_file(kept[0]), damaged);
        EXPECT_FALSE(load_settings_file().power.auto_suspend);
    }
    vorn_log::set_sink(nullptr);
    EXPECT_NE(log.str().find("not a JSON object at byte 0"), std::string::npos);
    EXPECT_NE(log.str().find("settings.json.corrupt-"), std::string::npos);
}

// The copies a save kept aside of a file that held something unreadable.
std::vector<std::filesystem::path> kept_aside(const std::filesystem::path& settings)
{
    std::vector<std::filesystem::path> kept;
    for (const auto& entry : std::filesystem::directory_iterator(settings.parent_path())) {
        if (entry.path().filename().string().starts_with("settings.json.corrupt-")) {
            kept.push_back(entry.path());
        }
    }
    return kept;
}

TEST(SettingsFile, HostileTextsCostOnlyWhatCannotBeRead)
{
    // Each text holds valid sections, another component's valid member and one hostile member. Loading reads
    // what can be read; a later save from another section keeps every member the text held, the hostile one
    // byte for byte, and the text is kept aside once.
    struct Case {
        const char* what;
        std::string member;
        bool unreadable;  // the strict reader refuses the text
        bool ours;        // a section of ours, which a save may write anew (its text is then kept aside)
        std::function<void(const SettingsFile&)> check = nullptr;  // what else the load must show
    };
    const std::string deep = std::string(129, '[') + std::string(129, ']');
    const Case cases[] = {
        {"invalid UTF-8 in a foreign member", "\"launcher\": {\"pinned\": [\"caf\xe9\"]}", true, false},
        {"1e400 in a foreign member", "\"gauges\": {\"limit\": 1e400}", true, false},
        {"depth 129 in a foreign member", "\"deep\": " + deep, true, false},
        {"1e400 in a field of ours", R"("display": {"auto_brightness": true, "night_light": true, "scale": 1e400})",
         true, true, [](const SettingsFile& f) { EXPECT_TRUE(f.display.night_light); }},
        {"invalid UTF-8 in a field of ours",
         "\"accessibility\": {\"screen_reader\": true, \"label\": \"\xc3\x28\"}", true, true},
        {"an out-of-range field beside valid ones",
         R"("display": {"auto_brightness": true, "night_light": true, "night_light_temperature": 18446744073709551616})",
         false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigHome home;
        const std::string text = "{\n  \"version\": 1,\n  \"power\": {\"auto_suspend\": false, \"blank_minutes\": 3},\n"
                                 "  " + c.member + ",\n"
                                 "  \"updates\": {\"auto\": false, \"channel\": \"Beta\", \"last_checked\": \"Never\"},\n"
                                 "  \"text_assistance\": {\"check_spelling\": true}\n}";
        EXPECT_EQ(json_text::parse(text).has_value(), !c.unreadable);
        write_file(home.settings_file(), text);

        SettingsFile file = load_settings_file();
        EXPECT_EQ(file.power.blank_minutes, 3u);
        EXPECT_FALSE(file.power.auto_suspend);
        EXPECT_EQ(file.updates.channel, "Beta");
        if (c.check) {
            c.check(file);
        }

        file.audio.event_sounds = false;
        ASSERT_TRUE(save_settings_file(file));
        const std::string saved = read_file(home.settings_file());
        const std::string name = c.member.substr(0, c.member.find(':'));
        EXPECT_NE(saved.find(name + ":"), std::string::npos) << saved;
        if (!c.ours) {
            EXPECT_NE(saved.find(c.member), std::string::npos) << saved;
        }
        EXPECT_NE(saved.find("\"text_assistance\": {\n    \"check_spelling\": true\n  }"), std::string::npos) << saved;
        const SettingsFile again = load_settings_file();
        EXPECT_FALSE(again.audio.event_sounds);
        EXPECT_EQ(again.power, file.power);
        EXPECT_EQ(again.updates, file.updates);

        const auto kept = kept_aside(home.settings_file());
        if (c.unreadable) {
            ASSERT_EQ(kept.size(), 1u);
            EXPECT_EQ(read_file(kept[0]), text);
        } else {
            EXPECT_TRUE(kept.empty());
        }
        // The same unreadable text is not kept aside again by later saves.
        file = load_settings_file();
        file.power.lock_minutes = 2;
        ASSERT_TRUE(save_settings_file(file));
        EXPECT_EQ(kept_aside(home.settings_file()).size(), kept.size());
    }
}

TEST(SettingsFile, OnlyARegularFileOfBoundedSizeIsRead)
{
    // None of these may block the load or fill memory; a save refuses to replace what it could not read.
    struct Case {
        const char* what;
        std::function<void(const std::filesystem::path&)> make;
        const char* error;
    };
    const Case cases[] = {
        {"a FIFO", [](const std::filesystem::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         "something that is not a file is in the settings file's place"},
        {"a link to /dev/zero", [](const std::filesystem::path& p) { std::filesystem::create_symlink("/dev/zero", p); },
         "something that is not a file is in the settings file's place"},
        {"a file beyond the size cap",
         [](const std::filesystem::path& p) {
             write_file(p, "{}");
             std::filesystem::resize_file(p, config_sections::max_file_size + 1);  // sparse: costs no disk
         },
         "the settings file is too large to be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigHome home;
        std::filesystem::create_directories(home.settings_file().parent_path());
        c.make(home.settings_file());
        EXPECT_EQ(load_settings_file(), SettingsFile{});
        SettingsFile file = load_settings_file();
        file.display.night_light = true;
        const auto saved = save_settings_file(file);
        ASSERT_FALSE(saved);
        EXPECT_NE(saved.error().find(c.error), std::string::npos) << saved.error();
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(home.settings_file())));
    }
}

TEST(SettingsFile, FileThatCannotBeReadRefusesTheSave)
{
    ConfigHome home;
    std::filesystem::create_directories(home.settings_file());  // exists, but cannot be read as a file
    const auto saved = save_settings_file(load_settings_file());
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), "something that is not a file is in the settings file's place");
    EXPECT_TRUE(std::filesystem::is_directory(home.settings_file()));

    if (::geteuid() != 0) {  // root reads any file
        std::filesystem::remove(home.settings_file());
        write_file(home.settings_file(), R"({"display": {"auto_brightness": true, "night_light": true}})");
        std::filesystem::permissions(home.settings_file(), std::filesystem::perms::none);
        EXPECT_FALSE(save_settings_file(SettingsFile{}));
        std::filesystem::permissions(home.settings_file(), std::filesystem::perms::owner_read);
        EXPECT_TRUE(load_settings_file().display.night_light);
    }
}

TEST(SettingsFile, SaveKeepsTheFileModeAndSkipsUnchangedText)
{
    ConfigHome home;
    ASSERT_TRUE(save_settings_file(load_settings_file()));
    ::chmod(home.settings_file().c_str(), 0640);
    SettingsFile file = load_settings_file();
    file.accessibility.large_cursor = true;
    ASSERT_TRUE(save_settings_file(file));
    struct stat st {};
    ASSERT_EQ(::stat(home.settings_file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(load_settings_file().accessibility.large_cursor);

    const auto before = std::filesystem::last_write_time(home.settings_file());
    const ino_t inode = st.st_ino;
    ASSERT_TRUE(save_settings_file(load_settings_file()));
    ASSERT_EQ(::stat(home.settings_file().c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, inode) << "an unchanged text is not written again";
    EXPECT_EQ(std::filesystem::last_write_time(home.settings_file()), before);
}

TEST(SettingsFile, WithoutConfigDirectoryLoadGivesDefaultsAndSaveFails)
{
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");
    EXPECT_EQ(load_settings_file(), SettingsFile{});
    const auto saved = save_settings_file(SettingsFile{});
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), "there is no home folder to keep settings in");
    EXPECT_EQ(load_locale(), Locale{});
    EXPECT_EQ(save_locale(Locale{}).error(), "no config dir");
}

TEST(LocaleStore, SaveKeepsEveryOtherMemberAndLoadFallsBack)
{
    ConfigHome home;
    EXPECT_EQ(load_locale(), Locale{});

    SettingsFile file = load_settings_file();
    file.display.night_light = true;
    ASSERT_TRUE(save_settings_file(file));
    const Locale locale{.currency = Currency::EUR, .time_format = HourCycle::H12};
    ASSERT_TRUE(save_locale(locale));
    EXPECT_EQ(load_locale(), locale);
    EXPECT_TRUE(load_settings_file().display.night_light);
    EXPECT_EQ(member_names(read_file(home.settings_file())).back(), "locale");

    // A settings save leaves "locale" alone.
    file = load_settings_file();
    file.power.lock_minutes = 2;
    ASSERT_TRUE(save_settings_file(file));
    EXPECT_EQ(load_locale(), locale);

    // A member that does not decode takes its default alone.
    write_file(home.settings_file(), R"({"locale": {"currency": "GBP", "first_day_of_week": "Tuesday"}})");
    EXPECT_EQ(load_locale(), Locale{.currency = Currency::GBP});
    write_file(home.settings_file(), R"({"locale": {"currency": "GBP"}})");
    EXPECT_EQ(load_locale().currency, Currency::GBP);
}

}  // namespace
}  // namespace settings::prefs
