// Drawing primitives of the editor core: each maps onto one or a few raster calls on the back
// buffer, with the control's blend turned into the raster (alpha, mode) pair.
#include "editor/IGraphics.h"

#include "raster/lice.h"

#include <cmath>

namespace {

LICE_pixel Pack(const IColor* c) {
    return LICE_RGBA(c->red, c->green, c->blue, c->alpha);
}

int BlendMode(const IChannelBlend* b) {
    if (!b) return LICE_COMBINE_USE_SOURCE_ALPHA;
    switch (b->method) {
    case IChannelBlend::kBlendClobber:
        return LICE_COMBINE_COPY;
    case IChannelBlend::kBlendAdd:
        return LICE_COMBINE_ADD | LICE_COMBINE_USE_SOURCE_ALPHA;
    case IChannelBlend::kBlendColorDodge:
        return LICE_COMBINE_DIVIDE | LICE_COMBINE_USE_SOURCE_ALPHA;
    default:
        return LICE_COMBINE_USE_SOURCE_ALPHA;
    }
}

float BlendWeight(const IChannelBlend* b) {
    return b ? b->weight : 1.0f;
}

} // namespace

bool IGraphics::BlitClipped(LICE_IBitmap* src, const IRECT* dest, int srcX, int srcY,
                            const IChannelBlend* blend) {
    if (!src || !dest) return true;
    const IRECT r = dest->ClipTo(mRedrawRect);
    if (r.Empty()) return true;
    LICE_Blit(mBackBuffer, src, r.left, r.top, srcX + r.left - dest->left, srcY + r.top - dest->top,
              r.W(), r.H(), BlendWeight(blend), BlendMode(blend));
    return true;
}

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* dest, int srcX, int srcY,
                           const IChannelBlend* blend) {
    return bitmap ? BlitClipped(bitmap->image, dest, srcX, srcY, blend) : true;
}

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* dest, int frame, const IChannelBlend* blend) {
    if (!bitmap) return true;
    int srcX = 0, srcY = 0;
    const int n = bitmap->frameCount;
    if (frame > 1 && n > 1) {
        if (bitmap->framesHorizontal)
            srcX = static_cast<int>(double(frame - 1) * bitmap->width / n + 0.5);
        else
            srcY = static_cast<int>(double(frame - 1) * bitmap->height / n + 0.5);
    }
    return BlitClipped(bitmap->image, dest, srcX, srcY, blend);
}

bool IGraphics::DrawRotatedBitmap(IBitmap* bitmap, int destCtrX, int destCtrY, double angle,
                                  int yOffsetZeroDeg, const IChannelBlend* blend) {
    if (!bitmap || !bitmap->image) return true;
    const int w = bitmap->width, h = bitmap->height;
    LICE_RotatedBlit(mBackBuffer, bitmap->image, destCtrX - w / 2, destCtrY - h / 2, w, h, 0.0f,
                     0.0f, float(w), float(h), float(angle), false, BlendWeight(blend),
                     BlendMode(blend) | LICE_COMBINE_FILTER_BILINEAR, 0.0f, float(yOffsetZeroDeg));
    return true;
}

bool IGraphics::DrawRotatedMask(IBitmap* base, IBitmap* mask, IBitmap* top, int x, int y,
                                double angleDegrees, const IChannelBlend* blend) {
    if (!base || !base->image || !mask || !top) return true;
    if (!mScratchBitmap) mScratchBitmap = new LICE_MemBitmap(0, 0, 4);
    const int w = base->width, h = base->height;
    const float radians = float(angleDegrees * M_PI / 180.0);
    const float xOffset = (w % 2) ? -0.5f : 0.0f;

    LICE_Copy(mScratchBitmap, base->image);
    LICE_ClearRect(mScratchBitmap, 0, 0, w, h, 0x00FFFFFF, 0); // alpha cleared, colours kept
    LICE_RotatedBlit(
        mScratchBitmap, mask->image, 0, 0, w, h, 0.0f, 0.0f, float(w), float(h), radians, true,
        1.0f, LICE_COMBINE_ADD | LICE_COMBINE_FILTER_BILINEAR | LICE_COMBINE_USE_SOURCE_ALPHA,
        xOffset, 0.0f);
    LICE_RotatedBlit(mScratchBitmap, top->image, 0, 0, w, h, 0.0f, 0.0f, float(w), float(h),
                     radians, true, 1.0f,
                     LICE_COMBINE_FILTER_BILINEAR | LICE_COMBINE_USE_SOURCE_ALPHA, xOffset, 0.0f);
    const IRECT dest(x, y, x + w, y + h);
    return BlitClipped(mScratchBitmap, &dest, 0, 0, blend);
}

