// vorn-display-service: applies the session's display transactions through X RandR, counts down the safety test and
// restores the previous layout unless the change is kept; ends once nothing has been pending for a while.
//
//   vorn-display-service [--display :0] [--safety-ms 15000] [--linger-ms 10000]

#include "display_service/service.hpp"
#include "vorn_log/log.hpp"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <string_view>

namespace {

std::atomic<bool> stop_requested{false};

extern "C" void request_stop(int /*signal*/) { stop_requested.store(true); }

bool read_ms(std::string_view text, std::chrono::milliseconds& out)
{
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 0) {
        return false;
    }
    out = std::chrono::milliseconds(value);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    display_service::RunOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--display" && has_value) {
            options.display = argv[++i];
        } else if (arg == "--safety-ms" && has_value && read_ms(argv[i + 1], options.safety)) {
            ++i;
        } else if (arg == "--linger-ms" && has_value && read_ms(argv[i + 1], options.linger)) {
            ++i;
        } else {
            std::fprintf(stderr, "usage: vorn-display-service [--display NAME] [--safety-ms MS] [--linger-ms MS]\n");
            return 2;
        }
    }
    static_assert(std::atomic<bool>::is_always_lock_free);
    std::signal(SIGTERM, request_stop);
    std::signal(SIGINT, request_stop);
    std::signal(SIGHUP, request_stop);
    options.stop = &stop_requested;

    auto served = display_service::run_display_service(options);
    if (!served) {
        VORN_WARN("display_service", "{}", served.error());
        std::fprintf(stderr, "vorn-display-service: %s\n", served.error().c_str());
        return 1;
    }
    return 0;
}
