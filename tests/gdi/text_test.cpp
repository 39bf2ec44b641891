// Fonts, metrics, text measurement and placement.
#include "gdi/swell-gdi.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

HFONT Font(int height, int width = 0, int weight = 400, int quality = 0, int orientation = 0,
           const char* face = "Monaco") {
    return CreateFont(height, width, 0, orientation, weight, 0, 0, 0, 0, 0, 0,
                      static_cast<char>(quality), 0, face);
}

struct Box {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN; // inclusive
    bool empty() const { return right < left; }
};

// A memory context with a font selected and white text; owns both.
class Canvas {
public:
    Canvas(int w, int h, HFONT font) : m_w(w), m_h(h), m_font(font) {
        m_dc = SWELL_CreateMemContext(nullptr, w, h);
        SelectObject(m_dc, font);
        SetTextColor(m_dc, 0xFFFFFF);
    }
    ~Canvas() {
        SWELL_DeleteGfxContext(m_dc);
        DeleteObject(m_font);
    }
    HDC dc() const { return m_dc; }
    unsigned int At(int x, int y) const {
        return static_cast<const unsigned int*>(SWELL_GetCtxFrameBuffer(m_dc))[y * m_w + x] &
               0xFFFFFF;
    }
    // Bounding box of every pixel whose colour differs from background.
    Box Ink(unsigned int background = 0) const {
        Box b;
        for (int y = 0; y < m_h; ++y)
            for (int x = 0; x < m_w; ++x)
                if (At(x, y) != background) {
                    if (x < b.left) b.left = x;
                    if (x > b.right) b.right = x;
                    if (y < b.top) b.top = y;
                    if (y > b.bottom) b.bottom = y;
                }
        return b;
    }
    void Clear() {
        std::memset(SWELL_GetCtxFrameBuffer(m_dc), 0, static_cast<size_t>(m_w) * m_h * 4);
    }
    RECT Measure(const char* s, int format = 0, int len = -1, int* result = nullptr) {
        RECT r = {5, 7, 5, 7};
        int h = SWELL_DrawText(m_dc, s, len, &r, format | DT_CALCRECT);
        if (result) *result = h;
        return r;
    }

private:
    int m_w, m_h;
    HFONT m_font;
    HDC m_dc;
};

int Width(const RECT& r) {
    return r.right - r.left;
}
int Height(const RECT& r) {
    return r.bottom - r.top;
}

TEST(GdiFont, SizeRules) {
    HDC dc = SWELL_CreateMemContext(nullptr, 2, 2);
    auto heightOf = [dc](HFONT f) {
        SelectObject(dc, f);
        TEXTMETRIC tm;
        EXPECT_EQ(GetTextMetrics(dc, &tm), 1);
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SWELL_OBJ_FONT));
        DeleteObject(f);
        return tm.tmHeight;
    };
    const int ten = heightOf(Font(10));
    const int fourteen = heightOf(Font(14));
    EXPECT_GT(fourteen, ten);
    EXPECT_EQ(heightOf(Font(0, 0)), ten);       // no size at all
    EXPECT_EQ(heightOf(Font(-14)), fourteen);   // the sign is ignored
    EXPECT_EQ(heightOf(Font(0, 14)), fourteen); // width stands in for a zero height
    EXPECT_EQ(heightOf(Font(1)), ten);          // below 2
    EXPECT_EQ(heightOf(Font(9000)), ten);       // above 8192
    EXPECT_EQ(heightOf(Font(INT_MIN)), ten);    // no overflow taking the magnitude
    EXPECT_GT(heightOf(Font(8192)), 8000);
    SWELL_DeleteGfxContext(dc);
}

