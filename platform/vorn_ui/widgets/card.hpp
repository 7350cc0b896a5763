#pragma once
// Card: a rounded surface holding an optional title (with an optional companion widget at the end of the title
// line, usually a button or a badge) above a body.
//
//   vorn_ui::card::surface("Battery", nullptr, std::move(body))
//   vorn_ui::Card(std::move(body)).with_title("Theme")

#include "vorn_ui/widgets/text.hpp"
#include "vorn_ui/widget.hpp"

#include <memory>
#include <optional>
#include <string>

namespace vorn_ui::widget::card {

class Card final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::card::Card", "Card")

    Card() = default;
    explicit Card(std::unique_ptr<Widget> body) : body_(std::move(body)) {}

    [[nodiscard]] Card with_title(std::string title) &&;
    [[nodiscard]] Card with_companion(std::unique_ptr<Widget> companion) &&;
    [[nodiscard]] Card with_body(std::unique_ptr<Widget> body) &&;
    // Inner padding (style units; default 20).
    [[nodiscard]] Card with_padding(float padding) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<Card>(std::move(*this)); }

    [[nodiscard]] const Text* title() const { return title_ ? &*title_ : nullptr; }
    [[nodiscard]] Widget* companion() const { return companion_.get(); }
    [[nodiscard]] Widget* body() const { return body_.get(); }

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] std::vector<const Widget*> children() const override;
    [[nodiscard]] std::vector<Widget*> children_mut() override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }

private:
    std::optional<Text> title_;
    std::unique_ptr<Widget> companion_;
    std::unique_ptr<Widget> body_;
    float padding_ = 20.0f;
    Rect rect_{};
    NodeId node_{};
    NodeId header_node_{};  // the title line (no widget of its own)
    NodeId title_node_{};
    NodeId companion_node_{};
    NodeId body_node_{};
};

// A card on the card surface with a title, an optional companion and a body.
[[nodiscard]] Card surface(std::string_view title, std::unique_ptr<Widget> companion, std::unique_ptr<Widget> body);

}  // namespace vorn_ui::widget::card

namespace vorn_ui {
using widget::card::Card;
namespace card = widget::card;
}  // namespace vorn_ui
