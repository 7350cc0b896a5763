#include "cmd_runner/fake_runner.hpp"

namespace cmd_runner {

FakeRunner::FakeRunner(Handler handler) : handler_(std::move(handler)) {}

Result FakeRunner::answer(const Command& command)
{
    Handler handler;
    {
        const std::lock_guard lock(mutex_);
        calls_.push_back(command);
        handler = handler_;
    }
    // The handler runs unlocked, so it may itself look at calls() or run commands.
    return handler ? handler(command) : exited(0);
}

Result FakeRunner::run(const Command& command)
{
    return answer(command);
}

std::expected<AsyncCommand, Error> FakeRunner::spawn_prepared(Command command)
{
    return AsyncCommand::finished(answer(command));
}

void FakeRunner::set_handler(Handler handler)
{
    const std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<Command> FakeRunner::calls() const
{
    const std::lock_guard lock(mutex_);
    return calls_;
}

Result FakeRunner::exited(int code, std::string stdout_bytes, std::string stderr_bytes)
{
    return Output{.stdout_bytes = std::move(stdout_bytes),
                  .stderr_bytes = std::move(stderr_bytes),
                  .status = ExitStatus{.code = code}};
}

Result FakeRunner::failed(ErrorKind kind, std::string message)
{
    return std::unexpected(Error{.kind = kind, .message = std::move(message)});
}

}  // namespace cmd_runner
