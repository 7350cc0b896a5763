#include "desk_rules/storage.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace desk_rules::storage {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view log_tag = "storage";

// How deep apply_cleanup goes below an item (each level holds one descriptor open).
constexpr std::size_t max_removal_depth = 256;
// How often a walk looks at its stop token.
constexpr std::uint64_t stop_check_interval = 256;

// ---- Small helpers -------------------------------------------------------------------------------------------------

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset()
    {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
};

// An open folder being read. Owns its descriptor.
class Folder {
public:
    // Takes `fd`; on failure the descriptor is closed and valid() is false.
    explicit Folder(int fd) : dir_(fd >= 0 ? ::fdopendir(fd) : nullptr)
    {
        if (dir_ == nullptr && fd >= 0) {
            ::close(fd);
        }
    }
    Folder(Folder&& other) noexcept : dir_(std::exchange(other.dir_, nullptr)) {}
    Folder& operator=(Folder&&) = delete;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder()
    {
        if (dir_ != nullptr) {
            ::closedir(dir_);
        }
    }

    [[nodiscard]] bool valid() const { return dir_ != nullptr; }
    [[nodiscard]] int fd() const { return ::dirfd(dir_); }

    // The next name other than "." and "..", none at the end; `failed` is set when reading stopped on an error.
    std::optional<std::string_view> next(bool& failed)
    {
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir_);
            if (entry == nullptr) {
                failed = errno != 0;
                return std::nullopt;
            }
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") {
                return name;
            }
        }
    }

private:
    DIR* dir_ = nullptr;
};

struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend auto operator<=>(const FileId&, const FileId&) = default;
};

FileId id_of(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::string shown(const fs::path& path)
{
    return cmd_runner::clean_text(path.native(), {.max_bytes = 512});
}

std::string error_text(int error)
{
    return std::strerror(error);
}

std::atomic<bool> openat2_missing{false};

// Opens the folder `name` of `parent` without following a link and without entering a mount point (EXDEV for a
// mount point, ELOOP or ENOTDIR for a link or a file). Answers the descriptor or -1 with errno set.
int open_folder_beneath(int parent, const char* name)
{
    if (!openat2_missing.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV;
        const long fd = ::syscall(SYS_openat2, parent, name, &how, sizeof how);
        if (fd >= 0) {
            return static_cast<int>(fd);
        }
        if (errno != ENOSYS) {
            return -1;
        }
        openat2_missing.store(true, std::memory_order_relaxed);
    }
    // Kernels before 5.6: a link is refused by O_NOFOLLOW; another file system is recognised by its device (a
    // bind mount of the same file system is not).
    Fd fd(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        return -1;
    }
    struct stat inner {};
    struct stat outer {};
    if (::fstat(fd.get(), &inner) != 0 || ::fstat(parent, &outer) != 0) {
        return -1;
    }
    if (inner.st_dev != outer.st_dev) {
        errno = EXDEV;
        return -1;
    }
    return fd.release();
}

// The path without "." and ".." steps and without a trailing separator.
fs::path tidy(const fs::path& path)
{
    fs::path result = path.lexically_normal();
    if (result.has_relative_path() && !result.has_filename()) {
        result = result.parent_path();
    }
    return result;
}

bool single_name(const fs::path& name)
{
    const std::string& text = name.native();
    return !text.empty() && text != "." && text != ".." && text.find('/') == std::string::npos;
}

// a == b, or b lies inside a (both absolute and normal).
bool contains(const fs::path& outer, const fs::path& inner)
{
    auto o = outer.begin();
    auto i = inner.begin();
    for (; o != outer.end(); ++o, ++i) {
        if (o->empty()) {
            continue;  // a trailing separator
        }
        if (i == inner.end() || *o != *i) {
            return false;
        }
    }
    return true;
}

fs::path normal(const fs::path& path)
{
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(path, error);
    if (error) {
        resolved = path;
    }
    return tidy(resolved);
}

std::optional<fs::path> absolute_env(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') {
        return std::nullopt;
    }
    return fs::path(value);
}

// ---- The walk ------------------------------------------------------------------------------------------------------

// Measures trees, sharing its bounds, counters and hard-link memory over everything it measures.
class Walk {
public:
    Walk(const WalkLimits& limits, std::stop_token stop, std::set<FileId> skip)
        : limits_(limits), stop_(std::move(stop)), skip_(std::move(skip))
    {
    }

