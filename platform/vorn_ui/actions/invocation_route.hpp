#pragma once
// Where a control invocation goes once the loop has taken it from the tree (the core of the loop's invocation
// pump):
//
//   1. the resource: the root's resolve_resource answer, else the first resource of that id published by any
//      widget of the tree (resources(doc) of each widget, depth first, each resource tree searched pre-order);
//   2. the action of that id in the resource, built from the invocation's arguments (ActionSpec::build_json);
//   3. an action whose kind is registered in the application's decoder registry ("settings.action") is decoded and
//      applied to the document here; any other kind is started as a resource operation on the root, with the
//      action's effect class as the operation class.
//
//   auto routed = vorn_ui::run_control_invocation(root, doc, registry, invocation, next_operation_id());
//   if (!routed) log routed.error().display();
//   else if (routed->start && routed->start->kind == ResourceOperationStart::Kind::Pending) poll later;

#include "vorn_actions/action.hpp"
#include "vorn_actions/application.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_ui/resource_ops.hpp"

#include <expected>
#include <optional>
#include <string_view>

namespace page_doc {
class Document;
}

namespace vorn_ui {

class Widget;

[[nodiscard]] std::optional<vorn_actions::Resource> find_published_resource(const Widget& root,
                                                                            const page_doc::Document& doc,
                                                                            std::string_view resource_id);

struct InvocationRoute {
    vorn_actions::EncodedAction action;
    // The root's answer to the started operation; none when the action was applied through the registry.
    std::optional<ResourceOperationStart> start;
};

// The route of one invocation, or why it went nowhere (no such resource or action, refused arguments, an
// application action that does not decode or whose apply fails).
[[nodiscard]] std::expected<InvocationRoute, vorn_actions::ActionError> run_control_invocation(
    Widget& root, page_doc::Document& doc, const vorn_actions::ActionDecoderRegistry& registry,
    const vorn_actions::ControlInvocation& invocation, OperationId id);

}  // namespace vorn_ui
