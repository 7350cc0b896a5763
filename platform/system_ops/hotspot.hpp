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

#include <cstdint>
#include <string>
#include <string_view>

namespace system_ops::network {

// A std::string holding a secret: its bytes are wiped when it is destroyed. Copies are wiped too.
class SecretText {
public:
    SecretText() = default;
    explicit SecretText(std::string_view text) : text_(text) {}
    SecretText(const SecretText& other) : text_(other.text_) {}
    SecretText(SecretText&& other) noexcept;
    SecretText& operator=(const SecretText& other);
    SecretText& operator=(SecretText&& other) noexcept;
    ~SecretText() { wipe(); }

    [[nodiscard]] std::string_view view() const { return text_; }
    [[nodiscard]] const std::string& str() const { return text_; }
    [[nodiscard]] bool empty() const { return text_.empty(); }
    void wipe();

    friend bool operator==(const SecretText& a, const SecretText& b) { return a.text_ == b.text_; }

private:
    std::string text_;
};

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
