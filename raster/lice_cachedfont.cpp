// The cached font's DrawText: the GDI path, and measuring and drawing through the glyph cache.
#include "raster/lice_cachedfont.h"

#include "gdi/swell-gdi.h"
#include "raster/lice.h"
#include "raster/lice_cachedfont_p.h"

#include <algorithm>
#include <climits>

namespace {

constexpr unsigned int kAlignFlags = TEXT_HCENTER | TEXT_RIGHT | TEXT_VCENTER | TEXT_BOTTOM;
constexpr unsigned int kMeasurePassBit = 0x80000000u;
// Flags whose look only the glyph cache can give.
constexpr int kGlyphOnlyFontFlags = FONT_VERTICAL | FONT_VERTICAL_BOTTOMUP | FONT_PRERENDER_ASCII |
                                    FONT_BLUR | FONT_INVERT | FONT_MONO | FONT_SHADOW |
                                    FONT_OUTLINE;
// A bitmap answering this Extended id with non-zero wants the glyph cache, never the GDI path.
constexpr int kExtendedNoNativeText = 0x59555678;

// The format word goes to the GDI layer's DrawText unchanged.
static_assert(TEXT_HCENTER == DT_CENTER && TEXT_RIGHT == DT_RIGHT && TEXT_VCENTER == DT_VCENTER &&
                  TEXT_BOTTOM == DT_BOTTOM && TEXT_SINGLELINE == DT_SINGLELINE &&
                  TEXT_NOCLIP == DT_NOCLIP && TEXT_CALCRECT == DT_CALCRECT &&
                  TEXT_NOPREFIX == DT_NOPREFIX,
              "text flags must equal the GDI ones");

// Walks the characters of str: cr skipped, at most strcnt bytes (strcnt < 0: to the NUL).
template <class F>
void ForEachChar(const char* str, int strcnt, F&& f) {
    int used = 0;
    while ((strcnt < 0 || used < strcnt) && str[used]) {
        unsigned short c = 0;
        used += lice_font::DecodeUtf8(str + used, strcnt < 0 ? -1 : strcnt - used, &c);
        if (c != '\r') f(c);
    }
}

} // namespace

int LICE_CachedFont::DrawText(LICE_IBitmap* bm, const char* str, int strcnt, RECT* rect,
                              unsigned int dtFlags) {
    if (!(dtFlags & TEXT_CALCRECT) && !bm) return 0;
    if (!str || !rect) return 0;
    const bool nativeAllowed = !bm || !bm->Extended(kExtendedNoNativeText, nullptr);
    const bool nativePreferred = (m_flags & FONT_PREFER_NATIVE) &&
                                 !(m_flags & kGlyphOnlyFontFlags) && dtFlags < TEXT_USE_FG_ALPHA &&
                                 m_font && (!m_lsadj || (dtFlags & TEXT_SINGLELINE));
    // Fonts too tall for the glyph cache always go through the GDI layer.
    if (nativeAllowed && (m_line_height > 255 || nativePreferred))
        return DrawTextNative(bm, str, strcnt, rect, dtFlags);
    if (dtFlags & TEXT_CALCRECT) return MeasureGlyphs(str, strcnt, rect, dtFlags);
    return DrawTextGlyphs(bm, str, strcnt, rect, dtFlags);
}

