#pragma once
// Helpers of the real backends: running a system tool through the bounded command runner and reading its text
// output. Internal to system_ops and sound_graph.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::detail {

struct ToolCall {
    std::string program;
    std::vector<std::string> args;
    std::chrono::milliseconds time_limit = cmd_runner::default_time_limit;
    // Bytes for standard input (secrets go here, never into args). Wiped once the run has ended.
    std::optional<std::string> input;
    std::size_t output_limit = cmd_runner::default_output_limit;
};

// Runs the tool with LC_ALL=C (so that its output does not depend on the user's language) and answers its standard
// output when it exits with status 0. Otherwise the error is one line: the runner's sentence ("nmcli not found",
// "nmcli timed out after 10 s") or, for a non-zero exit, the tool's cleaned standard error (see
// cmd_runner::failure_text) with a leading "Error: " removed.
[[nodiscard]] Result<std::string> run_tool(cmd_runner::Runner& runner, ToolCall call);

// Success when the tool ran fine (its output is not needed), else its error.
[[nodiscard]] inline Status done(const Result<std::string>& out)
{
    if (!out) {
        return std::unexpected(out.error());
    }
    return {};
}

// The lines of a text: split at line feeds, a trailing carriage return removed, a final empty line dropped.
[[nodiscard]] std::vector<std::string_view> split_lines(std::string_view text);

// ASCII white space removed at both ends.
[[nodiscard]] std::string_view trim(std::string_view text);

// A decimal integer with an optional sign and nothing else around it.
[[nodiscard]] std::optional<std::int64_t> parse_int(std::string_view text);

// The fields of one line of nmcli's terse output (-t): split at every ":" not escaped by a backslash, with "\:"
// read as ":" and "\\" as "\".
[[nodiscard]] std::vector<std::string> split_terse(std::string_view line);

// "Key=Value" lines (as printed by `timedatectl show`); lines without "=" are ignored, a later key wins.
[[nodiscard]] std::map<std::string, std::string, std::less<>> parse_key_values(std::string_view text);

// "yes"/"no" (also "true"/"false", "1"/"0", "enabled"/"disabled", "on"/"off") as a flag; anything else is none.
[[nodiscard]] std::optional<bool> parse_flag(std::string_view text);

}  // namespace system_ops::detail
