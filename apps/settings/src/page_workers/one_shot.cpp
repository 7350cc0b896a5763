#include "page_workers/one_shot.hpp"

#include "page_workers/worker_threads.hpp"
#include "vorn_log/log.hpp"

#include <utility>

namespace settings::page_workers {

std::expected<void, std::string> start_detached_thread(std::string_view name, std::function<void()> work)
{
    return start_worker_thread(name, std::move(work));
}

void detail::log_worker_exception(std::string_view name, std::string_view what)
{
    VORN_WARN("page_worker", "worker {} ended without an answer: {}", name, what);
}

}  // namespace settings::page_workers
