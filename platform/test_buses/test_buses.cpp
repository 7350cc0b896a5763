#include "test_buses/test_buses.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

extern char** environ;

namespace test_buses {
namespace {

using namespace std::chrono_literals;

constexpr int ready_polls = 200;
constexpr auto poll_interval = 25ms;

std::optional<std::string> env_value(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void restore_env(const char* name, const std::optional<std::string>& value)
{
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
}

bool write_file(const std::filesystem::path& path, std::string_view text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// A bus configuration without <servicedir>: nothing is activated behind the test's back.
std::string bus_config(std::string_view type, const std::filesystem::path& socket)
{
    return "<busconfig><type>" + std::string(type) + "</type><listen>unix:path=" + socket.string() +
           "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
           "<allow send_type=\"method_call\"/><allow send_destination=\"*\" eavesdrop=\"true\"/>"
           "<allow eavesdrop=\"true\"/><allow receive_sender=\"*\"/></policy></busconfig>\n";
}

const char* bus_flag(Bus bus) { return bus == Bus::system ? "--system" : "--session"; }

cmd_runner::Result run_quick(std::vector<std::string> argv)
{
    cmd_runner::Command command{.program = argv.front()};
    command.args.assign(argv.begin() + 1, argv.end());
    command.time_limit = 10s;
    return cmd_runner::run(command);
}

}  // namespace

// ---- Child

std::expected<Child, std::string> Child::start(const std::vector<std::string>& argv, const std::filesystem::path& log)
{
    if (argv.empty()) {
        return std::unexpected("no program to start");
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr, &all);

    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        return std::unexpected(argv[0] + " could not be started: " + std::strerror(rc));
    }
    return Child(pid);
}

Child::Child(Child&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

Child& Child::operator=(Child&& other) noexcept
{
    if (this != &other) {
        stop();
        pid_ = std::exchange(other.pid_, -1);
    }
    return *this;
}

Child::~Child() { stop(); }

bool Child::running()
{
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ::kill(-pid_, SIGKILL);  // whatever it left in its group
        pid_ = -1;
        return false;
    }
    return true;
}

void Child::stop(std::chrono::milliseconds grace)
{
    if (pid_ <= 0) {
        return;
    }
    ::kill(-pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    ::kill(-pid_, SIGKILL);  // children of the group that outlived their leader
    pid_ = -1;
}

// ---- PrivateBuses

std::expected<std::unique_ptr<PrivateBuses>, std::string> PrivateBuses::start()
{
    if (!have_program("dbus-daemon")) {
        return std::unexpected("dbus-daemon is not installed");
    }
    const std::string base = env_value("TMPDIR").value_or("/tmp");
    std::string pattern = base + "/vorn-buses.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        return std::unexpected("no temporary folder for the buses: " + std::string(std::strerror(errno)));
    }
    std::unique_ptr<PrivateBuses> buses(new PrivateBuses());
    buses->dir_ = pattern;
    // Daemons that drop privileges must be able to enter the folder.
    chmod(buses->dir_.c_str(), 0755);

    const std::filesystem::path system_socket = buses->dir_ / "system_bus_socket";
    const std::filesystem::path session_socket = buses->dir_ / "session_bus_socket";
    if (!write_file(buses->dir_ / "system.conf", bus_config("system", system_socket)) ||
        !write_file(buses->dir_ / "session.conf", bus_config("session", session_socket))) {
        return std::unexpected("could not write the bus configurations");
    }
    for (const char* kind : {"system", "session"}) {
        auto daemon = Child::start({"dbus-daemon", "--config-file=" + (buses->dir_ / (std::string(kind) + ".conf")).string(),
                                    "--nofork", "--nopidfile"},
                                   buses->dir_ / (std::string(kind) + "-bus.log"));
        if (!daemon) {
            return std::unexpected(daemon.error());
        }
        buses->daemons_.push_back(std::move(*daemon));
    }
    for (int i = 0; i < ready_polls; ++i) {
        if (std::filesystem::exists(system_socket) && std::filesystem::exists(session_socket)) {
            break;
        }
        std::this_thread::sleep_for(poll_interval);
    }
    if (!std::filesystem::exists(system_socket) || !std::filesystem::exists(session_socket)) {
        return std::unexpected("the private buses did not come up");
    }
    buses->system_address_ = "unix:path=" + system_socket.string();
    buses->session_address_ = "unix:path=" + session_socket.string();
    buses->saved_system_ = env_value("DBUS_SYSTEM_BUS_ADDRESS");
    buses->saved_session_ = env_value("DBUS_SESSION_BUS_ADDRESS");
    setenv("DBUS_SYSTEM_BUS_ADDRESS", buses->system_address_.c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", buses->session_address_.c_str(), 1);
    return buses;
}

PrivateBuses::~PrivateBuses()
{
    daemons_.clear();  // stops both daemons
    if (!system_address_.empty()) {
        restore_env("DBUS_SYSTEM_BUS_ADDRESS", saved_system_);
        restore_env("DBUS_SESSION_BUS_ADDRESS", saved_session_);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

const std::string& PrivateBuses::address(Bus bus) const
{
    return bus == Bus::system ? system_address_ : session_address_;
}

bool name_has_owner(Bus bus, std::string_view name)
{
    const auto owner = run_quick({"gdbus", "call", bus_flag(bus), "--dest", "org.freedesktop.DBus", "--object-path",
                                  "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
                                  std::string(name)});
    return owner && owner->stdout_text().find("true") != std::string::npos;
}

// ---- DbusMock

std::expected<std::unique_ptr<DbusMock>, std::string> DbusMock::start(const PrivateBuses& buses, MockSpec spec)
{
    const std::string python = "/usr/bin/python3";
    if (!have_program(python) || !run_quick({python, "-c", "import dbusmock"}).value_or(cmd_runner::Output{})
                                       .status.success()) {
        return std::unexpected("python3-dbusmock is not installed");
    }
    std::unique_ptr<DbusMock> mock(new DbusMock());
    mock->address_ = buses.address(spec.bus);
    if (spec.template_name.empty()) {
        spec.template_name = spec.interface;  // names the mock in its log and messages
    }
    mock->log_ = buses.dir() / (spec.template_name + "-" + std::to_string(getpid()) + "-" +
                                std::to_string(reinterpret_cast<std::uintptr_t>(mock.get())) + ".log");
    std::vector<std::string> argv{python, "-m", "dbusmock", bus_flag(spec.bus)};
    if (spec.object_path.empty()) {
        argv.insert(argv.end(), {"-t", spec.template_name});
    } else {
        argv.insert(argv.end(), {spec.bus_name, spec.object_path, spec.interface});
    }
    if (!spec.parameters.empty()) {
        argv.push_back("-p");
        argv.push_back(spec.parameters);
    }
    auto process = Child::start(argv, mock->log_);
    if (!process) {
        return std::unexpected(process.error());
    }
    mock->process_.emplace(std::move(*process));
    mock->spec_ = std::move(spec);
    for (int i = 0; i < ready_polls; ++i) {
        if (name_has_owner(mock->spec_.bus, mock->spec_.bus_name)) {
            return mock;
        }
        if (!mock->process_->running()) {
            return std::unexpected("dbusmock " + mock->spec_.template_name + " ended: " + mock->log());
        }
        std::this_thread::sleep_for(poll_interval);
    }
    return std::unexpected("dbusmock " + mock->spec_.template_name + " did not take " + mock->spec_.bus_name);
}

DbusMock::~DbusMock() = default;

std::expected<std::string, std::string> DbusMock::call(std::string_view object_path, std::string_view method,
                                                       const std::vector<std::string>& args) const
{
    std::vector<std::string> argv{"gdbus", "call", bus_flag(spec_.bus), "--dest", spec_.bus_name, "--object-path",
                                  std::string(object_path), "--method", std::string(method)};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto out = run_quick(std::move(argv));
    if (!out) {
        return std::unexpected(out.error().message);
    }
    if (!out->status.success()) {
        return std::unexpected(cmd_runner::failure_text(*out, "gdbus"));
    }
    return out->stdout_text();
}

std::string DbusMock::log() const
{
    std::ifstream in(log_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// ---- Free functions

bool have_program(std::string_view program)
{
    if (program.find('/') != std::string_view::npos) {
        return access(std::string(program).c_str(), X_OK) == 0;
    }
    const std::string path = env_value("PATH").value_or("/usr/bin:/bin");
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(':', start), path.size());
        const std::filesystem::path candidate = std::filesystem::path(path.substr(start, end - start)) / program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::vector<std::string> systemd_booted_prefix()
{
    if (geteuid() != 0 || !have_program("unshare")) {
        return {};
    }
    static const bool works = [] {
        const auto out = run_quick({"unshare", "-m", "true"});
        return out && out->status.success();
    }();
    if (!works) {
        return {};
    }
    return {"unshare", "-m", "--propagation", "private", "sh", "-c",
            "mkdir -p /run/systemd && mount -t tmpfs -o size=1m,mode=755 tmpfs /run/systemd && "
            "mkdir /run/systemd/system && exec \"$@\"",
            "sh"};
}

}  // namespace test_buses
