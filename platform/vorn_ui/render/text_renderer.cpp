// TextRenderer: pango layouts over a font map pinned to the Inter family, cached between frames.

#include "vorn_ui/text.hpp"

#include "vorn_log/log.hpp"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <array>
#include <bit>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <list>
#include <unordered_map>

namespace vorn_ui {

namespace {

// ---- The pinned font map ------------------------------------------------------------------------------------------

// The toolkit's own fontconfig configuration: only the Inter faces below are known to it, every generic family
// resolves to Inter, and rendering options are fixed so that pictures do not depend on the machine's settings.
constexpr const char* font_config_xml = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <alias binding="same"><family>sans-serif</family><prefer><family>Inter</family></prefer></alias>
  <alias binding="same"><family>sans</family><prefer><family>Inter</family></prefer></alias>
  <alias binding="same"><family>system-ui</family><prefer><family>Inter</family></prefer></alias>
  <alias binding="same"><family>serif</family><prefer><family>Inter</family></prefer></alias>
  <alias binding="same"><family>monospace</family><prefer><family>Inter</family></prefer></alias>
  <match target="font">
    <edit name="antialias" mode="assign"><bool>true</bool></edit>
    <edit name="hinting" mode="assign"><bool>false</bool></edit>
    <edit name="autohint" mode="assign"><bool>false</bool></edit>
    <edit name="hintstyle" mode="assign"><const>hintnone</const></edit>
    <edit name="rgba" mode="assign"><const>none</const></edit>
    <edit name="lcdfilter" mode="assign"><const>lcdnone</const></edit>
    <edit name="embeddedbitmap" mode="assign"><bool>false</bool></edit>
  </match>
</fontconfig>
)";

constexpr std::array<const char*, 3> inter_dirs{"/usr/share/fonts/opentype/inter", "/usr/share/fonts/inter",
                                                "/usr/local/share/fonts/inter"};
constexpr std::array<const char*, 4> inter_faces{"Inter-Regular.otf", "Inter-Medium.otf", "Inter-SemiBold.otf",
                                                 "Inter-Bold.otf"};

struct FontSetup {
    PangoFontMap* map = nullptr;
    std::string family;
    bool pinned = false;
};

FontSetup make_font_setup()
{
    FontSetup setup;
    for (const char* dir : inter_dirs) {
        const std::filesystem::path regular = std::filesystem::path(dir) / inter_faces[0];
        std::error_code ec;
        if (!std::filesystem::is_regular_file(regular, ec)) {
            continue;
        }
        FcConfig* config = FcConfigCreate();
        bool loaded = FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(font_config_xml),
                                                     FcTrue) == FcTrue;
        for (const char* face : inter_faces) {
            const std::string path = (std::filesystem::path(dir) / face).string();
            if (std::filesystem::is_regular_file(path, ec)) {
                loaded = FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(path.c_str())) == FcTrue &&
                         loaded;
            }
        }
        if (!loaded) {
            FcConfigDestroy(config);
            continue;
        }
        setup.map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        if (setup.map == nullptr || !PANGO_IS_FC_FONT_MAP(setup.map)) {
            FcConfigDestroy(config);
            if (setup.map != nullptr) {
                g_object_unref(setup.map);
                setup.map = nullptr;
            }
            break;
        }
        pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(setup.map), config);
        FcConfigDestroy(config);  // the font map holds its own reference
        setup.family = "Inter";
        setup.pinned = true;
        return setup;
    }
    VORN_WARN("text_fonts", "the Inter font is not installed; text falls back to the system's sans-serif font");
    setup.map = pango_cairo_font_map_new();
    setup.family = "sans-serif";
    return setup;
}

// One font map for the whole process, made on first use and kept (fontconfig set-up is costly).
const FontSetup& font_setup()
{
    static const FontSetup setup = make_font_setup();
    return setup;
}

PangoWeight weight_of(TextStyle style)
{
    switch (style) {
    case TextStyle::Medium:
        return PANGO_WEIGHT_MEDIUM;
    case TextStyle::Bold:
        return PANGO_WEIGHT_BOLD;
    case TextStyle::Regular:
    case TextStyle::Caption:
        break;
    }
    return PANGO_WEIGHT_NORMAL;
}

