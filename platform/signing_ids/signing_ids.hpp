#pragma once
// Per-user signing identities: the keys with which apps sign on the user's behalf.
//
// For now this holds only what the About page reads: the identity selected for the current workspace. Identity
// storage (the identity directory, listing, activation, protection) is not set up on this system yet, so `load`
// answers that there is no identity; the About page then shows "Not connected" and "Not set up".

#include <array>
#include <cstdint>
#include <expected>
#include <string>

namespace signing_ids {

struct SigningIdentity {
    std::string name;                          // display name; may be empty
    std::array<std::uint8_t, 32> public_key{};  // Ed25519 public key
};

namespace unix {

// The signing identity of the current workspace, or why there is none.
[[nodiscard]] std::expected<SigningIdentity, std::string> load();

}  // namespace unix
}  // namespace signing_ids
