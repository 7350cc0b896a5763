#pragma once
// A scriptable local model manager for the tests of pages: it answers the snapshot it holds, records every call and
// answers each command as told. Any thread.
//
//   auto manager = std::make_shared<system_ops::testing::FakeLocalModels>(snapshot);
//   manager->answer("start", std::unexpected("model service refused start"));
//   manager->on("stop", [](LocalModelSnapshot& s) { ...the model stops... });
//   ...
//   EXPECT_THAT(manager->calls(), ElementsAre("snapshot", "start llama-8b", "snapshot"));

#include "system_ops/local_models.hpp"

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace system_ops::testing {

class FakeLocalModels final : public local_models::LocalModelBackend {
public:
    using Snapshot = local_models::LocalModelSnapshot;

    FakeLocalModels() = default;
    explicit FakeLocalModels(Result<Snapshot> snapshot) : snapshot_(std::move(snapshot)) {}

    // What the next snapshot calls answer.
    void set_snapshot(Result<Snapshot> snapshot);
    // How a command answers from now on ("install", "start", "stop", "remove", "stage-accelerator"); success
    // unless told otherwise.
    void answer(const std::string& command, Status status);
    // A change of the held snapshot that a successful command makes (the manager doing its work).
    void on(const std::string& command, std::function<void(Snapshot&)> effect);

    // "snapshot", "install <id> <revision>", "start <id>", "stop <id>", "remove <id>", "stage-accelerator".
    [[nodiscard]] std::vector<std::string> calls() const;
    [[nodiscard]] std::size_t count(const std::string& call) const;

    Result<Snapshot> snapshot() override;
    Status install(const local_models::LocalModelPackage& package) override;
    Status start(std::string_view model_id) override;
    Status stop(std::string_view model_id) override;
    Status remove(std::string_view model_id) override;
    Status stage_accelerator() override;

private:
    Status command(const std::string& name, const std::string& call);

    mutable std::mutex mutex_;
    Result<Snapshot> snapshot_ = Snapshot{};
    std::map<std::string, Status> answers_;
    std::map<std::string, std::function<void(Snapshot&)>> effects_;
    std::vector<std::string> calls_;
};

}  // namespace system_ops::testing
