#pragma once
// Helpers shared by the settings tests: a private temporary directory used as XDG_CONFIG_HOME, file access and
// readable printing of the records.

#include "prefs/records.hpp"
#include "test_support/temp_home.hpp"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

namespace settings::prefs::testing {

using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

// Points the configuration directory at a temporary one for the life of the object.
class ConfigHome : public test_support::ConfigHome {
public:
    ConfigHome() : test_support::ConfigHome("vorn-prefs") {}
    [[nodiscard]] std::filesystem::path settings_file() const { return path() / "vorn" / "settings.json"; }
};

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
