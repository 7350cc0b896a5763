#pragma once
// Helpers of the application's tests (header only): a private temporary directory, one that also stands in as the
// configuration directory (XDG_CONFIG_HOME) so that nothing reaches the user's own files, and whole-file reads and
// writes.

#include "test_buses/no_session_bus.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace settings::test_support {

// A fresh directory "<temp>/<prefix>-XXXXXX", removed with everything in it when the object goes (even where a
// test took away its permissions).
class TempDir {
public:
    explicit TempDir(std::string_view prefix = "vorn-test")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        path_ = ::mkdtemp(pattern.data());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A TempDir that is the configuration directory for the life of the object (without a session bus).
class ConfigHome : public TempDir {
public:
    explicit ConfigHome(std::string_view prefix = "vorn-test") : TempDir(prefix)
    {
        ::setenv("XDG_CONFIG_HOME", path().c_str(), 1);
    }

private:
    // No credential vault key reaches the user's own keyring (the vault keeps its key in the desktop Secret Service
    // when it can reach one).
    test_buses::NoSessionBus no_session_bus_;
};

inline std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_file(const std::filesystem::path& path, std::string_view text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace settings::test_support
