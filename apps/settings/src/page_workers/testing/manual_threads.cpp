#include "page_workers/testing/manual_threads.hpp"

namespace settings::page_workers::testing {

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

bool ManualThreads::run_next()
{
    if (workers_->empty()) {
        return false;
    }
    Worker next = std::move(workers_->front());
    workers_->pop_front();
    next.work();
    return true;
}

void ManualThreads::run_all()
{
    while (run_next()) {
    }
}

bool ManualThreads::drop_next()
{
    if (workers_->empty()) {
        return false;
    }
    workers_->pop_front();
    return true;
}

}  // namespace settings::page_workers::testing
