#pragma once
// What the Accessibility page keeps and decides, apart from its widgets: its copies of the appearance section
// (text size, high contrast, reduced motion: the same stored values the Appearance page shows) and of the
// accessibility section, kept in the page document under the keys of the Accessibility setting table
// (setting_tables/accessibility.hpp), and the save.
//
// The first sync writes every key from the values the page was opened with (what the settings file held then), so a
// value an earlier visit left in the document is never taken for the user's choice; a set-setting action from
// automation is stored in the file before it is answered, so nothing it set is lost either. Every later sync takes
// what differs. A text that is no label of its row changes nothing and the key is put back to the label in force;
// the settings file is written only when a value changed.

#include "page_doc/page_doc.hpp"
#include "prefs/records.hpp"
#include "setting_tables/accessibility.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::accessibility {

using AccessibilityValues = setting_tables::accessibility::Values;

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
