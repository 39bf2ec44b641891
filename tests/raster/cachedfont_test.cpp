// Cached font: UTF-8 decoding, the glyph cache, glyph blending, text measurement and placement,
// the choice between the GDI path and the glyph path, and a golden image.
#include "raster/lice.h"

#include "gdi/swell-gdi.h"
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

// Fontconfig keeps the configuration it parses for the life of the process; only its own
// allocations are exempt from leak reports, never this project's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

// The editor asks for Monaco; fontconfig substitutes whatever it has.
HFONT Font(int height, int weight = 400, const char* face = "Monaco") {
    return CreateFont(height, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, 0, face);
}

std::unique_ptr<LICE_CachedFont> CachedFont(int flags, int height = 13,
                                            const char* face = "Monaco") {
    auto f = std::make_unique<LICE_CachedFont>();
    f->SetFromHFont(Font(height, 400, face), FONT_OWNS_HFONT | flags);
    f->SetTextColor(0xFFFFFFFF);
    return f;
}

struct Box {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN; // inclusive
    bool empty() const { return right < left; }
};

Box Ink(LICE_IBitmap* bm, LICE_pixel background, LICE_pixel mask = 0xFFFFFFFF) {
    Box b;
    for (int y = 0; y < bm->getHeight(); ++y)
        for (int x = 0; x < bm->getWidth(); ++x)
            if ((LICE_GetPixel(bm, x, y) ^ background) & mask) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
            }
    return b;
}

RECT Measure(LICE_CachedFont& f, const char* s, int strcnt = -1, unsigned int flags = 0,
             int* result = nullptr) {
    RECT r = {3, 4, 3, 4};
    const int h = f.DrawText(nullptr, s, strcnt, &r, flags | TEXT_CALCRECT);
    if (result) *result = h;
    return r;
}

int Width(const RECT& r) {
    return r.right - r.left;
}
int Height(const RECT& r) {
    return r.bottom - r.top;
}

// --- utf8char ---

struct Decoded {
    unsigned short code;
    int len;
};

Decoded Decode(const char* s) {
    Decoded d = {0xBEEF, 0};
    d.len = utf8char(s, &d.code);
    return d;
}

TEST(Utf8Char, DecodesOneCharacter) {
    EXPECT_EQ(Decode("A").code, 'A');
    EXPECT_EQ(Decode("A").len, 1);
    EXPECT_EQ(Decode("\xC3\xA9").code, 0xE9);
    EXPECT_EQ(Decode("\xC3\xA9").len, 2);
    EXPECT_EQ(Decode("\xE2\x82\xAC").code, 0x20AC);
    EXPECT_EQ(Decode("\xE2\x82\xAC").len, 3);
    EXPECT_EQ(Decode("\xEF\xBF\xBF").code, 0xFFFF);
    // Beyond 16 bits: a space, all four bytes used.
    EXPECT_EQ(Decode("\xF0\x9F\x98\x80").code, 0x20);
    EXPECT_EQ(Decode("\xF0\x9F\x98\x80").len, 4);
    EXPECT_EQ(utf8char("\xC3\xA9", nullptr), 2);
}

TEST(Utf8Char, MalformedBytesStandForThemselves) {
    const struct {
        const char* bytes;
        unsigned short code;
    } cases[] = {
        {"\xC3"
         "A",
         0xC3},             // lead byte before ASCII
        {"\xC3\xC0", 0xC3}, // lead byte before another lead byte
        {"\xC3", 0xC3},     // lead byte at the end
        {"\xE2\x82", 0xE2}, // three-byte sequence cut short
        {"\xF0\x9F\x98", 0xF0},
        {"\x80", 0x80}, // lone continuation byte
        {"\xBF\xBF", 0xBF},
        {"\xC0\x80", 0xC0}, // overlong two-byte forms are never decoded
        {"\xC1\xBF", 0xC1},
        {"\xF5\x80\x80\x80", 0xF5}, // above the Unicode range
        {"\xFF", 0xFF},
    };
    for (const auto& c : cases) {
        const Decoded d = Decode(c.bytes);
        EXPECT_EQ(d.code, c.code) << std::hex << (unsigned)(unsigned char)c.bytes[0];
        EXPECT_EQ(d.len, 1) << std::hex << (unsigned)(unsigned char)c.bytes[0];
    }
}

