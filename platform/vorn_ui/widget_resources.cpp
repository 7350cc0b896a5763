// Resources and resource-operation routing.
//
// Together the defaults visit the tree depth first, children before the widget itself (post-order), and the first
// answer other than NotHandled travels back to the root unchanged. A start lets every child subtree start the
// operation before the widget routes it; a route lets every child subtree route it before the widget invokes its own
// handler; a default handler consults the children's handlers again. One handler can therefore be consulted several
// times for one operation; handlers must answer the same way each time (they test class and kind before they parse).

#include "vorn_actions/resource.hpp"
#include "vorn_ui/search_provider.hpp"
#include "vorn_ui/walks.hpp"
#include "vorn_ui/widget.hpp"

namespace vorn_ui {

std::vector<std::string_view> Widget::handled_action_ids() const { return {}; }

std::unordered_set<std::string> Widget::resource_operation_handlers() const
{
    std::unordered_set<std::string> kinds;
    for (std::string_view kind : handled_action_ids()) {
        kinds.emplace(kind);
    }
    walks::append_each(*this, kinds, [](const Widget& child) { return child.resource_operation_handlers(); });
    return kinds;
}

std::vector<vorn_actions::Resource> Widget::resources(const page_doc::Document& /*doc*/) const { return {}; }
std::optional<ReservedRecord> Widget::optional_record_query_a() const { return std::nullopt; }
std::optional<ReservedRecord> Widget::optional_record_query_b() const { return std::nullopt; }
std::optional<vorn_actions::Resource> Widget::resolve_resource(const page_doc::Document& /*doc*/,
                                                               std::string_view /*address*/) const
{
    return std::nullopt;
}
std::optional<ReservedRecord> Widget::optional_record_query_c() const { return std::nullopt; }
std::vector<std::unique_ptr<SearchProvider>> Widget::search_providers() const { return {}; }
void Widget::notice_hook_a() {}
std::optional<std::string> Widget::find_in_descendants() { return std::nullopt; }
void Widget::notice_hook_b() {}
std::optional<bool> Widget::tristate_query() const { return std::nullopt; }
bool Widget::yes_no_query() const { return false; }

ResourceOperationAnswer Widget::handle_resource_operation(OperationClass op_class, std::string_view kind,
                                                          std::string_view payload, page_doc::Document& doc)
{
    if (op_class == OperationClass::Unclassified) {
        return ResourceOperationAnswer::not_handled();
    }
    return walks::first_settled_mut(
        *this,
        [&](Widget& child) { return child.handle_resource_operation(op_class, kind, payload, doc); },
        [](const ResourceOperationAnswer& answer) { return !answer.is_not_handled(); },
        ResourceOperationAnswer::not_handled());
}

ResourceOperationResult Widget::invoke_resource_operation_v2(OperationClass op_class, std::string_view kind,
                                                             std::string_view payload, page_doc::Document& doc)
{
    ResourceOperationAnswer answer = handle_resource_operation(op_class, kind, payload, doc);
    switch (answer.kind) {
    case ResourceOperationAnswer::Kind::Handled: return ResourceOperationResult::completed_with({});
    case ResourceOperationAnswer::Kind::Failed: return ResourceOperationResult::failed(std::move(answer.message));
    case ResourceOperationAnswer::Kind::NotHandled: break;
    }
    return ResourceOperationResult::not_handled();
}

ResourceOperationStart ResourceOperationStart::from(ResourceOperationResult result)
{
    switch (result.kind) {
    case ResourceOperationResult::Kind::Completed: return completed_with(std::move(result.completed));
    case ResourceOperationResult::Kind::Failed: return failed(std::move(result.message));
    case ResourceOperationResult::Kind::NotHandled: break;
    }
    return not_handled();
}

namespace {
bool settled(const ResourceOperationStart& answer) { return !answer.is_not_handled(); }
}  // namespace

ResourceOperationStart Widget::route_resource_operation(OperationId id, OperationClass op_class,
                                                        std::string_view kind, std::string_view payload,
                                                        page_doc::Document& doc)
{
    ResourceOperationStart answer = walks::first_settled_mut(
        *this, [&](Widget& child) { return child.route_resource_operation(id, op_class, kind, payload, doc); },
        settled, ResourceOperationStart::not_handled());
    if (settled(answer)) {
        return answer;
    }
    return ResourceOperationStart::from(invoke_resource_operation_v2(op_class, kind, payload, doc));
}

ResourceOperationStart Widget::start_resource_operation_with_document(OperationId id, OperationClass op_class,
                                                                      std::string_view kind,
                                                                      std::string_view payload,
                                                                      page_doc::Document& doc)
{
    ResourceOperationStart answer = walks::first_settled_mut(
        *this,
        [&](Widget& child) {
            return child.start_resource_operation_with_document(id, op_class, kind, payload, doc);
        },
        settled, ResourceOperationStart::not_handled());
    if (settled(answer)) {
        return answer;
    }
    return route_resource_operation(id, op_class, kind, payload, doc);
}

std::optional<OperationCompletion> Widget::poll_resource_operation(OperationId id, bool cancel, WordPair extra)
{
    return walks::first_mut(*this,
                            [&](Widget& child) { return child.poll_resource_operation(id, cancel, extra); });
}

// The message (and its texts) is released when the by-value parameter ends.
void Widget::accept_message(ToolkitMessage /*message*/) {}

}  // namespace vorn_ui
