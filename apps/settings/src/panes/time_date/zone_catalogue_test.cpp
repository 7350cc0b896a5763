// The zone catalogue: ISO 6709 coordinates, the zone table's lines, the order of the cities, and the machine's own
// tzdata.

#include "panes/time_date/zone_catalogue.hpp"
#include "system_ops/time.hpp"
#include "test_support/temp_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

namespace settings::panes::time_date {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> zones_of(const std::vector<TimeZoneCity>& cities)
{
    std::vector<std::string> zones;
    for (const auto& city : cities) {
        zones.push_back(city.zone);
    }
    return zones;
}

TEST(Iso6709, ReadsDegreesMinutesAndSecondsAndRefusesEverythingElse)
{
    struct Case {
        std::string text;
        bool latitude;
        std::optional<double> degrees;
    };
    const std::vector<Case> cases = {
        {"+4030", true, 40.5},
        {"-07400", false, -74.0},
        {"+403026", true, 40.5 + 26.0 / 3600.0},
        {"-0740023", false, -(74.0 + 23.0 / 3600.0)},
        {"+9000", true, 90.0},
        {"-9000", true, -90.0},
        {"+18000", false, 180.0},
        {"-1800000", false, -180.0},
        {"+0000", true, 0.0},
        {"-0000", true, 0.0},
        {"+9100", true, std::nullopt},     // beyond the pole
        {"+9001", true, std::nullopt},     // 90° and a minute
        {"+900001", true, std::nullopt},   // 90° and a second
        {"+18001", false, std::nullopt},
        {"+4060", true, std::nullopt},     // sixty minutes
        {"+403060", true, std::nullopt},   // sixty seconds
        {"+40300", true, std::nullopt},    // five characters after the sign
        {"+403", true, std::nullopt},
        {"-0740", false, std::nullopt},    // four for a longitude
        {"-074000", false, std::nullopt},  // six for a longitude
        {"4030", true, std::nullopt},      // no sign
        {"", true, std::nullopt},
        {"+", true, std::nullopt},
        {"+4a30", true, std::nullopt},
        {"+1.530", true, std::nullopt},    // a fraction is not ISO 6709's basic form
        {"+inf00", false, std::nullopt},
        {"++030", true, std::nullopt},
        {"+4\xC3\xA9", true, std::nullopt},  // a two-byte character in the degrees
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto degrees = parse_iso6709(c.text, c.latitude);
        ASSERT_EQ(degrees.has_value(), c.degrees.has_value());
        if (degrees) {
            EXPECT_DOUBLE_EQ(*degrees, *c.degrees);
        }
    }
}

TEST(ZoneTable, LinesBecomeCitiesOfInstalledZonesOnly)
{
    const std::string table =
        "# tzdb timezone descriptions\n"
        "#\n"
        "US\t+404251-0740023\tAmerica/New_York\tEastern (most areas)\n"
        "AR\t-3436-05827\tAmerica/Argentina/Buenos_Aires\tBuenos Aires (BA, CF)\n"
        "   \t \n"
        "\n"
        "DE,DK\t+5230+01322\tEurope/Berlin\r\n"        // a line ending of another system
        "XX\t+0000+00000\tNowhere/Missing\n"            // not installed
        "XX\t+0000+00000\tUTC\n"                        // no region and place
        "XX\t+0000\tEtc/NoLongitude\n"                  // no second sign
        "XX\t+4030-07400\n"                             // two fields
        "XX\t+9500+01000\tAsia/Bad_Latitude\n"
        "XX\t+0100+10000\tAsia/Trailing_Tab\t\n"       // an empty comment
        "GB\t+513030-0000731\tEurope/London\n";
    const std::vector<std::string> installed = {"America/New_York", "America/Argentina/Buenos_Aires", "Europe/Berlin",
                                                "UTC", "Etc/NoLongitude", "Europe/London", "Asia/Bad_Latitude",
                                                "Asia/Trailing_Tab"};
    const auto cities = parse_zone_table(table, installed);

    // West to east.
    EXPECT_THAT(zones_of(cities), ElementsAre("America/New_York", "America/Argentina/Buenos_Aires", "Europe/London",
                                              "Europe/Berlin", "Asia/Trailing_Tab"));
    EXPECT_EQ(cities[0], (TimeZoneCity{.zone = "America/New_York",
                                       .region = "America",
                                       .place = "New York",
                                       .latitude = 40'714'167,     // 40° 42' 51"
                                       .longitude = -74'006'389}));  // 74° 0' 23" west
    EXPECT_EQ(cities[1].region, "America");
    EXPECT_EQ(cities[1].place, "Argentina · Buenos Aires");
    EXPECT_EQ(cities[1].latitude, -34'600'000);
    EXPECT_EQ(cities[3].latitude, 52'500'000);
    EXPECT_EQ(cities[3].longitude, 13'366'667);
}

TEST(ZoneTable, OnlyTheFirstLineOfAZoneCountsEvenWhenItsCoordinatesAreBad)
{
    const std::string table = "XX\t+9100+00000\tEurope/Berlin\n"
                              "DE\t+5230+01322\tEurope/Berlin\n"
                              "FR\t+4852+00220\tEurope/Paris\n"
                              "FR\t+0000+00000\tEurope/Paris\n";
    const auto cities = parse_zone_table(table, {"Europe/Berlin", "Europe/Paris"});
    ASSERT_THAT(zones_of(cities), ElementsAre("Europe/Paris"));
    EXPECT_EQ(cities[0].latitude, 48'866'667);
}

TEST(ZoneTable, SortsByLongitudeThenNorthFirstThenName)
{
    const std::string table = "A\t+1000+01000\tZone/South_Same_Place\n"
                              "A\t+2000+01000\tZone/North\n"
                              "A\t+1000+01000\tZone/A_Same_Place\n"
                              "A\t+5000-01000\tZone/West\n"
                              "A\t+0000+17959\tZone/East\n";
    const auto cities =
        parse_zone_table(table, {"Zone/South_Same_Place", "Zone/North", "Zone/A_Same_Place", "Zone/West", "Zone/East"});
    EXPECT_THAT(zones_of(cities), ElementsAre("Zone/West", "Zone/North", "Zone/A_Same_Place", "Zone/South_Same_Place",
                                              "Zone/East"));
}

TEST(ZoneTable, Zone1970TabFirstThenZoneTabThenNothing)
{
    test_support::TempDir root("vorn-zones");
    const auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(root.path() / name, std::ios::binary) << text;
    };
    const std::vector<std::string> installed = {"Europe/Berlin", "Europe/Amsterdam"};

