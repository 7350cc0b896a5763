#include "vorn_ui/widgets/qr_widget.hpp"

#include "vorn_ui/access.hpp"
#include "vorn_ui/paint.hpp"
#include "vorn_ui/text.hpp"

#include <cairo.h>
#include <qrcodegen.hpp>
#include <sodium.h>

#include <cmath>

namespace vorn_ui::widget::qr {

namespace {

qrcodegen::QrCode::Ecc ecc_of(ErrorCorrection ecc)
{
    switch (ecc) {
    case ErrorCorrection::Low: return qrcodegen::QrCode::Ecc::LOW;
    case ErrorCorrection::Medium: return qrcodegen::QrCode::Ecc::MEDIUM;
    case ErrorCorrection::Quartile: return qrcodegen::QrCode::Ecc::QUARTILE;
    case ErrorCorrection::High: return qrcodegen::QrCode::Ecc::HIGH;
    }
    return qrcodegen::QrCode::Ecc::MEDIUM;
}

}  // namespace

QrWidget QrWidget::from_text(std::string text)
{
    QrWidget widget;
    widget.encode(std::move(text));
    return widget;
}

void QrWidget::wipe_text()
{
    // The text may hold a password: clear it before its memory is released.
    if (!text_.empty()) {
        sodium_memzero(text_.data(), text_.size());
    }
    text_.clear();
}

void QrWidget::encode(std::string text)
{
    wipe_text();
    text_.assign(text);  // copied rather than moved, so that the argument's own buffer can be wiped as well
    if (!text.empty()) {
        sodium_memzero(text.data(), text.size());
    }
    if (!modules_.empty()) {
        sodium_memzero(modules_.data(), modules_.size());
    }
    try {
        // The level is kept as chosen (no boosting), the smallest version that fits, automatic segment modes.
        // A text with a NUL byte is encoded as bytes (the text form would stop at the NUL).
        const std::vector<qrcodegen::QrSegment> segments =
            text_.find('\0') == std::string::npos
                ? qrcodegen::QrSegment::makeSegments(text_.c_str())
                : std::vector<qrcodegen::QrSegment>{qrcodegen::QrSegment::makeBytes(
                      std::vector<std::uint8_t>(text_.begin(), text_.end()))};
        const qrcodegen::QrCode code = qrcodegen::QrCode::encodeSegments(
            segments, ecc_of(ecc_), qrcodegen::QrCode::MIN_VERSION,
            qrcodegen::QrCode::MAX_VERSION, -1, false);
        width_ = code.getSize();
        modules_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(width_), 0);
        for (int y = 0; y < width_; ++y) {
            for (int x = 0; x < width_; ++x) {
                modules_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)] =
                    code.getModule(x, y) ? 1 : 0;
            }
        }
        error_.reset();
    } catch (const std::exception& error) {
        width_ = 0;
        modules_.clear();
        error_ = error.what();
    }
}

QrWidget::~QrWidget()
{
    wipe_text();
    if (!modules_.empty()) {
        sodium_memzero(modules_.data(), modules_.size());
    }
}

QrWidget::QrWidget(QrWidget&& other) noexcept
    : Widget(std::move(other)),
      id_(std::move(other.id_)),
      name_(std::move(other.name_)),
      text_(other.text_),
      modules_(std::move(other.modules_)),
      width_(other.width_),
      quiet_zone_(other.quiet_zone_),
      ecc_(other.ecc_),
      error_(std::move(other.error_)),
      module_size_(other.module_size_),
      scale_(other.scale_),
      rect_(other.rect_)
{
    other.wipe_text();
    other.modules_.clear();
}

