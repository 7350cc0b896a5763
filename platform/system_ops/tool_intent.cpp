#include "system_ops/tool_intent.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <fmt/format.h>

#include <array>
#include <utility>

namespace system_ops::tool_intent {

namespace {

struct ToolEntry {
    Tool tool;
    std::string_view name;
    std::string_view program;
    std::string_view argument;  // one fixed argument, or empty
};

// The desktop's tools and the programs that open them.
constexpr std::array kTools{
    ToolEntry{Tool::WorkspaceAccess, "Workspace access", "vorn-workspace-settings", "--section=access"},
    ToolEntry{Tool::WorkspaceAppRules, "Workspace app rules", "vorn-workspace-settings", "--section=apps"},
    ToolEntry{Tool::Disks, "Disks", "vorn-disks", ""},
    ToolEntry{Tool::IdentityBackup, "Identity backup", "vorn-identity-backup", ""},
    ToolEntry{Tool::Backups, "Backups", "vorn-backups", ""},
};
constexpr std::string_view kVpnName = "Vessix VPN";
constexpr std::string_view kVpnProgram = "vorn-vessix";

Result<ToolProgram> program_for_tool(Tool tool)
{
    for (const ToolEntry& entry : kTools) {
        if (entry.tool == tool) {
            ToolProgram program{.name = entry.name, .program = entry.program, .args = {}};
            if (!entry.argument.empty()) {
                program.args.emplace_back(entry.argument);
            }
            return program;
        }
    }
    return std::unexpected(fmt::format("There is no tool for intent code {}.", static_cast<unsigned>(tool)));
}

Result<ToolProgram> program_for_vpn(const VpnIntent& vpn)
{
    ToolProgram program{.name = kVpnName, .program = kVpnProgram, .args = {}};
    if (vpn.scope != (vpn.profile ? 1 : 0)) {
        return std::unexpected(std::string("The VPN tool was asked for a profile without naming one."));
    }
    if (vpn.profile) {
        if (vpn.profile->empty()) {
            return std::unexpected(std::string("The VPN profile has no name."));
        }
        // One argument, whatever the name holds: a name that starts with "-" is never read as an option.
        program.args.push_back("--profile=" + *vpn.profile);
    }
    return program;
}

}  // namespace

Result<ToolProgram> program_for(const ToolIntent& intent)
{
    if (const auto* vpn = std::get_if<VpnIntent>(&intent)) {
        return program_for_vpn(*vpn);
    }
    return program_for_tool(std::get<Tool>(intent));
}

bool is_installed(const ToolIntent& intent)
{
    const auto program = program_for(intent);
    return program && cmd_runner::program_available(program->program);
}

Status open_tool(const ToolIntent& intent)
{
    auto program = program_for(intent);
    if (!program) {
        return std::unexpected(std::move(program.error()));
    }
    const auto started = cmd_runner::launch_detached(
        {.program = std::string(program->program), .args = std::move(program->args)});
    if (started) {
        return {};
    }
    if (started.error().kind == cmd_runner::ErrorKind::NotFound) {
        return std::unexpected(
            fmt::format("{} is not installed ({} was not found).", program->name, program->program));
    }
    return std::unexpected(fmt::format("Could not open {}: {}", program->name, started.error().message));
}

}  // namespace system_ops::tool_intent
