#include "account_probe/imap_text.hpp"

#include "text_utf8/text_utf8.hpp"

namespace settings::account_probe::imap {

namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The atom after `prefix` up to the next space or the end ("OK" in "* OK [ALERT] x"), when the line starts with it.
std::optional<std::string_view> status_after(std::string_view line, std::string_view prefix)
{
    if (!line.starts_with(prefix)) {
        return std::nullopt;
    }
    line.remove_prefix(prefix.size());
    return line.substr(0, line.find(' '));
}

bool is_quotable(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::size_t quoted_size(std::string_view text)
{
    std::size_t size = 2;
    for (const char c : text) {
        size += (c == '\\' || c == '"') ? 2 : 1;
    }
    return size;
}

void append_quoted(vorn_net::SecureBuffer& out, std::string_view text)
{
    out.append('"');
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out.append('\\');
        }
        out.append(c);
    }
    out.append('"');
}

}  // namespace

bool has_control_characters(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto [code_point, length] = text_utf8::decode(text, i, text_utf8::Invalid::replace);
        if (code_point <= 0x1F || (code_point >= 0x7F && code_point <= 0x9F)) {
            return true;
        }
        i += length;
    }
    return false;
}

std::optional<vorn_net::SecureBuffer> login_command(std::string_view tag, std::string_view login,
                                                    std::string_view secret)
{
    if (!is_quotable(login) || !is_quotable(secret)) {
        return std::nullopt;
    }
    constexpr std::string_view verb = " LOGIN ";
    vorn_net::SecureBuffer command(tag.size() + verb.size() + quoted_size(login) + 1 + quoted_size(secret) + 2);
    command.append(tag).append(verb);
    append_quoted(command, login);
    command.append(' ');
    append_quoted(command, secret);
    command.append("\r\n");
    return command;
}

bool is_ok_greeting(std::string_view line)
{
    const auto status = status_after(line, "* ");
    return status && equals_ignoring_case(*status, "OK");
}

Reply classify_reply(std::string_view line, std::string_view tag)
{
    if (line.starts_with("* ")) {
        return Reply::Untagged;
    }
    if (line.size() <= tag.size() || line[tag.size()] != ' ' || !line.starts_with(tag)) {
        return Reply::Invalid;
    }
    const auto status = status_after(line, line.substr(0, tag.size() + 1));
    if (equals_ignoring_case(*status, "OK")) {
        return Reply::Ok;
    }
    if (equals_ignoring_case(*status, "NO")) {
        return Reply::No;
    }
    if (equals_ignoring_case(*status, "BAD")) {
        return Reply::Bad;
    }
    return Reply::Invalid;
}

}  // namespace settings::account_probe::imap
