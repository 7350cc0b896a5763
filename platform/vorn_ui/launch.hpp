#pragma once
// The launcher and the UI loop.
//
//   vorn_ui::launch::LaunchConfig config{ .application_id = "so.vorn.settings", .root_factory = build_root, ... };
//   return vorn_ui::launch::run_or_exit(config);
//
// run_or_exit creates the application object, calls the application hook, builds the root once, opens the SDL
// window (the size from the persisted state, else default_window_size) and runs the loop until the window is closed,
// SIGINT/SIGTERM arrives or App::request_quit is called. Without a display it prints why and exits with 1; it never
// falls back to drawing off screen. Shut-down: the wake hub closes (later publications are refused), the root is
// destroyed, then the window and SDL.
//
// The loop draws only when something happened: input, a wake from a worker (WakeHandle::wake), a widget's wake
// deadline (next_wake_deadline), an animation (needs_animation_frame, ~60 per second), the poll of a pending
// operation, or the first frame and every re-creation or exposure of the window surface. Pages whose workers never
// wake the loop get a slow heartbeat: a sync pass every `heartbeat` (drawn only when the sync changed something)
// while any widget answers needs_idle_sync, and for `heartbeat_linger` after the last input or wake. An idle window
// blocks in the window system and uses no CPU.
//
// Runtime runs the same loop headless, for tests: injected events, step() for one non-blocking iteration, a manual
// clock, and counters.

#include "vorn_ui/app.hpp"
#include "vorn_ui/event.hpp"
#include "vorn_ui/frame.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/persist.hpp"
#include "vorn_ui/state.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace page_doc {
class Document;
}

namespace vorn_ui::launch {

struct LaunchConfig {
    std::string application_id;
    // Lists the toolkit accepts and this build gives no meaning (kept for the configuration's shape).
    std::vector<std::string> list_a, list_b, list_c, list_d, list_e;
    std::function<std::unique_ptr<Widget>()> root_factory;
    std::function<void(app::App&)> app_hook;
    std::function<std::pair<std::uint32_t, std::uint32_t>()> default_window_size;
    std::function<std::uint32_t()> further_callback;
    std::function<std::unique_ptr<persist::Store>(std::string_view)> persistence_opener;
    bool flag_a = false;  // remember the window size between runs
    bool flag_b = false;
    bool flag_c = false;
    bool flag_d = false;
};

// Runs the application; answers the exit status (0 after a normal close). Exits the process with 1, after a clear
// message, when the window cannot be opened.
int run_or_exit(const LaunchConfig& config);

struct LoopCounters {
    std::uint64_t frames = 0;       // drawn frames
    std::uint64_t sync_passes = 0;  // root syncs (every frame has one; heartbeats may sync without drawing)
    std::uint64_t heartbeats = 0;
    std::uint64_t wakes = 0;        // passes that took a pending wake
    std::uint64_t events = 0;
};

struct LoopOptions {
    std::chrono::milliseconds heartbeat{250};
    std::chrono::milliseconds heartbeat_linger{std::chrono::seconds(30)};
    std::chrono::milliseconds animation_interval{16};
};

// The loop's logic, shared by the SDL window and the headless runtime. The backend waits for input and wakes,
// hands the events to deliver(), then calls run_pass(); run_pass decides what is due and draws when needed.
class UiLoop {
public:
    UiLoop(app::App& app, Widget& root, page_doc::Document& doc, FrameDriver& driver, std::shared_ptr<WakeHub> hub,
           LoopOptions options = {});

    // Delivers one input event (a WindowResize also changes the viewport). Remembers that a frame is due.
    void deliver(const Event& event, Instant now);
    // Forces a redraw on the next pass (surface re-created or exposed).
    void invalidate() { redraw_ = true; }

    struct Pass {
        bool synced = false;
        bool drew = false;
    };
    // Runs what is due at `now`: takes the pending wake, syncs, pumps invocations, commits, polls operations,
    // refreshes availability after structure changes; lays out and draws into `target()` when a frame is due.
    Pass run_pass(Instant now);
    // When the loop must run again without input (none: only input or a wake).
    [[nodiscard]] std::optional<Instant> next_deadline(Instant now) const;

    // Draws the laid-out frame into the backend's surface and presents it (none: frames are laid out only).
    std::function<void(FrameStats&)> draw;

    [[nodiscard]] const LoopCounters& counters() const { return counters_; }
    [[nodiscard]] FrameDriver& driver() { return driver_; }

private:
    app::App& app_;
    Widget& root_;
    page_doc::Document& doc_;
    FrameDriver& driver_;
    std::shared_ptr<WakeHub> hub_;
    LoopOptions options_;
    LoopCounters counters_;
    bool redraw_ = true;  // the first frame
    bool input_ = false;
    bool structure_known_ = false;
    std::optional<Instant> last_activity_;
    std::optional<Instant> last_sync_;
    std::optional<Instant> widget_deadline_;
    bool animating_ = false;
    bool idle_sync_ = false;
};

// The loop without a screen: a HeadlessWindow draws, the clock is manual, events are injected.
class Runtime {
public:
    explicit Runtime(const LaunchConfig& config, LoopOptions options = {});
    ~Runtime();  // shut-down in the launcher's order: hub closed, root destroyed
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    void inject(Event event);
    // One iteration: delivers injected events, runs the pass; never blocks.
    UiLoop::Pass step();
    // Blocks (real time, at most `limit`) until a wake or an injected event arrives; answers whether one did.
    // The hook, when set, runs after the loop decided to wait and before it sleeps.
    bool wait(std::chrono::milliseconds limit);
    std::function<void()> before_sleep;

    // The manual clock.
    [[nodiscard]] Instant now() const { return now_; }
    void advance(std::chrono::nanoseconds by) { now_ += by; }

    [[nodiscard]] app::App& app() { return *app_; }
    [[nodiscard]] Widget& root() { return *root_; }
    [[nodiscard]] page_doc::Document& document() { return *doc_; }
    [[nodiscard]] HeadlessWindow& window() { return *window_; }
    [[nodiscard]] UiLoop& loop() { return *loop_; }
    [[nodiscard]] const LoopCounters& counters() const { return loop_->counters(); }
    [[nodiscard]] const std::shared_ptr<WakeHub>& hub() const { return hub_; }
    // Closes the hub and destroys the root, as the launcher does at the end.
    void shut_down();

private:
    std::unique_ptr<app::App> app_;
    std::shared_ptr<WakeHub> hub_;
    std::shared_ptr<WakeHub> previous_hub_;
    std::unique_ptr<page_doc::Document> doc_;
    std::unique_ptr<Widget> root_;
    std::unique_ptr<HeadlessWindow> window_;
    std::unique_ptr<UiLoop> loop_;
    Instant now_;

    std::mutex mutex_;
    std::condition_variable signal_;
    bool woken_ = false;  // set by the waker, cleared by wait()
    std::deque<Event> queue_;
};

}  // namespace vorn_ui::launch