// --- glyph cache ---

TEST(CachedFontGlyphs, LowCodesUseTheTableOthersSortedRecords) {
    auto f = CachedFont(0);
    ASSERT_GT(f->GetLineHeight(), 10);
    EXPECT_EQ(f->FindGlyph('A')->base_offset, 0);
    Measure(*f, "A");
    const LICE_CachedFont::charEnt* a = f->FindGlyph('A');
    EXPECT_GT(a->base_offset, 0);
    EXPECT_GT(a->advance, 0);
    EXPECT_EQ(f->ExtendedGlyphCount(), 0);

    // Rendered in the order euro, u-umlaut, e-acute, stored by code.
    EXPECT_EQ(f->FindGlyph(0x20AC), nullptr);
    Measure(*f, "\xE2\x82\xAC\xC3\xBC\xC3\xA9");
    ASSERT_EQ(f->ExtendedGlyphCount(), 3);
    const unsigned short codes[] = {0xE9, 0xFC, 0x20AC};
    int previous = 0;
    for (unsigned short c : codes) {
        const LICE_CachedFont::charEnt* e = f->FindGlyph(c);
        ASSERT_NE(e, nullptr) << c;
        EXPECT_EQ(e->charid, c);
        EXPECT_GT(e->base_offset, 0);
        EXPECT_GT(e->charid, previous);
        previous = e->charid;
    }
    EXPECT_LT(f->FindGlyph(0xE9), f->FindGlyph(0xFC));
    EXPECT_LT(f->FindGlyph(0xFC), f->FindGlyph(0x20AC));

    // Cached glyphs are not rendered again; a new font empties the cache.
    const int offset = f->FindGlyph(0xFC)->base_offset;
    Measure(*f, "\xC3\xBC\xC3\xA9"
                "A");
    EXPECT_EQ(f->ExtendedGlyphCount(), 3);
    EXPECT_EQ(f->FindGlyph(0xFC)->base_offset, offset);
    f->SetFromHFont(Font(13), FONT_OWNS_HFONT);
    EXPECT_EQ(f->ExtendedGlyphCount(), 0);
    EXPECT_EQ(f->FindGlyph('A')->base_offset, 0);
}

TEST(CachedFontGlyphs, PrerenderedAsciiNeverRendersOthers) {
    auto f = CachedFont(FONT_PRERENDER_ASCII);
    for (int c = 32; c < 127; ++c)
        EXPECT_NE(f->FindGlyph(c)->base_offset, 0) << c;
    int h = 0;
    const RECT r = Measure(*f, "\xC3\xA9", -1, 0, &h);
    EXPECT_EQ(f->ExtendedGlyphCount(), 0);
    EXPECT_EQ(Width(r), 0);
    EXPECT_EQ(h, 0);
}

TEST(CachedFontGlyphs, CoverageIsTheTrimmedRedChannelOfTheRendering) {
    auto f = CachedFont(0, 16);
    const int m = f->GetLineHeight() >= 16 ? f->GetLineHeight() / 16 + 2 : 2;
    Measure(*f, "Wjf/ ");
    for (unsigned short c : {'W', 'j', 'f', '/'}) {
        const LICE_CachedFont::charEnt* e = f->FindGlyph(c);
        const unsigned char* map = f->GlyphCoverage(e);
        ASSERT_NE(map, nullptr) << c;
        EXPECT_GE(e->width, e->advance);
        EXPECT_LE(e->width, e->advance + 2 * m);
        EXPECT_GE(e->left_extra, 0);
        EXPECT_LE(e->left_extra, m);

        // Render the character again through the GDI layer, at x = m, white on black.
        LICE_SysBitmap ref(e->advance + 2 * m, e->height);
        SelectObject(ref.getDC(), f->GetHFont());
        SetTextColor(ref.getDC(), 0xFFFFFF);
        RECT at = {m, 0, ref.getWidth(), ref.getHeight()};
        const char text[2] = {static_cast<char>(c), 0};
        SWELL_DrawText(ref.getDC(), text, 1, &at, DT_NOPREFIX | DT_NOCLIP | DT_SINGLELINE);
        const int left = m - e->left_extra;
        for (int y = 0; y < e->height; ++y)
            for (int x = 0; x < ref.getWidth(); ++x) {
                const int v = LICE_GETR(LICE_GetPixel(&ref, x, y));
                if (x < left || x >= left + e->width)
                    EXPECT_EQ(v, 0) << c << " ink outside the kept columns at " << x;
                else
                    EXPECT_EQ(map[y * e->width + x - left], v) << c << " at " << x << "," << y;
            }
    }
    // A space keeps its advance and has no ink.
    const LICE_CachedFont::charEnt* space = f->FindGlyph(' ');
    EXPECT_GT(space->advance, 0);
    const unsigned char* blank = f->GlyphCoverage(space);
    ASSERT_NE(blank, nullptr);
    for (int i = 0; i < space->width * space->height; ++i)
        EXPECT_EQ(blank[i], 0);
}

