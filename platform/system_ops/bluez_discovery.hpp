#pragma once
// A Bluetooth discovery this program asked BlueZ for. Internal to system_ops::bluez.
//
// BlueZ counts a discovery per client and ends it when the client leaves the bus, so a discovery cannot be started
// by a command-line tool that exits at once. A DiscoverySession owns a private connection to the system bus,
// clears this client's discovery filter and starts discovery on it (BlueZ applies the client's filter when
// discovery starts), and keeps the connection until stop(), its destruction or its time limit.

#include "system_ops/result.hpp"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

struct sd_bus;

namespace system_ops::bluez::detail {

// A sentence for an error message of BlueZ or of the bus: cleaned, one line, bounded, and "the Bluetooth service is
// not running" when nobody owns org.bluez.
[[nodiscard]] std::string bluez_error_text(std::string_view message);

class DiscoverySession {
public:
    // Starts discovery on the adapter ("/org/bluez/hci0"). Each bus call may take up to `call_limit`; the
    // discovery stops by itself after `duration`.
    [[nodiscard]] static Result<std::unique_ptr<DiscoverySession>> start(const std::string& adapter_path,
                                                                         std::chrono::milliseconds call_limit,
                                                                         std::chrono::milliseconds duration);
    ~DiscoverySession();
    DiscoverySession(const DiscoverySession&) = delete;
    DiscoverySession& operator=(const DiscoverySession&) = delete;

    // Stops the discovery and leaves the bus. Stopping twice is fine.
    Status stop();
    // False once stopped: by stop(), by the time limit, or because the bus connection broke.
    [[nodiscard]] bool running();

private:
    DiscoverySession(sd_bus* bus, std::string adapter_path, std::chrono::milliseconds call_limit);
    // With the lock held.
    Status stop_locked();

    std::mutex mutex_;
    std::condition_variable_any wake_;
    sd_bus* bus_ = nullptr;  // null once stopped
    std::string adapter_path_;
    std::chrono::milliseconds call_limit_;
    std::jthread timer_;
};

}  // namespace system_ops::bluez::detail
