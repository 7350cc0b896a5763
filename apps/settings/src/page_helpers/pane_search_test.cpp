#include "page_helpers/pane_search.hpp"

#include <gtest/gtest.h>

namespace settings::page_helpers {
namespace {

TEST(PreferencePaneSearchDescriptor, AbsentWithoutTheFlagOtherwiseThePagesEntry)
{
    EXPECT_EQ(preference_pane_search_descriptor(false, "appearance", "Appearance", "Change appearance preferences"),
              std::nullopt);
    vorn_actions::ActionContext expected;
    expected.label = "Change time and date preferences";
    expected.application = vorn_actions::ActionApplication{.id = "org.vorn.Settings", .name = "Settings"};
    expected.subject = vorn_actions::ActionSubject{
        .id = "settings.preference:time-date", .kind = "settings.preference-pane", .title = "Time & date"};
    EXPECT_EQ(preference_pane_search_descriptor(true, "time-date", "Time & date", "Change time and date preferences"),
              expected);
}

}  // namespace
}  // namespace settings::page_helpers
