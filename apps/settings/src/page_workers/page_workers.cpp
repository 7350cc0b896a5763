#include "page_workers/page_workers.hpp"

#include "page_workers/worker_threads.hpp"
#include "vorn_log/log.hpp"

#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace settings::page_workers {

namespace {

void run_detached(std::function<void()> work)
{
    if (auto started = start_worker_thread("vorn-page-work", work); !started) {
        VORN_WARN("page_worker", "could not start a worker thread ({}); running the work on this thread",
                  started.error());
        work();
    }
}

class SerialWorker : public std::enable_shared_from_this<SerialWorker> {
public:
    void post(std::function<void()> work)
    {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
            if (running_) {
                return;
            }
            running_ = true;
        }
        run_detached([self = shared_from_this()] { self->drain(); });
    }

private:
    void drain()
    {
        for (;;) {
            std::function<void()> work;
            {
                const std::lock_guard lock(mutex_);
                if (queue_.empty()) {
                    running_ = false;
                    return;
                }
                work = std::move(queue_.front());
                queue_.pop_front();
            }
            work();
        }
    }

    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
    bool running_ = false;
};

}  // namespace

Executor serial_executor()
{
    auto worker = std::make_shared<SerialWorker>();
    return [worker](std::function<void()> work) { worker->post(std::move(work)); };
}

Executor detached_executor()
{
    return [](std::function<void()> work) { run_detached(std::move(work)); };
}

}  // namespace settings::page_workers
