#include "page_doc/page_doc.hpp"
#include "vorn_actions/context.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_ui/launch.hpp"
#include "vorn_ui/widget.hpp"

#include <algorithm>

namespace vorn_ui::launch {

namespace {

bool any_needs_idle_sync(const Widget& widget)
{
    if (widget.needs_idle_sync()) {
        return true;
    }
    bool found = false;
    widget.for_each_child([&found](const Widget& child) { found = found || any_needs_idle_sync(child); });
    return found;
}

// The root keeps the defaults of these queries in many trees, so the loop asks the whole tree itself.
bool any_needs_animation(const Widget& widget)
{
    if (widget.needs_animation_frame()) {
        return true;
    }
    bool found = false;
    widget.for_each_child([&found](const Widget& child) { found = found || any_needs_animation(child); });
    return found;
}

std::optional<Instant> earliest(std::optional<Instant> a, std::optional<Instant> b)
{
    if (!a) {
        return b;
    }
    if (!b) {
        return a;
    }
    return std::min(*a, *b);
}

}  // namespace

UiLoop::UiLoop(app::App& app, Widget& root, page_doc::Document& doc, FrameDriver& driver,
               std::shared_ptr<WakeHub> hub, LoopOptions options)
    : app_(app), root_(root), doc_(doc), driver_(driver), hub_(std::move(hub)), options_(options)
{
    driver_.attach_document(&doc_);
}

void UiLoop::deliver(const Event& event, Instant now)
{
    ++counters_.events;
    last_activity_ = now;
    input_ = true;
    if (const auto* resize = event.get<WindowResize>()) {
        driver_.set_viewport(resize->width, resize->height, resize->scale_factor);
        redraw_ = true;
    }
    if (driver_.dispatch(event, now).close_requested) {
        app_.request_quit();  // the window's only window: closing it ends the application
    }
}

std::optional<Instant> UiLoop::next_deadline(Instant now) const
{
    if (redraw_ || input_) {
        return now;
    }
    std::optional<Instant> next = widget_deadline_;
    if (animating_) {
        next = earliest(next, now + options_.animation_interval);
    }
    next = earliest(next, app_.next_poll(now));
    const bool lingering = last_activity_ && now - *last_activity_ < options_.heartbeat_linger;
    if (idle_sync_ || lingering) {
        const Instant base = last_sync_.value_or(now);
        next = earliest(next, base + options_.heartbeat);
    }
    return next;
}

UiLoop::Pass UiLoop::run_pass(Instant now)
{
    Pass pass;
    if (!last_activity_) {
        last_activity_ = now;  // the start counts as activity: pages start their workers on load
    }
    // Take the wake before the sync, so that a publication made during the pass wakes the loop again.
    const bool woken = hub_ && hub_->take_pending();
    if (woken) {
        ++counters_.wakes;
        last_activity_ = now;
    }
    const bool deadline_due = widget_deadline_ && now >= *widget_deadline_;
    const bool poll_due = !app_.pending_operations().empty() && app_.next_poll(now).value_or(now) <= now;
    const bool lingering = last_activity_ && now - *last_activity_ < options_.heartbeat_linger;
    const bool heartbeat_due = (idle_sync_ || lingering) && (!last_sync_ || now - *last_sync_ >= options_.heartbeat);
    const bool frame_due = redraw_ || input_ || woken || deadline_due || animating_;
    if (!frame_due && !poll_due && !heartbeat_due) {
        return pass;
    }

    FrameStats stats;
    driver_.sync(stats, now);
    ++counters_.sync_passes;
    last_sync_ = now;
    pass.synced = true;
    const bool heartbeat_only = !frame_due && !poll_due;
    if (heartbeat_only) {
        ++counters_.heartbeats;
    }

    const app::PumpReport pumped = app_.run_control_invocations(root_, doc_, now);
    const bool committed = app_.run_commit_cycle(root_, doc_);
    const app::PumpReport polled = poll_due ? app_.poll_operations(root_, now) : app::PumpReport{};

    stats.structure_changed = root_.take_structure_dirty();
    if (stats.structure_changed || !structure_known_) {
        app_.refresh_control_availability(root_, doc_);
        structure_known_ = true;
    }

    const bool draw_now = frame_due || stats.sync_changed || stats.structure_changed || pumped.any() ||
                          polled.completions > 0 || committed;
    if (draw_now) {
        driver_.layout(stats);
        if (draw) {
            draw(stats);
        }
        ++counters_.frames;
        pass.drew = true;
        redraw_ = false;
        input_ = false;
    }
    widget_deadline_ = root_.next_wake_deadline();
    if (widget_deadline_ && *widget_deadline_ <= now) {
        widget_deadline_.reset();  // a deadline in the past asked for this frame; it is not asked again
    }
    animating_ = any_needs_animation(root_);
    idle_sync_ = any_needs_idle_sync(root_);
    return pass;
}

}  // namespace vorn_ui::launch
