#include "user_dirs/user_dirs.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

void set_or_unset(const char* name, const std::optional<std::string>& value)
{
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

struct Case {
    std::optional<std::string> xdg_config;
    std::optional<std::string> home;
    std::optional<std::string> expected;
};

TEST(UserDirs, ConfigDirFollowsXdgThenHome)
{
    const Case cases[] = {
        {"/xdg/config", "/home/ana", "/xdg/config"},
        {"relative/config", "/home/ana", "/home/ana/.config"},  // a relative XDG path is ignored
        {"", "/home/ana", "/home/ana/.config"},
        {std::nullopt, "/home/ana", "/home/ana/.config"},
        {std::nullopt, "relative-home", std::nullopt},
        {std::nullopt, std::nullopt, std::nullopt},
        {"", "", std::nullopt},
    };
    for (const auto& c : cases) {
        set_or_unset("XDG_CONFIG_HOME", c.xdg_config);
        set_or_unset("HOME", c.home);
        const auto dir = user_dirs::config_dir();
        ASSERT_EQ(dir.has_value(), c.expected.has_value()) << c.xdg_config.value_or("<unset>");
        if (dir) {
            EXPECT_EQ(dir->string(), *c.expected);
        }
    }
}

TEST(UserDirs, DataDirFollowsXdgThenHome)
{
    ::setenv("XDG_DATA_HOME", "/xdg/data", 1);
    EXPECT_EQ(user_dirs::data_dir()->string(), "/xdg/data");
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", "/home/ana", 1);
    EXPECT_EQ(user_dirs::data_dir()->string(), "/home/ana/.local/share");
}

TEST(UserDirs, StateDirFollowsXdgThenHome)
{
    ::setenv("XDG_STATE_HOME", "/xdg/state", 1);
    EXPECT_EQ(user_dirs::state_dir()->string(), "/xdg/state");
    ::setenv("XDG_STATE_HOME", "state", 1);
    ::setenv("HOME", "/home/ana", 1);
    EXPECT_EQ(user_dirs::state_dir()->string(), "/home/ana/.local/state");
    ::unsetenv("XDG_STATE_HOME");
}

TEST(UserDirs, RuntimeDirIsOnlyTheAbsoluteXdgRuntimeDir)
{
    ::setenv("HOME", "/home/ana", 1);
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(user_dirs::runtime_dir()->string(), "/run/user/1000");
    ::setenv("XDG_RUNTIME_DIR", "run/user/1000", 1);
    EXPECT_FALSE(user_dirs::runtime_dir());
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_FALSE(user_dirs::runtime_dir());  // no folder under HOME stands in for it
}

}  // namespace
