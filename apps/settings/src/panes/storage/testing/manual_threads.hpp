#pragma once
// Test support for the Storage page: worker threads that run only when the test says so, on the test's thread, in
// the order they were started.

#include "panes/storage/storage_model.hpp"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace settings::panes::storage::testing {

class ManualThreads {
public:
    // The starter to give the model; while `refuse_with` is set, starting fails with that text.
    [[nodiscard]] StartThread starter();
    std::optional<std::string> refuse_with;

    // Names of the workers started and not yet run, oldest first.
    [[nodiscard]] std::vector<std::string> waiting() const;
    // Runs the oldest waiting worker whose name is `name` (any name when empty); false when none waits.
    bool run(std::string_view name = {});
    // Runs every waiting worker, including those they start.
    void run_all();
    // Drops the oldest waiting worker named `name` without running it, as if its thread died.
    bool drop(std::string_view name);

private:
    struct Worker {
        std::string name;
        std::function<void()> work;
    };
    std::shared_ptr<std::deque<Worker>> workers_ = std::make_shared<std::deque<Worker>>();
};

}  // namespace settings::panes::storage::testing
