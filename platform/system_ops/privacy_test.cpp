// The privacy and device security probes on fixture roots (a /sys with cameras and rfkill switches, efivars) and
// against fake findmnt, lsblk, firewall-cmd and nft that print what the real tools print, with the tools missing
// too: a probe that could not answer says "Unavailable", never a "Not …" it cannot back.
#include "system_ops/privacy.hpp"

#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace system_ops::privacy {
namespace {

namespace fs = std::filesystem;
using system_ops::testing::Answer;

void write_file(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

class PrivacyProbeTest : public system_ops::testing::FakeTools {
protected:
    void SetUp() override
    {
        FakeTools::SetUp();
        bin = fake_bin();
        root = bin.parent_path() / "root";
        fs::create_directories(root);
        probes.root = root;
    }

    // Only the fake tools (and what their scripts need) can be found: every real tool is missing.
    void only_fake_tools()
    {
        const fs::path base = bin.parent_path() / "base";
        fs::create_directories(base);
        for (const char* program : {"cat", "wc"}) {
            fs::create_symlink(fs::path("/usr/bin") / program, base / program);
        }
        ::setenv("PATH", (bin.string() + ":" + base.string()).c_str(), 1);
    }

    // The fake tools' folder: the first of PATH.
    static fs::path fake_bin()
    {
        const std::string path = std::getenv("PATH");
        return path.substr(0, path.find(':'));
    }

    fs::path bin;
    fs::path root;
    Probes probes;
};

TEST_F(PrivacyProbeTest, DiskEncryptionFollowsTheRootDeviceStack)
{
    struct Case {
        const char* name;
        std::vector<Answer> findmnt;
        std::vector<Answer> lsblk;  // none: lsblk missing
        std::string expected;
    };
    const std::vector<Case> cases{
        {"an encrypted root",
         {{"-nvo SOURCE /", "/dev/mapper/luks-0f3c\n"}},
         {{"-s -n -o TYPE -- /dev/mapper/luks-0f3c", "crypt\npart\ndisk\n"}},
         "Encrypted"},
        {"a plain partition",
         {{"-nvo SOURCE /", "/dev/nvme0n1p3\n"}},
         {{"-s -n -o TYPE -- /dev/nvme0n1p3", "part\ndisk\n"}},
         "Not encrypted"},
        {"a btrfs subvolume on LUKS (findmnt without -v would add [/root])",
         {{"-nvo SOURCE /", "/dev/mapper/luks-7a1e[/root]\n"}},
         {{"-s -n -o TYPE -- /dev/mapper/luks-7a1e", "  crypt\npart\ndisk\n"}},
         "Encrypted"},
        {"a composefs root followed to /sysroot",
         {{"-nvo SOURCE /", "composefs\n"}, {"-nvo SOURCE /sysroot", "/dev/vda4\n"}},
         {{"-s -n -o TYPE -- /dev/vda4", "part\ndisk\n"}},
         "Not encrypted"},
        {"an overlay root with nothing at /sysroot",
         {{"-nvo SOURCE /", "overlay\n"}, {"-nvo SOURCE /sysroot", "", "", 1}},
         {},
         "Unavailable"},
        {"findmnt fails", {{"*", "", "findmnt: can't read /proc/self/mountinfo", 1}}, {}, "Unavailable"},
        {"lsblk cannot read the device",
         {{"-nvo SOURCE /", "/dev/vda\n"}},
         {{"*", "", "lsblk: /dev/vda: not a block device", 32}},
         "Unavailable"},
    };
    only_fake_tools();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(bin / "lsblk");
        tool("findmnt", c.findmnt);
        if (!c.lsblk.empty()) {
            tool("lsblk", c.lsblk);
        }
        EXPECT_EQ(disk_encryption(probes), c.expected);
    }
}

TEST_F(PrivacyProbeTest, DiskEncryptionIsUnavailableWithoutTheTools)
{
    only_fake_tools();
    EXPECT_EQ(disk_encryption(probes), "Unavailable");
}

TEST_F(PrivacyProbeTest, FirewallSaysNotActiveOnlyWhenAProbeAnsweredSo)
{
    struct Case {
        const char* name;
        std::vector<Answer> firewall_cmd;  // none: missing
        std::vector<Answer> nft;           // none: missing
        std::string expected;
    };
    const std::string ruleset = "table inet filter {\n\tchain input {\n\t\ttype filter hook input priority 0;\n\t}\n}\n";
    const std::vector<Case> cases{
        {"firewalld running", {{"--state", "running\n"}}, {}, "Active \u00b7 firewalld"},
        {"firewalld stopped, nft rules", {{"--state", "not running\n", "", 252}}, {{"list ruleset", ruleset}},
         "Active \u00b7 nftables"},
        {"firewalld stopped, empty ruleset", {{"--state", "not running\n", "", 252}}, {{"list ruleset", ""}},
         "Not active"},
        {"no firewalld, empty ruleset", {}, {{"list ruleset", ""}}, "Not active"},
        {"nft without the right to read the ruleset", {},
         {{"list ruleset", "", "Operation not permitted (you must be root)\n", 1}}, "Unavailable"},
        {"neither tool", {}, {}, "Unavailable"},
    };
    only_fake_tools();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(bin / "firewall-cmd");
        fs::remove(bin / "nft");
        if (!c.firewall_cmd.empty()) {
            tool("firewall-cmd", c.firewall_cmd);
        }
        if (!c.nft.empty()) {
            tool("nft", c.nft);
        }
        EXPECT_EQ(firewall(probes), c.expected);
    }
}

