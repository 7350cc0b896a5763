#include "vorn_ui/widgets/dropdown.hpp"

#include "vorn_ui/actions/bound_action.hpp"
#include "vorn_ui/access.hpp"
#include "vorn_ui/icons.hpp"
#include "vorn_ui/paint.hpp"
#include "vorn_ui/text.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace vorn_ui::widget::dropdown {

namespace {
constexpr float text_size = 13.0f;
constexpr float padding_x = 12.0f;
constexpr float chevron_room = 28.0f;
constexpr float min_height = 34.0f;
constexpr double row_height = 32.0;
constexpr std::size_t visible_rows = 8;
constexpr double list_padding = 4.0;
}  // namespace

Dropdown::Dropdown(std::string id, std::vector<std::string> choices)
    : id_(std::move(id)), choices_(std::move(choices))
{
}

Dropdown Dropdown::from_state(LocalState<std::string> cell, std::vector<std::string> choices)
{
    Dropdown dropdown;
    dropdown.choices_ = std::move(choices);
    dropdown.value_.bind_state(std::move(cell));
    return dropdown;
}

Dropdown Dropdown::with_id(std::string id) &&
{
    id_ = std::move(id);
    return std::move(*this);
}

Dropdown Dropdown::with_key(std::string key) &&
{
    if (!key.empty()) {
        value_.bind_key(std::move(key));
    }
    return std::move(*this);
}

Dropdown Dropdown::with_placeholder(std::string placeholder) &&
{
    placeholder_ = std::move(placeholder);
    return std::move(*this);
}

Dropdown Dropdown::with_label(std::string label) &&
{
    label_ = std::move(label);
    return std::move(*this);
}

Dropdown Dropdown::with_selected(std::string choice) &&
{
    value_.set_quietly(std::move(choice));
    return std::move(*this);
}

Dropdown Dropdown::with_width(float width) &&
{
    width_ = width;
    return std::move(*this);
}

Dropdown Dropdown::with_enabled(bool enabled) &&
{
    enabled_ = enabled;
    return std::move(*this);
}

Dropdown Dropdown::on_action(vorn_actions::ActionBinding<std::string> binding) &&
{
    action_.emplace(std::move(binding));
    return std::move(*this);
}

Dropdown Dropdown::on_change(std::function<void(const std::string&)> callback) &&
{
    on_change_ = std::move(callback);
    return std::move(*this);
}

std::optional<std::size_t> Dropdown::selected_index() const
{
    const auto it = std::find(choices_.begin(), choices_.end(), value_.value());
    if (it == choices_.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(it - choices_.begin());
}

void Dropdown::set_choices(std::vector<std::string> choices)
{
    choices_ = std::move(choices);
    if (open_) {
        close();
    }
}

void Dropdown::open()
{
    if (open_ || !is_enabled() || choices_.empty()) {
        return;
    }
    open_ = true;
    type_ahead_.reset();
    highlight_ = selected_index().value_or(0);
    first_row_ = 0;
    reveal_highlight();
    place_list(viewport_, list_width_);
}

void Dropdown::close()
{
    open_ = false;
    highlight_.reset();
    stored_rect_.reset();
    press_opened_ = false;
}

bool Dropdown::choose(std::size_t index)
{
    if (!is_enabled() || index >= choices_.size()) {
        return false;
    }
    const std::string choice = choices_[index];
    close();
    if (value_.set_by_user(choice)) {
        if (action_) {
            (void)action_->emit(choice);
        }
        if (on_change_) {
            on_change_(choice);
        }
    }
    return true;
}

void Dropdown::reveal_highlight()
{
    if (!highlight_) {
        return;
    }
    if (*highlight_ < first_row_) {
        first_row_ = *highlight_;
    } else if (*highlight_ >= first_row_ + visible_rows) {
        first_row_ = *highlight_ + 1 - visible_rows;
    }
}

void Dropdown::move_highlight(std::ptrdiff_t delta)
{
    if (choices_.empty()) {
        return;
    }
    const auto last = static_cast<std::ptrdiff_t>(choices_.size()) - 1;
    const auto current = static_cast<std::ptrdiff_t>(highlight_.value_or(0));
    highlight_ = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(current + delta, 0, last));
    reveal_highlight();
}

