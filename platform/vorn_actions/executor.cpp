#include "vorn_actions/executor.hpp"

namespace vorn_actions::executor {
namespace {

std::expected<DispatchOutcome, ActionError> run(page_doc::Document& doc, const ApplicationAction& action,
                                                EncodedAction encoded, ActionTransport& transport,
                                                std::span<const std::uint8_t> actor,
                                                std::optional<ActionContext> context)
{
    if (auto applied = action.apply(doc); !applied) {
        return std::unexpected(std::move(applied.error()));
    }
    ActionRecord record{std::move(encoded), std::vector<std::uint8_t>(actor.begin(), actor.end()),
                        std::move(context)};
    if (transport.transport_check()) {
        transport.replicate(record);
    }
    return DispatchOutcome{std::move(record)};
}

}  // namespace

std::expected<DispatchOutcome, ActionError> dispatch_by(page_doc::Document& doc, const ApplicationAction& action,
                                                        EncodedAction encoded, ActionTransport& transport,
                                                        std::span<const std::uint8_t> actor)
{
    return run(doc, action, std::move(encoded), transport, actor, std::nullopt);
}

std::expected<DispatchOutcome, ActionError> dispatch_by_with_context(page_doc::Document& doc,
                                                                     const ApplicationAction& action,
                                                                     EncodedAction encoded,
                                                                     ActionTransport& transport,
                                                                     std::span<const std::uint8_t> actor,
                                                                     ActionContext context)
{
    return run(doc, action, std::move(encoded), transport, actor, std::move(context));
}

}  // namespace vorn_actions::executor