int LICE_CachedFont::DrawTextNative(LICE_IBitmap* bm, const char* str, int strcnt, RECT* rect,
                                    unsigned int dtFlags) {
    dtFlags &= ~kMeasurePassBit;
    HDC dc = bm ? bm->getDC() : nullptr;
    auto prepare = [this](HDC ctx) {
        ::SetTextColor(ctx, static_cast<int>(m_fg & 0xFFFFFF));
        ::SetBkMode(ctx, m_bgmode);
        if (m_bgmode == 1) ::SetBkColor(ctx, static_cast<int>(m_bg & 0xFFFFFF));
        return SelectObject(ctx, m_font);
    };
    auto restore = [](HDC ctx, HGDIOBJ old) {
        if (old) SelectObject(ctx, old);
    };

    if (dc) {
        HGDIOBJ old = prepare(dc);
        RECT r = *rect;
        const int ret =
            SWELL_DrawText(dc, str, strcnt, &r, static_cast<int>(dtFlags | TEXT_NOPREFIX));
        if (dtFlags & TEXT_CALCRECT) *rect = r;
        restore(dc, old);
        return ret;
    }

    // No context on the bitmap (or no bitmap): measure on the shared surface, then draw there
    // over a copy of the destination area and copy the result back.
    LICE_SysBitmap* work = EnsureTempBitmap(s_nativerender_tempbitmap, 4, 4);
    if (!work) return 0;
    dc = work->getDC();
    HGDIOBJ old = prepare(dc);
    RECT size = {0, 0, 0, 0};
    const unsigned int plain = dtFlags & ~(kAlignFlags | TEXT_CALCRECT);
    const int ret = SWELL_DrawText(dc, str, strcnt, &size,
                                   static_cast<int>(plain | TEXT_CALCRECT | TEXT_NOPREFIX));
    restore(dc, old);
    const int w = size.right, h = size.bottom;
    if (dtFlags & TEXT_CALCRECT) {
        rect->right = SaturateInt(static_cast<long long>(rect->left) + w);
        rect->bottom = SaturateInt(static_cast<long long>(rect->top) + h);
        return ret;
    }

    long long x = rect->left, y = rect->top;
    if (dtFlags & TEXT_HCENTER)
        x = (static_cast<long long>(rect->left) + rect->right - w) / 2;
    else if (dtFlags & TEXT_RIGHT)
        x = static_cast<long long>(rect->right) - w;
    if (dtFlags & TEXT_VCENTER)
        y = (static_cast<long long>(rect->top) + rect->bottom - h) / 2;
    else if (dtFlags & TEXT_BOTTOM)
        y = static_cast<long long>(rect->bottom) - h;

    long long cl = 0, ct = 0, cr = bm->getWidth(), cb = bm->getHeight();
    if (!(dtFlags & TEXT_NOCLIP)) {
        cl = std::max<long long>(cl, rect->left);
        ct = std::max<long long>(ct, rect->top);
        cr = std::min<long long>(cr, rect->right);
        cb = std::min<long long>(cb, rect->bottom);
    }
    // Ink may start a little left of the text box (negative side bearings).
    const long long left = std::max(cl, std::max(x, cl) - GlyphMargin());
    const long long top = std::max(y, ct);
    const long long right = std::min(x + w, cr), bottom = std::min(y + h, cb);
    if (!ret || left >= right || top >= bottom) return ret;

    const int bx = static_cast<int>(left), by = static_cast<int>(top);
    const int bw = static_cast<int>(right - left), bh = static_cast<int>(bottom - top);
    work = EnsureTempBitmap(s_nativerender_tempbitmap, bw, bh);
    if (!work) return ret;
    dc = work->getDC(); // growing may have replaced the context
    old = prepare(dc);
    LICE_Blit(work, bm, 0, 0, bx, by, bw, bh, 1.0f, LICE_COMBINE_COPY);
    RECT at = {static_cast<int>(x - left), static_cast<int>(y - top),
               static_cast<int>(x - left + w), static_cast<int>(y - top + h)};
    SWELL_DrawText(dc, str, strcnt, &at, static_cast<int>(plain | TEXT_NOPREFIX | TEXT_NOCLIP));
    LICE_Blit(bm, work, bx, by, 0, 0, bw, bh, m_alpha, LICE_COMBINE_COPY);
    restore(dc, old);
    return ret;
}

