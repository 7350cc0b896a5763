#include "setting_tables/store.hpp"

#include "test_support/temp_home.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <variant>

namespace settings::setting_tables {
namespace {

using test_support::ConfigHome;
using Json = nlohmann::json;

std::filesystem::path settings_path(const ConfigHome& home) { return home.path() / "vorn" / "settings.json"; }

Json stored(const ConfigHome& home)
{
    return Json::parse(test_support::read_file(settings_path(home)), nullptr, false);
}

std::expected<Stored, std::string> store(std::string_view key, const std::variant<bool, std::string_view>& value)
{
    if (const auto* on = std::get_if<bool>(&value)) {
        return store_bool(key, *on);
    }
    return store_text(key, std::get<std::string_view>(value));
}

// A value for each kind of key lands in its file, member of others kept; storing it again writes nothing.
TEST(SettingStore, EachKindOfKeyLandsInItsFile)
{
    struct Case {
        std::string_view key;
        std::variant<bool, std::string_view> value;
        std::string_view pointer;
        Json expected;
    };
    const Case cases[] = {
        {"a11y.sticky_keys", true, "/accessibility/sticky_keys", true},
        {"a11y.cursor_size", std::string_view("Large"), "/accessibility/cursor_size", 36},
        {"a11y.color_filter", std::string_view("Inverted"), "/accessibility/color_filter", "inverted"},
        {"a11y.text_size", std::string_view("Larger"), "/appearance/text_scale", 1.3},
        {"a11y.high_contrast", true, "/appearance/high_contrast", true},
        {"appearance.theme", std::string_view("Nord"), "/appearance/theme", "Nord"},
        {"appearance.ui_scale", std::string_view("125%"), "/appearance/ui_scale", 1.25},
        {"appearance.reduce_motion", true, "/appearance/reduce_motion", true},
        {"text.check_spelling", false, "/text_assistance/check_spelling", false},
        {"shortcuts.vim_mode", true, "/desktop_controls/vim_navigation", true},
        {"shortcuts.next_tab", std::string_view("Super+Alt+N"), "/shortcuts/next_tab", "Super+Alt+N"},
        {"region.currency", std::string_view("eur"), "/locale/currency", "EUR"},
        {"region.time_format", std::string_view("12-hour (2:05 PM)"), "/locale/time_format", "H12"},
    };
    for (const Case& c : cases) {
        ConfigHome home;
        test_support::write_file(settings_path(home), R"({"other": {"kept": [1, 2]}})");
        const auto first = store(c.key, c.value);
        ASSERT_TRUE(first) << c.key << ": " << first.error();
        EXPECT_EQ(*first, Stored::Saved) << c.key;
        const Json file = stored(home);
        EXPECT_EQ(file.value(Json::json_pointer(std::string(c.pointer)), Json()), c.expected) << c.key << "\n" << file;
        EXPECT_EQ(file["other"], Json::parse(R"({"kept": [1, 2]})")) << c.key;
        const auto second = store(c.key, c.value);
        ASSERT_TRUE(second) << c.key;
        EXPECT_EQ(*second, Stored::Unchanged) << c.key;
    }
}

// A value the page would not take is refused with its sentence, and nothing is written.
TEST(SettingStore, ValuesThePageRefusesAreRefusedWithItsSentence)
{
    struct Case {
        std::string_view key;
        std::string_view text;
        std::string_view sentence;
    };
    const Case cases[] = {
        {"a11y.cursor_size", "Huge", "Cursor size cannot be \u201CHuge\u201D: choose Default, Large, Larger, Largest."},
        {"a11y.reader_voice", "Klingon",
         "Voice cannot be \u201CKlingon\u201D: choose System voice, English (US), English (UK), German, French, "
         "Spanish."},
        {"appearance.theme", "Aqua", "\u201CAqua\u201D is not a theme name."},
        {"appearance.text_size", "large", "Text size cannot be \u201Clarge\u201D: choose Small, Default, Large, Larger."},
        {"shortcuts.next_tab", "Super+L", "Super+L is already used by Lock the screen."},
        {"shortcuts.next_tab", "Hyper+Nothing", "\u201CHyper+Nothing\u201D is not a key combination."},
    };
    for (const Case& c : cases) {
        ConfigHome home;
        const auto refused = store_text(c.key, c.text);
        ASSERT_FALSE(refused) << c.key;
        EXPECT_EQ(refused.error(), c.sentence);
        EXPECT_FALSE(std::filesystem::exists(settings_path(home))) << c.key;
    }
}

// A notification setting from automation lands in the file whether or not the Notifications page is open; the
// other members of the section are kept.
TEST(SettingStore, NotificationSettings)
{
    ConfigHome home;
    EXPECT_EQ(store_bool("notifications.do_not_disturb", true), Stored::Saved);
    EXPECT_EQ(store_bool("notifications.do_not_disturb", true), Stored::Unchanged);
    EXPECT_EQ(store_bool("notifications.focus.enabled", true), Stored::Saved);
    EXPECT_EQ(store_text("notifications.focus.start", "20:00"), Stored::Saved);
    EXPECT_EQ(store_text("notifications.focus.days", "Weekends"), Stored::Saved);
    EXPECT_EQ(store_bool("notifications.app.org.example.Mail.banners", false), Stored::Saved);
    EXPECT_EQ(store_bool("notifications.app.org.example.Mail.priority", true), Stored::Saved);
    EXPECT_EQ(store_text("notifications.app.org.example.Mail.mute", "For 1 hour"), Stored::Saved);
    const Json file = stored(home);
    EXPECT_EQ(file["notifications"]["do_not_disturb"], true);
    EXPECT_EQ(file["notifications"]["focus"]["enabled"], true);
    EXPECT_EQ(file["notifications"]["focus"]["start_minute"], 1200);
    EXPECT_EQ(file["notifications"]["focus"]["end_minute"], 420);
    EXPECT_EQ(file["notifications"]["focus"]["weekdays"], 96);
    const Json& rule = file["notifications"]["per_app"]["org.example.Mail"];
    EXPECT_EQ(rule["banners"], false);
    EXPECT_TRUE(rule["previews"].is_null());
    EXPECT_EQ(rule["priority"], true);
    EXPECT_TRUE(rule["muted_until"].is_number_integer());

    const std::pair<std::string_view, std::string_view> refused[] = {
        {"notifications.focus.start", "7:00"},
        {"notifications.focus.days", "Mon-Fri"},
        {"notifications.app.org.example.Mail.mute", "1 hour"},
    };
    const std::string before = test_support::read_file(settings_path(home));
    for (const auto& [key, text] : refused) {
        const auto result = store_text(key, text);
        ASSERT_FALSE(result) << key;
        EXPECT_NE(result.error().find(text), std::string::npos) << result.error();
    }
    EXPECT_EQ(test_support::read_file(settings_path(home)), before);
}

// A region field is written alone into the stored locale: a currency this version cannot read, and a member it
// never heard of, stay as they are when the date format changes.
TEST(SettingStore, ARegionFieldIsWrittenAloneIntoTheStoredLocale)
{
    ConfigHome home;
    test_support::write_file(settings_path(home),
                             R"({"locale": {"currency": "SEK", "date_format": "ISO", "calendar": "iso8601"}})");
    EXPECT_EQ(store_text("region.currency", "USD"), Stored::Unchanged) << "SEK reads as the default, USD";
    const auto saved = store_text("region.date_format", "Long (15 Mar 2023)");
    ASSERT_TRUE(saved) << saved.error();
    EXPECT_EQ(*saved, Stored::Saved);
    EXPECT_EQ(nlohmann::ordered_json::parse(test_support::read_file(settings_path(home))).dump(),
              R"({"locale":{"currency":"SEK","date_format":"Long","calendar":"iso8601"},"version":1})");
    EXPECT_EQ(store_text("region.currency", "XYZ").error(),
              "Currency cannot be \u201CXYZ\u201D: choose USD, EUR, GBP, JPY, CHF, CAD, AUD, CNY, INR.");
}

TEST(SettingStore, KeysOfNoStoredSettingAreLeftToTheDocumentAndAFailedSaveIsSaid)
{
    ConfigHome home;
    EXPECT_EQ(store_text("default_apps.mime.text.html", "Browser"), Stored::NotStored);
    EXPECT_EQ(store_bool("notifications.do_not_disturb.edit", true), Stored::NotStored);
    EXPECT_FALSE(std::filesystem::exists(settings_path(home)));

    // The settings path is a folder: nothing can be written there.
    std::filesystem::create_directories(settings_path(home));
    const auto failed = store_bool("a11y.slow_keys", true);
    ASSERT_FALSE(failed);
    EXPECT_TRUE(failed.error().starts_with("Accessibility settings could not be saved: ")) << failed.error();
}

// A default application from automation becomes the personal default of its kind, whether or not the page is
// open; a text naming no installed application for the kind is refused with a sentence.
TEST(SettingStore, DefaultApplications)
{
    ConfigHome home;
    const auto data = home.path() / "data";
    const auto package = data / "vorn" / "packages" / "org.example.atlas";
    std::filesystem::create_directories(package);
    std::ofstream(package / "manifest.json")
        << R"({"name": "Atlas", "entrypoint": {"gui": "bin/atlas"}, "kinds": ["mime:text/html"]})";
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (home.path() / "none").c_str(), 1);

    EXPECT_EQ(store_text("default_apps.mime.text/html", "Atlas \u2014 org.example.atlas"), Stored::Saved);
    EXPECT_EQ(stored(home)["default_apps"]["mime:text/html"], "org.example.atlas");
    EXPECT_EQ(store_text("default_apps.mime.text/html", "Atlas \u2014 org.example.atlas"), Stored::Unchanged);
    const auto refused = store_text("default_apps.mime.text/html", "Atlas");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "\u201cAtlas\u201d is not an installed application for Web pages.");
    // A kind no installed application declares is left to the document.
    EXPECT_EQ(store_text("default_apps.scheme.mailto", "Mail \u2014 org.example.mail"), Stored::NotStored);

    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("XDG_DATA_DIRS");
}

}  // namespace
}  // namespace settings::setting_tables
