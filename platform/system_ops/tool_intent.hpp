#pragma once
// Opening the desktop's own tools from a settings page: the identity backup, the Vessix VPN tool, the workspace's
// access settings and application rules, Disks and Backups. A page names what it wants opened (a ToolIntent);
// open_tool() finds that tool's program on PATH and starts it on its own (cmd_runner::launch_detached): no shell, a
// session of its own, never waited for and reaped when it ends, so the call returns at once on the UI thread.
//
//   system_ops::tool_intent::open_tool(system_ops::tool_intent::Tool::IdentityBackup);
//   system_ops::tool_intent::open_tool(system_ops::tool_intent::VpnIntent::for_profile("Office"));

#include "system_ops/result.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace system_ops::tool_intent {

// The tools opened without further detail, by intent code.
enum class Tool : std::uint8_t {
    WorkspaceAccess = 1,    // the current workspace's access settings (who may use what)
    WorkspaceAppRules = 2,  // the current workspace's application rules
    Disks = 3,              // partitions, formatting, drive health, removable media
    IdentityBackup = 4,     // the encrypted portable copy of the workspace identity
    Backups = 5,            // backup history, schedules, retention, restore
};

// The Vessix VPN tool, at its start page or at one VPN profile.
struct VpnIntent {
    std::optional<std::string> profile;
    // 1 when a profile is named, 0 for the general opening.
    std::uint8_t scope = 0;

    [[nodiscard]] static VpnIntent general() { return {}; }
    [[nodiscard]] static VpnIntent for_profile(std::string name) { return {std::move(name), 1}; }
    friend bool operator==(const VpnIntent&, const VpnIntent&) = default;
};

using ToolIntent = std::variant<Tool, VpnIntent>;

// One tool of the desktop: what users call it and the program that opens it.
struct ToolProgram {
    std::string_view name;     // "Identity backup", for messages
    std::string_view program;  // looked up on PATH
    std::vector<std::string> args;
};

// The program and arguments that open the intent. A VPN profile travels as the one argument "--profile=<name>".
// Refuses a VPN intent whose scope does not match its profile, and an empty profile name.
[[nodiscard]] Result<ToolProgram> program_for(const ToolIntent& intent);

// Whether the intent's program is on PATH (a look, nothing is started).
[[nodiscard]] bool is_installed(const ToolIntent& intent);

// Opens the tool and returns once it has started (it is not waited for). A tool that is not installed gives
// "Identity backup is not installed (vorn-identity-backup was not found)."; any other failure to start gives
// "Could not open Disks: <reason>".
[[nodiscard]] Status open_tool(const ToolIntent& intent);

}  // namespace system_ops::tool_intent
