#include "prefs/settings_file.hpp"

#include "prefs/save_failure.hpp"

#include "prefs/sections.hpp"

#include "config_sections/config_sections.hpp"
#include "config_sections/hardware.hpp"
#include "json_text/object_text.hpp"
#include "json_text/record.hpp"
#include "vorn_log/log.hpp"

#include <cmath>

namespace settings::prefs {
namespace {

const Json* member_of(const Json& root, std::string_view name)
{
    if (!root.is_object()) {
        return nullptr;
    }
    const auto it = root.find(name);
    return it == root.end() ? nullptr : &*it;
}

template <class R>
std::optional<R> decode_member(const Json& root, std::string_view name)
{
    const Json* member = member_of(root, name);
    if (member == nullptr) {
        return std::nullopt;
    }
    // Member by member: one that does not read falls back alone.
    return decode_section<R>(*member);
}

// "input" is decoded only from an object.
std::optional<InputPrefs> decode_input_member(const Json& root)
{
    const Json* stored = member_of(root, "input");
    if (stored == nullptr || !stored->is_object()) {
        return std::nullopt;
    }
    return decode_member<InputPrefs>(root, "input");
}

InputPrefs decode_input_section(const Json& root)
{
    const Json* stored = member_of(root, "input");
    InputPrefs input;
    if (auto decoded = decode_input_member(root)) {
        input = std::move(*decoded);
        // Files from before the per-device keys hold one "natural_scroll" flag for both devices.
        const auto stored_bool = [&](std::string_view key) -> std::optional<bool> {
            const auto it = stored->find(key);
            if (it != stored->end() && it->is_boolean()) {
                return it->get<bool>();
            }
            return std::nullopt;
        };
        const std::optional<bool> legacy = stored_bool("natural_scroll");
        const std::optional<bool> touchpad = stored_bool("touchpad_natural_scroll");
        const std::optional<bool> mouse = stored_bool("mouse_natural_scroll");
        input.natural_scroll = legacy.value_or(false);
        input.touchpad_natural_scroll = touchpad ? *touchpad : legacy.value_or(true);
        input.mouse_natural_scroll = mouse ? *mouse : legacy.value_or(false);
    }
    // Files from before the list of layouts hold only the active one: the list is rebuilt from it.
    const bool has_list = stored != nullptr && stored->is_object() &&
                          (stored->contains("keyboard_layouts") || stored->contains("layouts"));
    if (!has_list) {
        input.keyboard_layouts.clear();
    }
    normalise_input_sources(input);
    return input;
}

// --- numbers that are not finite never reach the file

void keep_finite(double& value, double previous, double fallback, std::string_view field)
{
    if (std::isfinite(value)) {
        return;
    }
    const double kept = std::isfinite(previous) ? previous : fallback;
    VORN_WARN("settings_file_save", "{} is not a finite number ({}); keeping {}", field, value, kept);
    value = kept;
}

void keep_finite(float& value, float previous, float fallback, std::string_view field)
{
    double wide = value;
    keep_finite(wide, previous, fallback, field);
    value = static_cast<float>(wide);
}

void keep_finite(std::optional<double>& value, const std::optional<double>& previous, std::string_view field)
{
    if (!value || std::isfinite(*value)) {
        return;
    }
    const bool previous_finite = previous && std::isfinite(*previous);
    VORN_WARN("settings_file_save", "{} is not a finite number ({}); keeping {}", field, *value,
              previous_finite ? fmt::format("{}", *previous) : std::string("none"));
    value = previous_finite ? previous : std::nullopt;
}

void keep_finite_fields(AudioPrefs& v, const AudioPrefs& previous)
{
    keep_finite(v.balance, previous.balance, AudioPrefs{}.balance, "audio.balance");
}

void keep_finite_fields(DisplayPrefs& v, const DisplayPrefs& previous)
{
    keep_finite(v.scale, previous.scale, DisplayPrefs{}.scale, "display.scale");
}

void keep_finite_fields(InputPrefs& v, const InputPrefs& previous)
{
    const InputPrefs defaults;
    keep_finite(v.pointer_speed, previous.pointer_speed, defaults.pointer_speed, "input.pointer_speed");
    keep_finite(v.touchpad_pointer_speed, previous.touchpad_pointer_speed, "input.touchpad_pointer_speed");
    keep_finite(v.mouse_pointer_speed, previous.mouse_pointer_speed, "input.mouse_pointer_speed");
    keep_finite(v.key_repeat, previous.key_repeat, defaults.key_repeat, "input.key_repeat");
}

void keep_finite_fields(AppearancePrefs& v, const AppearancePrefs& previous)
{
    const AppearancePrefs defaults;
    keep_finite(v.text_scale, previous.text_scale, defaults.text_scale, "appearance.text_scale");
    keep_finite(v.ui_scale, previous.ui_scale, defaults.ui_scale, "appearance.ui_scale");
}

template <class R>
void keep_finite_fields(R&, const R&)
{
}

enum class Merge { Whole, FieldByField };

// Writes one section into the stored object when the caller changed it since loading, or when the stored object
// lacks it or holds something that does not decode.
template <class R>
void merge_section(Json& root, std::string_view name, const R& section, const R* loaded,
                   const std::optional<R>& stored, Merge merge)
{
    const R& previous = stored ? *stored : loaded ? *loaded : R{};
    R value = section;
    keep_finite_fields(value, previous);
    const bool changed = loaded == nullptr || !(value == *loaded);
    if (!changed && stored) {
        return;
    }
    Json encoded = value;
    Json& member = root[std::string(name)];  // a new member goes to the end
    if (merge == Merge::Whole) {
        member = std::move(encoded);
        return;
    }
    if (!member.is_object()) {
        member = Json::object();
    }
    // Only the fields this record changed since it was loaded are written, so that another writer's change to a
    // different field of the same section survives. A stored section that does not decode was never in force:
    // every field is written, so that the file says what the record holds.
    const Json base = loaded != nullptr ? Json(*loaded) : Json();
    for (auto& [key, field] : encoded.items()) {
        if (stored && loaded != nullptr && member.contains(key) && base.contains(key) && base[key] == field) {
            continue;
        }
        member[key] = std::move(field);
    }
}

void merge_into(const SettingsFile& file, Json& root)
{
    const SettingsFile* loaded = file.loaded.get();
    const auto base = [&](auto member) { return loaded != nullptr ? &(loaded->*member) : nullptr; };

    root["version"] = 1;
    merge_section(root, "audio", file.audio, base(&SettingsFile::audio), decode_member<AudioPrefs>(root, "audio"),
                  Merge::Whole);
    merge_section(root, "display", file.display, base(&SettingsFile::display),
                  decode_member<DisplayPrefs>(root, "display"), Merge::Whole);
    merge_section(root, "input", file.input, base(&SettingsFile::input), decode_input_member(root), Merge::Whole);
    merge_section(root, "power", file.power, base(&SettingsFile::power), decode_member<PowerPrefs>(root, "power"),
                  Merge::Whole);
    merge_section(root, "updates", file.updates, base(&SettingsFile::updates),
                  decode_member<UpdatePrefs>(root, "updates"), Merge::Whole);
    merge_section(root, "appearance", file.appearance, base(&SettingsFile::appearance),
                  decode_member<AppearancePrefs>(root, "appearance"), Merge::FieldByField);
    merge_section(root, "notifications", file.notifications, base(&SettingsFile::notifications),
                  decode_member<NotificationPrefs>(root, "notifications"), Merge::Whole);
    merge_section(root, "accessibility", file.accessibility, base(&SettingsFile::accessibility),
                  decode_member<AccessibilityPrefs>(root, "accessibility"), Merge::Whole);
}

SettingsFile loaded_defaults()
{
    SettingsFile file;
    file.loaded = std::make_shared<const SettingsFile>();
    return file;
}

}  // namespace

bool operator==(const SettingsFile& a, const SettingsFile& b)
{
    return a.audio == b.audio && a.display == b.display && a.input == b.input && a.power == b.power &&
           a.updates == b.updates && a.appearance == b.appearance && a.notifications == b.notifications &&
           a.accessibility == b.accessibility;
}

void normalise_input_sources(InputPrefs& input)
{
    config_sections::hardware::RichInputConfig config;
    config.keyboard_layout = input.keyboard_layout;
    config.keyboard_layouts = input.keyboard_layouts;
    config.flat_acceleration = input.accel_profile == "flat";
    config.normalise_sources();
    input.keyboard_layout = std::move(config.keyboard_layout);
    input.keyboard_layouts = std::move(config.keyboard_layouts);
}

SettingsFile parse_settings_file(std::string_view text)
{
    // Member by member, so that what cannot be read (in a member of another component, or in one field of ours)
    // costs only itself.
    auto object = json_text::ObjectText::read(text);
    static const Json nothing;
    const Json& root = object ? object->readable() : nothing;
    SettingsFile file;
    file.audio = decode_member<AudioPrefs>(root, "audio").value_or(AudioPrefs{});
    file.display = decode_member<DisplayPrefs>(root, "display").value_or(DisplayPrefs{});
    file.input = decode_input_section(root);
    file.power = decode_member<PowerPrefs>(root, "power").value_or(PowerPrefs{});
    file.updates = decode_member<UpdatePrefs>(root, "updates").value_or(UpdatePrefs{});
    file.appearance = decode_member<AppearancePrefs>(root, "appearance").value_or(AppearancePrefs{});
    file.notifications = decode_member<NotificationPrefs>(root, "notifications").value_or(NotificationPrefs{});
    file.accessibility = decode_member<AccessibilityPrefs>(root, "accessibility").value_or(AccessibilityPrefs{});
    file.loaded = std::make_shared<const SettingsFile>(file);
    return file;
}

SettingsFile load_settings_file(const std::filesystem::path& path)
{
    auto text = config_sections::read_text(path);
    if (!text || !*text) {
        return loaded_defaults();
    }
    return parse_settings_file(**text);
}

SettingsFile load_settings_file()
{
    const auto path = config_sections::settings_path();
    return path ? load_settings_file(*path) : loaded_defaults();
}

std::string write_settings_json(const SettingsFile& file, std::string_view current)
{
    auto object = json_text::ObjectText::read(current);
    Json root = object ? object->readable() : Json::object();
    merge_into(file, root);
    return object ? object->write(root) : json_text::pretty(root);
}

std::expected<std::filesystem::path, std::string> save_settings_file(const SettingsFile& file,
                                                                     const std::filesystem::path& path)
{
    auto saved = config_sections::update_json_file(path, [&](Json& root) { merge_into(file, root); });
    if (!saved) {
        // The store's words (paths, system calls) are for the log; the page shows what the user can act on.
        const SaveProblem problem = diagnose_save_failure(path, saved.error());
        VORN_WARN("settings_file", "saving {} failed: {}", path.string(), saved.error());
        return std::unexpected(std::string(save_problem_text(problem)));
    }
    return saved;
}

std::expected<std::filesystem::path, std::string> save_settings_file(const SettingsFile& file)
{
    const auto path = config_sections::settings_path();
    if (!path) {
        VORN_WARN("settings_file", "the settings file was not saved: neither XDG_CONFIG_HOME nor HOME is set");
        return std::unexpected(std::string(save_problem_text(SaveProblem::NoHome)));
    }
    return save_settings_file(file, *path);
}

}  // namespace settings::prefs
