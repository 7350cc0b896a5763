#include "sound_graph/notification_sound.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sound_graph::notification_sound {
namespace {

namespace fs = std::filesystem;

// A folder of fake players first and alone on PATH while the fixture lives; each fake writes its arguments, one a
// line, into "<name>.args" beside it.
class FakePlayers : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "notification-sound-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        fs::create_directories(root_ / "bin");
        if (const char* old = std::getenv("PATH")) {
            old_path_ = old;
        }
        ::setenv("PATH", (root_ / "bin").c_str(), 1);
    }
    void TearDown() override
    {
        old_path_ ? ::setenv("PATH", old_path_->c_str(), 1) : ::unsetenv("PATH");
        std::error_code error;
        fs::remove_all(root_, error);
    }
    void player(const std::string& name, const std::string& tail = "exit 0")
    {
        const fs::path file = root_ / "bin" / name;
        std::ofstream(file) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n"
                            << tail << "\n";
        ::chmod(file.c_str(), 0755);
    }
    [[nodiscard]] std::string args_of(const std::string& name) const
    {
        std::ifstream in(root_ / "bin" / (name + ".args"));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // A freedesktop theme folder with one event.
    [[nodiscard]] fs::path theme() const
    {
        const fs::path dir = root_ / "share" / "sounds" / "freedesktop" / "stereo";
        fs::create_directories(dir);
        std::ofstream(dir / "message-new-instant.oga") << "OggS";
        return dir;
    }

    fs::path root_;
    std::optional<std::string> old_path_;
    cmd_runner::SystemRunner runner_;
};

TEST_F(FakePlayers, BackendFollowsWhatPathOffers)
{
    EXPECT_EQ(sound_backend(), SoundBackend::Unavailable);
    player("pw-play");
    EXPECT_EQ(sound_backend(), SoundBackend::PipeWireRoute);
    player("canberra-gtk-play");
    EXPECT_EQ(sound_backend(), SoundBackend::SessionTheme);
}

TEST_F(FakePlayers, SessionThemePlaysTheEventByName)
{
    player("canberra-gtk-play");
    player("pw-play");
    ASSERT_TRUE(play("message-new-instant", runner_, {}).has_value());
    EXPECT_EQ(args_of("canberra-gtk-play"), "--id=message-new-instant\n--description=Notification\n");
    EXPECT_EQ(args_of("pw-play"), "");
}

TEST_F(FakePlayers, PipeWirePlaysTheThemeFile)
{
    player("pw-play");
    const fs::path dir = theme();
    ASSERT_TRUE(play("message-new-instant", runner_, {root_ / "missing", dir}).has_value());
    EXPECT_EQ(args_of("pw-play"), "--media-role=Notification\n--\n" + (dir / "message-new-instant.oga").string() + "\n");

    const auto missing = play("bell", runner_, {dir});
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error(),
              "The freedesktop sound theme has no sound for \"bell\"; install sound-theme-freedesktop");
}

TEST_F(FakePlayers, FailuresAreReported)
{
    EXPECT_EQ(play("message-new-instant", runner_, {}).error(),
              "No notification sound player: install libcanberra or PipeWire sound tools");

    player("canberra-gtk-play", "echo 'Failed to play sound: Not found' >&2; exit 1");
    EXPECT_EQ(play("message-new-instant", runner_, {}).error(), "Failed to play sound: Not found");

    // A name that is no event never reaches a player or a path.
    for (const std::string_view bad : {"../../etc/passwd", "", "a b", "--help"}) {
        EXPECT_FALSE(play(bad, runner_, {}).has_value()) << bad;
        EXPECT_FALSE(theme_sound_file(bad, {theme()}).has_value()) << bad;
    }
}

}  // namespace
}  // namespace sound_graph::notification_sound
