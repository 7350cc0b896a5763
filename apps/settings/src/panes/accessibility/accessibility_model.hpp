#pragma once
// What the Accessibility page keeps and decides, apart from its widgets: its copies of the appearance section
// (text size, high contrast, reduced motion: the same stored values the Appearance page shows) and of the
// accessibility section, the document keys the controls and the set-setting actions write, and the save.
//
// Document keys: booleans "a11y.high_contrast", "a11y.reduce_motion", "a11y.large_cursor", "a11y.sticky_keys",
// "a11y.slow_keys", "a11y.on_screen_keyboard", "a11y.visual_alerts", "a11y.screen_reader", "a11y.cursor_crosshair",
// "a11y.thick_text_caret", "a11y.switch_control"; labels "a11y.text_size", "a11y.cursor_size", "a11y.color_filter",
// "a11y.magnifier", "a11y.switch_keys", "a11y.switch_scan", "a11y.reader_rate", "a11y.reader_voice".
//
// The first sync writes the keys the document does not hold yet (a value written before the page was built is
// taken); every sync takes what differs. A text that is no label of its table changes nothing and the key is put
// back to the label in force; the settings file is written only when a value changed.

#include "page_doc/page_doc.hpp"
#include "prefs/records.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace settings::panes::accessibility {

struct AccessibilityValues {
    prefs::AppearancePrefs appearance;
    prefs::AccessibilityPrefs accessibility;
    friend bool operator==(const AccessibilityValues&, const AccessibilityValues&) = default;
};

// The document keys in the order of the key table (booleans first).
[[nodiscard]] std::span<const std::string_view> bool_keys();
[[nodiscard]] std::span<const std::string_view> label_keys();

// The label a text key shows for the values (empty for a key that is no label key).
[[nodiscard]] std::string label_for(const AccessibilityValues& values, std::string_view key);

class AccessibilityModel {
public:
    explicit AccessibilityModel(AccessibilityValues values) : values_(std::move(values)) {}
    [[nodiscard]] static AccessibilityModel load();

    // Answers whether a value changed (a save was then made).
    bool sync(page_doc::Document& doc);

    [[nodiscard]] const AccessibilityValues& values() const { return values_; }
    [[nodiscard]] const std::optional<std::string>& save_error() const { return save_error_; }

private:
    AccessibilityValues values_;
    bool seeded_ = false;
    std::optional<std::string> save_error_;
};

[[nodiscard]] std::string accessibility_save_failed_text(std::string_view error);

}  // namespace settings::panes::accessibility
