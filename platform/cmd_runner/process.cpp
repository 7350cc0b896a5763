#include "cmd_runner/process.hpp"

#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace cmd_runner::detail {
namespace {

std::string errno_text(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

Error make_error(ErrorKind kind, std::string message)
{
    return Error{.kind = kind, .message = std::move(message)};
}

// posix_spawn_* calls return the error number instead of setting errno.
class SpawnSetup {
public:
    SpawnSetup()
    {
        if (const int rc = posix_spawn_file_actions_init(&actions_); rc != 0) {
            throw std::system_error(rc, std::generic_category(), "posix_spawn_file_actions_init");
        }
        if (const int rc = posix_spawnattr_init(&attr_); rc != 0) {
            posix_spawn_file_actions_destroy(&actions_);
            throw std::system_error(rc, std::generic_category(), "posix_spawnattr_init");
        }
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    ~SpawnSetup()
    {
        posix_spawnattr_destroy(&attr_);
        posix_spawn_file_actions_destroy(&actions_);
    }

    posix_spawn_file_actions_t* actions() { return &actions_; }
    posix_spawnattr_t* attr() { return &attr_; }

private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attr_{};
};

bool has_nul(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}

std::optional<Error> validate(const Command& command)
{
    if (command.program.empty()) {
        return make_error(ErrorKind::InvalidCommand, "no program given");
    }
    const std::string& program = command.program;
    if (has_nul(program)) {
        return make_error(ErrorKind::InvalidCommand, "the program name contains a NUL byte");
    }
    for (const std::string& arg : command.args) {
        if (has_nul(arg)) {
            return make_error(ErrorKind::InvalidCommand,
                              fmt::format("an argument for {} contains a NUL byte", program));
        }
    }
    for (const EnvVar& var : command.env) {
        if (var.name.empty() || var.name.find('=') != std::string::npos || has_nul(var.name) ||
            has_nul(var.value)) {
            return make_error(ErrorKind::InvalidCommand,
                              fmt::format("invalid environment variable for {}", program));
        }
    }
    if (command.time_limit <= std::chrono::milliseconds::zero()) {
        return make_error(ErrorKind::InvalidCommand, fmt::format("the time limit for {} must be positive", program));
    }
    return std::nullopt;
}

// This program's environment with the command's variables set on top.
std::vector<std::string> child_environment(const std::vector<EnvVar>& overrides)
{
    std::vector<std::string> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const EnvVar& var : overrides) {
            replaced = replaced || var.name == name;
        }
        if (!replaced) {
            entries.emplace_back(text);
        }
    }
    for (const EnvVar& var : overrides) {
        bool seen = false;  // the last of repeated names wins
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (std::string_view(*it).substr(0, it->find('=')) == var.name) {
                *it = var.name + "=" + var.value;
                seen = true;
            }
        }
        if (!seen) {
            entries.push_back(var.name + "=" + var.value);
        }
    }
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& texts)
{
    std::vector<char*> result;
    result.reserve(texts.size() + 1);
    for (std::string& text : texts) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

struct Pipe {
    Fd read;
    Fd write;
};

std::optional<Pipe> make_pipe(int& error)
{
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = errno;
        return std::nullopt;
    }
    return Pipe{Fd(fds[0]), Fd(fds[1])};
}

