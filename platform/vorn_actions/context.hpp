#pragma once
// The context an action runs in: a human label, the application that asks, and the object it concerns.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn_actions {

struct ActionApplication {
    std::string id;    // "org.vorn.Settings"
    std::string name;  // "Settings"
    friend bool operator==(const ActionApplication&, const ActionApplication&) = default;
};

struct ActionSubject {
    std::string id;     // "settings.preference:accessibility"
    std::string kind;   // "settings.preference-pane"
    std::string title;  // "Accessibility"
    friend bool operator==(const ActionSubject&, const ActionSubject&) = default;
};

// The document an action was applied to, as recorded by the action host.
struct ActionDocument {
    std::string id;
    std::string heads;
    std::string actor;
    friend bool operator==(const ActionDocument&, const ActionDocument&) = default;
};

struct ActionContext {
    std::string label;                       // "Set setting", "Change accessibility preferences"
    std::vector<std::string> related;        // left empty by this program
    std::optional<ActionApplication> application;
    std::optional<ActionSubject> subject;
    std::optional<std::string> correlation_id;
    std::optional<ActionDocument> document;

    // This context completed from `defaults`: every field this context leaves unset (an empty label, an absent
    // application, subject, correlation id or document) is taken from `defaults`; the related list is this
    // context's entries followed by those of `defaults` that it does not already hold.
    [[nodiscard]] ActionContext enriched_by(const ActionContext& defaults) const;

    friend bool operator==(const ActionContext&, const ActionContext&) = default;
};

// A readable label for an identifier: words split at "_", "-", ".", ":", white space and where a lower-case letter
// or digit meets an upper-case one; the first word capitalised, the others in lower case unless they are
// abbreviations written all in capitals.
//   "SetSetting" -> "Set setting"   "auto_brightness" -> "Auto brightness"   "HDRMode" -> "HDR mode"
[[nodiscard]] std::string humanize_identifier(std::string_view identifier);

}  // namespace vorn_actions
