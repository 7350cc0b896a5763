#pragma once
// The address of one action of the resource contract: the id of the resource that publishes it and the action's
// id inside that resource ("settings.section:network" + "open").
//
// Text form (encode/decode): the resource id, "#", the action id, with "%" and "#" inside either id written as
// "%25" and "%23"; nothing else is escaped, so the common form stays readable:
//   {"settings.section:network", "open"}              <-> settings.section:network#open
//   {"settings.bluetooth-device:/org/bluez/hci0", "x"} <-> settings.bluetooth-device:/org/bluez/hci0#x
// decode(encode(a)) == a for every address. The sidebar rows' accessibility ids and the search entries' ids are
// this text.

#include <expected>
#include <string>
#include <string_view>

namespace vorn_actions {

struct ActionAddress {
    std::string resource_id;
    std::string action_id;

    ActionAddress() = default;
    ActionAddress(std::string resource, std::string_view action) : resource_id(std::move(resource)), action_id(action)
    {
    }

    [[nodiscard]] std::string encode() const;
    // The address of a text made by encode(); an error sentence for any other text (no "#", a second "#", or a
    // "%" that does not start "%25" or "%23").
    [[nodiscard]] static std::expected<ActionAddress, std::string> decode(std::string_view text);

    friend bool operator==(const ActionAddress&, const ActionAddress&) = default;
};

}  // namespace vorn_actions
