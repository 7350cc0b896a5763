#pragma once
// The cities of the time-zone map: every installed zone that tzdata's zone table places on the globe, with its
// coordinates, sorted west to east.
//
// The table is "zone1970.tab" of the zoneinfo folder, else the older "zone.tab"; its lines are
//   country codes <TAB> coordinates <TAB> zone [<TAB> comment]
// with coordinates in ISO 6709 degrees-minutes[-seconds] form: "+4030-07400" or "+403026-0740023".
// Only zones of the installed list are taken, each once (its first line counts, even when that line's coordinates
// do not read), and only zones with a "/" (a region and a place).
//
//   auto zones = system_ops::time::list_timezones();
//   std::vector<TimeZoneCity> cities = parse_zone1970_tab(zones.value_or({}));

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace settings::panes::time_date {

inline constexpr std::string_view kZoneinfoRoot = "/usr/share/zoneinfo";

// One dot of the map.
struct TimeZoneCity {
    std::string zone;    // "America/Argentina/Buenos_Aires", exactly as in the table
    std::string region;  // "America": before the first "/", "_" shown as a blank
    std::string place;   // "Argentina · Buenos Aires": after it, "_" as a blank and "/" as " · "
    std::int32_t latitude = 0;   // micro-degrees, north positive
    std::int32_t longitude = 0;  // micro-degrees, east positive

    [[nodiscard]] double latitude_degrees() const { return latitude / 1'000'000.0; }
    [[nodiscard]] double longitude_degrees() const { return longitude / 1'000'000.0; }

    friend bool operator==(const TimeZoneCity&, const TimeZoneCity&) = default;
};

// One coordinate in ISO 6709 form: a sign, then degrees (2 digits for a latitude, 3 for a longitude), minutes (2)
// and optionally seconds (2). Signed degrees, or none when the text is not of that form or out of range (more than
// 90° of latitude or 180° of longitude, minutes or seconds of 60 or more).
[[nodiscard]] std::optional<double> parse_iso6709(std::string_view text, bool latitude);

// The region and place of a zone identifier with a "/" (see TimeZoneCity).
[[nodiscard]] std::string zone_region(std::string_view zone);
[[nodiscard]] std::string zone_place(std::string_view zone);

// The order of the catalogue: longitude ascending (west to east), then latitude descending (north first), then the
// zone by byte order.
[[nodiscard]] inline auto city_sort_key(const TimeZoneCity& city)
{
    return std::tuple(city.longitude, -static_cast<std::int64_t>(city.latitude), std::string_view(city.zone));
}

// The cities of a zone table's text, for the installed zones, in catalogue order.
[[nodiscard]] std::vector<TimeZoneCity> parse_zone_table(std::string_view table,
                                                         const std::vector<std::string>& installed);

// The cities of the machine's zone table ("zone1970.tab" in `zoneinfo_root`, else "zone.tab"); empty when neither
// can be read.
[[nodiscard]] std::vector<TimeZoneCity> parse_zone1970_tab(const std::vector<std::string>& installed,
                                                           const std::filesystem::path& zoneinfo_root = kZoneinfoRoot);

}  // namespace settings::panes::time_date
