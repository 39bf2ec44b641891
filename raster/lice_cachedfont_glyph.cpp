// The cached font's glyph cache: rendering glyphs with the GDI layer, trimming and storing
// their coverage, and blending one glyph onto a bitmap.
#include "raster/lice_cachedfont.h"

#include "gdi/swell-gdi.h"
#include "raster/lice.h"
#include "raster/lice_cachedfont_p.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

LICE_SysBitmap* LICE_CachedFont::s_tempbitmap = nullptr;
LICE_SysBitmap* LICE_CachedFont::s_nativerender_tempbitmap = nullptr;
int LICE_CachedFont::s_tempbitmap_refcnt = 0;

namespace lice_font {

int DecodeUtf8(const char* p, int avail, unsigned short* out) {
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    // Checked in order, so a NUL (never a continuation byte) stops the look-ahead.
    auto cont = [s, avail](int i) { return (avail < 0 || i < avail) && (s[i] & 0xC0) == 0x80; };
    const unsigned int b0 = s[0];
    unsigned int code = b0;
    int len = 1;
    if (b0 >= 0xC2 && b0 <= 0xDF && cont(1)) {
        code = ((b0 & 0x1F) << 6) | (s[1] & 0x3F);
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF && cont(1) && cont(2)) {
        code = ((b0 << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F)) & 0xFFFF;
        len = 3;
    } else if (b0 >= 0xF0 && b0 <= 0xF4 && cont(1) && cont(2) && cont(3)) {
        code = ' '; // beyond 16 bits: shown as a space
        len = 4;
    }
    if (out) *out = static_cast<unsigned short>(code);
    return len;
}

} // namespace lice_font

int utf8char(const char* p, unsigned short* out) {
    if (!p) {
        if (out) *out = 0;
        return 0;
    }
    return lice_font::DecodeUtf8(p, -1, out);
}

LICE_CachedFont::LICE_CachedFont() {
    std::memset(m_lowchars, 0, sizeof(m_lowchars));
    ++s_tempbitmap_refcnt;
}

LICE_CachedFont::~LICE_CachedFont() {
    if ((m_flags & FONT_OWNS_HFONT) && m_font) DeleteObject(m_font);
    if (--s_tempbitmap_refcnt == 0) {
        delete s_tempbitmap;
        s_tempbitmap = nullptr;
        delete s_nativerender_tempbitmap;
        s_nativerender_tempbitmap = nullptr;
    }
}

LICE_pixel LICE_CachedFont::SetTextColor(LICE_pixel color) {
    const LICE_pixel old = m_fg;
    m_fg = color;
    return old;
}

LICE_pixel LICE_CachedFont::SetBkColor(LICE_pixel color) {
    const LICE_pixel old = m_bg;
    m_bg = color;
    return old;
}

LICE_pixel LICE_CachedFont::SetEffectColor(LICE_pixel color) {
    const LICE_pixel old = m_effectcol;
    m_effectcol = color;
    return old;
}

int LICE_CachedFont::SetBkMode(int mode) {
    const int old = m_bgmode;
    m_bgmode = mode;
    return old;
}

void LICE_CachedFont::SetCombineMode(int combine, float alpha) {
    m_comb = combine;
    m_alpha = alpha;
}

LICE_SysBitmap* LICE_CachedFont::EnsureTempBitmap(LICE_SysBitmap*& bm, int w, int h) {
    if (!bm) bm = new (std::nothrow) LICE_SysBitmap();
    if (!bm) return nullptr;
    if (bm->getWidth() < w || bm->getHeight() < h)
        bm->resize(std::max(w, bm->getWidth()), std::max(h, bm->getHeight()));
    return bm->getBits() && bm->getDC() ? bm : nullptr;
}