    // Whether a bound or the stop token ended the walk.
    [[nodiscard]] bool ended() const { return truncated_ || stopped_; }
    [[nodiscard]] bool truncated() const { return truncated_; }
    [[nodiscard]] bool stopped() const { return stopped_; }
    [[nodiscard]] std::uint64_t unreadable() const { return unreadable_; }
    [[nodiscard]] std::uint64_t skipped() const { return skipped_; }

    // Counts one entry against the bound and looks at the stop token now and then; false when the walk must end.
    bool admit()
    {
        if (ended()) {
            return false;
        }
        if (++entries_ > limits_.max_entries) {
            truncated_ = true;
            return false;
        }
        if ((entries_ == 1 || entries_ % stop_check_interval == 0) && stop_.stop_requested()) {
            stopped_ = true;
            return false;
        }
        return true;
    }

    // Whether `st` is a folder the walk leaves out (another root, measured on its own).
    [[nodiscard]] bool skips(const struct stat& st) const { return S_ISDIR(st.st_mode) && skip_.contains(id_of(st)); }

    // Calls `visit(name, stat)` for each entry of a root's folder, within the walk's bounds and leaving out other
    // roots. False when reading the folder failed.
    template <class Visit>
    bool each_entry(Folder& folder, Visit visit)
    {
        bool failed = false;
        while (const auto name = folder.next(failed)) {
            if (!admit()) {
                return true;
            }
            const std::string entry(*name);
            struct stat st {};
            if (::fstatat(folder.fd(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || skips(st)) {
                continue;  // gone meanwhile, or measured as a root of its own
            }
            visit(entry, st);
        }
        return !failed;
    }

    // The space a file takes; a file with several names counts once.
    std::uint64_t own_size(const struct stat& st)
    {
        if (!S_ISDIR(st.st_mode) && st.st_nlink > 1 && !linked_.insert(id_of(st)).second) {
            return 0;
        }
        return static_cast<std::uint64_t>(st.st_blocks) * 512U;
    }

    struct Measured {
        std::uint64_t bytes = 0;
        bool mount_point = false;  // a folder on another mount: not entered, not counted
        bool holds_data = false;   // a file taking space, or a folder with such a file below it

        [[nodiscard]] bool listed() const { return !mount_point && holds_data; }
    };

    // The space the entry `name` of the folder `parent` takes, with everything in it when it is a folder.
    Measured measure(int parent, const char* name, const struct stat& st, std::uint64_t parent_device)
    {
        if (S_ISDIR(st.st_mode) && static_cast<std::uint64_t>(st.st_dev) != parent_device) {
            ++skipped_;
            return {.bytes = 0, .mount_point = true};
        }
        Measured measured{.bytes = own_size(st)};
        if (!S_ISDIR(st.st_mode)) {
            measured.holds_data = measured.bytes > 0;
            return measured;
        }
        if (limits_.max_depth < 1) {
            ++skipped_;
            return measured;
        }
        const std::uint64_t files_before = files_;
        const int fd = open_folder_beneath(parent, name);
        if (fd < 0) {
            if (errno == EXDEV) {
                ++skipped_;
                return {.bytes = 0, .mount_point = true};
            }
            if (errno != ENOENT) {
                ++unreadable_;
            }
            return measured;
        }
        const std::uint64_t inside = contents(Folder(fd), static_cast<std::uint64_t>(st.st_dev));
        measured.bytes += inside;
        measured.holds_data = files_ > files_before;
        return measured;
    }

private:
    // Everything below an open folder at depth 1, walked with an explicit stack (one descriptor per level).
    std::uint64_t contents(Folder top, std::uint64_t device)
    {
        struct Frame {
            Folder folder;
            std::size_t depth;
        };
        std::vector<Frame> stack;
        if (!top.valid()) {
            ++unreadable_;
            return 0;
        }
        stack.push_back({std::move(top), 1});
        std::uint64_t total = 0;
        while (!stack.empty()) {
            bool failed = false;
            const auto name = stack.back().folder.next(failed);
            if (!name) {
                if (failed) {
                    ++unreadable_;
                }
                stack.pop_back();
                continue;
            }
            if (!admit()) {
                break;
            }
            const int fd = stack.back().folder.fd();
            const std::size_t depth = stack.back().depth;
            const std::string entry(*name);
            struct stat st {};
            if (::fstatat(fd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || skips(st)) {
                continue;  // gone meanwhile, or measured as a root of its own
            }
            if (!S_ISDIR(st.st_mode)) {
                const std::uint64_t size = own_size(st);
                total += size;
                files_ += size > 0 ? 1 : 0;
                continue;
            }
            if (static_cast<std::uint64_t>(st.st_dev) != device) {
                ++skipped_;
                continue;
            }
            total += own_size(st);
            if (depth + 1 > limits_.max_depth) {
                ++skipped_;
                continue;
            }
            const int child = open_folder_beneath(fd, entry.c_str());
            if (child < 0) {
                if (errno == EXDEV) {
                    ++skipped_;
                } else if (errno != ENOENT) {
                    ++unreadable_;
                }
                continue;
            }
            Folder folder(child);
            if (!folder.valid()) {
                ++unreadable_;
                continue;
            }
            stack.push_back({std::move(folder), depth + 1});
        }
        return total;
    }

    WalkLimits limits_;
    std::stop_token stop_;
    std::set<FileId> skip_;
    std::set<FileId> linked_;
    std::uint64_t entries_ = 0;
    std::uint64_t files_ = 0;  // files taking space, seen so far
    std::uint64_t unreadable_ = 0;
    std::uint64_t skipped_ = 0;
    bool truncated_ = false;
    bool stopped_ = false;
};

// ---- Removal -------------------------------------------------------------------------------------------------------

class Removal {
public:
    [[nodiscard]] const std::vector<std::string>& problems() const { return problems_; }

    // Removes the item `name` of the root folder `root_fd`, which must still be what the preview saw. Answers
    // whether it is gone.
    bool remove_item(int root_fd, const CacheItem& item)
    {
        const std::string name = item.path.filename().native();
        struct stat st {};
        if (::fstatat(root_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                return true;
            }
            problem(fmt::format("could not look at {}: {}", shown(item.path), error_text(errno)));
            return false;
        }
        const FileId now = id_of(st);
        // The kind counts as much as the number: a link made where a file was may get the file's inode number.
        const bool same_kind = item.folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
        if (now.device != item.device || now.inode != item.inode || !same_kind) {
            problem(fmt::format("{} changed since the preview and was left in place", shown(item.path)));
            return false;
        }
        if (!item.folder) {
            return unlink(root_fd, name, 0, item.path);
        }
        return remove_folder(root_fd, name, st, item.path);
    }

private:
    void problem(std::string text)
    {
        VORN_WARN(log_tag, "cache cleanup: {}", text);
        problems_.push_back(std::move(text));
    }

    bool unlink(int parent, const std::string& name, int flags, const fs::path& path)
    {
        if (::unlinkat(parent, name.c_str(), flags) == 0 || errno == ENOENT) {
            return true;
        }
        problem(fmt::format("could not remove {}: {}", shown(path), error_text(errno)));
        return false;
    }

    // Opens the folder `name` of `parent`, which must be the one `seen` describes.
    std::optional<Folder> open_checked(int parent, const std::string& name, const struct stat& seen,
                                       const fs::path& path)
    {
        const int fd = open_folder_beneath(parent, name.c_str());
        if (fd < 0) {
            if (errno == EXDEV) {
                problem(fmt::format("{} is a mount point and was left in place", shown(path)));
            } else if (errno == ELOOP || errno == ENOTDIR) {
                problem(fmt::format("{} changed while it was being removed and was left in place", shown(path)));
            } else if (errno != ENOENT) {
                problem(fmt::format("could not open {}: {}", shown(path), error_text(errno)));
            }
            return std::nullopt;
        }
        Folder folder(fd);
        struct stat opened {};
        if (!folder.valid() || ::fstat(folder.fd(), &opened) != 0) {
            problem(fmt::format("could not open {}: {}", shown(path), error_text(errno)));
            return std::nullopt;
        }
        if (id_of(opened) != id_of(seen)) {
            problem(fmt::format("{} changed while it was being removed and was left in place", shown(path)));
            return std::nullopt;
        }
        return folder;
    }

    // Removes the folder and everything below it, depth first, each name relative to its open parent.
    bool remove_folder(int parent, const std::string& name, const struct stat& seen, const fs::path& path)
    {
        struct Frame {
            Folder folder;
            std::string name;  // in the folder above
            fs::path path;
            std::vector<std::string> entries;
            std::size_t next = 0;
            bool kept_something = false;
        };
        std::vector<Frame> stack;
        const auto push = [&](int at, const std::string& entry, const struct stat& st, const fs::path& where) {
            auto folder = open_checked(at, entry, st, where);
            if (!folder) {
                return false;
            }
            Frame frame{.folder = std::move(*folder), .name = entry, .path = where, .entries = {}};
            bool failed = false;
            while (const auto next = frame.folder.next(failed)) {
                frame.entries.emplace_back(*next);
            }
            if (failed) {
                problem(fmt::format("could not read {}: {}", shown(where), error_text(errno)));
                return false;
            }
            stack.push_back(std::move(frame));
            return true;
        };
        if (!push(parent, name, seen, path)) {
            return false;
        }
        bool removed = false;
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.entries.size()) {
                const bool kept = frame.kept_something;
                const std::string done_name = frame.name;
                const fs::path done_path = frame.path;
                stack.pop_back();
                const int holder = stack.empty() ? parent : stack.back().folder.fd();
                const bool gone = !kept && unlink(holder, done_name, AT_REMOVEDIR, done_path);
                if (stack.empty()) {
                    removed = gone;
                } else if (!gone) {
                    stack.back().kept_something = true;
                }
                continue;
            }
            const std::string entry = frame.entries[frame.next++];
            const fs::path where = frame.path / entry;
            const int fd = frame.folder.fd();
            struct stat st {};
            if (::fstatat(fd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT) {
                    problem(fmt::format("could not look at {}: {}", shown(where), error_text(errno)));
                    frame.kept_something = true;
                }
                continue;
            }
            if (!S_ISDIR(st.st_mode)) {
                // A file, a link (removed as the link it is, never followed), a socket...
                if (!unlink(fd, entry, 0, where)) {
                    frame.kept_something = true;
                }
                continue;
            }
            if (stack.size() >= max_removal_depth) {
                problem(fmt::format("{} is nested too deeply to remove", shown(where)));
                frame.kept_something = true;
                continue;
            }
            if (!push(fd, entry, st, where)) {
                stack.back().kept_something = true;  // `frame` may have moved
            }
        }
        return removed;
    }

    std::vector<std::string> problems_;
};

}  // namespace