// ---- The layout cache ---------------------------------------------------------------------------------------------

constexpr std::uint32_t no_wrap = 0xFFFFFFFFU;
// The align value of a min-content probe: wrapped by words only, at width 0, so that every word stands alone.
constexpr std::uint8_t min_content_probe = 0xFF;

struct KeyView {
    std::string_view text;
    std::uint32_t size_bits;
    std::uint32_t wrap_bits;
    std::uint16_t max_lines;
    std::uint8_t style;
    std::uint8_t align;
    bool ellipsize;
};

struct Key {
    std::string text;
    std::uint32_t size_bits;
    std::uint32_t wrap_bits;
    std::uint16_t max_lines;
    std::uint8_t style;
    std::uint8_t align;
    bool ellipsize;

    [[nodiscard]] KeyView view() const { return {text, size_bits, wrap_bits, max_lines, style, align, ellipsize}; }
};

bool operator==(const KeyView& a, const KeyView& b)
{
    return a.size_bits == b.size_bits && a.wrap_bits == b.wrap_bits && a.max_lines == b.max_lines &&
           a.style == b.style && a.align == b.align && a.ellipsize == b.ellipsize && a.text == b.text;
}

struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(const KeyView& k) const
    {
        std::size_t h = std::hash<std::string_view>{}(k.text);
        const auto mix = [&h](std::uint64_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
        mix(k.size_bits);
        mix(k.wrap_bits);
        mix((std::uint64_t{k.max_lines} << 16) | (std::uint64_t{k.style} << 8) | k.align);
        mix(k.ellipsize ? 1 : 0);
        return h;
    }
    std::size_t operator()(const Key& k) const { return (*this)(k.view()); }
};

struct KeyEqual {
    using is_transparent = void;
    bool operator()(const Key& a, const Key& b) const { return a.view() == b.view(); }
    bool operator()(const KeyView& a, const Key& b) const { return a == b.view(); }
    bool operator()(const Key& a, const KeyView& b) const { return a.view() == b; }
};

struct Shaped {
    PangoLayout* layout = nullptr;
    TextMetrics metrics;
};

void release(Shaped& shaped)
{
    if (shaped.layout != nullptr) {
        g_object_unref(shaped.layout);
        shaped.layout = nullptr;
    }
}

std::uint32_t bits_of(float v) { return std::bit_cast<std::uint32_t>(v); }

KeyView key_of(std::string_view text, const TextSpec& spec)
{
    return {text,
            bits_of(spec.size),
            spec.wrap_width && std::isfinite(*spec.wrap_width) ? bits_of(std::max(*spec.wrap_width, 0.0f)) : no_wrap,
            spec.max_lines,
            static_cast<std::uint8_t>(spec.style),
            static_cast<std::uint8_t>(spec.align),
            spec.ellipsize};
}


}  // namespace

struct TextRenderer::Impl {
    struct Entry {
        Key key;
        Shaped shaped;
    };

    PangoContext* context = nullptr;
    std::array<PangoFontDescription*, 4> fonts{};
    std::list<Entry> entries;  // most recently used first
    std::unordered_map<Key, std::list<Entry>::iterator, KeyHash, KeyEqual> index;
    std::size_t capacity = 4096;
    std::uint64_t hits = 0;
    std::uint64_t misses = 0;

    Impl()
    {
        const FontSetup& setup = font_setup();
        context = pango_font_map_create_context(setup.map);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(context, 96.0);
        pango_context_set_round_glyph_positions(context, FALSE);
        for (std::size_t i = 0; i < fonts.size(); ++i) {
            fonts[i] = pango_font_description_new();
            pango_font_description_set_family(fonts[i], setup.family.c_str());
            pango_font_description_set_weight(fonts[i], weight_of(static_cast<TextStyle>(i)));
        }
    }

    ~Impl()
    {
        clear();
        for (PangoFontDescription* font : fonts) {
            pango_font_description_free(font);
        }
        g_object_unref(context);
    }

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void clear()
    {
        for (Entry& entry : entries) {
            release(entry.shaped);
        }
        entries.clear();
        index.clear();
    }

