#pragma once
// Text measuring and drawing (pango through pangocairo; nothing of pango in this header).
//
// One font family, Inter, pinned through a fontconfig configuration of the toolkit's own: the machine's other fonts
// never change what the widgets measure or draw. Without Inter the renderer falls back to the system's sans-serif
// (logged once); the program still works, pictures may differ.
//
// Sizes are pixel sizes of the font (logical pixels). A widget turns its style size (13.0 for body text) into the
// effective size with `renderer_input_style`, which applies the theme's ui and text scales:
//
//   const float size = text.renderer_input_style(13.0f).size;
//   const Size box = text.measure(label, size, TextStyle::Regular, wrap_width);
//   text.draw_text(cr, label, theme.text, {x, y}, TextStyle::Regular, size, wrap_width);
//
// Shaped layouts are cached between frames in a bounded least-recently-used cache keyed by text, size, style, wrap
// width and options, so measuring and drawing the same texts again costs a hash lookup. The cache keeps the texts:
// never hand a secret to the renderer (masked fields draw their mask) or set `cacheable = false` for it.
// UI thread only.

#include "flex_layout/flex_layout.hpp"
#include "vorn_ui/geometry.hpp"
#include "vorn_ui/theme.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

extern "C" {
typedef struct _cairo cairo_t;  // NOLINT: the same typedef as <cairo.h>
}

namespace vorn_ui {

// The "text option" of measuring and drawing: weight and role of a text.
enum class TextStyle : std::uint8_t {
    Regular = 0,
    Medium = 1,   // navigation items, emphasised labels
    Bold = 2,     // titles
    Caption = 3,  // captions and secondary text (regular weight; the caller draws it in the secondary colour)
};

enum class TextAlign : std::uint8_t { Start, Center, End };

// How a text is shaped.
struct TextSpec {
    float size = 13.0f;  // effective pixel size (renderer_input_style)
    TextStyle style = TextStyle::Regular;
    std::optional<float> wrap_width;  // wrap lines at this width; none: one line per paragraph
    TextAlign align = TextAlign::Start;  // within the wrap width (needs one)
    bool ellipsize = false;     // with a wrap width: end lines that do not fit with "…" instead of wrapping
    std::uint16_t max_lines = 0;  // with a wrap width: at most this many lines, the last ellipsized (0: no limit)
    bool cacheable = true;      // false: shape afresh, keep nothing (texts that must not linger in memory)

    friend bool operator==(const TextSpec&, const TextSpec&) = default;
};

struct TextMetrics {
    float width = 0.0f;   // the widest line's logical width
    float height = 0.0f;  // all lines
    float baseline = 0.0f;  // of the first line, from the top
    float line_height = 0.0f;  // of the first line
    std::uint32_t lines = 0;
    friend bool operator==(const TextMetrics&, const TextMetrics&) = default;
};

// A style size resolved into the renderer's effective style.
struct ResolvedTextStyle {
    float size = 0.0f;         // pixel size to measure and draw with
    float line_height = 0.0f;  // size × factor, for widgets that space lines themselves
};

// One text drawn during a frame (kept while a draw log is set): what tests look texts up by.
struct DrawnText {
    std::string text;
    Rect bounds;   // the text's logical box in window coordinates (logical pixels)
    Rect visible;  // the part of it inside the clip (zero area when clipped away)
};

class TextRenderer {
public:
    TextRenderer();
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // The scales renderer_input_style applies (the frame driver sets them from the theme every frame).
    void set_scales(float ui_scale, float text_scale);
    [[nodiscard]] float ui_scale() const { return ui_scale_; }
    [[nodiscard]] float text_scale() const { return text_scale_; }

    // The effective style of a style size: size × ui scale × text scale, line height that × factor.
    [[nodiscard]] ResolvedTextStyle renderer_input_style(float size, float factor = 1.25f) const;

    // The size of a text at an effective size, wrapped at `wrap_width` when given.
    [[nodiscard]] Size measure(std::string_view text, float size, TextStyle style = TextStyle::Regular,
                               std::optional<float> wrap_width = std::nullopt);
    [[nodiscard]] TextMetrics metrics(std::string_view text, const TextSpec& spec);

    // The answers a text leaf gives the layout: wrapped to a known or definite width, the widest word for
    // min-content, one line per paragraph for max-content. `spec.wrap_width` is ignored (the space decides);
    // a text that does not wrap (`wrap = false`) always answers its natural size.
    [[nodiscard]] Size measure_for_layout(std::string_view text, const TextSpec& spec, flex_layout::KnownSize known,
                                          flex_layout::AvailableSize available, bool wrap = true);
    [[nodiscard]] float min_content_width(std::string_view text, float size, TextStyle style = TextStyle::Regular);
    [[nodiscard]] float max_content_width(std::string_view text, float size, TextStyle style = TextStyle::Regular);

    // Draws a text with its top-left corner at `origin` (user space of `cr`, which carries the transform).
    void draw_text(cairo_t* cr, std::string_view text, Color color, Point origin, TextStyle style, float size,
                   std::optional<float> wrap_width = std::nullopt);
    void draw(cairo_t* cr, std::string_view text, const TextSpec& spec, Point origin, Color color);

    // Caret support for single-paragraph texts: the x offset of the caret before byte `index` (clamped to the text,
    // moved back to a character boundary), and the byte index of the caret position nearest to x.
    [[nodiscard]] float caret_x(std::string_view text, const TextSpec& spec, std::size_t index);
    [[nodiscard]] std::size_t index_at_x(std::string_view text, const TextSpec& spec, float x);

    // The family every text is drawn in ("Inter", or the fallback's name).
    [[nodiscard]] static std::string font_family();
    [[nodiscard]] static bool font_pinned();

    struct CacheStats {
        std::size_t entries = 0;
        std::size_t capacity = 0;
        std::uint64_t hits = 0;
        std::uint64_t misses = 0;
    };
    [[nodiscard]] CacheStats cache_stats() const;
    void set_cache_capacity(std::size_t capacity);
    void clear_cache();

    // While set, every draw appends a DrawnText to `log` (nullptr stops it); device pixels are divided by
    // `scale_factor` to give window coordinates.
    void set_draw_log(std::vector<DrawnText>* log, double scale_factor = 1.0)
    {
        draw_log_ = log;
        log_scale_ = scale_factor;
    }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    float ui_scale_ = 1.0f;
    float text_scale_ = 1.0f;
    std::vector<DrawnText>* draw_log_ = nullptr;
    double log_scale_ = 1.0;
};

}  // namespace vorn_ui