void LICE_CachedFont::SetFromHFont(HGDIOBJ__* font, int flags) {
    if ((m_flags & FONT_OWNS_HFONT) && m_font && m_font != font) DeleteObject(m_font);
    m_flags = flags;
    m_font = font;
    if (font) {
        if (LICE_SysBitmap* work = EnsureTempBitmap(s_tempbitmap, 256, 256)) {
            HDC dc = work->getDC();
            HGDIOBJ old = SelectObject(dc, font);
            TEXTMETRIC tm;
            GetTextMetrics(dc, &tm);
            SelectObject(dc, old);
            m_line_height = tm.tmHeight;
        }
    }
    std::memset(m_lowchars, 0, sizeof(m_lowchars));
    m_extracharlist.Shrink(0);
    m_cachestore.Shrink(0);
    if (m_flags & FONT_PRERENDER_ASCII)
        for (unsigned short c = 0; c < 128; ++c)
            RenderGlyph(c);
}

int LICE_CachedFont::GlyphMargin() const {
    return m_line_height >= 16 ? m_line_height / 16 + 2 : 2;
}

LICE_CachedFont::charEnt* LICE_CachedFont::FindChar(unsigned short c) {
    if (c < 128) return &m_lowchars[c];
    charEnt* list = m_extracharlist.Get();
    const int n = m_extracharlist.GetSize();
    charEnt* at = std::lower_bound(list, list + n, static_cast<int>(c),
                                   [](const charEnt& e, int code) { return e.charid < code; });
    return at != list + n && at->charid == c ? at : nullptr;
}

const LICE_CachedFont::charEnt* LICE_CachedFont::FindGlyph(unsigned short c) const {
    return const_cast<LICE_CachedFont*>(this)->FindChar(c);
}

const unsigned char* LICE_CachedFont::GlyphCoverage(const charEnt* ent) const {
    if (!ent || ent->base_offset <= 0) return nullptr;
    const long long end = static_cast<long long>(ent->base_offset) - 1 +
                          static_cast<long long>(ent->width) * ent->height;
    if (end > m_cachestore.GetSize()) return nullptr;
    return m_cachestore.Get() + ent->base_offset - 1;
}

const LICE_CachedFont::charEnt* LICE_CachedFont::GlyphFor(unsigned short c) {
    const charEnt* ent = FindChar(c);
    if (!ent || ent->base_offset == 0) {
        RenderGlyph(c);
        ent = FindChar(c);
    }
    return ent;
}

namespace {

int EncodeUtf8(unsigned short c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
}

// Turns a W x H map a quarter turn into dst (H wide, W tall).
void RotateQuarter(const unsigned char* src, int W, int H, bool bottomUp, unsigned char* dst) {
    for (int r = 0; r < W; ++r)
        for (int c = 0; c < H; ++c)
            dst[r * H + c] = bottomUp ? src[c * W + (W - 1 - r)] : src[(H - 1 - c) * W + r];
}

// Threshold to 0 / 0xFF, then, for shadow or outline, mark empty cells next to ink with 0x80.
void ApplyMonoEffects(unsigned char* map, int w, int h, int flags) {
    for (int i = 0; i < w * h; ++i)
        map[i] = map[i] < 0x83 ? 0 : 0xFF;
    if (!(flags & (FONT_SHADOW | FONT_OUTLINE))) return;
    auto ink = [map, w, h](int x, int y) {
        return x >= 0 && y >= 0 && x < w && y < h && map[y * w + x] == 0xFF;
    };
    const bool shadow = (flags & FONT_SHADOW) != 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (map[y * w + x]) continue;
            const bool ring =
                shadow ? ink(x - 1, y) || ink(x - 1, y - 1) || ink(x, y - 1)
                       : ink(x, y - 1) || ink(x, y + 1) || ink(x - 1, y) || ink(x + 1, y);
            if (ring) map[y * w + x] = 0x80;
        }
}

} // namespace

