#include "account_registry/strict_json.hpp"

#include "json_text/tree.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace account_registry {
namespace {

thread_local const StrictJson* current_document = nullptr;

}  // namespace

std::expected<StrictJson, std::string> parse_strict(std::string_view text)
{
    auto tree = json_text::parse_tree(text);
    if (!tree) {
        std::string error = json_text::without_exception_prefix(tree.error().what);
        return std::unexpected(error.empty() ? std::string("invalid JSON") : std::move(error));
    }
    return StrictJson{.root = std::move(tree->root), .repeated = std::move(tree->repeated)};
}

DecodeScope::DecodeScope(const StrictJson& document) : previous_(std::exchange(current_document, &document)) {}

DecodeScope::~DecodeScope() { current_document = previous_; }

json_text::Status refuse_repeated_fields(const Json& value, std::initializer_list<std::string_view> fields)
{
    if (current_document == nullptr || current_document->repeated.empty() || !value.is_object()) {
        return {};
    }
    const auto found = current_document->repeated.find(&value.get_ref<const Json::object_t&>());
    if (found == current_document->repeated.end()) {
        return {};
    }
    for (const std::string& name : found->second) {
        if (std::ranges::find(fields, std::string_view(name)) != fields.end()) {
            return std::unexpected(fmt::format("duplicate field `{}`", name));
        }
    }
    return {};
}

}  // namespace account_registry
