// The small value records the whole editor shares: rectangles, colours, text styles, blends,
// mouse modifiers and image handles.
#pragma once

#include <cstring>

class LICE_IBitmap;
class LICE_IFont;

// Integer rectangle in editor pixels (origin top left, y downward); right and bottom are
// exclusive. All four zero is the empty rectangle, which contains and overlaps nothing.
struct IRECT {
    int left = 0, top = 0, right = 0, bottom = 0;

    IRECT() = default;
    IRECT(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}

    bool Empty() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    int W() const { return right - left; }
    int H() const { return bottom - top; }

    bool operator==(const IRECT& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const IRECT& o) const { return !(*this == o); }

    bool Contains(int x, int y) const {
        return !Empty() && x >= left && x < right && y >= top && y < bottom;
    }
    // A rectangle whose right (or bottom) edge equals the other's left (or top) edge counts as
    // overlapping: the redraw relies on that to repaint neighbours of a dirty area.
    bool Overlaps(const IRECT& o) const {
        return !Empty() && !o.Empty() && right >= o.left && left < o.right && bottom >= o.top &&
               top < o.bottom;
    }
    IRECT UnionWith(const IRECT& o) const {
        if (Empty()) return o;
        if (o.Empty()) return *this;
        return IRECT(left < o.left ? left : o.left, top < o.top ? top : o.top,
                     right > o.right ? right : o.right, bottom > o.bottom ? bottom : o.bottom);
    }
    IRECT ClipTo(const IRECT& o) const {
        if (!Overlaps(o)) return IRECT();
        return IRECT(left > o.left ? left : o.left, top > o.top ? top : o.top,
                     right < o.right ? right : o.right, bottom < o.bottom ? bottom : o.bottom);
    }
};

// Colour components 0..255, packed for the raster library as A << 24 | R << 16 | G << 8 | B.
struct IColor {
    int alpha = 255, red = 0, green = 0, blue = 0;

    IColor() = default;
    constexpr IColor(int a, int r, int g, int b) : alpha(a), red(r), green(g), blue(b) {}

    bool operator==(const IColor& o) const {
        return alpha == o.alpha && red == o.red && green == o.green && blue == o.blue;
    }
    bool operator!=(const IColor& o) const { return !(*this == o); }
};

const IColor COLOR_TRANSPARENT(0, 0, 0, 0);
const IColor COLOR_BLACK(255, 0, 0, 0);
const IColor COLOR_GRAY(255, 127, 127, 127);
const IColor COLOR_WHITE(255, 255, 255, 255);
const IColor COLOR_RED(255, 255, 0, 0);
const IColor COLOR_GREEN(255, 0, 255, 0);
const IColor COLOR_BLUE(255, 0, 0, 255);
const IColor COLOR_YELLOW(255, 255, 255, 0);
const IColor COLOR_ORANGE(255, 255, 127, 0);
const IColor DEFAULT_TEXT_COLOR = COLOR_BLACK;
const IColor DEFAULT_TEXT_ENTRY_BGCOLOR = COLOR_WHITE;
const IColor DEFAULT_TEXT_ENTRY_FGCOLOR = COLOR_BLACK;

// A text style. cachedFont points into the process-wide font cache and is never freed here.
struct IText {
    enum EStyle { kStyleNormal = 0, kStyleBold, kStyleItalic };
    enum EAlign { kAlignNear = 0, kAlignCenter, kAlignFar };
    enum EQuality {
        kQualityDefault = 0,
        kQualityNonAntiAliased,
        kQualityAntiAliased,
        kQualityClearType
    };

    static constexpr int kMaxFontNameLen = 32; // NUL included

    char fontName[kMaxFontNameLen] = "Monaco";
    int size = 10; // pixels
    IColor color = DEFAULT_TEXT_COLOR;
    IColor entryBackColor = DEFAULT_TEXT_ENTRY_BGCOLOR;
    IColor entryTextColor = DEFAULT_TEXT_ENTRY_FGCOLOR;
    int style = kStyleNormal;
    int align = kAlignCenter;
    int orientation = 0; // degrees
    int quality = kQualityDefault;
    LICE_IFont* cachedFont = nullptr;

    IText() = default;
    // font is cut to 31 characters; null keeps "Monaco", a null colour the default.
    explicit IText(int sz, const IColor* c = nullptr, const char* font = nullptr,
                   int st = kStyleNormal, int al = kAlignCenter, int orient = 0,
                   int qual = kQualityDefault)
        : size(sz), color(c ? *c : DEFAULT_TEXT_COLOR), style(st), align(al), orientation(orient),
          quality(qual) {
        if (font) {
            std::strncpy(fontName, font, kMaxFontNameLen - 1);
            fontName[kMaxFontNameLen - 1] = '\0';
        }
    }
    explicit IText(const IColor* c) : color(c ? *c : DEFAULT_TEXT_COLOR) {}
};

// How a control's drawing is combined with what lies below it.
struct IChannelBlend {
    enum EBlendMethod { kBlendNone = 0, kBlendClobber, kBlendAdd, kBlendColorDodge };

    EBlendMethod method = kBlendNone;
    float weight = 1.0f; // 0..1

    IChannelBlend() = default;
    explicit IChannelBlend(EBlendMethod m, float w = 1.0f) : method(m), weight(w) {}
};

// Mouse buttons and modifier keys of one event. The platform reports a left click with the
// command key held as a right-button press.
struct IMouseMod {
    bool leftButton = false, rightButton = false, shift = false, control = false, alt = false;

    IMouseMod() = default;
    IMouseMod(bool l, bool r = false, bool s = false, bool c = false, bool a = false)
        : leftButton(l), rightButton(r), shift(s), control(c), alt(a) {}
};

// Key codes the platform passes to IGraphics::OnKeyDown.
enum EKey {
    KEY_SPACE = 0,
    KEY_UPARROW,
    KEY_DOWNARROW,
    KEY_LEFTARROW,
    KEY_RIGHTARROW,
    KEY_DIGIT_0,
    KEY_DIGIT_9 = KEY_DIGIT_0 + 9,
    KEY_ALPHA_A,
    KEY_ALPHA_Z = KEY_ALPHA_A + 25,
    KEY_HOME,
    KEY_END,
    KEY_RETURN, // either Return or the keypad's Enter
    KEY_ESCAPE,
    KEY_BACKSPACE
};

enum EDirection { kVertical = 0, kHorizontal };
enum EFileAction { kFileOpen = 0, kFileSave };

// An image handle: the decoded image (owned by the process-wide bitmap cache, or null when the
// resource failed to load) and its frames. A frame is W / N x H when the frames lie side by
// side, else W x H / N.
struct IBitmap {
    LICE_IBitmap* image = nullptr;
    int width = 0, height = 0; // the whole image
    int frameCount = 1;        // at least 1
    bool framesHorizontal = false;

    IBitmap() = default;
    IBitmap(LICE_IBitmap* img, int w, int h, int n = 1, bool horizontal = false)
        : image(img), width(w), height(h), frameCount(n < 1 ? 1 : n), framesHorizontal(horizontal) {
    }

    int FrameWidth() const { return framesHorizontal ? width / frameCount : width; }
    int FrameHeight() const { return framesHorizontal ? height : height / frameCount; }
};
