#include "desk_rules/storage.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stop_token>
#include <string>
#include <thread>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace desk_rules::storage {
namespace {

namespace fs = std::filesystem;

// ---- Fixture helpers -------------------------------------------------------------------------------------------------

class TempTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "vorn-storage-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(dir_, ignored)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(dir_, ignored);
    }

    [[nodiscard]] fs::path at(const fs::path& relative) const { return dir_ / relative; }

    // A file of `bytes` written bytes (no holes), with its folders.
    fs::path file(const fs::path& relative, std::size_t bytes)
    {
        const fs::path path = at(relative);
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        const std::string block(4096, 'x');
        for (std::size_t left = bytes; left > 0;) {
            const std::size_t n = std::min(left, block.size());
            out.write(block.data(), static_cast<std::streamsize>(n));
            left -= n;
        }
        return path;
    }

    fs::path folder(const fs::path& relative)
    {
        fs::create_directories(at(relative));
        return at(relative);
    }

    void link(const fs::path& target, const fs::path& relative)
    {
        fs::create_directories(at(relative).parent_path());
        fs::create_symlink(target, at(relative));
    }

    fs::path dir_;
};

// The space a tree takes, summed independently of the code under test: every file and folder below `path` and the
// path itself, by lstat, without following links.
std::uint64_t on_disk(const fs::path& path)
{
    const auto blocks = [](const fs::path& p) -> std::uint64_t {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_blocks) * 512U : 0;
    };
    std::uint64_t total = blocks(path);
    if (fs::is_directory(fs::symlink_status(path))) {
        for (const auto& entry : fs::recursive_directory_iterator(path)) {
            total += blocks(entry.path());
        }
    }
    return total;
}

UserFolders folders_in(const fs::path& home)
{
    return {.home = home,
            .data = home / ".local/share",
            .config = home / ".config",
            .state = home / ".local/state",
            .cache = home / ".cache"};
}

std::vector<std::string> names(const std::vector<StorageEntry>& entries)
{
    std::vector<std::string> out;
    for (const auto& entry : entries) {
        out.push_back(entry.name + " · " + std::string(label(entry.category)));
    }
    return out;
}

std::vector<std::string> item_names(const CleanupPreview& preview)
{
    std::vector<std::string> out;
    for (const auto& item : preview.items) {
        out.push_back(item.path.filename().string());
    }
    return out;
}

// Runs `work` on a thread that lacks the capabilities that let root read any folder, so that a folder without
// permissions is unreadable whoever runs the tests. False when the capabilities could not be dropped.
bool run_as_plain_user(const std::function<void()>& work)
{
    bool dropped = true;
    std::thread thread([&] {
        if (::geteuid() == 0) {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct data[2]{};
            if (::syscall(SYS_capget, &header, data) != 0) {
                dropped = false;
                return;
            }
            const auto bit = [](int cap) { return 1U << static_cast<unsigned>(cap); };
            data[0].effective &= ~(bit(CAP_DAC_OVERRIDE) | bit(CAP_DAC_READ_SEARCH));
            if (::syscall(SYS_capset, &header, data) != 0) {
                dropped = false;
                return;
            }
        }
        work();
    });
    thread.join();
    return dropped;
}

// ---- Roots ---------------------------------------------------------------------------------------------------------

struct RootsCase {
    std::string name;
    std::function<UserFolders(const fs::path& home)> folders;
    std::optional<std::string> cache_root;   // relative to home, none: no cache root
    std::vector<std::string> roots;          // "category:relative path"
};

class RootsTable : public TempTree, public ::testing::WithParamInterface<RootsCase> {};

