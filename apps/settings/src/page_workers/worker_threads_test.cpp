// Worker threads are joined when the program ends, with the tools they wait for called off.

#include "page_workers/page_workers.hpp"
#include "page_workers/worker_threads.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <thread>

namespace settings::page_workers {
namespace {

using namespace std::chrono_literals;

// Whether the process has ended (gone, or a zombie waiting for its parent), waiting up to five seconds.
bool ends_within_seconds(pid_t pid)
{
    for (int i = 0; i < 500; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) {
            return true;
        }
        const auto paren = line.rfind(')');
        if (paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'Z') {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(WorkerThreads, JoinAllCallsOffTheToolsWorkersWaitForAndJoinsThem)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vorn-workers-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path dir = pattern;
    const auto tool = dir / "hangs";
    const auto pid_file = dir / "pid";
    {
        std::ofstream script(tool);
        script << "#!/bin/sh\necho $$ > '" << pid_file.string() << ".tmp' && mv '" << pid_file.string() << ".tmp' '"
               << pid_file.string() << "'\nexec sleep 30\n";
    }
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);

    // One worker hangs in a tool, one is handed work through an executor, one has already ended.
    std::promise<cmd_runner::Result> hung;
    auto answer = hung.get_future();
    ASSERT_TRUE(start_worker_thread("vorn-test-hang", [&hung, tool] {
        hung.set_value(cmd_runner::run({.program = tool.string(), .time_limit = 60s}));
    }));
    std::atomic<bool> executed = false;
    detached_executor()([&executed] { executed = true; });
    ASSERT_TRUE(start_worker_thread("vorn-test-quick", [] {}));

    pid_t pid = 0;
    for (int i = 0; i < 1000 && !(std::ifstream(pid_file) >> pid); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_GT(pid, 0);

    join_all();  // within the command runner's kill grace, not the tool's 30 s
    EXPECT_EQ(unjoined_workers(), 0u);
    EXPECT_TRUE(executed);
    ASSERT_EQ(answer.wait_for(0s), std::future_status::ready);
    const cmd_runner::Result result = answer.get();
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, cmd_runner::ErrorKind::Cancelled);
    EXPECT_TRUE(ends_within_seconds(pid));

    // Later workers run their tools again.
    std::promise<bool> ran;
    ASSERT_TRUE(start_worker_thread("vorn-test-again", [&ran] {
        ran.set_value(cmd_runner::run({.program = "true"}).has_value());
    }));
    EXPECT_TRUE(ran.get_future().get());
    join_all();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace settings::page_workers