bool IGraphics::DrawPoint(const IColor* color, float x, float y, const IChannelBlend* blend,
                          bool /*antiAlias*/) {
    LICE_PutPixel(mBackBuffer, int(x + 0.5f), int(y + 0.5f), Pack(color), BlendWeight(blend),
                  BlendMode(blend));
    return true;
}

bool IGraphics::ForcePixel(const IColor* color, int x, int y) {
    // Checked here although callers are meant to stay inside: a stray point must not write
    // past the buffer.
    LICE_pixel* bits = mBackBuffer ? mBackBuffer->getBits() : nullptr;
    if (bits && x >= 0 && y >= 0 && x < mBackBuffer->getWidth() && y < mBackBuffer->getHeight())
        bits[y * mBackBuffer->getRowSpan() + x] = Pack(color);
    return true;
}

IColor IGraphics::GetPoint(int x, int y) {
    const LICE_pixel p = LICE_GetPixel(mBackBuffer, x, y);
    return IColor(LICE_GETA(p), LICE_GETR(p), LICE_GETG(p), LICE_GETB(p));
}

bool IGraphics::DrawLine(const IColor* color, float x1, float y1, float x2, float y2,
                         const IChannelBlend* blend, bool antiAlias) {
    LICE_Line(mBackBuffer, int(x1), int(y1), int(x2), int(y2), Pack(color), BlendWeight(blend),
              BlendMode(blend), antiAlias);
    return true;
}

bool IGraphics::DrawArc(const IColor* color, float cx, float cy, float r, float minAngle,
                        float maxAngle, const IChannelBlend* blend, bool antiAlias) {
    LICE_Arc(mBackBuffer, cx, cy, r, minAngle, maxAngle, Pack(color), BlendWeight(blend),
             BlendMode(blend), antiAlias);
    return true;
}

bool IGraphics::DrawCircle(const IColor* color, float cx, float cy, float r,
                           const IChannelBlend* blend, bool antiAlias) {
    LICE_Circle(mBackBuffer, cx, cy, r, Pack(color), BlendWeight(blend), BlendMode(blend),
                antiAlias);
    return true;
}

bool IGraphics::RoundRect(const IColor* color, IRECT* r, const IChannelBlend* blend,
                          int cornerRadius, bool antiAlias) {
    LICE_RoundRect(mBackBuffer, float(r->left), float(r->top), float(r->W()), float(r->H()),
                   cornerRadius, Pack(color), BlendWeight(blend), BlendMode(blend), antiAlias);
    return true;
}

bool IGraphics::FillRoundRect(const IColor* color, IRECT* r, const IChannelBlend* blend, int cr,
                              bool antiAlias) {
    const int w = r->W(), h = r->H();
    const LICE_pixel c = Pack(color);
    const float a = BlendWeight(blend);
    const int mode = BlendMode(blend);
    LICE_FillRect(mBackBuffer, r->left + cr, r->top, w - 2 * cr, h, c, a, mode);
    LICE_FillRect(mBackBuffer, r->left, r->top + cr, cr, h - 2 * cr, c, a, mode);
    LICE_FillRect(mBackBuffer, r->right - cr, r->top + cr, cr, h - 2 * cr, c, a, mode);
    const float rad = float(cr);
    LICE_FillCircle(mBackBuffer, float(r->left + cr), float(r->top + cr), rad, c, a, mode,
                    antiAlias);
    LICE_FillCircle(mBackBuffer, float(r->right - cr - 1), float(r->bottom - cr - 1), rad, c, a,
                    mode, antiAlias);
    LICE_FillCircle(mBackBuffer, float(r->right - cr - 1), float(r->top + cr), rad, c, a, mode,
                    antiAlias);
    LICE_FillCircle(mBackBuffer, float(r->left + cr), float(r->bottom - cr - 1), rad, c, a, mode,
                    antiAlias);
    return true;
}

bool IGraphics::FillIRect(const IColor* color, IRECT* r, const IChannelBlend* blend) {
    LICE_FillRect(mBackBuffer, r->left, r->top, r->W(), r->H(), Pack(color), BlendWeight(blend),
                  BlendMode(blend));
    return true;
}

