#pragma once
// Inner parts of the command runner: a started child process that can never be left behind, and the loop that
// feeds and drains it. Not for callers outside cmd_runner (its own tests use it).

#include "cmd_runner/cmd_runner.hpp"

#include <sys/types.h>

#include <chrono>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace cmd_runner::detail {

// An owned file descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    void reset();

private:
    int fd_ = -1;
};

// A child started in a process group of its own, with pipes to its standard streams. Whatever happens to the
// caller (an early return, an exception), the destructor stops the group and reaps the child if that has not
// happened yet, so no child is left running past its time and none is left as a zombie.
class ChildProcess {
public:
    // Spawns the command (no shell). The error is NotFound, StartFailed, InvalidCommand or Io.
    static std::expected<ChildProcess, Error> start(const Command& command);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    [[nodiscard]] pid_t pid() const { return pid_; }
    Fd& stdin_pipe() { return stdin_; }    // not valid when the command has no input
    Fd& stdout_pipe() { return stdout_; }
    Fd& stderr_pipe() { return stderr_; }
    // Readable once the child has exited; -1 when the kernel offers no pidfd (then poll_exit() must be polled).
    [[nodiscard]] int exit_fd() const { return pidfd_.get(); }

    // Reaps the child when it has exited; never blocks. The status once reaped.
    std::optional<ExitStatus> poll_exit();
    [[nodiscard]] bool reaped() const { return reaped_; }

    // Stops the whole group: SIGTERM, up to `grace` for the child to go, then SIGKILL, then reaps the child. A
    // child that cannot be signalled (a setuid program such as pkexec) or that does not go away is handed to a
    // background reaper instead of blocking the caller. Does nothing once the child is reaped.
    void stop_group(std::chrono::milliseconds grace = kill_grace);

private:
    ChildProcess() = default;
    bool wait_exited(std::chrono::milliseconds limit);
    void hand_to_reaper();

    pid_t pid_ = -1;
    bool reaped_ = true;
    std::optional<ExitStatus> status_;
    Fd pidfd_;
    Fd stdin_;
    Fd stdout_;
    Fd stderr_;
};

// Feeds `input` to the child, collects its output within the command's cap and waits for it to end, the time limit,
// or `cancel_fd` (an eventfd, or -1) to become readable. Stops the group on every way out but a normal exit.
Result communicate(ChildProcess& child, const Command& command, std::string_view input, int cancel_fd);

// The parts of an error sentence.
std::string describe_seconds(std::chrono::milliseconds limit);  // "10", "0.5"
std::string describe_size(std::size_t bytes);                   // "1 MiB", "64 KiB", "1000 bytes"

}  // namespace cmd_runner::detail