// ---- Roots ---------------------------------------------------------------------------------------------------------

UserFolders UserFolders::from_environment()
{
    UserFolders folders;
    folders.home = absolute_env("HOME");
    const auto under_home = [&](const char* variable, const char* fallback) -> std::optional<fs::path> {
        if (auto value = absolute_env(variable)) {
            return value;
        }
        if (folders.home) {
            return *folders.home / fallback;
        }
        return std::nullopt;
    };
    folders.data = under_home("XDG_DATA_HOME", ".local/share");
    folders.config = under_home("XDG_CONFIG_HOME", ".config");
    folders.state = under_home("XDG_STATE_HOME", ".local/state");
    folders.cache = under_home("XDG_CACHE_HOME", ".cache");
    return folders;
}

StorageRoots StorageRoots::for_folders(const UserFolders& folders)
{
    StorageRoots roots;
    const auto add = [&](StorageCategory category, const std::optional<fs::path>& path) {
        if (!path || !path->is_absolute()) {
            return;
        }
        fs::path resolved = normal(*path);
        if (std::ranges::any_of(roots.roots, [&](const StorageRoot& root) { return root.path == resolved; })) {
            return;
        }
        roots.roots.push_back({category, std::move(resolved)});
    };

    if (folders.cache && folders.cache->is_absolute()) {
        const fs::path cache = normal(*folders.cache);
        bool safe = cache.has_relative_path();  // not "/"
        for (const auto& other : {folders.home, folders.data, folders.config, folders.state}) {
            if (other && other->is_absolute() && contains(cache, normal(*other))) {
                safe = false;
            }
        }
        if (safe) {
            roots.cache_root = cache;
        } else {
            VORN_WARN(log_tag, "the cache folder {} holds the home or another base folder; it is neither measured "
                               "nor cleaned",
                      shown(cache));
        }
    }

    if (folders.data) {
        add(StorageCategory::InstalledApps, *folders.data / "vorn" / "apps");
    }
    if (roots.cache_root) {
        add(StorageCategory::Cache, roots.cache_root);
    }
    add(StorageCategory::AppData, folders.data);
    add(StorageCategory::AppData, folders.config);
    add(StorageCategory::AppData, folders.state);
    // Keep the order of the categories, then the order above, so that a walk goes category by category.
    std::ranges::stable_sort(roots.roots, {}, &StorageRoot::category);
    return roots;
}

