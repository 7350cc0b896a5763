#pragma once
// Bounded external commands.
//
// Every external program the settings run (nmcli, wpctl, bluetoothctl, timedatectl, bootc, systemctl, journalctl,
// pkexec with a privileged helper, ...) is started through this runner:
//
//   - without a shell: the program gets exactly the argument texts given, nothing is expanded or split;
//   - in a process group of its own, so that everything it starts can be stopped with it;
//   - with a time limit per call and a cap on the collected output (standard output and standard error together);
//     on time-out or overflow the whole group gets SIGTERM, then SIGKILL after a short grace, and the result says
//     which limit was hit;
//   - standard input is /dev/null unless the call carries input bytes (secrets such as a Wi-Fi password go there,
//     never into the arguments, which every user can read in /proc/<pid>/cmdline);
//   - no descriptor of this program leaks into the child, and the child is always reaped.
//
// A run that started and ended on its own is an Output, whatever its exit status: callers judge the status.
// Everything else (not started, limit reached, cancelled) is an Error with a short sentence for messages.
//
//   auto out = cmd_runner::run({.program = "wpctl", .args = {"get-volume", "@DEFAULT_AUDIO_SOURCE@"},
//                               .time_limit = std::chrono::seconds(5)});
//   if (!out) return fmt::format("wpctl control failed: {}", out.error().message);
//   if (!out->status.success()) return cmd_runner::failure_text(*out, "wpctl");
//
// All functions are safe to call from any thread at the same time.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cmd_runner {

// The output cap every caller uses: 1 MiB.
inline constexpr std::size_t default_output_limit = 1024 * 1024;
// The time limit of a quick probe.
inline constexpr std::chrono::milliseconds default_time_limit = std::chrono::seconds(10);
// How long a stopped group gets between SIGTERM and SIGKILL.
inline constexpr std::chrono::milliseconds kill_grace = std::chrono::milliseconds(250);

struct EnvVar {
    std::string name;
    std::string value;
};

// One external command and its limits.
struct Command {
    // A program name looked up in PATH, or a path (anything with a "/") used as it is.
    std::string program;
    // The arguments after the program name (argv[1...]).
    std::vector<std::string> args;
    // Variables set for the child on top of this program's environment, e.g. {"LC_ALL", "C"}.
    std::vector<EnvVar> env;
    // Bytes for the child's standard input, which is closed after them. Without input it reads /dev/null.
    // spawn_prepared() wipes its copy once the command has ended; with run() the caller owns (and wipes) it.
    std::optional<std::string> input;
    std::chrono::milliseconds time_limit = default_time_limit;
    // Cap on standard output and standard error together; what is collected never exceeds it.
    std::size_t output_limit = default_output_limit;
    // A stop request ends the run early (the group is stopped like on a time-out); the result is Cancelled.
    std::stop_token stop;
    // When set, standard output is handed to this function piece by piece as it arrives (on the thread that waits
    // for the command) instead of being collected: a level meter reading a recorder's samples, say. Nothing of it
    // is kept, so the output cap then bounds standard error alone; the time limit still ends the run.
    std::function<void(std::string_view)> on_stdout;
    // The same for standard error: a tool that reports its progress there (fwupdmgr's "Writing…: 40%" lines) is
    // followed while it runs. Nothing of it is kept; the cap then bounds what is collected of standard output.
    std::function<void(std::string_view)> on_stderr;
};

// How the program ended.
struct ExitStatus {
    std::optional<int> code;  // the exit status, when it exited
    int signal = 0;           // the signal that terminated it otherwise

    [[nodiscard]] bool success() const { return code == 0; }
    // "exit status 3" or "terminated by signal 9 (Killed)".
    [[nodiscard]] std::string describe() const;
    friend bool operator==(const ExitStatus&, const ExitStatus&) = default;
};

// A program that ran and ended on its own. The output members hold raw bytes; decode them with stdout_text().
struct Output {
    std::string stdout_bytes;
    std::string stderr_bytes;
    ExitStatus status;

    // The bytes as UTF-8 text, invalid sequences replaced by U+FFFD.
    [[nodiscard]] std::string stdout_text() const;
    [[nodiscard]] std::string stderr_text() const;
};

enum class ErrorKind {
    InvalidCommand,  // empty program name, a NUL byte in an argument or variable, a limit of zero
    NotFound,        // no such program
    StartFailed,     // the program exists but could not be started (not executable, no resources, ...)
    TimedOut,        // the time limit was reached; the group was stopped
    OutputLimit,     // more output than the cap; the group was stopped
    Cancelled,       // the stop token was triggered or the running handle was dropped
    Io,              // the runner itself failed while the program ran
};

struct Error {
    ErrorKind kind = ErrorKind::Io;
    // A short sentence for messages: "nmcli not found", "bootc timed out after 10 s".
    std::string message;
    // What was collected before the run was stopped (TimedOut, OutputLimit, Cancelled), within the cap.
    std::string stdout_bytes;
    std::string stderr_bytes;

    [[nodiscard]] const std::string& text() const { return message; }
};

using Result = std::expected<Output, Error>;

// Runs the command and waits for it on the calling thread.
[[nodiscard]] Result run(const Command& command);

