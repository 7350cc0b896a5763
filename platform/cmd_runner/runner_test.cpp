#include "cmd_runner/cmd_runner.hpp"
#include "cmd_runner/process.hpp"
#include "cmd_runner/test_support.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <mutex>
#include <thread>
#include <vector>

namespace cmd_runner {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::process_ends_within;
using testing::read_pid_file;
using testing::write_pid;

using Clock = std::chrono::steady_clock;

// Generous: far below the children's own 30 s, far above any honest scheduling delay.
constexpr auto prompt = 10s;

class RunTest : public testing::ScriptDir {};

std::vector<std::string> split_nul(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
        parts.push_back(text.substr(start, end - start));
    }
    return parts;
}

TEST_F(RunTest, ArgumentsReachTheChildUnchangedWithoutAShell)
{
    const std::vector<std::string> args = {
        "two words", "'single quoted'", "\"double quoted\"", "$HOME", "${PATH}", "a;b", "; touch pwned",
        "line one\nline two", "", "*", "`id`", "$(touch pwned)", "back\\slash", "-n", "--", "ünïcödé ✓",
        " padded ", "a|b&c>d<e",
    };
    // A program path with a blank in it is a path, not two words either.
    const std::string echo_args = script("dir with space/echo args", R"(for a in "$@"; do printf '%s\0' "$a"; done)");

    const auto out = run({.program = echo_args, .args = args});

    ASSERT_TRUE(out.has_value()) << out.error().message;
    EXPECT_TRUE(out->status.success());
    EXPECT_EQ(split_nul(out->stdout_bytes), args);
    EXPECT_FALSE(std::filesystem::exists(path("pwned")));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
}

TEST_F(RunTest, ProgramNamesAreLookedUpInPath)
{
    const auto out = run({.program = "printf", .args = {"%s-%s", "a", "b"}});
    ASSERT_TRUE(out.has_value()) << out.error().message;
    EXPECT_EQ(out->stdout_bytes, "a-b");
}

TEST_F(RunTest, ExitStatusAndBothStreamsAreReported)
{
    struct Case {
        std::string body;
        ExitStatus status;
        std::string out;
        std::string err;
        std::string described;
    };
    const std::vector<Case> cases = {
        {"echo fine", {.code = 0}, "fine\n", "", "exit status 0"},
        {"echo partial; echo 'Error: no such device' >&2; exit 10", {.code = 10}, "partial\n",
         "Error: no such device\n", "exit status 10"},
        {"printf 'x'; kill -KILL $$", {.signal = SIGKILL}, "x", "", "terminated by signal 9 (SIGKILL)"},
        {"kill -TERM $$", {.signal = SIGTERM}, "", "", "terminated by signal 15 (SIGTERM)"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.body);
        const auto out = run({.program = script("case" + std::to_string(i), c.body)});
        ASSERT_TRUE(out.has_value()) << out.error().message;
        EXPECT_EQ(out->status, c.status);
        EXPECT_EQ(out->status.success(), c.status.code == 0);
        EXPECT_EQ(out->status.describe(), c.described);
        EXPECT_EQ(out->stdout_bytes, c.out);
        EXPECT_EQ(out->stderr_bytes, c.err);
    }
}

TEST_F(RunTest, StandardInputCarriesTheGivenBytes)
{
    // More than a pipe holds, echoed back while it is written: the loop must read and write at once.
    std::string input;
    for (int i = 0; input.size() < 700 * 1024; ++i) {
        input += "line " + std::to_string(i) + '\0' + "\xff\n";
    }
    const auto out = run({.program = "cat", .input = input});
    ASSERT_TRUE(out.has_value()) << out.error().message;
    EXPECT_TRUE(out->status.success());
    EXPECT_EQ(out->stdout_bytes.size(), input.size());
    EXPECT_TRUE(out->stdout_bytes == input);
}

TEST_F(RunTest, InputIsOnlyEverInStandardInput)
{
    // A secret handed over as input is not visible in the child's command line.
    const std::string secret = "correct horse battery staple";
    const auto out = run({.program = script("show", "read -r line; cat /proc/$$/cmdline; echo; echo \"$line\""),
                          .args = {"--ask"},
                          .input = secret + "\n"});
    ASSERT_TRUE(out.has_value()) << out.error().message;
    const auto lines = out->stdout_text();
    EXPECT_THAT(lines.substr(0, lines.find('\n')), Not(HasSubstr(secret)));
    EXPECT_THAT(lines, HasSubstr("\n" + secret + "\n"));
}

