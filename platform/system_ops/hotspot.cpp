#include "system_ops/hotspot.hpp"

#include <sodium.h>

#include <algorithm>
#include <cctype>

namespace system_ops::network {

namespace {

bool has_control(std::string_view text)
{
    return std::ranges::any_of(text, [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

void append_escaped(std::string& out, std::string_view text)
{
    for (const char c : text) {
        if (c == '\\' || c == ';' || c == ',' || c == ':' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
}

}  // namespace

Status HotspotConfiguration::validate() const
{
    if (ssid.empty() || ssid.size() > 32) {
        return std::unexpected(std::string("The hotspot name must be 1 to 32 bytes long."));
    }
    if (has_control(ssid)) {
        return std::unexpected(std::string("The hotspot name must not contain control characters."));
    }
    const std::string_view pw = password.view();
    const bool hex64 = pw.size() == 64 && std::ranges::all_of(pw, [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    });
    const bool printable_ascii = std::ranges::all_of(pw, [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u < 0x7f;
    });
    if (!hex64 && (pw.size() < 8 || pw.size() > 63)) {
        return std::unexpected(std::string("The hotspot password must be 8 to 63 characters long."));
    }
    if (!printable_ascii) {
        return std::unexpected(
            std::string("The hotspot password may only use letters, digits, spaces and ASCII punctuation."));
    }
    if (band > band::ghz_5) {
        return std::unexpected(std::string("The hotspot band must be automatic, 2.4 GHz or 5 GHz."));
    }
    return {};
}

SecretText HotspotConfiguration::qr_payload() const
{
    std::string out;
    out.reserve(24 + 2 * (ssid.size() + password.view().size()));
    out.append("WIFI:T:WPA;S:");
    append_escaped(out, ssid);
    out.append(";P:");
    append_escaped(out, password.view());
    out.append(";;");
    SecretText payload(out);
    sodium_memzero(out.data(), out.size());
    return payload;
}

}  // namespace system_ops::network