    void trim()
    {
        while (entries.size() > capacity && !entries.empty()) {
            Entry& last = entries.back();
            index.erase(last.key);
            release(last.shaped);
            entries.pop_back();
        }
    }

    Shaped shape(const KeyView& key) const
    {
        PangoLayout* layout = pango_layout_new(context);
        PangoFontDescription* font = pango_font_description_copy_static(fonts[key.style % fonts.size()]);
        const float size = std::isfinite(std::bit_cast<float>(key.size_bits))
                               ? std::clamp(std::bit_cast<float>(key.size_bits), 1.0f, 1000.0f)
                               : 13.0f;
        pango_font_description_set_absolute_size(font, static_cast<double>(size) * PANGO_SCALE);
        pango_layout_set_font_description(layout, font);
        pango_font_description_free(font);

        if (g_utf8_validate(key.text.data(), static_cast<gssize>(key.text.size()), nullptr)) {
            pango_layout_set_text(layout, key.text.data(), static_cast<int>(key.text.size()));
        } else {
            gchar* valid = g_utf8_make_valid(key.text.data(), static_cast<gssize>(key.text.size()));
            pango_layout_set_text(layout, valid, -1);
            g_free(valid);
        }
        if (key.wrap_bits != no_wrap) {
            const float wrap = std::max(std::bit_cast<float>(key.wrap_bits), 0.0f);
            pango_layout_set_width(layout, static_cast<int>(std::min(wrap, 1e6f) * PANGO_SCALE));
            pango_layout_set_wrap(layout, key.align == min_content_probe ? PANGO_WRAP_WORD : PANGO_WRAP_WORD_CHAR);
            switch (static_cast<TextAlign>(key.align)) {
            case TextAlign::Center:
                pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
                break;
            case TextAlign::End:
                pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT);
                break;
            case TextAlign::Start:
                break;
            }
            if (key.ellipsize || key.max_lines > 0) {
                pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
                pango_layout_set_height(layout, key.max_lines > 0 ? -static_cast<int>(key.max_lines) : -1);
            }
        }

        Shaped shaped;
        shaped.layout = layout;
        PangoRectangle logical{};
        pango_layout_get_extents(layout, nullptr, &logical);
        shaped.metrics.width = std::ceil(static_cast<float>(logical.width) / PANGO_SCALE);
        shaped.metrics.height = std::ceil(static_cast<float>(logical.height) / PANGO_SCALE);
        shaped.metrics.baseline = static_cast<float>(pango_layout_get_baseline(layout)) / PANGO_SCALE;
        shaped.metrics.lines = static_cast<std::uint32_t>(pango_layout_get_line_count(layout));
        if (PangoLayoutLine* first = pango_layout_get_line_readonly(layout, 0)) {
            PangoRectangle line{};
            pango_layout_line_get_extents(first, nullptr, &line);
            shaped.metrics.line_height = static_cast<float>(line.height) / PANGO_SCALE;
        }
        return shaped;
    }

    // The cached layout of `key` (shaped on a miss). Valid until the next lookup may evict it.
    const Shaped& lookup(const KeyView& key)
    {
        if (const auto it = index.find(key); it != index.end()) {
            ++hits;
            entries.splice(entries.begin(), entries, it->second);
            return it->second->shaped;
        }
        ++misses;
        entries.push_front(Entry{Key{std::string(key.text), key.size_bits, key.wrap_bits, key.max_lines, key.style,
                                     key.align, key.ellipsize},
                                 shape(key)});
        index.emplace(entries.front().key, entries.begin());
        trim();
        return entries.front().shaped;
    }
    // A shaped text for one use: from the cache, or shaped afresh and released by the holder.
    class Use {
    public:
        Use(Impl& impl, std::string_view text, const TextSpec& spec)
        {
            const KeyView key = key_of(text, spec);
            if (spec.cacheable) {
                shaped_ = &impl.lookup(key);
            } else {
                own_ = impl.shape(key);
                shaped_ = &own_;
            }
        }
        ~Use() { release(own_); }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

        [[nodiscard]] const Shaped* operator->() const { return shaped_; }

    private:
        Shaped own_;
        const Shaped* shaped_ = nullptr;
    };

    // A left-aligned text that fits its wrap width on one line shapes exactly as without the width: use the one
    // unwrapped layout for every width it fits (fewer layouts, more hits).
    TextSpec simplified(std::string_view text, const TextSpec& spec)
    {
        if (!spec.wrap_width || spec.align != TextAlign::Start || !spec.cacheable) {
            return spec;
        }
        TextSpec natural = spec;
        natural.wrap_width.reset();
        natural.ellipsize = false;
        natural.max_lines = 0;
        const Shaped& one_line = lookup(key_of(text, natural));
        if (one_line.metrics.lines <= 1 && one_line.metrics.width <= *spec.wrap_width) {
            return natural;
        }
        return spec;
    }
};


