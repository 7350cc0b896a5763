#include "vorn_ui/widgets/text_input.hpp"

#include "vorn_ui/actions/bound_action.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/access.hpp"
#include "vorn_ui/clipboard.hpp"
#include "vorn_ui/icons.hpp"
#include "vorn_ui/paint.hpp"
#include "vorn_ui/text.hpp"
#include "vorn_ui/utf8.hpp"

#include <nlohmann/json.hpp>
#include <page_doc/page_doc.hpp>
#include <sodium.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace vorn_ui::widget::text_input {

namespace {

constexpr std::size_t undo_limit = 100;
constexpr float padding_x = 10.0f;
constexpr float search_padding = 30.0f;
constexpr float default_width = 240.0f;
constexpr float min_height = 36.0f;
constexpr std::string_view bullet = "\xE2\x80\xA2";  // U+2022

// Wipes a temporary copy of typed text (it may be part of a secret).
void wipe(std::string& text)
{
    if (!text.empty()) {
        sodium_memzero(text.data(), text.size());
    }
    text.clear();
}

}  // namespace

// The text: in ordinary memory, or in locked memory for masked fields and fields on a shared buffer.
struct TextInput::Store {
    bool secure = false;
    std::string plain;
    SecretBytes secret;

    [[nodiscard]] std::string_view view() const { return secure ? secret.view() : std::string_view(plain); }
    void replace(std::size_t pos, std::size_t count, std::string_view with)
    {
        if (secure) {
            secret.replace(pos, count, with);
        } else {
            plain.replace(pos, count, with);
        }
    }
    void assign(std::string_view with) { replace(0, view().size(), with); }
    void make_secure()
    {
        if (!secure) {
            secret.assign(plain);
            wipe(plain);
            plain.shrink_to_fit();
            secure = true;
        }
    }
};

TextInput::TextInput() : store_(std::make_unique<Store>()) {}

TextInput::TextInput(std::string id) : TextInput() { id_ = std::move(id); }

TextInput TextInput::from_state(LocalState<std::string> cell)
{
    TextInput input;
    const std::string initial = cell.get();
    input.store_->assign(utf8::clean_line(initial));
    input.caret_ = input.anchor_ = input.text().size();
    input.cell_version_ = cell.version();
    input.cell_.emplace(std::move(cell));
    return input;
}

TextInput::~TextInput()
{
    for (UndoStep& step : undo_) {
        wipe(step.text);
    }
    for (UndoStep& step : redo_) {
        wipe(step.text);
    }
    if (store_) {
        wipe(store_->plain);
    }
}

TextInput::TextInput(TextInput&&) noexcept = default;
TextInput& TextInput::operator=(TextInput&&) noexcept = default;

TextInput TextInput::with_id(std::string id) &&
{
    id_ = std::move(id);
    return std::move(*this);
}

TextInput TextInput::with_kind(std::uint8_t kind) &&
{
    kind_ = kind;
    if (is_masked()) {
        store_->make_secure();
        undo_.clear();
        redo_.clear();
    }
    measure_look_ = true;
    return std::move(*this);
}

TextInput TextInput::masked() &&
{
    force_masked_ = true;
    store_->make_secure();
    undo_.clear();
    redo_.clear();
    return std::move(*this);
}

TextInput TextInput::with_placeholder(std::string placeholder) &&
{
    placeholder_ = std::move(placeholder);
    measure_look_ = true;
    return std::move(*this);
}

TextInput TextInput::with_label(std::string label) &&
{
    label_ = std::move(label);
    return std::move(*this);
}

TextInput TextInput::with_text_size(float size) &&
{
    text_size_ = size;
    measure_look_ = true;
    return std::move(*this);
}

TextInput TextInput::with_width(float width) &&
{
    width_ = width;
    return std::move(*this);
}