TEST_F(PrivacyProbeTest, SecureBootReadsTheEfiVariable)
{
    const std::string global = "SecureBoot-8be4df61-93ca-11d2-aa0d-00e098032b8c";
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;  // none at all: no efivars folder
        std::string expected;
    };
    const std::vector<Case> cases{
        {"no efivars (a BIOS machine)", {}, "Unavailable"},
        {"enabled", {{global, std::string("\x06\0\0\0\x01", 5)}}, "Enabled"},
        {"disabled", {{global, std::string("\x06\0\0\0\x00", 5)}}, "Disabled"},
        {"attributes only", {{global, std::string("\x06\0\0\0", 4)}}, "Unavailable"},
        {"no variable", {{"BootOrder-8be4df61-93ca-11d2-aa0d-00e098032b8c", std::string("\x06\0\0\0\x01\0", 6)}},
         "Disabled"},
        {"the global variable before another vendor's",
         {{"SecureBoot-00000000-0000-0000-0000-000000000000", std::string("\x06\0\0\0\x00", 5)},
          {global, std::string("\x06\0\0\0\x01", 5)}},
         "Enabled"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root / "sys/firmware");
        if (!c.files.empty()) {
            for (const auto& [name, bytes] : c.files) {
                write_file(root / "sys/firmware/efi/efivars" / name, bytes);
            }
        }
        EXPECT_EQ(secure_boot(probes), c.expected);
    }
}

TEST_F(PrivacyProbeTest, HardwareFromSysAndTheSoundLayer)
{
    // No /sys at all: no camera, no switch, and without a sound layer the mute is not reported.
    {
        const auto status = get_privacy_status(probes);
        EXPECT_FALSE(status.camera_present);
        EXPECT_EQ(status.camera_switch, KillSwitch::NoneReported);
        EXPECT_EQ(status.microphone_mute, MicrophoneMute::NotReported);
        EXPECT_TRUE(status.active_uses.empty());
    }
    write_file(root / "sys/class/video4linux/video0/name", "Integrated Camera\n");
    write_file(root / "sys/class/rfkill/rfkill0/type", "wlan\n");
    write_file(root / "sys/class/rfkill/rfkill0/hard", "1\n");
    write_file(root / "sys/class/rfkill/rfkill1/type", "camera\n");
    write_file(root / "sys/class/rfkill/rfkill1/soft", "1\n");
    write_file(root / "sys/class/rfkill/rfkill1/hard", "0\n");
    write_file(root / "sys/class/rfkill/rfkill2/type", "microphone\n");
    write_file(root / "sys/class/rfkill/rfkill2/soft", "0\n");
    write_file(root / "sys/class/rfkill/rfkill2/hard", "0\n");
    probes.microphone_muted = [] { return std::optional<bool>(true); };
    probes.active_uses = [] { return std::vector<ActiveUse>{{"Recorder", PrivacyDevice::Microphone}}; };
    const auto status = get_privacy_status(probes);
    EXPECT_TRUE(status.camera_present);
    EXPECT_EQ(status.camera_switch, KillSwitch::BlockedBySoftware) << "the Wi-Fi switch is not the camera's";
    EXPECT_EQ(status.microphone_switch, KillSwitch::Available);
    EXPECT_EQ(status.microphone_mute, MicrophoneMute::Muted);
    EXPECT_THAT(status.active_uses, ::testing::ElementsAre(ActiveUse{"Recorder", PrivacyDevice::Microphone}));
}

TEST(PrivacyLabels, KillSwitchTexts)
{
    EXPECT_EQ(kill_switch_label(KillSwitch::NoneReported, true), "Present \u00b7 no kill switch reported");
    EXPECT_EQ(kill_switch_label(KillSwitch::NoneReported, false), "Not available");
    EXPECT_EQ(kill_switch_label(KillSwitch::Available, false), "Available");
    EXPECT_EQ(kill_switch_label(KillSwitch::BlockedBySoftware, true), "Blocked by software");
    EXPECT_EQ(kill_switch_label(KillSwitch::BlockedByHardware, true), "Blocked by hardware");
}

}  // namespace
}  // namespace system_ops::privacy
