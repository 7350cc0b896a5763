#pragma once
// The text side of the IMAP sign-in: checking what the user saved, the LOGIN command with its quoted
// arguments, and reading the server's greeting and replies (IMAP4rev1, RFC 3501).

#include "vorn_net/secure_buffer.hpp"

#include <cstdint>
#include <optional>
#include <string_view>

namespace settings::account_probe::imap {

// Whether `text` holds a control character: U+0000 to U+001F, U+007F to U+009F.
[[nodiscard]] bool has_control_characters(std::string_view text);

// "{tag} LOGIN {login} {secret}\r\n" with both arguments as quoted strings (a backslash before every "\" and "\""),
// built in locked memory; none when an argument holds a carriage return, a line feed or a NUL, which no quoted
// string can carry. Other bytes, UTF-8 included, are sent as they are.
[[nodiscard]] std::optional<vorn_net::SecureBuffer> login_command(std::string_view tag, std::string_view login,
                                                                  std::string_view secret);

// Whether a greeting line is an untagged OK ("* OK ...", the status in any case). PREAUTH, BYE and anything else
// are not.
[[nodiscard]] bool is_ok_greeting(std::string_view line);

enum class Reply : std::uint8_t {
    Untagged,  // "* ..." (data or status the command did not ask for)
    Ok,        // "{tag} OK ..."
    No,        // "{tag} NO ..."
    Bad,       // "{tag} BAD ..."
    Invalid,   // anything else: a continuation request, another tag, an unknown status
};

// What a server line means for the command sent with `tag`.
[[nodiscard]] Reply classify_reply(std::string_view line, std::string_view tag);

}  // namespace settings::account_probe::imap