TextInput TextInput::with_max_length(std::size_t chars) &&
{
    max_chars_ = chars;
    const std::string_view current = text();
    if (utf8::char_count(current) > chars) {
        const std::size_t keep = utf8::offset_of_char(current, chars);
        store_->replace(keep, current.size() - keep, {});
        caret_ = std::min(caret_, keep);
        anchor_ = std::min(anchor_, keep);
    }
    return std::move(*this);
}

TextInput TextInput::with_initial_value(std::string_view initial) &&
{
    std::string cleaned = utf8::clean_line(initial);
    store_->assign(utf8::take_chars(cleaned, max_chars_));
    wipe(cleaned);
    caret_ = anchor_ = text().size();
    ++revision_;
    return std::move(*this);
}

TextInput TextInput::with_change_path(std::string key) &&
{
    change_path_ = std::move(key);
    return std::move(*this);
}

TextInput TextInput::with_external_buffer(SharedLockedText buffer) &&
{
    buffer_ = std::move(buffer);
    store_->make_secure();
    if (buffer_) {
        buffer_version_ = buffer_->version();
    }
    return std::move(*this);
}

TextInput TextInput::with_enabled(bool enabled) &&
{
    enabled_ = enabled;
    return std::move(*this);
}

TextInput TextInput::on_change(std::function<void(std::string_view)> callback) &&
{
    on_change_ = std::move(callback);
    return std::move(*this);
}

TextInput TextInput::on_submit(std::function<void(std::string_view)> callback) &&
{
    on_submit_ = std::move(callback);
    return std::move(*this);
}

TextInput TextInput::on_action(vorn_actions::ActionBinding<std::string> binding) &&
{
    action_.emplace(std::move(binding));
    return std::move(*this);
}

TextInput TextInput::with_text_input(bool accepts) &&
{
    accepts_text_input_ = accepts;
    return std::move(*this);
}

std::string_view TextInput::text() const { return store_->view(); }

bool TextInput::is_masked() const { return force_masked_ || is_masked_kind(kind_); }

void TextInput::set_enabled(bool enabled) { enabled_ = enabled; }

void TextInput::select(std::size_t anchor, std::size_t caret)
{
    const std::string_view t = text();
    anchor_ = utf8::floor_boundary(t, anchor);
    caret_ = utf8::floor_boundary(t, caret);
}

// ---- editing ------------------------------------------------------------------------------------------------------

void TextInput::push_undo(EditKind kind)
{
    if (is_masked()) {
        return;  // no copies of a secret
    }
    for (UndoStep& step : redo_) {
        wipe(step.text);
    }
    redo_.clear();
    const bool coalesce = kind != EditKind::Other && kind == last_edit_ && !undo_.empty();
    last_edit_ = kind;
    if (coalesce) {
        return;
    }
    undo_.push_back({std::string(text()), caret_, anchor_});
    if (undo_.size() > undo_limit) {
        undo_.erase(undo_.begin());
    }
}

void TextInput::replace_range(std::size_t first, std::size_t last, std::string_view with, EditKind kind)
{
    push_undo(kind);
    store_->replace(first, last - first, with);
    caret_ = anchor_ = first + with.size();
    after_change(true);
}

void TextInput::after_change(bool by_user)
{
    ++revision_;
    measure_text_ = true;
    const std::string_view now = text();
    if (buffer_) {
        buffer_->set(now);
        buffer_version_ = buffer_->version();
    }
    if (cell_) {
        if (auto version = cell_->publish(std::string(now))) {
            cell_version_ = *version;
        }
    }
    if (change_path_) {
        doc_pending_ = true;
    }
    changed_since_emit_ = true;
    if (by_user) {
        interacting_ = true;
    }
    if (on_change_) {
        on_change_(now);
    }
}