void Dropdown::place_list(const Rect& viewport, double width)
{
    const std::size_t rows = std::min(choices_.size(), visible_rows);
    const double height = static_cast<double>(rows) * row_height * scale_ + 2.0 * list_padding * scale_;
    const double w = std::max(rect_.width(), width);
    double x = rect_.x0;
    if (x + w > viewport.x1) {
        x = std::max(viewport.x0, viewport.x1 - w);
    }
    double y = rect_.y1 + 4.0 * scale_;
    if (y + height > viewport.y1 && rect_.y0 - 4.0 * scale_ - height >= viewport.y0) {
        y = rect_.y0 - 4.0 * scale_ - height;  // above the field when it does not fit below
    }
    list_ = Rect::from_origin_size(x, y, w, height);
    stored_rect_ = list_;
}

Rect Dropdown::row_rect(std::size_t index) const
{
    if (!open_ || index < first_row_ || index >= first_row_ + visible_rows || index >= choices_.size()) {
        return {};
    }
    const double top = list_.y0 + list_padding * scale_ + static_cast<double>(index - first_row_) * row_height * scale_;
    return {list_.x0 + list_padding * scale_, top, list_.x1 - list_padding * scale_, top + row_height * scale_};
}

void Dropdown::sync(page_doc::Document& doc, SyncContext& ctx)
{
    if (value_.sync(doc)) {
        ctx.changed = true;
    }
}

NodeId Dropdown::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    scale_ = style.ui_scale();
    if (style.window_width && style.window_height) {
        viewport_ = Rect{0.0, 0.0, *style.window_width, *style.window_height};
    }
    flex_layout::Style s;
    s.flex_shrink = 1.0f;
    if (width_ > 0.0f) {
        s.width = flex_layout::Dimension::points(style.scaled(width_));
    }
    s.min_width = flex_layout::Dimension::points(style.scaled(96.0f));
    const NodeId node = tree.new_measured_leaf(s);
    widgets.insert(node, *this);
    return node;
}

Size Dropdown::measure(flex_layout::KnownSize known, flex_layout::AvailableSize /*available*/, TextRenderer& text) const
{
    const float size = text.renderer_input_style(text_size).size;
    const float scale = text.ui_scale();
    float widest = text.measure(placeholder_.empty() ? std::string_view("Choose") : std::string_view(placeholder_), size).width;
    for (const std::string& choice : choices_) {
        widest = std::max(widest, text.measure(choice, size).width);
    }
    widest = std::max(widest, text.measure(value_.value(), size).width);
    const float line = text.measure("Ag", size).height;
    return {known.width.value_or(std::ceil(std::min(widest, 320.0f * scale) + (padding_x + chevron_room) * scale)),
            known.height.value_or(std::ceil(std::max(line + 14.0f * scale, min_height * scale)))};
}

void Dropdown::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
    if (open_) {
        place_list(viewport_, list_width_);
    }
}

