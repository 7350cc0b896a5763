#pragma once
// The widget side every preference page shares: the page's view (one content widget, built by the page), its
// rectangle, the input flag behind the page's search descriptor (page_helpers::preference_pane_search_descriptor),
// and the rule for keeping the view.
//
// The view is built once and then changed in place: a page derives from PreferencePane, syncs its model in sync(),
// then calls refresh_view(doc, ctx). Controls bound to document keys follow the document by themselves; what the
// view shows beyond them (a value row, a slider the runner moved, a status sentence) is put into the built view by
// show_values(), which finds its widgets by control id. The view is built anew only when structure_key() changes,
// that is when rows appear or vanish (a refusal sentence below a row, a source added, a save error); the control
// that had the focus and a drop-down list that was open are then found again by their control id, so a change
// never throws the keyboard user back to the top of the page. The toolkit learns about a rebuild through
// take_structure_dirty().
//
// A control id is what the control answers as its id: `with_id` of a toggle or slider, the id of a drop-down,
// a shortcut recorder or a button, the label of a text (`Text::with_label`).

#include "vorn_actions/context.hpp"
#include "vorn_ui/widget.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace settings::panes::preference_pane {

// The id a widget answers as a control of the view (none for a widget without one).
[[nodiscard]] std::optional<std::string_view> control_id(const vorn_ui::Widget& widget);

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
    // How many times the view was built (a value change in place builds nothing).
    [[nodiscard]] std::uint64_t view_builds() const { return builds_; }

protected:
    explicit PreferencePane(Descriptor descriptor) : descriptor_(descriptor) {}

    // Which rows the view has; a change builds the view anew. Values never belong here.
    [[nodiscard]] virtual std::string structure_key() const = 0;
    [[nodiscard]] virtual std::unique_ptr<vorn_ui::Widget> build_view() = 0;
    // Puts the values the document does not carry into the built view (show_text, show_toggle, ...); answers
    // whether anything shown changed.
    virtual bool show_values() { return false; }
    // Builds the view when there is none or its rows changed, shows the values, then syncs it with the document.
    void refresh_view(page_doc::Document& doc, vorn_ui::SyncContext& ctx);

    // The control of the built view with this id and type (null when there is none).
    template <class W>
    [[nodiscard]] W* control(std::string_view id) const
    {
        const auto found = controls_.find(std::string(id));
        return found == controls_.end() ? nullptr : dynamic_cast<W*>(found->second);
    }
    // Shows a value in the control with this id, as a change by the program (nothing is written or sent);
    // answers whether what it shows changed. An id the view does not hold changes nothing.
    bool show_text(std::string_view id, std::string_view text);
    bool show_toggle(std::string_view id, bool on);
    bool show_slider(std::string_view id, double value);
    bool show_choice(std::string_view id, std::string_view choice);
    bool show_choices(std::string_view id, std::vector<std::string> choices);

private:
    void build();
    void index_controls();

    Descriptor descriptor_;
    std::unique_ptr<vorn_ui::Widget> content_;
    std::unordered_map<std::string, vorn_ui::Widget*> controls_;
    std::string built_key_;
    std::uint64_t builds_ = 0;
    vorn_ui::NodeId content_node_{};
    vorn_ui::Rect rect_{};
    bool input_ = false;
    bool structure_dirty_ = false;
};

}  // namespace settings::panes::preference_pane