bool TextInput::insert_text(std::string_view typed)
{
    std::string cleaned = utf8::clean_line(typed);
    const std::string_view t = text();
    const std::size_t first = std::min(caret_, anchor_);
    const std::size_t last = std::max(caret_, anchor_);
    const std::size_t kept = utf8::char_count(t) - utf8::char_count(t.substr(first, last - first));
    const std::size_t room = max_chars_ > kept ? max_chars_ - kept : 0;
    const std::string_view fitting = utf8::take_chars(cleaned, room);
    if (fitting.empty() && first == last) {
        wipe(cleaned);
        return false;
    }
    const bool word_break = fitting.find(' ') != std::string_view::npos;
    replace_range(first, last, fitting, word_break || first != last ? EditKind::Other : EditKind::Typing);
    wipe(cleaned);
    return true;
}

void TextInput::set_text(std::string_view new_text)
{
    std::string cleaned = utf8::clean_line(new_text);
    const std::string_view fitting = utf8::take_chars(cleaned, max_chars_);
    if (fitting == text()) {
        wipe(cleaned);
        return;
    }
    store_->assign(fitting);
    wipe(cleaned);
    caret_ = anchor_ = text().size();
    last_edit_ = EditKind::Other;
    after_change(false);
}

bool TextInput::undo()
{
    if (undo_.empty()) {
        return false;
    }
    UndoStep step = std::move(undo_.back());
    undo_.pop_back();
    redo_.push_back({std::string(text()), caret_, anchor_});
    store_->assign(step.text);
    caret_ = step.caret;
    anchor_ = step.anchor;
    last_edit_ = EditKind::Other;
    wipe(step.text);
    after_change(true);
    return true;
}

bool TextInput::redo()
{
    if (redo_.empty()) {
        return false;
    }
    UndoStep step = std::move(redo_.back());
    redo_.pop_back();
    undo_.push_back({std::string(text()), caret_, anchor_});
    store_->assign(step.text);
    caret_ = step.caret;
    anchor_ = step.anchor;
    last_edit_ = EditKind::Other;
    wipe(step.text);
    after_change(true);
    return true;
}

void TextInput::move_caret(std::size_t to, bool extend)
{
    caret_ = utf8::floor_boundary(text(), to);
    if (!extend) {
        anchor_ = caret_;
    }
    last_edit_ = EditKind::Other;
}

void TextInput::copy_selection() const
{
    if (is_masked() || !has_selection()) {
        return;  // a secret never goes to the clipboard
    }
    const std::size_t first = std::min(caret_, anchor_);
    const std::size_t last = std::max(caret_, anchor_);
    (void)clipboard().set_text(text().substr(first, last - first));
}

void TextInput::paste()
{
    std::optional<std::string> pasted = clipboard().text();
    if (pasted && !pasted->empty()) {
        insert_text(*pasted);
        last_edit_ = EditKind::Other;
        wipe(*pasted);
    }
}

void TextInput::submit()
{
    if (action_ && !is_masked()) {
        (void)action_->emit(std::string(text()));
        changed_since_emit_ = false;
    }
    if (on_submit_) {
        on_submit_(text());
    }
}

