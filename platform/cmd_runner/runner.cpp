#include "cmd_runner/cmd_runner.hpp"
#include "cmd_runner/process.hpp"

#include <fmt/format.h>
#include <sodium/utils.h>

#include <string.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace cmd_runner {
namespace {

// An eventfd that becomes readable when any of the stop tokens it watches is triggered; the wait loop polls it.
class CancelSignal {
public:
    static std::expected<CancelSignal, Error> create(const std::string& program)
    {
        CancelSignal signal;
        signal.fd_ = detail::Fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!signal.fd_.valid()) {
            return std::unexpected(Error{
                .kind = ErrorKind::Io,
                .message = fmt::format("could not run {}: {}", program,
                                       std::error_code(errno, std::generic_category()).message())});
        }
        return signal;
    }

    [[nodiscard]] int fd() const { return fd_.get(); }

    // Signals now if the token is already stopped, and later when it is.
    void watch(const std::stop_token& token)
    {
        if (token.stop_possible()) {
            callbacks_.emplace_back(std::make_unique<Callback>(token, Notify{fd_.get()}));
        }
    }

private:
    struct Notify {
        int fd;
        void operator()() const noexcept
        {
            const eventfd_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
        }
    };
    using Callback = std::stop_callback<Notify>;

    CancelSignal() = default;

    // Callbacks are deregistered before the descriptor closes (members are destroyed in reverse order).
    detail::Fd fd_;
    std::vector<std::unique_ptr<Callback>> callbacks_;
};

struct AsyncState {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<Result> result;
    std::stop_source stop;
};

class RunningCommand final : public AsyncCommand::Pending {
public:
    explicit RunningCommand(std::shared_ptr<AsyncState> state) : state_(std::move(state)) {}
    // Dropping the handle of a running command stops it; the worker thread stops its group and reaps it.
    ~RunningCommand() override { state_->stop.request_stop(); }

    std::optional<Result> try_wait() override
    {
        const std::lock_guard lock(state_->mutex);
        return state_->result;
    }

    Result wait() override
    {
        std::unique_lock lock(state_->mutex);
        state_->done.wait(lock, [&] { return state_->result.has_value(); });
        return *state_->result;
    }

private:
    std::shared_ptr<AsyncState> state_;
};

class FinishedCommand final : public AsyncCommand::Pending {
public:
    explicit FinishedCommand(Result result) : result_(std::move(result)) {}
    std::optional<Result> try_wait() override { return result_; }
    Result wait() override { return result_; }

private:
    Result result_;
};

void wipe(std::optional<std::string>& secret)
{
    if (secret && !secret->empty()) {
        sodium_memzero(secret->data(), secret->size());
    }
    secret.reset();
}


thread_local std::stop_token scoped_stop;

Error cancelled_before_start(const Command& command)
{
    return Error{.kind = ErrorKind::Cancelled, .message = fmt::format("{} was cancelled", command.program)};
}

}  // namespace

std::string ExitStatus::describe() const
{
    if (code) {
        return fmt::format("exit status {}", *code);
    }
    if (signal != 0) {
        const char* name = sigabbrev_np(signal);
        return name != nullptr ? fmt::format("terminated by signal {} (SIG{})", signal, name)
                               : fmt::format("terminated by signal {}", signal);
    }
    return "unknown exit status";
}

std::string Output::stdout_text() const
{
    return decode_lossy(stdout_bytes);
}

std::string Output::stderr_text() const
{
    return decode_lossy(stderr_bytes);
}

StopScope::StopScope(std::stop_token token) : previous_(std::exchange(scoped_stop, std::move(token))) {}

StopScope::~StopScope()
{
    scoped_stop = std::move(previous_);
}

std::stop_token StopScope::current()
{
    return scoped_stop;
}