TEST(GdiFont, MetricsAndFallbacks) {
    TEXTMETRIC tm;
    EXPECT_EQ(GetTextMetrics(nullptr, nullptr), 0);
    EXPECT_EQ(GetTextMetrics(nullptr, &tm), 0);
    EXPECT_EQ(tm.tmHeight, 16);
    EXPECT_EQ(tm.tmAscent, 12);
    EXPECT_EQ(tm.tmDescent, 4);
    EXPECT_EQ(tm.tmInternalLeading, 3);
    EXPECT_EQ(tm.tmAveCharWidth, 10);

    Canvas c(2, 2, Font(20));
    ASSERT_EQ(GetTextMetrics(c.dc(), &tm), 1);
    const int sum = tm.tmAscent + tm.tmDescent + tm.tmInternalLeading;
    EXPECT_EQ(tm.tmHeight, sum + 1);
    EXPECT_EQ(tm.tmAveCharWidth, sum * 2 / 3);
    EXPECT_GE(tm.tmAscent, 15);
    EXPECT_GE(tm.tmDescent, 3);

    // Without a font the default 10-pixel face answers.
    TEXTMETRIC none, ten;
    HDC bare = SWELL_CreateMemContext(nullptr, 2, 2);
    ASSERT_EQ(GetTextMetrics(bare, &none), 1);
    HFONT f = CreateFont(10, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
    SelectObject(bare, f);
    GetTextMetrics(bare, &ten);
    EXPECT_EQ(none.tmHeight, ten.tmHeight);
    EXPECT_EQ(none.tmAscent, ten.tmAscent);
    // A font deleted while selected is no longer read; the default takes over.
    DeleteObject(f);
    ASSERT_EQ(GetTextMetrics(bare, &ten), 1);
    EXPECT_EQ(none.tmHeight, ten.tmHeight);
    SWELL_DeleteGfxContext(bare);
}

TEST(GdiFont, FaceStyleAndIndirect) {
    HDC dc = SWELL_CreateMemContext(nullptr, 2, 2);
    char face[64];
    HFONT regular = Font(12);
    HFONT bold = Font(12, 0, FW_BOLD);
    SelectObject(dc, regular);
    EXPECT_GT(GetTextFace(dc, sizeof face, face), 0); // whatever fontconfig substitutes
    RECT r1 = {0, 0, 0, 0}, r2 = {0, 0, 0, 0};
    SWELL_DrawText(dc, "WWWWWWWW", -1, &r1, DT_CALCRECT);
    SelectObject(dc, bold);
    SWELL_DrawText(dc, "WWWWWWWW", -1, &r2, DT_CALCRECT);
    EXPECT_GT(Width(r2), Width(r1));
    char small[4];
    EXPECT_EQ(GetTextFace(dc, sizeof small, small), 3);
    EXPECT_EQ(std::strlen(small), 3u);

    // A LOGFONT face fills all 32 bytes without a terminator.
    LOGFONT lf;
    std::memset(&lf, 0, sizeof lf);
    lf.lfHeight = 12;
    lf.lfWeight = FW_BOLD;
    std::memset(lf.lfFaceName, 'x', LF_FACESIZE);
    HFONT indirect = CreateFontIndirect(&lf);
    ASSERT_NE(indirect, nullptr);
    SelectObject(dc, indirect);
    TEXTMETRIC a, b;
    GetTextMetrics(dc, &a);
    SelectObject(dc, bold);
    GetTextMetrics(dc, &b);
    EXPECT_EQ(a.tmHeight, b.tmHeight);
    EXPECT_EQ(CreateFontIndirect(nullptr), nullptr);

    SWELL_DeleteGfxContext(dc);
    DeleteObject(regular);
    DeleteObject(bold);
    DeleteObject(indirect);
}

TEST(GdiText, CalcRectOfEmptyAndPrefixOnlyText) {
    Canvas c(4, 4, Font(12));
    RECT r = {1, 2, 3, 4};
    EXPECT_EQ(SWELL_DrawText(c.dc(), "", -1, &r, DT_CALCRECT), 0);
    EXPECT_EQ(SWELL_DrawText(c.dc(), "&", -1, &r, DT_CALCRECT), 0);
    EXPECT_EQ(SWELL_DrawText(c.dc(), "\r\r", -1, &r, DT_CALCRECT), 0);
    EXPECT_EQ(SWELL_DrawText(c.dc(), "abc", 0, &r, DT_CALCRECT), 0);
    EXPECT_EQ(SWELL_DrawText(c.dc(), nullptr, -1, &r, DT_CALCRECT), 0);
    EXPECT_EQ(SWELL_DrawText(c.dc(), "abc", -1, nullptr, DT_CALCRECT), 0);
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.right, 3);
    EXPECT_EQ(r.bottom, 4);
}

TEST(GdiText, CalcRectSizesFromTheLeftTopCorner) {
    Canvas c(4, 4, Font(12));
    TEXTMETRIC tm;
    GetTextMetrics(c.dc(), &tm);
    int result = 0;
    RECT r = c.Measure("Gain", 0, -1, &result);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 7);
    EXPECT_GT(Width(r), 10);
    EXPECT_EQ(Height(r), result);
    // One line: floor(ascent + descent + leading + 1.5) plus one, where the metrics truncate
    // each part and add one.
    EXPECT_GE(result, tm.tmHeight + 1);
    EXPECT_LE(result, tm.tmHeight + 3);
}

