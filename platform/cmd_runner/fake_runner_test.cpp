#include "cmd_runner/fake_runner.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace cmd_runner {
namespace {

// What a backend written against Runner looks like to its tests.
class RadioBackend {
public:
    explicit RadioBackend(std::shared_ptr<Runner> runner) : runner_(std::move(runner)) {}

    std::expected<bool, std::string> wifi_enabled()
    {
        const auto out = runner_->run({.program = "nmcli", .args = {"-t", "radio", "wifi"}, .env = {{"LC_ALL", "C"}}});
        if (!out) {
            return std::unexpected("Could not read Wi-Fi power: " + out.error().message);
        }
        if (!out->status.success()) {
            return std::unexpected("Could not read Wi-Fi power: " + failure_text(*out, "nmcli"));
        }
        return out->stdout_text() == "enabled\n";
    }

private:
    std::shared_ptr<Runner> runner_;
};

TEST(FakeRunner, RecordsCommandsAndAnswersFromItsHandler)
{
    auto runner = std::make_shared<FakeRunner>([](const Command& command) {
        return command.args.back() == "wifi" ? FakeRunner::exited(0, "enabled\n") : FakeRunner::exited(1);
    });
    RadioBackend backend(runner);

    EXPECT_EQ(backend.wifi_enabled(), true);
    runner->set_handler([](const Command&) { return FakeRunner::exited(8, "", "Error: NetworkManager is not running.\n"); });
    EXPECT_EQ(backend.wifi_enabled(),
              std::unexpected(std::string("Could not read Wi-Fi power: Error: NetworkManager is not running.")));
    runner->set_handler([](const Command&) { return FakeRunner::failed(ErrorKind::NotFound, "nmcli not found"); });
    EXPECT_EQ(backend.wifi_enabled(), std::unexpected(std::string("Could not read Wi-Fi power: nmcli not found")));

    const auto calls = runner->calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].program, "nmcli");
    EXPECT_EQ(calls[0].args, (std::vector<std::string>{"-t", "radio", "wifi"}));
    ASSERT_EQ(calls[0].env.size(), 1u);
    EXPECT_EQ(calls[0].env[0].name, "LC_ALL");
}

TEST(FakeRunner, SpawnedCommandsAreFinishedAtOnce)
{
    FakeRunner runner;
    auto command = runner.spawn_prepared({.program = "pkexec", .args = {"/usr/libexec/helper", "apply"}, .input = "{}"});
    ASSERT_TRUE(command.has_value());
    const auto result = command->try_wait();
    ASSERT_TRUE(result.has_value());
    ASSERT_TRUE(result->has_value());
    EXPECT_TRUE((*result)->status.success());
    EXPECT_EQ(runner.calls().at(0).input, "{}");
}

}  // namespace
}  // namespace cmd_runner
