#pragma once
// A python3-dbusmock service shared by the tests of one GoogleTest suite (tests only, header only). The private
// buses and the mock start once, in the suite's set-up; when the client tool, dbus-daemon or python3-dbusmock is
// missing, every test of the suite skips and says why.
//
//   class PowerProfilesMock : public test_buses::MockSuite {
//   protected:
//       static void SetUpTestSuite()
//       {
//           start_suite("powerprofilesctl",
//                       {.template_name = "power_profiles_daemon", .bus_name = "net.hadess.PowerProfiles"});
//       }
//       static void TearDownTestSuite() { stop_suite(); }
//   };
//   TEST_F(PowerProfilesMock, ...) { mock().call("/net/hadess/PowerProfiles", ..., {...}); }

#include "test_buses/test_buses.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace test_buses {

class MockSuite : public ::testing::Test {
protected:
    static void start_suite(std::string_view client_program, MockSpec spec)
    {
        stop_suite();
        State& suite = state();
        suite.skip_reason.clear();
        if (!have_program(client_program)) {
            suite.skip_reason = std::string(client_program) + " is not installed";
            return;
        }
        auto buses = PrivateBuses::start();
        if (!buses) {
            suite.skip_reason = buses.error();
            return;
        }
        auto mock = DbusMock::start(**buses, std::move(spec));
        if (!mock) {
            suite.skip_reason = mock.error();
            return;
        }
        suite.buses = std::move(*buses);
        suite.mock = std::move(*mock);
    }

    static void stop_suite()
    {
        state().mock.reset();
        state().buses.reset();
    }

    void SetUp() override
    {
        if (!state().skip_reason.empty()) {
            GTEST_SKIP() << state().skip_reason;
        }
    }

    [[nodiscard]] static const DbusMock& mock() { return *state().mock; }

private:
    struct State {
        std::string skip_reason;
        std::unique_ptr<PrivateBuses> buses;
        std::unique_ptr<DbusMock> mock;
    };
    static State& state()
    {
        static State suite;
        return suite;
    }
};

}  // namespace test_buses