bool set_nonblocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// The process group or session flag, and a clean signal state: this program may ignore SIGPIPE or block signals
// on its worker threads, which a child would otherwise inherit. Returns 0 or an error number.
int set_spawn_attributes(SpawnSetup& setup, short group_flag)
{
    sigset_t empty;
    sigemptyset(&empty);
    sigset_t all;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    int rc = posix_spawnattr_setflags(setup.attr(),
                                      static_cast<short>(group_flag | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
    if (rc == 0 && (group_flag & POSIX_SPAWN_SETPGROUP) != 0) {
        rc = posix_spawnattr_setpgroup(setup.attr(), 0);
    }
    if (rc == 0) {
        rc = posix_spawnattr_setsigmask(setup.attr(), &empty);
    }
    if (rc == 0) {
        rc = posix_spawnattr_setsigdefault(setup.attr(), &all);
    }
    return rc;
}

// Starts the program with the prepared file actions and attributes (no shell).
std::expected<pid_t, Error> spawn(const Command& command, SpawnSetup& setup)
{
    const std::string& program = command.program;
    std::vector<std::string> argv_texts;
    argv_texts.reserve(command.args.size() + 1);
    argv_texts.push_back(program);
    argv_texts.insert(argv_texts.end(), command.args.begin(), command.args.end());
    std::vector<char*> argv = pointers(argv_texts);
    std::vector<std::string> env_texts;
    std::vector<char*> envp;
    if (!command.env.empty()) {
        env_texts = child_environment(command.env);
        envp = pointers(env_texts);
    }

    pid_t pid = -1;
    // posix_spawnp looks the name up in PATH and takes a name with a "/" as a path; it never runs a shell.
    const int rc = posix_spawnp(&pid, program.c_str(), setup.actions(), setup.attr(), argv.data(),
                                command.env.empty() ? environ : envp.data());
    if (rc == ENOENT) {
        return std::unexpected(make_error(ErrorKind::NotFound, fmt::format("{} not found", program)));
    }
    if (rc != 0) {
        return std::unexpected(
            make_error(ErrorKind::StartFailed, fmt::format("could not start {}: {}", program, errno_text(rc))));
    }
    return pid;
}

// Collects the child's exit status on a thread of its own once it ends, so it never stays a zombie.
void reap_later(pid_t pid)
{
    try {
        std::thread([pid] {
            int raw = 0;
            while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the child stays a zombie until this program ends. Nothing better can be done.
        VORN_WARN("cmd_runner", "no thread to reap process {}", pid);
    }
}

ExitStatus decode_status(int raw)
{
    if (WIFEXITED(raw)) {
        return ExitStatus{.code = WEXITSTATUS(raw)};
    }
    if (WIFSIGNALED(raw)) {
        return ExitStatus{.signal = WTERMSIG(raw)};
    }
    return ExitStatus{};
}

}  // namespace

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        reset();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void Fd::reset()
{
    if (fd_ >= 0) {
        ::close(fd_);  // on Linux the descriptor is gone even when close reports EINTR
        fd_ = -1;
    }
}

std::expected<ChildProcess, Error> ChildProcess::start(const Command& command)
{
    if (auto invalid = validate(command)) {
        return std::unexpected(std::move(*invalid));
    }
    const std::string& program = command.program;
    auto io_error = [&](int error) {
        return std::unexpected(make_error(ErrorKind::Io, fmt::format("could not run {}: {}", program,
                                                                     errno_text(error))));
    };

    int error = 0;
    std::optional<Pipe> in;
    if (command.input) {
        in = make_pipe(error);
        if (!in) {
            return io_error(error);
        }
    }
    std::optional<Pipe> out = make_pipe(error);
    if (!out) {
        return io_error(error);
    }
    std::optional<Pipe> err = make_pipe(error);
    if (!err) {
        return io_error(error);
    }

    SpawnSetup setup;
    int rc = 0;
    // Standard input: the input pipe, or /dev/null so that a program that asks a question gets end-of-file
    // instead of waiting for an answer until its time is up.
    if (in) {
        rc = posix_spawn_file_actions_adddup2(setup.actions(), in->read.get(), STDIN_FILENO);
    } else {
        rc = posix_spawn_file_actions_addopen(setup.actions(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    if (rc == 0) {
        rc = posix_spawn_file_actions_adddup2(setup.actions(), out->write.get(), STDOUT_FILENO);
    }
    if (rc == 0) {
        rc = posix_spawn_file_actions_adddup2(setup.actions(), err->write.get(), STDERR_FILENO);
    }
    // Our descriptors are close-on-exec, but a library may have opened one without: close everything else.
    if (rc == 0) {
        rc = posix_spawn_file_actions_addclosefrom_np(setup.actions(), STDERR_FILENO + 1);
    }
    // A group of its own, so that a time-out reaches everything the program started.
    if (rc == 0) {
        rc = set_spawn_attributes(setup, POSIX_SPAWN_SETPGROUP);
    }
    if (rc != 0) {
        return io_error(rc);
    }

    auto spawned = spawn(command, setup);
    if (!spawned) {
        return std::unexpected(std::move(spawned.error()));
    }
    const pid_t pid = *spawned;

    ChildProcess child;
    child.pid_ = pid;
    child.reaped_ = false;
    // A pidfd makes the child's exit pollable together with its pipes. Without one (old kernels), the wait loop
    // polls with a short timeout instead.
    // (Through syscall(): the C++ declaration in glibc 2.36's <sys/pidfd.h> lacks C linkage.)
    child.pidfd_ = Fd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
    child.stdout_ = std::move(out->read);
    child.stderr_ = std::move(err->read);
    if (in) {
        child.stdin_ = std::move(in->write);
    }
    // The child's ends are closed here (they leave scope), so end-of-file arrives when the child is done.
    for (Fd* fd : {&child.stdout_, &child.stderr_, &child.stdin_}) {
        if (fd->valid() && !set_nonblocking(fd->get())) {
            const int saved = errno;
            child.stop_group(std::chrono::milliseconds::zero());
            return io_error(saved);
        }
    }
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      reaped_(std::exchange(other.reaped_, true)),
      status_(std::move(other.status_)),
      pidfd_(std::move(other.pidfd_)),
      stdin_(std::move(other.stdin_)),
      stdout_(std::move(other.stdout_)),
      stderr_(std::move(other.stderr_))
{
}

ChildProcess::~ChildProcess()
{
    // Closing the pipes first lets a child blocked on writing see EPIPE.
    stdin_.reset();
    stdout_.reset();
    stderr_.reset();
    stop_group();
}

std::optional<ExitStatus> ChildProcess::poll_exit()
{
    if (reaped_) {
        return status_;
    }
    int raw = 0;
    pid_t rc = 0;
    do {
        rc = waitpid(pid_, &raw, WNOHANG);
    } while (rc < 0 && errno == EINTR);
    if (rc == pid_) {
        status_ = decode_status(raw);
        reaped_ = true;
    } else if (rc < 0) {
        // ECHILD: someone else reaped it (SIGCHLD set to SIG_IGN); the status is lost.
        status_ = ExitStatus{};
        reaped_ = true;
    }
    return reaped_ ? status_ : std::nullopt;
}

// Waits up to `limit` for the child to exit, without reaping it (its pid must stay ours while its group is
// signalled).
bool ChildProcess::wait_exited(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (pidfd_.valid()) {
            pollfd pfd{.fd = pidfd_.get(), .events = POLLIN, .revents = 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const int rc = poll(&pfd, 1, static_cast<int>(std::max<std::int64_t>(0, left.count())));
            if (rc > 0) {
                return true;
            }
            if (rc < 0 && errno == EINTR) {
                continue;
            }
            if (rc < 0) {
                pidfd_.reset();  // fall back to polling below
                continue;
            }
            return false;
        }
        siginfo_t info{};
        const int rc = waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
        if (rc == 0 && info.si_pid == pid_) {
            return true;
        }
        if (rc < 0 && errno == ECHILD) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ChildProcess::stop_group(std::chrono::milliseconds grace)
{
    if (reaped_) {
        return;
    }
    // The child is not reaped yet, so its pid (the group id) cannot have been reused: signalling the group is safe.
    bool signalled = false;
    if (grace > std::chrono::milliseconds::zero()) {
        signalled = kill(-pid_, SIGTERM) == 0;
        if (signalled) {
            wait_exited(grace);
        }
    }
    // SIGKILL even when the child went on SIGTERM: its own children may still be running.
    signalled = (kill(-pid_, SIGKILL) == 0) || signalled;
    if (!signalled) {
        // EPERM: a setuid program (pkexec) we may not signal. Stop waiting for it; its pipes are closed by
        // the caller, so it fails on its next write.
        VORN_WARN("cmd_runner", "could not stop process {}: {}", pid_, errno_text(errno));
        hand_to_reaper();
        return;
    }
    if (wait_exited(std::chrono::seconds(2))) {
        int raw = 0;
        pid_t rc = 0;
        do {
            rc = waitpid(pid_, &raw, 0);
        } while (rc < 0 && errno == EINTR);
        status_ = rc == pid_ ? decode_status(raw) : ExitStatus{};
        reaped_ = true;
        return;
    }
    // Killed but still there (stuck in the kernel, e.g. on a dead network mount).
    VORN_WARN("cmd_runner", "process {} did not end after SIGKILL", pid_);
    hand_to_reaper();
}

void ChildProcess::hand_to_reaper()
{
    reaped_ = true;
    status_ = ExitStatus{};
    reap_later(pid_);
}

std::string describe_seconds(std::chrono::milliseconds limit)
{
    return fmt::format("{:g}", static_cast<double>(limit.count()) / 1000.0);
}

std::string describe_size(std::size_t bytes)
{
    constexpr std::size_t kib = 1024;
    constexpr std::size_t mib = kib * kib;
    if (bytes >= mib && bytes % mib == 0) {
        return fmt::format("{} MiB", bytes / mib);
    }
    if (bytes >= kib && bytes % kib == 0) {
        return fmt::format("{} KiB", bytes / kib);
    }
    return fmt::format("{} {}", bytes, bytes == 1 ? "byte" : "bytes");
}

}  // namespace cmd_runner::detail

namespace cmd_runner {

std::expected<pid_t, Error> launch_detached(const Command& command)
{
    if (auto invalid = detail::validate(command)) {
        return std::unexpected(std::move(*invalid));
    }
    if (command.input) {
        return std::unexpected(detail::make_error(
            ErrorKind::InvalidCommand, fmt::format("{} runs on its own and cannot be given input", command.program)));
    }
    detail::SpawnSetup setup;
    // Standard streams on /dev/null: the program outlives any pipe of ours, and a pipe it held open would keep
    // whoever reads our output waiting. Everything else of ours is closed.
    int rc = 0;
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (rc == 0) {
            rc = posix_spawn_file_actions_addopen(setup.actions(), fd, "/dev/null",
                                                  fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
        }
    }
    if (rc == 0) {
        rc = posix_spawn_file_actions_addclosefrom_np(setup.actions(), STDERR_FILENO + 1);
    }
    // A session of its own: no controlling terminal, and a signal to our group (Ctrl+C in a terminal, a stopped
    // session of ours) does not reach it.
    if (rc == 0) {
        rc = detail::set_spawn_attributes(setup, POSIX_SPAWN_SETSID);
    }
    if (rc != 0) {
        return std::unexpected(detail::make_error(
            ErrorKind::Io, fmt::format("could not run {}: {}", command.program, detail::errno_text(rc))));
    }
    auto pid = detail::spawn(command, setup);
    if (pid) {
        detail::reap_later(*pid);
    }
    return pid;
}

}  // namespace cmd_runner
