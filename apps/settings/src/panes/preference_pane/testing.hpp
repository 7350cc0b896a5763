#pragma once
// Test helpers of the preference pages: a private configuration home, the settings file in it, and a log capture.

#include "vorn_log/log.hpp"

#include <spdlog/sinks/ostream_sink.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include <sys/stat.h>

namespace settings::panes::testing {

// XDG_CONFIG_HOME, XDG_STATE_HOME and HOME point into a new temporary directory while the object lives.
class TempConfig {
public:
    TempConfig()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-pages-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "HOME"}) {
            const char* old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
        ::setenv("HOME", (root_ / "home").c_str(), 1);
    }
    ~TempConfig()
    {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TempConfig(const TempConfig&) = delete;
    TempConfig& operator=(const TempConfig&) = delete;

    [[nodiscard]] const std::filesystem::path& root() const { return root_; }
    [[nodiscard]] std::filesystem::path settings_file() const { return root_ / "config" / "vorn" / "settings.json"; }

    void write_settings(const std::string& text) const
    {
        std::filesystem::create_directories(settings_file().parent_path());
        std::ofstream(settings_file()) << text;
    }
    [[nodiscard]] std::string read_settings() const
    {
        std::ifstream in(settings_file());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Changes with every replacement of the file (inode and modification time).
    [[nodiscard]] std::optional<std::pair<ino_t, std::int64_t>> settings_identity() const
    {
        struct stat st{};
        if (::stat(settings_file().c_str(), &st) != 0) {
            return std::nullopt;
        }
        return std::pair{st.st_ino, static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
    }

private:
    std::filesystem::path root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Everything logged while the object lives.
class LogCapture {
public:
    LogCapture() { vorn_log::set_sink(std::make_shared<spdlog::sinks::ostream_sink_mt>(text_)); }
    ~LogCapture() { vorn_log::set_sink(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    [[nodiscard]] std::string text() const { return text_.str(); }

private:
    std::ostringstream text_;
};

}  // namespace settings::panes::testing
