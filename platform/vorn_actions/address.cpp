#include "vorn_actions/address.hpp"

namespace vorn_actions {
namespace {

void append_escaped(std::string& out, std::string_view id)
{
    for (const char c : id) {
        if (c == '%') {
            out += "%25";
        } else if (c == '#') {
            out += "%23";
        } else {
            out += c;
        }
    }
}

std::expected<std::string, std::string> unescape(std::string_view part)
{
    std::string out;
    out.reserve(part.size());
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (part[i] != '%') {
            out += part[i];
            continue;
        }
        const std::string_view escape = part.substr(i, 3);
        if (escape == "%25") {
            out += '%';
        } else if (escape == "%23") {
            out += '#';
        } else {
            return std::unexpected("invalid escape in action address at byte " + std::to_string(i));
        }
        i += 2;
    }
    return out;
}

}  // namespace

std::string ActionAddress::encode() const
{
    std::string text;
    text.reserve(resource_id.size() + action_id.size() + 1);
    append_escaped(text, resource_id);
    text += '#';
    append_escaped(text, action_id);
    return text;
}

std::expected<ActionAddress, std::string> ActionAddress::decode(std::string_view text)
{
    const std::size_t separator = text.find('#');
    if (separator == std::string_view::npos) {
        return std::unexpected(std::string("action address has no '#' between resource and action"));
    }
    if (text.find('#', separator + 1) != std::string_view::npos) {
        return std::unexpected(std::string("action address has more than one '#'"));
    }
    auto resource = unescape(text.substr(0, separator));
    if (!resource) {
        return std::unexpected(std::move(resource.error()));
    }
    auto action = unescape(text.substr(separator + 1));
    if (!action) {
        return std::unexpected(std::move(action.error()));
    }
    ActionAddress address;
    address.resource_id = std::move(*resource);
    address.action_id = std::move(*action);
    return address;
}

}  // namespace vorn_actions