TEST_F(RunTest, WithoutInputTheChildReadsEndOfFile)
{
    // A program that asks a question must not sit waiting for an answer until its time is up.
    const auto started = Clock::now();
    const auto out = run({.program = script("ask", "if read -r answer; then echo \"got $answer\"; else echo eof; fi"),
                          .time_limit = 30s});
    ASSERT_TRUE(out.has_value()) << out.error().message;
    EXPECT_EQ(out->stdout_bytes, "eof\n");
    EXPECT_LT(Clock::now() - started, prompt);
}

TEST_F(RunTest, InputTheChildDoesNotReadIsDropped)
{
    // The child exits without reading; writing the rest must neither raise SIGPIPE here nor fail the run.
    const auto out = run({.program = script("ignore", "echo done"), .input = std::string(4 * 1024 * 1024, 'x')});
    ASSERT_TRUE(out.has_value()) << out.error().message;
    EXPECT_EQ(out->stdout_bytes, "done\n");
    EXPECT_TRUE(out->status.success());
}

TEST_F(RunTest, EnvironmentVariablesAreAddedOrReplaced)
{
    ASSERT_EQ(setenv("VORN_RUNNER_INHERITED", "kept", 1), 0);
    ASSERT_EQ(setenv("VORN_RUNNER_REPLACED", "old", 1), 0);
    const auto out = run({.program = script("env", R"(printf '%s|%s|%s|%s\n' "$LC_ALL" "$VORN_RUNNER_INHERITED" "$VORN_RUNNER_REPLACED" "$VORN_RUNNER_NEW"
env | grep -c '^VORN_RUNNER_REPLACED=')"),
                          .env = {{"LC_ALL", "C"}, {"VORN_RUNNER_REPLACED", "new"}, {"VORN_RUNNER_NEW", "a b;c"}}});
    unsetenv("VORN_RUNNER_INHERITED");
    unsetenv("VORN_RUNNER_REPLACED");
    ASSERT_TRUE(out.has_value()) << out.error().message;
    EXPECT_EQ(out->stdout_bytes, "C|kept|new|a b;c\n1\n");
}

TEST_F(RunTest, ProgramsThatCannotStartGiveAClearError)
{
    const std::string not_executable = (dir_ / "plain-file").string();
    std::ofstream(not_executable) << "echo never\n";
    struct Case {
        std::string program;
        ErrorKind kind;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"vorn-no-such-program", ErrorKind::NotFound, "vorn-no-such-program not found"},
        {"/usr/bin/vorn-no-such-program", ErrorKind::NotFound, "/usr/bin/vorn-no-such-program not found"},
        {not_executable, ErrorKind::StartFailed, "could not start " + not_executable + ": Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        const auto out = run({.program = c.program});
        ASSERT_FALSE(out.has_value());
        EXPECT_EQ(out.error().kind, c.kind);
        EXPECT_EQ(out.error().message, c.message);
    }
}

