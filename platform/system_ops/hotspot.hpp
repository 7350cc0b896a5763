#pragma once
// The Wi-Fi hotspot the machine can offer: its name, its WPA2 passphrase and its band, the checks a configuration
// must pass before NetworkManager sees it, and the text of the QR code that lets a phone join it.
//
//   HotspotConfiguration config{.ssid = "Vorn Hotspot", .password = "correct horse", .band = 0};
//   if (auto valid = config.validate(); !valid) show(valid.error());
//   qr.show(config.qr_payload());   // "WIFI:T:WPA;S:Vorn Hotspot;P:correct horse;;"
//
// The password is a secret: the configuration wipes it when it is destroyed, and so does the payload text
// (SecretText). Neither is ever logged.

#include "system_ops/result.hpp"
#include "system_ops/secret_text.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace system_ops::network {

using system_ops::SecretText;

namespace band {
inline constexpr std::uint8_t automatic = 0;
inline constexpr std::uint8_t ghz_2_4 = 1;  // "2.4 GHz"
inline constexpr std::uint8_t ghz_5 = 2;    // "5 GHz"
}  // namespace band

struct HotspotConfiguration {
    std::string ssid;
    SecretText password;
    std::uint8_t band = band::automatic;

    // The name: 1 to 32 bytes without control characters; the passphrase: 8 to 63 printable ASCII characters (or
    // 64 hexadecimal digits); the band: one of the three. The error is a sentence for the page.
    [[nodiscard]] Status validate() const;
    // "WIFI:T:WPA;S:<name>;P:<passphrase>;;" with "\", ";", ",", ":" and '"' escaped by a backslash.
    [[nodiscard]] SecretText qr_payload() const;
};

}  // namespace system_ops::network