QrWidget& QrWidget::operator=(QrWidget&& other) noexcept
{
    if (this != &other) {
        wipe_text();
        if (!modules_.empty()) {
            sodium_memzero(modules_.data(), modules_.size());
        }
        id_ = std::move(other.id_);
        name_ = std::move(other.name_);
        text_ = other.text_;
        other.wipe_text();
        modules_ = std::move(other.modules_);
        width_ = other.width_;
        quiet_zone_ = other.quiet_zone_;
        ecc_ = other.ecc_;
        error_ = std::move(other.error_);
        module_size_ = other.module_size_;
        scale_ = other.scale_;
        rect_ = other.rect_;
        other.modules_.clear();
    }
    return *this;
}

QrWidget QrWidget::with_module_size(float size) &&
{
    module_size_ = size;
    return std::move(*this);
}

bool QrWidget::is_dark(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= width_) {
        return false;
    }
    return modules_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)] != 0;
}

void QrWidget::sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) {}

NodeId QrWidget::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    scale_ = style.ui_scale();
    flex_layout::Style s;
    s.flex_shrink = 0.0f;
    const NodeId node = tree.new_measured_leaf(s);
    widgets.insert(node, *this);
    return node;
}

Size QrWidget::measure(flex_layout::KnownSize known, flex_layout::AvailableSize /*available*/,
                       TextRenderer& text) const
{
    if (width_ == 0) {
        // The error text, in a box of at most 240 wide.
        const float size = text.renderer_input_style(12.0f).size;
        const Size error = text.measure(error_.value_or(""), size, TextStyle::Caption, 240.0f * text.ui_scale());
        return {known.width.value_or(error.width), known.height.value_or(error.height)};
    }
    const float side = std::round(module_size_ * text.ui_scale()) * static_cast<float>(width_ + 2 * quiet_zone_);
    return {known.width.value_or(side), known.height.value_or(side)};
}

void QrWidget::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
}

double QrWidget::module_pixels() const
{
    if (width_ == 0) {
        return 0.0;
    }
    const double cells = width_ + 2 * quiet_zone_;
    // Whole pixels per module keep the edges sharp; the layout gives at least round(module size × scale).
    return std::max(std::floor(std::min(rect_.width(), rect_.height()) / cells), 1.0);
}

Rect QrWidget::code_rect() const
{
    const double module = module_pixels();
    const double side = module * width_;
    const double total = module * (width_ + 2 * quiet_zone_);
    const double x = std::round(rect_.x0 + (rect_.width() - total) / 2.0) + module * quiet_zone_;
    const double y = std::round(rect_.y0 + (rect_.height() - total) / 2.0) + module * quiet_zone_;
    return Rect::from_origin_size(x, y, side, side);
}

void QrWidget::draw(DrawContext& ctx) const
{
    cairo_t* cr = ctx.cairo();
    if (cr == nullptr) {
        return;
    }
    if (width_ == 0) {
        if (TextRenderer* text = ctx.text()) {
            text->draw_text(cr, error_.value_or(""), ctx.theme().tone(Tone::Danger), {rect_.x0, rect_.y0},
                            TextStyle::Caption, text->renderer_input_style(12.0f).size,
                            static_cast<float>(rect_.width()));
        }
        return;
    }
    const double module = module_pixels();
    const Rect code = code_rect();
    const double zone = module * quiet_zone_;
    paint::fill_rect(cr, {code.x0 - zone, code.y0 - zone, code.x1 + zone, code.y1 + zone}, Color::rgb(0xFFFFFF));
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    paint::set_color(cr, Color::rgb(0x000000));
    for (int y = 0; y < width_; ++y) {
        for (int x = 0; x < width_; ++x) {
            if (is_dark(x, y)) {
                cairo_rectangle(cr, code.x0 + x * module, code.y0 + y * module, module, module);
            }
        }
    }
    cairo_fill(cr);
    cairo_restore(cr);
}

void QrWidget::handle_event(const Event& /*event*/, DispatchContext& /*ctx*/) {}

std::optional<AccessNode> QrWidget::accessibility() const
{
    AccessNode node = AccessNode(access_role::image).with_label(name_).with_bounds(rect_);
    if (error_) {
        return std::move(node).with_description(*error_);
    }
    return node;
}

}  // namespace vorn_ui::widget::qr
