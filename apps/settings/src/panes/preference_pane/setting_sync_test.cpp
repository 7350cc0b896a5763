#include "panes/preference_pane/setting_sync.hpp"

#include "actions/set_setting.hpp"
#include "panes/preference_pane/testing.hpp"

#include <gtest/gtest.h>

namespace settings::panes::preference_pane {
namespace {

using page_doc::doc_bool;
using page_doc::doc_text;

TEST(SettingSync, ReconcilesAutomationAndControlChanges)
{
    page_doc::Document doc;
    vorn_ui::ActionHost host;

    // Nothing in the document: the current value, unchanged.
    auto quiet = reconcile_text(doc, host, "appearance.theme", "Dark");
    EXPECT_FALSE(quiet.changed);
    EXPECT_EQ(quiet.value, "Dark");

    // Automation wrote the setting key: the control's key follows.
    ASSERT_TRUE(actions::apply_settings_action(actions::string_pair("appearance.theme", "Nord"), doc));
    auto from_automation = reconcile_text(doc, host, "appearance.theme", "Dark");
    EXPECT_TRUE(from_automation.changed);
    EXPECT_EQ(from_automation.value, "Nord");
    EXPECT_EQ(doc_text(doc, "appearance.theme.edit"), "Nord");
    EXPECT_FALSE(host.last_action());

    // The control wrote its key: a set-setting action brings the setting key along.
    doc.put_str("appearance.theme.edit", "Light");
    auto from_control = reconcile_text(doc, host, "appearance.theme", "Nord");
    EXPECT_TRUE(from_control.changed);
    EXPECT_EQ(from_control.value, "Light");
    EXPECT_EQ(doc_text(doc, "appearance.theme"), "Light");
    ASSERT_TRUE(host.last_action());
    EXPECT_EQ(host.last_action()->kind, "settings.action");

    doc.put_bool("appearance.reduce_motion.edit", true);
    auto toggled = reconcile_bool(doc, host, "appearance.reduce_motion", false);
    EXPECT_TRUE(toggled.changed && toggled.value);
    EXPECT_EQ(doc_bool(doc, "appearance.reduce_motion"), true);
}

TEST(SettingSync, TextsNoSetSettingCarriesAreWrittenDirectlyWithoutARefusal)
{
    testing::LogCapture log;
    page_doc::Document doc;
    vorn_ui::ActionHost host;
    doc.put_str("shortcuts.next_tab", "Super+L");
    publish_text(host, doc, "shortcuts.next_tab", "");
    EXPECT_EQ(doc_text(doc, "shortcuts.next_tab"), "");
    const std::string long_text(2000, 'x');
    publish_text(host, doc, "appearance.theme", long_text);
    EXPECT_EQ(doc_text(doc, "appearance.theme"), long_text);
    EXPECT_FALSE(host.last_action());
    // Only the refused long text is logged by the host; the empty one is never sent.
    EXPECT_EQ(log.text().find("shortcuts.next_tab"), std::string::npos);
}

}  // namespace
}  // namespace settings::panes::preference_pane
