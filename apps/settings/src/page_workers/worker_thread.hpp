#pragma once
// Starting a page's worker thread. Pages take a StartThread in their environment so that tests can run the workers
// by hand (page_workers/testing/manual_threads.hpp) and can make starting fail.

#include <expected>
#include <functional>
#include <string>
#include <string_view>

namespace settings::page_workers {

// Starts `work` on a detached thread named `name`; the system's error text when no thread could be started.
using StartThread = std::function<std::expected<void, std::string>(std::string_view name, std::function<void()> work)>;

// The real one (the name Linux keeps is cut to 15 bytes).
[[nodiscard]] std::expected<void, std::string> start_worker_thread(std::string_view name, std::function<void()> work);

}  // namespace settings::page_workers
