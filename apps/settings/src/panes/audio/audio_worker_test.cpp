#include "panes/audio/audio_worker.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <optional>
#include <string>
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

// What a job that runs a tool saw of it.
struct ToolRun {
    std::promise<void> started;
    std::atomic<bool> finished{false};
    std::optional<cmd_runner::ErrorKind> failure;  // none when the tool ran to its end
};

std::function<void()> run_tool(const std::shared_ptr<ToolRun>& seen, std::vector<std::string> args)
{
    return [seen, args = std::move(args)] {
        seen->started.set_value();
        const auto result = cmd_runner::run({.program = "sh", .args = args, .time_limit = 60s});
        if (!result) {
            seen->failure = result.error().kind;
        }
        seen->finished = true;
    };
}

TEST(AudioWorkerTest, LettingGoLetsAShortJobEndAndDropsTheJobsNotBegun)
{
    auto worker = start_audio_worker({.own_end = 60s, .after_stop = 60s});
    auto seen = std::make_shared<ToolRun>();
    auto later = std::make_shared<std::atomic<bool>>(false);
    worker->post(run_tool(seen, {"-c", "sleep 0.2"}));  // a change the user asked for, in progress
    worker->post([later] { *later = true; });
    ASSERT_EQ(seen->started.get_future().wait_for(10s), std::future_status::ready);
    worker.reset();
    EXPECT_TRUE(seen->finished) << "the job in progress ended before the worker was let go";
    EXPECT_EQ(seen->failure, std::nullopt) << "and its tool was not stopped";
    EXPECT_EQ(later.use_count(), 1) << "the job not yet begun is dropped";
    EXPECT_FALSE(*later);
}

TEST(AudioWorkerTest, LettingGoStopsATooLongToolSoThatNoJobOutlivesTheWorker)
{
    auto worker = start_audio_worker({.own_end = 10ms, .after_stop = 60s});
    auto seen = std::make_shared<ToolRun>();
    worker->post(run_tool(seen, {"-c", "sleep 30"}));
    ASSERT_EQ(seen->started.get_future().wait_for(10s), std::future_status::ready);
    worker.reset();  // returns once the stopped tool is reaped, well before the 30 s
    EXPECT_TRUE(seen->finished);
    EXPECT_EQ(seen->failure, cmd_runner::ErrorKind::Cancelled);
}

TEST(AudioWorkerTest, AJobWaitingForSomethingElseIsLeftToEndOnItsOwn)
{
    auto worker = start_audio_worker({.own_end = 10ms, .after_stop = 10ms});
    auto release = std::make_shared<std::promise<void>>();
    auto released = std::make_shared<std::shared_future<void>>(release->get_future().share());
    auto started = std::make_shared<std::promise<void>>();
    auto finished = std::make_shared<std::promise<void>>();
    worker->post([released, started, finished] {
        started->set_value();
        released->wait();  // not a tool: nothing can call it off
        finished->set_value();
    });
    ASSERT_EQ(started->get_future().wait_for(10s), std::future_status::ready);
    worker.reset();  // returns while the job still runs
    release->set_value();
    EXPECT_EQ(finished->get_future().wait_for(10s), std::future_status::ready);
}

}  // namespace
}  // namespace settings::panes::audio
