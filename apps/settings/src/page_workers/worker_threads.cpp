#include "page_workers/worker_threads.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "vorn_log/log.hpp"

#include <pthread.h>

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <system_error>
#include <thread>

namespace settings::page_workers {
namespace {

struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> ended = std::make_shared<std::atomic<bool>>(false);
};

struct Registry {
    std::mutex mutex;
    std::stop_source stop;
    std::list<Worker> workers;

    // Joins the threads whose work has returned (they are about to end). Called with the mutex held.
    void join_ended()
    {
        for (auto it = workers.begin(); it != workers.end();) {
            if (it->ended->load()) {
                it->thread.join();
                it = workers.erase(it);
            } else {
                ++it;
            }
        }
    }
};

// Never destroyed: workers may still look it up while the program's statics go.
Registry& registry()
{
    static auto* const shared = new Registry;
    return *shared;
}

}  // namespace

std::expected<void, std::string> start_worker_thread(std::string_view name, std::function<void()> work)
{
    Registry& shared = registry();
    const std::lock_guard lock(shared.mutex);
    shared.join_ended();
    Worker worker;
    try {
        worker.thread = std::thread([name = std::string(name.substr(0, 15)), work = std::move(work),
                                     token = shared.stop.get_token(), ended = worker.ended] {
            ::pthread_setname_np(::pthread_self(), name.c_str());
            {
                const cmd_runner::StopScope scope(token);
                work();
            }
            ended->store(true);
        });
    } catch (const std::system_error& error) {
        return std::unexpected(error.code().message());
    }
    shared.workers.push_back(std::move(worker));
    return {};
}

void join_all()
{
    Registry& shared = registry();
    std::unique_lock lock(shared.mutex);
    shared.stop.request_stop();
    while (!shared.workers.empty()) {
        std::list<Worker> workers = std::move(shared.workers);
        shared.workers.clear();
        lock.unlock();
        for (Worker& worker : workers) {
            worker.thread.join();
        }
        lock.lock();
    }
    shared.stop = std::stop_source();
}

std::size_t unjoined_workers()
{
    Registry& shared = registry();
    const std::lock_guard lock(shared.mutex);
    return shared.workers.size();
}

}  // namespace settings::page_workers
