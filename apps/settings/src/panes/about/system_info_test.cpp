#include "panes/about/system_info.hpp"

#include <gtest/gtest.h>

#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace settings::panes::about {
namespace {

std::filesystem::path testdata()
{
    const char* source = std::getenv("VORN_SOURCE_DIR");
    return std::filesystem::path(source != nullptr ? source : ".") / "apps/settings/src/panes/about/testdata";
}

std::string file_text(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(AboutParsers, OsName)
{
    struct Case {
        std::string text;
        std::optional<std::string> name;
    };
    const std::vector<Case> cases = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n", "Debian GNU/Linux 12 (bookworm)"},
        {"PRETTY_NAME='Fedora Linux 40 (Workstation Edition)'", "Fedora Linux 40 (Workstation Edition)"},
        {"PRETTY_NAME=Arch", "Arch"},
        {"  PRETTY_NAME=\"Indented\"  \r\n", "Indented"},                       // trimmed lines, CRLF ends
        {"PRETTY_NAME=\"\"\nPRETTY_NAME=\"Second\"", "Second"},                // empty value: keep looking
        {"PRETTY_NAME=''\nPRETTY_NAME=\"\"\"\"", std::nullopt},
        {"PRETTY_NAME=\"Vorn \\\"Edge\\\" \\$HOME\"", "Vorn \"Edge\" $HOME"},   // backslash escapes in double quotes
        {"PRETTY_NAME='It\\'s'", "It\\'s"},                                     // not well-formed: stray quotes go
        {"PRETTY_NAME=\"Mismatched'", "Mismatched"},
        {"PRETTY_NAME=\"Tab\tand \x1b[31mcolour\x1b[0m\"", "Tab and colour"},   // no control characters on screen
        {"NAME=Debian\nVERSION=12\n", std::nullopt},
        {"# PRETTY_NAME=\"Commented\"\nXPRETTY_NAME=\"Other key\"", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse_os_name(c.text), c.name) << c.text;
    }
}

TEST(AboutParsers, Uptime)
{
    struct Case {
        std::string text;
        std::optional<std::uint64_t> seconds;
        std::string shown;  // for a parsed value
    };
    const std::vector<Case> cases = {
        {"59.9 120.00\n", 59, "0m"},
        {"60.0 1.0", 60, "1m"},
        {"3600", 3600, "1h 0m"},
        {"90061.52 351243.10\n", 90061, "1d 1h 1m"},  // a day, an hour, a minute and a second
        {"86399.99", 86399, "23h 59m"},
        {"  +61 9", 61, "1m"},
        {"1e3", 1000, "16m"},
        {"-5.0 3", 0, "0m"},
        {"1e30", std::numeric_limits<std::uint64_t>::max(), "213503982334601d 7h 0m"},
        {"abc 12", std::nullopt, ""},
        {"12abc", std::nullopt, ""},
        {"nan", std::nullopt, ""},
        {"inf", std::nullopt, ""},
        {"", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parse_uptime_seconds(c.text), c.seconds);
        if (c.seconds) {
            EXPECT_EQ(format_uptime(*c.seconds), c.shown);
        }
    }
}

TEST(AboutParsers, ProcessorAcrossArchitectures)
{
    struct Case {
        std::string fixture;
        std::optional<std::string> processor;
    };
    const std::vector<Case> cases = {
        {"x86_64", "11th Gen Intel(R) Core(TM) i7-1165G7 @ 2.80GHz"},
        {"armv7", "ARMv7 Processor rev 4 (v7l)"},
        {"aarch64-raspberry-pi-4", "ARM Cortex-A72"},  // no "model name": implementer and part
        {"aarch64-apple-m1", "Apple processor"},
        {"riscv64", "sifive,u74-mc"},
        {"ppc64le", "POWER9 (architected), altivec supported"},
        {"s390x", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse_processor(file_text(testdata() / "cpuinfo" / c.fixture)), c.processor) << c.fixture;
    }
    EXPECT_EQ(parse_processor("model name\t:\nmodel name\t: Second\n"), "Second");  // an empty value is skipped
    EXPECT_EQ(parse_processor("processor : 0\nBogoMIPS : 50.00\n"), std::nullopt);
    EXPECT_EQ(parse_processor("CPU implementer : 0x41\nCPU part : 0x999\n"), "ARM processor");
    EXPECT_EQ(parse_processor("CPU implementer : 0xee\nCPU part : 0xd08\n"), std::nullopt);
}

TEST(AboutParsers, MemTotal)
{
    struct Case {
        std::string text;
        std::optional<std::uint64_t> bytes;
    };
    const std::vector<Case> cases = {
        {"MemTotal:       16315412 kB\nMemFree: 1 kB\n", 16315412ull * 1024},
        {"MemFree: 5 kB\nMemTotal: 8 kB\n", 8192},
        {"MemTotal: lots kB\nMemTotal: 1024 kB\n", std::nullopt},  // only the first MemTotal line counts
        {"MemTotal:\n", std::nullopt},
        {"MemTotal: 18446744073709551615 kB", std::numeric_limits<std::uint64_t>::max()},  // saturates
        {"MemTotal: 99999999999999999999 kB", std::nullopt},                              // not a 64-bit number
        {" MemTotal: 8 kB", std::nullopt},  // the line must start with the key
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse_mem_total_bytes(c.text), c.bytes) << c.text;
    }
}

