#include "page_workers/one_shot.hpp"

#include "page_workers/testing/manual_threads.hpp"
#include "page_workers/worker_threads.hpp"

#include <gtest/gtest.h>

#include <pthread.h>

#include <stdexcept>
#include <string>
#include <thread>

namespace settings::page_workers {
namespace {

using testing::ManualThreads;

// What the page reads from a channel: the worker's text, "ended" when it went without one, none before either.
std::optional<std::string> receive(const std::shared_ptr<Channel<std::string>>& channel)
{
    return try_receive(channel, [] { return std::string("ended"); });
}

TEST(OneShotTest, TheAnswerArrivesOnlyOnceTheWorkerHasRun)
{
    ManualThreads threads;
    auto started = start_one_shot<std::string>(threads.starter(), "vorn-test-read", vorn_ui::WakeHandle::create(),
                                                [] { return std::string("answer"); });
    ASSERT_TRUE(started);
    EXPECT_EQ(threads.waiting(), std::vector<std::string>{"vorn-test-read"});
    EXPECT_EQ(receive(*started), std::nullopt);
    EXPECT_EQ(receive(nullptr), std::nullopt);

    ASSERT_TRUE(threads.run_next());
    EXPECT_EQ(receive(*started), "answer");
}

TEST(OneShotTest, AWorkerThatThrowsOrNeverRunsEndsWithoutAnAnswer)
{
    ManualThreads threads;
    const auto wake = vorn_ui::WakeHandle::create();
    auto throwing = start_one_shot<std::string>(threads.starter(), "vorn-test-throw", wake,
                                                []() -> std::string { throw std::runtime_error("tool vanished"); });
    auto dropped = start_one_shot<std::string>(threads.starter(), "vorn-test-drop", wake,
                                               [] { return std::string("never"); });
    ASSERT_TRUE(throwing);
    ASSERT_TRUE(dropped);

    ASSERT_TRUE(threads.run_next("vorn-test-throw"));  // the exception does not leave the worker
    EXPECT_EQ(receive(*throwing), "ended");

    EXPECT_EQ(receive(*dropped), std::nullopt);
    ASSERT_TRUE(threads.drop_next());
    EXPECT_EQ(receive(*dropped), "ended");
}

TEST(OneShotTest, AThreadThatCannotStartIsReportedAndNothingWaits)
{
    ManualThreads threads;
    threads.refuse_with = "Resource temporarily unavailable";
    auto started = start_one_shot<std::string>(threads.starter(), "vorn-test-read", vorn_ui::WakeHandle::create(),
                                                [] { return std::string("answer"); });
    ASSERT_FALSE(started);
    EXPECT_EQ(started.error(), "Resource temporarily unavailable");
    EXPECT_TRUE(threads.waiting().empty());
}

TEST(OneShotTest, TheRealThreadCarriesItsNameCutToWhatLinuxKeeps)
{
    auto started = start_one_shot<std::string>(start_detached_thread, "vorn-a-rather-long-worker-name",
                                                vorn_ui::WakeHandle::create(), [] {
                                                    std::array<char, 32> name{};
                                                    ::pthread_getname_np(::pthread_self(), name.data(), name.size());
                                                    return std::string(name.data());
                                                });
    ASSERT_TRUE(started);
    std::optional<std::string> answer;
    while (!(answer = receive(*started))) {
        std::this_thread::yield();
    }
    EXPECT_EQ(*answer, "vorn-a-rather-l");
    join_all();  // the thread is ours to join: none is left running when the test program ends
}

}  // namespace
}  // namespace settings::page_workers
