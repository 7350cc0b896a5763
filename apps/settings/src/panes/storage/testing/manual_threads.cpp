#include "panes/storage/testing/manual_threads.hpp"

#include <algorithm>

namespace settings::panes::storage::testing {

StartThread ManualThreads::starter()
{
    return [this, workers = workers_](std::string_view name,
                                      std::function<void()> work) -> std::expected<void, std::string> {
        if (refuse_with) {
            return std::unexpected(*refuse_with);
        }
        workers->push_back({std::string(name), std::move(work)});
        return {};
    };
}

std::vector<std::string> ManualThreads::waiting() const
{
    std::vector<std::string> names;
    for (const auto& worker : *workers_) {
        names.push_back(worker.name);
    }
    return names;
}

bool ManualThreads::run(std::string_view name)
{
    const auto found = std::ranges::find_if(*workers_, [&](const Worker& w) { return name.empty() || w.name == name; });
    if (found == workers_->end()) {
        return false;
    }
    auto work = std::move(found->work);
    workers_->erase(found);
    work();  // destroys the worker's sender when it returns: its channel then reports the end
    return true;
}

void ManualThreads::run_all()
{
    while (run()) {
    }
}

bool ManualThreads::drop(std::string_view name)
{
    const auto found = std::ranges::find_if(*workers_, [&](const Worker& w) { return w.name == name; });
    if (found == workers_->end()) {
        return false;
    }
    workers_->erase(found);
    return true;
}

}  // namespace settings::panes::storage::testing