int LICE_CachedFont::MeasureGlyphs(const char* str, int strcnt, RECT* rect, unsigned int dtFlags) {
    const bool vertical = (m_flags & FONT_VERTICAL) != 0;
    const int lineStep = m_line_height + m_lsadj;
    long long x = 0, y = 0, maxx = 0, maxy = 0;
    ForEachChar(str, strcnt, [&](unsigned short c) {
        if (c == '\n') {
            if (!(dtFlags & TEXT_SINGLELINE)) {
                if (vertical) {
                    y = 0;
                    x += lineStep;
                } else {
                    x = 0;
                    y += lineStep;
                }
                return;
            }
            c = ' ';
        }
        const charEnt* ent = GlyphFor(c);
        if (!ent || ent->base_offset < 0) return;
        if (vertical) {
            maxy = std::max({maxy, y + ent->advance, y + ent->height - ent->left_extra});
            maxx = std::max(maxx, x + ent->width);
            y += ent->advance;
        } else {
            maxx = std::max({maxx, x + ent->advance, x + ent->width - ent->left_extra});
            maxy = std::max(maxy, y + ent->height);
            x += ent->advance;
        }
    });
    rect->right = SaturateInt(rect->left + maxx);
    rect->bottom = SaturateInt(rect->top + maxy);
    return SaturateInt(vertical ? maxx : maxy);
}

int LICE_CachedFont::DrawTextGlyphs(LICE_IBitmap* bm, const char* str, int strcnt, RECT* rect,
                                    unsigned int dtFlags) {
    float alpha = m_alpha;
    if (dtFlags & TEXT_USE_FG_ALPHA) alpha = m_alpha * static_cast<float>(LICE_GETA(m_fg)) / 255.0f;
    if (alpha == 0.0f) return 0;

    const bool vertical = (m_flags & FONT_VERTICAL) != 0;
    const bool bottomUp = vertical && (m_flags & FONT_VERTICAL_BOTTOMUP);
    long long x = rect->left, y = rect->top;
    if ((dtFlags & kAlignFlags) || bottomUp) {
        RECT m = {0, 0, 0, 0};
        MeasureGlyphs(str, strcnt, &m,
                      (dtFlags & (TEXT_SINGLELINE | kMeasurePassBit)) | TEXT_CALCRECT);
        const long long W = m.right, H = m.bottom;
        if (dtFlags & TEXT_HCENTER)
            x = rect->left + (static_cast<long long>(rect->right) - rect->left - W) / 2;
        else if (dtFlags & TEXT_RIGHT)
            x = rect->right - W;
        if (dtFlags & TEXT_VCENTER)
            y = rect->top + (static_cast<long long>(rect->bottom) - rect->top - H) / 2;
        else if (dtFlags & TEXT_BOTTOM)
            y = rect->bottom - H;
        if (bottomUp) y += H;
    }

    RECT clip = {0, 0, bm->getWidth(), bm->getHeight()};
    if (!(dtFlags & TEXT_NOCLIP)) {
        clip.left = std::max(rect->left, 0);
        clip.top = std::max(rect->top, 0);
        clip.right = std::min(rect->right, clip.right);
        clip.bottom = std::min(rect->bottom, clip.bottom);
    }
    if (clip.right <= clip.left || clip.bottom <= clip.top) return 0;

    // Pen positions stay within int range: beyond it nothing is visible anyway.
    auto pen = [](long long v) {
        return static_cast<int>(
            std::max<long long>(INT_MIN / 2, std::min<long long>(v, INT_MAX / 2)));
    };
    const float savedAlpha = m_alpha;
    m_alpha = alpha;
    const long long startx = x, starty = y;
    const int lineStep = m_line_height + m_lsadj;
    long long extent = 0;
    ForEachChar(str, strcnt, [&](unsigned short c) {
        if (c == '\n') {
            if (!(dtFlags & TEXT_SINGLELINE)) {
                if (vertical) {
                    y = starty;
                    x += lineStep;
                } else {
                    x = startx;
                    y += lineStep;
                }
                return;
            }
            c = ' ';
        }
        const charEnt* ent = GlyphFor(c);
        if (!GlyphCoverage(ent)) return;
        if (!vertical) {
            DrawGlyph(bm, c, pen(x), pen(y), &clip);
            extent = std::max(extent, y + ent->height - starty);
            x += ent->advance;
        } else if (bottomUp) {
            DrawGlyph(bm, c, pen(x), pen(y - ent->height), &clip);
            extent = std::max(extent, x + ent->width - startx);
            y -= ent->advance;
        } else {
            DrawGlyph(bm, c, pen(x), pen(y), &clip);
            extent = std::max(extent, x + ent->width - startx);
            y += ent->advance;
        }
    });
    m_alpha = savedAlpha;
    return SaturateInt(extent);
}
