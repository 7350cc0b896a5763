#include "safe_write/safe_write.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class SafeWrite : public ::testing::Test {
protected:
    SafeWrite()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-safe-write-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
    }
    ~SafeWrite() override { std::filesystem::remove_all(dir_); }

    static std::string read(const std::filesystem::path& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static unsigned mode_of(const std::filesystem::path& path)
    {
        struct stat st {};
        ::lstat(path.c_str(), &st);
        return st.st_mode & 07777;
    }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::ranges::sort(names);
        return names;
    }

    std::filesystem::path dir_;
};

TEST_F(SafeWrite, ReplacesTheWholeFileAndLeavesNoTemporaries)
{
    const auto path = dir_ / "state.json";
    ASSERT_TRUE(safe_write::write_file(path, "a fairly long first text"));
    ASSERT_TRUE(safe_write::write_file(path, "short"));
    EXPECT_EQ(read(path), "short");
    EXPECT_EQ(entries(), std::vector<std::string>{"state.json"});
}

TEST_F(SafeWrite, ModesOfNewExistingAndPrivateFiles)
{
    const mode_t old_umask = ::umask(027);
    const auto fresh = dir_ / "fresh";
    ASSERT_TRUE(safe_write::write_file(fresh, "x"));
    EXPECT_EQ(mode_of(fresh), 0640u);
    ::umask(old_umask);

    ::chmod(fresh.c_str(), 0604);
    ASSERT_TRUE(safe_write::write_file(fresh, "y"));
    EXPECT_EQ(mode_of(fresh), 0604u) << "an existing file keeps its mode";

    ASSERT_TRUE(safe_write::write_file(fresh, "secret", {.private_file = true}));
    EXPECT_EQ(mode_of(fresh), 0600u);
    EXPECT_EQ(read(fresh), "secret");
}

TEST_F(SafeWrite, WritesThroughASymlink)
{
    const auto target = dir_ / "real.json";
    const auto link = dir_ / "link.json";
    ASSERT_TRUE(safe_write::write_file(target, "old"));
    std::filesystem::create_symlink("real.json", link);
    ASSERT_TRUE(safe_write::write_file(link, "new"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(read(target), "new");
}

TEST_F(SafeWrite, ErrorsNameThePathAndTheReason)
{
    const auto path = dir_ / "missing" / "file";
    const auto written = safe_write::write_file(path, "x");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), "could not write " + path.string() + ": No such file or directory");
}

TEST_F(SafeWrite, RemoveFileAndStaleTemporaries)
{
    const auto path = dir_ / "vault.enc";
    ASSERT_TRUE(safe_write::write_file(path, "x"));
    std::ofstream(dir_ / ".vault.enc.tmp-Ab12Cd") << "partial";
    std::ofstream(dir_ / ".other.tmp-Ab12Cd") << "someone else's";
    safe_write::remove_stale_temporaries(path);
    EXPECT_EQ(entries(), (std::vector<std::string>{".other.tmp-Ab12Cd", "vault.enc"}));

    EXPECT_TRUE(safe_write::remove_file(path));
    EXPECT_TRUE(safe_write::remove_file(path)) << "a missing file is already removed";
    EXPECT_EQ(entries(), std::vector<std::string>{".other.tmp-Ab12Cd"});
}

}  // namespace
