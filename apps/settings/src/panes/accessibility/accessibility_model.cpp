#include "panes/accessibility/accessibility_model.hpp"

#include "panes/appearance/appearance_model.hpp"
#include "panes/appearance/choices/choices.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "prefs/settings_file.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <array>

namespace settings::panes::accessibility {

namespace ch = appearance::choices;
namespace pp = preference_pane;
using prefs::ColorFilter;
using prefs::ScreenReaderVoice;
using prefs::SwitchKeyPair;

namespace {

struct BoolKey {
    std::string_view key;
    bool& (*field)(AccessibilityValues&);
};

const std::array<BoolKey, 11> bool_table{{
    {"a11y.high_contrast", [](AccessibilityValues& v) -> bool& { return v.appearance.high_contrast; }},
    {"a11y.reduce_motion", [](AccessibilityValues& v) -> bool& { return v.appearance.reduce_motion; }},
    {"a11y.large_cursor", [](AccessibilityValues& v) -> bool& { return v.accessibility.large_cursor; }},
    {"a11y.sticky_keys", [](AccessibilityValues& v) -> bool& { return v.accessibility.sticky_keys; }},
    {"a11y.slow_keys", [](AccessibilityValues& v) -> bool& { return v.accessibility.slow_keys; }},
    {"a11y.on_screen_keyboard", [](AccessibilityValues& v) -> bool& { return v.accessibility.on_screen_keyboard; }},
    {"a11y.visual_alerts", [](AccessibilityValues& v) -> bool& { return v.accessibility.visual_alerts; }},
    {"a11y.screen_reader", [](AccessibilityValues& v) -> bool& { return v.accessibility.screen_reader; }},
    {"a11y.cursor_crosshair", [](AccessibilityValues& v) -> bool& { return v.accessibility.cursor_crosshair; }},
    {"a11y.thick_text_caret", [](AccessibilityValues& v) -> bool& { return v.accessibility.thick_text_caret; }},
    {"a11y.switch_control", [](AccessibilityValues& v) -> bool& { return v.accessibility.switch_control; }},
}};

// A label key: the label of the values, and the values with a label taken (false: no label of the table).
struct LabelKey {
    std::string_view key;
    std::string_view (*label)(const AccessibilityValues&);
    bool (*take)(AccessibilityValues&, std::string_view);
};

template <class T>
bool assign(T& field, std::optional<T> value)
{
    if (!value) {
        return false;
    }
    field = *value;
    return true;
}

// In the order the page takes them.
const std::array<LabelKey, 8> label_table{{
    {"a11y.text_size", [](const AccessibilityValues& v) { return ch::text_scale_label(v.appearance.text_scale); },
     [](AccessibilityValues& v, std::string_view label) {
         return assign(v.appearance.text_scale, ch::text_scale_from_label(label));
     }},
    {"a11y.switch_keys",
     [](const AccessibilityValues& v) {
         return ch::switch_key_pair_label(static_cast<std::uint8_t>(v.accessibility.switch_key_pair));
     },
     [](AccessibilityValues& v, std::string_view label) {
         const auto pair = ch::switch_key_pair_from_label(label);
         if (pair) {
             v.accessibility.switch_key_pair = static_cast<SwitchKeyPair>(*pair);
         }
         return pair.has_value();
     }},
    {"a11y.switch_scan", [](const AccessibilityValues& v) { return ch::switch_scan_label(v.accessibility.switch_scan_ms); },
     [](AccessibilityValues& v, std::string_view label) {
         return assign(v.accessibility.switch_scan_ms, ch::switch_scan_from_label(label));
     }},
    {"a11y.color_filter",
     [](const AccessibilityValues& v) {
         return ch::color_filter_label(static_cast<std::uint8_t>(v.accessibility.color_filter));
     },
     [](AccessibilityValues& v, std::string_view label) {
         const auto filter = ch::color_filter_from_label(label);
         if (filter) {
             v.accessibility.color_filter = static_cast<ColorFilter>(*filter);
         }
         return filter.has_value();
     }},
    {"a11y.magnifier", [](const AccessibilityValues& v) { return ch::magnifier_label(v.accessibility.magnifier_zoom); },
     [](AccessibilityValues& v, std::string_view label) {
         return assign(v.accessibility.magnifier_zoom, ch::magnifier_zoom_from_label(label));
     }},
    {"a11y.reader_rate",
     [](const AccessibilityValues& v) { return ch::speech_rate_label(v.accessibility.screen_reader_rate); },
     [](AccessibilityValues& v, std::string_view label) {
         return assign(v.accessibility.screen_reader_rate, ch::speech_rate_from_label(label));
     }},
    {"a11y.reader_voice",
     [](const AccessibilityValues& v) {
         return ch::screen_reader_voice_label(static_cast<std::uint8_t>(v.accessibility.screen_reader_voice));
     },
     [](AccessibilityValues& v, std::string_view label) {
         const auto voice = ch::screen_reader_voice_from_label(label);
         if (voice) {
             v.accessibility.screen_reader_voice = static_cast<ScreenReaderVoice>(*voice);
         }
         return voice.has_value();
     }},
    {"a11y.cursor_size", [](const AccessibilityValues& v) { return ch::cursor_size_label(v.accessibility.cursor_size); },
     [](AccessibilityValues& v, std::string_view label) {
         return assign(v.accessibility.cursor_size, ch::cursor_size_from_label(label));
     }},
}};

constexpr std::array<std::string_view, 11> bool_key_names{
    "a11y.high_contrast", "a11y.reduce_motion",    "a11y.large_cursor",     "a11y.sticky_keys",
    "a11y.slow_keys",     "a11y.on_screen_keyboard", "a11y.visual_alerts",  "a11y.screen_reader",
    "a11y.cursor_crosshair", "a11y.thick_text_caret", "a11y.switch_control"};

constexpr std::array<std::string_view, 8> label_key_names{
    "a11y.text_size", "a11y.switch_keys", "a11y.switch_scan",  "a11y.color_filter",
    "a11y.magnifier", "a11y.reader_rate", "a11y.reader_voice", "a11y.cursor_size"};

}  // namespace

std::span<const std::string_view> bool_keys() { return bool_key_names; }
std::span<const std::string_view> label_keys() { return label_key_names; }

std::string label_for(const AccessibilityValues& values, std::string_view key)
{
    for (const LabelKey& entry : label_table) {
        if (entry.key == key) {
            return std::string(entry.label(values));
        }
    }
    return {};
}

std::string accessibility_save_failed_text(std::string_view error)
{
    return fmt::format("Accessibility settings could not be saved: {}", error);
}

AccessibilityModel AccessibilityModel::load()
{
    prefs::SettingsFile file = prefs::load_settings_file();
    return AccessibilityModel({std::move(file.appearance), std::move(file.accessibility)});
}

bool AccessibilityModel::sync(page_doc::Document& doc)
{
    if (!seeded_) {
        for (const BoolKey& entry : bool_table) {
            if (!page_doc::doc_bool(doc, entry.key)) {
                doc.put_bool(entry.key, entry.field(values_));
            }
        }
        for (const LabelKey& entry : label_table) {
            if (!page_doc::doc_text(doc, entry.key)) {
                doc.put_str(entry.key, entry.label(values_));
            }
        }
        seeded_ = true;
    }

    AccessibilityValues next = values_;
    for (const BoolKey& entry : bool_table) {
        if (const auto on = page_doc::doc_bool(doc, entry.key)) {
            entry.field(next) = *on;
        }
    }
    for (const LabelKey& entry : label_table) {
        // A label takes its table's value only when it differs from the label in force, so a stored value
        // between two entries (a speech rate of 120 under "Fast") stays as it is until another label is chosen.
        const auto label = page_doc::doc_text(doc, entry.key);
        if (label && *label != entry.label(next) && !entry.take(next, *label)) {
            // No label of the table: nothing changes, and the control shows the value in force again.
            pp::put_text_if_changed(doc, entry.key, entry.label(next));
        }
    }

    if (next == values_) {
        return false;
    }
    values_ = std::move(next);
    // Only the fields this page owns: the theme and UI scale in the file stay as the Appearance page left them.
    prefs::SettingsFile file = prefs::load_settings_file();
    file.appearance.high_contrast = values_.appearance.high_contrast;
    file.appearance.reduce_motion = values_.appearance.reduce_motion;
    file.appearance.text_scale = values_.appearance.text_scale;
    file.accessibility = values_.accessibility;
    if (auto saved = prefs::save_settings_file(file); !saved) {
        VORN_WARN("accessibility_save", "failed to persist accessibility prefs: {}", saved.error());
        save_error_ = saved.error();
    } else {
        save_error_.reset();
    }
    appearance::set_window_appearance(file.appearance);
    return true;
}

}  // namespace settings::panes::accessibility
