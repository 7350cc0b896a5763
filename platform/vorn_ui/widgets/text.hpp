#pragma once
// Text: a label or paragraph. Wraps to the width it is given (unless no_wrap()), in the theme's text colour or a
// chosen role colour.
//
//   vorn_ui::Text("Brightness")                                   // 13 px body text
//   vorn_ui::Text("SETTINGS").with_size(12.0f).caption()          // 12 px, secondary colour
//   vorn_ui::Text(title).with_size(24.0f).bold()

#include "vorn_ui/text.hpp"
#include "vorn_ui/widget.hpp"

#include <memory>
#include <optional>
#include <string>

namespace vorn_ui::widget::text {

// Which theme colour a text is drawn in.
enum class TextColor : std::uint8_t { Primary, Secondary, Disabled, Accent, Info, Success, Warning, Danger };

class Text final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::text::Text", "Text")

    Text() = default;
    explicit Text(std::string text) : text_(std::move(text)) {}

    [[nodiscard]] Text with_size(float size) &&;
    [[nodiscard]] Text with_style(TextStyle style) &&;
    [[nodiscard]] Text bold() && { return std::move(*this).with_style(TextStyle::Bold); }
    [[nodiscard]] Text medium() && { return std::move(*this).with_style(TextStyle::Medium); }
    // Caption style: regular weight in the secondary colour.
    [[nodiscard]] Text caption() &&;
    [[nodiscard]] Text with_color(TextColor color) &&;
    [[nodiscard]] Text with_custom_color(Color color) &&;
    [[nodiscard]] Text with_align(TextAlign align) &&;
    // One line; cut with "…" when narrower than the text.
    [[nodiscard]] Text no_wrap() &&;
    [[nodiscard]] Text with_max_lines(std::uint16_t lines) &&;
    // The optional label answered by `label` (an identifying text, not shown).
    [[nodiscard]] Text with_label(std::string label) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<Text>(std::move(*this)); }

    void set_text(std::string text);
    [[nodiscard]] const std::string& text() const { return text_; }
    [[nodiscard]] float size() const { return size_; }
    [[nodiscard]] TextStyle style() const { return style_; }
    [[nodiscard]] TextColor color_role() const { return color_; }

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    [[nodiscard]] Size measure(flex_layout::KnownSize known, flex_layout::AvailableSize available,
                               TextRenderer& text) const override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] std::optional<std::string_view> label() const override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] std::optional<AccessNode> accessibility() const override;
    [[nodiscard]] bool needs_redraw() const override { return content_changed_ || look_changed_; }
    void mark_drawn() override;
    [[nodiscard]] bool is_layout_dirty() const override { return layout_dirty_; }

private:
    [[nodiscard]] TextSpec spec(const TextRenderer& text, std::optional<float> wrap_width) const;
    void look_changed();

    std::string text_;
    std::optional<std::string> label_;
    float size_ = 13.0f;
    TextStyle style_ = TextStyle::Regular;
    TextColor color_ = TextColor::Primary;
    std::optional<Color> custom_color_;
    TextAlign align_ = TextAlign::Start;
    bool wrap_ = true;
    std::uint16_t max_lines_ = 0;
    Rect rect_{};
    bool content_changed_ = true;  // the two redraw flags
    bool look_changed_ = true;
    bool layout_dirty_ = true;
};

// The colour of a role in a theme.
[[nodiscard]] Color text_color(const Theme& theme, TextColor role);

}  // namespace vorn_ui::widget::text

namespace vorn_ui {
using widget::text::Text;
using widget::text::TextColor;
}  // namespace vorn_ui
