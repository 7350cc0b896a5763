#pragma once
// The pieces of a locked read-change-write of one stored file.
//
//   auto lock = safe_write::FileLock::acquire_for(path);    // "<path>.lock", waits up to 10 s for other writers
//   safe_write::remove_stale_temporaries(path);
//   auto text = safe_write::read_file(path);                 // none when the file does not exist
//   ... a damaged file: safe_write::keep_corrupt_copy(path), then write the new contents with write_file()

#include <chrono>
#include <cstddef>
#include <expected>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace safe_write {

// An exclusive flock on a lock file, released when the object goes. flock locks belong to the open file, so this
// also keeps threads of this process apart.
class FileLock {
public:
    static constexpr std::chrono::seconds wait_limit{10};

    // Locks `lock_path` (created 0600 when missing), waiting up to wait_limit while another holder has it; after
    // that the error is `busy_message`. Other errors read "could not open the lock file <path>: <reason>" or
    // "could not lock <path>: <reason>".
    [[nodiscard]] static std::expected<FileLock, std::string> acquire(const std::filesystem::path& lock_path,
                                                                      std::string busy_message);
    // Locks "<file>.lock"; busy reads "<file> is still locked by another writer; try again".
    [[nodiscard]] static std::expected<FileLock, std::string> acquire_for(const std::filesystem::path& file);

    FileLock(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock& operator=(FileLock&&) = delete;
    ~FileLock();

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_;
};

// The whole text of a file: none when it does not exist; an error ("could not read <path>: <reason>") when it
// exists but cannot be read, is not a regular file (a FIFO, a device: opened without blocking and refused) or is
// larger than `max_size` bytes.
[[nodiscard]] std::expected<std::optional<std::string>, std::string> read_file(
    const std::filesystem::path& path, std::size_t max_size = std::numeric_limits<std::size_t>::max());

// Keeps a copy of a damaged file beside it, named "<file>.corrupt-<unix time>" (with "-2", "-3", ... when taken),
// and answers its path.
[[nodiscard]] std::expected<std::filesystem::path, std::string> keep_corrupt_copy(const std::filesystem::path& path);

// Keeps a copy of a file that holds something unreadable as "<file>.corrupt-<tag>", where `tag` names what could
// not be read, once: when that copy is already there it is left as it is. Answers the path of the copy made now,
// none when it was already there.
[[nodiscard]] std::expected<std::optional<std::filesystem::path>, std::string> keep_copy_once(
    const std::filesystem::path& path, std::string_view tag);

}  // namespace safe_write
