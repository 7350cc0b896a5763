#include "panes/time_date/zone_catalogue.hpp"

#include "system_ops/time.hpp"
#include "text_utf8/text_utf8.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <unordered_set>

namespace settings::panes::time_date {

namespace {

// The value of a run of ASCII digits, none when any character is not one. Degrees, minutes and seconds are whole
// numbers in ISO 6709's basic form; reading them digit by digit keeps out "1.5", "inf" or a second sign.
std::optional<int> digits_value(std::string_view text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string replace_all(std::string text, std::string_view from, std::string_view to)
{
    std::size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

std::int32_t micro_degrees(double degrees)
{
    // std::llround rounds halves away from zero.
    return static_cast<std::int32_t>(std::llround(degrees * 1'000'000.0));
}

bool blank(std::string_view line)
{
    return std::ranges::all_of(line, [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; });
}

// The whole text of a file that is UTF-8 throughout; none otherwise.
std::optional<std::string> read_text(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || !text_utf8::valid(text)) {
        return std::nullopt;
    }
    return text;
}

struct TableReader {
    std::unordered_set<std::string_view> installed;
    std::unordered_set<std::string> taken;
    std::vector<TimeZoneCity> cities;

    void line(std::string_view line)
    {
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.starts_with('#') || blank(line)) {
            return;
        }
        const auto fields = system_ops::time::split_zone_table_line(line);
        if (!fields) {
            return;
        }
        const std::string_view coordinates = fields->coordinates;
        const std::string_view zone = fields->zone;
        if (!installed.contains(zone)) {
            return;
        }
        // Taken before its coordinates are read: only the first line naming a zone is ever considered.
        if (!taken.emplace(zone).second) {
            return;
        }
        const auto second_sign = coordinates.find_first_of("+-", 1);
        if (coordinates.empty() || second_sign == std::string_view::npos) {
            return;
        }
        const auto latitude = parse_iso6709(coordinates.substr(0, second_sign), true);
        if (!latitude) {
            return;
        }
        const auto longitude = parse_iso6709(coordinates.substr(second_sign), false);
        if (!longitude || zone.find('/') == std::string_view::npos) {
            return;
        }
        cities.push_back(TimeZoneCity{.zone = std::string(zone),
                                      .region = zone_region(zone),
                                      .place = zone_place(zone),
                                      .latitude = micro_degrees(*latitude),
                                      .longitude = micro_degrees(*longitude)});
    }
};

}  // namespace

std::optional<double> parse_iso6709(std::string_view text, bool latitude)
{
    if (text.empty()) {
        return std::nullopt;
    }
    double sign = 1.0;
    if (text.front() == '+') {
        sign = 1.0;
    } else if (text.front() == '-') {
        sign = -1.0;
    } else {
        return std::nullopt;
    }
    const std::string_view rest = text.substr(1);
    const std::size_t degree_digits = latitude ? 2 : 3;
    if (rest.size() != degree_digits + 2 && rest.size() != degree_digits + 4) {
        return std::nullopt;
    }
    const auto degrees = digits_value(rest.substr(0, degree_digits));
    const auto minutes = digits_value(rest.substr(degree_digits, 2));
    const auto seconds = rest.size() == degree_digits + 4 ? digits_value(rest.substr(degree_digits + 2, 2)) : 0;
    if (!degrees || !minutes || !seconds) {
        return std::nullopt;
    }
    const int limit = latitude ? 90 : 180;
    if (*degrees > limit || *minutes >= 60 || *seconds >= 60) {
        return std::nullopt;
    }
    const double value = *degrees + *minutes / 60.0 + *seconds / 3600.0;
    if (value > limit) {
        return std::nullopt;
    }
    return sign * value;
}

std::string zone_region(std::string_view zone)
{
    return replace_all(std::string(zone.substr(0, zone.find('/'))), "_", " ");
}

std::string zone_place(std::string_view zone)
{
    const auto slash = zone.find('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    return replace_all(replace_all(std::string(zone.substr(slash + 1)), "_", " "), "/", " · ");
}

std::vector<TimeZoneCity> parse_zone_table(std::string_view table, const std::vector<std::string>& installed)
{
    TableReader reader;
    reader.installed.reserve(installed.size());
    for (const auto& zone : installed) {
        reader.installed.insert(zone);
    }
    std::size_t start = 0;
    while (start < table.size()) {
        auto end = table.find('\n', start);
        if (end == std::string_view::npos) {
            end = table.size();
        }
        reader.line(table.substr(start, end - start));
        start = end + 1;
    }
    std::ranges::stable_sort(reader.cities, {}, city_sort_key);
    return std::move(reader.cities);
}

std::vector<TimeZoneCity> parse_zone1970_tab(const std::vector<std::string>& installed,
                                             const std::filesystem::path& zoneinfo_root)
{
    for (const char* name : {"zone1970.tab", "zone.tab"}) {
        if (const auto text = read_text(zoneinfo_root / name)) {
            return parse_zone_table(*text, installed);
        }
    }
    return {};
}

}  // namespace settings::panes::time_date