TEST(CachedFontGlyphs, EffectFlagsShapeTheCoverage) {
    auto plain = CachedFont(0, 16);
    auto inverted = CachedFont(FONT_INVERT, 16);
    auto vertical = CachedFont(FONT_VERTICAL, 16);
    auto mono = CachedFont(FONT_MONO, 16);
    for (auto* f : {plain.get(), inverted.get(), vertical.get(), mono.get()})
        Measure(*f, "R");
    const auto* p = plain->FindGlyph('R');
    const auto* v = vertical->FindGlyph('R');
    const unsigned char* pm = plain->GlyphCoverage(p);
    const unsigned char* vm = vertical->GlyphCoverage(v);
    ASSERT_TRUE(pm && vm);
    // A quarter turn clockwise: row r of the turned map is column r of the upright one, read
    // bottom to top.
    ASSERT_EQ(v->width, p->height);
    ASSERT_EQ(v->height, p->width);
    for (int r = 0; r < v->height; ++r)
        for (int c = 0; c < v->width; ++c)
            ASSERT_EQ(vm[r * v->width + c], pm[(p->height - 1 - c) * p->width + r]);

    // Inverted coverage has no empty columns to trim; mono keeps only 0 and 0xFF.
    const int lh = inverted->GetLineHeight();
    const auto* i = inverted->FindGlyph('R');
    EXPECT_EQ(i->width, i->advance + 2 * (lh >= 16 ? lh / 16 + 2 : 2));
    const unsigned char* mm = mono->GlyphCoverage(mono->FindGlyph('R'));
    const auto* me = mono->FindGlyph('R');
    ASSERT_EQ(me->width, p->width);
    for (int k = 0; k < me->width * me->height; ++k) {
        EXPECT_TRUE(mm[k] == 0 || mm[k] == 0xFF);
        EXPECT_EQ(mm[k], pm[k] >= 0x83 ? 0xFF : 0);
    }
}

// --- glyph blending ---

class GlyphDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        font = CachedFont(0, 16);
        Measure(*font, "W");
        glyph = font->FindGlyph('W');
        map = font->GlyphCoverage(glyph);
        ASSERT_NE(map, nullptr);
    }
    std::unique_ptr<LICE_CachedFont> font;
    const LICE_CachedFont::charEnt* glyph = nullptr;
    const unsigned char* map = nullptr;
};

TEST_F(GlyphDrawing, OrdinaryCoverageCopiesAtCoveragePlusOne) {
    LICE_MemBitmap bm(40, 30);
    rtest::fillSolid(&bm, 0xFF000000);
    font->SetTextColor(0xFFC08040);
    RECT clip = {0, 0, 40, 30};
    EXPECT_TRUE(font->DrawGlyph(&bm, 'W', 10, 5, &clip));
    const int gx = 10 - glyph->left_extra;
    for (int y = 0; y < glyph->height; ++y)
        for (int x = 0; x < glyph->width; ++x) {
            const int v = map[y * glyph->width + x];
            const int w = v + 1;
            LICE_pixel expect = 0xFF000000;
            if (v)
                expect = LICE_RGBA(0xC0 + ((0 - 0xC0) * (256 - w)) / 256,
                                   0x80 + ((0 - 0x80) * (256 - w)) / 256,
                                   0x40 + ((0 - 0x40) * (256 - w)) / 256, 255);
            ASSERT_EQ(LICE_GetPixel(&bm, gx + x, 5 + y), expect) << x << "," << y;
        }
    EXPECT_FALSE(font->DrawGlyph(&bm, 0x20AC, 0, 0, &clip)); // not cached
}

