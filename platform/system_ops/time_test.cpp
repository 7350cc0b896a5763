#include "system_ops/test_tools.hpp"
#include "system_ops/time.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <time.h>

namespace system_ops::time {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::filesystem::path tzdata = "/usr/share/zoneinfo";

TEST(ZoneListTest, InstalledTzdataGivesTheZonesAndLinksTimedatedAccepts)
{
    if (!std::filesystem::exists(tzdata / "zone1970.tab")) {
        GTEST_SKIP() << "tzdata is not installed (" << tzdata << ")";
    }
    const auto zones = read_zone_list(tzdata);
    ASSERT_TRUE(zones.has_value()) << zones.error();

    EXPECT_TRUE(std::ranges::is_sorted(*zones));
    EXPECT_EQ(std::ranges::adjacent_find(*zones), zones->end()) << "duplicates";
    EXPECT_GT(zones->size(), 300U);
    for (const char* zone : {"UTC", "Europe/Berlin", "America/New_York", "Asia/Kolkata", "Pacific/Chatham",
                             "America/Argentina/Buenos_Aires"}) {
        EXPECT_TRUE(std::ranges::binary_search(*zones, std::string(zone))) << zone;
    }
    // The compiled variants and the data files are not zones.
    for (const auto& zone : *zones) {
        EXPECT_FALSE(zone.starts_with("posix/") || zone.starts_with("right/")) << zone;
        EXPECT_FALSE(zone.ends_with(".tab") || zone.ends_with(".zi") || zone == "leapseconds") << zone;
        EXPECT_TRUE(is_zone_name(zone)) << zone;
    }
}

class ZoneRoot : public system_ops::testing::FakeTools {
protected:
    void zone_file(const std::string& zone, const std::string& content = "TZif2 compiled data")
    {
        write(dir_ / "zoneinfo" / zone, content);
    }
    std::filesystem::path root() const { return dir_ / "zoneinfo"; }
};

TEST_F(ZoneRoot, ListKeepsOnlyNamesWithACompiledZoneFile)
{
    write(root() / "zone1970.tab",
          "# comment\tline\n"
          "DE,DK\t+5230+01322\tEurope/Berlin\n"
          "US\t+404251-0740023\tAmerica/New_York\tEastern (most areas)\n"
          "XX\t+0000+00000\tNowhere/Missing\n"
          "broken line without tabs\n");
    write(root() / "tzdata.zi", "# version test\nZ Europe/Berlin 0:53:28 - LMT 1893 Ap\nL America/New_York US/Eastern\n"
                                "L Europe/Berlin ../escape\n");
    zone_file("Europe/Berlin");
    zone_file("America/New_York");
    zone_file("US/Eastern");
    zone_file("UTC");
    zone_file("Nowhere/Missing", "not a zone file");

    const auto zones = read_zone_list(root());
    ASSERT_TRUE(zones.has_value()) << zones.error();
    EXPECT_THAT(*zones, ElementsAre("America/New_York", "Europe/Berlin", "US/Eastern", "UTC"));
}

TEST_F(ZoneRoot, MissingZoneTableIsAnErrorNotAnEmptyList)
{
    const auto zones = read_zone_list(root());
    ASSERT_FALSE(zones.has_value());
    EXPECT_THAT(zones.error(), HasSubstr("could not read the time zone list"));
    EXPECT_THAT(zones.error(), HasSubstr("zone1970.tab"));
}

TEST(ZoneNameTest, OnlyPlainZoneIdentifiersPass)
{
    struct Case {
        std::string zone;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"Europe/Berlin", true},       {"America/Port-au-Prince", true}, {"Etc/GMT-14", true},
        {"Etc/GMT+5", true},           {"UTC", true},                    {"America/Argentina/Buenos_Aires", true},
        {"", false},                   {"/etc/passwd", false},           {"../../etc/shadow", false},
        {"Europe/../../x", false},     {"Europe//Berlin", false},        {"Europe/Berlin/", false},
        {"--help", false},             {"Europe/-x", false},             {"Europe/Ber lin", false},
        {"Europe/Berlin\n", false},    {"Europe/Berlin;id", false},      {"Éurope/Berlin", false},
        {std::string(256, 'a'), false}, {std::string(255, 'a'), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_zone_name(c.zone), c.valid) << c.zone;
    }
}

