#pragma once
// The executor of application actions and the transports that receive what it did.
//
// dispatch_by applies a typed application action to a page document and hands a record of it (the encoded
// action, the writer's actor id and, with dispatch_by_with_context, the context) to the transport. A refused
// action reaches no transport.

#include "vorn_actions/action.hpp"
#include "vorn_actions/application.hpp"
#include "vorn_actions/context.hpp"

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <vector>

namespace page_doc {
class Document;
}

namespace vorn_actions {

// What the executor reports of one applied action.
struct ActionRecord {
    EncodedAction action;
    std::vector<std::uint8_t> actor;
    std::optional<ActionContext> context;
    friend bool operator==(const ActionRecord&, const ActionRecord&) = default;
};

class ActionTransport {
public:
    virtual ~ActionTransport() = default;
    // Receives the record of an applied action.
    virtual void replicate(ActionRecord record) = 0;
    // Whether the transport takes records; the executor skips a transport that answers no.
    [[nodiscard]] virtual bool transport_check() const { return true; }

protected:
    ActionTransport() = default;
    ActionTransport(const ActionTransport&) = default;
    ActionTransport& operator=(const ActionTransport&) = default;
};

// Keeps the records in memory; the action host makes a fresh one for every dispatch.
class LocalTransport final : public ActionTransport {
public:
    void replicate(ActionRecord record) override { records_.push_back(std::move(record)); }
    [[nodiscard]] const std::vector<ActionRecord>& records() const { return records_; }

private:
    std::vector<ActionRecord> records_;
};

// The outcome of a successful dispatch: the record handed to the transport.
struct DispatchOutcome {
    ActionRecord record;
};

namespace executor {

std::expected<DispatchOutcome, ActionError> dispatch_by(page_doc::Document& doc, const ApplicationAction& action,
                                                        EncodedAction encoded, ActionTransport& transport,
                                                        std::span<const std::uint8_t> actor);

std::expected<DispatchOutcome, ActionError> dispatch_by_with_context(page_doc::Document& doc,
                                                                     const ApplicationAction& action,
                                                                     EncodedAction encoded,
                                                                     ActionTransport& transport,
                                                                     std::span<const std::uint8_t> actor,
                                                                     ActionContext context);

}  // namespace executor
}  // namespace vorn_actions
