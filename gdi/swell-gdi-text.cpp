// Fonts, text metrics and text drawing through Pango, fontconfig and cairo.
#include "gdi/swell-gdi_p.h"

#include "containers/WDL_Mutex.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>

namespace swell {
namespace {

constexpr double kPangoScale = PANGO_SCALE;

PangoFontMap* g_fontMap = nullptr;
PangoContext* g_metricsContext = nullptr; // loads fonts to measure them
SwellFont* g_defaultFont = nullptr;

// Requested face strings ("Face", "Face Bold", ...) to the family fontconfig picks for them.
std::map<std::string, std::string>* s_fontnamecache = nullptr;

// Never destroyed: the unloader runs among other static destructors in no fixed order.
WDL_Mutex& FontNameCacheMutex() {
    static WDL_Mutex* s_fontnamecache_mutex = new WDL_Mutex;
    return *s_fontnamecache_mutex;
}

// Options shared by measuring and drawing so that both see the same glyph advances, whatever
// the user's fontconfig settings: grey antialiasing (or none), slight (vertical-only) hinting,
// and unhinted metrics, so that sizes and advances keep the font's fractional design values.
cairo_font_options_t* MakeFontOptions(int antialias) {
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(
        options, antialias == NONANTIALIASED_QUALITY ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    return options;
}

void ApplyFontOptions(PangoContext* context, int antialias) {
    cairo_font_options_t* options = MakeFontOptions(antialias);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
}

std::string ResolveFamily(const std::string& key, const char* face, bool bold, bool italic) {
    WDL_MutexLock lock(&FontNameCacheMutex());
    if (!s_fontnamecache) s_fontnamecache = new (std::nothrow) std::map<std::string, std::string>;
    if (s_fontnamecache) {
        auto it = s_fontnamecache->find(key);
        if (it != s_fontnamecache->end()) return it->second;
    }
    std::string family = face;
    FcPattern* pattern = FcPatternCreate();
    if (pattern) {
        if (*face) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* name = nullptr;
        if (match && FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name)
            family = reinterpret_cast<const char*>(name);
        if (match) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    if (s_fontnamecache) (*s_fontnamecache)[key] = family;
    return family;
}

// Loads desc to measure it; false when no font at all can be had.
bool MeasureFont(SwellFont* font) {
    if (!g_metricsContext) return false;
    ApplyFontOptions(g_metricsContext, font->antialias);
    PangoFont* loaded = pango_font_map_load_font(g_fontMap, g_metricsContext, font->desc);
    if (!loaded) return false;
    PangoFontMetrics* metrics = pango_font_get_metrics(loaded, nullptr);
    const double ascent = pango_font_metrics_get_ascent(metrics) / kPangoScale;
    const double descent = pango_font_metrics_get_descent(metrics) / kPangoScale;
    const double height = pango_font_metrics_get_height(metrics) / kPangoScale;
    pango_font_metrics_unref(metrics);
    g_object_unref(loaded);
    font->ascent = ascent;
    font->descent = descent;
    font->leading = height > ascent + descent ? height - ascent - descent : 0.0;
    return true;
}

// family may be empty (the default face). Call with TextMutex held.
SwellFont* MakeFont(const char* family, int size, bool bold, bool italic, int antialias,
                    float angle) {
    SwellFont* font = new (std::nothrow) SwellFont();
    if (!font) return nullptr;
    font->antialias = antialias;
    font->angle = angle;
    for (int attempt = 0; attempt < 2; ++attempt) {
        font->desc = pango_font_description_new();
        // The fallback is the desktop's label face, plain.
        pango_font_description_set_family(font->desc, attempt == 0 ? family : "Sans");
        pango_font_description_set_absolute_size(font->desc, size * kPangoScale);
        if (attempt == 0) {
            pango_font_description_set_weight(font->desc,
                                              bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
            pango_font_description_set_style(font->desc,
                                             italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        }
        if (MeasureFont(font)) return font;
        pango_font_description_free(font->desc);
        font->desc = nullptr;
    }
    delete font;
    return nullptr;
}

} // namespace

WDL_Mutex& TextMutex() {
    static WDL_Mutex* mutex = new WDL_Mutex; // never destroyed, as above
    return *mutex;
}

PangoFontMap* FontMap() {
    if (!g_fontMap) {
        g_fontMap = pango_cairo_font_map_new();
        if (g_fontMap) g_metricsContext = pango_font_map_create_context(g_fontMap);
    }
    return g_fontMap;
}

const SwellFont* DefaultFont() {
    WDL_MutexLock lock(&TextMutex());
    if (!g_defaultFont && FontMap()) g_defaultFont = MakeFont("", 10, false, false, 0, 0.0f);
    return g_defaultFont;
}

void FreeFont(SwellFont* font) {
    if (!font) return;
    if (font->desc) pango_font_description_free(font->desc);
    delete font;
}

void ShutdownText() {
    WDL_MutexLock lock(&TextMutex());
    FreeFont(g_defaultFont);
    g_defaultFont = nullptr;
    if (g_metricsContext) g_object_unref(g_metricsContext);
    g_metricsContext = nullptr;
    if (g_fontMap) g_object_unref(g_fontMap);
    g_fontMap = nullptr;
    WDL_MutexLock cacheLock(&FontNameCacheMutex());
    delete s_fontnamecache;
    s_fontnamecache = nullptr;
}

} // namespace swell

using namespace swell;

HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, char italic,
                 char underline, char strikeout, char charset, char outprecision,
                 char clipprecision, char quality, char pitchandfamily, const char* face) {
    (void)escapement;
    (void)underline;
    (void)strikeout;
    (void)charset;
    (void)outprecision;
    (void)clipprecision;
    (void)pitchandfamily;
    // 64-bit so that the magnitude of INT_MIN does not overflow.
    long long size = std::llabs(static_cast<long long>(height ? height : width));
    if (size > 8192 || size < 2) size = 10;
    const bool bold = weight >= FW_BOLD;
    const bool slanted = italic != 0;

    std::string faceName(face ? face : "");
    if (faceName.size() > 899) faceName.resize(899);
    std::string key = faceName;
    if (bold) key += " Bold";
    if (slanted) key += " Italic";

    const int antialias = quality == NONANTIALIASED_QUALITY ? NONANTIALIASED_QUALITY
                          : quality == ANTIALIASED_QUALITY  ? ANTIALIASED_QUALITY
                                                            : DEFAULT_QUALITY;
    SwellFont* font = nullptr;
    {
        // Pango calls fontconfig too, and the two share patterns: one lock covers both.
        WDL_MutexLock lock(&TextMutex());
        const std::string family =
            key.empty() ? std::string() : ResolveFamily(key, faceName.c_str(), bold, slanted);
        if (FontMap())
            font = MakeFont(family.c_str(), static_cast<int>(size), bold, slanted, antialias,
                            static_cast<float>(orientation) / 10.0f);
    }
    if (!font) return nullptr;
    HGDIOBJ__* obj = AllocObject(SWELL_OBJ_FONT);
    if (!obj) {
        WDL_MutexLock lock(&TextMutex());
        FreeFont(font);
        return nullptr;
    }
    obj->font = font;
    return obj;
}

HFONT CreateFontIndirect(const LOGFONT* lf) {
    if (!lf) return nullptr;
    char face[LF_FACESIZE + 1];
    std::memcpy(face, lf->lfFaceName, LF_FACESIZE); // the name need not be terminated
    face[LF_FACESIZE] = 0;
    return CreateFont(lf->lfHeight, lf->lfWidth, 0, lf->lfOrientation, lf->lfWeight,
                      static_cast<char>(lf->lfItalic), 0, 0, 0, 0, 0,
                      static_cast<char>(lf->lfQuality), 0, face);
}

namespace {

const SwellFont* SelectedFont(const HDC__* ctx) {
    if (ctx->font && IsObjectValid(ctx->font) && ctx->font->font) return ctx->font->font;
    return DefaultFont();
}

} // namespace

int GetTextMetrics(HDC ctx, TEXTMETRIC* tm) {
    if (!tm) return 0;
    std::memset(tm, 0, sizeof(*tm));
    tm->tmHeight = 16;
    tm->tmAscent = 12;
    tm->tmDescent = 4;
    tm->tmInternalLeading = 3;
    tm->tmAveCharWidth = 10;
    if (!IsContextValid(ctx)) return 0;
    const SwellFont* font = SelectedFont(ctx);
    if (!font) return 1;
    const int ascent = static_cast<int>(font->ascent);
    const int descent = static_cast<int>(font->descent);
    const int leading = static_cast<int>(font->leading);
    const int sum = ascent + descent + leading;
    tm->tmAscent = ascent;
    tm->tmDescent = descent;
    tm->tmInternalLeading = leading;
    tm->tmAveCharWidth = sum * 2 / 3;
    tm->tmHeight = sum ? sum + 1 : 0;
    return 1;
}

int GetTextFace(HDC ctx, int nCount, char* buf) {
    if (!buf || nCount <= 0) return 0;
    buf[0] = 0;
    if (!IsContextValid(ctx)) return 0;
    WDL_MutexLock lock(&TextMutex());
    const SwellFont* font = SelectedFont(ctx);
    const char* family = font ? pango_font_description_get_family(font->desc) : nullptr;
    if (!family) return 0;
    size_t n = std::strlen(family);
    if (n > static_cast<size_t>(nCount - 1)) n = static_cast<size_t>(nCount - 1);
    std::memcpy(buf, family, n);
    buf[n] = 0;
    return static_cast<int>(n);
}

namespace {

constexpr int kTextBuffer = 4096;

// Length of the UTF-8 sequence that lead byte b starts (0 for a byte that cannot lead).
int SequenceLength(unsigned char b) {
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    if (b >= 0xF0 && b <= 0xF4) return 4;
    return 0;
}

// Copies text into buf as the layer draws it: carriage returns dropped, '&' prefixes removed
// unless DT_NOPREFIX, line feeds turned into spaces with DT_SINGLELINE. Returns the length.
int PrepareText(const char* text, int len, int format, char* buf) {
    int n = 0;
    for (int i = 0; (len < 0 || i < len) && text[i] && n < kTextBuffer - 1; ++i) {
        char c = text[i];
        if (c == '&' && !(format & DT_NOPREFIX)) {
            ++i; // the character after the ampersand is kept as it is
            if ((len >= 0 && i >= len) || !text[i]) break;
            c = text[i];
        }
        if (c == '\r') continue;
        if (c == '\n' && (format & DT_SINGLELINE)) c = ' ';
        buf[n++] = c;
    }
    // A character cut off by the length or the buffer is dropped rather than failing the
    // whole string as invalid.
    const char* end = nullptr;
    if (!g_utf8_validate(buf, n, &end)) {
        const int at = static_cast<int>(end - buf);
        const int need = SequenceLength(static_cast<unsigned char>(buf[at]));
        bool partial = need > n - at;
        for (int k = at + 1; partial && k < n; ++k)
            partial = (static_cast<unsigned char>(buf[k]) & 0xC0) == 0x80;
        if (!partial) return -1;
        n = at;
    }
    return n;
}

struct LineBox {
    double ascent, descent;
    int width;
};

PangoLayout* ContextLayout(HDC__* ctx) {
    if (!ctx->layout) {
        PangoContext* context = pango_font_map_create_context(FontMap());
        if (!context) return nullptr;
        ctx->layout = pango_layout_new(context);
        g_object_unref(context);
    }
    return ctx->layout;
}

int FloorInt(double v) {
    return static_cast<int>(std::floor(v));
}

} // namespace

int SWELL_DrawText(HDC ctx, const char* text, int len, RECT* rect, int format) {
    if (!IsContextValid(ctx) || !text || !rect) return 0;
    char buf[kTextBuffer];
    const int n = PrepareText(text, len, format, buf);
    if (n <= 0) return 0;

    WDL_MutexLock lock(&TextMutex());
    const SwellFont* font = SelectedFont(ctx);
    PangoLayout* layout = font && FontMap() ? ContextLayout(ctx) : nullptr;
    if (!layout) return 0;
    PangoContext* pctx = pango_layout_get_context(layout);
    cairo_t* cr = ctx->cr;
    cairo_save(cr);
    cairo_identity_matrix(cr);
    pango_cairo_update_context(cr, pctx);
    ApplyFontOptions(pctx, font->antialias);
    pango_layout_context_changed(layout);
    pango_layout_set_font_description(layout, font->desc);
    pango_layout_set_single_paragraph_mode(layout, (format & DT_SINGLELINE) != 0);
    pango_layout_set_width(layout, -1); // no wrapping: lines break only at line feeds
    pango_layout_set_text(layout, buf, n);

    const int lineCount = pango_layout_get_line_count(layout);
    LineBox stackBoxes[16];
    LineBox* boxes = lineCount <= 16 ? stackBoxes : new (std::nothrow) LineBox[lineCount];
    if (!boxes) {
        cairo_restore(cr);
        return 0;
    }
    int width = 0, height = 0, nlines = 0;
    for (GSList* l = pango_layout_get_lines_readonly(layout); l && nlines < lineCount;
         l = l->next) {
        PangoRectangle logical;
        auto* line = static_cast<PangoLayoutLine*>(l->data);
        // A final line feed ends the last line rather than starting an empty one.
        if (!l->next && nlines > 0 && line->length == 0) break;
        LineBox& box = boxes[nlines++];
        pango_layout_line_get_extents(line, nullptr, &logical);
        box.ascent = -logical.y / kPangoScale;
        box.descent = (logical.y + logical.height) / kPangoScale;
        box.width = FloorInt(logical.width / kPangoScale + 0.5);
        if (box.width > width) width = box.width;
        height += FloorInt(box.ascent + box.descent + font->leading + 1.5);
    }
    const int result = height ? height + 1 : 0;

    if (format & DT_CALCRECT) {
        rect->right = SaturateInt(static_cast<long long>(rect->left) + width);
        rect->bottom = SaturateInt(static_cast<long long>(rect->top) + result);
    } else if (result) {
        // 64-bit, so that rectangles near the ends of the int range cannot overflow.
        const long long left = rect->left, top = rect->top, right = rect->right,
                        bottom = rect->bottom;
        long long x = left, y = top;
        if (format & DT_RIGHT)
            x = right - width;
        else if (format & DT_CENTER)
            x = left + (right - left) / 2 - width / 2;
        if (format & DT_BOTTOM)
            y = bottom - result;
        else if (format & DT_VCENTER)
            y = top + (bottom - top) / 2 - result / 2;

        // cairo works in 24.8 fixed point: coordinates beyond about 8 million pixels wrap.
        // Clip rectangles are therefore cut to the surface, and text whose box (with a line
        // height of slack for overhanging ink) misses the surface is not drawn at all.
        const long long sw = cairo_image_surface_get_width(ctx->surface);
        const long long sh = cairo_image_surface_get_height(ctx->surface);
        const long long slack = result;
        bool visible = font->angle != 0.0f ? std::llabs(x) < (1 << 20) && std::llabs(y) < (1 << 20)
                                           : x < sw + slack && x + width + slack > 0 &&
                                                 y < sh + slack && y + result + slack > 0;
        if (!(format & DT_NOCLIP)) {
            const long long clipLeft = std::max(left, 0LL), clipTop = std::max(top, 0LL);
            const long long clipRight = std::min(right, sw), clipBottom = std::min(bottom, sh);
            if (clipLeft < clipRight && clipTop < clipBottom) {
                cairo_rectangle(cr, static_cast<double>(clipLeft), static_cast<double>(clipTop),
                                static_cast<double>(clipRight - clipLeft),
                                static_cast<double>(clipBottom - clipTop));
                cairo_clip(cr);
            } else {
                visible = false;
            }
        }
        if (!visible) {
            if (boxes != stackBoxes) delete[] boxes;
            cairo_restore(cr);
            return result;
        }
        // Rotated fonts turn about the text box's top-left corner, counter-clockwise.
        cairo_translate(cr, static_cast<double>(x), static_cast<double>(y));
        if (font->angle != 0.0f) {
            cairo_rotate(cr, -font->angle * M_PI / 180.0);
            pango_cairo_update_context(cr, pctx);
            pango_layout_context_changed(layout); // lays the lines out again
        }
        GSList* l = pango_layout_get_lines_readonly(layout);
        double lineTop = 0.0;
        for (int i = 0; i < nlines && l; ++i, l = l->next) {
            const LineBox& box = boxes[i];
            const int step = FloorInt(box.ascent + box.descent + font->leading + 0.5);
            if (ctx->bkMode == OPAQUE) {
                const int c = ctx->bkColor;
                cairo_set_source_rgb(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                                     (c & 0xFF) / 255.0);
                cairo_rectangle(cr, 0.0, lineTop, box.width, step);
                cairo_fill(cr);
            }
            cairo_set_source_rgb(cr, ctx->textRGB[0], ctx->textRGB[1], ctx->textRGB[2]);
            // Whole-pixel baselines keep hinted stems sharp.
            cairo_move_to(cr, 0.0, std::floor(lineTop + box.ascent + 0.5));
            pango_cairo_show_layout_line(cr, static_cast<PangoLayoutLine*>(l->data));
            lineTop += step;
        }
    }
    if (boxes != stackBoxes) delete[] boxes;
    cairo_restore(cr);
    return result;
}
