#pragma once
// Worker threads that do not run until the test says so: a page's workers are recorded in the order they were
// started and run on the test's thread.

#include "page_workers/worker_thread.hpp"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace settings::page_workers::testing {

class ManualThreads {
public:
    // The starter to give the page; while `refuse_with` is set, starting fails with that text. It must not outlive
    // this object.
    [[nodiscard]] StartThread starter();
    std::optional<std::string> refuse_with;

    // Names of the workers started and not yet run, oldest first.
    [[nodiscard]] std::vector<std::string> waiting() const;
    // Runs the oldest waiting worker; false when none waits.
    bool run_next();
    // Runs every waiting worker, including the ones they start.
    void run_all();
    // Drops the oldest waiting worker without running it, as if its thread died.
    bool drop_next();

private:
    struct Worker {
        std::string name;
        std::function<void()> work;
    };
    std::shared_ptr<std::deque<Worker>> workers_ = std::make_shared<std::deque<Worker>>();
};

}  // namespace settings::page_workers::testing
