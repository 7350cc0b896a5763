#include "account_registry/registry.hpp"

#include "safe_write/safe_write.hpp"
#include "user_dirs/user_dirs.hpp"

#include <fmt/format.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace account_registry {
namespace {

std::string reason(int error) { return std::system_category().message(error); }

std::mutex hook_mutex;
files::Hook hook;

}  // namespace

std::optional<std::filesystem::path> config_root()
{
    auto dir = user_dirs::config_dir();
    if (!dir) {
        return std::nullopt;
    }
    return *dir / "vorn";
}

std::filesystem::path accounts_dir_in(const std::filesystem::path& root) { return root / "accounts"; }
std::filesystem::path vault_dir_in(const std::filesystem::path& root) { return root / "vault"; }
std::filesystem::path store_file_in(const std::filesystem::path& root) { return accounts_dir_in(root) / "accounts.json"; }
std::filesystem::path status_file_in(const std::filesystem::path& root)
{
    return accounts_dir_in(root) / "sync-status.json";
}

std::expected<AccountStore, std::string> load_store_in(const std::filesystem::path& root)
{
    const auto path = store_file_in(root);
    auto text = files::read(path);
    if (!text) {
        return std::unexpected(fmt::format("could not read account store {}", text.error()));
    }
    if (!*text) {
        return AccountStore{};
    }
    auto store = decode_store(**text);
    if (!store) {
        return std::unexpected(fmt::format("account store {} is invalid: {}", path.string(), store.error()));
    }
    return store;
}

std::expected<void, std::string> save_store_in(const std::filesystem::path& root, const AccountStore& store)
{
    return files::write_private(store_file_in(root), encode_store(store));
}

std::expected<AccountSyncStatusStore, std::string> load_statuses_in(const std::filesystem::path& root)
{
    const auto path = status_file_in(root);
    auto text = files::read(path);
    if (!text) {
        return std::unexpected(fmt::format("could not read account sync status {}", text.error()));
    }
    if (!*text) {
        return AccountSyncStatusStore{};
    }
    auto statuses = decode_statuses(**text);
    if (!statuses) {
        return std::unexpected(fmt::format("account sync status {} is invalid: {}", path.string(), statuses.error()));
    }
    return statuses;
}

std::expected<void, std::string> save_statuses_in(const std::filesystem::path& root,
                                                  const AccountSyncStatusStore& statuses)
{
    return files::write_private(status_file_in(root), encode_statuses(statuses));
}

namespace files {

std::expected<std::optional<std::string>, std::string> read(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::optional<std::string>{};
        }
        return std::unexpected(fmt::format("{}: {}", path.string(), reason(errno)));
    }
    std::string contents;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            ::close(fd);
            return std::unexpected(fmt::format("{}: {}", path.string(), reason(error)));
        }
        if (n == 0) {
            break;
        }
        contents.append(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    return std::optional<std::string>(std::move(contents));
}

std::expected<void, std::string> create_private_dirs(const std::filesystem::path& dir)
{
    if (dir.empty()) {
        return {};
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return {};
        }
        return std::unexpected(fmt::format("{}: {}", dir.string(), reason(ENOTDIR)));
    }
    if (auto parent = create_private_dirs(dir.parent_path()); !parent) {
        return parent;
    }
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::unexpected(fmt::format("could not create {}: {}", dir.string(), reason(errno)));
    }
    return {};
}

std::expected<void, std::string> write_private(const std::filesystem::path& path, std::string_view contents)
{
    if (auto ok = run_hook("write", path); !ok) {
        return ok;
    }
    if (auto ok = create_private_dirs(path.parent_path()); !ok) {
        return ok;
    }
    return safe_write::write_file(path, contents, {.private_file = true});
}

std::expected<void, std::string> write(const std::filesystem::path& path, std::string_view contents)
{
    if (auto ok = run_hook("write", path); !ok) {
        return ok;
    }
    if (auto ok = create_private_dirs(path.parent_path()); !ok) {
        return ok;
    }
    return safe_write::write_file(path, contents);
}

std::expected<void, std::string> remove(const std::filesystem::path& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) {
        return {};  // nothing to remove, and nothing to sync
    }
    if (auto ok = run_hook("remove", path); !ok) {
        return ok;
    }
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT) {
            return {};
        }
        return std::unexpected(fmt::format("could not remove {}: {}", path.string(), reason(errno)));
    }
    // Make the removal durable; a directory that cannot be synced does not undo it, so that is not reported.
    auto dir = path.parent_path();
    if (dir.empty()) {
        dir = ".";
    }
    if (const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return {};
}

void set_hook_for_testing(Hook new_hook)
{
    const std::lock_guard lock(hook_mutex);
    hook = std::move(new_hook);
}

std::expected<void, std::string> run_hook(std::string_view action, const std::filesystem::path& path)
{
    Hook current;
    {
        const std::lock_guard lock(hook_mutex);
        if (!hook) {
            return {};
        }
        current = hook;
    }
    return current(action, path);
}

}  // namespace files

}  // namespace account_registry
