#include "vorn_log/log.hpp"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <sstream>

TEST(VornLog, EventCarriesTargetSourceLineAndOperationTag)
{
    std::ostringstream out;
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(out);
    sink->set_pattern("%n|%s|%#|%v");
    vorn_log::set_sink(sink);
    const int line = __LINE__ + 1;
    VORN_WARN("power_prefs_save", "failed to persist power prefs: {}", "disk full");
    vorn_log::set_sink(nullptr);

    EXPECT_EQ(out.str(), "vorn::settings|log_test.cpp|" + std::to_string(line) +
                             "|[power_prefs_save] failed to persist power prefs: disk full\n");
}