void Dropdown::draw(DrawContext& ctx) const
{
    cairo_t* cr = ctx.cairo();
    TextRenderer* text = ctx.text();
    if (cr == nullptr || text == nullptr || rect_.area() <= 0.0) {
        return;
    }
    const Theme& theme = ctx.theme();
    const bool enabled = is_enabled();
    const double radius = theme.scaled(theme.control_radius);
    paint::fill_rounded(cr, rect_, radius, enabled ? theme.surface_raised : theme.surface_raised.with_alpha(0.5f));
    if (enabled && (hovered_ || open_)) {
        paint::fill_rounded(cr, rect_, radius, theme.hover);
    }
    paint::stroke_rounded(cr, rect_, radius,
                          open_ ? theme.accent : (theme.high_contrast ? theme.text : theme.outline_strong),
                          open_ ? 1.5 : 1.0);
    const bool chosen = !value_.value().empty();
    const std::string_view shown = chosen ? std::string_view(value_.value()) : std::string_view(placeholder_);
    TextSpec spec;
    spec.size = text->renderer_input_style(text_size).size;
    spec.wrap_width = static_cast<float>(std::max(0.0, rect_.width() - (padding_x + chevron_room) * scale_));
    spec.ellipsize = true;
    spec.max_lines = 1;
    const TextMetrics metrics = text->metrics(shown.empty() ? "Ag" : shown, spec);
    if (!shown.empty()) {
        const Color ink = !enabled ? theme.text_disabled : (chosen ? theme.text : theme.text_secondary);
        text->draw(cr, shown, spec, {rect_.x0 + padding_x * scale_, rect_.y0 + (rect_.height() - metrics.height) / 2.0},
                   ink);
    }
    const double box = 16.0 * scale_;
    icons::draw(cr, Icon::ChevronDown,
                Rect::from_origin_size(rect_.x1 - 8.0 * scale_ - box, rect_.y0 + (rect_.height() - box) / 2.0, box, box),
                enabled ? theme.text_secondary : theme.text_disabled, 1.5);
    if (focused_ && !open_) {
        paint::focus_ring(cr, theme, rect_, radius);
    }
}

void Dropdown::draw_overlay(DrawContext& ctx, OverlayRecord& overlay)
{
    if (!open_) {
        return;
    }
    cairo_t* cr = ctx.cairo();
    TextRenderer* text = ctx.text();
    viewport_ = overlay.viewport;
    const float size = text != nullptr ? text->renderer_input_style(text_size).size : 13.0f;
    if (text != nullptr) {
        double widest = 0.0;
        for (const std::string& choice : choices_) {
            widest = std::max<double>(widest, text->measure(choice, size).width);
        }
        list_width_ = std::min(widest + (2.0 * padding_x + 24.0 + 2.0 * list_padding) * scale_, 420.0 * scale_);
    }
    place_list(viewport_, list_width_);
    if (cr == nullptr || text == nullptr) {
        return;
    }
    const Theme& theme = ctx.theme();
    const double radius = theme.scaled(theme.control_radius);
    if (!theme.high_contrast) {
        paint::fill_rounded(cr, Rect{list_.x0, list_.y0 + 2.0, list_.x1, list_.y1 + 4.0}, radius + 2.0, theme.shadow);
    }
    paint::fill_rounded(cr, list_, radius, theme.surface_raised.mix(theme.surface, theme.is_dark ? 0.0f : 0.5f));
    paint::stroke_rounded(cr, list_, radius, theme.high_contrast ? theme.text : theme.outline_strong, 1.0);
    const std::optional<std::size_t> chosen = selected_index();
    TextSpec spec;
    spec.size = size;
    for (std::size_t i = first_row_; i < choices_.size() && i < first_row_ + visible_rows; ++i) {
        const Rect row = row_rect(i);
        const bool lit = highlight_ == i;
        if (lit) {
            paint::fill_rounded(cr, row, radius - 2.0, theme.accent.with_alpha(theme.high_contrast ? 1.0f : 0.22f));
        }
        spec.wrap_width = static_cast<float>(std::max(0.0, row.width() - (padding_x + 24.0) * scale_));
        spec.ellipsize = true;
        spec.max_lines = 1;
        const TextMetrics metrics = text->metrics(choices_[i], spec);
        const Color ink = lit && theme.high_contrast ? theme.on_accent : theme.text;
        text->draw(cr, choices_[i], spec, {row.x0 + padding_x * scale_, row.y0 + (row.height() - metrics.height) / 2.0},
                   ink);
        if (chosen == i) {
            const double box = 14.0 * scale_;
            icons::draw(cr, Icon::Check,
                        Rect::from_origin_size(row.x1 - 8.0 * scale_ - box, row.y0 + (row.height() - box) / 2.0, box, box),
                        lit && theme.high_contrast ? theme.on_accent : theme.accent, 1.8);
        }
    }
}