bool LICE_CachedFont::RenderGlyph(unsigned short c) {
    if (m_line_height > 1023) return false;
    charEnt* ent = FindChar(c);
    if (!ent) {
        if (m_flags & FONT_PRERENDER_ASCII) return false;
        // Insert in code order so that lookups can bisect.
        const int n = m_extracharlist.GetSize();
        const charEnt* list = m_extracharlist.Get();
        const int at = static_cast<int>(
            std::lower_bound(list, list + n, static_cast<int>(c),
                             [](const charEnt& e, int code) { return e.charid < code; }) -
            list);
        if (!m_extracharlist.Add(nullptr, 1)) return false;
        charEnt* grown = m_extracharlist.Get();
        std::memmove(grown + at + 1, grown + at, static_cast<size_t>(n - at) * sizeof(charEnt));
        ent = grown + at;
        std::memset(ent, 0, sizeof(*ent));
        ent->charid = c;
    }

    const int size = std::max(m_line_height, 1) * 2 + 8;
    LICE_SysBitmap* work = EnsureTempBitmap(s_tempbitmap, size, size);
    if (!work) return false;
    HDC dc = work->getDC();
    ::SetTextColor(dc, 0xFFFFFF);
    ::SetBkMode(dc, OPAQUE);
    ::SetBkColor(dc, 0);
    HGDIOBJ oldFont = SelectObject(dc, m_font);

    const int m = GlyphMargin();
    char text[4];
    const int len = EncodeUtf8(c, text);
    RECT r = {0, 0, 0, 0};
    SWELL_DrawText(dc, text, len, &r, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    int advance = r.right - r.left;
    int h = r.bottom - r.top;
    int w = advance + 2 * m;
    LICE_FillRect(work, 0, 0, w, h, 0, 1.0f, LICE_COMBINE_COPY);
    RECT at = {m, 0, w, h};
    SWELL_DrawText(dc, text, len, &at, DT_NOPREFIX | DT_NOCLIP | DT_SINGLELINE);
    advance = std::min(advance, work->getWidth());
    w = std::min(w, work->getWidth());
    h = std::min(h, work->getHeight());
    SelectObject(dc, oldFont);

    if (advance < 1 || h < 1) {
        *ent = charEnt{-1, 0, 0, 0, c, 0};
        return true;
    }
    ent->advance = advance;
    if (m_flags & FONT_BLUR) LICE_Blur(work, work, 0, 0, 0, 0, w, h);

    const int base = m_cachestore.GetSize();
    if (w > (INT_MAX - base) / h) return false;
    unsigned char* map = m_cachestore.Resize(base + w * h, false);
    if (!map) return false;
    map += base;

    // Copy the red channel, noting how far ink reaches left of the pen and right of the advance.
    int left = m, right = std::min(advance + m, w);
    const LICE_pixel* bits = work->getBits();
    const int span = work->getRowSpan();
    for (int y = 0; y < h; ++y) {
        const int row = work->isFlipped() ? work->getHeight() - 1 - y : y;
        const LICE_pixel* px = bits + static_cast<long>(row) * span;
        for (int x = 0; x < w; ++x) {
            int v = LICE_GETR(px[x]);
            if (m_flags & FONT_INVERT) v = 255 - v;
            map[y * w + x] = static_cast<unsigned char>(v);
            if (v) {
                if (x < left) left = x;
                if (x + 1 > right) right = x + 1;
            }
        }
    }
    int mapw = right - left;
    for (int y = 0; y < h; ++y)
        std::memmove(map + y * mapw, map + y * w + left, mapw);
    m_cachestore.Shrink(base + mapw * h);
    map = m_cachestore.Get() + base;

    int maph = h;
    if (m_flags & FONT_VERTICAL) {
        WDL_TypedBuf<unsigned char> turned;
        unsigned char* t = turned.Resize(mapw * h);
        if (!t && mapw * h > 0) return false;
        RotateQuarter(map, mapw, h, (m_flags & FONT_VERTICAL_BOTTOMUP) != 0, t);
        std::memcpy(map, t, static_cast<size_t>(mapw) * h);
        std::swap(mapw, maph);
    }
    if (m_flags & (FONT_MONO | FONT_SHADOW | FONT_OUTLINE))
        ApplyMonoEffects(map, mapw, maph, m_flags);

    ent->base_offset = base + 1;
    ent->width = mapw;
    ent->height = maph;
    ent->left_extra = m - left;
    return true;
}

bool LICE_CachedFont::DrawGlyph(LICE_IBitmap* bm, unsigned short c, int x, int y, RECT* clip) {
    const charEnt* ent = FindChar(c);
    const unsigned char* map = GlyphCoverage(ent);
    if (!map) return false;
    if (!bm || !clip) return false;
    LICE_pixel* bits = bm->getBits();
    const int bmw = bm->getWidth(), bmh = bm->getHeight(), span = bm->getRowSpan();
    if (!bits) return true;

    long long gx = x, gy = y;
    if (!(m_flags & FONT_VERTICAL))
        gx -= ent->left_extra;
    else if (m_flags & FONT_VERTICAL_BOTTOMUP)
        gy -= ent->left_extra;
    else
        gy += ent->left_extra;
    const long long l = std::max({gx, static_cast<long long>(clip->left), 0LL});
    const long long t = std::max({gy, static_cast<long long>(clip->top), 0LL});
    const long long r = std::min(
        {gx + ent->width, static_cast<long long>(clip->right), static_cast<long long>(bmw)});
    const long long b = std::min(
        {gy + ent->height, static_cast<long long>(clip->bottom), static_cast<long long>(bmh)});
    if (l >= r || t >= b) return true;
    const int vx = static_cast<int>(l), vy = static_cast<int>(t);
    const int vw = static_cast<int>(r - l), vh = static_cast<int>(b - t);

    if (m_bgmode == 1)
        LICE_FillRect(bm, vx, vy, vw, vh, m_bg, m_alpha, m_comb & ~LICE_COMBINE_USE_SOURCE_ALPHA);

    // Capped well above 256 (every weight from there on draws the same) so that the cast and
    // the products below cannot overflow; NaN draws nothing.
    const double wd = static_cast<double>(m_alpha) * 256.0;
    const int weight = !(wd > 0.0) ? 0 : wd >= 65536.0 ? 65536 : static_cast<int>(wd);
    const int op = m_comb & LICE_COMBINE_MASK;
    if (weight <= 0 || op > LICE_COMBINE_HSVADJ) return true;

    const unsigned char* src = map + (vy - gy) * ent->width + (vx - gx);
    const int srcSpan = ent->width;
    LICE_pixel* row = bits + static_cast<long>(bm->isFlipped() ? bmh - 1 - vy : vy) * span;
    const long rowStep = bm->isFlipped() ? -static_cast<long>(span) : span;
    const int fr = LICE_GETR(m_fg), fg = LICE_GETG(m_fg), fb = LICE_GETB(m_fg);
    const int er = LICE_GETR(m_effectcol), eg = LICE_GETG(m_effectcol), eb = LICE_GETB(m_effectcol);
    const bool rings = (m_flags & (FONT_SHADOW | FONT_OUTLINE)) != 0;
    const bool mono = rings || (m_flags & FONT_MONO);

    if (mono && m_alpha == 1.0f && op == LICE_COMBINE_COPY) {
        // Solid on/off coverage at full weight: store the colour words themselves.
        for (int yy = 0; yy < vh; ++yy, src += srcSpan, row += rowStep)
            for (int xx = 0; xx < vw; ++xx)
                if (const unsigned char v = src[xx]) row[vx + xx] = v == 0xFF ? m_fg : m_effectcol;
        return true;
    }
    const int w = std::min(weight, 256);
    LICE_DispatchSolid(op, w, [&](auto opTag) {
        using Op = decltype(opTag);
        for (int yy = 0; yy < vh; ++yy, src += srcSpan, row += rowStep) {
            auto* dest = reinterpret_cast<LICE_pixel_chan*>(row + vx);
            for (int xx = 0; xx < vw; ++xx, dest += 4) {
                const int v = src[xx];
                if (!v) continue;
                if (mono) {
                    if (v == 0xFF || !rings)
                        Op::doPix(dest, fr, fg, fb, 255, w);
                    else
                        Op::doPix(dest, er, eg, eb, 255, w);
                } else {
                    Op::doPix(dest, fr, fg, fb, 255,
                              weight == 256 ? v + 1 : std::min(256, weight * v / 256));
                }
            }
        }
    });
    return true;
}
