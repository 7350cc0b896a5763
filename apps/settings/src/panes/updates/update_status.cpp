#include "panes/updates/update_status.hpp"

#include "json_text/json_text.hpp"
#include "system_ops/time.hpp"
#include "text_utf8/text_utf8.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <array>
#include <fstream>
#include <sstream>

namespace settings::panes::updates {

namespace {

using Json = json_text::Json;
using std::chrono::seconds;

constexpr seconds probe_limit{10};
constexpr std::string_view confirmation_timer = "vorn-rollback-confirm.timer";
constexpr std::string_view update_fetch_service = "bootc-fetch-apply-updates.service";

std::string_view strip_all(std::string_view text, char quote)
{
    while (!text.empty() && text.front() == quote) {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == quote) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<std::string> cleaned_text(const Json& value)
{
    if (!value.is_string()) {
        return std::nullopt;
    }
    std::string text = cmd_runner::clean_text(value.get_ref<const std::string&>(), {.max_bytes = 256, .trim = true});
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

const Json* member(const Json& value, std::string_view key)
{
    if (!value.is_object()) {
        return nullptr;
    }
    const auto it = value.find(key);
    return it == value.end() ? nullptr : &*it;
}

bool is_release_notes_address(const Json& value)
{
    if (!value.is_string()) {
        return false;
    }
    const auto& text = value.get_ref<const std::string&>();
    const auto scheme_end = text.find("://");
    return scheme_end != std::string::npos && text.compare(0, scheme_end, "https") == 0 && scheme_end == 5 &&
           text.size() <= max_release_notes_bytes;
}

std::optional<std::string> search_release_notes(const Json& value, std::size_t depth)
{
    if (depth > json_text::max_depth) {
        return std::nullopt;
    }
    if (value.is_object()) {
        static constexpr std::array<std::string_view, 5> keys = {
            "org.opencontainers.image.documentation", "org.opencontainers.image.url",
            "org.opencontainers.image.source", "documentation", "releaseNotes"};
        for (const auto key : keys) {
            if (const Json* found = member(value, key); found != nullptr && is_release_notes_address(*found)) {
                // An address is shown and opened: it must be free of control and direction characters.
                std::string address = found->get<std::string>();
                if (cmd_runner::clean_text(address) == address) {
                    return address;
                }
            }
        }
        for (const auto& [key, item] : value.items()) {
            if (auto found = search_release_notes(item, depth + 1)) {
                return found;
            }
        }
        return std::nullopt;
    }
    if (value.is_array()) {
        for (const auto& item : value) {
            if (auto found = search_release_notes(item, depth + 1)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

bool timer_enabled(cmd_runner::Runner& runner, std::string_view timer)
{
    const auto out = run_system_command(runner, "systemctl", {"is-enabled", std::string(timer)}, probe_limit);
    return out && enabled_state(out->stdout_text()) == true;
}

}  // namespace

std::optional<std::string> pretty_name_of(std::string_view os_release)
{
    std::size_t start = 0;
    while (start < os_release.size()) {
        auto end = os_release.find('\n', start);
        if (end == std::string_view::npos) {
            end = os_release.size();
        }
        const std::string_view line = text_utf8::trim_white_space(os_release.substr(start, end - start));
        start = end + 1;
        constexpr std::string_view prefix = "PRETTY_NAME=";
        if (!line.starts_with(prefix)) {
            continue;
        }
        const std::string_view value = strip_all(strip_all(line.substr(prefix.size()), '"'), '\'');
        std::string name = cmd_runner::clean_text(value, {.max_bytes = 256, .trim = true});
        if (!name.empty()) {
            return name;
        }
    }
    return std::nullopt;
}

std::expected<std::optional<std::string>, std::string> staged_image_of(std::string_view status_json)
{
    const auto document = json_text::parse(status_json);
    if (!document) {
        return std::unexpected(std::string("bootc printed a status that is not JSON"));
    }
    const Json* status = member(*document, "status");
    const Json* staged = status != nullptr ? member(*status, "staged") : nullptr;
    if (staged == nullptr || staged->is_null()) {
        return std::optional<std::string>();
    }
    if (const Json* version = member(*staged, "version"); version != nullptr) {
        if (auto text = cleaned_text(*version)) {
            return text;
        }
    }
    const Json* image = member(*staged, "image");
    const Json* inner = image != nullptr ? member(*image, "image") : nullptr;
    const Json* reference = inner != nullptr ? member(*inner, "image") : nullptr;
    if (reference != nullptr) {
        if (auto text = cleaned_text(*reference)) {
            return text;
        }
    }
    return std::optional<std::string>("Update staged for next boot");
}

std::optional<std::string> find_release_notes_url(const nlohmann::ordered_json& value)
{
    return search_release_notes(value, 0);
}

std::vector<std::string> journal_lines_of(std::string_view output)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size() && lines.size() < max_journal_lines) {
        auto end = output.find('\n', start);
        if (end == std::string_view::npos) {
            end = output.size();
        }
        std::string line = cmd_runner::clean_text(output.substr(start, end - start), {.max_chars = max_journal_chars});
        start = end + 1;
        if (text_utf8::trim_white_space(line).empty() || line.find("-- No entries --") != std::string::npos) {
            continue;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string protection_sentence(bool confirmation_timer_enabled, const RollbackStatus& rollback)
{
    if (!rollback) {
        return confirmation_timer_enabled ? "Boot confirmation active · the previous image could not be read"
                                          : "Rollback protection state is not reported";
    }
    const std::optional<std::string>& image = *rollback;
    if (confirmation_timer_enabled) {
        return image ? fmt::format("Protected · fallback available: {}", *image)
                     : "Boot confirmation active · no previous image retained yet";
    }
    return image ? fmt::format("Fallback available ({}); automatic confirmation not reported", *image)
                 : "Rollback protection state is not reported";
}

StatusProbe::StatusProbe(std::shared_ptr<cmd_runner::Runner> runner, std::filesystem::path os_release)
    : runner_(std::move(runner)), os_release_(std::move(os_release))
{
}

OsInfo StatusProbe::os_pretty_name() const
{
    OsInfo info;
    std::ifstream in(os_release_, std::ios::binary);
    std::ostringstream text;
    if (in) {
        text << in.rdbuf();
    }
    info.name = pretty_name_of(text.str()).value_or(std::string(fallback_os_name));

    const auto status = read_bootc_status(*runner_);
    if (!status) {
        info.image_error = status.error();
        return info;
    }
    auto staged = staged_image_of(*status);
    if (!staged) {
        info.image_error = std::move(staged.error());
        return info;
    }
    info.staged = std::move(*staged);
    return info;
}

UpdateServiceStatus StatusProbe::update_service_status(const RollbackStatus& rollback) const
{
    UpdateServiceStatus status;
    if (const auto bootc = read_bootc_status(*runner_)) {
        if (const auto document = json_text::parse(*bootc)) {
            status.release_notes = find_release_notes_url(*document);
        }
    }
    const auto journal = run_system_command(
        *runner_, "journalctl",
        {"-u", std::string(update_fetch_service), "-n", "6", "--output=short-iso", "--no-pager"}, probe_limit);
    if (journal && journal->status.success()) {
        status.journal_lines = journal_lines_of(journal->stdout_bytes);
    }
    status.protection = protection_sentence(timer_enabled(*runner_, confirmation_timer), rollback);
    return status;
}

std::string clock_text()
{
    const auto date = system_ops::time::now_date();
    const auto clock = system_ops::time::now_clock(true);
    const std::string joined = fmt::format("{} {}", date.value_or(""), clock.value_or(""));
    return std::string(text_utf8::trim_white_space(joined));
}

}  // namespace settings::panes::updates
