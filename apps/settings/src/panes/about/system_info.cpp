#include "panes/about/system_info.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "vorn_ui/format.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <span>

namespace settings::panes::about {
namespace {

// More than any real source holds (/proc/cpuinfo of a large server is a few hundred KiB); the fields that matter
// come first.
constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;
// Longest text shown for one field.
constexpr std::size_t kMaxFieldChars = 256;

constexpr std::string_view kArchitecture =
#if defined(__x86_64__)
    "x86_64";
#elif defined(__aarch64__)
    "aarch64";
#elif defined(__i386__)
    "x86";
#elif defined(__arm__)
    "arm";
#elif defined(__riscv) && __riscv_xlen == 64
    "riscv64";
#elif defined(__powerpc64__)
    "powerpc64";
#elif defined(__s390x__)
    "s390x";
#elif defined(__loongarch64)
    "loongarch64";
#else
    "unknown";
#endif

std::optional<std::string> read_text(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[16384];
    while (bytes.size() < kMaxFileBytes && in.read(buffer, sizeof buffer).gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    bytes.resize(std::min(bytes.size(), kMaxFileBytes));
    return cmd_runner::decode_lossy(bytes);
}

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && is_space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Calls `line` for each line (without its "\n" or a "\r" before it) until it answers true.
template <class F>
void each_line(std::string_view text, F line)
{
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view current = text.substr(0, end);
        if (current.ends_with('\r')) {
            current.remove_suffix(1);
        }
        if (line(current)) {
            return;
        }
        if (end == std::string_view::npos) {
            return;
        }
        text.remove_prefix(end + 1);
    }
}

std::string_view first_word(std::string_view text)
{
    text = trim(text);
    const auto end = std::ranges::find_if(text, is_space);
    return text.substr(0, static_cast<std::size_t>(end - text.begin()));
}

// A value for display: control characters and escape sequences removed, bounded, trimmed.
std::string clean_value(std::string_view value)
{
    return cmd_runner::clean_text(value, cmd_runner::CleanOptions{.max_chars = kMaxFieldChars, .trim = true});
}

// The value of an os-release assignment. A value quoted as the format asks loses its quotes, and in double quotes
// its backslash escapes; anything else loses every double and then every single quote at both ends.
std::string unquote(std::string_view raw)
{
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
        const std::string_view inner = raw.substr(1, raw.size() - 2);
        std::string value;
        bool well_formed = true;
        for (std::size_t i = 0; i < inner.size(); ++i) {
            const char c = inner[i];
            if (c == '\\' && i + 1 < inner.size() && std::string_view("\\\"$`").find(inner[i + 1]) != std::string_view::npos) {
                value.push_back(inner[++i]);
            } else if (c == '"' || (c == '\\' && i + 1 == inner.size())) {
                well_formed = false;
                break;
            } else {
                value.push_back(c);
            }
        }
        if (well_formed) {
            return value;
        }
    }
    if (raw.size() >= 2 && raw.front() == '\'' && raw.back() == '\'') {
        const std::string_view inner = raw.substr(1, raw.size() - 2);
        if (inner.find('\'') == std::string_view::npos) {
            return std::string(inner);
        }
    }
    const auto strip = [](std::string_view text, char quote) {
        while (!text.empty() && text.front() == quote) {
            text.remove_prefix(1);
        }
        while (!text.empty() && text.back() == quote) {
            text.remove_suffix(1);
        }
        return text;
    };
    return std::string(strip(strip(raw, '"'), '\''));
}

// The value of the first "key : value" line whose trimmed key is `key` and whose trimmed value is not empty.
std::optional<std::string> cpuinfo_value(std::string_view cpuinfo, std::string_view key)
{
    std::optional<std::string> found;
    each_line(cpuinfo, [&](std::string_view line) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || trim(line.substr(0, colon)) != key) {
            return false;
        }
        std::string value = clean_value(line.substr(colon + 1));
        if (value.empty()) {
            return false;
        }
        found = std::move(value);
        return true;
    });
    return found;
}

