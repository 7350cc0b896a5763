#include "vorn_ui/state.hpp"

namespace vorn_ui {

namespace {
std::mutex installed_mutex;
std::shared_ptr<WakeHub> installed;
}  // namespace

void WakeHub::set_waker(Waker waker)
{
    std::lock_guard lock(waker_mutex_);
    if (is_closed()) {
        return;
    }
    waker_ = std::move(waker);
    if (waker_ && pending_.load(std::memory_order_acquire)) {
        waker_();
    }
}

bool WakeHub::request_wake()
{
    if (is_closed() || pending_.exchange(true, std::memory_order_acq_rel)) {
        return false;
    }
    // The waker runs under the lock, so that close() can wait for a call in progress.
    std::lock_guard lock(waker_mutex_);
    if (waker_ && !is_closed()) {
        waker_();
    }
    return true;
}

bool WakeHub::take_pending() { return pending_.exchange(false, std::memory_order_acq_rel); }

void WakeHub::close()
{
    std::lock_guard lock(waker_mutex_);
    closed_.store(true, std::memory_order_release);
    waker_ = nullptr;
}

std::shared_ptr<WakeHub> install_wake_hub(std::shared_ptr<WakeHub> hub)
{
    std::lock_guard lock(installed_mutex);
    return std::exchange(installed, std::move(hub));
}

std::shared_ptr<WakeHub> installed_wake_hub()
{
    std::lock_guard lock(installed_mutex);
    return installed;
}

WakeHandle WakeHandle::create()
{
    std::shared_ptr<WakeHub> hub = installed_wake_hub();
    return WakeHandle(hub ? std::move(hub) : std::make_shared<WakeHub>());
}

WakeHandle::WakeHandle(std::shared_ptr<WakeHub> hub) : hub_(hub ? std::move(hub) : std::make_shared<WakeHub>()) {}

}  // namespace vorn_ui
