#pragma once
// The context an action runs in: a human label, the application that asks, and the object it concerns.

#include <optional>
#include <string>
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

    friend bool operator==(const ActionContext&, const ActionContext&) = default;
};

}  // namespace vorn_actions
