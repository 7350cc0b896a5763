#include "prefs/locale.hpp"

#include "config_sections/config_sections.hpp"
#include "json_text/record.hpp"

namespace settings::prefs {

namespace {

template <class E>
void read_locale_field(const Json& locale, const char* name, E& out)
{
    const auto it = locale.find(name);
    if (it == locale.end()) {
        return;
    }
    if (auto value = json_text::decode<E>(*it)) {
        out = *value;
    }
}

// The stored locale, each member on its own: one that is missing or that this version cannot read (a newer
// currency, say) takes its default without taking the others with it.
Locale decode_locale_member(const Json& member)
{
    if (auto whole = json_text::decode<Locale>(member)) {
        return *whole;
    }
    Locale locale;
    if (!member.is_object()) {
        return locale;
    }
    read_locale_field(member, "currency", locale.currency);
    read_locale_field(member, "date_format", locale.date_format);
    read_locale_field(member, "time_format", locale.time_format);
    read_locale_field(member, "measurement", locale.measurement);
    read_locale_field(member, "number_style", locale.number_style);
    read_locale_field(member, "first_day_of_week", locale.first_day_of_week);
    return locale;
}

// Lets `write` set fields of the stored member, or, when the member is no object, writes the member whole: what
// could be read of it with those fields set.
template <class Write>
std::expected<std::filesystem::path, std::string> update_locale_fields(const std::filesystem::path& settings_file,
                                                                       Write write)
{
    return config_sections::update_json_file(settings_file, [&](Json& root) {
        root["version"] = 1;
        Json& member = root["locale"];
        if (member.is_object()) {
            write(member);
            return;
        }
        Locale whole = member.is_null() ? Locale{} : decode_locale_member(member);
        Json fields = Json::object();
        write(fields);
        // The fields written over what could be read of the old member.
        Json merged = whole;
        for (auto field = fields.begin(); field != fields.end(); ++field) {
            merged[field.key()] = field.value();
        }
        member = std::move(merged);
    });
}

}  // namespace

Locale load_locale(const std::filesystem::path& settings_file)
{
    const auto root = config_sections::read_json_object(settings_file);
    if (!root) {
        return {};
    }
    const auto it = root->find("locale");
    if (it == root->end()) {
        return {};
    }
    return decode_locale_member(*it);
}

Locale load_locale()
{
    const auto path = config_sections::settings_path();
    return path ? load_locale(*path) : Locale{};
}

std::expected<std::filesystem::path, std::string> save_locale(const Locale& locale,
                                                              const std::filesystem::path& settings_file)
{
    return config_sections::update_json_file(settings_file, [&](Json& root) {
        root["version"] = 1;
        root["locale"] = locale;
    });
}

std::expected<std::filesystem::path, std::string> save_locale(const Locale& locale)
{
    const auto path = config_sections::settings_path();
    if (!path) {
        return std::unexpected(std::string("no config dir"));
    }
    return save_locale(locale, *path);
}

std::expected<std::filesystem::path, std::string> save_locale_changes(const Locale& shown, const Locale& changed,
                                                                      const std::filesystem::path& settings_file)
{
    if (shown == changed) {
        return settings_file;
    }
    return update_locale_fields(settings_file, [&](Json& member) {
        if (shown.currency != changed.currency) {
            member["currency"] = changed.currency;
        }
        if (shown.date_format != changed.date_format) {
            member["date_format"] = changed.date_format;
        }
        if (shown.time_format != changed.time_format) {
            member["time_format"] = changed.time_format;
        }
        if (shown.measurement != changed.measurement) {
            member["measurement"] = changed.measurement;
        }
        if (shown.number_style != changed.number_style) {
            member["number_style"] = changed.number_style;
        }
        if (shown.first_day_of_week != changed.first_day_of_week) {
            member["first_day_of_week"] = changed.first_day_of_week;
        }
    });
}

std::expected<std::filesystem::path, std::string> save_locale_changes(const Locale& shown, const Locale& changed)
{
    const auto path = config_sections::settings_path();
    if (!path) {
        return std::unexpected(std::string("no config dir"));
    }
    return save_locale_changes(shown, changed, *path);
}

std::expected<std::filesystem::path, std::string> save_time_format(HourCycle time_format,
                                                                   const std::filesystem::path& settings_file)
{
    return config_sections::update_json_file(settings_file, [&](Json& root) {
        root["version"] = 1;
        Json& member = root["locale"];
        if (member.is_object()) {
            member["time_format"] = time_format;
            return;
        }
        Locale locale = member.is_null() ? Locale{} : decode_locale_member(member);
        locale.time_format = time_format;
        member = locale;
    });
}

std::expected<std::filesystem::path, std::string> save_time_format(HourCycle time_format)
{
    const auto path = config_sections::settings_path();
    if (!path) {
        return std::unexpected(std::string("no config dir"));
    }
    return save_time_format(time_format, *path);
}

}  // namespace settings::prefs
