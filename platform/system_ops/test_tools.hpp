#pragma once
// Test helpers of the system backends: a temporary directory whose bin/ comes first in PATH, holding small shell
// scripts that stand in for system tools (nmcli, timedatectl, wpctl, bluetoothctl, pw-dump, ...). Each script
// records its arguments and standard input and answers by its argument list with the output the real tool prints.
// Included by tests only.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace system_ops::testing {

// One answer of a fake tool: when its arguments, joined by single blanks, equal `args` (or always, for "*").
struct Answer {
    std::string args;
    std::string out;  // printed on standard output, byte for byte
    std::string err;  // printed on standard error
    int code = 0;
    std::string shell;  // more shell commands run before exiting (e.g. "sleep 30")
};

class FakeTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vorn_tools.XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        std::filesystem::create_directories(dir_ / "bin");
        std::filesystem::create_directories(dir_ / "answers");
        const char* path = std::getenv("PATH");
        old_path_ = path != nullptr ? path : "";
        const std::string new_path = (dir_ / "bin").string() + (old_path_.empty() ? "" : ":" + old_path_);
        ::setenv("PATH", new_path.c_str(), 1);
    }

    void TearDown() override
    {
        ::setenv("PATH", old_path_.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Writes the fake tool. Arguments without an answer make it fail like a tool given a wrong command line.
    void tool(const std::string& name, const std::vector<Answer>& answers)
    {
        std::ostringstream script;
        script << "#!/bin/sh\n"
               << "log='" << (dir_ / "calls.log").string() << "'\n"
               << "{ printf '%s' '" << name << "'; for a in \"$@\"; do printf '\\037%s' \"$a\"; done; printf '\\n'; } >> \"$log\"\n"
               << "n=$(wc -l < \"$log\")\n"
               << "cat > '" << dir_.string() << "/stdin.'$n\n"
               << "case \"$*\" in\n";
        for (const auto& answer : answers) {
            const std::string id = std::to_string(next_answer_++);
            write(dir_ / "answers" / (id + ".out"), answer.out);
            write(dir_ / "answers" / (id + ".err"), answer.err);
            script << (answer.args == "*" ? std::string("*") : "\"" + escape(answer.args) + "\"") << ")\n"
                   << "  cat '" << (dir_ / "answers" / (id + ".out")).string() << "'\n"
                   << "  cat '" << (dir_ / "answers" / (id + ".err")).string() << "' >&2\n"
                   << "  " << (answer.shell.empty() ? ":" : answer.shell) << "\n"
                   << "  exit " << answer.code << ";;\n";
        }
        script << "*) echo \"Error: unexpected arguments: $*\" >&2; exit 2;;\nesac\n";
        const auto file = dir_ / "bin" / name;
        write(file, script.str());
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
    }

    // Every call so far: the tool's name followed by its arguments.
    [[nodiscard]] std::vector<std::vector<std::string>> calls() const
    {
        std::vector<std::vector<std::string>> out;
        std::ifstream in(dir_ / "calls.log");
        std::string line;
        while (std::getline(in, line)) {
            std::vector<std::string> call(1);
            for (const char c : line) {
                if (c == '\037') {
                    call.emplace_back();
                } else {
                    call.back() += c;
                }
            }
            out.push_back(std::move(call));
        }
        return out;
    }

    // The arguments of every call joined by blanks, for compact assertions.
    [[nodiscard]] std::vector<std::string> call_lines() const
    {
        std::vector<std::string> lines;
        for (const auto& call : calls()) {
            std::string line;
            for (const auto& part : call) {
                line += (line.empty() ? "" : " ") + part;
            }
            lines.push_back(std::move(line));
        }
        return lines;
    }

    // Waits up to `limit` until `count` calls have been recorded in full (for tools nobody waits for, such as the
    // ones open_tool starts); false when they were not.
    [[nodiscard]] bool wait_for_calls(std::size_t count,
                                      std::chrono::milliseconds limit = std::chrono::seconds(10)) const
    {
        // A fake tool stores its standard input right after its call line, so that file marks a complete line.
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!std::filesystem::exists(dir_ / ("stdin." + std::to_string(count)))) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // What the n-th call (from 0) read on standard input.
    [[nodiscard]] std::string stdin_of(std::size_t n) const
    {
        std::ifstream in(dir_ / ("stdin." + std::to_string(n + 1)), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static void write(const std::filesystem::path& file, const std::string& text)
    {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << text;
    }

    std::filesystem::path dir_;

private:
    static std::string escape(const std::string& text)
    {
        std::string out;
        for (const char c : text) {
            if (c == '"' || c == '$' || c == '`' || c == '\\') {
                out += '\\';
            }
            out += c;
        }
        return out;
    }

    std::string old_path_;
    int next_answer_ = 0;
};

}  // namespace system_ops::testing
