// Saves racing other processes and being killed half-way.

#include "prefs/settings_file.hpp"
#include "prefs/test_support.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace settings::prefs {
namespace {

using testing::read_file;
using testing::TempDir;

// A record that writes a file of some size, so that a kill often lands inside a write.
SettingsFile large_record(std::string_view theme, std::uint32_t seed)
{
    SettingsFile file;
    file.appearance.theme = theme;
    file.display.night_light_temperature = seed;
    for (std::uint32_t i = 0; i < 400; ++i) {
        file.notifications.per_app[fmt::format("org.example.App{:04}", i)].muted_until = seed + i;
    }
    return file;  // not loaded: every save writes every section
}

// A number from the environment, or `fallback` when it is unset or not a number.
unsigned long from_environment(const char* name, unsigned long fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    return *end == '\0' ? value : fallback;
}

// CI runs a short series; VORN_KILL_ROUNDS=1000 (and VORN_KILL_SEED to repeat or vary the kill times) makes the
// long one.
TEST(SettingsFileProcesses, KilledSaveLeavesTheOldOrTheNewFile)
{
    const unsigned long rounds = from_environment("VORN_KILL_ROUNDS", 40);
    const auto seed = static_cast<std::uint32_t>(from_environment("VORN_KILL_SEED", 20240611));
    SCOPED_TRACE(fmt::format("VORN_KILL_ROUNDS={} VORN_KILL_SEED={}", rounds, seed));
    TempDir dir;
    const auto path = dir.path() / "settings.json";
    const SettingsFile a = large_record("Dark", 1000);
    const SettingsFile b = large_record("Light", 2000);
    const std::string text_a = write_settings_json(a, "");
    const std::string text_b = write_settings_json(b, text_a);
    ASSERT_NE(text_a, text_b);
    ASSERT_TRUE(save_settings_file(a, path));

    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay_us(0, 30000);
    int saw_a = 0;
    int saw_b = 0;
    for (unsigned long round = 0; round < rounds; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {  // alternate until killed
                if (!save_settings_file(b, path) || !save_settings_file(a, path)) {
                    ::_exit(3);
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child failed with " << WEXITSTATUS(status);

        const std::string text = read_file(path);
        ASSERT_TRUE(text == text_a || text == text_b) << "round " << round << ": torn file of " << text.size()
                                                      << " bytes";
        (text == text_a ? saw_a : saw_b) += 1;
    }
    EXPECT_GT(saw_a + saw_b, 0);

    // The next save clears what interrupted saves left behind.
    ASSERT_TRUE(save_settings_file(b, path));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"settings.json", "settings.json.lock"}));
}

TEST(SettingsFileProcesses, ConcurrentSavesOfDifferentSectionsBothSurvive)
{
    TempDir dir;
    const auto path = dir.path() / "settings.json";
    ASSERT_TRUE(save_settings_file(load_settings_file(path), path));
    constexpr int rounds = 25;

    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const auto spawn = [&](auto change) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(go[1]);
            char byte = 0;
            if (::read(go[0], &byte, 1) != 0) {  // wait until the parent closes its end
                ::_exit(4);
            }
            for (int i = 0; i < rounds; ++i) {
                SettingsFile file = load_settings_file(path);
                change(file);
                if (!save_settings_file(file, path)) {
                    ::_exit(2);
                }
            }
            ::_exit(0);
        }
        return child;
    };
    const pid_t display_writer = spawn([](SettingsFile& f) { f.display.night_light_temperature += 1; });
    const pid_t power_writer = spawn([](SettingsFile& f) { f.power.suspend_minutes += 1; });
    ASSERT_GT(display_writer, 0);
    ASSERT_GT(power_writer, 0);
    ::close(go[0]);
    ::close(go[1]);  // both start now

    for (const pid_t child : {display_writer, power_writer}) {
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer failed: " << status;
    }
    const auto file = load_settings_file(path);
    EXPECT_EQ(file.display.night_light_temperature, 3700u + rounds);
    EXPECT_EQ(file.power.suspend_minutes, 15u + rounds);
}

}  // namespace
}  // namespace settings::prefs
