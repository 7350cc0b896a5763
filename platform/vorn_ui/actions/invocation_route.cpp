#include "vorn_ui/actions/invocation_route.hpp"

#include "page_doc/page_doc.hpp"
#include "vorn_actions/executor.hpp"
#include "vorn_ui/widget.hpp"

namespace vorn_ui {
namespace {

const vorn_actions::Resource* find_in(const vorn_actions::Resource& resource, std::string_view id)
{
    if (resource.id == id) {
        return &resource;
    }
    for (const vorn_actions::Resource& child : resource.children) {
        if (const vorn_actions::Resource* found = find_in(child, id)) {
            return found;
        }
    }
    return nullptr;
}

std::optional<vorn_actions::Resource> find_in_tree(const Widget& widget, const page_doc::Document& doc,
                                                   std::string_view id)
{
    for (const vorn_actions::Resource& resource : widget.resources(doc)) {
        if (const vorn_actions::Resource* found = find_in(resource, id)) {
            return *found;
        }
    }
    for (const Widget* child : widget.children()) {
        if (auto found = find_in_tree(*child, doc, id)) {
            return found;
        }
    }
    return std::nullopt;
}

vorn_actions::ActionError unknown(std::string message)
{
    return vorn_actions::ActionError(vorn_actions::ActionError::Kind::UnknownAction, std::move(message));
}

}  // namespace

std::optional<vorn_actions::Resource> find_published_resource(const Widget& root, const page_doc::Document& doc,
                                                              std::string_view resource_id)
{
    if (auto resolved = root.resolve_resource(doc, resource_id)) {
        return resolved;
    }
    return find_in_tree(root, doc, resource_id);
}

std::expected<InvocationRoute, vorn_actions::ActionError> run_control_invocation(
    Widget& root, page_doc::Document& doc, const vorn_actions::ActionDecoderRegistry& registry,
    const vorn_actions::ControlInvocation& invocation, OperationId id)
{
    const std::optional<vorn_actions::Resource> resource = find_published_resource(root, doc, invocation.resource_id);
    if (!resource) {
        return std::unexpected(unknown("no resource " + invocation.resource_id));
    }
    const vorn_actions::ActionSpec* spec = resource->find_action(invocation.action_id);
    if (spec == nullptr) {
        return std::unexpected(unknown(invocation.address().encode()));
    }
    auto built = spec->build_json(invocation.arguments.json());
    if (!built) {
        return std::unexpected(std::move(built.error()));
    }
    InvocationRoute route{std::move(*built), std::nullopt};

    if (registry.contains(route.action.kind)) {
        auto action = registry.decode(route.action.kind, route.action.payload);
        if (!action) {
            return std::unexpected(std::move(action.error()));
        }
        const auto& actor_bytes = doc.actor_id().bytes;
        const std::vector<std::uint8_t> actor(actor_bytes.begin(), actor_bytes.end());
        vorn_actions::LocalTransport transport;
        auto applied = vorn_actions::executor::dispatch_by(doc, **action, route.action, transport, actor);
        if (!applied) {
            return std::unexpected(std::move(applied.error()));
        }
        return route;
    }
    route.start = root.start_resource_operation_with_document(id, static_cast<OperationClass>(spec->effect_class),
                                                              route.action.kind, route.action.payload, doc);
    return route;
}

}  // namespace vorn_ui
