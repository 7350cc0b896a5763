#include "panes/audio/audio_worker.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace settings::panes::audio {
namespace {

using namespace std::chrono_literals;

TEST(AudioWorkerTest, JobsRunInOrderAwayFromTheCallingThread)
{
    auto worker = start_audio_worker();
    struct Seen {
        std::mutex mutex;
        std::vector<int> order;
        std::vector<std::thread::id> threads;
    };
    auto seen = std::make_shared<Seen>();
    std::promise<void> done;
    for (int i = 0; i < 5; ++i) {
        worker->post([seen, i] {
            const std::lock_guard lock(seen->mutex);
            seen->order.push_back(i);
            seen->threads.push_back(std::this_thread::get_id());
        });
    }
    worker->post([&done] { done.set_value(); });
    ASSERT_EQ(done.get_future().wait_for(10s), std::future_status::ready);
    const std::lock_guard lock(seen->mutex);
    EXPECT_THAT(seen->order, ::testing::ElementsAre(0, 1, 2, 3, 4));
    for (const auto id : seen->threads) {
        EXPECT_NE(id, std::this_thread::get_id());
        EXPECT_EQ(id, seen->threads.front());
    }
}

TEST(AudioWorkerTest, LettingGoNeverWaitsForAJobInProgress)
{
    auto worker = start_audio_worker();
    auto release = std::make_shared<std::promise<void>>();
    auto released = std::make_shared<std::shared_future<void>>(release->get_future().share());
    auto started = std::make_shared<std::promise<void>>();
    auto finished = std::make_shared<std::promise<void>>();
    auto later = std::make_shared<std::atomic<bool>>(false);
    worker->post([released, started, finished] {
        started->set_value();
        released->wait();  // a system call that takes its time
        finished->set_value();
    });
    worker->post([later] { *later = true; });
    ASSERT_EQ(started->get_future().wait_for(10s), std::future_status::ready);
    worker.reset();  // returns while the job still runs
    EXPECT_EQ(later.use_count(), 1);  // the job not yet begun is dropped at once
    release->set_value();
    EXPECT_EQ(finished->get_future().wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(*later);
}

}  // namespace
}  // namespace settings::panes::audio
