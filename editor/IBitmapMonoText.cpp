#include "editor/IBitmapMonoText.h"

#include "editor/IGraphics.h"

#include <cstring>

void DrawBitmapedText(IGraphics* graphics, IBitmap* font, IRECT* r, IText* style,
                      const IChannelBlend* blend, const char* text, bool verticalCentre,
                      bool multiLine, int charWidth, int charHeight, int charOffset) {
    if (!graphics || !font || !r || !text || !*text || charWidth <= 0) return;
    const int len = int(std::strlen(text));
    int y = r->top;
    if (verticalCentre) y += (r->bottom - charHeight - r->top) / 2;

    const int textWidth = charWidth * len;
    const int align = style ? style->align : IText::kAlignNear;
    int x = r->left;
    if (align == IText::kAlignFar)
        x = r->right - textWidth;
    else if (align == IText::kAlignCenter)
        x = r->left + (r->right - r->left - textWidth) / 2;

    const int avail = r->right - r->left;
    int perLine, lines = 1;
    if (multiLine && avail < textWidth) {
        perLine = avail / charWidth;
        lines = avail > 0 ? textWidth / avail + 1 : 0;
    } else {
        perLine = multiLine ? len : avail / charWidth;
    }
    if (perLine <= 0) return;

    const unsigned char* c = reinterpret_cast<const unsigned char*>(text);
    for (int m = 0; m < lines && *c; ++m) {
        for (int i = 0; i < perLine && *c; ++i, ++c) {
            const int left = x + i * (charWidth + charOffset);
            IRECT dest(left, y + m * charHeight, left + charWidth, y + (m + 1) * charHeight);
            graphics->DrawBitmap(font, &dest, int(*c) - 31, blend);
        }
    }
}

IBitmapTextControl::IBitmapTextControl(IPlugBase* plug, IRECT area, const IBitmap* font,
                                       const char* text, const IText* style, int charWidth,
                                       int charHeight, int charOffset, bool multiLine,
                                       bool verticalCentre)
    : IControl(plug, area), mStr(text), mCharWidth(charWidth), mCharHeight(charHeight),
      mCharOffset(charOffset), mFontBitmap(font ? *font : IBitmap()), mMultiLine(multiLine),
      mVCentre(verticalCentre) {
    if (style) mTextStyle = *style;
}

bool IBitmapTextControl::Draw(IGraphics* graphics) {
    if (!mStr.GetLength()) return true;
    DrawBitmapedText(graphics, &mFontBitmap, &mArea, &mTextStyle, &mBlending, mStr.Get(), mVCentre,
                     mMultiLine, mCharWidth, mCharHeight, mCharOffset);
    return true;
}

void IBitmapTextControl::SetTextFromPlug(const char* text) {
    if (!text) text = "";
    if (std::strcmp(mStr.Get(), text) != 0) {
        SetDirty(false);
        mStr.Set(text);
    }
}