class TimedatectlTest : public ZoneRoot {
protected:
    void SetUp() override
    {
        ZoneRoot::SetUp();
        write(root() / "zone1970.tab", "DE\t+5230+01322\tEurope/Berlin\n");
        zone_file("Europe/Berlin");
        zone_file("UTC");
    }
    TimedatectlTime backend() { return TimedatectlTime(cmd_runner::system_runner(), {.zoneinfo_root = root()}); }
};

TEST_F(TimedatectlTest, SetTimezoneRunsTimedatectlWithTheZone)
{
    tool("timedatectl", {{.args = "set-timezone Europe/Berlin"}});
    auto time = backend();
    const auto result = time.set_timezone("Europe/Berlin");
    EXPECT_TRUE(result.has_value()) << result.error();
    EXPECT_THAT(call_lines(), ElementsAre("timedatectl set-timezone Europe/Berlin"));
}

TEST_F(TimedatectlTest, ZonesOutsideTheListNeverReachACommand)
{
    tool("timedatectl", {{.args = "*"}});
    auto time = backend();
    for (const char* zone : {"Mars/Olympus", "--help", "../../etc/passwd", "Europe/Berlin; reboot", ""}) {
        const auto result = time.set_timezone(zone);
        EXPECT_FALSE(result.has_value()) << zone;
    }
    EXPECT_EQ(time.set_timezone("Mars/Olympus").error(), "time zone Mars/Olympus is not installed on this device");
    EXPECT_EQ(time.set_timezone("--help").error(), "\"--help\" is not a time zone name");
    EXPECT_THAT(calls(), IsEmpty());
}

TEST_F(TimedatectlTest, FailuresCarryTheToolsMessage)
{
    tool("timedatectl",
         {{.args = "set-timezone Europe/Berlin",
           .err = "Failed to set time zone: Access denied\n",
           .code = 1},
          {.args = "set-ntp true",
           .err = "System has not been booted with systemd as init system (PID 1). Can't operate.\n"
                  "Failed to connect to bus: Host is down\n",
           .code = 1}});
    auto time = backend();
    EXPECT_EQ(time.set_timezone("Europe/Berlin").error(), "Failed to set time zone: Access denied");
    EXPECT_EQ(time.set_ntp(true).error(),
              "System has not been booted with systemd as init system (PID 1). Can't operate. Failed to connect to "
              "bus: Host is down");
}

TEST_F(TimedatectlTest, MissingToolIsReported)
{
    // bin/ has no timedatectl; PATH still holds the system directories, so hide them for this call.
    const char* saved = std::getenv("PATH");
    const std::string old = saved != nullptr ? saved : "";
    ::setenv("PATH", (dir_ / "bin").c_str(), 1);
    auto time = backend();
    const auto result = time.set_ntp(false);
    ::setenv("PATH", old.c_str(), 1);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), "timedatectl not found");
}

TEST_F(TimedatectlTest, StatusComesFromTimedatectlShow)
{
    tool("timedatectl", {{.args = "show",
                          .out = "Timezone=Europe/Berlin\nLocalRTC=no\nCanNTP=yes\nNTP=yes\nNTPSynchronized=no\n"
                                 "TimeUSec=Thu 2024-05-02 10:00:00 CEST\nRTCTimeUSec=Thu 2024-05-02 08:00:00 CEST\n"},
                         {.args = "show-timesync --property=ServerName --value", .out = "0.debian.pool.ntp.org\n"},
                         {.args = "show --property=NTP --value", .out = "yes\n"}});
    auto time = backend();
    const auto status = time.get_time_sync_status();
    ASSERT_TRUE(status.has_value()) << status.error();
    EXPECT_EQ(*status, (TimeSyncStatus{.zone = "Europe/Berlin",
                                       .ntp_server = "0.debian.pool.ntp.org",
                                       .ntp_enabled = true,
                                       .synchronized = false}));
    EXPECT_EQ(time.get_ntp(), true);
}

