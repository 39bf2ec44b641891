// Text drawn from a bitmap font: one frame per character, starting with the space (code 32) as
// frame 1, every character the same width.
#pragma once

#include "editor/IControl.h"

// Draws text into r with characters charWidth x charHeight, charOffset pixels apart, aligned by
// the style's alignment. A single line is cut to what fits; multiLine wraps at the area's width.
void DrawBitmapedText(IGraphics* graphics, IBitmap* font, IRECT* r, IText* style,
                      const IChannelBlend* blend, const char* text, bool verticalCentre,
                      bool multiLine = false, int charWidth = 6, int charHeight = 12,
                      int charOffset = 0);

class IBitmapTextControl : public IControl {
public:
    IBitmapTextControl(IPlugBase* plug, IRECT area, const IBitmap* font, const char* text = "",
                       const IText* style = nullptr, int charWidth = 6, int charHeight = 12,
                       int charOffset = 0, bool multiLine = false, bool verticalCentre = true);
    bool Draw(IGraphics* graphics) override;
    void SetTextFromPlug(const char* text) override;
    const char* GetTextForDisplay() const override { return mStr.Get(); }
    void ClearTextFromPlug() { SetTextFromPlug(""); }

protected:
    WDL_String mStr;
    int mCharWidth, mCharHeight, mCharOffset;
    IBitmap mFontBitmap;
    bool mMultiLine;
    bool mVCentre;
};