// ---- Scan ----------------------------------------------------------------------------------------------------------

std::uint64_t StorageSnapshot::total(StorageCategory category) const
{
    const auto found = totals.find(category);
    return found == totals.end() ? 0 : found->second;
}

bool StorageSnapshot::measured(StorageCategory category) const
{
    return std::ranges::find(unmeasured, category) == unmeasured.end();
}

StorageSnapshot scan_storage(const StorageRoots& roots, std::stop_token stop, const WalkLimits& limits)
{
    std::set<FileId> root_ids;
    for (const StorageRoot& root : roots.roots) {
        struct stat st {};
        if (::stat(root.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            root_ids.insert(id_of(st));
        }
    }

    StorageSnapshot snapshot;
    Walk walk(limits, stop, root_ids);
    std::set<StorageCategory> read;
    std::vector<StorageEntry> entries;
    for (const StorageRoot& root : roots.roots) {
        if (walk.ended()) {
            break;
        }
        Fd fd(::open(root.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat root_stat {};
        if (!fd.valid() || ::fstat(fd.get(), &root_stat) != 0) {
            const int error = errno;
            if (error == ENOENT) {
                read.insert(root.category);  // nothing stored there yet
                snapshot.totals.try_emplace(root.category, 0);
            } else {
                ++snapshot.unreadable_folders;
                VORN_INFO(log_tag, "could not read {}: {}", shown(root.path), error_text(error));
            }
            continue;
        }
        Folder folder(fd.release());
        if (!folder.valid()) {
            ++snapshot.unreadable_folders;
            continue;
        }
        read.insert(root.category);
        std::uint64_t& total = snapshot.totals[root.category];
        const bool read_whole = walk.each_entry(folder, [&](const std::string& entry, const struct stat& st) {
            const auto measured = walk.measure(folder.fd(), entry.c_str(), st, id_of(root_stat).device);
            if (measured.mount_point) {
                return;
            }
            total += measured.bytes;
            if (measured.listed()) {
                entries.push_back({.name = cmd_runner::clean_text(entry, {.max_bytes = 255}),
                                   .path = root.path / entry,
                                   .bytes = measured.bytes,
                                   .category = root.category});
            }
        });
        if (!read_whole) {
            ++snapshot.unreadable_folders;
        }
    }

    for (StorageCategory category : storage_categories) {
        if (!read.contains(category)) {
            snapshot.unmeasured.push_back(category);
            snapshot.totals.erase(category);
        }
    }
    std::ranges::stable_sort(entries, [](const StorageEntry& a, const StorageEntry& b) {
        if (a.bytes != b.bytes) {
            return a.bytes > b.bytes;
        }
        if (a.category != b.category) {
            return a.category < b.category;
        }
        return a.name < b.name;
    });
    if (entries.size() > limits.max_listed) {
        entries.resize(limits.max_listed);
    }
    snapshot.entries = std::move(entries);
    snapshot.unreadable_folders += walk.unreadable();
    snapshot.skipped_folders = walk.skipped();
    snapshot.complete = !walk.ended();
    snapshot.stopped = walk.stopped();
    return snapshot;
}

// ---- Cleanup -------------------------------------------------------------------------------------------------------

std::expected<CleanupPreview, std::string> preview_cache_cleanup(const fs::path& cache_root, std::stop_token stop,
                                                                 const WalkLimits& limits)
{
    CleanupPreview preview;
    preview.root = tidy(cache_root);
    Fd fd(::open(cache_root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        const int error = errno;
        if (error == ENOENT) {
            return preview;
        }
        if (error == ELOOP || error == ENOTDIR) {
            std::error_code ignored;
            const bool link = fs::is_symlink(cache_root, ignored);
            return std::unexpected(fmt::format("the cache folder {} {}", shown(cache_root),
                                               link ? "is a symbolic link" : "is not a folder"));
        }
        return std::unexpected(fmt::format("could not open the cache folder {}: {}", shown(cache_root),
                                           error_text(error)));
    }
    struct stat root_stat {};
    if (::fstat(fd.get(), &root_stat) != 0) {
        return std::unexpected(fmt::format("could not open the cache folder {}: {}", shown(cache_root),
                                           error_text(errno)));
    }
    if (root_stat.st_uid != ::geteuid()) {
        return std::unexpected(fmt::format("the cache folder {} belongs to another user", shown(cache_root)));
    }
    preview.root_device = id_of(root_stat).device;
    preview.root_inode = id_of(root_stat).inode;

    Folder folder(fd.release());
    if (!folder.valid()) {
        return std::unexpected(fmt::format("could not read the cache folder {}: {}", shown(cache_root),
                                           error_text(errno)));
    }
    Walk walk(limits, std::move(stop), {});
    const bool read_whole = walk.each_entry(folder, [&](const std::string& entry, const struct stat& st) {
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            return;  // links, sockets, pipes and devices are not cache content
        }
        const auto measured = walk.measure(folder.fd(), entry.c_str(), st, preview.root_device);
        if (!measured.listed()) {
            return;
        }
        preview.items.push_back({.path = preview.root / entry,
                                 .bytes = measured.bytes,
                                 .device = id_of(st).device,
                                 .inode = id_of(st).inode,
                                 .folder = S_ISDIR(st.st_mode)});
        preview.total_bytes += measured.bytes;
    });
    if (!read_whole) {
        return std::unexpected(fmt::format("could not read the cache folder {}: {}", shown(cache_root),
                                           error_text(errno)));
    }
    std::ranges::stable_sort(preview.items, [](const CacheItem& a, const CacheItem& b) {
        return a.bytes != b.bytes ? a.bytes > b.bytes : a.path < b.path;
    });
    preview.complete = !walk.ended();
    preview.unreadable_folders = walk.unreadable();
    return preview;
}

std::expected<CleanupReport, CleanupError> apply_cleanup(const CleanupPreview& preview,
                                                         std::span<const std::size_t> indices)
{
    const auto refuse = [](std::string text) { return std::unexpected(CleanupError{std::move(text), 0}); };
    std::set<std::size_t> chosen;
    for (const std::size_t index : indices) {
        if (index >= preview.items.size()) {
            return refuse(fmt::format("the preview has no cache item {}; nothing was removed", index));
        }
        const CacheItem& item = preview.items[index];
        if (item.path.parent_path() != tidy(preview.root) || !single_name(item.path.filename())) {
            return refuse(fmt::format("{} is not an item of the cache folder; nothing was removed", shown(item.path)));
        }
        chosen.insert(index);
    }
    if (chosen.empty()) {
        return CleanupReport{};
    }

    Fd root(::open(preview.root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat root_stat {};
    if (!root.valid() || ::fstat(root.get(), &root_stat) != 0) {
        if (errno == ENOENT) {
            // The whole cache folder went away: so did every item.
            CleanupReport report;
            for (const std::size_t index : chosen) {
                ++report.removed_items;
                report.removed_bytes += preview.items[index].bytes;
            }
            return report;
        }
        if (errno == ELOOP || errno == ENOTDIR) {
            return refuse(fmt::format("the cache folder {} changed since the preview; nothing was removed",
                                      shown(preview.root)));
        }
        return refuse(fmt::format("could not open the cache folder {}: {}", shown(preview.root), error_text(errno)));
    }
    if (id_of(root_stat).device != preview.root_device || id_of(root_stat).inode != preview.root_inode) {
        return refuse(
            fmt::format("the cache folder {} changed since the preview; nothing was removed", shown(preview.root)));
    }

    Removal removal;
    CleanupReport report;
    for (const std::size_t index : chosen) {
        const CacheItem& item = preview.items[index];
        if (removal.remove_item(root.get(), item)) {
            ++report.removed_items;
            report.removed_bytes += item.bytes;
        }
    }
    const auto& problems = removal.problems();
    if (problems.empty()) {
        return report;
    }
    std::string message = problems.front();
    if (problems.size() > 1) {
        message += fmt::format(" (and {} more {})", problems.size() - 1, problems.size() == 2 ? "problem" : "problems");
    }
    return std::unexpected(CleanupError{std::move(message), report.removed_items});
}

std::vector<std::size_t> all_items(const CleanupPreview& preview)
{
    std::vector<std::size_t> indices(preview.items.size());
    for (std::size_t i = 0; i < indices.size(); ++i) {
        indices[i] = i;
    }
    return indices;
}

}  // namespace desk_rules::storage
