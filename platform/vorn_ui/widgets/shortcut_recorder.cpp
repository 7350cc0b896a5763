#include "vorn_ui/widgets/shortcut_recorder.hpp"

#include "vorn_ui/access.hpp"
#include "vorn_ui/paint.hpp"
#include "vorn_ui/text.hpp"

#include <page_doc/page_doc.hpp>

#include <algorithm>
#include <cmath>

namespace vorn_ui::widget::shortcut_recorder {

namespace {

constexpr float text_size = 13.0f;
constexpr float padding_x = 12.0f;
constexpr float min_width = 150.0f;
constexpr float min_height = 34.0f;
constexpr std::string_view capture_prompt = "Press a shortcut…";
constexpr std::string_view unbound_text = "Disabled";

std::optional<std::string> key_name(const KeyDown& key)
{
    switch (key.key) {
    case Key::Character: {
        const char32_t c = key.character;
        if (c >= U'a' && c <= U'z') {
            return std::string(1, static_cast<char>(c - U'a' + U'A'));
        }
        if (c > 0x20 && c < 0x7F) {
            return std::string(1, static_cast<char>(c));
        }
        return std::nullopt;
    }
    case Key::Space: return "Space";
    case Key::Enter: return "Enter";
    case Key::Tab: return "Tab";
    case Key::Backspace: return "Backspace";
    case Key::Delete: return "Delete";
    case Key::Insert: return "Insert";
    case Key::Escape: return "Escape";
    case Key::Left: return "Left";
    case Key::Right: return "Right";
    case Key::Up: return "Up";
    case Key::Down: return "Down";
    case Key::Home: return "Home";
    case Key::End: return "End";
    case Key::PageUp: return "PageUp";
    case Key::PageDown: return "PageDown";
    case Key::PrintScreen: return "Print";
    case Key::Menu: return "Menu";
    case Key::MediaPlayPause: return "MediaPlayPause";
    case Key::MediaNext: return "MediaNext";
    case Key::MediaPrevious: return "MediaPrevious";
    case Key::VolumeUp: return "VolumeUp";
    case Key::VolumeDown: return "VolumeDown";
    case Key::VolumeMute: return "VolumeMute";
    case Key::BrightnessUp: return "BrightnessUp";
    case Key::BrightnessDown: return "BrightnessDown";
    default: break;
    }
    if (key.key >= Key::F1 && key.key <= Key::F12) {
        return "F" + std::to_string(static_cast<int>(key.key) - static_cast<int>(Key::F1) + 1);
    }
    return std::nullopt;
}

// Keys that make a shortcut on their own.
bool stands_alone(Key key)
{
    return (key >= Key::F1 && key <= Key::F12) || key == Key::PrintScreen || key == Key::MediaPlayPause ||
           key == Key::MediaNext || key == Key::MediaPrevious || key == Key::VolumeUp || key == Key::VolumeDown ||
           key == Key::VolumeMute || key == Key::BrightnessUp || key == Key::BrightnessDown;
}

}  // namespace

std::optional<std::string> chord_text(const KeyDown& key)
{
    const std::optional<std::string> name = key_name(key);
    if (!name) {
        return std::nullopt;  // lone modifiers and keys without a name
    }
    const Modifiers m = key.modifiers;
    if (!m.control && !m.alt && !m.super && !stands_alone(key.key)) {
        return std::nullopt;
    }
    std::string text;
    if (m.super) {
        text += "Super+";
    }
    if (m.control) {
        text += "Ctrl+";
    }
    if (m.alt) {
        text += "Alt+";
    }
    if (m.shift) {
        text += "Shift+";
    }
    return text + *name;
}

ShortcutRecorder::ShortcutRecorder(std::string id, std::string edit_key, std::string current,
                                   std::string default_chord)
    : id_(std::move(id)), chord_(std::move(current)), default_(std::move(default_chord))
{
    if (!edit_key.empty()) {
        edit_key_ = std::move(edit_key);
    }
}

ShortcutRecorder ShortcutRecorder::with_label(std::string name) &&
{
    name_ = std::move(name);
    return std::move(*this);
}

ShortcutRecorder ShortcutRecorder::with_unavailable(bool unavailable) &&
{
    unavailable_ = unavailable;
    return std::move(*this);
}

ShortcutRecorder ShortcutRecorder::on_change(std::function<void(const std::string&)> callback) &&
{
    on_change_ = std::move(callback);
    return std::move(*this);
}

void ShortcutRecorder::start_capture() { capturing_ = true; }

void ShortcutRecorder::record(std::string chord)
{
    capturing_ = false;
    if (chord == chord_) {
        return;
    }
    chord_ = std::move(chord);
    pending_ = edit_key_.has_value();
    if (on_change_) {
        on_change_(chord_);
    }
}

void ShortcutRecorder::sync(page_doc::Document& doc, SyncContext& ctx)
{
    if (!edit_key_) {
        return;
    }
    if (pending_) {
        doc.put_str(*edit_key_, chord_);
        pending_ = false;
        return;
    }
    if (std::optional<std::string> stored = page_doc::doc_text(doc, *edit_key_); stored && *stored != chord_) {
        chord_ = std::move(*stored);
        ctx.changed = true;
    }
}

NodeId ShortcutRecorder::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    scale_ = style.ui_scale();
    flex_layout::Style s;
    s.flex_shrink = 0.0f;
    s.min_width = flex_layout::Dimension::points(style.scaled(min_width));
    const NodeId node = tree.new_measured_leaf(s);
    widgets.insert(node, *this);
    return node;
}

