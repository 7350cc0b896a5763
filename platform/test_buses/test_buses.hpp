#pragma once
// Private D-Bus buses and mocked system services for tests (linked by tests only).
//
// A backend test runs the real client tool (nmcli, bluetoothctl, powerprofilesctl, timedatectl, busctl) against a
// python3-dbusmock template on a private system-like bus, never against the machine's own daemons:
//
//   auto buses = test_buses::PrivateBuses::start();            // exports both bus addresses to this process
//   if (!buses) GTEST_SKIP() << buses.error();                   // dbus-daemon or python3-dbusmock missing
//   auto nm = test_buses::DbusMock::start(**buses, {.template_name = "networkmanager",
//                                                   .bus_name = "org.freedesktop.NetworkManager",
//                                                   .parameters = R"({"Version":"1.42.4"})"});
//   ASSERT_TRUE(nm) << nm.error();
//   (*nm)->call("/org/freedesktop", "org.freedesktop.DBus.Mock.AddWiFiDevice", {"mock_WiFi1", "wlan0", "100"});
//
// PrivateBuses sets DBUS_SYSTEM_BUS_ADDRESS and DBUS_SESSION_BUS_ADDRESS for the whole test process while it lives
// (children started through cmd_runner inherit them), so no tool can reach the machine's buses or autolaunch a bus
// of its own; it restores both when it goes. The buses use private configurations without service activation, so
// nothing is started behind the test's back. Every process started here runs in a process group of its own and is
// stopped (SIGTERM, then SIGKILL) and reaped when its owner goes: a test never leaves a process behind.
//
// Start the buses once per test suite (SetUpTestSuite) where the tests allow it: a bus starts in a few milliseconds,
// a dbusmock template in about a fifth of a second.

#include <sys/types.h>

#include <chrono>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace test_buses {

// A child process in a process group of its own, stopped and reaped on destruction.
class Child {
public:
    // Starts argv[0] (looked up in PATH) with standard output and standard error appended to `log`.
    static std::expected<Child, std::string> start(const std::vector<std::string>& argv,
                                                   const std::filesystem::path& log);
    Child(Child&& other) noexcept;
    Child& operator=(Child&& other) noexcept;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child();

    [[nodiscard]] pid_t pid() const { return pid_; }
    // Whether the process is still running (reaps it if it has ended).
    [[nodiscard]] bool running();
    // SIGTERM to the group, SIGKILL after `grace`, then reaped. Safe to call twice.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

private:
    explicit Child(pid_t pid) : pid_(pid) {}
    pid_t pid_ = -1;
};

enum class Bus { system, session };

// A temporary folder with a system-like and a session-like dbus-daemon.
class PrivateBuses {
public:
    // An error when dbus-daemon is missing or does not come up (the sentence says which).
    static std::expected<std::unique_ptr<PrivateBuses>, std::string> start();
    ~PrivateBuses();
    PrivateBuses(const PrivateBuses&) = delete;
    PrivateBuses& operator=(const PrivateBuses&) = delete;

    [[nodiscard]] const std::string& address(Bus bus) const;
    [[nodiscard]] const std::filesystem::path& dir() const { return dir_; }

private:
    PrivateBuses() = default;
    std::filesystem::path dir_;
    std::vector<Child> daemons_;
    std::string system_address_;
    std::string session_address_;
    std::optional<std::string> saved_system_;
    std::optional<std::string> saved_session_;
};

// Whether `name` has an owner on the private bus (asked with gdbus through the exported address).
[[nodiscard]] bool name_has_owner(Bus bus, std::string_view name);

struct MockSpec {
    std::string template_name;    // "networkmanager", "bluez5", "power_profiles_daemon", "timedated", ...
    std::string bus_name;         // the name the template owns, waited for before start() returns
    std::string parameters;       // the template's -p JSON, or empty
    Bus bus = Bus::system;
    // Without a template: a plain mock object at this path with this main interface, given its methods through
    // org.freedesktop.DBus.Mock.AddMethod (services that have no template, such as ModemManager or the portals).
    std::string object_path;
    std::string interface;
};

// One python3-dbusmock template on one of the private buses.
class DbusMock {
public:
    // An error when python3-dbusmock is missing or the service does not appear within a few seconds.
    static std::expected<std::unique_ptr<DbusMock>, std::string> start(const PrivateBuses& buses, MockSpec spec);
    ~DbusMock();
    DbusMock(const DbusMock&) = delete;
    DbusMock& operator=(const DbusMock&) = delete;

    // Calls `method` ("interface.Method") on `object_path` through gdbus with GVariant-text arguments
    // ("'wlan0'", "<uint32 3>", "100"); the reply as gdbus prints it, or the error text.
    std::expected<std::string, std::string> call(std::string_view object_path, std::string_view method,
                                                 const std::vector<std::string>& args) const;
    // Everything the mock logged so far: one line per method call, with its arguments.
    [[nodiscard]] std::string log() const;
    // The mock's process (-1 once it was stopped).
    [[nodiscard]] pid_t pid() const { return process_ ? process_->pid() : -1; }

private:
    DbusMock() = default;
    MockSpec spec_;
    std::string address_;
    std::filesystem::path log_;
    std::optional<Child> process_;
};

// Whether `program` is found in PATH (or is an executable path).
[[nodiscard]] bool have_program(std::string_view program);

// timedatectl, loginctl, hostnamectl and localectl refuse to run unless systemd is the init system. This prefix runs
// a program in a private mount namespace in which /run/systemd/system exists (needs root, as CI has); the host's
// /run is never touched. Prepend it to a command's argv, or use its first element as the program of a fake on PATH.
// Empty when the namespace cannot be made here (not root, or unshare missing): such tests skip.
[[nodiscard]] std::vector<std::string> systemd_booted_prefix();

}  // namespace test_buses
