#include "config_sections/config_sections.hpp"

#include "json_text/json_text.hpp"
#include "safe_write/safe_write.hpp"
#include "user_dirs/user_dirs.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace config_sections {
namespace {

constexpr auto lock_wait_limit = std::chrono::seconds(10);

std::string reason(int error) { return std::system_category().message(error); }

// An exclusive flock on "<file>.lock", released when the object goes.
class FileLock {
public:
    static std::expected<FileLock, std::string> acquire(const std::filesystem::path& file)
    {
        const std::filesystem::path lock_path = file.string() + ".lock";
        const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            return std::unexpected(fmt::format("could not open the lock file {}: {}", lock_path.string(), reason(errno)));
        }
        const auto deadline = std::chrono::steady_clock::now() + lock_wait_limit;
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error != EWOULDBLOCK && error != EINTR) {
                ::close(fd);
                return std::unexpected(fmt::format("could not lock {}: {}", lock_path.string(), reason(error)));
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                ::close(fd);
                return std::unexpected(
                    fmt::format("{} is still locked by another writer; try again", file.string()));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return FileLock(fd);
    }

    FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock& operator=(FileLock&&) = delete;
    ~FileLock()
    {
        if (fd_ >= 0) {
            ::close(fd_);  // releases the lock
        }
    }

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_;
};

bool is_blank(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// Keeps a copy of a damaged file beside it, named "<file>.corrupt-<unix time>" (with "-2", "-3", ... when taken).
std::expected<std::filesystem::path, std::string> keep_corrupt_copy(const std::filesystem::path& path)
{
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
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

}  // namespace

std::optional<std::filesystem::path> settings_path()
{
    auto dir = user_dirs::config_dir();
    if (!dir) {
        return std::nullopt;
    }
    return *dir / "vorn" / "settings.json";
}

std::expected<std::optional<std::string>, std::string> read_text(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::optional<std::string>();
        }
        return std::unexpected(fmt::format("could not read {}: {}", path.string(), reason(errno)));
    }
    std::string text;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
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
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return std::optional<std::string>(std::move(text));
}

std::optional<Json> read_json_object(const std::filesystem::path& path)
{
    auto text = read_text(path);
    if (!text || !*text) {
        return std::nullopt;
    }
    auto value = json_text::parse(**text);
    if (!value || !value->is_object()) {
        return std::nullopt;
    }
    return std::move(*value);
}

std::expected<std::filesystem::path, std::string> update_json_file(const std::filesystem::path& path,
                                                                   const std::function<void(Json& root)>& change)
{
    if (const auto parent = path.parent_path(); !parent.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(parent, ec);
        if (ec) {
            return std::unexpected(fmt::format("could not create {}: {}", parent.string(), ec.message()));
        }
    }
    auto lock = FileLock::acquire(path);
    if (!lock) {
        return std::unexpected(lock.error());
    }
    safe_write::remove_stale_temporaries(path);

    auto current = read_text(path);
    if (!current) {
        return std::unexpected(current.error() + "; the file was left unchanged");
    }
    Json root = Json::object();
    if (*current && !is_blank(**current)) {
        auto parsed = json_text::parse(**current);
        if (parsed && parsed->is_object()) {
            root = std::move(*parsed);
        } else {
            auto aside = keep_corrupt_copy(path);
            if (!aside) {
                return std::unexpected(aside.error());
            }
            VORN_WARN("settings_store", "{} is not a JSON object ({}); its text was kept as {}", path.string(),
                      parsed ? std::string("a JSON value that is not an object") : parsed.error(), aside->string());
        }
    }

    change(root);
    const std::string text = json_text::pretty(root);
    if (*current && **current == text) {
        return path;
    }
    if (auto written = safe_write::write_file(path, text); !written) {
        return std::unexpected(written.error());
    }
    return path;
}

std::optional<Json> load_section(std::string_view name)
{
    const auto path = settings_path();
    if (!path) {
        return std::nullopt;
    }
    auto root = read_json_object(*path);
    if (!root) {
        return std::nullopt;
    }
    const auto it = root->find(name);
    if (it == root->end()) {
        return std::nullopt;
    }
    return *it;
}

std::expected<std::filesystem::path, std::string> update_section(std::string_view name,
                                                                 const std::function<void(Json& section)>& change)
{
    const auto path = settings_path();
    if (!path) {
        return std::unexpected(std::string("no config dir"));
    }
    return update_json_file(*path, [&](Json& root) {
        Json& section = root[std::string(name)];
        if (!section.is_object()) {
            section = Json::object();
        }
        change(section);
    });
}

}  // namespace config_sections