TEST(GdiText, ExtremeRectanglesDoNotOverflow) {
    Canvas c(20, 20, Font(12));
    RECT far = {INT_MAX - 3, INT_MAX - 3, 0, 0};
    EXPECT_GT(SWELL_DrawText(c.dc(), "Wide", -1, &far, DT_CALCRECT), 0);
    EXPECT_EQ(far.right, INT_MAX);
    EXPECT_EQ(far.bottom, INT_MAX);
    RECT all = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    for (int format : {DT_RIGHT | DT_BOTTOM, 0, DT_NOCLIP})
        EXPECT_GT(SWELL_DrawText(c.dc(), "Wide", -1, &all, format), 0);
    EXPECT_TRUE(c.Ink().empty()); // all of it far outside the context
    // Centred in that rectangle the text lands around the origin, clipped to the context.
    EXPECT_GT(SWELL_DrawText(c.dc(), "Wide", -1, &all, DT_CENTER | DT_VCENTER), 0);
    const Box ink = c.Ink();
    ASSERT_FALSE(ink.empty());
    EXPECT_EQ(ink.left, 0);
    EXPECT_EQ(ink.top, 0);
}

TEST(GdiText, AmpersandsArePrefixesUnlessNoPrefix) {
    Canvas c(4, 4, Font(12));
    const int ab = Width(c.Measure("AB"));
    const int a_b = Width(c.Measure("A&B", DT_NOPREFIX));
    EXPECT_GT(a_b, ab);
    EXPECT_EQ(Width(c.Measure("A&B")), ab);
    EXPECT_EQ(Width(c.Measure("&&")), Width(c.Measure("&", DT_NOPREFIX)));
    EXPECT_EQ(Width(c.Measure("A&&B")), a_b);
    EXPECT_EQ(Width(c.Measure("AB&")), ab); // a trailing ampersand has nothing to keep
    // The length counts source bytes, prefixes included.
    EXPECT_EQ(Width(c.Measure("A&BCD", 0, 3)), ab);
}

TEST(GdiText, LineFeedsAndCarriageReturns) {
    Canvas c(4, 4, Font(12));
    int one = 0, two = 0, single = 0;
    RECT r1 = c.Measure("A", 0, -1, &one);
    RECT r2 = c.Measure("A\nWWW", 0, -1, &two);
    RECT rs = c.Measure("A\nWWW", DT_SINGLELINE, -1, &single);
    EXPECT_EQ(two - 1, 2 * (one - 1)); // two lines of the same height
    EXPECT_EQ(Width(r2), Width(c.Measure("WWW")));
    EXPECT_EQ(single, one);
    EXPECT_EQ(Width(rs), Width(c.Measure("A WWW")));
    EXPECT_EQ(Width(c.Measure("A\rB")), Width(c.Measure("AB")));
    int trailing = 0;
    c.Measure("A\n", 0, -1, &trailing);
    EXPECT_EQ(trailing, one); // a final line feed adds no line
    EXPECT_GT(Width(r1), 0);
}

TEST(GdiText, BadUtf8DrawsNothingAndCutCharactersAreDropped) {
    Canvas c(4, 4, Font(12));
    RECT r = {0, 0, 0, 0};
    EXPECT_EQ(SWELL_DrawText(c.dc(),
                             "A\xFF"
                             "B",
                             -1, &r, DT_CALCRECT),
              0);
    EXPECT_EQ(SWELL_DrawText(c.dc(), "\xC3\x28", -1, &r, DT_CALCRECT), 0);
    // "A" followed by the first byte of a two-byte character: the cut character goes.
    EXPECT_EQ(Width(c.Measure("A\xC3\xA9", 0, 2)), Width(c.Measure("A")));
    EXPECT_GT(Width(c.Measure("A\xC3\xA9")), Width(c.Measure("A")));
}

// Draws s at the given format in a 60 x 40 box at (20, 10) and returns the ink box.
Box DrawAt(Canvas& c, const char* s, int format, RECT box = {20, 10, 80, 50}) {
    c.Clear();
    SWELL_DrawText(c.dc(), s, -1, &box, format);
    return c.Ink();
}

