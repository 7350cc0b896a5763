#include "panes/audio/audio_worker.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "vorn_log/log.hpp"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <stop_token>
#include <thread>

namespace settings::panes::audio {

namespace {

// What the thread and its owner share; the thread keeps it alive as long as it runs.
struct Queue {
    std::mutex mutex;
    std::condition_variable ready;  // a job or the close
    std::condition_variable ended;  // the thread is about to end
    std::deque<std::function<void()>> jobs;
    bool closed = false;
    bool exited = false;
    // Calls off the tool a job waits for (cmd_runner::StopScope on the thread).
    std::stop_source stop;
};

void serve(const std::shared_ptr<Queue>& queue)
{
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

class ThreadWorker final : public AudioWorker {
public:
    ThreadWorker(std::shared_ptr<Queue> queue, std::thread thread, WorkerStopWait wait)
        : queue_(std::move(queue)), thread_(std::move(thread)), wait_(wait)
    {
    }
    ~ThreadWorker() override
    {
        bool exited = false;
        {
            std::unique_lock lock(queue_->mutex);
            queue_->closed = true;
            queue_->jobs.clear();
            queue_->ready.notify_all();
            const auto gone = [&] { return queue_->exited; };
            exited = queue_->ended.wait_for(lock, wait_.own_end, gone);
            if (!exited) {
                queue_->stop.request_stop();
                exited = queue_->ended.wait_for(lock, wait_.after_stop, gone);
            }
        }
        if (exited) {
            thread_.join();
        } else {
            VORN_INFO("audio_worker", "leaving the sound worker to finish its current job");
            thread_.detach();
        }
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
    std::thread thread_;
    WorkerStopWait wait_;
};

}  // namespace

std::shared_ptr<AudioWorker> start_audio_worker(WorkerStopWait wait)
{
    auto queue = std::make_shared<Queue>();
    std::thread thread([queue] {
        ::pthread_setname_np(::pthread_self(), "settings-audio");
        {
            const cmd_runner::StopScope scope(queue->stop.get_token());
            serve(queue);
        }
        const std::lock_guard lock(queue->mutex);
        queue->exited = true;
        queue->ended.notify_all();
    });
    return std::make_shared<ThreadWorker>(std::move(queue), std::move(thread), wait);
}

}  // namespace settings::panes::audio
