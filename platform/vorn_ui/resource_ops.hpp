#pragma once
// Resource operations: the request values the toolkit passes down the widget tree and the answer forms that travel
// back up.
//
//   handle_resource_operation              -> ResourceOperationAnswer   NotHandled | Handled | Failed
//   invoke_resource_operation_v2           -> ResourceOperationResult   Completed | Failed | NotHandled
//   route_resource_operation,
//   start_resource_operation_with_document -> ResourceOperationStart    Completed | Failed | NotHandled | Pending
//   poll_resource_operation                -> std::optional<OperationCompletion>
//
// Only a start or a route can answer Pending: an operation a widget finishes later must be accepted in the widget's
// own start_resource_operation_with_document or route_resource_operation, and its outcome reported through
// poll_resource_operation under the same OperationId.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vorn_ui {

// Names one started operation in later polls; compared by all 16 bytes.
struct OperationId {
    std::array<std::uint8_t, 16> bytes{};

    static constexpr OperationId from_parts(std::uint64_t high, std::uint64_t low)
    {
        OperationId id;
        for (int i = 0; i < 8; ++i) {
            id.bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(high >> (56 - 8 * i));
            id.bytes[static_cast<std::size_t>(8 + i)] = static_cast<std::uint8_t>(low >> (56 - 8 * i));
        }
        return id;
    }
    friend constexpr bool operator==(const OperationId&, const OperationId&) = default;
};

// The class of an operation as the action model declares it (one byte; values beyond these pass through).
enum class OperationClass : std::uint8_t {
    Unclassified = 0,  // a default handle_resource_operation never forwards this class to its children
    Effect = 1,        // changes system state
    Presentation = 2,  // changes only what the window shows
};

struct OperationResultItem {
    std::string label;
    std::string value;
    friend bool operator==(const OperationResultItem&, const OperationResultItem&) = default;
};

// What a finished operation produced.
struct CompletedOperation {
    std::vector<OperationResultItem> items;
    std::optional<std::string> value;
    friend bool operator==(const CompletedOperation&, const CompletedOperation&) = default;
};

struct ResourceOperationAnswer {
    enum class Kind : std::uint8_t { NotHandled, Handled, Failed };
    Kind kind = Kind::NotHandled;
    std::string message;  // Failed

    static ResourceOperationAnswer not_handled() { return {}; }
    static ResourceOperationAnswer handled() { return {Kind::Handled, {}}; }
    static ResourceOperationAnswer failed(std::string message) { return {Kind::Failed, std::move(message)}; }
    [[nodiscard]] bool is_not_handled() const { return kind == Kind::NotHandled; }
    friend bool operator==(const ResourceOperationAnswer&, const ResourceOperationAnswer&) = default;
};

struct ResourceOperationResult {
    enum class Kind : std::uint8_t { Completed, Failed, NotHandled };
    Kind kind = Kind::NotHandled;
    CompletedOperation completed;  // Completed
    std::string message;           // Failed

    static ResourceOperationResult not_handled() { return {}; }
    static ResourceOperationResult completed_with(CompletedOperation result)
    {
        return {Kind::Completed, std::move(result), {}};
    }
    static ResourceOperationResult failed(std::string message) { return {Kind::Failed, {}, std::move(message)}; }
    [[nodiscard]] bool is_not_handled() const { return kind == Kind::NotHandled; }
    friend bool operator==(const ResourceOperationResult&, const ResourceOperationResult&) = default;
};

struct ResourceOperationStart {
    enum class Kind : std::uint8_t { Completed, Failed, NotHandled, Pending };
    Kind kind = Kind::NotHandled;
    CompletedOperation completed;  // Completed
    std::string message;           // Failed

    static ResourceOperationStart not_handled() { return {}; }
    static ResourceOperationStart pending() { return {Kind::Pending, {}, {}}; }
    static ResourceOperationStart completed_with(CompletedOperation result)
    {
        return {Kind::Completed, std::move(result), {}};
    }
    static ResourceOperationStart failed(std::string message) { return {Kind::Failed, {}, std::move(message)}; }
    // The same outcome as a start answer (Completed, Failed and NotHandled keep their form).
    static ResourceOperationStart from(ResourceOperationResult result);
    [[nodiscard]] bool is_not_handled() const { return kind == Kind::NotHandled; }
    friend bool operator==(const ResourceOperationStart&, const ResourceOperationStart&) = default;
};

// The report of one finished operation, answered by poll_resource_operation.
struct OperationCompletion {
    enum class Kind : std::uint8_t { Completed, Failed, Cancelled };
    Kind kind = Kind::Completed;
    OperationId id;
    CompletedOperation completed;       // Completed
    std::string code;                   // Failed
    std::string message;                // Failed, Cancelled
    std::optional<std::string> detail;  // Failed; always absent in this program
    bool retryable = false;             // Failed

    static OperationCompletion completed_with(OperationId id, CompletedOperation result)
    {
        return {Kind::Completed, id, std::move(result), {}, {}, {}, false};
    }
    static OperationCompletion failed(OperationId id, std::string code, std::string message, bool retryable)
    {
        return {Kind::Failed, id, {}, std::move(code), std::move(message), {}, retryable};
    }
    static OperationCompletion cancelled(OperationId id, std::string message)
    {
        return {Kind::Cancelled, id, {}, {}, std::move(message), {}, false};
    }
    friend bool operator==(const OperationCompletion&, const OperationCompletion&) = default;
};

}  // namespace vorn_ui
