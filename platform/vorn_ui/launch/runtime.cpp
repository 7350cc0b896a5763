#include "page_doc/page_doc.hpp"
#include "vorn_actions/context.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_ui/launch.hpp"
#include "vorn_ui/widget.hpp"

#include <stdexcept>

namespace vorn_ui::launch {

Runtime::Runtime(const LaunchConfig& config, LoopOptions options) : now_(std::chrono::steady_clock::now())
{
    if (!config.root_factory) {
        throw std::invalid_argument("the launch configuration has no root factory");
    }
    app_ = std::make_unique<app::App>(config.application_id);
    hub_ = std::make_shared<WakeHub>();
    hub_->set_waker([this] {
        {
            const std::lock_guard lock(mutex_);
            woken_ = true;
        }
        signal_.notify_all();
    });
    previous_hub_ = install_wake_hub(hub_);
    if (config.app_hook) {
        config.app_hook(*app_);
    }
    doc_ = std::make_unique<page_doc::Document>();
    root_ = config.root_factory();
    WindowSize size;
    if (config.default_window_size) {
        const auto [width, height] = config.default_window_size();
        size = {static_cast<double>(width), static_cast<double>(height)};
    }
    window_ = std::make_unique<HeadlessWindow>(*root_, *doc_, size);
    loop_ = std::make_unique<UiLoop>(*app_, *root_, *doc_, window_->driver(), hub_, options);
    loop_->draw = [this](FrameStats& stats) { window_->paint(stats); };
}

Runtime::~Runtime() { shut_down(); }

void Runtime::shut_down()
{
    if (!root_) {
        return;
    }
    hub_->close();
    loop_.reset();
    window_.reset();
    root_.reset();
    install_wake_hub(previous_hub_);
}

void Runtime::inject(Event event)
{
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(event));
    }
    signal_.notify_all();
}

UiLoop::Pass Runtime::step()
{
    std::deque<Event> events;
    {
        const std::lock_guard lock(mutex_);
        events.swap(queue_);
        woken_ = false;  // the pass below takes the hub's pending wake
    }
    for (const Event& event : events) {
        if (const auto* resize = event.get<WindowResize>()) {
            window_->resize({resize->width, resize->height}, resize->scale_factor);
        }
        loop_->deliver(event, now_);
    }
    return loop_->run_pass(now_);
}

bool Runtime::wait(std::chrono::milliseconds limit)
{
    if (before_sleep) {
        before_sleep();
    }
    std::unique_lock lock(mutex_);
    // The flag is set by the waker under this mutex: a wake that came after the loop decided to sleep but before it
    // slept is seen here, not lost.
    return signal_.wait_for(lock, limit, [this] { return woken_ || !queue_.empty(); });
}

}  // namespace vorn_ui::launch
