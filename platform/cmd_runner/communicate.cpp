#include "cmd_runner/process.hpp"

#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <system_error>

namespace cmd_runner::detail {
namespace {

using Clock = std::chrono::steady_clock;

// How long to keep reading after the program exited while something it started (a daemon) still holds its output
// pipes open. After that the pipes are closed and the run counts as finished; the daemon is left alone.
constexpr std::chrono::milliseconds drain_grace{250};
// The poll period when the kernel offers no pidfd for the child.
constexpr std::chrono::milliseconds fallback_tick{20};
constexpr std::size_t chunk_size = 64 * 1024;
constexpr std::size_t max_write = 64 * 1024;
// Reads of one pipe before the wait loop looks at the clock again.
constexpr std::size_t reads_per_turn = 16;

// write() that reports EPIPE instead of raising SIGPIPE, whatever this program's SIGPIPE disposition: the signal
// is blocked on this thread for the call and a SIGPIPE it caused is taken back out of the pending set.
ssize_t write_without_sigpipe(int fd, const char* data, std::size_t size)
{
    sigset_t pipe_set;
    sigemptyset(&pipe_set);
    sigaddset(&pipe_set, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t old_mask;
    pthread_sigmask(SIG_BLOCK, &pipe_set, &old_mask);
    const ssize_t written = ::write(fd, data, size);
    const int saved = errno;
    if (written < 0 && saved == EPIPE && !was_pending) {
        const timespec no_wait{};
        while (sigtimedwait(&pipe_set, nullptr, &no_wait) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    errno = saved;
    return written;
}

int poll_timeout(Clock::time_point now, Clock::time_point until)
{
    if (until <= now) {
        return 0;
    }
    // Round up so that a wake-up never comes before `until` and spins.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    return static_cast<int>(std::min<long long>(left, INT_MAX));
}

class Session {
public:
    Session(ChildProcess& child, const Command& command, std::string_view input, int cancel_fd)
        : child_(child), command_(command), input_(input), cancel_fd_(cancel_fd)
    {
    }

    Result run()
    {
        const auto started = Clock::now();
        const auto deadline = started + command_.time_limit;
        if (input_.empty()) {
            child_.stdin_pipe().reset();  // end-of-file at once
        }
        std::optional<Clock::time_point> drain_until;

        for (;;) {
            const bool output_open = child_.stdout_pipe().valid() || child_.stderr_pipe().valid();
            if (child_.reaped() && !output_open) {
                break;
            }
            const auto now = Clock::now();
            if (!child_.reaped() && now >= deadline) {
                return stop(ErrorKind::TimedOut);
            }
            if (drain_until && now >= *drain_until) {
                break;  // exited; something it started keeps the pipes open
            }

            std::array<pollfd, 5> fds{};
            std::size_t count = 0;
            auto watch = [&](int fd, short events) {
                fds[count] = pollfd{.fd = fd, .events = events, .revents = 0};
                return count++;
            };
            const std::size_t npos = fds.size();
            const std::size_t out_i = child_.stdout_pipe().valid() ? watch(child_.stdout_pipe().get(), POLLIN) : npos;
            const std::size_t err_i = child_.stderr_pipe().valid() ? watch(child_.stderr_pipe().get(), POLLIN) : npos;
            const std::size_t in_i = child_.stdin_pipe().valid() ? watch(child_.stdin_pipe().get(), POLLOUT) : npos;
            const bool use_exit_fd = !child_.reaped() && child_.exit_fd() >= 0;
            const std::size_t exit_i = use_exit_fd ? watch(child_.exit_fd(), POLLIN) : npos;
            const std::size_t cancel_i = cancel_fd_ >= 0 ? watch(cancel_fd_, POLLIN) : npos;

            int timeout = poll_timeout(now, drain_until ? *drain_until : deadline);
            if (!child_.reaped() && !use_exit_fd) {
                timeout = std::min(timeout, static_cast<int>(fallback_tick.count()));
            }
            const int ready = ::poll(fds.data(), count, timeout);
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return fail_io(errno);
            }

            if (cancel_i != npos && fds[cancel_i].revents != 0) {
                return stop(ErrorKind::Cancelled);
            }
            for (const auto& [index, fd, sink] :
                 {std::tuple{out_i, &child_.stdout_pipe(), &stdout_}, std::tuple{err_i, &child_.stderr_pipe(), &stderr_}}) {
                if (index != npos && fds[index].revents != 0) {
                    const auto& consumer = sink == &stdout_ ? command_.on_stdout : command_.on_stderr;
                    if (auto failed = consumer ? stream(*fd, consumer) : drain(*fd, *sink)) {
                        return std::unexpected(std::move(*failed));
                    }
                }
            }
            if (in_i != npos && fds[in_i].revents != 0) {
                feed();
            }
            if (!child_.reaped() && (!use_exit_fd || fds[exit_i].revents != 0)) {
                if (child_.poll_exit()) {
                    // Input the program did not read is of no use any more.
                    child_.stdin_pipe().reset();
                    drain_until = Clock::now() + drain_grace;
                }
            }
        }
        child_.stdout_pipe().reset();
        child_.stderr_pipe().reset();
        return Output{.stdout_bytes = std::move(stdout_),
                      .stderr_bytes = std::move(stderr_),
                      .status = child_.poll_exit().value_or(ExitStatus{})};
    }

private:
    // Reads what is there and hands each piece to `take`, which may end the run with an error; closes the pipe at
    // end-of-file. Reads a bounded amount per call, so that a program that writes without pause still meets its time
    // limit.
    template <class Take>
    std::optional<Error> read_pieces(Fd& fd, Take&& take)
    {
        std::array<char, chunk_size> buffer;
        for (std::size_t round = 0; round < reads_per_turn; ++round) {
            const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
            if (n > 0) {
                if (auto failed = take(std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
                    return failed;
                }
                continue;
            }
            if (n == 0) {
                fd.reset();
                return std::nullopt;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return std::nullopt;
            }
            return fail_io(errno).error();
        }
        return std::nullopt;
    }

    // Collects what is there. An error when the output cap is exceeded.
    std::optional<Error> drain(Fd& fd, std::string& sink)
    {
        return read_pieces(fd, [&](std::string_view piece) -> std::optional<Error> {
            const std::size_t take = std::min(command_.output_limit - collected_, piece.size());
            sink.append(piece.substr(0, take));
            collected_ += take;
            if (take < piece.size()) {
                return stop(ErrorKind::OutputLimit).error();
            }
            return std::nullopt;
        });
    }

    // Hands what is there to the command's on_stdout or on_stderr.
    std::optional<Error> stream(Fd& fd, const std::function<void(std::string_view)>& consumer)
    {
        return read_pieces(fd, [&](std::string_view piece) -> std::optional<Error> {
            consumer(piece);
            return std::nullopt;
        });
    }

    // Writes as much input as the pipe takes now; closes it when all is written or the program closed its end.
    void feed()
    {
        Fd& fd = child_.stdin_pipe();
        while (written_ < input_.size()) {
            const std::size_t size = std::min(max_write, input_.size() - written_);
            const ssize_t n = write_without_sigpipe(fd.get(), input_.data() + written_, size);
            if (n > 0) {
                written_ += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return;
            }
            break;  // EPIPE: the program does not want more input
        }
        fd.reset();
    }

    std::unexpected<Error> stop(ErrorKind kind)
    {
        // Close our ends first: a program blocked on a full pipe gets EPIPE rather than sleeping through SIGTERM.
        child_.stdin_pipe().reset();
        child_.stdout_pipe().reset();
        child_.stderr_pipe().reset();
        const bool was_running = !child_.reaped();
        child_.stop_group();
        const std::string& program = command_.program;
        std::string message;
        switch (kind) {
        case ErrorKind::TimedOut:
            message = fmt::format("{} timed out after {} s", program, describe_seconds(command_.time_limit));
            break;
        case ErrorKind::OutputLimit:
            message = fmt::format("{} printed more than {} of output", program, describe_size(command_.output_limit));
            break;
        case ErrorKind::Cancelled:
            message = fmt::format("{} was cancelled", program);
            break;
        default:
            message = fmt::format("could not run {}", program);
            break;
        }
        if (was_running && kind != ErrorKind::Cancelled) {
            VORN_INFO("cmd_runner", "stopped {}: {}", program, message);
        }
        return std::unexpected(Error{.kind = kind,
                                     .message = std::move(message),
                                     .stdout_bytes = std::move(stdout_),
                                     .stderr_bytes = std::move(stderr_)});
    }

    std::unexpected<Error> fail_io(int error)
    {
        auto result = stop(ErrorKind::Io);
        result.error().message = fmt::format("could not run {}: {}", command_.program,
                                             std::error_code(error, std::generic_category()).message());
        return result;
    }

    ChildProcess& child_;
    const Command& command_;
    std::string_view input_;
    int cancel_fd_;
    std::string stdout_;
    std::string stderr_;
    std::size_t collected_ = 0;
    std::size_t written_ = 0;
};

}  // namespace

Result communicate(ChildProcess& child, const Command& command, std::string_view input, int cancel_fd)
{
    return Session(child, command, input, cancel_fd).run();
}

}  // namespace cmd_runner::detail