std::optional<unsigned> parse_hex(std::string_view text)
{
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

struct ArmName {
    unsigned id;
    std::string_view name;
};

// CPU implementer codes of ARM processors.
constexpr ArmName kArmImplementers[] = {
    {0x41, "ARM"},       {0x42, "Broadcom"}, {0x43, "Cavium"},   {0x46, "Fujitsu"},  {0x48, "HiSilicon"},
    {0x4e, "NVIDIA"},    {0x50, "APM"},      {0x51, "Qualcomm"}, {0x53, "Samsung"},  {0x56, "Marvell"},
    {0x61, "Apple"},     {0x69, "Intel"},    {0x6d, "Microsoft"}, {0x70, "Phytium"}, {0xc0, "Ampere"},
};

// Part numbers of ARM's own cores (implementer 0x41).
constexpr ArmName kArmParts[] = {
    {0xd03, "Cortex-A53"},  {0xd04, "Cortex-A35"},  {0xd05, "Cortex-A55"},  {0xd07, "Cortex-A57"},
    {0xd08, "Cortex-A72"},  {0xd09, "Cortex-A73"},  {0xd0a, "Cortex-A75"},  {0xd0b, "Cortex-A76"},
    {0xd0c, "Neoverse-N1"}, {0xd0d, "Cortex-A77"},  {0xd40, "Neoverse-V1"}, {0xd41, "Cortex-A78"},
    {0xd44, "Cortex-X1"},   {0xd46, "Cortex-A510"}, {0xd47, "Cortex-A710"}, {0xd48, "Cortex-X2"},
    {0xd49, "Neoverse-N2"}, {0xd4d, "Cortex-A715"}, {0xd4e, "Cortex-X3"},   {0xd4f, "Neoverse-V2"},
    {0xd80, "Cortex-A520"}, {0xd81, "Cortex-A720"}, {0xd82, "Cortex-X4"},
};

std::optional<std::string_view> arm_name(std::span<const ArmName> table, std::optional<unsigned> id)
{
    if (!id) {
        return std::nullopt;
    }
    const auto it = std::ranges::find(table, *id, &ArmName::id);
    if (it == table.end()) {
        return std::nullopt;
    }
    return it->name;
}

// "ARM Cortex-A72", or "Qualcomm processor" when the part is not one we can name.
std::optional<std::string> arm_processor(std::string_view cpuinfo)
{
    const auto implementer_text = cpuinfo_value(cpuinfo, "CPU implementer");
    if (!implementer_text) {
        return std::nullopt;
    }
    const auto implementer = parse_hex(*implementer_text);
    const auto vendor = arm_name(kArmImplementers, implementer);
    if (!vendor) {
        return std::nullopt;
    }
    if (*implementer == 0x41) {
        const auto part_text = cpuinfo_value(cpuinfo, "CPU part");
        if (const auto part = arm_name(kArmParts, part_text ? parse_hex(*part_text) : std::nullopt)) {
            return fmt::format("{} {}", *vendor, *part);
        }
    }
    return fmt::format("{} processor", *vendor);
}

}  // namespace

SystemInfo::SystemInfo() : architecture(kArchitecture) {}

SystemPaths SystemPaths::under(const std::filesystem::path& root)
{
    const SystemPaths real;
    const auto below = [&](const std::filesystem::path& path) { return root / path.relative_path(); };
    SystemPaths paths;
    paths.os_release = below(real.os_release);
    paths.os_release_fallback = below(real.os_release_fallback);
    paths.kernel_release = below(real.kernel_release);
    paths.uptime = below(real.uptime);
    paths.hostname = below(real.hostname);
    paths.cpuinfo = below(real.cpuinfo);
    paths.meminfo = below(real.meminfo);
    return paths;
}

std::optional<std::string> parse_os_name(std::string_view os_release)
{
    constexpr std::string_view kKey = "PRETTY_NAME=";
    std::optional<std::string> name;
    each_line(os_release, [&](std::string_view line) {
        line = trim(line);
        if (!line.starts_with(kKey)) {
            return false;
        }
        std::string value = clean_value(unquote(line.substr(kKey.size())));
        if (value.empty()) {
            return false;
        }
        name = std::move(value);
        return true;
    });
    return name;
}

std::optional<std::string> parse_single_line(std::string_view text)
{
    std::string value = clean_value(trim(text));
    if (value.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> parse_uptime_seconds(std::string_view uptime)
{
    std::string_view word = first_word(uptime);
    if (word.starts_with('+')) {
        word.remove_prefix(1);
    }
    double seconds = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), seconds);
    if (word.empty() || ec != std::errc() || end != word.data() + word.size() || !std::isfinite(seconds)) {
        return std::nullopt;
    }
    if (seconds <= 0) {
        return 0;
    }
    constexpr double kLimit = 18446744073709551616.0;  // 2^64
    if (seconds >= kLimit) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return static_cast<std::uint64_t>(seconds);
}

