#include "system_ops/testing/fake_local_models.hpp"

#include <algorithm>

namespace system_ops::testing {

void FakeLocalModels::set_snapshot(Result<Snapshot> snapshot)
{
    const std::lock_guard lock(mutex_);
    snapshot_ = std::move(snapshot);
}

void FakeLocalModels::answer(const std::string& command, Status status)
{
    const std::lock_guard lock(mutex_);
    answers_[command] = std::move(status);
}

void FakeLocalModels::on(const std::string& command, std::function<void(Snapshot&)> effect)
{
    const std::lock_guard lock(mutex_);
    effects_[command] = std::move(effect);
}

std::vector<std::string> FakeLocalModels::calls() const
{
    const std::lock_guard lock(mutex_);
    return calls_;
}

std::size_t FakeLocalModels::count(const std::string& call) const
{
    const std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count(calls_.begin(), calls_.end(), call));
}

Result<FakeLocalModels::Snapshot> FakeLocalModels::snapshot()
{
    const std::lock_guard lock(mutex_);
    calls_.emplace_back("snapshot");
    return snapshot_;
}

Status FakeLocalModels::command(const std::string& name, const std::string& call)
{
    const std::lock_guard lock(mutex_);
    calls_.push_back(call);
    const auto answer = answers_.find(name);
    Status status = answer == answers_.end() ? Status{} : answer->second;
    if (const auto effect = effects_.find(name); status && effect != effects_.end() && snapshot_) {
        effect->second(*snapshot_);
    }
    return status;
}

Status FakeLocalModels::install(const local_models::LocalModelPackage& package)
{
    return command("install", "install " + package.id + " " + package.revision);
}

Status FakeLocalModels::start(std::string_view model_id) { return command("start", "start " + std::string(model_id)); }

Status FakeLocalModels::stop(std::string_view model_id) { return command("stop", "stop " + std::string(model_id)); }

Status FakeLocalModels::remove(std::string_view model_id)
{
    return command("remove", "remove " + std::string(model_id));
}

Status FakeLocalModels::stage_accelerator() { return command("stage-accelerator", "stage-accelerator"); }

}  // namespace system_ops::testing
