#include "system_ops/tool.hpp"

#include <sodium.h>

#include <charconv>
#include <utility>

namespace system_ops::detail {

namespace {

// Wipes the secret a command carried, whatever way the run ends.
class InputWipe {
public:
    explicit InputWipe(std::optional<std::string>& input) : input_(input) {}
    ~InputWipe()
    {
        if (input_ && !input_->empty()) {
            sodium_memzero(input_->data(), input_->size());
        }
    }
    InputWipe(const InputWipe&) = delete;
    InputWipe& operator=(const InputWipe&) = delete;

private:
    std::optional<std::string>& input_;
};

}  // namespace

Result<std::string> run_tool(cmd_runner::Runner& runner, ToolCall call)
{
    cmd_runner::Command command{.program = call.program,
                                .args = std::move(call.args),
                                .env = {{"LC_ALL", "C"}},
                                .input = std::move(call.input),
                                .time_limit = call.time_limit,
                                .output_limit = call.output_limit};
    const InputWipe wipe(command.input);
    auto out = runner.run(command);
    if (!out) {
        return std::unexpected(out.error().message);
    }
    if (!out->status.success()) {
        // nmcli follows its error with lines such as "Hint: use 'journalctl -xe ...'" that mean nothing to users.
        std::string err;
        for (const auto line : split_lines(out->stderr_bytes)) {
            if (!trim(line).starts_with("Hint:")) {
                err.append(line).push_back('\n');
            }
        }
        out->stderr_bytes = std::move(err);
        std::string text = cmd_runner::failure_text(*out, call.program);
        constexpr std::string_view prefix = "Error: ";
        if (text.starts_with(prefix) && text.size() > prefix.size()) {
            text.erase(0, prefix.size());
        }
        return std::unexpected(std::move(text));
    }
    return std::move(out->stdout_bytes);
}

std::vector<std::string_view> split_lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string_view trim(std::string_view text)
{
    constexpr std::string_view blanks = " \t\r\n\f\v";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::optional<std::int64_t> parse_int(std::string_view text)
{
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) {
            return std::nullopt;
        }
    }
    std::int64_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string> split_terse(std::string_view line)
{
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            fields.back() += line[++i];
        } else if (c == ':') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::map<std::string, std::string, std::less<>> parse_key_values(std::string_view text)
{
    std::map<std::string, std::string, std::less<>> values;
    for (const auto line : split_lines(text)) {
        const auto eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            continue;
        }
        values.insert_or_assign(std::string(trim(line.substr(0, eq))), std::string(line.substr(eq + 1)));
    }
    return values;
}

std::optional<bool> parse_flag(std::string_view text)
{
    text = trim(text);
    for (const auto yes : {"yes", "true", "1", "enabled", "on"}) {
        if (text == yes) {
            return true;
        }
    }
    for (const auto no : {"no", "false", "0", "disabled", "off"}) {
        if (text == no) {
            return false;
        }
    }
    return std::nullopt;
}

}  // namespace system_ops::detail
