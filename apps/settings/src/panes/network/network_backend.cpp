#include "panes/network/network_backend.hpp"

#include "portal_client/portal_client.hpp"

#include <fmt/format.h>

namespace settings::panes::network {

NetworkBackend NetworkBackend::current()
{
    return {.network = system_ops::network::current(),
            .connections = system_ops::network::current_connections(),
            .open_uri = [](std::string_view uri) -> system_ops::Status {
                if (auto opened = portal_client::OpenUri::open(uri); !opened) {
                    return std::unexpected(fmt::format("could not open browser through the desktop portal: {}",
                                                       opened.error().text()));
                }
                return {};
            }};
}

NetworkWorkers NetworkWorkers::background()
{
    return {.actions = page_workers::serial_executor(), .joins = page_workers::detached_executor()};
}

}  // namespace settings::panes::network