TextRenderer::TextRenderer() : impl_(std::make_unique<Impl>()) {}
TextRenderer::~TextRenderer() = default;

void TextRenderer::set_scales(float ui_scale, float text_scale)
{
    ui_scale_ = std::isfinite(ui_scale) && ui_scale > 0.0f ? ui_scale : 1.0f;
    text_scale_ = std::isfinite(text_scale) && text_scale > 0.0f ? text_scale : 1.0f;
}

ResolvedTextStyle TextRenderer::renderer_input_style(float size, float factor) const
{
    const float effective = size * ui_scale_ * text_scale_;
    return {effective, effective * factor};
}

TextMetrics TextRenderer::metrics(std::string_view text, const TextSpec& spec)
{
    const TextSpec actual = impl_->simplified(text, spec);
    const Impl::Use use(*impl_, text, actual);
    return use->metrics;
}

Size TextRenderer::measure(std::string_view text, float size, TextStyle style, std::optional<float> wrap_width)
{
    const TextMetrics m = metrics(text, TextSpec{.size = size, .style = style, .wrap_width = wrap_width});
    return {m.width, m.height};
}

float TextRenderer::max_content_width(std::string_view text, float size, TextStyle style)
{
    return measure(text, size, style).width;
}

float TextRenderer::min_content_width(std::string_view text, float size, TextStyle style)
{
    // Wrapped by words at width 0, every word stands on a line of its own: the widest line is the widest word.
    const KeyView key{text, bits_of(size), bits_of(0.0f), 0, static_cast<std::uint8_t>(style), min_content_probe,
                      false};
    const float widest_word = impl_->lookup(key).metrics.width;
    return std::min(widest_word, max_content_width(text, size, style));
}

Size TextRenderer::measure_for_layout(std::string_view text, const TextSpec& spec, flex_layout::KnownSize known,
                                      flex_layout::AvailableSize available, bool wrap)
{
    const bool shortens = spec.ellipsize || spec.max_lines > 0;
    const bool min_content = !known.width && available.width.kind == flex_layout::AvailableSpace::Kind::MinContent;
    std::optional<float> limit;
    if (known.width) {
        limit = *known.width;
    } else if (available.width.is_definite()) {
        limit = available.width.value;
    } else if (min_content && wrap) {
        limit = min_content_width(text, spec.size, spec.style);
    }
    TextSpec shaped = spec;
    shaped.wrap_width = (wrap || shortens) ? limit : std::nullopt;
    const TextMetrics m = metrics(text, shaped);
    Size size{m.width, m.height};
    if (min_content && shortens && !wrap) {
        size.width = std::min(size.width, 2.0f * spec.size);  // an ellipsized line may shrink to a few letters
    }
    if (known.width) {
        size.width = *known.width;
    }
    if (known.height) {
        size.height = *known.height;
    }
    return size;
}

void TextRenderer::draw_text(cairo_t* cr, std::string_view text, Color color, Point origin, TextStyle style,
                             float size, std::optional<float> wrap_width)
{
    draw(cr, text, TextSpec{.size = size, .style = style, .wrap_width = wrap_width}, origin, color);
}

