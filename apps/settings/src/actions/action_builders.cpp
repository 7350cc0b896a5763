#include "actions/action_builders.hpp"

#include <memory>

namespace settings::actions {

using vorn_actions::ActionArgs;
using vorn_actions::ActionError;
using vorn_actions::EncodedAction;

ActionSpec new_action_spec(std::string_view id, std::string_view title, std::string_view hint,
                           std::uint8_t effect_class, std::optional<std::string_view> operation_kind,
                           std::vector<ActionParam> params, Parser parser)
{
    ActionSpecDraft draft;
    draft.id = std::string(id);
    draft.title = std::string(title);
    draft.hint = std::string(hint);
    draft.params = std::move(params);
    if (operation_kind) {
        draft.operation_kind = std::string(*operation_kind);
    }
    draft.effect_class = effect_class;
    draft.parser = std::move(parser);
    return typed_action_spec(std::move(draft));
}

ActionSpec typed_action_spec(ActionSpecDraft draft)
{
    ActionSpec spec(std::move(draft.id), std::move(draft.title));
    if (draft.operation_kind) {
        struct KindChecked {
            std::string kind;
            Parser parser;
        };
        auto checked = std::make_shared<const KindChecked>(KindChecked{*draft.operation_kind, std::move(draft.parser)});
        spec.handler = [checked](const ActionArgs& args) -> std::expected<EncodedAction, ActionError> {
            auto parsed = checked->parser(args);
            if (!parsed) {
                return std::unexpected(std::move(parsed.error()));
            }
            return vorn_actions::enforce_operation_type(std::move(*parsed), checked->kind);
        };
    } else {
        auto parser = std::make_shared<const Parser>(std::move(draft.parser));
        spec.handler = [parser](const ActionArgs& args) -> std::expected<EncodedAction, ActionError> {
            return (*parser)(args);
        };
    }
    spec.input = vorn_actions::derive_input(draft.params, draft.hint);
    spec.params = std::move(draft.params);
    spec.operation_kind = std::move(draft.operation_kind);
    spec.effect_class = draft.effect_class;
    spec.contract = default_contract(draft.effect_class);
    return spec;
}

ActionContract default_contract(std::uint8_t effect_class)
{
    ActionContract contract;
    contract.effects = effect_class == effect_navigation ? vorn_actions::EffectSetting::Navigation
                                                         : vorn_actions::EffectSetting::Operation;
    return contract;
}

ActionContract device_local_contract(std::vector<std::string> tags)
{
    ActionContract contract;
    contract.tags = std::move(tags);
    contract.result_schema = nlohmann::ordered_json{{"type", "string"}};
    contract.effects = vorn_actions::EffectSetting::Operation;
    return contract;
}

ActionContract system_setting_contract()
{
    ActionContract contract;
    contract.tags = {"configuration", "system-setting"};
    contract.effects = vorn_actions::EffectSetting::Operation;
    return contract;
}

ActionParam switch_param(std::string_view title)
{
    return ActionParam("value", std::string(title), vorn_actions::ParamType::Boolean);
}

ActionParam level_param(std::string_view title)
{
    return ActionParam("value", std::string(title), vorn_actions::ParamType::Number)
        .with_schema({{"minimum", 0.0}, {"maximum", 1.0}});
}

ActionParam choice_param(std::vector<std::string> choices, std::string_view title)
{
    return ActionParam("choice", std::string(title), vorn_actions::ParamType::Text).with_choices(std::move(choices));
}

}  // namespace settings::actions
