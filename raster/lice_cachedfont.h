// UTF-8 text on any bitmap, from a GDI font.
//
// Two ways of drawing: straight through the GDI layer's text renderer (FONT_PREFER_NATIVE, when
// no effect flag or foreground alpha asks for more), or through a cache of 8-bit coverage maps
// that each glyph is rendered into once, with the GDI layer, and that the font then blends
// itself with the raster combine operations. The cache holds codes 0..127 in a direct table and
// the rest in an array sorted by code; every SetFromHFont empties it.
//
// Fonts share two rendering bitmaps, so every font must be used from one thread (the editor's
// drawing thread).
#pragma once

#include "containers/WDL_TypedBuf.h"
#include "raster/lice_bitmap.h"

struct HGDIOBJ__;
class LICE_SysBitmap;

// Font flags for SetFromHFont.
#define FONT_VERTICAL 0x1          // text runs down the bitmap, glyphs turned a quarter
#define FONT_VERTICAL_BOTTOMUP 0x2 // with FONT_VERTICAL: text runs up instead
#define FONT_PRERENDER_ASCII 0x4   // render codes 0..127 at once; never render others
#define FONT_BLUR 0x10             // blur each glyph before taking its coverage
#define FONT_INVERT 0x20           // coverage = 255 - rendered value
#define FONT_MONO 0x40             // coverage thresholded to on or off
#define FONT_SHADOW 0x80           // mono plus a shadow (effect colour) to the lower right
#define FONT_OUTLINE 0x100         // mono plus an outline (effect colour) around each glyph
#define FONT_OWNS_HFONT 0x200      // delete the GDI font when replaced or destroyed
#define FONT_PREFER_NATIVE 0x400   // draw through the GDI layer when nothing else is asked for

// DrawText format word; the low bits are shared with the GDI layer's DrawText.
#define TEXT_HCENTER 0x1
#define TEXT_RIGHT 0x2
#define TEXT_VCENTER 0x4
#define TEXT_BOTTOM 0x8
#define TEXT_SINGLELINE 0x20
#define TEXT_NOCLIP 0x100
#define TEXT_CALCRECT 0x400
#define TEXT_NOPREFIX 0x800
#define TEXT_USE_FG_ALPHA 0x40000000 // glyph path, blended at the text colour's alpha

class LICE_IFont {
public:
    virtual ~LICE_IFont() {}

    virtual void SetFromHFont(HGDIOBJ__* font, int flags = 0) = 0;
    // Colours are pixel words; each setter returns the previous value.
    virtual LICE_pixel SetTextColor(LICE_pixel color) = 0;
    virtual LICE_pixel SetBkColor(LICE_pixel color) = 0;
    virtual LICE_pixel SetEffectColor(LICE_pixel color) = 0;
    // Mode 1 paints each glyph cell (or line box) with the background colour first.
    virtual int SetBkMode(int mode) = 0;
    // Combine operation (0..5) and alpha of glyph-cache drawing.
    virtual void SetCombineMode(int combine, float alpha = 1.0f) = 0;
    // Draws (or with TEXT_CALCRECT measures, bm may then be null) strcnt bytes of str (-1: up to
    // the terminating NUL) in rect. Returns the text's height (its width for vertical fonts);
    // measuring sets rect's right and bottom.
    virtual int DrawText(LICE_IBitmap* bm, const char* str, int strcnt, RECT* rect,
                         unsigned int dtFlags) = 0;
    virtual LICE_pixel GetTextColor() = 0;
    virtual HGDIOBJ__* GetHFont() = 0;
    virtual int GetLineHeight() = 0;
};

class LICE_CachedFont : public LICE_IFont {
public:
    LICE_CachedFont();
    ~LICE_CachedFont() override;
    LICE_CachedFont(const LICE_CachedFont&) = delete;
    LICE_CachedFont& operator=(const LICE_CachedFont&) = delete;

    // Takes the font (and, with FONT_OWNS_HFONT, its ownership), reads its line height and
    // drops every cached glyph. Handing back the current font never deletes it.
    void SetFromHFont(HGDIOBJ__* font, int flags = 0) override;
    LICE_pixel SetTextColor(LICE_pixel color) override;
    LICE_pixel SetBkColor(LICE_pixel color) override;
    LICE_pixel SetEffectColor(LICE_pixel color) override;
    int SetBkMode(int mode) override;
    void SetCombineMode(int combine, float alpha = 1.0f) override;
    int DrawText(LICE_IBitmap* bm, const char* str, int strcnt, RECT* rect,
                 unsigned int dtFlags) override;
    LICE_pixel GetTextColor() override { return m_fg; }
    HGDIOBJ__* GetHFont() override { return m_font; }
    int GetLineHeight() override { return m_line_height; }

    // Draws the cached glyph of c with its pen position at (x, y), clipped to clip (right and
    // bottom exclusive). False when c has no cached glyph; it is not rendered here.
    virtual bool DrawGlyph(LICE_IBitmap* bm, unsigned short c, int x, int y, RECT* clip);

    // One cached glyph: its coverage map lives in the glyph cache at base_offset - 1.
    struct charEnt {
        int base_offset; // 1-based; 0 not yet rendered, -1 no visible glyph
        int width, height;
        int advance;
        int charid;
        int left_extra; // pixels the map starts before the pen (may be negative)
    };

    // The record of c, or null when it has none yet. For tests and tools.
    const charEnt* FindGlyph(unsigned short c) const;
    int ExtendedGlyphCount() const { return m_extracharlist.GetSize(); }
    // The coverage map of a record from FindGlyph (width x height bytes), or null.
    const unsigned char* GlyphCoverage(const charEnt* ent) const;

private:
    charEnt* FindChar(unsigned short c);
    bool RenderGlyph(unsigned short c);
    // Finds c's record, rendering it first when it is new; null when it cannot be drawn.
    const charEnt* GlyphFor(unsigned short c);
    int DrawTextNative(LICE_IBitmap* bm, const char* str, int strcnt, RECT* rect,
                       unsigned int dtFlags);
    int DrawTextGlyphs(LICE_IBitmap* bm, const char* str, int strcnt, RECT* rect,
                       unsigned int dtFlags);
    int MeasureGlyphs(const char* str, int strcnt, RECT* rect, unsigned int dtFlags);
    int GlyphMargin() const;
    static LICE_SysBitmap* EnsureTempBitmap(LICE_SysBitmap*& bm, int w, int h);

    // Rendering surfaces shared by every font: glyphs, and native text onto bitmaps that have
    // no GDI context. Made on first use, deleted with the last font.
    static LICE_SysBitmap* s_tempbitmap;
    static LICE_SysBitmap* s_nativerender_tempbitmap;
    static int s_tempbitmap_refcnt;

    LICE_pixel m_fg = 0;
    LICE_pixel m_bg = 0xFFFFFFFF;
    LICE_pixel m_effectcol = 0xFFFFFFFF;
    int m_bgmode = 0;
    int m_comb = 0;
    float m_alpha = 1.0f;
    int m_flags = 0;
    int m_line_height = 0;
    int m_lsadj = 0; // added to the line height between lines; nothing sets it yet
    charEnt m_lowchars[128];
    WDL_TypedBuf<charEnt> m_extracharlist{4096};
    WDL_TypedBuf<unsigned char> m_cachestore{65536};
    HGDIOBJ__* m_font = nullptr;
};

// Decodes one UTF-8 character at p into *out (when not null) and returns its length in bytes.
// Malformed or truncated sequences count as one byte standing for itself; characters above
// U+FFFF come out as a space (length 4).
int utf8char(const char* p, unsigned short* out);
