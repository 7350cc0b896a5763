#include "config_sections/notification_policy.hpp"

#include "json_text/record.hpp"

namespace config_sections::notification_policy {

void to_json(Json& j, const FocusSchedule& value)
{
    j = Json::object();
    j["enabled"] = value.enabled;
    j["start_minute"] = value.start_minute;
    j["end_minute"] = value.end_minute;
    j["weekdays"] = value.weekdays;
    j["allow_priority"] = value.allow_priority;
}

json_text::Status read_value(const Json& v, FocusSchedule& out)
{
    FocusSchedule value;
    json_text::RecordReader r(v, "FocusSchedule", 5);
    r.defaulted("enabled", value.enabled)
        .defaulted("start_minute", value.start_minute)
        .defaulted("end_minute", value.end_minute)
        .defaulted("weekdays", value.weekdays)
        .defaulted("allow_priority", value.allow_priority);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = value;
    return {};
}

void to_json(Json& j, const AppNotificationRule& value)
{
    using json_text::value_or_null;
    j = Json::object();
    j["banners"] = value_or_null(value.banners);
    j["sounds"] = value_or_null(value.sounds);
    j["badges"] = value_or_null(value.badges);
    j["previews"] = value_or_null(value.previews);
    j["lock_screen"] = value_or_null(value.lock_screen);
    j["cross_device"] = value_or_null(value.cross_device);
    j["priority"] = value.priority;
    j["priority_contacts"] = value.priority_contacts;
    j["muted_until"] = value_or_null(value.muted_until);
}

json_text::Status read_value(const Json& v, AppNotificationRule& out)
{
    AppNotificationRule value;
    json_text::RecordReader r(v, "AppNotificationRule", 9);
    r.defaulted("banners", value.banners)
        .defaulted("sounds", value.sounds)
        .defaulted("badges", value.badges)
        .defaulted("previews", value.previews)
        .defaulted("lock_screen", value.lock_screen)
        .defaulted("cross_device", value.cross_device)
        .defaulted("priority", value.priority)
        .defaulted("priority_contacts", value.priority_contacts)
        .defaulted("muted_until", value.muted_until);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = value;
    return {};
}

}  // namespace config_sections::notification_policy
