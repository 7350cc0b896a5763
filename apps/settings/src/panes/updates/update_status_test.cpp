#include "panes/updates/update_status.hpp"

#include "panes/updates/testing/bootc_samples.hpp"

#include "json_text/json_text.hpp"
#include "system_ops/test_tools.hpp"
#include "system_ops/time.hpp"
#include "test_buses/test_buses.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace settings::panes::updates {
namespace {

using ::testing::ElementsAre;

TEST(OsReleaseTest, TheFirstPrettyNameWithAValue)
{
    struct Case {
        std::string_view text;
        std::optional<std::string> name;
    };
    const std::vector<Case> cases = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n", "Debian GNU/Linux 12 (bookworm)"},
        {"  PRETTY_NAME='Vorn 42'  \n", "Vorn 42"},
        {"PRETTY_NAME=\"\"\"\nPRETTY_NAME=Fedora Linux 41\n", "Fedora Linux 41"},  // only quotes: skipped
        {"PRETTY_NAME=\"'\"\n", std::nullopt},
        {"PRETTY_NAME=\"'Quoted twice'\"\n", "Quoted twice"},
        {"NAME=Vorn\n", std::nullopt},
        {"", std::nullopt},
        {"PRETTY_NAME=\"Vorn\x1b[2J 42\"\n", "Vorn 42"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pretty_name_of(c.text), c.name) << c.text;
    }
}

TEST(BootcStagedTest, WhatIsStagedForTheNextBoot)
{
    EXPECT_EQ(staged_image_of(testing::bootc_status({.staged = true})).value(), std::optional<std::string>("quay.io/vorn/os:42"));
    EXPECT_EQ(staged_image_of(testing::bootc_status({})).value(), std::nullopt);
    EXPECT_EQ(staged_image_of(R"({"status":{"staged":{"version":"42.1"}}})").value(), "42.1");
    EXPECT_EQ(staged_image_of(R"({"status":{"staged":{"ostree":{}}}})").value(), "Update staged for next boot");
    EXPECT_EQ(staged_image_of(R"({"status":{}})").value(), std::nullopt);
    EXPECT_FALSE(staged_image_of("not json").has_value());
}

