#pragma once
// A Runner for the tests of system backends: it records every command and answers from a handler, without
// starting anything.
//
//   auto runner = std::make_shared<cmd_runner::FakeRunner>([](const cmd_runner::Command& c) {
//       if (c.args == std::vector<std::string>{"-t", "-f", "WIFI", "radio"}) return cmd_runner::FakeRunner::exited(0, "enabled\n");
//       return cmd_runner::FakeRunner::exited(10, "", "Error: unknown\n");
//   });
//   NmcliWifi backend(runner);
//   ...
//   EXPECT_EQ(runner->calls().at(0).program, "nmcli");

#include "cmd_runner/cmd_runner.hpp"

#include <functional>
#include <mutex>
#include <vector>

namespace cmd_runner {

class FakeRunner final : public Runner {
public:
    using Handler = std::function<Result(const Command&)>;

    // Without a handler every command exits with status 0 and no output.
    explicit FakeRunner(Handler handler = {});

    Result run(const Command& command) override;
    // Records the command and returns a handle that has already finished with the handler's answer.
    std::expected<AsyncCommand, Error> spawn_prepared(Command command) override;

    void set_handler(Handler handler);
    // Every command received so far, in order (copies; safe while other threads run commands).
    [[nodiscard]] std::vector<Command> calls() const;

    // Answers for handlers.
    static Result exited(int code, std::string stdout_bytes = {}, std::string stderr_bytes = {});
    static Result failed(ErrorKind kind, std::string message);

private:
    Result answer(const Command& command);

    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<Command> calls_;
};

}  // namespace cmd_runner