bool TextInput::handle_key(const KeyDown& key, DispatchContext& ctx)
{
    const Modifiers m = key.modifiers;
    const bool ctrl = m.control && !m.alt;
    const std::string_view t = text();
    const std::size_t first = std::min(caret_, anchor_);
    const std::size_t last = std::max(caret_, anchor_);
    const bool selection = first != last;
    switch (key.key) {
    case Key::Left:
        if (selection && !m.shift) {
            move_caret(first, false);
        } else {
            move_caret(ctrl ? utf8::prev_word_start(t, caret_) : utf8::prev_char(t, caret_), m.shift);
        }
        return true;
    case Key::Right:
        if (selection && !m.shift) {
            move_caret(last, false);
        } else {
            move_caret(ctrl ? utf8::next_word_end(t, caret_) : utf8::next_char(t, caret_), m.shift);
        }
        return true;
    case Key::Home:
        move_caret(0, m.shift);
        return true;
    case Key::End:
        move_caret(t.size(), m.shift);
        return true;
    case Key::Backspace:
        if (selection) {
            replace_range(first, last, {}, EditKind::Other);
        } else if (caret_ > 0) {
            const std::size_t from = ctrl ? utf8::prev_word_start(t, caret_) : utf8::prev_char(t, caret_);
            replace_range(from, caret_, {}, ctrl ? EditKind::Other : EditKind::Deleting);
        }
        return true;
    case Key::Delete:
        if (m.shift && !ctrl) {  // cut
            copy_selection();
            if (selection && !is_masked()) {
                replace_range(first, last, {}, EditKind::Other);
            }
        } else if (selection) {
            replace_range(first, last, {}, EditKind::Other);
        } else if (caret_ < t.size()) {
            const std::size_t to = ctrl ? utf8::next_word_end(t, caret_) : utf8::next_char(t, caret_);
            replace_range(caret_, to, {}, ctrl ? EditKind::Other : EditKind::Deleting);
        }
        return true;
    case Key::Insert:
        if (ctrl) {
            copy_selection();
            return true;
        }
        if (m.shift) {
            paste();
            return true;
        }
        return false;
    case Key::Enter:
        submit();
        return true;
    case Key::Escape:
        if (selection) {
            move_caret(caret_, false);
            return true;
        }
        if (kind_ == text_input_kind::search && !t.empty()) {
            replace_range(0, t.size(), {}, EditKind::Other);
            return true;
        }
        return false;
    case Key::Space:
        return true;  // the text arrives as text
    case Key::Character:
        if (!ctrl) {
            return !m.alt && !m.super;  // typed characters arrive as text
        }
        switch (key.character) {
        case U'a':
            select_all();
            return true;
        case U'c':
            copy_selection();
            return true;
        case U'x':
            copy_selection();
            if (selection && !is_masked()) {
                replace_range(first, last, {}, EditKind::Other);
            }
            return true;
        case U'v':
            paste();
            return true;
        case U'z':
            if (m.shift) {
                redo();
            } else {
                undo();
            }
            return true;
        case U'y':
            redo();
            return true;
        default:
            return false;
        }
    default:
        (void)ctx;
        return false;
    }
}

void TextInput::handle_event(const Event& event, DispatchContext& ctx)
{
    const std::optional<Point> pointer = ctx.pointer(event);
    if (const auto* move = event.get<PointerMove>()) {
        (void)move;
        const bool inside = pointer && rect_.contains(*pointer);
        if (inside != hovered_) {
            hovered_ = inside;
            ctx.changed = true;
        }
        if (dragging_ && pointer) {
            const std::size_t at = index_at(pointer->x);
            if (at != caret_) {
                caret_ = at;
                ctx.changed = true;
            }
            ctx.handled = true;
        }
        return;
    }
    if (event.get<PointerLeave>() != nullptr) {
        if (hovered_) {
            hovered_ = false;
            ctx.changed = true;
        }
        return;
    }
    if (const auto* button = event.get<PointerButton>()) {
        if (button->button != MouseButton::Left || !pointer) {
            return;
        }
        if (!button->pressed) {
            if (dragging_) {
                dragging_ = false;
                ctx.handled = true;
                ctx.changed = true;
            }
            return;
        }
        if (!rect_.contains(*pointer) || ctx.handled || !is_focusable()) {
            return;
        }
        ctx.request = ctx.node;
        ctx.handled = true;
        ctx.changed = true;
        const std::size_t at = index_at(pointer->x);
        if (button->clicks >= 2) {
            const auto [first, last] = utf8::word_at(text(), at);
            anchor_ = first;
            caret_ = last;
            return;
        }
        move_caret(at, button->modifiers.shift);
        drag_origin_ = at;
        dragging_ = true;
        return;
    }
    if (!focused_ || !is_focusable()) {
        return;
    }
    if (const auto* typed = event.get<TextEntered>()) {
        if (!typed->text.empty()) {
            insert_text(typed->text);
            preedit_.clear();
            ctx.handled = true;
            ctx.changed = true;
        }
        return;
    }
    if (const auto* preedit = event.get<ImePreedit>()) {
        if (!is_masked()) {
            preedit_ = utf8::clean_line(preedit->text);
            ctx.handled = true;
            ctx.changed = true;
        }
        return;
    }
    if (const auto* key = event.get<KeyDown>()) {
        if (handle_key(*key, ctx)) {
            ctx.handled = true;
            ctx.changed = true;
        }
    }
}

