#pragma once
// A small machine's account files in a temporary prefix folder, for tests that run the real shadow tools through
// system_ops::users (useradd, usermod and userdel with --prefix, chpasswd with --root), and a stand-in for pkexec that
// records each run's arguments and standard input and then runs its arguments. The machine has root, a system
// account, "ada" (uid 1000, administrator through "sudo") and "grace" (uid 1001), LightDM as display manager with
// its stock configuration, and the host's login.defs. The folder goes with the object.
//
//   auto prefix = system_ops::testing::AccountPrefix::create();
//   if (!prefix) GTEST_SKIP() << prefix.error();
//   system_ops::users::ShadowUsers users(cmd_runner::system_runner(), (*prefix)->options({"grace"}));

#include "system_ops/users.hpp"

#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::testing {

class AccountPrefix {
public:
    // LightDM's configuration as Debian ships it.
    static constexpr std::string_view stock_lightdm_conf =
        "[LightDM]\n"
        "#start-default-seat=true\n"
        "\n"
        "[Seat:*]\n"
        "#type=local\n"
        "greeter-session=lightdm-gtk-greeter\n"
        "#autologin-user=\n"
        "#autologin-user-timeout=0\n"
        "\n"
        "[XDMCPServer]\n"
        "#enabled=false\n";

    // The reason as the error when the tools cannot run here (they write account files only as root, even below a
    // prefix; or one is not installed).
    [[nodiscard]] static std::expected<std::unique_ptr<AccountPrefix>, std::string> create();
    ~AccountPrefix();
    AccountPrefix(const AccountPrefix&) = delete;
    AccountPrefix& operator=(const AccountPrefix&) = delete;

    // The machine's root folder (etc/passwd, home/..., etc/lightdm/lightdm.conf).
    [[nodiscard]] const std::filesystem::path& root() const { return root_; }
    // ShadowUsers working on this machine through the pkexec stand-in, with `self` as the signed-in logins.
    [[nodiscard]] users::ShadowUsers::Options options(std::vector<std::string> self) const;
    // Every pkexec run so far: its arguments joined by blanks.
    [[nodiscard]] std::vector<std::string> runs() const;
    // What the n-th run (from 0) read on standard input.
    [[nodiscard]] std::string stdin_of(std::size_t n) const;
    // The line of `login` in etc/<file> ("passwd", "group", "shadow"), or empty.
    [[nodiscard]] std::string line_of(std::string_view file, std::string_view login) const;
    [[nodiscard]] std::string read(const std::filesystem::path& relative) const;

private:
    explicit AccountPrefix(std::filesystem::path dir);
    std::filesystem::path dir_;
    std::filesystem::path root_;
    std::filesystem::path pkexec_;
};

}  // namespace system_ops::testing
