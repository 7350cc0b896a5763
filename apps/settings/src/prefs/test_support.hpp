#pragma once
// Helpers shared by the settings tests: a private temporary directory used as XDG_CONFIG_HOME, file access and
// readable printing of the records.

#include "prefs/records.hpp"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace settings::prefs::testing {

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-prefs-XXXXXX").string();
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

// Points the configuration directory at a temporary one for the life of the object.
class ConfigHome : public TempDir {
public:
    ConfigHome() { ::setenv("XDG_CONFIG_HOME", path().c_str(), 1); }
    [[nodiscard]] std::filesystem::path settings_file() const { return path() / "vorn" / "settings.json"; }
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
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string testdata(const std::string& name)
{
    const char* source = std::getenv("VORN_SOURCE_DIR");
    return read_file(std::filesystem::path(source ? source : ".") / "apps/settings/src/prefs/testdata" / name);
}

}  // namespace settings::prefs::testing

namespace settings::prefs {

// gtest prints records as their stored JSON.
template <class R>
    requires requires(const R& r, Json& j) { to_json(j, r); }
void PrintTo(const R& record, std::ostream* os)
{
    *os << Json(record).dump();
}

}  // namespace settings::prefs