// ---- sync and layout ----------------------------------------------------------------------------------------------

void TextInput::sync(page_doc::Document& doc, SyncContext& ctx)
{
    const auto adopt = [&](std::string_view incoming) {
        if (incoming == text()) {
            return;
        }
        std::string cleaned = utf8::clean_line(incoming);
        store_->assign(utf8::take_chars(cleaned, max_chars_));
        wipe(cleaned);
        caret_ = std::min(caret_, text().size());
        anchor_ = std::min(anchor_, text().size());
        caret_ = utf8::floor_boundary(text(), caret_);
        anchor_ = utf8::floor_boundary(text(), anchor_);
        ++revision_;
        measure_text_ = true;
        ctx.changed = true;
    };
    if (buffer_ && buffer_->version() != buffer_version_) {
        buffer_version_ = buffer_->version();
        buffer_->with_text([&](std::string_view held) {
            if (held != text()) {
                store_->assign(utf8::take_chars(held, max_chars_));
                caret_ = anchor_ = text().size();
                ++revision_;
                measure_text_ = true;
                ctx.changed = true;
            }
        });
    }
    if (cell_ && cell_->version() != cell_version_) {
        cell_version_ = cell_->version();
        adopt(cell_->get());
    }
    if (change_path_) {
        if (is_masked()) {
            if (!refused_doc_logged_) {
                VORN_WARN("text_input", "a masked field is never written into the page document id={} key={}", id_,
                          *change_path_);
                refused_doc_logged_ = true;
            }
            doc_pending_ = false;
        } else {
            const page_doc::ObjId object = page_doc::seed_text_object(doc, *change_path_);
            if (doc_pending_) {
                const std::optional<std::string> stored = doc.text(object);
                if (!stored || *stored != text()) {
                    if (auto done = doc.update_text(object, text()); !done) {
                        VORN_WARN("text_input", "could not write the field into the document id={} error={}", id_,
                                  done.error());
                    } else {
                        uncommitted_ = true;
                    }
                }
                doc_pending_ = false;
            } else if (const std::optional<std::string> stored = doc.text(object)) {
                adopt(*stored);
            }
        }
    }
}

NodeId TextInput::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    scale_ = style.ui_scale();
    flex_layout::Style s;
    s.flex_shrink = 1.0f;
    if (width_ > 0.0f) {
        s.width = flex_layout::Dimension::points(style.scaled(width_));
    }
    s.min_width = flex_layout::Dimension::points(style.scaled(80.0f));
    const NodeId node = tree.new_measured_leaf(s);
    widgets.insert(node, *this);
    return node;
}

Size TextInput::measure(flex_layout::KnownSize known, flex_layout::AvailableSize available, TextRenderer& text) const
{
    const float size = text.renderer_input_style(text_size_).size;
    const float scale = text.ui_scale();
    const float line = text.measure("Ag", size).height;
    const float height = std::ceil(std::max(line + 16.0f * scale, min_height * scale));
    float width = default_width * scale;
    if (available.width.kind == flex_layout::AvailableSpace::Kind::Definite) {
        width = std::min(width, available.width.value);
    }
    return {known.width.value_or(width), known.height.value_or(height)};
}

void TextInput::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
    measure_text_ = false;
    measure_look_ = false;
}

bool TextInput::layout_needs_measure() const
{
    if (rect_.is_zero()) {
        return true;
    }
    return measure_text_ || measure_look_;
}