TEST_F(GlyphDrawing, ClipOperationAndBackground) {
    LICE_MemBitmap bm(40, 30);
    rtest::fillSolid(&bm, 0xFF000000);
    RECT half = {0, 0, 40, 5 + glyph->height / 2};
    font->DrawGlyph(&bm, 'W', 10, 5, &half);
    const Box ink = Ink(&bm, 0xFF000000);
    ASSERT_FALSE(ink.empty());
    EXPECT_LT(ink.bottom, half.bottom);

    rtest::fillSolid(&bm, 0xFF000000);
    RECT clip = {0, 0, 40, 30};
    font->SetCombineMode(6, 1.0f); // not an operation: draws nothing
    font->DrawGlyph(&bm, 'W', 10, 5, &clip);
    font->SetCombineMode(LICE_COMBINE_COPY, 0.0f);
    font->DrawGlyph(&bm, 'W', 10, 5, &clip);
    EXPECT_TRUE(Ink(&bm, 0xFF000000).empty());

    font->SetCombineMode(LICE_COMBINE_ADD, 1.0f);
    font->SetBkMode(1);
    font->SetBkColor(0xFF102030);
    font->DrawGlyph(&bm, 'W', 10, 5, &clip);
    const int gx = 10 - glyph->left_extra;
    EXPECT_EQ(LICE_GetPixel(&bm, gx - 1, 5), 0xFF000000u);
    for (int y = 0; y < glyph->height; ++y)
        for (int x = 0; x < glyph->width; ++x)
            if (!map[y * glyph->width + x]) {
                // The cell was painted (added: 0 + colour), the glyph added nothing there.
                ASSERT_EQ(LICE_GetPixel(&bm, gx + x, 5 + y), 0xFF102030u);
            }
}

TEST(CachedFontMono, FullAlphaCopyStoresTheExactColourWord) {
    auto f = CachedFont(FONT_MONO, 16);
    f->SetTextColor(0x12345678);
    LICE_MemBitmap bm(60, 30);
    rtest::fillSolid(&bm, 0);
    RECT r = {2, 2, 60, 30};
    f->DrawText(&bm, "Mo", -1, &r, 0);
    int on = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            const LICE_pixel p = LICE_GetPixel(&bm, x, y);
            ASSERT_TRUE(p == 0 || p == 0x12345678u) << std::hex << p;
            on += p != 0;
        }
    EXPECT_GT(on, 20);

    // At half alpha the colour is mixed in with the copy operation at weight 128.
    rtest::fillSolid(&bm, 0);
    f->SetCombineMode(LICE_COMBINE_COPY, 0.5f);
    f->DrawText(&bm, "Mo", -1, &r, 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            const LICE_pixel p = LICE_GetPixel(&bm, x, y);
            ASSERT_TRUE(p == 0 || p == 0x801A2B3Cu) << std::hex << p;
        }
}

// Every effect-coloured pixel must sit next to a text-coloured one, in the directions given.
void ExpectRing(LICE_IBitmap* bm, LICE_pixel fg, LICE_pixel fx, const int (*dirs)[2], int ndirs) {
    int rings = 0;
    for (int y = 0; y < bm->getHeight(); ++y)
        for (int x = 0; x < bm->getWidth(); ++x) {
            const LICE_pixel p = LICE_GetPixel(bm, x, y);
            ASSERT_TRUE(p == 0 || p == fg || p == fx) << std::hex << p;
            if (p != fx) continue;
            ++rings;
            bool touches = false;
            for (int d = 0; d < ndirs; ++d)
                touches |= LICE_GetPixel(bm, x + dirs[d][0], y + dirs[d][1]) == fg;
            EXPECT_TRUE(touches) << x << "," << y;
        }
    EXPECT_GT(rings, 10);
}

