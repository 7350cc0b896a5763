#pragma once
// Helpers of the cmd_runner tests: a temporary directory with small shell scripts as test children, and checks on
// processes. Included by the tests only.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/types.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace cmd_runner::testing {

class ScriptDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/cmd_runner_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }

    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Writes an executable "#!/bin/sh" script with this body and returns its path.
    std::string script(const std::string& name, const std::string& body)
    {
        const std::filesystem::path file = dir_ / name;
        std::filesystem::create_directories(file.parent_path());
        {
            std::ofstream out(file);
            out << "#!/bin/sh\n" << body << "\n";
        }
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
        return file.string();
    }

    std::filesystem::path path(const std::string& name) const { return dir_ / name; }

    std::filesystem::path dir_;
};

// A shell line that writes a pid into a file atomically, so that a reader never sees half of it.
inline std::string write_pid(const std::string& pid_expr, const std::string& file_expr)
{
    return "echo " + pid_expr + " > " + file_expr + ".tmp && mv " + file_expr + ".tmp " + file_expr;
}

inline bool process_ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!stat || !std::getline(stat, line)) {
        return true;
    }
    const auto paren = line.rfind(')');
    if (paren == std::string::npos || paren + 2 >= line.size()) {
        return true;
    }
    const char state = line[paren + 2];
    return state == 'Z' || state == 'X';  // a zombie waits only for its parent to collect it
}

// True once the process has ended; waits up to `limit`.
inline bool process_ends_within(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!process_ended(pid)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Reads a pid that a test child wrote with write_pid(), waiting up to `limit` for the file.
inline pid_t read_pid_file(const std::filesystem::path& file,
                           std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::ifstream in(file);
        std::string text;
        if (in && std::getline(in, text) && !text.empty()) {
            return static_cast<pid_t>(std::stol(text));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << "no pid in " << file;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

inline std::size_t open_descriptor_count()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count - 1;  // the directory iterator's own descriptor
}

}  // namespace cmd_runner::testing