// ---- drawing ------------------------------------------------------------------------------------------------------

Rect TextInput::text_box() const
{
    const double left = (kind_ == text_input_kind::search ? search_padding : padding_x) * scale_;
    const double right = padding_x * scale_;
    return {rect_.x0 + left, rect_.y0, std::max(rect_.x0 + left, rect_.x1 - right), rect_.y1};
}

std::string TextInput::display_text() const
{
    if (!is_masked()) {
        return std::string(text());
    }
    std::string mask;
    const std::size_t count = utf8::char_count(text());
    mask.reserve(count * bullet.size());
    for (std::size_t i = 0; i < count; ++i) {
        mask += bullet;
    }
    return mask;
}

std::size_t TextInput::display_offset(std::size_t byte) const
{
    if (!is_masked()) {
        return byte;
    }
    return utf8::char_count(text().substr(0, std::min(byte, text().size()))) * bullet.size();
}

std::size_t TextInput::index_at(double x) const
{
    if (boundary_x_.empty()) {
        return text().size();
    }
    const double local = x - text_box().x0 + scroll_x_;
    std::size_t best = 0;
    double best_distance = std::abs(local - boundary_x_[0]);
    for (std::size_t i = 1; i < boundary_x_.size(); ++i) {
        const double distance = std::abs(local - boundary_x_[i]);
        if (distance < best_distance) {
            best = i;
            best_distance = distance;
        }
    }
    // boundary_byte_ holds offsets of the shown text; for a masked field they count bullets.
    const std::size_t shown = boundary_byte_[best];
    if (!is_masked()) {
        return std::min(shown, text().size());
    }
    return utf8::offset_of_char(text(), shown / bullet.size());
}

