#include "collaboration_broker/wifi_continuity.hpp"

namespace vorn_ui::collaboration::broker {

std::expected<WifiContinuityReply, std::string> wifi_continuity_command(const WifiContinuityRequest& /*request*/)
{
    // No collaboration broker runs on this desktop yet: nothing can be sealed or looked up.
    return std::unexpected(std::string("the Wi-Fi continuity service is not available on this device"));
}

}  // namespace vorn_ui::collaboration::broker
