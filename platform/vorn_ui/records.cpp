#include "vorn_ui/records.hpp"

namespace vorn_ui {

std::uint64_t access_numeric_id(std::string_view id_text)
{
    constexpr std::uint64_t offset_basis = 0xcbf29ce484222325ULL;
    constexpr std::uint64_t prime = 0x100000001b3ULL;
    std::uint64_t hash = offset_basis;
    const auto feed = [&](std::uint8_t byte) {
        hash ^= byte;
        hash *= prime;
    };
    for (char c : id_text) {
        feed(static_cast<std::uint8_t>(c));
    }
    feed(0xFF);  // ends the text, so that no id is a prefix-hash of another
    return hash;
}

AccessNode AccessNode::with_label(std::string_view text) &&
{
    label = std::string(text);
    return std::move(*this);
}

AccessNode AccessNode::with_description(std::string_view text) &&
{
    description = std::string(text);
    return std::move(*this);
}

AccessNode AccessNode::with_detail(std::string_view text) &&
{
    detail = std::string(text);
    return std::move(*this);
}

AccessNode AccessNode::with_value(std::string text) &&
{
    value = std::move(text);
    return std::move(*this);
}

AccessNode AccessNode::with_id(std::string id_text) &&
{
    numeric_id = access_numeric_id(id_text);
    detail = id_text;
    id = std::move(id_text);
    return std::move(*this);
}

AccessNode AccessNode::with_binding(ControlActionBinding binding) &&
{
    bindings.push_back(std::move(binding));
    return std::move(*this);
}

AccessNode AccessNode::with_bounds(const Rect& rect) &&
{
    bounds = rect;
    return std::move(*this);
}

AccessNode AccessNode::with_action(Action::Kind kind) &&
{
    actions.push_back(kind);
    return std::move(*this);
}

std::vector<ControlActionBinding> semantic_action_bindings(std::optional<AccessNode> node)
{
    if (!node) {
        return {};
    }
    return std::move(node->bindings);
}

}  // namespace vorn_ui
