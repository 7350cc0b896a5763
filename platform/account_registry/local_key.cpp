#include "account_registry/local_key.hpp"

#include "account_registry/registry.hpp"

#include <sodium.h>
#include <fmt/format.h>

#include <array>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace account_registry::local_key {
namespace {

std::string reason(int error) { return std::system_category().message(error); }

}  // namespace

std::filesystem::path file_in(const std::filesystem::path& vault_dir) { return vault_dir / "vault.key"; }

std::expected<std::optional<SecretBytes>, std::string> read(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::optional<SecretBytes>{};
        }
        return std::unexpected(fmt::format("its key file {} cannot be read: {}", path.string(), reason(errno)));
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_mode & 077) != 0) {
        // An owner-only file is what we write; put it back to that if someone widened it.
        [[maybe_unused]] const int ignored = ::fchmod(fd, 0600);
    }
    SecretBytes key(key_size);
    std::array<std::uint8_t, 1> extra{};
    std::size_t got = 0;
    while (got < key_size) {
        const ssize_t n = ::read(fd, key.data() + got, key_size - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    const bool longer = got == key_size && ::read(fd, extra.data(), extra.size()) > 0;
    ::close(fd);
    if (got != key_size || longer) {
        return std::unexpected(fmt::format("its key file {} is damaged", path.string()));
    }
    return std::optional<SecretBytes>(std::move(key));
}

std::expected<SecretBytes, std::string> create(const std::filesystem::path& path)
{
    if (auto ok = files::run_hook("create key", path); !ok) {
        return std::unexpected(ok.error());
    }
    if (auto ok = files::create_private_dirs(path.parent_path()); !ok) {
        return std::unexpected(ok.error());
    }
    SecretBytes key(key_size);
    randombytes_buf(key.data(), key.size());

    std::string temp = (path.parent_path() / ".vault.key.tmp-XXXXXX").string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return std::unexpected(fmt::format("could not create {}: {}", path.string(), reason(errno)));
    }
    const auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        return std::unexpected(fmt::format("could not create {}: {}", path.string(), reason(error)));
    };
    if (::fchmod(fd, 0600) != 0) {
        return fail(errno);
    }
    std::size_t written = 0;
    while (written < key.size()) {
        const ssize_t n = ::write(fd, key.data() + written, key.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return fail(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        return fail(errno);
    }
    ::close(fd);
    const int linked = ::link(temp.c_str(), path.c_str());
    const int link_error = errno;
    ::unlink(temp.c_str());
    if (linked != 0) {
        if (link_error == EEXIST) {
            auto existing = read(path);
            if (!existing) {
                return std::unexpected(existing.error());
            }
            if (*existing) {
                return std::move(**existing);
            }
        }
        return std::unexpected(fmt::format("could not create {}: {}", path.string(), reason(link_error)));
    }
    if (const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return key;
}

std::expected<void, std::string> remove(const std::filesystem::path& file) { return files::remove(file); }

}  // namespace account_registry::local_key