// The answer handle of a command started with spawn_prepared(). Dropping a handle whose command still runs stops
// the command's process group (SIGTERM, SIGKILL after the grace) and reaps it in the background, without blocking.
// A moved-from handle must not be asked.
class AsyncCommand {
public:
    // What a pending command looks like from the inside; tests of callers can supply their own.
    class Pending {
    public:
        virtual ~Pending() = default;
        // Never blocks: no value while the command runs.
        virtual std::optional<Result> try_wait() = 0;
        // Blocks until the command has ended.
        virtual Result wait() = 0;
    };

    explicit AsyncCommand(std::unique_ptr<Pending> pending);
    // A handle whose command has already ended with this result (for fakes).
    static AsyncCommand finished(Result result);

    AsyncCommand(AsyncCommand&&) noexcept = default;
    AsyncCommand& operator=(AsyncCommand&&) noexcept = default;
    ~AsyncCommand();

    // Never blocks: no value while the command runs, then its result (the same result on every later call).
    [[nodiscard]] std::optional<Result> try_wait();
    // Blocks until the command has ended and returns its result.
    [[nodiscard]] Result wait();

private:
    std::unique_ptr<Pending> pending_;
};

// Starts the command and returns at once. An error here means it did not start (or the command is invalid).
// The time limit runs from the start, whether or not anyone asks for the result.
[[nodiscard]] std::expected<AsyncCommand, Error> spawn_prepared(Command command);

// While a StopScope lives on a thread, every command that thread runs or starts (run(), spawn_prepared()) also
// stops when `token` is triggered, as if the command carried it: the owner of a worker calls off the tool the worker
// waits for deep inside a backend, and can then join the worker within the kill grace. Scopes nest; the innermost
// counts.
//
//   std::jthread worker([](std::stop_token stop) { cmd_runner::StopScope scope(stop); backend.read(); });
class StopScope {
public:
    explicit StopScope(std::stop_token token);
    ~StopScope();
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

    // The token of the innermost scope of the calling thread (none outside every scope).
    [[nodiscard]] static std::stop_token current();

private:
    std::stop_token previous_;
};

// Starts a program that lives on its own, such as a tool window the user asked for, and returns at once with its
// process id. The program gets a session of its own (no controlling terminal; signals to this program's group do not
// reach it), standard streams on /dev/null and a clean signal state; nothing is collected, no time limit applies and
// the stop token is not watched. It is reaped in the background when it ends, so it never stays a zombie. An error
// means it did not start: NotFound ("vorn-disks not found"), StartFailed, InvalidCommand (also for a command with
// input) or Io.
//
//   auto pid = cmd_runner::launch_detached({.program = "vorn-disks"});
[[nodiscard]] std::expected<pid_t, Error> launch_detached(const Command& command);

// Whether run() would find the program: a name (without "/") that names an executable file in one of PATH's
// folders, or a path to an executable file. Reads PATH at each call.
[[nodiscard]] bool program_available(std::string_view program);

// What the system backends depend on, so that their tests can put a fake in its place (see fake_runner.hpp).
class Runner {
public:
    virtual ~Runner() = default;
    [[nodiscard]] virtual Result run(const Command& command) = 0;
    [[nodiscard]] virtual std::expected<AsyncCommand, Error> spawn_prepared(Command command) = 0;
};

// The real runner: forwards to cmd_runner::run and cmd_runner::spawn_prepared.
class SystemRunner final : public Runner {
public:
    [[nodiscard]] Result run(const Command& command) override;
    [[nodiscard]] std::expected<AsyncCommand, Error> spawn_prepared(Command command) override;
};

// One shared SystemRunner for backends that are given none.
[[nodiscard]] std::shared_ptr<Runner> system_runner();

// ---- Text for messages -------------------------------------------------------------------------------------------

// The bytes as UTF-8, each invalid sequence replaced by U+FFFD (one per maximal invalid subpart).
[[nodiscard]] std::string decode_lossy(std::string_view bytes);

struct CleanOptions {
    bool keep_newline = false;  // keep line feeds (otherwise each becomes a space)
    bool keep_tab = false;      // keep tabs (otherwise each becomes a space)
    // Most characters (code points) kept after cleaning; npos keeps everything.
    std::size_t max_chars = std::string_view::npos;
    // Most bytes of the result, cut on a character boundary (an SSID: 32); npos keeps everything.
    std::size_t max_bytes = std::string_view::npos;
    bool trim = false;  // remove white space at both ends
};

// Command output made safe for a message: decoded leniently, ANSI escape sequences (colours, cursor movement,
// window titles) removed, and every other control character removed: U+0000 to U+001F, U+007F to U+009F and the
// bidirectional overrides, isolates and marks (U+202A to U+202E, U+2066 to U+2069, U+200E, U+200F, U+061C) that
// could reorder a message or a name on screen. This is the one rule for all text from outside the program: tool
// output, and names from the air or the network (SSIDs, device and printer names) before they are shown or kept:
//
//   auto ssid = cmd_runner::clean_text(raw, {.max_bytes = 32, .trim = true});
// Line feed and tab are kept when asked, otherwise they become a space so words stay apart; a carriage return is
// dropped.
[[nodiscard]] std::string clean_text(std::string_view bytes, const CleanOptions& options = {});

// A one-line message for a run that ended with a non-zero status: the cleaned, trimmed standard error (at most
// 512 characters, line breaks as spaces), or, when that is empty, "{program} ended with exit status 2" /
// "{program} ended: terminated by signal 9 (Killed)".
[[nodiscard]] std::string failure_text(const Output& output, std::string_view program);

}  // namespace cmd_runner