TEST_F(TimedatectlTest, UnreportedMembersStayEmpty)
{
    // No zone configured, an unknown NTP word, no NTPSynchronized line, and no timesyncd to ask for the server.
    tool("timedatectl",
         {{.args = "show", .out = "Timezone=\nLocalRTC=no\nNTP=maybe\n"},
          {.args = "show-timesync --property=ServerName --value",
           .err = "Failed to query server: Unit dbus-org.freedesktop.timesync1.service not found.\n",
           .code = 1},
          {.args = "show --property=NTP --value", .out = "n/a\n"}});
    auto time = backend();
    const auto status = time.get_time_sync_status();
    ASSERT_TRUE(status.has_value()) << status.error();
    EXPECT_EQ(*status, TimeSyncStatus{});
    const auto ntp = time.get_ntp();
    ASSERT_FALSE(ntp.has_value());
    EXPECT_THAT(ntp.error(), HasSubstr("unreadable NTP state"));
}

TEST(ClockFormatTest, TwelveAndTwentyFourHourClocksAndTheDate)
{
    struct Case {
        int hour;
        int minute;
        std::string h24;
        std::string h12;
    };
    for (const auto& c : std::vector<Case>{{0, 5, "00:05", "12:05 AM"},
                                           {9, 30, "09:30", "9:30 AM"},
                                           {12, 0, "12:00", "12:00 PM"},
                                           {23, 59, "23:59", "11:59 PM"}}) {
        std::tm local{};
        local.tm_hour = c.hour;
        local.tm_min = c.minute;
        EXPECT_EQ(format_clock(local, true), c.h24);
        EXPECT_EQ(format_clock(local, false), c.h12);
    }
    std::tm day{};
    day.tm_year = 124;
    day.tm_mon = 4;
    day.tm_mday = 2;
    day.tm_wday = 4;
    EXPECT_EQ(format_date(day), "Thursday, 2 May 2024");
}

TEST(ClockFormatTest, TheClockFollowsAChangedTimeZoneWithoutARestart)
{
    const char* saved = std::getenv("TZ");
    const std::optional<std::string> old = saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
    TimedatectlTime time(cmd_runner::system_runner());
    const auto hour_in = [&](const char* zone) {
        ::setenv("TZ", zone, 1);
        const auto clock = time.now_clock(true);
        EXPECT_TRUE(clock.has_value());
        return clock ? std::stoi(clock->substr(0, 2)) : -1;
    };
    int utc = 0;
    int east = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        utc = hour_in("UTC0");
        east = hour_in("UTC-5");  // POSIX form: five hours east of UTC
        if (hour_in("UTC0") == utc) {
            break;  // no hour began between the readings
        }
    }
    if (old) {
        ::setenv("TZ", old->c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
    EXPECT_EQ((east - utc + 24) % 24, 5);
}

TEST(CurrentTimeServiceTest, FreeFunctionsReachTheImplementationInPlace)
{
    auto fake = std::make_shared<FakeTime>();
    {
        const ScopedCurrent<TimeService> guard(fake);
        EXPECT_TRUE(set_timezone("Europe/Berlin").has_value());
        EXPECT_EQ(set_timezone("Mars/Olympus").error(), "time zone Mars/Olympus is not installed on this device");
        EXPECT_TRUE(set_ntp(false).has_value());
        EXPECT_EQ(get_time_sync_status()->zone, "Europe/Berlin");
        EXPECT_EQ(get_ntp(), false);
    }
    EXPECT_THAT(fake->state().timezones_set, ElementsAre("Europe/Berlin"));
    EXPECT_THAT(fake->state().ntp_set, ElementsAre(false));
    EXPECT_NE(current(), fake);
    EXPECT_NE(dynamic_cast<TimedatectlTime*>(current().get()), nullptr);
}

}  // namespace
}  // namespace system_ops::time