TEST(CachedFontMono, ShadowAndOutlineUseTheEffectColour) {
    const int shadowDirs[][2] = {{-1, 0}, {-1, -1}, {0, -1}};
    const int outlineDirs[][2] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}};
    for (int flags : {FONT_SHADOW, FONT_OUTLINE, FONT_SHADOW | FONT_OUTLINE}) {
        auto f = CachedFont(flags, 16);
        f->SetTextColor(0xFFFFFFFF);
        f->SetEffectColor(0xFF0000FF);
        LICE_MemBitmap bm(40, 30);
        rtest::fillSolid(&bm, 0);
        RECT r = {4, 4, 40, 30};
        f->DrawText(&bm, "H", -1, &r, 0);
        if (flags & FONT_SHADOW)
            ExpectRing(&bm, 0xFFFFFFFF, 0xFF0000FF, shadowDirs, 3);
        else
            ExpectRing(&bm, 0xFFFFFFFF, 0xFF0000FF, outlineDirs, 4);
    }
}

// --- DrawText ---

TEST(CachedFontText, MeasuresWithoutABitmap) {
    auto f = CachedFont(0);
    int h = 0;
    const RECT r = Measure(*f, "Gain", -1, 0, &h);
    EXPECT_EQ(r.left, 3);
    EXPECT_EQ(r.top, 4);
    EXPECT_GT(Width(r), 15);
    EXPECT_EQ(Height(r), h);
    EXPECT_GE(h, f->GetLineHeight());
    // Drawing needs a bitmap.
    RECT d = {0, 0, 50, 50};
    EXPECT_EQ(f->DrawText(nullptr, "Gain", -1, &d, 0), 0);
    EXPECT_EQ(f->DrawText(nullptr, nullptr, -1, &d, TEXT_CALCRECT), 0);
    EXPECT_EQ(f->DrawText(nullptr, "Gain", -1, nullptr, TEXT_CALCRECT), 0);
}

TEST(CachedFontText, LineFeedsCarriageReturnsAndLengths) {
    auto f = CachedFont(0);
    int one = 0, two = 0;
    const RECT a = Measure(*f, "A", -1, 0, &one);
    const RECT ab = Measure(*f, "AB");
    const RECT twoLines = Measure(*f, "A\nBB", -1, 0, &two);
    EXPECT_EQ(two, f->GetLineHeight() + one);
    EXPECT_EQ(Width(twoLines), Width(Measure(*f, "BB")));
    EXPECT_EQ(Width(Measure(*f, "A\nB", -1, TEXT_SINGLELINE)), Width(Measure(*f, "A B")));
    EXPECT_EQ(Width(Measure(*f, "A\rB")), Width(ab));
    EXPECT_EQ(Width(Measure(*f, "ABC", 2)), Width(ab));
    EXPECT_EQ(Width(Measure(*f, "ABC", 0)), 0);
    EXPECT_GT(Width(ab), Width(a));

    // A count that cuts a character leaves its lead byte standing for itself, and the decoder
    // must not read past the count (no terminator follows).
    const char cut[2] = {'A', '\xE2'};
    EXPECT_EQ(Width(Measure(*f, cut, 2)), Width(Measure(*f, "A\xC3\xA2")));
}

// Draws s into a 100 x 60 bitmap in rect (20, 10, 80, 50) and returns the ink box.
Box DrawBox(LICE_CachedFont& f, const char* s, unsigned int flags, RECT r = {20, 10, 80, 50},
            int* result = nullptr) {
    LICE_MemBitmap bm(100, 60);
    rtest::fillSolid(&bm, 0xFF000000);
    const int h = f.DrawText(&bm, s, -1, &r, flags);
    if (result) *result = h;
    return Ink(&bm, 0xFF000000);
}

TEST(CachedFontText, AlignmentArithmetic) {
    auto f = CachedFont(0);
    const RECT m = Measure(*f, "Xy");
    const int W = Width(m), H = Height(m);
    const Box base = DrawBox(*f, "Xy", 0);
    ASSERT_FALSE(base.empty());
    const Box right = DrawBox(*f, "Xy", TEXT_RIGHT);
    EXPECT_EQ(right.left - base.left, 80 - W - 20);
    EXPECT_EQ(right.top, base.top);
    const Box centre = DrawBox(*f, "Xy", TEXT_HCENTER | TEXT_RIGHT); // centre wins
    EXPECT_EQ(centre.left - base.left, (60 - W) / 2);
    const Box bottom = DrawBox(*f, "Xy", TEXT_BOTTOM);
    EXPECT_EQ(bottom.top - base.top, 50 - H - 10);
    const Box middle = DrawBox(*f, "Xy", TEXT_VCENTER | TEXT_BOTTOM);
    EXPECT_EQ(middle.top - base.top, (40 - H) / 2);
    // Odd leftovers round toward zero, also when the text is wider than the box.
    const Box wide = DrawBox(*f, "Xy", TEXT_HCENTER | TEXT_NOCLIP, {20, 10, 21, 50});
    EXPECT_EQ(wide.left - base.left, (1 - W) / 2);
    int drawn = 0;
    DrawBox(*f, "Xy", 0, {20, 10, 80, 50}, &drawn);
    EXPECT_EQ(drawn, H);
}