void TextRenderer::draw(cairo_t* cr, std::string_view text, const TextSpec& spec, Point origin, Color color)
{
    if (cr == nullptr || text.empty()) {
        return;
    }
    const TextSpec actual = impl_->simplified(text, spec);
    const Impl::Use use(*impl_, text, actual);
    cairo_save(cr);
    cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a);
    cairo_move_to(cr, origin.x, origin.y);
    pango_cairo_show_layout(cr, use->layout);
    cairo_restore(cr);

    if (draw_log_ != nullptr) {
        // The text's box and the clip, both in device pixels; the frame driver's transform is a pure scale.
        double x0 = origin.x;
        double y0 = origin.y;
        double x1 = origin.x + (actual.wrap_width && actual.align != TextAlign::Start ? *actual.wrap_width
                                                                                      : use->metrics.width);
        double y1 = origin.y + use->metrics.height;
        cairo_user_to_device(cr, &x0, &y0);
        cairo_user_to_device(cr, &x1, &y1);
        double cx0 = 0;
        double cy0 = 0;
        double cx1 = 0;
        double cy1 = 0;
        cairo_clip_extents(cr, &cx0, &cy0, &cx1, &cy1);
        cairo_user_to_device(cr, &cx0, &cy0);
        cairo_user_to_device(cr, &cx1, &cy1);
        const double scale = log_scale_ > 0.0 ? log_scale_ : 1.0;
        const Rect bounds{std::min(x0, x1) / scale, std::min(y0, y1) / scale, std::max(x0, x1) / scale,
                          std::max(y0, y1) / scale};
        const Rect clip{std::min(cx0, cx1) / scale, std::min(cy0, cy1) / scale, std::max(cx0, cx1) / scale,
                        std::max(cy0, cy1) / scale};
        draw_log_->push_back(DrawnText{std::string(text), bounds, bounds.intersect(clip)});
    }
}

float TextRenderer::caret_x(std::string_view text, const TextSpec& spec, std::size_t index)
{
    TextSpec one_line = spec;
    one_line.wrap_width.reset();
    one_line.ellipsize = false;
    one_line.max_lines = 0;
    const Impl::Use use(*impl_, text, one_line);
    const char* chars = pango_layout_get_text(use->layout);
    const std::size_t length = std::strlen(chars);
    index = std::min(index, length);
    // Move back to the start of a UTF-8 sequence.
    while (index > 0 && index < length && (static_cast<unsigned char>(chars[index]) & 0xC0) == 0x80) {
        --index;
    }
    PangoRectangle pos{};
    pango_layout_index_to_pos(use->layout, static_cast<int>(index), &pos);
    return static_cast<float>(pos.x) / PANGO_SCALE;
}

std::size_t TextRenderer::index_at_x(std::string_view text, const TextSpec& spec, float x)
{
    TextSpec one_line = spec;
    one_line.wrap_width.reset();
    one_line.ellipsize = false;
    one_line.max_lines = 0;
    const Impl::Use use(*impl_, text, one_line);
    int index = 0;
    int trailing = 0;
    pango_layout_xy_to_index(use->layout, static_cast<int>(x * PANGO_SCALE), 0, &index, &trailing);
    const char* chars = pango_layout_get_text(use->layout);
    const char* at = chars + index;
    for (int i = 0; i < trailing && *at != '\0'; ++i) {
        at = g_utf8_next_char(at);
    }
    return static_cast<std::size_t>(at - chars);
}

std::string TextRenderer::font_family() { return font_setup().family; }
bool TextRenderer::font_pinned() { return font_setup().pinned; }

TextRenderer::CacheStats TextRenderer::cache_stats() const
{
    return {impl_->entries.size(), impl_->capacity, impl_->hits, impl_->misses};
}

void TextRenderer::set_cache_capacity(std::size_t capacity)
{
    impl_->capacity = std::max<std::size_t>(capacity, 16);
    impl_->trim();
}

void TextRenderer::clear_cache() { impl_->clear(); }

}  // namespace vorn_ui

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps parts of its font data behind offsets instead of pointers, so a leak checker takes its live
// set-up (held by the process-wide font map) for leaked memory. Its allocations are not reported. The same goes
// for libdbus, which SDL's window set-up asks for the session bus: it keeps process-wide state until exit.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
#endif