std::string ShortcutRecorder::shown_text() const
{
    if (capturing_) {
        return std::string(capture_prompt);
    }
    if (unavailable_) {
        return "Unavailable";
    }
    return chord_.empty() ? std::string(unbound_text) : chord_;
}

Size ShortcutRecorder::measure(flex_layout::KnownSize known, flex_layout::AvailableSize /*available*/,
                               TextRenderer& text) const
{
    const float size = text.renderer_input_style(text_size).size;
    const float scale = text.ui_scale();
    float widest = text.measure(capture_prompt, size, TextStyle::Medium).width;
    widest = std::max(widest, text.measure(shown_text(), size, TextStyle::Medium).width);
    const float line = text.measure("Ag", size).height;
    return {known.width.value_or(std::ceil(widest + 2.0f * padding_x * scale)),
            known.height.value_or(std::ceil(std::max(line + 14.0f * scale, min_height * scale)))};
}

void ShortcutRecorder::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
}

void ShortcutRecorder::draw(DrawContext& ctx) const
{
    cairo_t* cr = ctx.cairo();
    TextRenderer* text = ctx.text();
    if (cr == nullptr || text == nullptr || rect_.area() <= 0.0) {
        return;
    }
    const Theme& theme = ctx.theme();
    const double radius = theme.scaled(theme.control_radius);
    if (capturing_) {
        paint::fill_rounded(cr, rect_, radius, theme.accent.with_alpha(0.16f));
        paint::stroke_rounded(cr, rect_, radius, theme.accent, 1.5);
    } else {
        paint::fill_rounded(cr, rect_, radius, theme.surface_raised);
        if (hovered_ || pressed_) {
            paint::fill_rounded(cr, rect_, radius, pressed_ ? theme.pressed : theme.hover);
        }
        paint::stroke_rounded(cr, rect_, radius, theme.high_contrast ? theme.text : theme.outline_strong, 1.0);
    }
    const std::string shown = shown_text();
    TextSpec spec;
    spec.size = text->renderer_input_style(text_size).size;
    spec.style = TextStyle::Medium;
    spec.wrap_width = static_cast<float>(std::max(0.0, rect_.width() - 2.0 * padding_x * scale_));
    spec.align = TextAlign::Center;
    spec.ellipsize = true;
    spec.max_lines = 1;
    const TextMetrics metrics = text->metrics(shown, spec);
    Color ink = theme.text;
    if (capturing_) {
        ink = theme.accent;
    } else if (unavailable_ || chord_.empty()) {
        ink = theme.text_secondary;
    }
    text->draw(cr, shown, spec, {rect_.x0 + padding_x * scale_, rect_.y0 + (rect_.height() - metrics.height) / 2.0},
               ink);
    if (focused_) {
        paint::focus_ring(cr, theme, rect_, radius);
    }
}

