#pragma once
// The widget side every preference page shares: the page's view (one content widget, built by the page), its
// rectangle, the input flag behind the page's search descriptor (page_helpers::preference_pane_search_descriptor),
// and the rule for rebuilding the view.
//
// A page derives from PreferencePane, syncs its model in sync(), then calls refresh_view(doc, ctx): the view is
// built on the first call and again whenever view_key() changes (a value the view shows as text, a refusal sentence,
// an availability), so controls keep their focus and open lists between changes. The toolkit learns about a
// rebuild through take_structure_dirty().

#include "vorn_actions/context.hpp"
#include "vorn_ui/widget.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::preference_pane {

class PreferencePane : public vorn_ui::Widget {
public:
    struct Descriptor {
        std::string_view id;
        std::string_view title;
        std::string_view description;
    };

    std::vector<const vorn_ui::Widget*> children() const override;
    std::vector<vorn_ui::Widget*> children_mut() override;
    vorn_ui::NodeId build_layout(flex_layout::Tree& tree, const vorn_ui::StyleContext& style,
                                 vorn_ui::NodeWidgetMap& widgets) override;
    void apply_layout(const flex_layout::Tree& tree, vorn_ui::NodeId node, double parent_x,
                      double parent_y) override;
    void draw(vorn_ui::DrawContext& ctx) const override;
    void handle_event(const vorn_ui::Event& event, vorn_ui::DispatchContext& ctx) override;
    [[nodiscard]] vorn_ui::Rect get_rect() const override { return rect_; }
    std::optional<vorn_actions::ActionContext> pane_descriptor() override;
    bool take_structure_dirty() override;

    // The current view (none before the first sync or layout).
    [[nodiscard]] vorn_ui::Widget* content() const { return content_.get(); }

protected:
    explicit PreferencePane(Descriptor descriptor) : descriptor_(descriptor) {}

    // What the view shows beyond the document's own keys; a change rebuilds the view.
    [[nodiscard]] virtual std::string view_key() const = 0;
    [[nodiscard]] virtual std::unique_ptr<vorn_ui::Widget> build_view() = 0;
    // Rebuilds the view when needed, then syncs it with the document.
    void refresh_view(page_doc::Document& doc, vorn_ui::SyncContext& ctx);

private:
    Descriptor descriptor_;
    std::unique_ptr<vorn_ui::Widget> content_;
    std::string built_key_;
    vorn_ui::NodeId content_node_{};
    vorn_ui::Rect rect_{};
    bool input_ = false;
    bool structure_dirty_ = false;
};

}  // namespace settings::panes::preference_pane
