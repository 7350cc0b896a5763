#pragma once
// What the Network page calls, and where those calls run.
//
// The page reaches NetworkManager only through its backend: the switches and the Wi-Fi list of
// system_ops::network, the connectivity, profiles and diagnostics of the connection service, and the desktop portal
// that opens the captive portal's sign-in page. Every call waits on a tool or a daemon, so none runs on the UI
// thread: the page hands each one to its workers and takes the answer in a later sync.

#include "page_workers/page_workers.hpp"
#include "system_ops/network.hpp"
#include "system_ops/network_connections.hpp"

#include <functional>
#include <memory>
#include <string_view>

namespace settings::panes::network {

using system_ops::network::Connectivity;
using system_ops::network::ConnectionDiagnostics;
using system_ops::network::HotspotClient;
using system_ops::network::RadioState;
using system_ops::network::SavedNetworkProfile;
using system_ops::network::VpnConnection;
using system_ops::network::WifiNetwork;
using system_ops::network::WiredDevice;

struct NetworkBackend {
    std::shared_ptr<system_ops::network::NetworkService> network;
    std::shared_ptr<system_ops::network::ConnectionService> connections;
    // Opens an http or https address in the user's browser; the error is a sentence.
    std::function<system_ops::Status(std::string_view uri)> open_uri;

    // The process's current network and connection services, and the desktop portal's OpenURI.
    [[nodiscard]] static NetworkBackend current();
};

using Executor = page_workers::Executor;

struct NetworkWorkers {
    // Reads and switches, run one after another in the order they were handed over.
    Executor actions;
    // Joining a network, which waits for NetworkManager to connect; it must not hold up the switches.
    Executor joins;

    // One worker thread for the actions, a thread of its own for each join; neither is waited for, and the answers
    // of work that ends after the page closed are dropped.
    [[nodiscard]] static NetworkWorkers background();
};

}  // namespace settings::panes::network
