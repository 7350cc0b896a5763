#include "system_ops/privacy.hpp"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace system_ops::privacy {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view secure_boot_variable = "SecureBoot-8be4df61-93ca-11d2-aa0d-00e098032b8c";

std::optional<std::string> read_small_file(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text;
    text.resize(4096);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// The entries of a folder, sorted by name (nothing when it cannot be listed).
std::optional<std::vector<fs::path>> sorted_entries(const fs::path& folder)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        return std::nullopt;
    }
    std::vector<fs::path> entries;
    for (const auto& entry : it) {
        entries.push_back(entry.path());
    }
    std::ranges::sort(entries);
    return entries;
}

// The worst state of the rfkill switches of one type under <root>/sys/class/rfkill.
KillSwitch rfkill_state(const fs::path& root, std::string_view type)
{
    const auto entries = sorted_entries(root / "sys/class/rfkill");
    if (!entries) {
        return KillSwitch::NoneReported;
    }
    KillSwitch state = KillSwitch::NoneReported;
    for (const auto& entry : *entries) {
        const auto kind = read_small_file(entry / "type");
        if (!kind || trimmed(*kind) != type) {
            continue;
        }
        const auto hard = read_small_file(entry / "hard");
        const auto soft = read_small_file(entry / "soft");
        KillSwitch found = KillSwitch::Available;
        if (hard && trimmed(*hard) == "1") {
            found = KillSwitch::BlockedByHardware;
        } else if (soft && trimmed(*soft) == "1") {
            found = KillSwitch::BlockedBySoftware;
        }
        state = std::max(state, found);
    }
    return state;
}

bool camera_present(const fs::path& root)
{
    const auto entries = sorted_entries(root / "sys/class/video4linux");
    if (!entries) {
        return false;
    }
    // A camera is a capture device; metadata nodes of the same camera name the same device.
    return std::ranges::any_of(*entries, [](const fs::path& entry) {
        return entry.filename().string().starts_with("video");
    });
}

// The device below a mount point: findmnt's SOURCE without the bracketed btrfs subvolume.
std::optional<std::string> mount_source(cmd_runner::Runner& runner, const std::string& mount_point)
{
    auto source = run_privacy_probe(runner, "findmnt", {"-nvo", "SOURCE", mount_point});
    if (!source || source->empty()) {
        return std::nullopt;
    }
    if (const auto bracket = source->find('['); bracket != std::string::npos) {
        source->erase(bracket);
    }
    // One line only: a mount point stacked several times is answered by its last (visible) mount.
    if (const auto newline = source->rfind('\n'); newline != std::string::npos) {
        source->erase(0, newline + 1);
    }
    return trimmed(*source);
}

}  // namespace

std::string kill_switch_label(KillSwitch state, bool present)
{
    switch (state) {
    case KillSwitch::NoneReported: return present ? "Present \u00b7 no kill switch reported" : "Not available";
    case KillSwitch::Available: return "Available";
    case KillSwitch::BlockedBySoftware: return "Blocked by software";
    case KillSwitch::BlockedByHardware: return "Blocked by hardware";
    }
    return "Not available";
}

std::optional<std::string> run_privacy_probe(cmd_runner::Runner& runner, std::string program,
                                             std::vector<std::string> args)
{
    cmd_runner::Command command{.program = std::move(program), .args = std::move(args)};
    command.env.push_back({"LC_ALL", "C"});
    command.time_limit = std::chrono::seconds(5);
    command.output_limit = cmd_runner::default_output_limit;
    const auto result = runner.run(command);
    if (!result || !result->status.success()) {
        return std::nullopt;
    }
    return cmd_runner::clean_text(result->stdout_bytes,
                                  cmd_runner::CleanOptions{.keep_newline = true, .trim = true});
}

PrivacyStatus get_privacy_status(const Probes& probes)
{
    PrivacyStatus status;
    status.camera_present = camera_present(probes.root);
    status.camera_switch = rfkill_state(probes.root, "camera");
    status.microphone_switch = rfkill_state(probes.root, "microphone");
    if (probes.microphone_muted) {
        if (const auto muted = probes.microphone_muted()) {
            status.microphone_mute = *muted ? MicrophoneMute::Muted : MicrophoneMute::NotMuted;
        }
    }
    if (probes.active_uses) {
        status.active_uses = probes.active_uses();
    }
    return status;
}

std::string disk_encryption(const Probes& probes)
{
    auto source = mount_source(*probes.runner, "/");
    if (source && !source->starts_with("/dev/")) {
        // composefs, overlay: the deployment's real file system is mounted at /sysroot.
        source = mount_source(*probes.runner, "/sysroot");
    }
    if (!source || !source->starts_with("/dev/")) {
        return std::string(unavailable);
    }
    const auto types = run_privacy_probe(*probes.runner, "lsblk", {"-s", "-n", "-o", "TYPE", "--", *source});
    if (!types || types->empty()) {
        return std::string(unavailable);
    }
    std::istringstream lines(*types);
    for (std::string line; std::getline(lines, line);) {
        if (trimmed(line) == "crypt") {
            return "Encrypted";
        }
    }
    return "Not encrypted";
}

std::string secure_boot(const Probes& probes)
{
    const fs::path folder = probes.root / "sys/firmware/efi/efivars";
    const auto entries = sorted_entries(folder);
    if (!entries) {
        return std::string(unavailable);
    }
    // The EFI global variable by its full name; another vendor's "SecureBoot-…" only when that one is absent.
    auto chosen = std::ranges::find_if(*entries, [](const fs::path& p) { return p.filename() == secure_boot_variable; });
    if (chosen == entries->end()) {
        chosen = std::ranges::find_if(
            *entries, [](const fs::path& p) { return p.filename().string().starts_with("SecureBoot-"); });
    }
    if (chosen == entries->end()) {
        return "Disabled";
    }
    const auto bytes = read_small_file(*chosen);
    if (!bytes || bytes->size() <= 4) {
        return std::string(unavailable);
    }
    return (*bytes)[4] == 1 ? "Enabled" : "Disabled";
}

std::string firewall(const Probes& probes)
{
    // firewall-cmd exits 252 with "not running" when firewalld is stopped: that is an answer too.
    cmd_runner::Command state{.program = "firewall-cmd", .args = {"--state"}};
    state.env.push_back({"LC_ALL", "C"});
    state.time_limit = std::chrono::seconds(5);
    const auto firewalld = probes.runner->run(state);
    if (firewalld && firewalld->status.success() &&
        cmd_runner::clean_text(firewalld->stdout_bytes, {.trim = true}) == "running") {
        return "Active \u00b7 firewalld";
    }
    const auto ruleset = run_privacy_probe(*probes.runner, "nft", {"list", "ruleset"});
    if (!ruleset) {
        // nft is missing or may not read the ruleset (it needs CAP_NET_ADMIN): nothing is known.
        return std::string(unavailable);
    }
    return ruleset->empty() ? "Not active" : "Active \u00b7 nftables";
}

DeviceSecurity get_device_security(const Probes& probes)
{
    return DeviceSecurity{
        .disk_encryption = disk_encryption(probes), .secure_boot = secure_boot(probes), .firewall = firewall(probes)};
}

}  // namespace system_ops::privacy
