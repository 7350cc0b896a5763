// Events, focus, text input and accessibility defaults.

#include "vorn_ui/key_action.hpp"
#include "vorn_ui/widget.hpp"

namespace vorn_ui {

std::optional<std::uint8_t> Widget::hit_test(Point /*point*/) const { return std::nullopt; }
std::optional<std::string_view> Widget::value_text() const { return std::nullopt; }

std::optional<ValueTextHit> Widget::owned_value_text(Point point) const
{
    const Rect rect = get_rect();
    if (!rect.contains(point)) {
        return std::nullopt;
    }
    const std::optional<std::string_view> text = value_text();
    if (!text || text->empty()) {
        return std::nullopt;
    }
    return ValueTextHit{rect, std::string(*text)};
}

bool Widget::is_focusable() const { return false; }
void Widget::set_focus(bool /*focused*/) {}
bool Widget::is_focused() const { return false; }
bool Widget::accepts_text_input() const { return false; }
std::optional<Rect> Widget::ime_cursor_rect() const { return std::nullopt; }
bool Widget::stored_flag() const { return false; }
std::optional<AccessNode> Widget::accessibility() const { return std::nullopt; }

bool Widget::perform_action(const Action& /*action*/, ActionCtx /*ctx*/) { return false; }

bool Widget::perform_semantic_action(const Action& action, WordPair /*extra*/, ActionCtx ctx)
{
    return perform_action(action, ctx);
}

bool Widget::perform_key_action(std::string_view id, const Action& action, ActionCtx ctx)
{
    if (!parse_key_action_id(id)) {
        return false;
    }
    return perform_action(action, ctx);
}

bool Widget::is_enabled() const { return true; }
std::optional<std::uint8_t> Widget::stored_code() const { return std::nullopt; }

std::optional<std::string> Widget::get_state() const { return std::nullopt; }
void Widget::set_state(std::string_view /*state*/) {}
std::optional<TextReview> Widget::text_review() const { return std::nullopt; }

}  // namespace vorn_ui
