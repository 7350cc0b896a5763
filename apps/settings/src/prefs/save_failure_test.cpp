// A failed save of the settings file answers a sentence a user understands and logs the store's own error.
#include "prefs/save_failure.hpp"
#include "prefs/settings_file.hpp"
#include "prefs/test_support.hpp"

#include "config_sections/config_sections.hpp"
#include "safe_write/file_lock.hpp"
#include "vorn_log/log.hpp"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <functional>
#include <sstream>

#include <sys/stat.h>

namespace settings::prefs {
namespace {

using testing::ConfigHome;
using testing::write_file;

TEST(SaveFailure, AnotherWriterHoldingTheLockReadsAsAnotherProgramUsingTheFile)
{
    ConfigHome home;
    std::ostringstream log;
    vorn_log::set_sink(std::make_shared<spdlog::sinks::ostream_sink_mt>(log));
    std::filesystem::create_directories(home.settings_file().parent_path());
    auto held = safe_write::FileLock::acquire_for(home.settings_file());  // another writer, as far as the save sees
    ASSERT_TRUE(held) << held.error();

    SettingsFile file = load_settings_file();
    file.display.night_light = true;
    const auto saved = save_settings_file(file);  // waits for the lock as long as the store does, then gives up
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), "another program is using the settings file");
    EXPECT_EQ(std::string("Your change was not saved: ") + saved.error() + ".",
              "Your change was not saved: another program is using the settings file.");
    // The technical detail is in the log, not in the sentence.
    EXPECT_NE(log.str().find("still locked by another writer"), std::string::npos) << log.str();
    EXPECT_EQ(saved.error().find(home.settings_file().string()), std::string::npos);
    vorn_log::set_sink(nullptr);
}

TEST(SaveFailure, WhatStandsInTheWayIsFoundOnTheMachine)
{
    struct Case {
        const char* what;
        std::function<void(const std::filesystem::path& file)> make;
        std::string_view error;  // the store's error text
        SaveProblem problem;
    };
    const Case cases[] = {
        {"a lock another open file holds",
         [](const std::filesystem::path&) {}, "could not write", SaveProblem::Busy},
        {"the store's own word for a lock that timed out", [](const std::filesystem::path&) {},
         "/x/settings.json is still locked by another writer; try again", SaveProblem::Busy},
        {"a folder in the file's place",
         [](const std::filesystem::path& p) { std::filesystem::create_directories(p); }, "could not read",
         SaveProblem::NotAFile},
        {"a link that leads nowhere",
         [](const std::filesystem::path& p) { std::filesystem::create_symlink("/nonexistent/settings.json", p); },
         "could not read", SaveProblem::NotAFile},
        {"a file beyond the size cap",
         [](const std::filesystem::path& p) {
             write_file(p, "{}");
             std::filesystem::resize_file(p, config_sections::max_file_size + 1);  // sparse: costs no disk
         },
         "larger than", SaveProblem::TooLarge},
        {"nothing to be seen", [](const std::filesystem::path& p) { write_file(p, "{}"); }, "rename failed",
         SaveProblem::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigHome home;
        std::filesystem::create_directories(home.settings_file().parent_path());
        c.make(home.settings_file());
        std::optional<safe_write::FileLock> held;
        if (c.problem == SaveProblem::Busy && c.error == "could not write") {
            auto lock = safe_write::FileLock::acquire_for(home.settings_file());
            ASSERT_TRUE(lock);
            held.emplace(std::move(*lock));
        }
        EXPECT_EQ(diagnose_save_failure(home.settings_file(), c.error), c.problem);
    }
}

TEST(SaveFailure, EverySentenceIsPlainWords)
{
    for (const SaveProblem problem : {SaveProblem::NoHome, SaveProblem::Busy, SaveProblem::NoPermission,
                                      SaveProblem::ReadOnly, SaveProblem::DiskFull, SaveProblem::NotAFile,
                                      SaveProblem::TooLarge, SaveProblem::Other}) {
        const std::string_view text = save_problem_text(problem);
        EXPECT_FALSE(text.empty());
        // No paths, no system-call words, no error numbers; lower case, to follow "… could not be saved: ".
        EXPECT_EQ(text.find('/'), std::string_view::npos) << text;
        EXPECT_EQ(text.find("lock"), std::string_view::npos) << text;
        EXPECT_EQ(text.find("errno"), std::string_view::npos) << text;
        EXPECT_TRUE(text.front() >= 'a' && text.front() <= 'z') << text;
        EXPECT_NE(text.back(), '.') << text;
    }
}

}  // namespace
}  // namespace settings::prefs
