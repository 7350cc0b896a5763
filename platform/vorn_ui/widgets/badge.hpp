#pragma once
// Badge: a short status word in a pill, in one of the theme's tones or in colours given by the caller.
//
//   vorn_ui::Badge("Up to date", vorn_ui::Tone::Success)
//   vorn_ui::Badge::with_style("Beta", vorn_ui::BadgeStyle{fill, text})

#include "vorn_ui/widget.hpp"

#include <memory>
#include <string>

namespace vorn_ui::widget::badge {

// Explicit badge colours: the pill's fill and the text.
struct BadgeStyle {
    Color fill;
    Color text;
    friend bool operator==(const BadgeStyle&, const BadgeStyle&) = default;
};

// The tone of the badge kinds the pages use: 0 positive (success), 1 in progress (info), 2 muted (neutral).
[[nodiscard]] Tone tone_of_kind(std::uint8_t kind);

class Badge final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::badge::Badge", "Badge")

    Badge(std::string text, Tone tone);
    Badge(std::string text, std::uint8_t tone_code) : Badge(std::move(text), static_cast<Tone>(tone_code)) {}
    [[nodiscard]] static Badge with_style(std::string text, BadgeStyle style);
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<Badge>(std::move(*this)); }

    void set_text(std::string text);
    void set_tone(Tone tone);
    [[nodiscard]] const std::string& text() const { return text_; }
    [[nodiscard]] std::optional<Tone> tone() const { return tone_; }
    // The box the layout gave the pill (all zero until laid out); the pill hugs its text at the box's start.
    [[nodiscard]] const Rect& pill_rect() const { return pill_; }

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    [[nodiscard]] Size measure(flex_layout::KnownSize known, flex_layout::AvailableSize available,
                               TextRenderer& text) const override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] std::optional<AccessNode> accessibility() const override;
    [[nodiscard]] bool needs_redraw() const override { return redraw_; }
    void mark_drawn() override { redraw_ = false; }
    [[nodiscard]] bool is_layout_dirty() const override { return pill_.is_zero(); }

private:
    Badge() = default;

    std::string text_;
    std::optional<Tone> tone_;
    std::optional<BadgeStyle> style_;
    Rect rect_{};
    Rect pill_{};
    bool redraw_ = true;
};

}  // namespace vorn_ui::widget::badge

namespace vorn_ui {
using widget::badge::Badge;
using widget::badge::BadgeStyle;
}  // namespace vorn_ui