TEST(CachedFontText, SecondLineStartsAtTheLeftOneLineLower) {
    auto f = CachedFont(0);
    const Box first = DrawBox(*f, "T", 0);
    int h = 0;
    const Box both = DrawBox(*f, "WW\nT", 0, {20, 10, 80, 50}, &h);
    const Box second = DrawBox(*f, "\nT", 0);
    EXPECT_EQ(second.left, first.left);
    EXPECT_EQ(second.top - first.top, f->GetLineHeight());
    EXPECT_EQ(both.bottom, second.bottom);
    EXPECT_EQ(h, f->GetLineHeight() + Height(Measure(*f, "T")));
}

TEST(CachedFontText, ClipsToTheRectangleAndTheBitmap) {
    auto f = CachedFont(0, 16);
    const Box clipped = DrawBox(*f, "WWWWWW", 0, {10, 5, 30, 12});
    ASSERT_FALSE(clipped.empty());
    EXPECT_GE(clipped.left, 10);
    EXPECT_LE(clipped.right, 29);
    EXPECT_GE(clipped.top, 5);
    EXPECT_LE(clipped.bottom, 11);
    EXPECT_GT(DrawBox(*f, "WWWWWW", TEXT_NOCLIP, {10, 5, 30, 12}).right, 40);
    // Off the bitmap or empty: nothing, and no write outside it.
    EXPECT_TRUE(DrawBox(*f, "W", 0, {200, 5, 300, 40}).empty());
    EXPECT_TRUE(DrawBox(*f, "W", 0, {10, 5, 10, 40}).empty());
    EXPECT_FALSE(DrawBox(*f, "W", 0, {-5, -5, 10, 10}).empty());
    // Extreme rectangles must not overflow the placement arithmetic.
    EXPECT_TRUE(DrawBox(*f, "W", TEXT_RIGHT, {INT_MIN, 5, INT_MAX, 40}).empty());
    EXPECT_TRUE(
        DrawBox(*f, "W", TEXT_HCENTER | TEXT_NOCLIP, {INT_MAX - 2, 5, INT_MAX, 40}).empty());
}

TEST(CachedFontText, VerticalFontsRunDownOrUp) {
    auto down = CachedFont(FONT_VERTICAL);
    auto up = CachedFont(FONT_VERTICAL | FONT_VERTICAL_BOTTOMUP);
    int measured = 0;
    const RECT m = Measure(*down, "Level", -1, 0, &measured);
    EXPECT_GT(Height(m), Width(m));
    EXPECT_EQ(measured, Width(m)); // vertical fonts return their width
    const Box d = DrawBox(*down, "Level", TEXT_NOCLIP, {20, 5, 80, 55});
    EXPECT_GE(d.top, 5);
    EXPECT_GT(d.bottom - d.top, d.right - d.left);
    // Bottom-up text starts at the bottom of its measured box and climbs.
    const RECT mu = Measure(*up, "Level");
    EXPECT_EQ(Height(mu), Height(m));
    const Box u = DrawBox(*up, "Level", TEXT_NOCLIP, {20, 5, 80, 55});
    EXPECT_LE(u.bottom, 5 + Height(mu));
    EXPECT_NEAR(u.top, d.top, 4);
    EXPECT_NEAR(u.bottom, d.bottom, 4);
    // A line feed starts the next column one line height to the right.
    const Box two = DrawBox(*down, "L\nL", TEXT_NOCLIP, {20, 5, 80, 55});
    const Box one = DrawBox(*down, "L", TEXT_NOCLIP, {20, 5, 80, 55});
    EXPECT_EQ(two.right - one.right, down->GetLineHeight());
}