void ShortcutRecorder::handle_event(const Event& event, DispatchContext& ctx)
{
    const std::optional<Point> pointer = ctx.pointer(event);
    if (event.get<PointerMove>() != nullptr || event.get<PointerLeave>() != nullptr) {
        const bool inside = pointer && rect_.contains(*pointer);
        if (inside != hovered_) {
            hovered_ = inside;
            ctx.changed = true;
        }
        return;
    }
    if (const auto* button = event.get<PointerButton>()) {
        if (button->button != MouseButton::Left || !pointer) {
            return;
        }
        const bool inside = rect_.contains(*pointer);
        if (button->pressed) {
            if (inside && !ctx.handled) {
                pressed_ = true;
                ctx.request = ctx.node;
                ctx.handled = true;
                ctx.changed = true;
            }
            return;
        }
        if (pressed_) {
            pressed_ = false;
            ctx.handled = true;
            ctx.changed = true;
            if (inside) {
                capturing_ = !capturing_;
            }
        }
        return;
    }
    const auto* key = event.get<KeyDown>();
    if (key == nullptr || !focused_ || !capturing_) {
        if (event.get<TextEntered>() != nullptr && focused_ && capturing_) {
            ctx.handled = true;  // typed text while capturing reaches nothing else
        }
        return;
    }
    ctx.handled = true;
    ctx.changed = true;
    if (!key->modifiers.any() && key->key == Key::Escape) {
        capturing_ = false;
        return;
    }
    if (!key->modifiers.any() && key->key == Key::Backspace) {
        record({});
        return;
    }
    if (std::optional<std::string> chord = chord_text(*key)) {
        record(std::move(*chord));
    }
}

std::optional<std::uint8_t> ShortcutRecorder::hit_test(Point point) const
{
    if (rect_.contains(point)) {
        return hit_code_control;
    }
    return std::nullopt;
}

std::optional<std::string_view> ShortcutRecorder::value_text() const
{
    if (unavailable_) {
        return std::string_view("Shortcut unavailable");
    }
    return std::nullopt;
}

void ShortcutRecorder::set_focus(bool focused)
{
    focused_ = focused;
    if (!focused) {
        capturing_ = false;
    }
}

std::optional<AccessNode> ShortcutRecorder::accessibility() const
{
    AccessNode node = AccessNode(access_role::key_capture).with_label(name_ ? *name_ : id_).with_id(id_);
    if (unavailable_) {
        node = std::move(node).with_value("Shortcut unavailable");
    } else {
        node = std::move(node).with_value(chord_.empty() ? std::string(unbound_text) : chord_);
    }
    if (!default_.empty()) {
        node = std::move(node).with_description("Default: " + default_);
    }
    node = std::move(node).with_bounds(rect_);
    node.focused = focused_;
    node.selected = capturing_;
    return std::move(node).with_action(Action::Kind::Activate).with_action(Action::Kind::Focus);
}

bool ShortcutRecorder::perform_action(const Action& action, ActionCtx /*ctx*/)
{
    if (action.kind != Action::Kind::Activate) {
        return false;
    }
    capturing_ = true;
    return true;
}

void ShortcutRecorder::set_interaction_flag(std::uint8_t flag)
{
    interaction_flag_ = flag;
    env_.bytes[0] = flag == 0 ? 1 : 0;
}

}  // namespace vorn_ui::widget::shortcut_recorder