TEST(ReleaseNotesTest, TheFirstHttpsAddressByMemberOrderThenDocumentOrder)
{
    const std::string long_address = "https://docs.example/" + std::string(513 - 21, 'a');
    ASSERT_EQ(long_address.size(), 513U);
    struct Case {
        std::string_view name;
        std::string json;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"documentation wins over url", R"({"org.opencontainers.image.url":"https://u.example","org.opencontainers.image.documentation":"https://d.example"})",
         "https://d.example"},
        {"capital scheme is ignored", R"({"documentation":"HTTPS://d.example","releaseNotes":"https://r.example"})",
         "https://r.example"},
        {"plain http is ignored", R"({"documentation":"http://d.example"})", std::nullopt},
        {"no scheme", R"({"documentation":"docs.example/https://x"})", std::nullopt},
        {"513 bytes is too long", R"({"documentation":")" + long_address + R"("})", std::nullopt},
        {"512 bytes is fine", R"({"documentation":")" + long_address.substr(0, 512) + R"("})",
         long_address.substr(0, 512)},
        {"a top-level member that does not qualify loses to a deeper one",
         R"({"documentation":"http://top.example","labels":{"releaseNotes":"https://deep.example"}})",
         "https://deep.example"},
        {"depth first in document order",
         R"({"a":{"b":{"documentation":"https://first.example"}},"c":{"documentation":"https://second.example"}})",
         "https://first.example"},
        {"arrays in order", R"([{"x":1},[{"source":"no"},{"org.opencontainers.image.source":"https://src.example"}]])",
         "https://src.example"},
        {"control characters disqualify", R"({"documentation":"https://d.example/\u001b[2J","releaseNotes":"https://r.example"})",
         "https://r.example"},
        {"real bootc status has none", testing::bootc_status({.staged = true, .rollback = true}), std::nullopt},
    };
    for (const auto& c : cases) {
        const auto document = json_text::parse(c.json);
        ASSERT_TRUE(document.has_value()) << c.name;
        EXPECT_EQ(find_release_notes_url(*document), c.expected) << c.name;
    }
}

TEST(JournalTest, LinesAreCleanedCutAndTheNoEntriesMarkerDropped)
{
    EXPECT_TRUE(journal_lines_of("-- No entries --\n").empty());
    const std::string long_line(300, 'x');
    const auto lines = journal_lines_of(
        "2026-12-11T09:00:00+0000 host bootc[1]: Fetching \x1b[1mquay.io/vorn/os:42\x1b[0m\n"
        "   \t \n"
        "2026-12-11T09:01:00+0000 host bootc[1]: \x07Staged\x7f update\xc2\x9b\n" +
        long_line + "\n1\n2\n3\n4\n5\n");
    EXPECT_THAT(lines, ElementsAre("2026-12-11T09:00:00+0000 host bootc[1]: Fetching quay.io/vorn/os:42",
                                   "2026-12-11T09:01:00+0000 host bootc[1]: Staged update", std::string(220, 'x'),
                                   "1", "2", "3"));
}

TEST(ProtectionTest, TheSentenceForTheTimerAndThePreviousImage)
{
    const RollbackStatus none = std::optional<std::string>();
    const RollbackStatus image = std::optional<std::string>("the previous image");
    const RollbackStatus unreadable = std::unexpected(std::string("bootc command failed: bootc not found"));
    EXPECT_EQ(protection_sentence(true, none), "Boot confirmation active \u00b7 no previous image retained yet");
    EXPECT_EQ(protection_sentence(true, image), "Protected \u00b7 fallback available: the previous image");
    EXPECT_EQ(protection_sentence(false, none), "Rollback protection state is not reported");
    EXPECT_EQ(protection_sentence(false, image),
              "Fallback available (the previous image); automatic confirmation not reported");
    // What cannot be read is not reported as "no previous image".
    EXPECT_EQ(protection_sentence(true, unreadable), "Boot confirmation active \u00b7 the previous image could not be read");
    EXPECT_EQ(protection_sentence(false, unreadable), "Rollback protection state is not reported");
}

TEST(ClockTextTest, DateAndTwentyFourHourClock)
{
    auto time = std::make_shared<system_ops::time::FakeTime>();
    system_ops::ScopedCurrent<system_ops::time::TimeService> guard(time);
    time->change([](auto& s) {
        s.date = std::string("Friday, 11 December 2026");
        s.clock = std::string("09:30");
    });
    EXPECT_EQ(clock_text(), "Friday, 11 December 2026 09:30");
    time->change([](auto& s) { s.date = std::unexpected(std::string("no clock")); });
    EXPECT_EQ(clock_text(), "09:30");
}

// ---- The probe against fake bootc, journalctl and systemctl on PATH ---------------------------------------------

class StatusProbeTest : public system_ops::testing::FakeTools {
protected:
    std::filesystem::path os_release() const { return dir_ / "os-release"; }
};

TEST_F(StatusProbeTest, TheNameAndTheStagedImage)
{
    std::ofstream(os_release()) << "NAME=Vorn\nPRETTY_NAME=\"Vorn 42 (Ridge)\"\n";
    tool("bootc", {{.args = "status --format json", .out = testing::bootc_status({.staged = true})}});
    const StatusProbe probe(cmd_runner::system_runner(), os_release());
    EXPECT_EQ(probe.os_pretty_name(), (OsInfo{.name = "Vorn 42 (Ridge)", .staged = "quay.io/vorn/os:42"}));
}

TEST_F(StatusProbeTest, WithoutTheFileAndWithoutBootcRights)
{
    tool("bootc", {{.args = "status --format json", .err = "error: This command requires root privileges\n", .code = 1}});
    const StatusProbe probe(cmd_runner::system_runner(), dir_ / "missing");
    EXPECT_EQ(probe.os_pretty_name(), (OsInfo{.name = "Vorn (Fedora bootc)",
                                              .staged = std::nullopt,
                                              .image_error = "error: This command requires root privileges"}));
}

TEST_F(StatusProbeTest, TheServiceStatusReadsBootcTheJournalAndTheTimerInThisOrder)
{
    const std::string labelled =
        R"({"status":{"booted":{"image":{"labels":{"org.opencontainers.image.documentation":"https://docs.vorn.example/42"}}}}})";
    tool("bootc", {{.args = "status --format json", .out = labelled}});
    tool("journalctl", {{.args = "-u bootc-fetch-apply-updates.service -n 6 --output=short-iso --no-pager",
                         .out = "2026-12-11T09:00:00+0000 host bootc[7]: \x1b[32mQueued\x1b[0m for next boot\n"}});
    tool("systemctl", {{.args = "is-enabled vorn-rollback-confirm.timer", .out = "enabled\n"}});
    const StatusProbe probe(cmd_runner::system_runner(), os_release());
    const auto status = probe.update_service_status(std::optional<std::string>("quay.io/vorn/os:41"));
    EXPECT_EQ(status, (UpdateServiceStatus{
                          .journal_lines = {"2026-12-11T09:00:00+0000 host bootc[7]: Queued for next boot"},
                          .release_notes = "https://docs.vorn.example/42",
                          .protection = "Protected \u00b7 fallback available: quay.io/vorn/os:41",
                      }));
    EXPECT_THAT(call_lines(),
                ElementsAre("bootc status --format json",
                            "journalctl -u bootc-fetch-apply-updates.service -n 6 --output=short-iso --no-pager",
                            "systemctl is-enabled vorn-rollback-confirm.timer"));
}

TEST_F(StatusProbeTest, FailingCommandsGiveNoLinkNoLinesAndNoProtection)
{
    tool("bootc", {{.args = "status --format json", .code = 1}});
    tool("journalctl", {{.args = "*", .out = "should not be shown\n", .code = 1}});
    tool("systemctl", {{.args = "is-enabled vorn-rollback-confirm.timer", .out = "masked\n", .code = 1}});
    const StatusProbe probe(cmd_runner::system_runner(), os_release());
    EXPECT_EQ(probe.update_service_status(std::optional<std::string>()),
              (UpdateServiceStatus{.protection = "Rollback protection state is not reported"}));
}

// The real journalctl and systemctl of this machine: whatever they say, the probe gives bounded, clean text and one
// of its sentences.
TEST(StatusProbeRealTest, TheMachinesOwnToolsGiveCleanBoundedAnswers)
{
    if (!test_buses::have_program("journalctl") || !test_buses::have_program("systemctl")) {
        GTEST_SKIP() << "journalctl or systemctl is not installed";
    }
    const StatusProbe probe;
    const auto status = probe.update_service_status(std::optional<std::string>());
    EXPECT_LE(status.journal_lines.size(), max_journal_lines);
    for (const auto& line : status.journal_lines) {
        EXPECT_EQ(cmd_runner::clean_text(line), line);
        EXPECT_NE(line.find_first_not_of(' '), std::string::npos);
    }
    EXPECT_THAT(status.protection, ::testing::AnyOf("Boot confirmation active \u00b7 no previous image retained yet",
                                                     "Rollback protection state is not reported"));
    const OsInfo info = probe.os_pretty_name();
    EXPECT_FALSE(info.name.empty());
    if (!test_buses::have_program("bootc")) {
        EXPECT_TRUE(info.image_error.has_value());  // never "nothing staged" when bootc could not be asked
    }
}

}  // namespace
}  // namespace settings::panes::updates