void TextInput::draw(DrawContext& ctx) const
{
    cairo_t* cr = ctx.cairo();
    TextRenderer* renderer = ctx.text();
    if (cr == nullptr || renderer == nullptr || rect_.area() <= 0.0) {
        return;
    }
    const Theme& theme = ctx.theme();
    const bool enabled = is_focusable();
    const double radius = theme.scaled(theme.control_radius);
    paint::fill_rounded(cr, rect_, radius, enabled ? theme.surface_raised : theme.surface_raised.with_alpha(0.5f));
    Color edge = theme.high_contrast ? theme.text : theme.outline_strong;
    if (focused_) {
        edge = theme.accent;
    } else if (hovered_ && enabled) {
        edge = edge.mix(theme.text, 0.25f);
    }
    paint::stroke_rounded(cr, rect_, radius, enabled ? edge : theme.outline, focused_ ? 1.5 : 1.0);
    if (kind_ == text_input_kind::search) {
        const double box = 16.0 * scale_;
        icons::draw(cr, Icon::Search, Rect::from_origin_size(rect_.x0 + 9.0 * scale_, rect_.y0 + (rect_.height() - box) / 2.0, box, box),
                    theme.text_secondary, 1.5);
    }

    const Rect box = text_box();
    TextSpec spec;
    spec.size = renderer->renderer_input_style(text_size_).size;
    const float line = renderer->measure("Ag", spec.size).height;
    const double y = rect_.y0 + (rect_.height() - line) / 2.0;

    std::string shown = display_text();
    std::size_t caret_shown = display_offset(caret_);
    const std::size_t anchor_shown = display_offset(anchor_);
    std::size_t preedit_start = 0;
    if (!preedit_.empty() && focused_) {
        shown.insert(caret_shown, preedit_);
        preedit_start = caret_shown;
        caret_shown += preedit_.size();
    }

    {
        const DrawContext::ClipGuard clip = ctx.clip_to(Rect{box.x0 - 1.0, rect_.y0, box.x1 + 1.0, rect_.y1});
        if (shown.empty()) {
            scroll_x_ = 0.0;
            boundary_x_.assign(1, 0.0f);
            boundary_byte_.assign(1, 0);
            if (!placeholder_.empty()) {
                TextSpec place = spec;
                place.wrap_width = static_cast<float>(box.width());
                place.ellipsize = true;
                place.max_lines = 1;
                renderer->draw(cr, placeholder_, place, {box.x0, y},
                               enabled ? theme.text_secondary : theme.text_disabled);
            }
        } else {
            // Caret positions of every character boundary, measured again only when the shown text changed.
            const std::uint64_t key =
                revision_ * 1000003ULL + shown.size() + static_cast<std::uint64_t>(spec.size * 64.0f);
            if (boundaries_of_ != key || !preedit_.empty()) {
                boundary_x_.clear();
                boundary_byte_.clear();
                for (std::size_t i = 0;; i = utf8::next_char(shown, i)) {
                    boundary_x_.push_back(renderer->caret_x(shown, spec, i));
                    boundary_byte_.push_back(i);
                    if (i >= shown.size()) {
                        break;
                    }
                }
                boundaries_of_ = preedit_.empty() ? key : ~std::uint64_t{0};
            }
            const double caret_x = renderer->caret_x(shown, spec, caret_shown);
            const double total = boundary_x_.empty() ? 0.0 : boundary_x_.back();
            // Keep the caret inside the box, and no empty space after the text's end.
            if (caret_x - scroll_x_ > box.width() - 2.0) {
                scroll_x_ = caret_x - box.width() + 2.0;
            } else if (caret_x - scroll_x_ < 0.0) {
                scroll_x_ = caret_x;
            }
            scroll_x_ = std::clamp(scroll_x_, 0.0, std::max(0.0, total - box.width() + 2.0));
            const double origin = box.x0 - scroll_x_;
            if (caret_ != anchor_) {
                const double a = renderer->caret_x(shown, spec, anchor_shown);
                const double left = std::min(a, caret_x);
                const double right = std::max(a, caret_x);
                paint::fill_rect(cr, Rect{origin + left, y, origin + right, y + line},
                                 theme.accent.with_alpha(focused_ ? 0.38f : 0.2f));
            }
            renderer->draw(cr, shown, spec, {origin, y}, enabled ? theme.text : theme.text_disabled);
            if (!preedit_.empty() && focused_) {
                const double p0 = renderer->caret_x(shown, spec, preedit_start);
                paint::hline(cr, origin + p0, origin + caret_x, y + line - 1.0, theme.text, 1.0);
            }
        }
        if (focused_ && enabled) {
            const double offset = shown.empty() ? 0.0 : renderer->caret_x(shown, spec, caret_shown);
            const double x = std::round(box.x0 - scroll_x_ + offset);
            paint::vline(cr, x + 0.5, y, y + line, theme.text, std::max(1.0, 1.5 * scale_));
        }
    }  // the focus ring lies outside the text's clip
    if (is_masked()) {
        wipe(shown);  // bullets only, but wipe out of habit: it never held the secret
    }
    if (focused_) {
        paint::focus_ring(cr, theme, rect_, radius);
    }
}

void TextInput::draw_overlay(DrawContext& /*ctx*/, OverlayRecord& /*overlay*/) {}

// ---- queries ------------------------------------------------------------------------------------------------------

std::optional<std::string_view> TextInput::label() const
{
    if (!id_.empty()) {
        return std::string_view(id_);
    }
    return std::string_view("text_input");
}

std::optional<std::uint8_t> TextInput::hit_test(Point point) const
{
    if (is_focusable() && rect_.contains(point)) {
        return hit_code_text_field;
    }
    return std::nullopt;
}

bool TextInput::is_focusable() const { return enabled_ && (!action_ || action_->is_available()); }

void TextInput::set_focus(bool focused)
{
    if (focused == focused_) {
        return;
    }
    focused_ = focused;
    if (focused) {
        focus_gained_ = true;
        return;
    }
    drag_origin_ = 0;
    click_count_ = 0;
    dragging_ = false;
    preedit_.clear();
    if (action_ && changed_since_emit_ && !is_masked()) {
        (void)action_->emit(std::string(text()));
    }
    changed_since_emit_ = false;
}

