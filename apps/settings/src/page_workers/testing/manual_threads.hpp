#pragma once
// Worker threads that do not run until the test says so (tests only): a page's workers are recorded in the order
// they were started and run on the test's thread.

#include "page_workers/one_shot.hpp"

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::page_workers::testing {

class ManualThreads {
public:
    // The starter to give the page; while `refuse_with` is set, starting fails with that text. It must not outlive
    // this object.
    [[nodiscard]] StartThread starter()
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
    std::optional<std::string> refuse_with;

    // Names of the workers started and not yet run, oldest first.
    [[nodiscard]] std::vector<std::string> waiting() const
    {
        std::vector<std::string> names;
        for (const auto& worker : *workers_) {
            names.push_back(worker.name);
        }
        return names;
    }
    // Runs the oldest waiting worker (the oldest named `name` when one is given); false when none waits. The work
    // is dropped when it returns, which closes its channel.
    bool run_next(std::string_view name = {})
    {
        auto work = take(name);
        if (!work) {
            return false;
        }
        (*work)();
        return true;
    }
    // Runs every waiting worker, including the ones they start.
    void run_all()
    {
        while (run_next()) {
        }
    }
    // Drops the oldest waiting worker (named `name` when given) without running it, as if its thread died.
    bool drop_next(std::string_view name = {}) { return take(name).has_value(); }

private:
    struct Worker {
        std::string name;
        std::function<void()> work;
    };

    std::optional<std::function<void()>> take(std::string_view name)
    {
        const auto found =
            std::ranges::find_if(*workers_, [&](const Worker& w) { return name.empty() || w.name == name; });
        if (found == workers_->end()) {
            return std::nullopt;
        }
        auto work = std::move(found->work);
        workers_->erase(found);
        return work;
    }

    std::shared_ptr<std::deque<Worker>> workers_ = std::make_shared<std::deque<Worker>>();
};

}  // namespace settings::page_workers::testing
