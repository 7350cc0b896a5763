#pragma once
// The desktop's Secret Service (org.freedesktop.secrets on the session bus, through libsecret): looking up, storing
// and clearing one secret item named by a schema and its attributes.
//
// Every call is bounded: libsecret's blocking calls run on a worker thread of their own and the caller waits at most
// `limit`; a call that has not answered by then is cancelled and reported as a failure (its worker ends on its own
// and its late answer is wiped and dropped). No call ever starts a session bus of its own: without
// DBUS_SESSION_BUS_ADDRESS in the environment nothing is asked and every call fails at once. Nothing here unlocks a
// keyring or shows a prompt: a locked keyring is reported as a failure.
//
// A failure always means "the Secret Service cannot be used now"; its text says why, for the log.
//
//   auto key = secret_service::lookup(schema, {{"vault", dir}}, 5s);
//   if (!key) { use the local key file }             // unavailable, locked, or too slow
//   else if (!*key) { nothing stored yet }

#include "account_registry/secret.hpp"

#include <chrono>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace account_registry::secret_service {

using Attributes = std::map<std::string, std::string, std::less<>>;

// Whether a session bus is configured (DBUS_SESSION_BUS_ADDRESS set and not empty). Without one no call is made.
[[nodiscard]] bool session_bus_configured();

// The secret of the item of `schema` with exactly these attributes; none when there is no such item. Failures:
// no session bus, no Secret Service on it, a locked item (or keyring), no answer within `limit`.
[[nodiscard]] std::expected<std::optional<SecretBytes>, std::string> lookup(std::string_view schema,
                                                                            const Attributes& attributes,
                                                                            std::chrono::milliseconds limit);

// Stores the secret (a text: it is kept with the content type "text/plain") in the default keyring under `label`,
// replacing an item with the same attributes. Fails without asking when there is no default keyring or it is
// locked.
[[nodiscard]] std::expected<void, std::string> store(std::string_view schema, const Attributes& attributes,
                                                     std::string_view label, const SecretBytes& secret,
                                                     std::chrono::milliseconds limit);

// Removes the items of `schema` with these attributes; true when one was removed.
[[nodiscard]] std::expected<bool, std::string> clear(std::string_view schema, const Attributes& attributes,
                                                     std::chrono::milliseconds limit);

// Drops libsecret's connection to the service, so that the next call opens a new one (after a failure, or when
// the service was restarted underneath us).
void disconnect();

}  // namespace account_registry::secret_service
