// The dump and example helpers live in a test source so the library does not carry them; test_support.hpp declares
// them for every test file of this target.
#include "actions/catalogue/test_support.hpp"

#include <fmt/format.h>

namespace settings::actions::catalogue::testing {

namespace {

std::string join(const std::vector<std::string>& items)
{
    std::string out;
    for (const auto& item : items) {
        if (!out.empty()) {
            out += ", ";
        }
        out += item;
    }
    return out;
}

std::string_view type_name(vorn_actions::ParamType type)
{
    switch (type) {
        case vorn_actions::ParamType::Text: return "text";
        case vorn_actions::ParamType::Number: return "number";
        case vorn_actions::ParamType::Boolean: return "boolean";
    }
    return "?";
}

void dump(const vorn_actions::Resource& resource, int depth, std::string& out)
{
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    out += fmt::format("{}resource {} [{}] \"{}\"\n", indent, resource.id, resource.kind, resource.title);
    for (const auto& action : resource.actions) {
        std::vector<std::string> flags;
        if (action.is_privileged) {
            flags.emplace_back("privileged");
        }
        if (action.is_destructive) {
            flags.emplace_back("destructive");
        }
        out += fmt::format("{}  action {} \"{}\" class {} kind {}{}\n", indent, action.id, action.title,
                           action.effect_class, action.operation_kind.value_or("-"),
                           flags.empty() ? "" : " (" + join(flags) + ")");
        out += fmt::format("{}    contract tags [{}]{}{}\n", indent, join(action.contract.tags),
                           action.contract.result_schema ? " result " + action.contract.result_schema->dump() : "",
                           action.contract.effects == vorn_actions::EffectSetting::Navigation ? " navigation" : "");
        if (action.input) {
            out += fmt::format("{}    hint \"{}\"\n", indent, action.input->hint);
        }
        for (const auto& param : action.params) {
            out += fmt::format("{}    param {} {} \"{}\"{}\n", indent, param.name, type_name(param.type), param.title,
                               param.schema ? " " + param.schema->dump() : "");
            if (!param.choices.empty()) {
                out += fmt::format("{}      choices [{}]\n", indent, join(param.choices));
            }
        }
        auto result = action.build_json(nlohmann::ordered_json::object());
        if (result) {
            out += fmt::format("{}    without arguments: {} {}\n", indent, result->kind, result->payload);
        } else {
            out += fmt::format("{}    without arguments: refused: {}\n", indent, result.error().display());
        }
    }
    for (const auto& child : resource.children) {
        dump(child, depth + 1, out);
    }
}

}  // namespace

std::string dump_tree(const vorn_actions::Resource& root)
{
    std::string out;
    dump(root, 0, out);
    return out;
}

nlohmann::ordered_json example_arguments(const vorn_actions::ActionSpec& spec)
{
    auto args = nlohmann::ordered_json::object();
    for (const auto& param : spec.params) {
        switch (param.type) {
            case vorn_actions::ParamType::Boolean: args[param.name] = true; break;
            case vorn_actions::ParamType::Number: args[param.name] = 0.5; break;
            case vorn_actions::ParamType::Text:
                args[param.name] = param.choices.empty() ? std::string("example") : param.choices.front();
                break;
        }
    }
    return args;
}

}  // namespace settings::actions::catalogue::testing
