#include "prefs/locale.hpp"

#include "config_sections/config_sections.hpp"
#include "json_text/record.hpp"

namespace settings::prefs {

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
    return json_text::decode<Locale>(*it).value_or(Locale{});
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

}  // namespace settings::prefs
