// The search descriptor of every built preference page: absent until the page handles input, then the page's entry,
// cleared by reading it once the page has nothing left to commit.
#include "operations/cells.hpp"
#include "panes/accessibility/accessibility_pane.hpp"
#include "panes/appearance/appearance_pane.hpp"
#include "panes/keyboard_shortcuts/shortcut_pane.hpp"
#include "panes/mouse_keyboard/mouse_keyboard_pane.hpp"
#include "panes/preference_pane/testing.hpp"
#include "panes/region/region_pane.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace settings::panes {
namespace {

struct PageCase {
    const char* name;
    std::function<std::unique_ptr<vorn_ui::Widget>()> make;
    const char* id;
    const char* title;
    const char* description;
};

// The first focusable widget (depth first) that the window shows.
vorn_ui::Widget* first_control(vorn_ui::Widget& widget, const vorn_ui::Rect& window)
{
    const vorn_ui::Rect rect = widget.get_rect();
    if (widget.is_focusable() && widget.is_enabled() && !rect.is_zero() && rect.x0 >= window.x0 &&
        rect.x1 <= window.x1 && rect.y0 >= window.y0 && rect.y1 <= window.y1) {
        return &widget;
    }
    for (vorn_ui::Widget* child : widget.children_mut()) {
        if (auto* found = first_control(*child, window)) {
            return found;
        }
    }
    return nullptr;
}

TEST(PaneDescriptor, EveryPageReportsItselfOnceAfterInput)
{
    const operations::OperationStatusCell status(operations::OperationStatus::idle());
    const std::vector<PageCase> pages = {
        {"Appearance", appearance::boxed_appearance_pane, "appearance", "Appearance", "Change appearance preferences"},
        {"Accessibility", accessibility::boxed_accessibility_pane, "accessibility", "Accessibility",
         "Change accessibility preferences"},
        {"Mouse & keyboard", [&status] { return mouse_keyboard::boxed_mouse_keyboard_pane(status); }, "input",
         "Mouse & keyboard", "Change input preferences"},
        {"Keyboard shortcuts", keyboard_shortcuts::boxed_shortcut_pane, "keyboard-shortcuts", "Keyboard shortcuts",
         "Change keyboard shortcuts"},
        {"Region & formats", [] { return region::boxed_region_pane(std::nullopt); }, "region", "Region & formats",
         "Change region preferences"},
    };
    for (const PageCase& page : pages) {
        SCOPED_TRACE(page.name);
        testing::TempConfig home;
        page_doc::Document doc;
        const std::unique_ptr<vorn_ui::Widget> pane = page.make();
        vorn_ui::HeadlessWindow window(*pane, doc, {1280, 800});
        window.frame();
        EXPECT_EQ(pane->pane_descriptor(), std::nullopt) << "no input yet";

        vorn_ui::Widget* control = first_control(*pane, {0, 0, 1280, 800});
        ASSERT_NE(control, nullptr);
        const vorn_ui::Rect rect = control->get_rect();
        window.click((rect.x0 + rect.x1) / 2, (rect.y0 + rect.y1) / 2);

        vorn_actions::ActionContext expected;
        expected.label = page.description;
        expected.application = vorn_actions::ActionApplication{.id = "org.vorn.Settings", .name = "Settings"};
        expected.subject = vorn_actions::ActionSubject{.id = std::string("settings.preference:") + page.id,
                                                       .kind = "settings.preference-pane",
                                                       .title = page.title};
        EXPECT_EQ(pane->pane_descriptor(), expected);
        // The input flag is gone; what is left is whether the click left an edit to commit.
        EXPECT_EQ(pane->pane_descriptor().has_value(), pane->needs_commit());

        // Once whatever the click changed is committed, reading again finds the flag cleared.
        (void)doc.commit();
        pane->on_commit();
        EXPECT_FALSE(pane->needs_commit());
        EXPECT_EQ(pane->pane_descriptor(), std::nullopt);
    }
}

}  // namespace
}  // namespace settings::panes