std::string format_uptime(std::uint64_t seconds)
{
    const std::uint64_t days = seconds / 86400;
    const std::uint64_t hours = (seconds % 86400) / 3600;
    const std::uint64_t minutes = (seconds % 3600) / 60;
    if (seconds >= 86400) {
        return fmt::format("{}d {}h {}m", days, hours, minutes);
    }
    if (seconds >= 3600) {
        return fmt::format("{}h {}m", hours, minutes);
    }
    return fmt::format("{}m", minutes);
}

std::optional<std::string> parse_processor(std::string_view cpuinfo)
{
    // "model name" on x86 and 32-bit ARM; "cpu model" on MIPS; "uarch" on RISC-V; "cpu" on POWER.
    for (std::string_view key : {"model name", "cpu model", "uarch", "cpu"}) {
        if (auto value = cpuinfo_value(cpuinfo, key)) {
            return value;
        }
    }
    return arm_processor(cpuinfo);
}

std::optional<std::uint64_t> parse_mem_total_bytes(std::string_view meminfo)
{
    constexpr std::string_view kKey = "MemTotal:";
    std::optional<std::uint64_t> bytes;
    each_line(meminfo, [&](std::string_view line) {
        if (!line.starts_with(kKey)) {
            return false;
        }
        std::string_view word = first_word(line.substr(kKey.size()));
        if (word.starts_with('+')) {
            word.remove_prefix(1);
        }
        std::uint64_t kib = 0;
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), kib);
        if (!word.empty() && ec == std::errc() && end == word.data() + word.size()) {
            constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
            bytes = kib > kMax / 1024 ? kMax : kib * 1024;
        }
        return true;  // only the first MemTotal line counts, readable or not
    });
    return bytes;
}

SystemInfo read_system_info(const SystemPaths& paths)
{
    SystemInfo info;
    auto os_release = read_text(paths.os_release);
    if (!os_release) {
        os_release = read_text(paths.os_release_fallback);
    }
    if (os_release) {
        info.os_name = parse_os_name(*os_release).value_or(std::string(kUnknown));
    }
    if (const auto text = read_text(paths.kernel_release)) {
        info.kernel = parse_single_line(*text).value_or(std::string(kUnknown));
    }
    if (const auto text = read_text(paths.uptime)) {
        if (const auto seconds = parse_uptime_seconds(*text)) {
            info.uptime = format_uptime(*seconds);
        }
    }
    if (const auto text = read_text(paths.hostname)) {
        info.hostname = parse_single_line(*text).value_or(std::string(kDefaultHostname));
    }
    if (const auto text = read_text(paths.cpuinfo)) {
        info.processor = parse_processor(*text).value_or(std::string(kUnknown));
    }
    if (const auto text = read_text(paths.meminfo)) {
        if (const auto bytes = parse_mem_total_bytes(*text)) {
            info.memory = vorn_ui::format::bytes(*bytes);
        }
    }
    return info;
}

void apply_identity(SystemInfo& info, const std::expected<signing_ids::SigningIdentity, std::string>& identity)
{
    info.identity_name.reset();
    info.identity_key.reset();
    if (!identity) {
        return;
    }
    info.identity_key = identity->public_key;
    const std::string name = clean_value(identity->name);
    if (!name.empty()) {
        info.identity_name = name;
    }
}

SystemInfo load_system_info()
{
    SystemInfo info = read_system_info();
    apply_identity(info, signing_ids::unix::load());
    return info;
}

std::optional<std::string> identity_fingerprint(const SystemInfo& info)
{
    if (!info.identity_key) {
        return std::nullopt;
    }
    const auto& key = *info.identity_key;
    return fmt::format("{:02x}{:02x}\u00B7{:02x}{:02x}\u00B7{:02x}{:02x}\u00B7{:02x}{:02x}", key[0], key[1], key[2],
                       key[3], key[4], key[5], key[6], key[7]);
}

std::string identity_text(const SystemInfo& info)
{
    return identity_fingerprint(info).value_or(std::string(kNotSetUp));
}

std::string person_text(const SystemInfo& info)
{
    return info.identity_name.value_or(std::string(kNotConnected));
}

std::vector<ValueRow> identity_rows(const SystemInfo& info)
{
    return {{"Person", person_text(info)}, {"Identity", identity_text(info)}};
}

std::vector<ValueRow> system_rows(const SystemInfo& info)
{
    return {{"OS", info.os_name}, {"Kernel", info.kernel}, {"Architecture", info.architecture}, {"Uptime", info.uptime}};
}

std::vector<ValueRow> hardware_rows(const SystemInfo& info)
{
    return {{"Processor", info.processor}, {"Memory", info.memory}};
}

}  // namespace settings::panes::about