    EXPECT_THAT(parse_zone1970_tab(installed, root.path()), IsEmpty());

    write("zone.tab", "NL\t+5222+00454\tEurope/Amsterdam\n");
    EXPECT_THAT(zones_of(parse_zone1970_tab(installed, root.path())), ElementsAre("Europe/Amsterdam"));

    // A table that is not text is not read; the older table stands in.
    write("zone1970.tab", "DE\t+5230+01322\tEurope/Berlin\n\xFF\xFE\n");
    EXPECT_THAT(zones_of(parse_zone1970_tab(installed, root.path())), ElementsAre("Europe/Amsterdam"));

    write("zone1970.tab", "DE\t+5230+01322\tEurope/Berlin\n");
    EXPECT_THAT(zones_of(parse_zone1970_tab(installed, root.path())), ElementsAre("Europe/Berlin"));
}

TEST(ZoneTable, TheMachinesTzdata)
{
    const std::filesystem::path zoneinfo(kZoneinfoRoot);
    if (!std::filesystem::exists(zoneinfo / "zone1970.tab")) {
        GTEST_SKIP() << "tzdata is not installed (" << zoneinfo << ")";
    }
    const auto installed = system_ops::time::read_zone_list(zoneinfo);
    ASSERT_TRUE(installed.has_value()) << installed.error();
    const auto cities = parse_zone1970_tab(*installed);
    ASSERT_GT(cities.size(), 200U) << "zone1970.tab places a few hundred zones";

    std::set<std::string> seen;
    for (const auto& city : cities) {
        SCOPED_TRACE(city.zone);
        EXPECT_TRUE(seen.insert(city.zone).second) << "a zone appears once";
        EXPECT_TRUE(std::ranges::binary_search(*installed, city.zone)) << "only installed zones";
        EXPECT_TRUE(std::filesystem::is_regular_file(zoneinfo / city.zone)) << "its compiled zone file exists";
        EXPECT_LE(std::abs(city.latitude), 90'000'000);
        EXPECT_LE(std::abs(city.longitude), 180'000'000);
        EXPECT_FALSE(city.region.empty());
        EXPECT_FALSE(city.place.empty());
        EXPECT_EQ(city.region.find('_'), std::string::npos);
        EXPECT_EQ(city.place.find('/'), std::string::npos);
    }
    EXPECT_TRUE(std::ranges::is_sorted(cities, {}, city_sort_key));
    // Every zone the table names and the machine has is on the map: the table's own rows, counted by hand.
    std::ifstream in(zoneinfo / "zone1970.tab");
    std::set<std::string> listed;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto first = line.find('\t');
        const auto second = line.find('\t', first + 1);
        const auto zone = line.substr(second + 1, line.find('\t', second + 1) - second - 1);
        if (std::ranges::binary_search(*installed, zone)) {
            listed.insert(zone);
        }
    }
    EXPECT_EQ(seen, listed);
    const auto buenos_aires = std::ranges::find(cities, "America/Argentina/Buenos_Aires", &TimeZoneCity::zone);
    ASSERT_NE(buenos_aires, cities.end());
    EXPECT_EQ(buenos_aires->place, "Argentina · Buenos Aires");
}

}  // namespace
}  // namespace settings::panes::time_date
