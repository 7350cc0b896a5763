#pragma once
// The frame driver: what a window does with its root widget, shared by the headless window and the real one.
//
// One frame (run_frame):
//   1. sync        root.sync(document, ctx) when a document is attached
//   2. structure   root.take_structure_dirty(), once (its answer is reported)
//   3. theme       the first theme_override() of the tree (depth first), else the window's theme; the text
//                  renderer takes its scales
//   4. layout      a fresh flex_layout tree: root.build_layout, compute at the window's logical size with the
//                  widgets' measure (through the NodeWidgetMap and the TextRenderer), root.apply_layout(0, 0)
//   5. draw        when given a cairo context: clear to the theme's background, root.draw_with_presence, then the
//                  overlay pass root.draw_overlay (drop-down lists and other popups)
//   6. drawn       root.mark_drawn()
//
// Events (dispatch): pointer events go to the widget that holds the pointer (wants_pointer_capture(), or the
// widget a press named in the dispatch context's request slot, until the button is released), otherwise down the
// tree from the root. After a press the requested widget, or else the deepest focusable widget under the pointer,
// takes the focus (a press on nothing focusable clears it). Keys go down the tree; a Tab or Shift+Tab nobody
// handled moves the focus through the focusable, enabled widgets of the current layout in tree order (and scrolls
// the new one into view); an Enter or Space nobody handled or changed activates the focused widget
// (perform_action with Action::activate()). Ctrl+W and Ctrl+Q that nobody handled are reported as a close request
// (DispatchResult::close_requested; the window's loop ends the application). Positions in events are physical pixels (logical × scale factor).
//
// UI thread only. The driver keeps no pointer to a widget across a change of the tree: the focused widget is found
// by asking is_focused(), the press owner is dropped when it is no longer part of the layout.

#include "vorn_ui/context.hpp"
#include "vorn_ui/event.hpp"
#include "vorn_ui/text.hpp"
#include "vorn_ui/theme.hpp"

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

extern "C" {
typedef struct _cairo cairo_t;  // NOLINT: the same typedef as <cairo.h>
}

namespace page_doc {
class Document;
}

namespace vorn_ui {

class Widget;

struct FrameStats {
    bool structure_changed = false;  // take_structure_dirty answered true
    bool synced = false;             // a document was attached and the root synced
    bool sync_changed = false;       // a widget's sync reported a change
    std::size_t nodes = 0;           // layout nodes
    double layout_ms = 0.0;
    double draw_ms = 0.0;
};

struct DispatchResult {
    bool handled = false;
    bool changed = false;
    bool focus_changed = false;
    bool close_requested = false;  // Ctrl+W or Ctrl+Q, not taken by a widget
};

class FrameDriver {
public:
    explicit FrameDriver(Widget& root);
    FrameDriver(const FrameDriver&) = delete;
    FrameDriver& operator=(const FrameDriver&) = delete;
    ~FrameDriver();

    [[nodiscard]] Widget& root() const { return *root_; }
    void set_root(Widget& root);
    void attach_document(page_doc::Document* document) { document_ = document; }

    // The window's theme (used unless a widget of the tree overrides it).
    void set_theme(Theme theme) { theme_ = std::move(theme); }
    // The theme of the last frame (the override, if any).
    [[nodiscard]] const Theme& theme() const { return frame_theme_; }
    // Logical size and physical pixels per logical pixel.
    void set_viewport(double width, double height, double scale_factor);
    [[nodiscard]] double width() const { return width_; }
    [[nodiscard]] double height() const { return height_; }
    [[nodiscard]] double scale_factor() const { return scale_; }

    // One frame; `cr` (may be null: no drawing) targets physical pixels; `now` for sync.
    FrameStats run_frame(cairo_t* cr, Instant now = std::chrono::steady_clock::now());
    // Steps of a frame, for callers that schedule them themselves.
    void sync(FrameStats& stats, Instant now);
    void layout(FrameStats& stats);
    void draw(cairo_t* cr, FrameStats& stats);
    [[nodiscard]] bool has_layout() const { return root_node_.valid(); }

    // Delivers one event (see above) that arrived at `now`. Needs a layout; without one it lays out first.
    DispatchResult dispatch(const Event& event, Instant now = std::chrono::steady_clock::now());

    // Focus
    [[nodiscard]] Widget* focused() const;
    // Moves the focus to the next (or previous) focusable widget; true when it moved.
    bool focus_next(bool backwards = false);
    // Gives `widget` the focus (nullptr clears it); scrolls it into view.
    void focus(Widget* widget);
    // The focusable, enabled widgets of the current layout, in tree order.
    [[nodiscard]] std::vector<Widget*> focus_order() const;

    [[nodiscard]] const flex_layout::Tree& tree() const { return tree_; }
    [[nodiscard]] const NodeWidgetMap& widgets() const { return widgets_; }
    [[nodiscard]] std::optional<NodeId> node_of(const Widget& widget) const;
    [[nodiscard]] bool in_layout(const Widget* widget) const { return widget != nullptr && node_of(*widget); }
    [[nodiscard]] TextRenderer& text() { return text_; }

    // The deepest widget of the current layout under a logical point that answers `accept`, respecting clips.
    template <class Accept>
    [[nodiscard]] Widget* deepest_at(Point point, Accept&& accept) const;

private:
    [[nodiscard]] Widget* capture_owner() const;
    [[nodiscard]] DispatchContext context_for(NodeId node) const;
    Widget* deepest_at_impl(Widget& widget, Point point, bool (*accept)(const Widget&, const void*),
                            const void* data) const;
    void reveal(Widget& widget);

    Widget* root_;
    page_doc::Document* document_ = nullptr;
    Theme theme_;
    Theme frame_theme_;
    double width_ = 1280.0;
    double height_ = 800.0;
    double scale_ = 1.0;

    TextRenderer text_;
    flex_layout::Tree tree_;
    NodeWidgetMap widgets_;
    std::unordered_map<const Widget*, NodeId> nodes_;  // reverse of widgets_
    NodeId root_node_{};
    Widget* press_owner_ = nullptr;  // the widget a press asked the pointer for, until release
};

template <class Accept>
Widget* FrameDriver::deepest_at(Point point, Accept&& accept) const
{
    if (!has_layout()) {
        return nullptr;
    }
    return deepest_at_impl(
        *root_, point,
        [](const Widget& w, const void* data) { return (*static_cast<const std::remove_reference_t<Accept>*>(data))(w); },
        &accept);
}

}  // namespace vorn_ui
