#pragma once
// What the About page shows about this machine: the operating system, kernel, architecture, uptime, host name,
// processor and memory, and the workspace's signing identity. Each source is a small text file; the parsers are
// pure functions over its text, and `read_system_info` reads the files from paths that tests can point elsewhere.
// Nothing here fails: an unreadable or malformed source gives that field's fallback text.
//
//   SystemInfo info = load_system_info();        // the real files and the identity
//   system_rows(info)   -> {"OS", "Debian GNU/Linux 12 (bookworm)"}, {"Kernel", "6.1.0-18-amd64"}, ...
//   identity_text(info) -> "1f2e·3d4c·5b6a·7988", or "Not set up" without an identity

#include "signing_ids/signing_ids.hpp"

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::about {

inline constexpr std::string_view kUnknown = "unknown";
inline constexpr std::string_view kDefaultHostname = "this-device";

struct SystemInfo {
    std::string os_name{kUnknown};
    std::string kernel{kUnknown};
    std::string uptime{kUnknown};
    std::string hostname{kDefaultHostname};
    std::string architecture;  // the architecture this program was built for
    std::string processor{kUnknown};
    std::string memory{kUnknown};
    std::optional<std::string> identity_name;
    std::optional<std::array<std::uint8_t, 32>> identity_key;

    SystemInfo();
};

// Where the sources are read from. The defaults are the real files; `under` places the same layout below a root.
struct SystemPaths {
    std::filesystem::path os_release{"/etc/os-release"};
    std::filesystem::path os_release_fallback{"/usr/lib/os-release"};  // read when the first cannot be
    std::filesystem::path kernel_release{"/proc/sys/kernel/osrelease"};
    std::filesystem::path uptime{"/proc/uptime"};
    std::filesystem::path hostname{"/proc/sys/kernel/hostname"};
    std::filesystem::path cpuinfo{"/proc/cpuinfo"};
    std::filesystem::path meminfo{"/proc/meminfo"};

    [[nodiscard]] static SystemPaths under(const std::filesystem::path& root);
};

// ---- Parsers: file text in, the value or none (the caller's fallback) out ---------------------------------------

// The PRETTY_NAME of an os-release file: the first such line whose value is not empty once unquoted. Quoted
// values lose their quotes and backslash escapes; stray quotes around an unquoted value are stripped.
[[nodiscard]] std::optional<std::string> parse_os_name(std::string_view os_release);
// The whole text trimmed (kernel release, host name); none when empty.
[[nodiscard]] std::optional<std::string> parse_single_line(std::string_view text);
// Whole seconds of the first word of /proc/uptime: negative counts as 0, values past 2^64 saturate, a word that is
// not a finite number gives none.
[[nodiscard]] std::optional<std::uint64_t> parse_uptime_seconds(std::string_view uptime);
// "1d 1h 1m", "1h 0m" or "0m".
[[nodiscard]] std::string format_uptime(std::uint64_t seconds);
// The processor's name from /proc/cpuinfo: its "model name"; on architectures without one, their own key ("cpu
// model", "uarch", "cpu") or the CPU implementer and part of ARM processors. None when nothing names it.
[[nodiscard]] std::optional<std::string> parse_processor(std::string_view cpuinfo);
// MemTotal of /proc/meminfo in bytes (the file counts KiB; saturating). Only the first MemTotal line counts.
[[nodiscard]] std::optional<std::uint64_t> parse_mem_total_bytes(std::string_view meminfo);

// ---- Readers -------------------------------------------------------------------------------------------------------

// Every field but the identity, from the given files.
[[nodiscard]] SystemInfo read_system_info(const SystemPaths& paths = {});
// The name (trimmed; kept only when not empty) and key of a loaded identity; both absent when it failed to load.
void apply_identity(SystemInfo& info, const std::expected<signing_ids::SigningIdentity, std::string>& identity);
// `read_system_info` of the real files, then the current workspace's identity (`signing_ids::unix::load`).
[[nodiscard]] SystemInfo load_system_info();

// ---- What the page shows ---------------------------------------------------------------------------------------------

inline constexpr std::string_view kNotConnected = "Not connected";  // Person row without an identity name
inline constexpr std::string_view kNotSetUp = "Not set up";         // Identity row without an identity key

// The identity's fingerprint: the first 8 key bytes as 16 lowercase hex digits in four groups joined by "·"
// (U+00B7). None without a key: a fingerprint is never made up from anything else.
[[nodiscard]] std::optional<std::string> identity_fingerprint(const SystemInfo& info);
[[nodiscard]] std::string identity_text(const SystemInfo& info);  // the fingerprint or "Not set up"
[[nodiscard]] std::string person_text(const SystemInfo& info);    // the identity name or "Not connected"

struct ValueRow {
    std::string_view label;
    std::string value;

    friend bool operator==(const ValueRow&, const ValueRow&) = default;
};

[[nodiscard]] std::vector<ValueRow> identity_rows(const SystemInfo& info);  // Person, Identity
[[nodiscard]] std::vector<ValueRow> system_rows(const SystemInfo& info);    // OS, Kernel, Architecture, Uptime
[[nodiscard]] std::vector<ValueRow> hardware_rows(const SystemInfo& info);  // Processor, Memory

// Fixed texts of the page's cards.
namespace texts {
inline constexpr std::uint8_t kDeviceIcon = 9;  // the first card: icon, host name, OS name
inline constexpr std::string_view kIdentityCard = "Workspace identity";
inline constexpr std::string_view kIdentityCaption =
    "This is the identity selected for the current workspace. Apps receive its public profile; private signing "
    "material stays outside the sandbox.";
inline constexpr std::string_view kBackupCard = "Identity backup";
inline constexpr std::string_view kBackupCaption =
    "Create an encrypted portable copy of your identity. Vorn asks for a passphrase, lets you choose where to save "
    "it, and verifies the copy before confirming success.";
inline constexpr std::string_view kBackupButtonId = "about.identity-backup.button";
inline constexpr std::string_view kBackupButtonLabel = "Create encrypted backup\u2026";
inline constexpr float kBackupButtonWidth = 236.0f;
inline constexpr float kBackupButtonHeight = 40.0f;
inline constexpr std::string_view kSystemCard = "System";
inline constexpr std::string_view kHardwareCard = "Hardware";
}  // namespace texts

}  // namespace settings::panes::about
