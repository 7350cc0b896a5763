#pragma once
// QrWidget: a QR code (error correction level M, a quiet zone of 4 modules), dark modules on white whatever the
// theme, so that cameras read it. When the text cannot be encoded it shows the encoder's error instead.
//
// The encoded text may be a secret (a Wi-Fi password): it is never answered by label, accessibility or any other
// query; the widget's label is its id "qr_widget" and its accessible name "QR code".
//
//   vorn_ui::QrWidget::from_text("WIFI:T:WPA;S:Home;P:secret;;")

#include "vorn_ui/widget.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorn_ui::widget::qr {

enum class ErrorCorrection : std::uint8_t { Low, Medium, Quartile, High };

class QrWidget final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::qr::QrWidget", "QrWidget")

    [[nodiscard]] static QrWidget from_text(std::string text);
    // Replaces the text and encodes it again.
    void encode(std::string text);

    // Pixels per module (style units; default 5).
    [[nodiscard]] QrWidget with_module_size(float size) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<QrWidget>(std::move(*this)); }

    [[nodiscard]] const std::string& id() const { return id_; }
    [[nodiscard]] const std::string& name() const { return name_; }
    // One byte per module (1 dark, 0 light), row by row; empty when encoding failed.
    [[nodiscard]] const std::vector<std::uint8_t>& modules() const { return modules_; }
    [[nodiscard]] int width() const { return width_; }  // modules per side; 0 when encoding failed
    [[nodiscard]] int quiet_zone() const { return quiet_zone_; }
    [[nodiscard]] ErrorCorrection error_correction() const { return ecc_; }
    [[nodiscard]] const std::optional<std::string>& error_text() const { return error_; }
    [[nodiscard]] bool is_dark(int x, int y) const;

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    [[nodiscard]] Size measure(flex_layout::KnownSize known, flex_layout::AvailableSize available,
                               TextRenderer& text) const override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] std::optional<std::string_view> label() const override { return std::string_view(id_); }
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] std::optional<AccessNode> accessibility() const override;

    // Where the code's modules are drawn inside the rectangle (the quiet zone around them is white too).
    [[nodiscard]] Rect code_rect() const;
    [[nodiscard]] double module_pixels() const;

    ~QrWidget() override;
    QrWidget(QrWidget&&) noexcept;
    QrWidget& operator=(QrWidget&&) noexcept;
    QrWidget(const QrWidget&) = delete;
    QrWidget& operator=(const QrWidget&) = delete;

private:
    QrWidget() = default;
    void wipe_text();

    std::string id_ = "qr_widget";
    std::string name_ = "QR code";
    std::string text_;
    std::vector<std::uint8_t> modules_;
    int width_ = 0;
    int quiet_zone_ = 4;
    ErrorCorrection ecc_ = ErrorCorrection::Medium;
    std::optional<std::string> error_;
    float module_size_ = 5.0f;
    float scale_ = 1.0f;  // ui scale of the last layout
    Rect rect_{};
};

}  // namespace vorn_ui::widget::qr

namespace vorn_ui {
using widget::qr::QrWidget;
}
