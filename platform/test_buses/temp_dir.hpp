#pragma once
// Test helpers (header only): a private temporary folder "<temp>/<prefix>.XXXXXX", removed with everything in it
// when the object goes, and whole-file reads and writes. Needs no linking.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace test_buses {

class TempDir {
public:
    explicit TempDir(std::string_view prefix = "vorn_test")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + ".XXXXXX")).string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The bytes of a file (empty when it cannot be read).
[[nodiscard]] inline std::string read_file(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes the file whole, making its folders first.
inline void write_file(const std::filesystem::path& file, std::string_view text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace test_buses
