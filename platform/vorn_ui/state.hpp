#pragma once
// Shared state cells and the wake handles that tie them to the UI loop.
//
// A LocalState<T> is a shared handle to one cell: a value under a reader-writer lock, a publication counter
// (`version`, 0 at creation) and a WakeHandle. Copying the handle shares the cell; handles may be used from any
// thread. A writer publishes a whole new value; a reader gets a copy. Request cells are used by take-and-clear: the
// reader gets the value, and when it is addressed to the reader it first publishes "none" and then acts on its copy.
//
// The loop hookup (the window's loop does this; tests and programs without a loop need nothing):
//
//   auto hub = std::make_shared<vorn_ui::WakeHub>();
//   hub->set_waker([] { push_wake_event(); });      // any thread; quick; once per coalesced burst
//   vorn_ui::install_wake_hub(hub);                 // cells created from now on wake this loop
//   ...                                             // build the root widget, run the loop:
//   if (hub->take_pending()) { run a sync pass }     //   clear the pending wake BEFORE the pass
//   ...
//   hub->close();                                   // shutdown: later publications are refused (and say so)
//   vorn_ui::install_wake_hub(nullptr);
//
// A publication is authorised while its hub is open; an authorised publication wakes the loop (wakes coalesce into
// one until the loop takes the pending wake). A refused publication is reported to the caller as a PublishError; the
// cell stays unchanged. A handle created while no hub is installed gets a detached hub of its own: it authorises
// every publication and its wakes reach nobody.

#include <atomic>
#include <cstdint>
#include <expected>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string_view>
#include <utility>

namespace vorn_ui {

// The UI loop's end of the wake handles.
class WakeHub {
public:
    using Waker = std::function<void()>;

    WakeHub() = default;
    WakeHub(const WakeHub&) = delete;
    WakeHub& operator=(const WakeHub&) = delete;

    // Installs the function that asks the loop for a pass. It is called from any thread, under the hub's lock: it
    // must return quickly and must not call back into the hub. If a wake is already pending, it is called at once.
    void set_waker(Waker waker);

    // Asks the loop for a sync pass. Coalesced: only the first request after the loop took the pending wake calls
    // the waker. Answers whether this call did so. Ignored once the hub is closed.
    bool request_wake();

    // The loop's side: answers whether a wake was pending and clears it. Call it before the sync pass, so that a
    // publication made during the pass wakes the loop again.
    bool take_pending();

    // The loop has shut down: later publications are refused and wakes ignored; the waker is released, and once
    // close() has returned it is never called again.
    void close();
    [[nodiscard]] bool is_closed() const { return closed_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> pending_{false};
    std::atomic<bool> closed_{false};
    mutable std::mutex waker_mutex_;
    Waker waker_;
};

// Makes `hub` the running loop's hub (nullptr: no loop). Returns the previously installed hub.
std::shared_ptr<WakeHub> install_wake_hub(std::shared_ptr<WakeHub> hub);
[[nodiscard]] std::shared_ptr<WakeHub> installed_wake_hub();

class WakeHandle {
public:
    // Tied to the installed hub, or to a detached hub of its own when no loop runs.
    [[nodiscard]] static WakeHandle create();
    explicit WakeHandle(std::shared_ptr<WakeHub> hub);

    // False once the loop has shut down.
    [[nodiscard]] bool authorize_publication() const { return !hub_->is_closed(); }
    // Asks the loop for a sync pass soon; callable from any thread.
    void wake() const { hub_->request_wake(); }

    [[nodiscard]] const std::shared_ptr<WakeHub>& hub() const { return hub_; }

private:
    std::shared_ptr<WakeHub> hub_;
};

enum class PublishRefusal : std::uint8_t {
    LoopClosed,        // the UI loop has shut down
    VersionExhausted,  // the cell's publication counter reached its maximum
};

struct PublishError {
    PublishRefusal reason;

    [[nodiscard]] std::string_view message() const
    {
        switch (reason) {
        case PublishRefusal::LoopClosed: return "the interface has shut down; the value was not published";
        case PublishRefusal::VersionExhausted:
            return "the state cell's version counter is exhausted; the value was not published";
        }
        return "the value was not published";
    }
    friend constexpr bool operator==(const PublishError&, const PublishError&) = default;
};

template <class T>
class LocalState {
public:
    explicit LocalState(T initial) : LocalState(std::move(initial), WakeHandle::create()) {}
    // `version` is the counter to start from (0 for a new cell).
    LocalState(T initial, WakeHandle wake, std::uint64_t version = 0)
        : inner_(std::make_shared<Inner>(std::move(initial), std::move(wake), version))
    {
    }

    // Stores `value` when the wake handle authorises it and the counter can still grow; answers the new version
    // (the first publication answers 1) and wakes the loop. A refused value is released and the cell is untouched.
    [[nodiscard]] std::expected<std::uint64_t, PublishError> publish(T value) const
    {
        Inner& cell = *inner_;
        if (!cell.wake.authorize_publication()) {
            return std::unexpected(PublishError{PublishRefusal::LoopClosed});
        }
        std::uint64_t next = 0;
        {
            std::unique_lock lock(cell.lock);
            const std::uint64_t current = cell.version.load(std::memory_order_relaxed);
            if (current == std::numeric_limits<std::uint64_t>::max()) {
                return std::unexpected(PublishError{PublishRefusal::VersionExhausted});
            }
            using std::swap;
            swap(cell.value, value);  // the old value leaves with `value`, destroyed outside the lock
            next = current + 1;
            cell.version.store(next, std::memory_order_release);
        }
        cell.wake.wake();
        return next;
    }

    // A copy of the current value, taken under the read lock.
    [[nodiscard]] T get() const
    {
        std::shared_lock lock(inner_->lock);
        return inner_->value;
    }

    // The number of stored publications.
    [[nodiscard]] std::uint64_t version() const { return inner_->version.load(std::memory_order_acquire); }
    [[nodiscard]] const WakeHandle& wake_handle() const { return inner_->wake; }
    [[nodiscard]] bool shares_cell_with(const LocalState& other) const { return inner_ == other.inner_; }

private:
    struct Inner {
        Inner(T initial, WakeHandle wake_handle, std::uint64_t start)
            : value(std::move(initial)), version(start), wake(std::move(wake_handle))
        {
        }
        mutable std::shared_mutex lock;
        T value;
        std::atomic<std::uint64_t> version;
        WakeHandle wake;
    };

    std::shared_ptr<Inner> inner_;
};

}  // namespace vorn_ui
