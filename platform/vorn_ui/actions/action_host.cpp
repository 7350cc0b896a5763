#include "vorn_ui/actions/action_host.hpp"

#include "vorn_log/log.hpp"

namespace vorn_ui {
namespace bound_dispatch {
namespace {
thread_local TypedActionRecorder* installed = nullptr;
}  // namespace

TypedActionRecorder* install_recorder(TypedActionRecorder* recorder)
{
    TypedActionRecorder* previous = installed;
    installed = recorder;
    return previous;
}

std::optional<std::vector<page_doc::ChangeHash>> typed_action_before(page_doc::Document& doc)
{
    return installed == nullptr ? std::nullopt : installed->before(doc);
}

void report_typed_action(page_doc::Document& doc, const std::vector<page_doc::ChangeHash>& before,
                         const std::vector<page_doc::ChangeHash>& after)
{
    if (installed != nullptr) {
        installed->report(doc, before, after);
    }
}

}  // namespace bound_dispatch

ActionHost::Result ActionHost::dispatch_typed(page_doc::Document& doc, std::string_view kind,
                                              const vorn_actions::ApplicationAction& action,
                                              std::optional<vorn_actions::ActionContext> context)
{
    auto payload = action.write_payload();
    if (!payload) {
        vorn_actions::ActionError error(vorn_actions::ActionError::Kind::PayloadEncoding, std::move(payload.error()));
        VORN_WARN("action_dispatch", "action dispatch failed error={} kind={}", error.display(), kind);
        return std::unexpected(std::move(error));
    }
    vorn_actions::EncodedAction encoded{std::string(kind), std::move(*payload)};

    const std::optional<std::vector<page_doc::ChangeHash>> recorded = bound_dispatch::typed_action_before(doc);
    std::vector<page_doc::ChangeHash> before = recorded ? *recorded : doc.get_heads();
    const auto& actor_bytes = doc.actor_id().bytes;
    const std::vector<std::uint8_t> actor(actor_bytes.begin(), actor_bytes.end());
    vorn_actions::LocalTransport transport;

    std::optional<vorn_actions::ActionContext> settled;
    if (context && default_context_) {
        settled = context->enriched_by(*default_context_);
    } else if (default_context_) {
        settled = default_context_;
    } else {
        settled = std::move(context);
    }

    if (settled && !settled->document) {
        std::string heads;
        for (const page_doc::ChangeHash& head : before) {
            heads += (heads.empty() ? "" : ",") + head.to_hex();
        }
        settled->document = vorn_actions::ActionDocument{{}, std::move(heads), doc.actor_id().to_hex_string()};
    }

    auto outcome = settled ? vorn_actions::executor::dispatch_by_with_context(doc, action, encoded, transport, actor,
                                                                              std::move(*settled))
                           : vorn_actions::executor::dispatch_by(doc, action, encoded, transport, actor);
    if (!outcome) {
        VORN_WARN("action_dispatch", "action dispatch failed error={} kind={}", outcome.error().display(), kind);
        return std::unexpected(std::move(outcome.error()));
    }
    if (recorded) {
        bound_dispatch::report_typed_action(doc, *recorded, doc.get_heads());
    }
    if (!baseline_) {
        baseline_ = std::move(before);
    }
    last_action_ = std::move(encoded);
    last_record_ = std::move(outcome->record);
    return {};
}

ActionHost::Result ActionHost::dispatch_with_context(page_doc::Document& doc, std::string_view kind,
                                                     const vorn_actions::ApplicationAction& action,
                                                     std::optional<vorn_actions::ActionContext> context)
{
    return dispatch_typed(doc, kind, action, std::move(context));  // which logs a failure once
}

}  // namespace vorn_ui
