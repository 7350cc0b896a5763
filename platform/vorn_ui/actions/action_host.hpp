#pragma once
// Typed dispatch of application actions against a page document.
//
// A page that changes its settings through typed application actions (the settings pages' set-setting action)
// holds one ActionHost, created empty. Each dispatch encodes the action, applies it to the page document through
// the action executor and remembers what it did. The context the executor records is the call's context completed
// by the host's default context, and, when it names no document, the page document's heads before the action and
// its actor (hex texts; several heads joined by ","):
//
//   vorn_ui::ActionHost host;
//   auto done = host.dispatch_with_context(doc, "settings.action", action, context);
//   if (!done) { show done.error().display() and put the control back }
//
// A failed dispatch is logged ("action dispatch failed", with the error and the kind) and its ActionError is
// answered, so that a page can show the failure and restore the control instead of showing a value that was never
// applied. The host is then unchanged.
//
// Typed actions take part through `to_application_action(const T&)` found next to their type
// (vorn_actions::TypedApplicationAction); an already boxed vorn_actions::ApplicationAction can be passed directly.

#include "vorn_actions/action.hpp"
#include "vorn_actions/application.hpp"
#include "vorn_actions/context.hpp"
#include "vorn_actions/executor.hpp"
#include "page_doc/page_doc.hpp"

#include <expected>
#include <optional>
#include <string_view>
#include <vector>

namespace vorn_ui {

// The toolkit's record of typed actions: when a recorder is installed on the UI thread, the host asks it for the
// heads before each action and reports the heads after it.
namespace bound_dispatch {

class TypedActionRecorder {
public:
    virtual ~TypedActionRecorder() = default;
    // The heads recorded before the action, or none when nothing is recorded for this document.
    [[nodiscard]] virtual std::optional<std::vector<page_doc::ChangeHash>> before(page_doc::Document& doc) = 0;
    virtual void report(page_doc::Document& doc, const std::vector<page_doc::ChangeHash>& before,
                        const std::vector<page_doc::ChangeHash>& after) = 0;

protected:
    TypedActionRecorder() = default;
    TypedActionRecorder(const TypedActionRecorder&) = default;
    TypedActionRecorder& operator=(const TypedActionRecorder&) = default;
};

// Installs `recorder` for the calling thread (nullptr: none) and answers the previous one.
TypedActionRecorder* install_recorder(TypedActionRecorder* recorder);

// The installed recorder's answer; none without a recorder.
[[nodiscard]] std::optional<std::vector<page_doc::ChangeHash>> typed_action_before(page_doc::Document& doc);
void report_typed_action(page_doc::Document& doc, const std::vector<page_doc::ChangeHash>& before,
                         const std::vector<page_doc::ChangeHash>& after);

}  // namespace bound_dispatch

class ActionHost {
public:
    using Result = std::expected<void, vorn_actions::ActionError>;

    ActionHost() = default;

    // Applies `action` to `doc`; on success records the heads before the host's first action (once) and the
    // action as the last one. On failure answers the error and changes nothing.
    Result dispatch_typed(page_doc::Document& doc, std::string_view kind, const vorn_actions::ApplicationAction& action,
                          std::optional<vorn_actions::ActionContext> context);
    template <vorn_actions::TypedApplicationAction A>
    Result dispatch_typed(page_doc::Document& doc, std::string_view kind, const A& action,
                          std::optional<vorn_actions::ActionContext> context)
    {
        const auto boxed = to_application_action(action);
        return dispatch_typed(doc, kind, *boxed, std::move(context));
    }

    // dispatch_typed, and a failure is also written to the log as "action dispatch failed".
    Result dispatch_with_context(page_doc::Document& doc, std::string_view kind,
                                 const vorn_actions::ApplicationAction& action,
                                 std::optional<vorn_actions::ActionContext> context);
    template <vorn_actions::TypedApplicationAction A>
    Result dispatch_with_context(page_doc::Document& doc, std::string_view kind, const A& action,
                                 std::optional<vorn_actions::ActionContext> context)
    {
        const auto boxed = to_application_action(action);
        return dispatch_with_context(doc, kind, *boxed, std::move(context));
    }

    [[nodiscard]] const std::optional<std::vector<page_doc::ChangeHash>>& baseline_heads() const { return baseline_; }
    [[nodiscard]] const std::optional<vorn_actions::EncodedAction>& last_action() const { return last_action_; }
    [[nodiscard]] const std::optional<vorn_actions::ActionContext>& default_context() const { return default_context_; }
    // What the executor recorded of the last successful dispatch.
    [[nodiscard]] const std::optional<vorn_actions::ActionRecord>& last_record() const { return last_record_; }
    void set_default_context(std::optional<vorn_actions::ActionContext> context) { default_context_ = std::move(context); }

private:
    std::optional<std::vector<page_doc::ChangeHash>> baseline_;
    std::optional<vorn_actions::EncodedAction> last_action_;
    std::optional<vorn_actions::ActionContext> default_context_;
    std::optional<vorn_actions::ActionRecord> last_record_;
};

}  // namespace vorn_ui
