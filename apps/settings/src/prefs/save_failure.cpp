#include "prefs/save_failure.hpp"

#include "config_sections/config_sections.hpp"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace settings::prefs {

namespace {

bool not_writable(const std::filesystem::path& path)
{
    return ::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EPERM);
}

// Whether another open file holds the lock now (the lock file is opened, never created, and let go at once).
bool lock_held(const std::filesystem::path& lock)
{
    const int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

}  // namespace

std::string_view save_problem_text(SaveProblem problem)
{
    switch (problem) {
    case SaveProblem::NoHome: return "there is no home folder to keep settings in";
    case SaveProblem::Busy: return "another program is using the settings file";
    case SaveProblem::NoPermission: return "you do not have permission to change the settings file";
    case SaveProblem::ReadOnly: return "the settings folder is on a disk that cannot be written";
    case SaveProblem::DiskFull: return "the disk is full";
    case SaveProblem::NotAFile: return "something that is not a file is in the settings file's place";
    case SaveProblem::TooLarge: return "the settings file is too large to be read";
    case SaveProblem::Other: break;
    }
    return "the settings file could not be written";
}

SaveProblem diagnose_save_failure(const std::filesystem::path& path, std::string_view error)
{
    if (error.ends_with("is still locked by another writer; try again")) {
        return SaveProblem::Busy;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            return SaveProblem::NotAFile;
        }
        if (static_cast<std::uintmax_t>(st.st_size) > config_sections::max_file_size) {
            return SaveProblem::TooLarge;
        }
    } else if (::lstat(path.c_str(), &st) == 0) {
        return SaveProblem::NotAFile;  // a link that leads nowhere
    }
    const std::filesystem::path folder = path.parent_path();
    struct statvfs fs {};
    if (!folder.empty() && ::statvfs(folder.c_str(), &fs) == 0) {
        if ((fs.f_flag & ST_RDONLY) != 0) {
            return SaveProblem::ReadOnly;
        }
        if (fs.f_bavail == 0) {
            return SaveProblem::DiskFull;
        }
    }
    const std::filesystem::path lock = path.string() + ".lock";
    std::error_code ec;
    if ((!folder.empty() && std::filesystem::exists(folder, ec) && not_writable(folder)) ||
        (std::filesystem::exists(path, ec) && not_writable(path)) ||
        (std::filesystem::exists(lock, ec) && not_writable(lock))) {
        return SaveProblem::NoPermission;
    }
    if (lock_held(lock)) {
        return SaveProblem::Busy;
    }
    return SaveProblem::Other;
}

}  // namespace settings::prefs