bool IGraphics::FillCircle(const IColor* color, int cx, int cy, float r, const IChannelBlend* blend,
                           bool antiAlias) {
    LICE_FillCircle(mBackBuffer, float(cx), float(cy), r, Pack(color), BlendWeight(blend),
                    BlendMode(blend), antiAlias);
    return true;
}

bool IGraphics::FillTriangle(const IColor* color, int x1, int y1, int x2, int y2, int x3, int y3,
                             const IChannelBlend* blend) {
    LICE_FillTriangle(mBackBuffer, x1, y1, x2, y2, x3, y3, Pack(color), BlendWeight(blend),
                      BlendMode(blend));
    return true;
}

bool IGraphics::FillIConvexPolygon(const IColor* color, int* x, int* y, int npoints,
                                   const IChannelBlend* blend) {
    LICE_FillConvexPolygon(mBackBuffer, x, y, npoints, Pack(color), BlendWeight(blend),
                           BlendMode(blend));
    return true;
}

bool IGraphics::DrawVerticalLine(const IColor* color, int xi, int yLo, int yHi) {
    LICE_Line(mBackBuffer, xi, yLo, xi, yHi, Pack(color), 1.0f, LICE_COMBINE_COPY, false);
    return true;
}

bool IGraphics::DrawHorizontalLine(const IColor* color, int yi, int xLo, int xHi) {
    LICE_Line(mBackBuffer, xLo, yi, xHi, yi, Pack(color), 1.0f, LICE_COMBINE_COPY, false);
    return true;
}

bool IGraphics::DrawVerticalLine(const IColor* color, IRECT* r, float x) {
    x = x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x);
    const int column = r->left + int(float(r->W()) * x);
    return DrawVerticalLine(color, column, r->top, r->bottom);
}

bool IGraphics::DrawHorizontalLine(const IColor* color, IRECT* r, float y) {
    y = y < 0.0f ? 0.0f : (y > 1.0f ? 1.0f : y);
    const int row = r->bottom - int(float(r->H()) * y);
    return DrawHorizontalLine(color, row, r->left, r->right);
}

bool IGraphics::DrawRect(const IColor* color, IRECT* r) {
    DrawHorizontalLine(color, r->top, r->left, r->right);
    DrawHorizontalLine(color, r->bottom, r->left, r->right);
    DrawVerticalLine(color, r->left, r->top, r->bottom);
    DrawVerticalLine(color, r->right, r->top, r->bottom);
    return true;
}

bool IGraphics::DrawRadialLine(const IColor* color, float cx, float cy, float angle, float rMin,
                               float rMax, const IChannelBlend* blend, bool antiAlias) {
    const float s = std::sin(angle), c = std::cos(angle);
    return DrawLine(color, cx + rMin * s, cy - rMin * c, cx + rMax * s, cy - rMax * c, blend,
                    antiAlias);
}

bool IGraphics::DrawIText(IText* text, const char* str, IRECT* r, bool measure) {
    if (!str || !*str) return true;
    if (!text || !r) return false;
    LICE_IFont* font = text->cachedFont;
    if (!font) font = CacheFont(text);
    if (!font) return false;

    const LICE_pixel color = Pack(&text->color);
    font->SetTextColor(color);
    unsigned int format = TEXT_NOCLIP;
    if (text->color.alpha < 255) format |= TEXT_USE_FG_ALPHA;
    if (text->align == IText::kAlignCenter)
        format |= TEXT_HCENTER;
    else if (text->align == IText::kAlignFar)
        format |= TEXT_RIGHT;

    if (!measure) {
        RECT rect = {r->left, r->top, r->right, r->bottom};
        font->DrawText(mBackBuffer, str, -1, &rect, format);
        return true;
    }
    RECT m = {0, 0, 0, 0};
    font->DrawText(mBackBuffer, str, -1, &m, format | TEXT_CALCRECT);
    if (text->align == IText::kAlignCenter) {
        r->left = int((r->left + r->right) * 0.5) - m.right / 2;
        r->right = r->left + m.right;
    } else if (text->align == IText::kAlignFar) {
        r->left = r->right - m.right;
    } else {
        r->right = r->left + m.right;
    }
    r->bottom = r->top + m.bottom;
    return true;
}

void* IGraphics::GetBits() {
    return mBackBuffer ? mBackBuffer->getBits() : nullptr;
}