TEST(CachedFontText, ForegroundAlphaTakesTheGlyphPathAtThatAlpha) {
    auto native = CachedFont(FONT_PREFER_NATIVE);
    auto glyphs = CachedFont(0);
    native->SetTextColor(0x80FFC000);
    glyphs->SetTextColor(0x80FFC000);
    glyphs->SetCombineMode(LICE_COMBINE_COPY, 128.0f / 255.0f);
    LICE_SysBitmap a(80, 30), b(80, 30);
    rtest::fillSolid(&a, 0xFF203040);
    rtest::fillSolid(&b, 0xFF203040);
    RECT r = {2, 2, 80, 30};
    native->DrawText(&a, "Drive", -1, &r, TEXT_USE_FG_ALPHA);
    glyphs->DrawText(&b, "Drive", -1, &r, 0);
    EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0);
    EXPECT_FALSE(Ink(&a, 0xFF203040).empty());

    // A transparent colour draws nothing.
    rtest::fillSolid(&a, 0xFF203040);
    native->SetTextColor(0x00FFC000);
    EXPECT_EQ(native->DrawText(&a, "Drive", -1, &r, TEXT_USE_FG_ALPHA), 0);
    EXPECT_TRUE(Ink(&a, 0xFF203040).empty());
}

// A memory bitmap that refuses native text through the extension hook.
class NoNativeBitmap : public LICE_MemBitmap {
public:
    NoNativeBitmap(int w, int h) : LICE_MemBitmap(w, h, 4) {}
    intptr_t Extended(int id, void*) override { return id == 0x59555678 ? 1 : 0; }
};

TEST(CachedFontText, NativePathMatchesTheGdiLayer) {
    auto f = CachedFont(FONT_PREFER_NATIVE);
    f->SetTextColor(0xFFE0E0E0);
    // Onto a system bitmap the font draws through its context...
    LICE_SysBitmap sys(90, 30), ref(90, 30);
    rtest::fillSolid(&sys, 0xFF102030);
    rtest::fillSolid(&ref, 0xFF102030);
    RECT r = {4, 3, 90, 30};
    const int h = f->DrawText(&sys, "Bypass &1", -1, &r, TEXT_HCENTER);
    SelectObject(ref.getDC(), f->GetHFont());
    SetTextColor(ref.getDC(), 0xE0E0E0);
    RECT rr = r;
    EXPECT_EQ(SWELL_DrawText(ref.getDC(), "Bypass &1", -1, &rr, DT_CENTER | DT_NOPREFIX), h);
    EXPECT_EQ(LICE_BitmapCmp(&sys, &ref), 0);

    // ...and onto a memory bitmap through a copy, with the same colours where it lands.
    LICE_MemBitmap mem(90, 30);
    rtest::fillSolid(&mem, 0xFF102030);
    rtest::fillSolid(&sys, 0xFF102030);
    EXPECT_EQ(f->DrawText(&mem, "Bypass", -1, &r, 0), f->DrawText(&sys, "Bypass", -1, &r, 0));
    EXPECT_EQ(LICE_BitmapCmpEx(&mem, &sys, 0x00FFFFFF), 0);
    EXPECT_FALSE(Ink(&mem, 0xFF102030, 0x00FFFFFF).empty());

    // Rectangles at the ends of the int range neither overflow nor draw.
    RECT far = {INT_MAX - 3, 0, INT_MAX, 30};
    EXPECT_EQ(f->DrawText(&mem, "Bypass", -1, &far, TEXT_CALCRECT), h);
    EXPECT_EQ(far.right, INT_MAX);
    RECT all = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    rtest::fillSolid(&mem, 0xFF102030);
    f->DrawText(&mem, "Bypass", -1, &all, TEXT_RIGHT | TEXT_BOTTOM);
    EXPECT_TRUE(Ink(&mem, 0xFF102030, 0x00FFFFFF).empty());

    // Measuring agrees either way.
    RECT m1 = {0, 0, 0, 0}, m2 = {0, 0, 0, 0};
    f->DrawText(nullptr, "Bypass", -1, &m1, TEXT_CALCRECT);
    f->DrawText(&sys, "Bypass", -1, &m2, TEXT_CALCRECT);
    EXPECT_EQ(m1.right, m2.right);
    EXPECT_EQ(m1.bottom, m2.bottom);

    // A bitmap that refuses native text gets the glyph path, as does a font without the flag.
    auto g = CachedFont(0);
    g->SetTextColor(0xFFE0E0E0);
    NoNativeBitmap refused(90, 30);
    LICE_MemBitmap viaGlyphs(90, 30);
    rtest::fillSolid(&refused, 0xFF102030);
    rtest::fillSolid(&viaGlyphs, 0xFF102030);
    f->DrawText(&refused, "Bypass", -1, &r, 0);
    g->DrawText(&viaGlyphs, "Bypass", -1, &r, 0);
    EXPECT_EQ(LICE_BitmapCmp(&refused, &viaGlyphs), 0);
    EXPECT_NE(LICE_BitmapCmpEx(&refused, &mem, 0x00FFFFFF), 0);
}

