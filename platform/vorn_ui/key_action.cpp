#include "vorn_ui/key_action.hpp"

#include <charconv>
#include <stdexcept>

namespace vorn_ui {

namespace {

// One piece of a key path: an optional single "+", then one or more digits, no more than 2^64 - 1.
std::optional<std::uint64_t> parse_piece(std::string_view piece)
{
    if (piece.starts_with('+')) {
        piece.remove_prefix(1);
    }
    if (piece.empty()) {
        return std::nullopt;
    }
    for (char c : piece) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (error != std::errc{} || end != piece.data() + piece.size()) {
        return std::nullopt;  // too large
    }
    return value;
}

}  // namespace

std::optional<KeyActionId> parse_key_action_id(std::string_view id)
{
    if (!id.starts_with(key_action_prefix)) {
        return std::nullopt;
    }
    const std::string_view rest = id.substr(key_action_prefix.size());
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    KeyActionId parsed{.name = rest.substr(0, colon), .path = {}};
    std::string_view path = rest.substr(colon + 1);
    while (true) {
        const std::size_t slash = path.find('/');
        const auto value = parse_piece(path.substr(0, slash));
        if (!value) {
            return std::nullopt;
        }
        parsed.path.push_back(*value);
        if (slash == std::string_view::npos) {
            break;
        }
        path.remove_prefix(slash + 1);
    }
    return parsed;
}

std::string make_key_action_id(std::string_view name, std::span<const std::uint64_t> path)
{
    if (path.empty()) {
        throw std::invalid_argument("a key-action id needs at least one number in its path");
    }
    std::string id(key_action_prefix);
    id.append(name);
    id.push_back(':');
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (i != 0) {
            id.push_back('/');
        }
        id.append(std::to_string(path[i]));
    }
    return id;
}

}  // namespace vorn_ui
