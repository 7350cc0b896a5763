#pragma once
// Wi-Fi continuity: the collaboration broker seals a Wi-Fi network's password (or a whole saved Wi-Fi profile) for
// the user's certified devices, and gives a password sealed on another of those devices back for a network in
// range. The broker is a desktop service of its own; where it is not running, every command fails with a sentence.
//
// Pages hold a std::shared_ptr<WifiContinuity> so that tests can hand them a scripted fake; BrokerWifiContinuity
// forwards to the broker. Commands may block (the broker talks to other devices): call them on a worker.

#include "system_ops/secret_text.hpp"

#include <cstdint>
#include <expected>
#include <string>
#include <variant>

namespace vorn_ui::collaboration::broker {

// The key management of a network whose password can be sealed: 0 WPA/WPA2 personal, 1 WPA3 personal (SAE).
struct Seal {
    std::string ssid;
    system_ops::SecretText password;
    std::uint8_t kind = 0;
};
struct Lookup {
    std::string ssid;
    std::uint8_t kind = 0;
};
struct ShareProfile {
    std::string uuid;  // NetworkManager's UUID of the saved Wi-Fi profile
};
using WifiContinuityRequest = std::variant<Seal, Lookup, ShareProfile>;

struct Password {
    system_ops::SecretText password;  // sealed earlier on a certified device
};
struct NotFound {};
struct Sealed {
    std::string name;  // what was sealed
};
struct Error {
    std::string message;
};
using WifiContinuityReply = std::variant<Password, NotFound, Sealed, Error>;

// Sends the request to the broker and returns its answer; an error when the broker cannot be reached.
[[nodiscard]] std::expected<WifiContinuityReply, std::string> wifi_continuity_command(
    const WifiContinuityRequest& request);

class WifiContinuity {
public:
    virtual ~WifiContinuity() = default;
    [[nodiscard]] virtual std::expected<WifiContinuityReply, std::string> command(
        const WifiContinuityRequest& request) = 0;
};

// The broker itself: stateless, forwards every request to wifi_continuity_command.
class BrokerWifiContinuity final : public WifiContinuity {
public:
    std::expected<WifiContinuityReply, std::string> command(const WifiContinuityRequest& request) override
    {
        return wifi_continuity_command(request);
    }
};

}  // namespace vorn_ui::collaboration::broker