TEST_P(RootsTable, NamesTheFoldersOfEachCategoryAndAOnlySafeCacheRoot)
{
    const RootsCase& c = GetParam();
    const fs::path home = folder("home");
    const StorageRoots roots = StorageRoots::for_folders(c.folders(home));
    const fs::path resolved_home = fs::canonical(home);
    std::vector<std::string> got;
    for (const auto& root : roots.roots) {
        got.push_back(std::string(label(root.category)) + ":" + root.path.lexically_relative(resolved_home).string());
    }
    EXPECT_EQ(got, c.roots);
    if (c.cache_root) {
        ASSERT_TRUE(roots.cache_root);
        EXPECT_EQ(*roots.cache_root, resolved_home / *c.cache_root);
    } else {
        EXPECT_FALSE(roots.cache_root) << *roots.cache_root;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RootsTable,
    ::testing::Values(
        RootsCase{"usual", folders_in, ".cache",
                  {"Installed apps:.local/share/vorn/apps", "App data:.local/share", "App data:.config",
                   "App data:.local/state", "Cache:.cache"}},
        RootsCase{"config_same_as_data",
                  [](const fs::path& home) {
                      auto f = folders_in(home);
                      f.config = home / ".local/share/";
                      return f;
                  },
                  ".cache",
                  {"Installed apps:.local/share/vorn/apps", "App data:.local/share", "App data:.local/state",
                   "Cache:.cache"}},
        RootsCase{"cache_is_home",
                  [](const fs::path& home) {
                      auto f = folders_in(home);
                      f.cache = home / "." / "";
                      return f;
                  },
                  std::nullopt,
                  {"Installed apps:.local/share/vorn/apps", "App data:.local/share", "App data:.config",
                   "App data:.local/state"}},
        RootsCase{"cache_holds_data",
                  [](const fs::path& home) {
                      auto f = folders_in(home);
                      f.cache = home / ".local";
                      return f;
                  },
                  std::nullopt,
                  {"Installed apps:.local/share/vorn/apps", "App data:.local/share", "App data:.config",
                   "App data:.local/state"}},
        RootsCase{"cache_is_the_file_system_root",
                  [](const fs::path& home) {
                      auto f = folders_in(home);
                      f.cache = "/";
                      return f;
                  },
                  std::nullopt,
                  {"Installed apps:.local/share/vorn/apps", "App data:.local/share", "App data:.config",
                   "App data:.local/state"}},
        RootsCase{"cache_inside_data_is_fine",
                  [](const fs::path& home) {
                      auto f = folders_in(home);
                      f.cache = home / ".local/share/cache";
                      return f;
                  },
                  ".local/share/cache",
                  {"Installed apps:.local/share/vorn/apps", "App data:.local/share", "App data:.config",
                   "App data:.local/state", "Cache:.local/share/cache"}},
        RootsCase{"relative_folders_are_ignored",
                  [](const fs::path&) {
                      return UserFolders{.home = std::nullopt,
                                         .data = fs::path("data"),
                                         .config = std::nullopt,
                                         .state = std::nullopt,
                                         .cache = fs::path("cache")};
                  },
                  std::nullopt, {}}),
    [](const auto& info) { return info.param.name; });

TEST_F(TempTree, RootsComeFromTheBaseDirectoryVariables)
{
    struct Saved {
        const char* name;
        std::optional<std::string> value;
    };
    std::vector<Saved> saved;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        const char* value = std::getenv(name);
        saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
    }
    ::setenv("HOME", at("home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", at("data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not absolute: the home's default
    ::unsetenv("XDG_STATE_HOME");
    ::setenv("XDG_CACHE_HOME", at("cache").c_str(), 1);
    const UserFolders folders = UserFolders::from_environment();
    for (const auto& [name, value] : saved) {
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    EXPECT_EQ(folders.data, at("data"));
    EXPECT_EQ(folders.config, at("home") / ".config");
    EXPECT_EQ(folders.state, at("home") / ".local/state");
    EXPECT_EQ(folders.cache, at("cache"));
}

// ---- Scan ----------------------------------------------------------------------------------------------------------

TEST_F(TempTree, ScanSizesEachCategoryAndListsTheLargestItemsFirst)
{
    const fs::path home = folder("home");
    file("home/.local/share/vorn/apps/so.vorn.Notes/bin/notes", 3 * 65536);
    file("home/.local/share/vorn/apps/so.vorn.Mail/bin/mail", 65536);
    file("home/.local/share/vorn/settings.json", 4096);
    file("home/.local/share/photos/library.db", 6 * 65536);
    file("home/.config/editor/config.toml", 8192);
    file("home/.local/state/editor/history", 8192);
    file("home/.cache/browser/a", 4 * 65536);
    file("home/.cache/browser/b/c", 65536);
    file("home/.cache/thumbnails/x.png", 2 * 65536);
    folder("home/.cache/empty");

    const StorageRoots roots = StorageRoots::for_folders(folders_in(home));
    const StorageSnapshot snapshot = scan_storage(roots);

    const fs::path h = fs::canonical(home);
    const auto inside = [&](const fs::path& root) {
        std::uint64_t total = 0;
        for (const auto& entry : fs::directory_iterator(root)) {
            total += on_disk(entry.path());
        }
        return total;
    };
    EXPECT_EQ(snapshot.total(StorageCategory::InstalledApps), inside(h / ".local/share/vorn/apps"));
    // The installed apps are measured once, under their own category.
    EXPECT_EQ(snapshot.total(StorageCategory::AppData), inside(h / ".local/share") - on_disk(h / ".local/share/vorn/apps") +
                                                            inside(h / ".config") + inside(h / ".local/state"));
    EXPECT_EQ(snapshot.total(StorageCategory::Cache), inside(h / ".cache"));
    EXPECT_EQ(snapshot.unmeasured, std::vector{StorageCategory::SyncedFiles});
    EXPECT_TRUE(snapshot.complete);
    EXPECT_EQ(snapshot.unreadable_folders, 0U);

    ASSERT_GE(snapshot.entries.size(), 4U);
    EXPECT_EQ(names(snapshot.entries)[0], "photos · App data");
    EXPECT_EQ(names(snapshot.entries)[1], "browser · Cache");
    EXPECT_EQ(names(snapshot.entries)[2], "so.vorn.Notes · Installed apps");
    EXPECT_EQ(snapshot.entries[0].path, h / ".local/share/photos");
    EXPECT_EQ(snapshot.entries[0].bytes, on_disk(h / ".local/share/photos"));
    for (std::size_t i = 1; i < snapshot.entries.size(); ++i) {
        EXPECT_GE(snapshot.entries[i - 1].bytes, snapshot.entries[i].bytes);
    }
}

TEST_F(TempTree, EqualSizesKeepCategoryOrderThenNameAndTheListIsBounded)
{
    const fs::path home = folder("home");
    for (const char* name : {"b", "a", "c"}) {
        file(fs::path("home/.cache") / name, 8192);
        file(fs::path("home/.config") / name, 8192);
    }
    const StorageSnapshot snapshot =
        scan_storage(StorageRoots::for_folders(folders_in(home)), {}, WalkLimits{.max_listed = 4});
    EXPECT_EQ(names(snapshot.entries),
              (std::vector<std::string>{"a · App data", "b · App data", "c · App data", "a · Cache"}));
}

TEST_F(TempTree, LinksAreNeverFollowedOutOfTheRoots)
{
    const fs::path home = folder("home");
    file("outside/huge/blob", 16 * 65536);
    file("outside/file", 16 * 65536);
    file("home/.cache/app/data", 65536);
    link(at("outside/huge"), "home/.cache/app/to-folder");
    link(at("outside/file"), "home/.cache/app/to-file");
    link(at("outside"), "home/.cache/outside");
    link("..", "home/.cache/app/loop");
    link("/", "home/.config/root");

    const StorageSnapshot snapshot = scan_storage(StorageRoots::for_folders(folders_in(home)));
    const fs::path h = fs::canonical(home);
    EXPECT_EQ(snapshot.total(StorageCategory::Cache), on_disk(h / ".cache/app") + on_disk(h / ".cache/outside"));
    EXPECT_LT(snapshot.total(StorageCategory::Cache), 4 * 65536U);
    EXPECT_LT(snapshot.total(StorageCategory::AppData), 65536U);
    EXPECT_TRUE(snapshot.complete);
}

TEST_F(TempTree, UnreadableFoldersAreCountedAndTheRestIsStillMeasured)
{
    const fs::path home = folder("home");
    file("home/.config/open/settings", 8192);
    file("home/.config/locked/secret", 10 * 65536);
    file("home/.cache/app/data", 8192);
    fs::permissions(at("home/.config/locked"), fs::perms::none);
    fs::permissions(at("home/.cache"), fs::perms::none);

    StorageSnapshot snapshot;
    const StorageRoots roots = StorageRoots::for_folders(folders_in(home));
    ASSERT_TRUE(run_as_plain_user([&] { snapshot = scan_storage(roots); }))
        << "root's capabilities could not be dropped on the test thread";

    const fs::path h = fs::canonical(home);
    struct stat locked {};
    ASSERT_EQ(::lstat(at("home/.config/locked").c_str(), &locked), 0);
    // The open folder and the locked folder's own entry count; what is inside the locked folder does not.
    EXPECT_EQ(snapshot.total(StorageCategory::AppData),
              on_disk(h / ".config/open") + static_cast<std::uint64_t>(locked.st_blocks) * 512U);
    // A root that cannot be read has no figure at all.
    EXPECT_FALSE(snapshot.measured(StorageCategory::Cache));
    EXPECT_EQ(snapshot.unmeasured, (std::vector{StorageCategory::Cache, StorageCategory::SyncedFiles}));
    EXPECT_EQ(snapshot.unreadable_folders, 2U);
    // Missing roots are measured as empty.
    EXPECT_TRUE(snapshot.measured(StorageCategory::InstalledApps));
    EXPECT_EQ(snapshot.total(StorageCategory::InstalledApps), 0U);
}

TEST_F(TempTree, TheWalkKeepsToItsBoundsAndStopsWhenAsked)
{
    const fs::path home = folder("home");
    fs::path deep = "home/.cache/deep";
    for (int level = 0; level < 10; ++level) {
        deep /= "level";
    }
    file(deep / "bottom", 10 * 65536);
    for (int i = 0; i < 600; ++i) {
        file(fs::path("home/.config/many") / std::to_string(i), 0);
    }
    const StorageRoots roots = StorageRoots::for_folders(folders_in(home));

    const StorageSnapshot shallow = scan_storage(roots, {}, WalkLimits{.max_depth = 3});
    EXPECT_GT(shallow.skipped_folders, 0U);
    EXPECT_LT(shallow.total(StorageCategory::Cache), 10 * 65536U);
    EXPECT_TRUE(shallow.complete);

    const StorageSnapshot bounded = scan_storage(roots, {}, WalkLimits{.max_entries = 100});
    EXPECT_FALSE(bounded.complete);
    EXPECT_FALSE(bounded.stopped);

    std::stop_source stop;
    stop.request_stop();
    const StorageSnapshot stopped = scan_storage(roots, stop.get_token());
    EXPECT_TRUE(stopped.stopped);
    EXPECT_FALSE(stopped.complete);
}

// ---- Cleanup -------------------------------------------------------------------------------------------------------

class Cleanup : public TempTree {
protected:
    void SetUp() override
    {
        TempTree::SetUp();
        cache = fs::canonical(folder("home/.cache"));
    }

    CleanupPreview preview_now()
    {
        auto preview = preview_cache_cleanup(cache);
        EXPECT_TRUE(preview.has_value()) << preview.error();
        return preview.value_or(CleanupPreview{});
    }

    fs::path cache;
};

TEST_F(Cleanup, PreviewListsWhatTakesSpaceLargestFirst)
{
    file("home/.cache/small", 4096);
    file("home/.cache/big/a/b", 3 * 65536);
    file("home/.cache/middle/x", 65536);
    file("home/.cache/zero", 0);
    folder("home/.cache/empty");
    file("outside/target", 65536);
    link(at("outside/target"), "home/.cache/link");

    const CleanupPreview preview = preview_now();
    EXPECT_EQ(item_names(preview), (std::vector<std::string>{"big", "middle", "small"}));
    EXPECT_EQ(preview.items[0].bytes, on_disk(cache / "big"));
    EXPECT_TRUE(preview.items[0].folder);
    EXPECT_FALSE(preview.items[2].folder);
    EXPECT_EQ(preview.total_bytes, on_disk(cache / "big") + on_disk(cache / "middle") + on_disk(cache / "small"));
    EXPECT_TRUE(preview.complete);
}

TEST_F(Cleanup, PreviewOfAMissingOrLinkedRoot)
{
    const auto missing = preview_cache_cleanup(at("nowhere"));
    ASSERT_TRUE(missing.has_value()) << missing.error();
    EXPECT_TRUE(missing->items.empty());

    link(cache, "linked-cache");
    const auto linked = preview_cache_cleanup(at("linked-cache"));
    ASSERT_FALSE(linked.has_value());
    EXPECT_NE(linked.error().find("is a symbolic link"), std::string::npos) << linked.error();
}

TEST_F(Cleanup, RemovesEverythingItPreviewedAndNothingElse)
{
    for (int i = 0; i < 12; ++i) {
        file(fs::path("home/.cache/app") += std::to_string(i) + "/blob", (i + 1) * 4096);
    }
    file("home/.cache/loose-file", 8192);
    file("outside/keep/precious", 65536);
    file("outside/alone", 4096);
    // Links inside the cache: one at the top (not an item), one inside an item pointing out of the cache.
    link(at("outside"), "home/.cache/to-outside");
    link(at("outside/keep"), "home/.cache/app3/to-keep");
    link(at("outside/alone"), "home/.cache/app4/to-file");
    file("home/.config/app/settings", 4096);

    const CleanupPreview preview = preview_now();
    ASSERT_EQ(preview.items.size(), 13U);
    // Something the user did not see, written after the preview.
    file("home/.cache/new-after-preview", 4096);

    const auto removed = apply_cleanup(preview, all_items(preview));
    ASSERT_TRUE(removed.has_value()) << removed.error().text();
    EXPECT_EQ(removed->removed_items, 13U);
    EXPECT_EQ(removed->removed_bytes, preview.total_bytes);

    for (const auto& item : preview.items) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(item.path))) << item.path;
    }
    EXPECT_TRUE(fs::exists(at("home/.cache/new-after-preview")));
    EXPECT_TRUE(fs::is_symlink(at("home/.cache/to-outside")));
    EXPECT_TRUE(fs::exists(at("outside/keep/precious")));
    EXPECT_TRUE(fs::exists(at("outside/alone")));
    EXPECT_TRUE(fs::exists(at("home/.config/app/settings")));
    EXPECT_TRUE(fs::is_directory(cache));
}

TEST_F(Cleanup, ALinkSwappedInAfterThePreviewIsLeftAndNothingOutsideIsTouched)
{
    file("home/.cache/victim/blob", 65536);
    file("home/.cache/other/blob", 65536);
    file("home/.cache/plain", 8192);
    file("outside/precious/file", 65536);
    file("outside/single", 8192);
    const CleanupPreview preview = preview_now();
    ASSERT_EQ(preview.items.size(), 3U);

    // Between the preview and the removal, the previewed folder and file become links out of the cache.
    fs::remove_all(at("home/.cache/victim"));
    link(at("outside/precious"), "home/.cache/victim");
    fs::remove(at("home/.cache/plain"));
    link(at("outside/single"), "home/.cache/plain");

    const auto removed = apply_cleanup(preview, all_items(preview));
    ASSERT_FALSE(removed.has_value());
    EXPECT_EQ(removed.error().removed_items, 1U);  // "other"
    EXPECT_NE(removed.error().text().find("changed since the preview and was left in place"), std::string::npos)
        << removed.error().text();
    EXPECT_NE(removed.error().text().find("(and 1 more problem)"), std::string::npos) << removed.error().text();
    EXPECT_TRUE(fs::exists(at("outside/precious/file")));
    EXPECT_TRUE(fs::exists(at("outside/single")));
    EXPECT_TRUE(fs::is_symlink(at("home/.cache/victim")));
    EXPECT_FALSE(fs::exists(at("home/.cache/other")));
}

TEST_F(Cleanup, ACacheRootSwappedForALinkRemovesNothing)
{
    file("home/.cache/app/blob", 65536);
    file("elsewhere/app/blob", 65536);
    const CleanupPreview preview = preview_now();
    fs::rename(cache, at("home/old-cache"));
    link(at("elsewhere"), "home/.cache");

    const auto removed = apply_cleanup(preview, all_items(preview));
    ASSERT_FALSE(removed.has_value());
    EXPECT_NE(removed.error().text().find("changed since the preview; nothing was removed"), std::string::npos)
        << removed.error().text();
    EXPECT_TRUE(fs::exists(at("elsewhere/app/blob")));
    EXPECT_TRUE(fs::exists(at("home/old-cache/app/blob")));
}

TEST_F(Cleanup, ItemsThatAreNotThePreviewsAreRefusedBeforeAnythingGoes)
{
    file("home/.cache/app/blob", 65536);
    file("outside/victim", 4096);
    const CleanupPreview preview = preview_now();

    const std::size_t beyond[] = {0, 5};
    auto refused = apply_cleanup(preview, beyond);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().text(), "the preview has no cache item 5; nothing was removed");

    for (const fs::path& forged : {at("outside/victim"), cache / ".." / ".." / "outside" / "victim", cache / ".."}) {
        CleanupPreview tampered = preview;
        tampered.items.push_back({.path = forged, .bytes = 1});
        const std::size_t last[] = {0, tampered.items.size() - 1};
        refused = apply_cleanup(tampered, last);
        ASSERT_FALSE(refused.has_value()) << forged;
        EXPECT_NE(refused.error().text().find("is not an item of the cache folder"), std::string::npos);
    }
    EXPECT_TRUE(fs::exists(at("home/.cache/app/blob")));
    EXPECT_TRUE(fs::exists(at("outside/victim")));
}

TEST_F(Cleanup, AnItemAlreadyGoneCountsAsRemoved)
{
    file("home/.cache/a/blob", 65536);
    file("home/.cache/b", 8192);
    const CleanupPreview preview = preview_now();
    fs::remove_all(at("home/.cache/a"));
    const auto removed = apply_cleanup(preview, all_items(preview));
    ASSERT_TRUE(removed.has_value()) << removed.error().text();
    EXPECT_EQ(removed->removed_items, 2U);
    EXPECT_TRUE(fs::is_empty(cache));
}

}  // namespace
}  // namespace desk_rules::storage