Result run(const Command& command)
{
    const std::stop_token scope = scoped_stop;
    if (command.stop.stop_requested() || scope.stop_requested()) {
        return std::unexpected(cancelled_before_start(command));
    }
    std::optional<CancelSignal> cancel;
    if (command.stop.stop_possible() || scope.stop_possible()) {
        auto created = CancelSignal::create(command.program);
        if (!created) {
            return std::unexpected(std::move(created.error()));
        }
        cancel.emplace(std::move(*created));
    }
    auto child = detail::ChildProcess::start(command);
    if (!child) {
        return std::unexpected(std::move(child.error()));
    }
    if (cancel) {
        cancel->watch(command.stop);
        cancel->watch(scope);
    }
    const std::string_view input = command.input ? std::string_view(*command.input) : std::string_view();
    return detail::communicate(*child, command, input, cancel ? cancel->fd() : -1);
}

AsyncCommand::AsyncCommand(std::unique_ptr<Pending> pending) : pending_(std::move(pending)) {}

AsyncCommand AsyncCommand::finished(Result result)
{
    return AsyncCommand(std::make_unique<FinishedCommand>(std::move(result)));
}

AsyncCommand::~AsyncCommand() = default;

std::optional<Result> AsyncCommand::try_wait()
{
    return pending_->try_wait();
}

Result AsyncCommand::wait()
{
    return pending_->wait();
}

std::expected<AsyncCommand, Error> spawn_prepared(Command command)
{
    const std::stop_token scope = scoped_stop;
    if (command.stop.stop_requested() || scope.stop_requested()) {
        wipe(command.input);
        return std::unexpected(cancelled_before_start(command));
    }
    auto cancel = CancelSignal::create(command.program);
    if (!cancel) {
        wipe(command.input);
        return std::unexpected(std::move(cancel.error()));
    }
    auto child = detail::ChildProcess::start(command);
    if (!child) {
        wipe(command.input);
        return std::unexpected(std::move(child.error()));
    }
    auto state = std::make_shared<AsyncState>();
    auto handle = AsyncCommand(std::make_unique<RunningCommand>(state));
    const std::string program = command.program;
    // The wait loop runs on a thread of its own, so the time limit holds even when nobody asks for the result.
    // If the thread cannot be created, the lambda (and with it the child) is destroyed, which stops the child.
    auto work = [state, child = std::move(*child), command = std::move(command), cancel = std::move(*cancel),
                 scope]() mutable {
        cancel.watch(state->stop.get_token());
        cancel.watch(command.stop);
        cancel.watch(scope);
        const std::string_view input = command.input ? std::string_view(*command.input) : std::string_view();
        Result result = [&]() -> Result {
            try {
                return detail::communicate(child, command, input, cancel.fd());
            } catch (const std::exception& error) {
                return std::unexpected(Error{
                    .kind = ErrorKind::Io, .message = fmt::format("could not run {}: {}", command.program, error.what())});
            }
        }();
        wipe(command.input);
        {
            const std::lock_guard lock(state->mutex);
            state->result = std::move(result);
        }
        state->done.notify_all();
    };
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error& error) {
        return std::unexpected(Error{.kind = ErrorKind::StartFailed,
                                     .message = fmt::format("could not start {}: {}", program, error.what())});
    }
    return handle;
}

bool program_available(std::string_view program)
{
    const auto executable = [](const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
    };
    if (program.empty()) {
        return false;
    }
    if (program.find('/') != std::string_view::npos) {
        return executable(std::string(program));
    }
    const char* path = std::getenv("PATH");
    const std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string_view folder = folders.substr(start, end - start);
        // An empty entry is the current folder, as for execvp.
        if (executable(fmt::format("{}/{}", folder.empty() ? "." : folder, program))) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

Result SystemRunner::run(const Command& command)
{
    return cmd_runner::run(command);
}

std::expected<AsyncCommand, Error> SystemRunner::spawn_prepared(Command command)
{
    return cmd_runner::spawn_prepared(std::move(command));
}

std::shared_ptr<Runner> system_runner()
{
    static const auto shared = std::make_shared<SystemRunner>();
    return shared;
}

}  // namespace cmd_runner
