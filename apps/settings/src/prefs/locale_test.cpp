// The clock format is saved on its own: a locale this version reads only in part keeps everything else it holds.

#include "prefs/locale.hpp"
#include "prefs/test_support.hpp"

#include <gtest/gtest.h>

namespace settings::prefs {
namespace {

using testing::ConfigHome;
using testing::read_file;
using testing::write_file;

TEST(ClockFormatSave, WritesOnlyTheClockFormatOfAStoredLocale)
{
    ConfigHome home;
    // A newer program stored a currency this one does not know and a member it never heard of.
    write_file(home.settings_file(),
               R"({"audio": {"volume": 0.5}, "version": 3, "locale": {"currency": "SEK", "date_format": "EU", )"
               R"("time_format": "H24", "measurement": "Imperial", "calendar": "iso8601"}})");
    const Locale read = load_locale();
    EXPECT_EQ(read.currency, Currency::USD) << "an unknown value takes its default";
    EXPECT_EQ(read.date_format, DateFormat::EU) << "the fields beside it are kept";
    EXPECT_EQ(read.measurement, Measurement::Imperial);

    ASSERT_TRUE(save_time_format(HourCycle::H12));
    const Json after = Json::parse(read_file(home.settings_file()));
    EXPECT_EQ(after.dump(), R"({"audio":{"volume":0.5},"version":1,"locale":{"currency":"SEK","date_format":"EU",)"
                            R"("time_format":"H12","measurement":"Imperial","calendar":"iso8601"}})");
    EXPECT_EQ(load_locale(), (Locale{.date_format = DateFormat::EU,
                                     .time_format = HourCycle::H12,
                                     .measurement = Measurement::Imperial}));
}

TEST(ClockFormatSave, WritesAWholeLocaleWhereThereIsNone)
{
    struct Case {
        const char* name;
        std::optional<std::string> file;  // none: no settings file yet
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"no file", std::nullopt,
         R"({"version":1,"locale":{"currency":"USD","date_format":"ISO","time_format":"H12",)"
         R"("measurement":"Metric","number_style":"DecimalPoint","first_day_of_week":"Monday"}})"},
        {"no locale member", R"({"power": {"lock_minutes": 2}})",
         R"({"power":{"lock_minutes":2},"version":1,"locale":{"currency":"USD","date_format":"ISO",)"
         R"("time_format":"H12","measurement":"Metric","number_style":"DecimalPoint","first_day_of_week":"Monday"}})"},
        {"positional locale", R"({"locale": ["EUR", "Long"]})",
         R"({"locale":{"currency":"EUR","date_format":"Long","time_format":"H12","measurement":"Metric",)"
         R"("number_style":"DecimalPoint","first_day_of_week":"Monday"},"version":1})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigHome home;
        if (c.file) {
            write_file(home.settings_file(), *c.file);
        }
        ASSERT_TRUE(save_time_format(HourCycle::H12));
        EXPECT_EQ(Json::parse(read_file(home.settings_file())).dump(), c.expected);
    }
}

TEST(ClockFormatSave, WithoutAConfigDirectoryItSaysSo)
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string saved_config = config ? config : "";
    const std::string saved_home = home ? home : "";
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");
    const auto saved = save_time_format(HourCycle::H24);
    if (config) {
        ::setenv("XDG_CONFIG_HOME", saved_config.c_str(), 1);
    }
    if (home) {
        ::setenv("HOME", saved_home.c_str(), 1);
    }
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), "no config dir");
}

// A page saves what it changed: only those fields of the stored locale are written, so what this version cannot read
// (a newer currency, a member it never heard of) stays, and so does every other member of the file in its order.
TEST(LocaleChanges, WritesOnlyTheChangedFields)
{
    struct Case {
        const char* name;
        std::optional<std::string> file;  // none: no settings file yet
        std::string expected;
    };
    const Locale shown{.date_format = DateFormat::EU};
    const Locale changed{.currency = Currency::EUR, .date_format = DateFormat::EU,
                         .first_day_of_week = Weekday::Sunday};
    const std::vector<Case> cases = {
        {"newer values kept", R"({"audio": {"volume": 0.5}, "version": 3, "locale": {"currency": "SEK", )"
                              R"("date_format": "EU", "calendar": "iso8601"}, "power": {}})",
         R"({"audio":{"volume":0.5},"version":1,"locale":{"currency":"EUR","date_format":"EU",)"
         R"("calendar":"iso8601","first_day_of_week":"Sunday"},"power":{}})"},
        {"no file", std::nullopt,
         R"({"version":1,"locale":{"currency":"EUR","date_format":"ISO","time_format":"H24","measurement":"Metric",)"
         R"("number_style":"DecimalPoint","first_day_of_week":"Sunday"}})"},
        {"locale not an object", R"({"locale": "EU", "audio": {}})",
         R"({"locale":{"currency":"EUR","date_format":"ISO","time_format":"H24","measurement":"Metric",)"
         R"("number_style":"DecimalPoint","first_day_of_week":"Sunday"},"audio":{},"version":1})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigHome home;
        if (c.file) {
            write_file(home.settings_file(), *c.file);
        }
        ASSERT_TRUE(save_locale_changes(shown, changed));
        EXPECT_EQ(Json::parse(read_file(home.settings_file())).dump(), c.expected);
    }
}

// A settings file that is no JSON object becomes one holding "version" and "locale"; the old text is kept aside.
TEST(LocaleChanges, AnArrayFileIsReplacedAndKeptAside)
{
    ConfigHome home;
    write_file(home.settings_file(), "[1, 2, 3]");
    ASSERT_TRUE(save_locale_changes(Locale{}, Locale{.currency = Currency::CHF}));
    EXPECT_EQ(Json::parse(read_file(home.settings_file())).dump(),
              R"({"version":1,"locale":{"currency":"CHF","date_format":"ISO","time_format":"H24",)"
              R"("measurement":"Metric","number_style":"DecimalPoint","first_day_of_week":"Monday"}})");
    bool kept = false;
    for (const auto& entry : std::filesystem::directory_iterator(home.settings_file().parent_path())) {
        kept = kept || (entry.path().filename().string().starts_with("settings.json.corrupt-") &&
                        read_file(entry.path()) == "[1, 2, 3]");
    }
    EXPECT_TRUE(kept) << "the array is kept beside the file";
}

TEST(LocaleChanges, NothingChangedWritesNothing)
{
    ConfigHome home;
    EXPECT_TRUE(save_locale_changes(Locale{}, Locale{}));
    EXPECT_FALSE(std::filesystem::exists(home.settings_file()));
}

}  // namespace
}  // namespace settings::prefs
