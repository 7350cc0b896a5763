#include "vorn_actions/application.hpp"

namespace vorn_actions {

void ActionDecoderRegistry::insert(std::string name, std::unique_ptr<ActionDecoder> decoder)
{
    decoders_.insert_or_assign(std::move(name), std::move(decoder));
}

const ActionDecoder* ActionDecoderRegistry::find(std::string_view name) const
{
    const auto it = decoders_.find(name);
    return it == decoders_.end() ? nullptr : it->second.get();
}

std::expected<std::unique_ptr<ApplicationAction>, ActionError> ActionDecoderRegistry::decode(
    std::string_view name, std::string_view payload) const
{
    const ActionDecoder* decoder = find(name);
    if (decoder == nullptr) {
        return std::unexpected(
            ActionError(ActionError::Kind::UnknownAction, "no application action is registered as " + std::string(name)));
    }
    return decoder->decode(payload);
}

}  // namespace vorn_actions
