#include "page_workers/one_shot.hpp"

#include "vorn_log/log.hpp"

#include <pthread.h>

#include <system_error>
#include <thread>

namespace settings::page_workers {

std::expected<void, std::string> start_detached_thread(std::string_view name, std::function<void()> work)
{
    try {
        std::thread([name = std::string(name.substr(0, 15)), work = std::move(work)] {
            ::pthread_setname_np(::pthread_self(), name.c_str());
            work();
        }).detach();
    } catch (const std::system_error& error) {
        return std::unexpected(error.code().message());
    }
    return {};
}

void detail::log_worker_exception(std::string_view name, std::string_view what)
{
    VORN_WARN("page_worker", "worker {} ended without an answer: {}", name, what);
}

}  // namespace settings::page_workers