std::optional<Rect> TextInput::ime_cursor_rect() const
{
    if (!focused_ || rect_.area() <= 0.0) {
        return std::nullopt;
    }
    const Rect box = text_box();
    double x = box.x0;
    const std::size_t shown = display_offset(caret_);
    for (std::size_t i = 0; i < boundary_byte_.size(); ++i) {
        if (boundary_byte_[i] == shown) {
            x = box.x0 - scroll_x_ + boundary_x_[i];
            break;
        }
    }
    return Rect{x, rect_.y0 + 4.0 * scale_, x + 1.0, rect_.y1 - 4.0 * scale_};
}

std::optional<AccessNode> TextInput::accessibility() const
{
    std::uint8_t role = access_role::text_input;
    if (is_masked()) {
        role = access_role::password_input;
    } else if (kind_ == text_input_kind::search) {
        role = access_role::search_input;
    }
    AccessNode node(role);
    if (label_) {
        node = std::move(node).with_label(*label_);
    } else if (!placeholder_.empty()) {
        node = std::move(node).with_label(placeholder_);
    } else if (!id_.empty()) {
        node = std::move(node).with_label(id_);
    }
    if (label_ && !placeholder_.empty()) {
        node = std::move(node).with_description(placeholder_);
    }
    if (!id_.empty()) {
        node = std::move(node).with_id(id_);
    }
    if (!is_masked() && !text().empty()) {
        node = std::move(node).with_value(std::string(text()));
    }
    node = std::move(node).with_bounds(rect_);
    node.focused = focused_;
    node.disabled = !is_focusable();
    return std::move(node).with_action(Action::Kind::Focus).with_action(Action::Kind::SetValue);
}

bool TextInput::perform_action(const Action& action, ActionCtx /*ctx*/)
{
    if (action.kind == Action::Kind::SetValue && is_focusable()) {
        push_undo(EditKind::Other);
        std::string cleaned = utf8::clean_line(action.text);
        store_->assign(utf8::take_chars(cleaned, max_chars_));
        wipe(cleaned);
        caret_ = anchor_ = text().size();
        after_change(true);
        return true;
    }
    return false;
}

std::optional<ControlInvocation> TextInput::take_control_invocation() { return take_bound_invocation(action_); }

std::vector<ControlActionBinding> TextInput::control_action_bindings() const
{
    return bound_action_bindings(action_);
}

void TextInput::refresh_control_action_availability(const ActionAvailability& availability)
{
    (void)refresh_bound_availability(action_, availability);
}

void TextInput::on_commit()
{
    uncommitted_ = false;
    commit_marker_ = ~std::uint32_t{0};
}

std::optional<std::string> TextInput::get_state() const
{
    if (is_masked()) {
        return std::nullopt;
    }
    return std::string(text());
}

void TextInput::set_state(std::string_view state) { set_text(state); }

std::optional<TextReview> TextInput::text_review() const
{
    return TextReview{display_offset(caret_), display_text()};
}

void TextInput::set_interaction_environment(InteractionEnv env)
{
    env_ = env;
    if ((env.flags & 1U) != 0) {
        interacting_ = false;
    }
}

std::optional<nlohmann::ordered_json> TextInput::state_snapshot(const page_doc::Document& /*doc*/) const
{
    nlohmann::ordered_json snapshot;
    snapshot["widget"] = "TextInput";
    snapshot["id"] = id_;
    snapshot["kind"] = kind_;
    if (is_masked()) {
        snapshot["masked"] = true;
        snapshot["empty"] = text().empty();
    } else {
        snapshot["text"] = std::string(text());
    }
    snapshot["focused"] = focused_;
    return snapshot;
}

}  // namespace vorn_ui::widget::text_input
