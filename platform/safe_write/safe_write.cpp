#include "safe_write/safe_write.hpp"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace safe_write {
namespace {

std::string temp_prefix(const std::filesystem::path& target)
{
    return "." + target.filename().string() + ".tmp-";
}

std::string reason(int error) { return std::system_category().message(error); }

std::unexpected<std::string> failure(const std::filesystem::path& path, std::string_view what, int error)
{
    if (what.empty()) {
        return std::unexpected(fmt::format("could not write {}: {}", path.string(), reason(error)));
    }
    return std::unexpected(fmt::format("could not write {}: {}: {}", path.string(), what, reason(error)));
}

mode_t process_umask()
{
    // umask() can only be read by changing it, which races with other threads; the kernel reports it here.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Umask:")) {
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
        }
    }
    return 022;
}

// The file that a write of `path` replaces: a symlink is followed to its final target.
std::filesystem::path resolve_target(const std::filesystem::path& path)
{
    std::filesystem::path current = path;
    for (int hops = 0; hops < 32; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(current, ec)) {
            return current;
        }
        auto next = std::filesystem::read_symlink(current, ec);
        if (ec) {
            return current;
        }
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return current;
}

std::filesystem::path directory_of(const std::filesystem::path& path)
{
    auto dir = path.parent_path();
    return dir.empty() ? std::filesystem::path(".") : dir;
}

int sync_directory(const std::filesystem::path& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    if (::fsync(fd) != 0 && errno != EINVAL) {  // some file systems cannot sync directories
        error = errno;
    }
    ::close(fd);
    return error;
}

bool write_all(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::expected<void, std::string> write_file(const std::filesystem::path& path, std::string_view contents,
                                            Options options)
{
    const std::filesystem::path target = resolve_target(path);
    const std::filesystem::path dir = directory_of(target);

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        return failure(path, "", errno);
    }
    mode_t mode = 0600;
    if (!options.private_file) {
        mode = exists ? (existing.st_mode & 07777) : (0666 & ~process_umask());
    }

    std::string temp = (dir / temp_prefix(target)).string() + "XXXXXX";
    std::vector<char> temp_buf(temp.begin(), temp.end());
    temp_buf.push_back('\0');
    const int fd = ::mkostemp(temp_buf.data(), O_CLOEXEC);
    if (fd < 0) {
        return failure(path, "", errno);
    }
    temp.assign(temp_buf.data());

    const auto abandon = [&](std::string_view what, int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        return failure(path, what, error);
    };
    if (::fchmod(fd, mode) != 0) {
        return abandon("", errno);
    }
    if (exists && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
        // Keep the owner where we may (as root); otherwise the file becomes ours, which is all we can do.
        [[maybe_unused]] const int ignored = ::fchown(fd, existing.st_uid, existing.st_gid);
    }
    if (!write_all(fd, contents)) {
        return abandon("", errno);
    }
    if (::fsync(fd) != 0) {
        return abandon("", errno);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return failure(path, "", error);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return failure(path, "", error);
    }
    if (const int error = sync_directory(dir); error != 0) {
        return failure(path, "the directory could not be synced", error);
    }
    return {};
}

std::expected<void, std::string> remove_file(const std::filesystem::path& path)
{
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT) {
            return {};
        }
        return std::unexpected(fmt::format("could not remove {}: {}", path.string(), reason(errno)));
    }
    if (const int error = sync_directory(directory_of(path)); error != 0) {
        return std::unexpected(fmt::format("could not remove {}: the directory could not be synced: {}",
                                           path.string(), reason(error)));
    }
    return {};
}

void remove_stale_temporaries(const std::filesystem::path& path)
{
    const std::filesystem::path target = resolve_target(path);
    const std::string prefix = temp_prefix(target);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory_of(target), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && name.size() == prefix.size() + 6) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
}

}  // namespace safe_write
