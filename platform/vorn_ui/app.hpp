#pragma once
// The toolkit's application object: the application id, the registry of named application actions, and the two
// loop services the application switches on, with the operations the UI loop runs every pass:
//
//   - the invocation pump (run_control_invocations): every control invocation the tree hands up is routed
//     (vorn_ui/actions/invocation_route.hpp): an action of a registered kind is applied to the window's document,
//     any other operation is started on the root and, when it answers Pending, polled until it completes. A pending
//     operation whose deadline passes is polled with cancel; one that still does not end within the cancel grace is
//     ended by the loop and reported as cancelled, so a widget that ignores the cancel cannot hold it forever;
//   - the refresh of control availability (refresh_control_availability): after a change of the tree's
//     structure, every bound control learns whether the action it is bound to is still published;
//   - the commit cycle: a tree that needs a commit gets one pane_descriptor() call, the document's pending
//     changes are committed, then on_commit().
//
// UI thread only, except request_quit(), which any thread may call.

#include "vorn_actions/application.hpp"
#include "vorn_ui/geometry.hpp"
#include "vorn_ui/resource_ops.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace page_doc {
class Document;
}

namespace vorn_ui {
class Widget;
}

namespace vorn_ui::app {

struct PendingOperation {
    OperationId id;
    std::string kind;
    Instant started{};
    Instant deadline{};
    // Set once the deadline passed and the operation was asked to cancel; the loop ends it at this instant.
    std::optional<Instant> cancel_ends_at;
    Instant next_poll{};
};

// What the pump did in one pass (the loop draws again when anything happened).
struct PumpReport {
    std::size_t invocations = 0;
    std::size_t started_pending = 0;
    std::size_t completions = 0;
    [[nodiscard]] bool any() const { return invocations + started_pending + completions > 0; }
};

class App {
public:
    explicit App(std::string application_id);
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    [[nodiscard]] const std::string& application_id() const { return application_id_; }

    [[nodiscard]] vorn_actions::ActionDecoderRegistry& action_registry_mut() { return registry_; }
    [[nodiscard]] const vorn_actions::ActionDecoderRegistry& action_registry() const { return registry_; }

    // The two loop services (both off until the application switches them on).
    bool runs_control_invocations = false;
    bool refreshes_control_availability = false;

    // How long a started operation may stay pending before it is asked to cancel, and how long after that it is
    // ended whatever it answers.
    std::chrono::milliseconds operation_deadline{std::chrono::seconds(30)};
    std::chrono::milliseconds cancel_grace{std::chrono::seconds(2)};
    // How many invocations one pass takes from the tree (the rest wait for the next pass).
    std::size_t invocations_per_pass = 64;

    // ---- Loop services ----
    PumpReport run_control_invocations(Widget& root, page_doc::Document& doc, Instant now);
    // Polls every pending operation; cancels and ends overdue ones.
    PumpReport poll_operations(Widget& root, Instant now);
    // True when a commit ran.
    bool run_commit_cycle(Widget& root, page_doc::Document& doc);
    void refresh_control_availability(Widget& root, const page_doc::Document& doc);

    [[nodiscard]] const std::vector<PendingOperation>& pending_operations() const { return pending_; }
    // The earliest instant the pending operations need a poll (none: nothing pending).
    [[nodiscard]] std::optional<Instant> next_poll(Instant now) const;
    std::chrono::milliseconds poll_interval{50};

    // The last completions (newest last, at most 32), for status displays and tests.
    [[nodiscard]] const std::deque<OperationCompletion>& recent_completions() const { return completions_; }
    // Called with every completion (after it was recorded).
    std::function<void(const OperationCompletion&)> on_completion;

    // ---- Quitting ----
    void request_quit() { quit_.store(true, std::memory_order_release); }
    [[nodiscard]] bool quit_requested() const { return quit_.load(std::memory_order_acquire); }

    // A fresh operation id (never repeats within the process).
    [[nodiscard]] OperationId next_operation_id();

private:
    void record(OperationCompletion completion);

    std::string application_id_;
    vorn_actions::ActionDecoderRegistry registry_;
    std::vector<PendingOperation> pending_;
    std::deque<OperationCompletion> completions_;
    std::uint64_t next_id_ = 1;
    std::uint64_t id_salt_ = 0;
    std::atomic<bool> quit_{false};
};

}  // namespace vorn_ui::app