TEST(GdiText, AlignmentArithmetic) {
    Canvas c(100, 60, Font(12));
    int result = 0;
    RECT m = {0, 0, 0, 0};
    result = SWELL_DrawText(c.dc(), "Xy", -1, &m, DT_CALCRECT);
    const int w = m.right;
    const Box base = DrawAt(c, "Xy", 0);
    ASSERT_FALSE(base.empty());

    const Box right = DrawAt(c, "Xy", DT_RIGHT);
    EXPECT_EQ(right.left - base.left, (80 - w) - 20);
    EXPECT_EQ(right.top, base.top);
    const Box centre = DrawAt(c, "Xy", DT_CENTER);
    EXPECT_EQ(centre.left - base.left, 20 + 60 / 2 - w / 2 - 20);
    const Box bottom = DrawAt(c, "Xy", DT_BOTTOM);
    EXPECT_EQ(bottom.top - base.top, (50 - result) - 10);
    EXPECT_EQ(bottom.left, base.left);
    const Box middle = DrawAt(c, "Xy", DT_VCENTER | DT_CENTER);
    EXPECT_EQ(middle.top - base.top, 10 + 40 / 2 - result / 2 - 10);
    EXPECT_EQ(middle.left, centre.left);

    // Drawing returns what measuring returns.
    RECT box = {20, 10, 80, 50};
    EXPECT_EQ(SWELL_DrawText(c.dc(), "Xy", -1, &box, DT_RIGHT), result);
}

TEST(GdiText, SecondLineStartsAtTheLeftOneLineLower) {
    Canvas c(100, 60, Font(12));
    const Box first = DrawAt(c, "T", 0);
    const Box both = DrawAt(c, "\nT", 0);
    RECT m = {0, 0, 0, 0};
    const int lineHeight = SWELL_DrawText(c.dc(), "T", -1, &m, DT_CALCRECT) - 2;
    EXPECT_EQ(both.left, first.left);
    EXPECT_EQ(both.top - first.top, lineHeight);
}

TEST(GdiText, ClipsToTheRectangleUnlessNoClip) {
    Canvas c(100, 40, Font(16));
    RECT narrow = {10, 5, 20, 30};
    SWELL_DrawText(c.dc(), "WWWW", -1, &narrow, 0);
    Box clipped = c.Ink();
    ASSERT_FALSE(clipped.empty());
    EXPECT_GE(clipped.left, 10);
    EXPECT_LE(clipped.right, 19);
    c.Clear();
    SWELL_DrawText(c.dc(), "WWWW", -1, &narrow, DT_NOCLIP);
    EXPECT_GT(c.Ink().right, 30);
}

TEST(GdiText, ColourBackgroundAndAntialiasing) {
    Canvas c(60, 30, Font(16, 0, 400, ANTIALIASED_QUALITY));
    SetTextColor(c.dc(), 0xFF0000);
    RECT r = {0, 0, 60, 30};
    SWELL_DrawText(c.dc(), "Ox", -1, &r, 0);
    bool full = false, partial = false;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            const unsigned int p = c.At(x, y);
            EXPECT_EQ(p & 0x00FFFF, 0u); // red only
            full |= p == 0xFF0000;
            partial |= p != 0 && p != 0xFF0000;
        }
    EXPECT_TRUE(full);
    EXPECT_TRUE(partial);

    // Opaque mode paints the line box, corners included.
    c.Clear();
    SetBkMode(c.dc(), OPAQUE);
    SetBkColor(c.dc(), 0x0000FF);
    RECT at = {3, 4, 60, 30};
    SWELL_DrawText(c.dc(), "Ox", -1, &at, 0);
    EXPECT_EQ(c.At(3, 4), 0x0000FFu);
    EXPECT_EQ(c.At(2, 4), 0u);
    EXPECT_EQ(c.At(3, 3), 0u);
    SetBkMode(c.dc(), TRANSPARENT);
    c.Clear();
    SWELL_DrawText(c.dc(), "Ox", -1, &at, 0);
    EXPECT_EQ(c.At(3, 4), 0u);

    Canvas mono(60, 30, Font(16, 0, 400, NONANTIALIASED_QUALITY));
    SWELL_DrawText(mono.dc(), "Ox", -1, &r, 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            const unsigned int p = mono.At(x, y);
            EXPECT_TRUE(p == 0 || p == 0xFFFFFF) << x << "," << y;
        }
    EXPECT_FALSE(mono.Ink().empty());
}

TEST(GdiText, OrientationTurnsTextCounterClockwise) {
    Canvas c(60, 80, Font(14, 0, 400, 0, 900));
    RECT r = {20, 70, 60, 80};
    SWELL_DrawText(c.dc(), "Wide", -1, &r, DT_NOCLIP);
    const Box ink = c.Ink();
    ASSERT_FALSE(ink.empty());
    // Upwards from the box's corner, in a column band one line tall.
    EXPECT_LT(ink.top, 50);
    EXPECT_LE(ink.bottom, 70);
    EXPECT_GE(ink.left, 20);
    EXPECT_LT(ink.right, 40);
}

} // namespace
