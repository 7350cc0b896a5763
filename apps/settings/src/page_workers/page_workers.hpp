#pragma once
// Where pages run what must not run on the UI thread (a system tool, a daemon's answer, a prompt for a password).
//
// An Executor takes a piece of work and runs it elsewhere. Pages keep one in their environment, so that tests can
// hand a manual one that runs the work when the test says so. Neither executor here is waited for by the page: work
// handed over before its page closes still runs (a change the user asked for is carried out), and what it answers is
// the page's business (usually dropped when the page is gone). Their threads are worker threads
// (worker_threads.hpp), joined when the program ends.
//
//   auto worker = settings::page_workers::serial_executor();
//   worker([inbox] { inbox->put(read_the_machine()); });

#include <functional>

namespace settings::page_workers {

using Executor = std::function<void(std::function<void()>)>;

// Runs the work handed to it one piece after another, in the order handed over, on a thread that lives while there
// is work. Copies of the executor share the queue.
[[nodiscard]] Executor serial_executor();

// Runs each piece of work on a worker thread of its own. Should the system refuse a thread, the work runs on the
// calling thread instead: late is better than never for something the user asked for.
[[nodiscard]] Executor detached_executor();

}  // namespace settings::page_workers