TEST(CachedFontOwnership, OwnedHandlesAreDeletedOnlyWhenReplaced) {
    HDC dc = SWELL_CreateMemContext(nullptr, 4, 4);
    auto alive = [dc](HFONT font) {
        const bool ok = SelectObject(dc, font) != nullptr;
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SWELL_OBJ_FONT));
        return ok;
    };
    HFONT first = Font(12), second = Font(14), kept = Font(10);
    {
        LICE_CachedFont f;
        f.SetFromHFont(first, FONT_OWNS_HFONT);
        f.SetFromHFont(first, FONT_OWNS_HFONT); // the same handle again
        EXPECT_TRUE(alive(first));
        f.SetFromHFont(second, FONT_OWNS_HFONT);
        EXPECT_FALSE(alive(first));
        EXPECT_TRUE(alive(second));
        f.SetFromHFont(kept, 0); // not owned from here on: second goes, kept stays
        EXPECT_FALSE(alive(second));
    }
    EXPECT_TRUE(alive(kept));
    {
        LICE_CachedFont f;
        f.SetFromHFont(kept, FONT_OWNS_HFONT);
    }
    EXPECT_FALSE(alive(kept));
    SWELL_DeleteGfxContext(dc);
}

// --- golden image ---

TEST(CachedFontGolden, GlyphPathText) {
    LICE_MemBitmap bm(160, 76);
    rtest::fillSolid(&bm, 0xFF182028);
    const struct {
        int flags;
        LICE_pixel colour;
        const char* text;
    } lines[] = {
        {0, 0xFFFFFFFF, "Gain 0.50 dB"},
        {FONT_MONO, 0xFFFFCC00, "Level -3.2"},
        {FONT_SHADOW, 0xFFE0E0FF, "Bypass \xE2\x82\xAC"},
        {FONT_OUTLINE, 0xFF000000, "Drive"},
    };
    int y = 2;
    for (const auto& l : lines) {
        auto f = CachedFont(l.flags, 12, "DejaVu Sans"); // named: no substitution involved
        f->SetTextColor(l.colour);
        f->SetEffectColor(l.flags & FONT_OUTLINE ? 0xFFFFFFFF : 0xFF000000);
        RECT r = {3, y, 157, y + 18};
        f->DrawText(&bm, l.text, -1, &r, 0);
        y += 18;
    }

    const std::string golden =
        std::string(ZERUB_SOURCE_DIR) + "/tests/raster/golden/cachedfont_glyphs.png";
    if (std::getenv("ZERUB_UPDATE_GOLDEN")) {
        ASSERT_TRUE(rtest::writePNG(golden, &bm));
    }
    std::unique_ptr<LICE_IBitmap> expected(LICE_LoadPNG(golden.c_str()));
    ASSERT_NE(expected, nullptr) << "missing " << golden
                                 << " (run with ZERUB_UPDATE_GOLDEN=1 to write it)";
    int box[4] = {0, 0, 0, 0};
    const int diff = LICE_BitmapCmpEx(expected.get(), &bm, 0xFFFFFFFF, box);
    if (diff) rtest::writePNG("cachedfont_glyphs_actual.png", &bm);
    EXPECT_EQ(diff, 0) << "differences in x " << box[0] << "+" << box[2] << ", y " << box[1] << "+"
                       << box[3] << "; wrote cachedfont_glyphs_actual.png";
}

} // namespace
