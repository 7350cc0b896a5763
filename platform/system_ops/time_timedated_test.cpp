// The time backend with the real timedatectl against python3-dbusmock's timedated on a private system bus.
//
// timedatectl refuses to run unless systemd is the init system; test_buses::systemd_booted_prefix() runs it in a
// private mount namespace in which systemd looks booted (that takes root, as CI has). The host is never touched.
#include "system_ops/time.hpp"
#include "test_buses/test_buses.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace system_ops::time {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Runs every command behind a prefix: `prefix... program args...`.
class PrefixedRunner final : public cmd_runner::Runner {
public:
    explicit PrefixedRunner(std::vector<std::string> prefix) : prefix_(std::move(prefix)) {}

    cmd_runner::Result run(const cmd_runner::Command& command) override { return cmd_runner::run(wrap(command)); }
    std::expected<cmd_runner::AsyncCommand, cmd_runner::Error> spawn_prepared(cmd_runner::Command command) override
    {
        return cmd_runner::spawn_prepared(wrap(std::move(command)));
    }

private:
    [[nodiscard]] cmd_runner::Command wrap(cmd_runner::Command command) const
    {
        std::vector<std::string> args(prefix_.begin() + 1, prefix_.end());
        args.push_back(command.program);
        args.insert(args.end(), command.args.begin(), command.args.end());
        command.program = prefix_.front();
        command.args = std::move(args);
        return command;
    }

    std::vector<std::string> prefix_;
};

class TimedatedMock : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!test_buses::have_program("timedatectl")) {
            skip_reason() = "timedatectl is not installed";
            return;
        }
        if (!std::filesystem::exists("/usr/share/zoneinfo/zone1970.tab")) {
            skip_reason() = "tzdata is not installed";
            return;
        }
        prefix() = test_buses::systemd_booted_prefix();
        if (prefix().empty()) {
            skip_reason() = "timedatectl runs only where systemd looks booted; making that in a private mount "
                            "namespace takes root and unshare";
            return;
        }
        auto buses = test_buses::PrivateBuses::start();
        if (!buses) {
            skip_reason() = buses.error();
            return;
        }
        auto mock = test_buses::DbusMock::start(**buses, {.template_name = "timedated",
                                                          .bus_name = "org.freedesktop.timedate1",
                                                          .parameters = R"({"Timezone":"Europe/Paris","NTP":false})"});
        if (!mock) {
            skip_reason() = mock.error();
            return;
        }
        buses_ = std::move(*buses);
        mock_ = std::move(*mock);
    }

    static void TearDownTestSuite()
    {
        mock_.reset();
        buses_.reset();
    }

    void SetUp() override
    {
        if (!skip_reason().empty()) {
            GTEST_SKIP() << skip_reason();
        }
    }

    static std::string& skip_reason()
    {
        static std::string reason;
        return reason;
    }
    static std::vector<std::string>& prefix()
    {
        static std::vector<std::string> words;
        return words;
    }

    static inline std::unique_ptr<test_buses::PrivateBuses> buses_;
    static inline std::unique_ptr<test_buses::DbusMock> mock_;

    TimedatectlTime time{std::make_shared<PrefixedRunner>(prefix())};
};

// The tests of one run share the mock: each leaves it as it found it.
TEST_F(TimedatedMock, StatusAsTheServiceReportsIt)
{
    const auto status = time.get_time_sync_status();
    ASSERT_TRUE(status) << status.error();
    EXPECT_EQ(*status, (TimeSyncStatus{.zone = "Europe/Paris", .ntp_enabled = false, .synchronized = false}));
    EXPECT_EQ(time.get_ntp(), false);
}

TEST_F(TimedatedMock, SetTimezoneReachesTimedated)
{
    const auto set = time.set_timezone("Europe/Berlin");
    ASSERT_TRUE(set) << set.error();
    EXPECT_THAT(mock_->log(), HasSubstr("SetTimezone \"Europe/Berlin\""));
    EXPECT_EQ(time.get_time_sync_status()->zone, "Europe/Berlin");

    // A zone this machine does not have never reaches the service (the mock would take anything).
    EXPECT_FALSE(time.set_timezone("Mars/Olympus"));
    EXPECT_THAT(mock_->log(), Not(HasSubstr("Mars/Olympus")));
    EXPECT_EQ(time.get_time_sync_status()->zone, "Europe/Berlin");

    ASSERT_TRUE(time.set_timezone("Europe/Paris"));
}

TEST_F(TimedatedMock, SetNtpSwitchesAutomaticTime)
{
    ASSERT_TRUE(time.set_ntp(true));
    EXPECT_EQ(time.get_ntp(), true);
    const auto on = time.get_time_sync_status();
    ASSERT_TRUE(on) << on.error();
    EXPECT_EQ(on->ntp_enabled, true);
    EXPECT_EQ(on->synchronized, true);
    EXPECT_EQ(on->ntp_server, std::nullopt) << "no systemd-timesyncd on this bus to name a server";

    ASSERT_TRUE(time.set_ntp(false));
    EXPECT_EQ(time.get_ntp(), false);
    EXPECT_THAT(mock_->log(), HasSubstr("SetNTP True"));
    EXPECT_THAT(mock_->log(), HasSubstr("SetNTP False"));
}

TEST_F(TimedatedMock, WithoutSystemdTheToolSaysWhy)
{
    if (std::filesystem::exists("/run/systemd/system")) {
        GTEST_SKIP() << "this machine runs systemd, so timedatectl works without the namespace";
    }
    TimedatectlTime direct(cmd_runner::system_runner());
    const auto status = direct.get_time_sync_status();
    ASSERT_FALSE(status);
    EXPECT_THAT(status.error(), HasSubstr("System has not been booted with systemd"));
}

}  // namespace
}  // namespace system_ops::time
