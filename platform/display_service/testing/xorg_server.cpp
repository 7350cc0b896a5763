#include "display_service/testing/xorg_server.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace display_service::testing {

namespace {

constexpr const char* kDummyDriver = "/usr/lib/xorg/modules/drivers/dummy_drv.so";

constexpr std::string_view kXorgConf = R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "m0"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "s0"
  Device "dummy"
  Monitor "m0"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 3840 2160
  EndSubSection
EndSection
)";

std::filesystem::path make_temp_dir(const char* prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    return ::mkdtemp(pattern.data());
}

bool on_path(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::filesystem::path dir(rest.substr(0, colon));
        if (::access((dir / program).c_str(), X_OK) == 0) {
            return true;
        }
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    return false;
}

}  // namespace

std::optional<std::string> xorg_dummy_missing()
{
    if (!on_path("Xorg") || !std::filesystem::exists(kDummyDriver) || !on_path("xrandr")) {
        return "needs Xorg, the dummy video driver and xrandr (xserver-xorg-core, xserver-xorg-video-dummy, "
               "x11-xserver-utils)";
    }
    return std::nullopt;
}

std::expected<std::unique_ptr<Xorg>, std::string> Xorg::start()
{
    auto server = std::unique_ptr<Xorg>(new Xorg);
    server->dir_ = make_temp_dir("vorn-xorg");
    std::ofstream(server->dir_ / "xorg.conf") << kXorgConf;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return std::unexpected(std::string("pipe failed"));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);  // dup2 clears close-on-exec on fd 3
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const auto log = (server->dir_ / "xorg.out").string();
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const std::string config = (server->dir_ / "xorg.conf").string();
    const std::string logfile = (server->dir_ / "xorg.log").string();
    std::vector<std::string> args = {"Xorg",   "-displayfd", "3",    "-config",      config,      "-logfile",
                                     logfile,  "-noreset",   "-nolisten", "tcp",    "-novtswitch", "-sharevts"};
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const int spawned = ::posix_spawnp(&server->pid_, "Xorg", &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        server->pid_ = 0;
        return std::unexpected(std::string("Xorg did not start"));
    }

    // Xorg writes its display number to fd 3 once it accepts clients.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline && !number.ends_with('\n')) {
        pollfd pfd{fds[0], POLLIN, 0};
        if (::poll(&pfd, 1, 200) <= 0) {
            continue;
        }
        char buffer[16];
        const auto n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        number.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (!number.ends_with('\n')) {
        std::ifstream in(server->dir_ / "xorg.log");
        std::stringstream text;
        text << in.rdbuf();
        return std::unexpected("Xorg did not come up: " + text.str().substr(0, 2000));
    }
    number.pop_back();
    server->display_ = ":" + number;
    return server;
}

Xorg::~Xorg()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::expected<std::string, std::string> xrandr(const std::string& display, std::vector<std::string> args)
{
    args.insert(args.begin(), {"--display", display});
    auto out = cmd_runner::run({.program = "xrandr", .args = args, .time_limit = std::chrono::seconds(10)});
    if (!out) {
        return std::unexpected(out.error().message);
    }
    if (!out->status.success()) {
        return std::unexpected("xrandr failed: " + out->stderr_text());
    }
    return out->stdout_text();
}

std::string output_geometry(const std::string& query, const std::string& output)
{
    const std::regex line("(^|\n)" + output + " (dis)?connected( primary)?( ([0-9]+x[0-9]+\\+[0-9]+\\+[0-9]+))?");
    std::smatch match;
    if (!std::regex_search(query, match, line)) {
        return "absent";
    }
    return match[5].str();
}

}  // namespace display_service::testing
