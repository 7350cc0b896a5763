#pragma once
// Every thread the page workers start, known until it is joined.
//
// join_all() calls off the commands the workers run or start (their threads run inside a cmd_runner::StopScope, so
// a tool in flight has its process group stopped within the runner's kill grace) and joins every worker. Tests call
// it before they change the environment and before their objects go; the program itself ends with _Exit once its
// window has closed, without running the destructors a worker might still use. Threads that have ended are joined
// as new ones start.

#include <expected>
#include <functional>
#include <string>
#include <string_view>

namespace settings::page_workers {

// Starts `work` on a worker thread named `name` (cut to 15 bytes); the system's error text when none could start.
[[nodiscard]] std::expected<void, std::string> start_worker_thread(std::string_view name, std::function<void()> work);

// Calls off what the workers run and joins them all, also those started while it waits. Workers started after it
// returns run normally again.
void join_all();

// How many worker threads have not been joined yet.
[[nodiscard]] std::size_t unjoined_workers();

}  // namespace settings::page_workers