TEST_F(RunTest, InvalidCommandsAreRefusedBeforeStarting)
{
    const std::string marker = (dir_ / "started").string();
    const std::string program = script("touch-marker", "touch '" + marker + "'");
    struct Case {
        Command command;
        std::string message;
    };
    std::vector<Case> cases;
    cases.push_back({Command{.program = ""}, "no program given"});
    cases.push_back({Command{.program = program, .args = {std::string("a\0b", 3)}},
                     "an argument for " + program + " contains a NUL byte"});
    cases.push_back({Command{.program = program, .env = {{"A=B", "x"}}}, "invalid environment variable for " + program});
    cases.push_back({Command{.program = program, .env = {{"", "x"}}}, "invalid environment variable for " + program});
    cases.push_back({Command{.program = program, .time_limit = 0s}, "the time limit for " + program + " must be positive"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const auto out = run(c.command);
        ASSERT_FALSE(out.has_value());
        EXPECT_EQ(out.error().kind, ErrorKind::InvalidCommand);
        EXPECT_EQ(out.error().message, c.message);
    }
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(RunTest, TimeLimitStopsTheChildAndEverythingItStarted)
{
    // The child ignores SIGTERM and so do its own children (the disposition is inherited): only the SIGKILL that
    // follows the grace ends them. One grandchild runs in the background, one in a pipeline.
    const auto pids = path("pids");
    const std::string body = "trap '' TERM\n"
                             "sleep 30 &\n" +
                             write_pid("\"$$ $!\"", "'" + pids.string() + "'") +
                             "\n"
                             "echo started\n"
                             "sleep 30 | cat\n";
    const auto started = Clock::now();
    // (The limit leaves the script ample time to write its pids, even on a loaded machine.)
    const auto out = run({.program = script("stubborn", body), .time_limit = 2s});
    const auto elapsed = Clock::now() - started;

    ASSERT_FALSE(out.has_value());
    EXPECT_EQ(out.error().kind, ErrorKind::TimedOut);
    EXPECT_THAT(out.error().message, ::testing::EndsWith("stubborn timed out after 2 s"));
    EXPECT_EQ(out.error().stdout_bytes, "started\n");  // what came before the stop is kept
    EXPECT_LT(elapsed, prompt);

    std::ifstream in(pids);
    pid_t child = 0;
    pid_t grandchild = 0;
    ASSERT_TRUE(in >> child >> grandchild);
    EXPECT_TRUE(process_ends_within(child, prompt));
    EXPECT_TRUE(process_ends_within(grandchild, prompt));
    // The direct child was reaped: it is no longer our child at all.
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(RunTest, OutputIsCutAtTheCap)
{
    struct Case {
        std::string name;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"ten-mib", "head -c 10485760 /dev/zero"},
        {"endless", "yes"},
        {"both-streams", "head -c 700000 /dev/zero; head -c 700000 /dev/zero >&2; sleep 30"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto started = Clock::now();
        const auto out = run({.program = script(c.name, c.body), .time_limit = 30s});
        ASSERT_FALSE(out.has_value());
        EXPECT_EQ(out.error().kind, ErrorKind::OutputLimit);
        EXPECT_THAT(out.error().message, ::testing::EndsWith(c.name + " printed more than 1 MiB of output"));
        EXPECT_EQ(out.error().stdout_bytes.size() + out.error().stderr_bytes.size(), default_output_limit);
        EXPECT_LT(Clock::now() - started, prompt);
    }
}

TEST_F(RunTest, OutputExactlyAtTheCapIsComplete)
{
    const auto out = run({.program = script("exact", "head -c 4096 /dev/zero; head -c 1024 /dev/zero >&2"),
                          .output_limit = 5 * 1024});
    ASSERT_TRUE(out.has_value()) << out.error().message;
    EXPECT_EQ(out->stdout_bytes.size(), 4096u);
    EXPECT_EQ(out->stderr_bytes.size(), 1024u);

    const std::string one_more = script("over", "head -c 5121 /dev/zero");
    const auto over = run({.program = one_more, .output_limit = 5 * 1024});
    ASSERT_FALSE(over.has_value());
    EXPECT_EQ(over.error().message, one_more + " printed more than 5 KiB of output");
    EXPECT_EQ(over.error().stdout_bytes.size(), 5u * 1024);
}

TEST_F(RunTest, ABackgroundProcessHoldingTheOutputDoesNotHoldUpTheResult)
{
    // "start a server and return": the child exits at once, its daemon keeps stdout open and keeps running.
    const auto pids = path("daemon");
    const auto started = Clock::now();
    const auto out = run({.program = script("starter", "sleep 30 &\n" + write_pid("$!", "'" + pids.string() + "'") +
                                                           "\necho started"),
                          .time_limit = 20s});
    const auto elapsed = Clock::now() - started;
    const pid_t daemon = read_pid_file(pids);

    ASSERT_TRUE(out.has_value()) << out.error().message;
    EXPECT_EQ(out->stdout_bytes, "started\n");
    EXPECT_TRUE(out->status.success());
    EXPECT_LT(elapsed, prompt);
    EXPECT_FALSE(testing::process_ended(daemon)) << "a finished command must not take its daemon down";
    kill(daemon, SIGKILL);
}

TEST_F(RunTest, AStopRequestCancelsTheRun)
{
    const auto pids = path("pid");
    std::stop_source stop;
    std::jthread stopper([&] {
        read_pid_file(pids);
        stop.request_stop();
    });
    const auto started = Clock::now();
    const auto out = run({.program = script("waits", write_pid("$$", "'" + pids.string() + "'") + "\nsleep 30"),
                          .time_limit = 60s,
                          .stop = stop.get_token()});
    ASSERT_FALSE(out.has_value());
    EXPECT_EQ(out.error().kind, ErrorKind::Cancelled);
    EXPECT_LT(Clock::now() - started, prompt);
    EXPECT_TRUE(process_ends_within(read_pid_file(pids), prompt));

    // Already stopped: nothing starts.
    const std::string marker = (dir_ / "ran").string();
    const auto never = run({.program = script("marker", "touch '" + marker + "'"), .stop = stop.get_token()});
    ASSERT_FALSE(never.has_value());
    EXPECT_EQ(never.error().kind, ErrorKind::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(RunTest, AStopScopeCallsOffWhatItsThreadRunsAndStarts)
{
    // A worker deep inside a backend runs a command that knows nothing of the owner's token, and starts another.
    const auto run_pid = path("run-pid");
    const auto spawn_pid = path("spawn-pid");
    std::stop_source owner;
    std::optional<Result> ran;
    std::optional<Result> spawned;
    std::thread worker([&, token = owner.get_token()] {
        const StopScope scope(token);
        auto pending = spawn_prepared(
            {.program = script("spawned", write_pid("$$", "'" + spawn_pid.string() + "'") + "\nsleep 30"),
             .time_limit = 60s});
        ran = run({.program = script("hangs", write_pid("$$", "'" + run_pid.string() + "'") + "\nsleep 30"),
                   .time_limit = 60s});
        if (pending) {
            spawned = pending->wait();
        }
    });
    const pid_t run_child = read_pid_file(run_pid);
    const pid_t spawn_child = read_pid_file(spawn_pid);
    owner.request_stop();
    worker.join();
    ASSERT_TRUE(ran && spawned);
    ASSERT_FALSE(ran->has_value());
    EXPECT_EQ(ran->error().kind, ErrorKind::Cancelled);
    ASSERT_FALSE(spawned->has_value());
    EXPECT_EQ(spawned->error().kind, ErrorKind::Cancelled);
    EXPECT_TRUE(process_ends_within(run_child, prompt));
    EXPECT_TRUE(process_ends_within(spawn_child, prompt));

    // Within a stopped scope nothing starts; outside every scope the thread runs as before.
    const std::string marker = (dir_ / "ran").string();
    {
        const StopScope scope(owner.get_token());
        const auto never = run({.program = script("marker", "touch '" + marker + "'")});
        ASSERT_FALSE(never.has_value());
        EXPECT_EQ(never.error().kind, ErrorKind::Cancelled);
    }
    EXPECT_FALSE(std::filesystem::exists(marker));
    EXPECT_FALSE(StopScope::current().stop_possible());
    EXPECT_TRUE(run({.program = script("marker2", "touch '" + marker + "'")}).has_value());
}

TEST_F(RunTest, NoDescriptorLeaksIntoTheChildOrStaysOpenHere)
{
    // A descriptor opened without O_CLOEXEC (as a careless library might) must not reach the child.
    const auto marker = path("leak-marker");
    std::ofstream(marker) << "x";
    const int careless = ::open(marker.c_str(), O_RDONLY);
    ASSERT_GE(careless, 0);
    const std::string lister = script("fds", "ls -l /proc/$$/fd/");

    const std::size_t before = testing::open_descriptor_count();
    const auto out = run({.program = lister});
    ASSERT_TRUE(out.has_value()) << out.error().message;
    EXPECT_THAT(out->stdout_text(), Not(HasSubstr("leak-marker")));
    EXPECT_THAT(out->stdout_text(), HasSubstr("0 -> /dev/null"));
    // Every way a run ends gives back its descriptors.
    (void)run({.program = "cat", .input = "x"});
    (void)run({.program = script("slow", "sleep 30"), .time_limit = 200ms});
    (void)run({.program = "yes", .output_limit = 1024});
    (void)run({.program = "vorn-no-such-program"});
    std::stop_source stop;
    stop.request_stop();
    (void)run({.program = "true", .stop = stop.get_token()});
    EXPECT_EQ(testing::open_descriptor_count(), before);
    ::close(careless);
}

TEST_F(RunTest, ManyThreadsRunCommandsAtOnce)
{
    const std::string echo = script("echo", R"(printf '%s' "$1"; printf '%s' "$1" >&2; exit "$2")");
    const std::string slow = script("slow", "sleep 30");
    constexpr int threads = 16;
    constexpr int runs = 8;
    std::vector<std::string> failures(threads);
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                for (int r = 0; r < runs; ++r) {
                    if (t == 0 && r == 0) {
                        // One run hits its time limit while the others go on.
                        const auto timed_out = run({.program = slow, .time_limit = 300ms});
                        if (timed_out || timed_out.error().kind != ErrorKind::TimedOut) {
                            failures[t] += "slow run did not time out; ";
                        }
                        continue;
                    }
                    const std::string word = fmt::format("t{}r{}", t, r);
                    const int code = (t + r) % 3;
                    const auto out = run({.program = echo, .args = {word, std::to_string(code)},
                                          .input = word});
                    if (!out || out->stdout_bytes != word || out->stderr_bytes != word ||
                        out->status.code != code) {
                        failures[t] += word + " ";
                    }
                }
            });
        }
    }
    for (int t = 0; t < threads; ++t) {
        EXPECT_EQ(failures[t], "") << "thread " << t;
    }
    // Nothing is left for us to reap.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST_F(RunTest, AnExceptionNeverLeavesAChildBehind)
{
    const auto pids = path("pids");
    pid_t child_pid = -1;
    try {
        auto child = detail::ChildProcess::start(
            {.program = script("busy", "sleep 30 &\n" + write_pid("\"$$ $!\"", "'" + pids.string() + "'") +
                                           "\nsleep 30")});
        ASSERT_TRUE(child.has_value()) << child.error().message;
        child_pid = child->pid();
        read_pid_file(pids);
        throw std::runtime_error("the caller failed halfway");
    } catch (const std::runtime_error&) {
    }
    std::ifstream in(pids);
    pid_t child = 0;
    pid_t grandchild = 0;
    ASSERT_TRUE(in >> child >> grandchild);
    EXPECT_EQ(child, child_pid);
    EXPECT_EQ(waitpid(child_pid, nullptr, WNOHANG), -1);  // already reaped
    EXPECT_EQ(errno, ECHILD);
    EXPECT_TRUE(process_ends_within(grandchild, prompt));
}

// ---- Commands that run while the caller goes on ------------------------------------------------------------------

class SpawnTest : public testing::ScriptDir {};

TEST_F(SpawnTest, TryWaitAnswersRunningThenTheResult)
{
    const auto go = path("go");
    auto command = spawn_prepared(
        {.program = script("gate", "while [ ! -e '" + go.string() + "' ]; do sleep 0.02; done\ncat"),
         .input = R"({"role":"always-on","workspace_ids":[1,2]})",
         .time_limit = 60s});
    ASSERT_TRUE(command.has_value()) << command.error().message;

    EXPECT_FALSE(command->try_wait().has_value());
    std::ofstream(go) << "";
    const Result result = command->wait();
    ASSERT_TRUE(result.has_value()) << result.error().message;
    EXPECT_EQ(result->stdout_bytes, R"({"role":"always-on","workspace_ids":[1,2]})");
    // The answer stays available.
    const auto again = command->try_wait();
    ASSERT_TRUE(again.has_value());
    ASSERT_TRUE(again->has_value());
    EXPECT_EQ((*again)->stdout_bytes, result->stdout_bytes);
}

TEST_F(SpawnTest, TheTimeLimitHoldsWithoutAnyoneAsking)
{
    const auto pids = path("pid");
    auto command = spawn_prepared(
        {.program = script("slow", write_pid("$$", "'" + pids.string() + "'") + "\nsleep 30"), .time_limit = 2s});
    ASSERT_TRUE(command.has_value()) << command.error().message;
    // Nobody polls: the process still ends at its limit.
    EXPECT_TRUE(process_ends_within(read_pid_file(pids), prompt));
    const Result result = command->wait();
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::TimedOut);
}

TEST_F(SpawnTest, DroppingARunningHandleStopsTheCommand)
{
    const auto pids = path("pids");
    {
        auto command = spawn_prepared(
            {.program = script("busy", "sleep 30 &\n" + write_pid("\"$$ $!\"", "'" + pids.string() + "'") +
                                           "\nsleep 30"),
             .time_limit = 600s});
        ASSERT_TRUE(command.has_value()) << command.error().message;
        read_pid_file(pids);
    }
    std::ifstream in(pids);
    pid_t child = 0;
    pid_t grandchild = 0;
    ASSERT_TRUE(in >> child >> grandchild);
    EXPECT_TRUE(process_ends_within(child, prompt));
    EXPECT_TRUE(process_ends_within(grandchild, prompt));
}

TEST_F(SpawnTest, StreamedOutputArrivesWhileTheCommandRunsAndIsNotCollected)
{
    const auto go = path("go");
    struct Seen {
        std::mutex mutex;
        std::string bytes;
    };
    auto seen = std::make_shared<Seen>();
    auto command = spawn_prepared(
        {.program = script("meter", "printf 'first'\nwhile [ ! -e '" + go.string() + "' ]; do sleep 0.02; done\n"
                                    "printf ' second'\necho oops >&2"),
         .time_limit = 60s,
         .on_stdout = [seen](std::string_view chunk) {
             const std::lock_guard lock(seen->mutex);
             seen->bytes.append(chunk);
         }});
    ASSERT_TRUE(command.has_value()) << command.error().message;
    // The first piece is handed over before the program ends.
    const auto deadline = Clock::now() + prompt;
    for (;;) {
        {
            const std::lock_guard lock(seen->mutex);
            if (seen->bytes == "first") {
                break;
            }
        }
        ASSERT_LT(Clock::now(), deadline) << "no output while running";
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_FALSE(command->try_wait().has_value());
    std::ofstream(go) << "";
    const Result result = command->wait();
    ASSERT_TRUE(result.has_value()) << result.error().message;
    EXPECT_EQ(result->stdout_bytes, "");
    EXPECT_EQ(result->stderr_bytes, "oops\n");
    const std::lock_guard lock(seen->mutex);
    EXPECT_EQ(seen->bytes, "first second");
}

TEST_F(RunTest, StandardErrorCanBeFollowedWhileStandardOutputIsCollected)
{
    std::string progress;
    const Result result = run({.program = script("progress", "printf 'Writing: 40%%\\n' >&2\necho done\n"
                                                             "printf 'Writing: 90%%\\n' >&2\nexit 3"),
                               .on_stderr = [&progress](std::string_view chunk) { progress.append(chunk); }});
    ASSERT_TRUE(result.has_value()) << result.error().message;
    EXPECT_EQ(progress, "Writing: 40%\nWriting: 90%\n");
    EXPECT_EQ(result->stdout_bytes, "done\n");
    EXPECT_EQ(result->stderr_bytes, "");
    EXPECT_EQ(result->status.code, 3);
}

TEST_F(RunTest, AProgramThatStreamsWithoutPauseStillMeetsItsTimeLimit)
{
    std::atomic<std::size_t> received{0};
    const Result result = run({.program = "yes",
                               .time_limit = 500ms,
                               .on_stdout = [&received](std::string_view chunk) { received += chunk.size(); }});
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::TimedOut);
    EXPECT_GT(received.load(), default_output_limit);  // far past the cap, which bounds collected output only
}

TEST_F(RunTest, ProgramsAreFoundAsRunWouldFindThem)
{
    const std::string tool = script("bin/vorn-probe-tool", "exit 0");
    std::ofstream(path("bin/vorn-plain-file")) << "not a program";
    std::filesystem::create_directories(path("bin/vorn-folder"));
    const char* saved = std::getenv("PATH");
    const std::string old_path = saved != nullptr ? saved : "";
    ::setenv("PATH", ("/nonexistent::" + path("bin").string()).c_str(), 1);
    EXPECT_TRUE(program_available("vorn-probe-tool"));
    EXPECT_TRUE(program_available(tool));
    EXPECT_FALSE(program_available("vorn-plain-file"));  // not executable
    EXPECT_FALSE(program_available("vorn-folder"));
    EXPECT_FALSE(program_available("vorn-missing-tool"));
    EXPECT_FALSE(program_available(""));
    EXPECT_FALSE(program_available(path("bin/vorn-plain-file").string()));
    ::setenv("PATH", old_path.c_str(), 1);
}

TEST_F(SpawnTest, ACommandThatCannotStartIsAnErrorAtOnce)
{
    const auto command = spawn_prepared({.program = "vorn-no-such-helper", .input = "{}"});
    ASSERT_FALSE(command.has_value());
    EXPECT_EQ(command.error().kind, ErrorKind::NotFound);
    EXPECT_EQ(command.error().message, "vorn-no-such-helper not found");
}

TEST_F(SpawnTest, TheSystemRunnerForwardsToTheRealRunner)
{
    const std::shared_ptr<Runner> runner = system_runner();
    ASSERT_EQ(runner, system_runner());
    const auto out = runner->run({.program = "cat", .input = "hello"});
    ASSERT_TRUE(out.has_value()) << out.error().message;
    EXPECT_EQ(out->stdout_bytes, "hello");
    auto command = runner->spawn_prepared({.program = "cat", .input = "async"});
    ASSERT_TRUE(command.has_value()) << command.error().message;
    const Result result = command->wait();
    ASSERT_TRUE(result.has_value()) << result.error().message;
    EXPECT_EQ(result->stdout_bytes, "async");
}


// ---- Programs that live on their own -----------------------------------------------------------------------------

class LaunchTest : public testing::ScriptDir {
protected:
    static std::string read_file(const std::filesystem::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// True once the process is gone altogether within `limit`: ended and reaped (a zombie keeps its /proc entry).
bool reaped_within(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (std::filesystem::exists("/proc/" + std::to_string(pid))) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

TEST_F(LaunchTest, TheProgramGetsItsArgumentsAndASessionOfItsOwnAndIsReapedWhenItEnds)
{
    const auto out = path("out");
    // The pid file comes last, so once it is there the other answers are complete.
    const std::string tool = script(
        "dir with space/tool",
        "o='" + out.string() + "'\n"
        "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$o.args\"\n"
        "cut -d' ' -f6 /proc/$$/stat > \"$o.sid\"\n"
        // Read before anything is redirected, in a subshell whose own output is the pipe.
        "fds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
        "echo \"$fds\" > \"$o.fds\"\n" +
            write_pid("$$", "\"$o.pid\""));
    const std::vector<std::string> args = {"--profile=Office VPN", "two words", "$HOME", "; touch pwned", ""};

    const auto started = launch_detached({.program = tool, .args = args});

    ASSERT_TRUE(started.has_value()) << started.error().message;
    const pid_t pid = read_pid_file(path("out.pid"));
    EXPECT_EQ(pid, *started);
    EXPECT_EQ(split_nul(read_file(path("out.args"))), args);
    EXPECT_EQ(read_file(path("out.sid")), std::to_string(pid) + "\n") << "the program leads a session of its own";
    EXPECT_EQ(read_file(path("out.fds")), "/dev/null\n/dev/null\n/dev/null\n");
    EXPECT_TRUE(reaped_within(pid, prompt)) << "the ended program must not stay a zombie";
}

TEST_F(LaunchTest, ReturnsWhileTheProgramRunsAndReapsItWhenItIsStoppedLater)
{
    const auto pid_file = path("pid");
    const std::string tool = script("long", write_pid("$$", "'" + pid_file.string() + "'") + "\nexec sleep 30");

    const auto before = Clock::now();
    const auto started = launch_detached({.program = tool, .time_limit = 50ms});
    ASSERT_TRUE(started.has_value()) << started.error().message;
    EXPECT_LT(Clock::now() - before, 1s);
    ASSERT_EQ(read_pid_file(pid_file), *started);

    // The command's time limit does not apply to a program that lives on its own.
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(testing::process_ended(*started));
    ASSERT_EQ(kill(*started, SIGKILL), 0);
    EXPECT_TRUE(reaped_within(*started, prompt));
}

TEST_F(LaunchTest, AProgramThatCannotStartIsAClearError)
{
    const auto missing = launch_detached({.program = "vorn-no-such-tool"});
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().kind, ErrorKind::NotFound);
    EXPECT_EQ(missing.error().message, "vorn-no-such-tool not found");

    const auto with_input = launch_detached({.program = "cat", .input = "secret"});
    ASSERT_FALSE(with_input.has_value());
    EXPECT_EQ(with_input.error().kind, ErrorKind::InvalidCommand);

    const auto nul = launch_detached({.program = "true", .args = {std::string("a\0b", 3)}});
    ASSERT_FALSE(nul.has_value());
    EXPECT_EQ(nul.error().kind, ErrorKind::InvalidCommand);
}

}  // namespace
}  // namespace cmd_runner