TEST(AboutReader, FixtureRoot)
{
    const SystemInfo info = read_system_info(SystemPaths::under(testdata() / "root"));
    EXPECT_EQ(info.os_name, "Vorn OS 1.4 (Fjord)");
    EXPECT_EQ(info.kernel, "6.8.9-300.fc40.aarch64");
    EXPECT_EQ(info.uptime, "1d 1h 1m");
    EXPECT_EQ(info.hostname, "studio-laptop");
    EXPECT_EQ(info.processor, "ARM Cortex-A72");
    EXPECT_EQ(info.memory, "7.6 GiB");
    EXPECT_FALSE(info.identity_key.has_value());
    EXPECT_EQ(hardware_rows(info), (std::vector<ValueRow>{{"Processor", "ARM Cortex-A72"}, {"Memory", "7.6 GiB"}}));
}

TEST(AboutReader, MissingFilesGiveFallbacks)
{
    const SystemInfo info = read_system_info(SystemPaths::under(testdata() / "no-such-root"));
    EXPECT_EQ(system_rows(info), (std::vector<ValueRow>{{"OS", "unknown"},
                                                        {"Kernel", "unknown"},
                                                        {"Architecture", info.architecture},
                                                        {"Uptime", "unknown"}}));
    EXPECT_EQ(info.hostname, "this-device");
    EXPECT_EQ(info.processor, "unknown");
    EXPECT_EQ(info.memory, "unknown");
    EXPECT_FALSE(info.architecture.empty());

    // Without /etc/os-release the name comes from /usr/lib/os-release.
    EXPECT_EQ(read_system_info(SystemPaths::under(testdata() / "root-usr-lib")).os_name, "Vorn OS (image)");
}

TEST(AboutReader, ThisMachine)
{
    const SystemInfo info = read_system_info();
    utsname uts{};
    ASSERT_EQ(uname(&uts), 0);
    EXPECT_EQ(info.kernel, uts.release);
    EXPECT_EQ(info.hostname, uts.nodename);
    EXPECT_NE(info.os_name, "unknown");
    EXPECT_NE(info.uptime, "unknown");

    struct sysinfo si{};
    ASSERT_EQ(sysinfo(&si), 0);
    const auto total = parse_mem_total_bytes(file_text("/proc/meminfo"));
    ASSERT_TRUE(total.has_value());
    EXPECT_EQ(*total, static_cast<std::uint64_t>(si.totalram) * si.mem_unit);
    const auto uptime = parse_uptime_seconds(file_text("/proc/uptime"));
    ASSERT_TRUE(uptime.has_value());
    EXPECT_NEAR(static_cast<double>(*uptime), static_cast<double>(si.uptime), 5.0);
    if (file_text("/proc/cpuinfo").find("model name") != std::string::npos) {
        EXPECT_NE(info.processor, "unknown");
    }
}

TEST(AboutIdentity, FingerprintOnlyFromARealKey)
{
    SystemInfo info;
    info.hostname = "studio-laptop";
    apply_identity(info, std::unexpected(std::string("no identity")));
    // Without an identity nothing looks like a fingerprint, whatever the host name.
    EXPECT_EQ(identity_fingerprint(info), std::nullopt);
    EXPECT_EQ(identity_rows(info), (std::vector<ValueRow>{{"Person", "Not connected"}, {"Identity", "Not set up"}}));

    signing_ids::SigningIdentity identity;
    identity.name = "  Ada Lovelace \n";
    identity.public_key = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xff};
    apply_identity(info, identity);
    EXPECT_EQ(identity_rows(info),
              (std::vector<ValueRow>{{"Person", "Ada Lovelace"}, {"Identity", "0123\u00B74567\u00B789ab\u00B7cdef"}}));

    // A nameless identity still has its key's fingerprint.
    identity.name = " \t";
    identity.public_key = {};
    apply_identity(info, identity);
    EXPECT_EQ(person_text(info), "Not connected");
    EXPECT_EQ(identity_text(info), "0000\u00B70000\u00B70000\u00B70000");

    // A failed load clears what was there.
    apply_identity(info, std::unexpected(std::string("gone")));
    EXPECT_FALSE(info.identity_key.has_value());
    EXPECT_FALSE(info.identity_name.has_value());
}

TEST(AboutIdentity, LoadedSystemInfoHasNoIdentityYet)
{
    const SystemInfo info = load_system_info();
    EXPECT_EQ(identity_text(info), "Not set up");
    EXPECT_EQ(person_text(info), "Not connected");
}

}  // namespace
}  // namespace settings::panes::about
