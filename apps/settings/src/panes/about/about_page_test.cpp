// The About page's cards, built from known machine data and laid out headless.
#include "panes/about/about_page.hpp"

#include "page_doc/page_doc.hpp"
#include "system_ops/test_tools.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/app.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets/button.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <sstream>

namespace settings::panes::about {
namespace {

SystemInfo sample()
{
    SystemInfo info;
    info.os_name = "Debian GNU/Linux 12 (bookworm)";
    info.kernel = "6.1.0-18-amd64";
    info.uptime = "1d 1h 1m";
    info.hostname = "workstation";
    info.processor = "AMD Ryzen 7 7840U";
    info.memory = "31.1 GiB";
    return info;
}

TEST(AboutPage, CardsShowTheMachineAndAMissingIdentityAsNotSetUp)
{
    page_doc::Document doc;
    auto view = build_view(sample());
    vorn_ui::HeadlessWindow window(*view, doc, {900, 1000});
    window.frame();
    for (std::string_view text :
         {"workstation", "Debian GNU/Linux 12 (bookworm)", "Workspace identity", "Not connected", "Not set up",
          "Identity backup", "System", "6.1.0-18-amd64", "1d 1h 1m", "Hardware", "AMD Ryzen 7 7840U", "31.1 GiB"}) {
        EXPECT_TRUE(window.find_text_bounds(text).has_value()) << text;
    }
    // Each value sits on the line of its label, to the right of it.
    const auto label = window.find_text_bounds("Kernel");
    const auto value = window.find_text_bounds("6.1.0-18-amd64");
    ASSERT_TRUE(label && value);
    EXPECT_GT(value->x0, label->x1);
    EXPECT_NEAR((value->y0 + value->y1) / 2, (label->y0 + label->y1) / 2, 2.0);
}

TEST(AboutPage, AnIdentityShowsItsNameAndFingerprint)
{
    SystemInfo info = sample();
    info.identity_name = "Ada";
    info.identity_key = std::array<std::uint8_t, 32>{0x1f, 0x2e, 0x3d, 0x4c, 0x5b, 0x6a, 0x79, 0x88};
    page_doc::Document doc;
    auto view = build_view(info);
    vorn_ui::HeadlessWindow window(*view, doc, {900, 1000});
    window.frame();
    EXPECT_TRUE(window.find_text_bounds("Ada").has_value());
    EXPECT_TRUE(window.find_text_bounds("1f2e\u00B73d4c\u00B75b6a\u00B77988").has_value());
    EXPECT_FALSE(window.find_text_bounds("Not set up").has_value());
}


// The first accessibility node with this id.
std::optional<nlohmann::ordered_json> access_node(const nlohmann::ordered_json& node, std::string_view id)
{
    if (node.value("id", std::string()) == id) {
        return node;
    }
    for (const auto& child : node.value("children", nlohmann::ordered_json::array())) {
        if (auto found = access_node(child, id)) {
            return found;
        }
    }
    return std::nullopt;
}

vorn_ui::Button* find_button(vorn_ui::Widget& widget, std::string_view id)
{
    if (auto* button = dynamic_cast<vorn_ui::Button*>(&widget); button != nullptr && button->id() == id) {
        return button;
    }
    for (vorn_ui::Widget* child : widget.children_mut()) {
        if (auto* found = find_button(*child, id)) {
            return found;
        }
    }
    return nullptr;
}

// The backup button against a fake backup tool on PATH.
class AboutBackupButton : public system_ops::testing::FakeTools {};

TEST_F(AboutBackupButton, AClickAndAnAccessibilityActivationEachOpenTheBackupTool)
{
    tool("vorn-identity-backup", {{.args = "*"}});
    page_doc::Document doc;
    auto view = build_view(sample());
    vorn_ui::HeadlessWindow window(*view, doc, {900, 1000});
    window.frame();
    vorn_ui::app::App app("so.vorn.settings");
    app.runs_control_invocations = true;

    const auto node = access_node(window.accessibility_json(), "about.identity-backup.button");
    ASSERT_TRUE(node.has_value());
    EXPECT_EQ(node->value("role", std::string()), "button");
    EXPECT_EQ(node->value("label", std::string()), "Create encrypted backup\u2026");
    vorn_ui::Button* button = find_button(*view, "about.identity-backup.button");
    ASSERT_NE(button, nullptr);
    const vorn_ui::Rect rect = button->get_rect();
    EXPECT_DOUBLE_EQ(rect.width(), 236.0);
    EXPECT_DOUBLE_EQ(rect.height(), 40.0);
    // Below the card's caption.
    const auto caption = window.find_text_bounds("Create an encrypted portable copy of your identity.");
    ASSERT_TRUE(caption.has_value());
    EXPECT_GT(rect.y0, caption->y0);

    window.click((rect.x0 + rect.x1) / 2, (rect.y0 + rect.y1) / 2);
    EXPECT_EQ(app.run_control_invocations(window.root(), doc, std::chrono::steady_clock::now()).invocations, 1U);
    ASSERT_TRUE(wait_for_calls(1));

    EXPECT_TRUE(button->perform_action(vorn_ui::Action::activate(), {}));
    window.frame();
    EXPECT_EQ(app.run_control_invocations(window.root(), doc, std::chrono::steady_clock::now()).invocations, 1U);
    ASSERT_TRUE(wait_for_calls(2));
    EXPECT_THAT(call_lines(), ::testing::ElementsAre("vorn-identity-backup", "vorn-identity-backup"));
    // The page shows no message either way.
    EXPECT_EQ(app.recent_completions().size(), 2U);
}

TEST_F(AboutBackupButton, AMissingToolIsLoggedAndThePageShowsNothing)
{
    page_doc::Document doc;
    auto view = build_view(sample());
    vorn_ui::HeadlessWindow window(*view, doc, {900, 1000});
    window.frame();
    const std::vector<vorn_ui::DrawnText> before = window.drawn_texts();

    std::ostringstream log;
    vorn_log::set_sink(std::make_shared<spdlog::sinks::ostream_sink_mt>(log));
    open_backup_tool();
    vorn_log::set_sink(nullptr);
    window.frame();

    EXPECT_THAT(log.str(), ::testing::HasSubstr("Identity backup is not installed (vorn-identity-backup was not found)."));
    EXPECT_THAT(log.str(), ::testing::HasSubstr("warning"));
    EXPECT_EQ(window.drawn_texts().size(), before.size());
}

}  // namespace
}  // namespace settings::panes::about
