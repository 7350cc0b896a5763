#include "safe_write/file_lock.hpp"

#include <fmt/format.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

namespace safe_write {
namespace {

std::string reason(int error) { return std::system_category().message(error); }

}  // namespace

std::expected<FileLock, std::string> FileLock::acquire(const std::filesystem::path& lock_path, std::string busy_message)
{
    const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return std::unexpected(fmt::format("could not open the lock file {}: {}", lock_path.string(), reason(errno)));
    }
    const auto deadline = std::chrono::steady_clock::now() + wait_limit;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK && error != EINTR) {
            ::close(fd);
            return std::unexpected(fmt::format("could not lock {}: {}", lock_path.string(), reason(error)));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            return std::unexpected(std::move(busy_message));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return FileLock(fd);
}

std::expected<FileLock, std::string> FileLock::acquire_for(const std::filesystem::path& file)
{
    return acquire(file.string() + ".lock", fmt::format("{} is still locked by another writer; try again", file.string()));
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock::~FileLock()
{
    if (fd_ >= 0) {
        ::close(fd_);  // releases the lock
    }
}

std::expected<std::optional<std::string>, std::string> read_file(const std::filesystem::path& path,
                                                                 std::size_t max_size)
{
    // Never blocking in open() or read(): a FIFO or a device in the file's place is refused, not waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::optional<std::string>();
        }
        return std::unexpected(fmt::format("could not read {}: {}", path.string(), reason(errno)));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return std::unexpected(fmt::format("could not read {}: {}", path.string(), reason(error)));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::unexpected(fmt::format("could not read {}: it is not a regular file", path.string()));
    }
    if (static_cast<std::uintmax_t>(st.st_size) > max_size) {
        ::close(fd);
        return std::unexpected(fmt::format("could not read {}: it is larger than {} bytes", path.string(), max_size));
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(st.st_size));
    std::array<char, 16384> buf;
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            ::close(fd);
            return std::unexpected(fmt::format("could not read {}: {}", path.string(), reason(error)));
        }
        if (n == 0) {
            break;
        }
        text.append(buf.data(), static_cast<std::size_t>(n));
        if (text.size() > max_size) {
            ::close(fd);
            return std::unexpected(
                fmt::format("could not read {}: it is larger than {} bytes", path.string(), max_size));
        }
    }
    ::close(fd);
    return std::optional<std::string>(std::move(text));
}

std::expected<std::filesystem::path, std::string> keep_corrupt_copy(const std::filesystem::path& path)
{
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    const std::string base = fmt::format("{}.corrupt-{}", path.string(), now);
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::filesystem::path aside = attempt == 1 ? base : fmt::format("{}-{}", base, attempt);
        // A hard link keeps the damaged text in place until the new file replaces it atomically.
        if (::link(path.c_str(), aside.c_str()) == 0) {
            return aside;
        }
        if (errno == EEXIST) {
            continue;
        }
        std::error_code ec;
        if (std::filesystem::copy_file(path, aside, std::filesystem::copy_options::none, ec)) {
            return aside;
        }
        if (ec == std::errc::file_exists) {
            continue;
        }
        return std::unexpected(fmt::format("could not keep a copy of the damaged file {}: {}", path.string(),
                                           ec ? ec.message() : reason(errno)));
    }
    return std::unexpected(fmt::format("could not keep a copy of the damaged file {}", path.string()));
}

}  // namespace safe_write

namespace safe_write {

std::expected<std::optional<std::filesystem::path>, std::string> keep_copy_once(const std::filesystem::path& path,
                                                                                std::string_view tag)
{
    const std::filesystem::path aside = fmt::format("{}.corrupt-{}", path.string(), tag);
    if (::link(path.c_str(), aside.c_str()) == 0) {
        return aside;
    }
    if (errno == EEXIST) {
        return std::nullopt;
    }
    std::error_code ec;
    if (std::filesystem::copy_file(path, aside, std::filesystem::copy_options::skip_existing, ec)) {
        return aside;
    }
    if (!ec) {
        return std::nullopt;
    }
    return std::unexpected(
        fmt::format("could not keep a copy of the damaged file {}: {}", path.string(), ec.message()));
}

}  // namespace safe_write