namespace {

void append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool starts_with_folded(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (fold(text[i]) != prefix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::size_t> TypeAhead::type(const std::vector<std::string>& choices,
                                           std::optional<std::size_t> highlight, char32_t character, Instant now)
{
    if (!last_ || now - *last_ > pause) {
        typed_.clear();
    }
    last_ = now;
    std::string letter;
    append_utf8(letter, character < 0x80 ? static_cast<char32_t>(fold(static_cast<char>(character))) : character);
    typed_ += letter;
    if (choices.empty()) {
        return std::nullopt;
    }
    // One letter, or the same letter again and again: the next choice starting with it, after the highlighted one.
    bool repeated = true;
    for (std::size_t i = 0; i < typed_.size(); i += letter.size()) {
        repeated = repeated && typed_.compare(i, letter.size(), letter) == 0;
    }
    const std::string_view wanted = repeated ? std::string_view(letter) : std::string_view(typed_);
    const std::size_t start = highlight ? (*highlight + (repeated ? 1 : 0)) % choices.size() : 0;
    for (std::size_t step = 0; step < choices.size(); ++step) {
        const std::size_t i = (start + step) % choices.size();
        if (starts_with_folded(choices[i], wanted)) {
            return i;
        }
    }
    return std::nullopt;
}

bool Dropdown::handle_key(const KeyDown& key, Instant now)
{
    const Modifiers m = key.modifiers;
    if (!open_) {
        if ((key.key == Key::Down && !m.control) || (key.key == Key::Up && m.alt)) {
            open();
            return open_;
        }
        return false;
    }
    switch (key.key) {
    case Key::Escape:
    case Key::Tab: close(); return key.key == Key::Escape;
    case Key::Up:
        if (m.alt) {
            close();
        } else {
            move_highlight(-1);
        }
        return true;
    case Key::Down: move_highlight(1); return true;
    case Key::PageUp: move_highlight(-static_cast<std::ptrdiff_t>(visible_rows)); return true;
    case Key::PageDown: move_highlight(static_cast<std::ptrdiff_t>(visible_rows)); return true;
    case Key::Home: move_highlight(-static_cast<std::ptrdiff_t>(choices_.size())); return true;
    case Key::End: move_highlight(static_cast<std::ptrdiff_t>(choices_.size())); return true;
    case Key::Enter:
    case Key::Space:
        if (highlight_) {
            choose(*highlight_);
        } else {
            close();
        }
        return true;
    case Key::Character: {
        if (m.control || m.alt || m.super || key.character == 0) {
            return false;
        }
        if (const auto found = type_ahead_.type(choices_, highlight_, key.character, now)) {
            highlight_ = *found;
            reveal_highlight();
        }
        return true;
    }
    default: return false;
    }
}

void Dropdown::handle_event(const Event& event, DispatchContext& ctx)
{
    const std::optional<Point> pointer = ctx.pointer(event);
    if (event.get<PointerMove>() != nullptr || event.get<PointerLeave>() != nullptr) {
        const bool inside = pointer && rect_.contains(*pointer);
        if (inside != hovered_) {
            hovered_ = inside;
            ctx.changed = true;
        }
        if (open_ && pointer) {
            for (std::size_t i = first_row_; i < choices_.size() && i < first_row_ + visible_rows; ++i) {
                if (row_rect(i).contains(*pointer) && highlight_ != i) {
                    highlight_ = i;
                    ctx.changed = true;
                }
            }
            ctx.handled = true;
        }
        return;
    }
    if (const auto* wheel = event.get<PointerWheel>(); wheel != nullptr && open_) {
        if (pointer && list_.contains(*pointer) && choices_.size() > visible_rows) {
            const std::size_t max_first = choices_.size() - visible_rows;
            if (wheel->delta_y > 0.0) {
                first_row_ = std::min(first_row_ + 1, max_first);
            } else if (wheel->delta_y < 0.0 && first_row_ > 0) {
                --first_row_;
            }
            ctx.changed = true;
        }
        ctx.handled = true;  // the page below does not scroll under an open list
        return;
    }
    if (const auto* button = event.get<PointerButton>()) {
        if (!pointer) {
            return;
        }
        if (open_) {
            ctx.handled = true;
            ctx.changed = true;
            if (button->pressed) {
                if (!list_.contains(*pointer) && !rect_.contains(*pointer)) {
                    close();  // a click outside closes the list and goes no further
                } else if (rect_.contains(*pointer)) {
                    close();
                }
                return;
            }
            if (press_opened_) {
                press_opened_ = false;
                return;
            }
            for (std::size_t i = first_row_; i < choices_.size() && i < first_row_ + visible_rows; ++i) {
                if (row_rect(i).contains(*pointer)) {
                    choose(i);
                    break;
                }
            }
            return;
        }
        if (button->pressed && button->button == MouseButton::Left && rect_.contains(*pointer) && !ctx.handled &&
            is_enabled()) {
            ctx.request = ctx.node;
            ctx.handled = true;
            ctx.changed = true;
            open();
            press_opened_ = open_;
        }
        return;
    }
    if (const auto* key = event.get<KeyDown>(); key != nullptr && focused_ && is_enabled()) {
        if (handle_key(*key, ctx.now)) {
            ctx.handled = true;
            ctx.changed = true;
        }
    }
}

std::optional<std::string_view> Dropdown::label() const
{
    if (!id_.empty()) {
        return std::string_view(id_);
    }
    return std::string_view("dropdown");
}

void Dropdown::set_focus(bool focused)
{
    focused_ = focused;
    if (!focused && open_) {
        close();
    }
}

std::optional<Rect> Dropdown::ime_cursor_rect() const
{
    if (!open_) {
        return std::nullopt;
    }
    return stored_rect_;
}

std::optional<AccessNode> Dropdown::accessibility() const
{
    AccessNode node(access_role::combo_box);
    if (label_) {
        node = std::move(node).with_label(*label_);
    } else if (!placeholder_.empty()) {
        node = std::move(node).with_label(placeholder_);
    }
    if (!id_.empty()) {
        node = std::move(node).with_id(id_);
    }
    if (!value_.value().empty()) {
        node = std::move(node).with_value(value_.value());
    }
    node = std::move(node).with_bounds(rect_);
    node.expanded = open_;
    node.focused = focused_;
    node.disabled = !is_enabled();
    return std::move(node)
        .with_action(Action::Kind::Activate)
        .with_action(open_ ? Action::Kind::Collapse : Action::Kind::Expand)
        .with_action(Action::Kind::SetValue)
        .with_action(Action::Kind::Focus);
}

bool Dropdown::perform_action(const Action& action, ActionCtx /*ctx*/)
{
    if (!is_enabled()) {
        return false;
    }
    switch (action.kind) {
    case Action::Kind::Activate:
        if (open_) {
            close();
        } else {
            open();
        }
        return true;
    case Action::Kind::Expand: open(); return open_;
    case Action::Kind::Collapse:
    case Action::Kind::Dismiss: close(); return true;
    case Action::Kind::SetValue: {
        const auto it = std::find(choices_.begin(), choices_.end(), action.text);
        if (it == choices_.end()) {
            return false;
        }
        return choose(static_cast<std::size_t>(it - choices_.begin()));
    }
    default: return false;
    }
}

std::optional<ControlInvocation> Dropdown::take_control_invocation() { return take_bound_invocation(action_); }

std::vector<ControlActionBinding> Dropdown::control_action_bindings() const
{
    return bound_action_bindings(action_);
}

void Dropdown::refresh_control_action_availability(const ActionAvailability& availability)
{
    (void)refresh_bound_availability(action_, availability);
}

}  // namespace vorn_ui::widget::dropdown
