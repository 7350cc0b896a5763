#include "page_workers/worker_thread.hpp"

#include <pthread.h>

#include <system_error>
#include <thread>

namespace settings::page_workers {

std::expected<void, std::string> start_worker_thread(std::string_view name, std::function<void()> work)
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

}  // namespace settings::page_workers
