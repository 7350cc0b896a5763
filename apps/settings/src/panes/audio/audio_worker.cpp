#include "panes/audio/audio_worker.hpp"

#include "vorn_log/log.hpp"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace settings::panes::audio {

namespace {

// What the thread and its owner share; the thread keeps it alive as long as it runs.
struct Queue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::function<void()>> jobs;
    bool closed = false;
};

class ThreadWorker final : public AudioWorker {
public:
    explicit ThreadWorker(std::shared_ptr<Queue> queue) : queue_(std::move(queue)) {}
    ~ThreadWorker() override
    {
        {
            const std::lock_guard lock(queue_->mutex);
            queue_->closed = true;
            queue_->jobs.clear();
        }
        queue_->ready.notify_all();
    }

    void post(std::function<void()> job) override
    {
        {
            const std::lock_guard lock(queue_->mutex);
            if (queue_->closed) {
                return;
            }
            queue_->jobs.push_back(std::move(job));
        }
        queue_->ready.notify_one();
    }

private:
    std::shared_ptr<Queue> queue_;
};

void serve(const std::shared_ptr<Queue>& queue)
{
    ::pthread_setname_np(::pthread_self(), "settings-audio");
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(queue->mutex);
            queue->ready.wait(lock, [&] { return queue->closed || !queue->jobs.empty(); });
            if (queue->closed) {
                return;
            }
            job = std::move(queue->jobs.front());
            queue->jobs.pop_front();
        }
        try {
            job();
        } catch (const std::exception& error) {
            VORN_ERROR("audio_worker", "a sound job failed: {}", error.what());
        }
    }
}

}  // namespace

std::shared_ptr<AudioWorker> start_audio_worker()
{
    auto queue = std::make_shared<Queue>();
    std::thread([queue] { serve(queue); }).detach();
    return std::make_shared<ThreadWorker>(std::move(queue));
}

}  // namespace settings::panes::audio
