// The About page's cards, built from known machine data and laid out headless.
#include "panes/about/about_page.hpp"

#include "page_doc/page_doc.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace settings::panes::about
