#include "vorn_ui/state.hpp"

namespace vorn_ui {

namespace {
std::mutex installed_mutex;
std::shared_ptr<WakeHub> installed;
}  // namespace

void WakeHub::set_waker(Waker waker)
{
    auto shared = waker ? std::make_shared<const Waker>(std::move(waker)) : nullptr;
    {
        std::lock_guard lock(waker_mutex_);
        if (is_closed()) {
            return;
        }
        waker_ = shared;
    }
    if (shared && pending_.load(std::memory_order_acquire)) {
        (*shared)();
    }
}

bool WakeHub::request_wake()
{
    if (is_closed() || pending_.exchange(true, std::memory_order_acq_rel)) {
        return false;
    }
    std::shared_ptr<const Waker> waker;
    {
        std::lock_guard lock(waker_mutex_);
        waker = waker_;
    }
    if (waker) {
        (*waker)();
    }
    return true;
}

bool WakeHub::take_pending() { return pending_.exchange(false, std::memory_order_acq_rel); }

void WakeHub::close()
{
    closed_.store(true, std::memory_order_release);
    std::shared_ptr<const Waker> released;
    {
        std::lock_guard lock(waker_mutex_);
        released = std::move(waker_);
    }
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
