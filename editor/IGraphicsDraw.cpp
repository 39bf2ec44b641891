// Drawing primitives of the editor core: each maps onto one or a few raster calls on the back
// buffer, with the control's blend turned into the raster (alpha, mode) pair. Coordinates come in
// editor pixels and go to the raster library in device pixels (times the scale); at 1x the
// arithmetic is the same as without a scale, so every pixel is too.
#include "editor/IGraphics.h"

#include "containers/WDL_TypedBuf.h"

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
    const IRECT r = dest->ClipTo(ToDevice(mRedrawRect));
    if (r.Empty()) return true;
    LICE_Blit(mBackBuffer, src, r.left, r.top, srcX + r.left - dest->left, srcY + r.top - dest->top,
              r.W(), r.H(), BlendWeight(blend), BlendMode(blend));
    NoteDrawn(r);
    return true;
}

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* dest, int srcX, int srcY,
                           const IChannelBlend* blend) {
    if (!bitmap || !dest) return true;
    const IRECT d = ToDevice(*dest);
    return BlitClipped(DeviceImage(bitmap), &d, ToDevice(srcX), ToDevice(srcY), blend);
}

bool IGraphics::DrawBitmap(IBitmap* bitmap, IRECT* dest, int frame, const IChannelBlend* blend) {
    if (!bitmap || !dest) return true;
    LICE_IBitmap* image = DeviceImage(bitmap);
    if (!image) return true;
    int srcX = 0, srcY = 0;
    const int n = bitmap->frameCount;
    const int w = image->getWidth(), h = image->getHeight();
    if (frame > 1 && n > 1) {
        if (bitmap->framesHorizontal)
            srcX = static_cast<int>(double(frame - 1) * w / n + 0.5);
        else
            srcY = static_cast<int>(double(frame - 1) * h / n + 0.5);
    }
    IRECT d = ToDevice(*dest);
    if (mScale != 1.0) {
        // One frame of the scaled image exactly, wherever the rounded edges fall: never a row of
        // the next frame.
        d.right = d.left + (bitmap->framesHorizontal ? w / n : w);
        d.bottom = d.top + (bitmap->framesHorizontal ? h : h / n);
    }
    return BlitClipped(image, &d, srcX, srcY, blend);
}

bool IGraphics::DrawRotatedBitmap(IBitmap* bitmap, int destCtrX, int destCtrY, double angle,
                                  int yOffsetZeroDeg, const IChannelBlend* blend) {
    LICE_IBitmap* image = DeviceImage(bitmap);
    if (!image) return true;
    const int w = image->getWidth(), h = image->getHeight();
    const int cx = ToDevice(destCtrX), cy = ToDevice(destCtrY);
    LICE_RotatedBlit(mBackBuffer, image, cx - w / 2, cy - h / 2, w, h, 0.0f, 0.0f, float(w),
                     float(h), float(angle), false, BlendWeight(blend),
                     BlendMode(blend) | LICE_COMBINE_FILTER_BILINEAR, 0.0f,
                     float(ToDevice(yOffsetZeroDeg)));
    NoteDrawn(IRECT(cx - w / 2, cy - h / 2, cx - w / 2 + w, cy - h / 2 + h), 1);
    return true;
}

bool IGraphics::DrawRotatedMask(IBitmap* base, IBitmap* mask, IBitmap* top, int x, int y,
                                double angleDegrees, const IChannelBlend* blend) {
    LICE_IBitmap* baseImage = DeviceImage(base);
    if (!baseImage || !mask || !top) return true;
    LICE_IBitmap* maskImage = DeviceImage(mask);
    LICE_IBitmap* topImage = DeviceImage(top);
    if (!mScratchBitmap) mScratchBitmap = new LICE_MemBitmap(0, 0, 4);
    const int w = baseImage->getWidth(), h = baseImage->getHeight();
    const float radians = float(angleDegrees * M_PI / 180.0);
    const float xOffset = (w % 2) ? -0.5f : 0.0f;

    LICE_Copy(mScratchBitmap, baseImage);
    LICE_ClearRect(mScratchBitmap, 0, 0, w, h, 0x00FFFFFF, 0); // alpha cleared, colours kept
    LICE_RotatedBlit(
        mScratchBitmap, maskImage, 0, 0, w, h, 0.0f, 0.0f, float(w), float(h), radians, true, 1.0f,
        LICE_COMBINE_ADD | LICE_COMBINE_FILTER_BILINEAR | LICE_COMBINE_USE_SOURCE_ALPHA, xOffset,
        0.0f);
    LICE_RotatedBlit(mScratchBitmap, topImage, 0, 0, w, h, 0.0f, 0.0f, float(w), float(h), radians,
                     true, 1.0f, LICE_COMBINE_FILTER_BILINEAR | LICE_COMBINE_USE_SOURCE_ALPHA,
                     xOffset, 0.0f);
    const IRECT dest(ToDevice(x), ToDevice(y), ToDevice(x) + w, ToDevice(y) + h);
    return BlitClipped(mScratchBitmap, &dest, 0, 0, blend);
}

bool IGraphics::DrawPoint(const IColor* color, float x, float y, const IChannelBlend* blend,
                          bool /*antiAlias*/) {
    if (mScale != 1.0) { // a point is one editor pixel: a square of device pixels
        const IRECT d =
            ToDevice(IRECT(int(x + 0.5f), int(y + 0.5f), int(x + 0.5f) + 1, int(y + 0.5f) + 1));
        LICE_FillRect(mBackBuffer, d.left, d.top, d.W(), d.H(), Pack(color), BlendWeight(blend),
                      BlendMode(blend));
        NoteDrawn(d);
        return true;
    }
    LICE_PutPixel(mBackBuffer, int(x + 0.5f), int(y + 0.5f), Pack(color), BlendWeight(blend),
                  BlendMode(blend));
    NoteDrawn(IRECT(int(x + 0.5f), int(y + 0.5f), int(x + 0.5f) + 1, int(y + 0.5f) + 1));
    return true;
}

bool IGraphics::ForcePixel(const IColor* color, int x, int y) {
    // Checked here although callers are meant to stay inside: a stray point must not write
    // past the buffer.
    LICE_pixel* bits = mBackBuffer ? mBackBuffer->getBits() : nullptr;
    if (!bits || x < 0 || y < 0 || x >= mWidth || y >= mHeight) return true;
    const IRECT d = ToDevice(IRECT(x, y, x + 1, y + 1));
    NoteDrawn(d);
    for (int row = d.top; row < d.bottom && row < mBackBuffer->getHeight(); ++row)
        for (int col = d.left; col < d.right && col < mBackBuffer->getWidth(); ++col)
            bits[row * mBackBuffer->getRowSpan() + col] = Pack(color);
    return true;
}

IColor IGraphics::GetPoint(int x, int y) {
    const LICE_pixel p = LICE_GetPixel(mBackBuffer, ToDevice(x), ToDevice(y));
    return IColor(LICE_GETA(p), LICE_GETR(p), LICE_GETG(p), LICE_GETB(p));
}

bool IGraphics::DrawLine(const IColor* color, float x1, float y1, float x2, float y2,
                         const IChannelBlend* blend, bool antiAlias) {
    const double s = mScale;
    const int dx1 = int(x1 * s), dy1 = int(y1 * s), dx2 = int(x2 * s), dy2 = int(y2 * s);
    LICE_Line(mBackBuffer, dx1, dy1, dx2, dy2, Pack(color), BlendWeight(blend), BlendMode(blend),
              antiAlias);
    NoteLine(dx1, dy1, dx2, dy2);
    return true;
}

bool IGraphics::DrawArc(const IColor* color, float cx, float cy, float r, float minAngle,
                        float maxAngle, const IChannelBlend* blend, bool antiAlias) {
    const float s = float(mScale);
    LICE_Arc(mBackBuffer, cx * s, cy * s, r * s, minAngle, maxAngle, Pack(color),
             BlendWeight(blend), BlendMode(blend), antiAlias);
    NoteCircle(cx * s, cy * s, r * s);
    return true;
}

bool IGraphics::DrawCircle(const IColor* color, float cx, float cy, float r,
                           const IChannelBlend* blend, bool antiAlias) {
    const float s = float(mScale);
    LICE_Circle(mBackBuffer, cx * s, cy * s, r * s, Pack(color), BlendWeight(blend),
                BlendMode(blend), antiAlias);
    NoteCircle(cx * s, cy * s, r * s);
    return true;
}

bool IGraphics::RoundRect(const IColor* color, IRECT* r, const IChannelBlend* blend,
                          int cornerRadius, bool antiAlias) {
    const IRECT d = ToDevice(*r);
    LICE_RoundRect(mBackBuffer, float(d.left), float(d.top), float(d.W()), float(d.H()),
                   ToDevice(cornerRadius), Pack(color), BlendWeight(blend), BlendMode(blend),
                   antiAlias);
    NoteDrawn(d, kShapeMargin);
    return true;
}

bool IGraphics::FillRoundRect(const IColor* color, IRECT* area, const IChannelBlend* blend,
                              int cornerRadius, bool antiAlias) {
    const IRECT device = ToDevice(*area);
    const IRECT* r = &device;
    const int cr = ToDevice(cornerRadius);
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
    NoteDrawn(device, kShapeMargin);
    return true;
}

bool IGraphics::FillIRect(const IColor* color, IRECT* r, const IChannelBlend* blend) {
    const IRECT d = ToDevice(*r);
    LICE_FillRect(mBackBuffer, d.left, d.top, d.W(), d.H(), Pack(color), BlendWeight(blend),
                  BlendMode(blend));
    NoteDrawn(d);
    return true;
}

bool IGraphics::FillCircle(const IColor* color, int cx, int cy, float r, const IChannelBlend* blend,
                           bool antiAlias) {
    const float s = float(mScale);
    LICE_FillCircle(mBackBuffer, float(cx) * s, float(cy) * s, r * s, Pack(color),
                    BlendWeight(blend), BlendMode(blend), antiAlias);
    NoteCircle(float(cx) * s, float(cy) * s, r * s);
    return true;
}

bool IGraphics::FillTriangle(const IColor* color, int x1, int y1, int x2, int y2, int x3, int y3,
                             const IChannelBlend* blend) {
    LICE_FillTriangle(mBackBuffer, ToDevice(x1), ToDevice(y1), ToDevice(x2), ToDevice(y2),
                      ToDevice(x3), ToDevice(y3), Pack(color), BlendWeight(blend),
                      BlendMode(blend));
    const int xs[3] = {ToDevice(x1), ToDevice(x2), ToDevice(x3)};
    const int ys[3] = {ToDevice(y1), ToDevice(y2), ToDevice(y3)};
    NotePolygon(xs, ys, 3);
    return true;
}

bool IGraphics::FillIConvexPolygon(const IColor* color, int* x, int* y, int npoints,
                                   const IChannelBlend* blend) {
    if (mScale == 1.0 || !x || !y || npoints <= 0) {
        LICE_FillConvexPolygon(mBackBuffer, x, y, npoints, Pack(color), BlendWeight(blend),
                               BlendMode(blend));
        if (x && y) NotePolygon(x, y, npoints);
        return true;
    }
    WDL_TypedBuf<int> device;
    int* dx = device.Resize(npoints * 2, false);
    if (!dx) return true;
    for (int i = 0; i < npoints; ++i) {
        dx[i] = ToDevice(x[i]);
        dx[npoints + i] = ToDevice(y[i]);
    }
    LICE_FillConvexPolygon(mBackBuffer, dx, dx + npoints, npoints, Pack(color), BlendWeight(blend),
                           BlendMode(blend));
    NotePolygon(dx, dx + npoints, npoints);
    return true;
}

bool IGraphics::DrawVerticalLine(const IColor* color, int xi, int yLo, int yHi) {
    xi = ToDevice(xi);
    LICE_Line(mBackBuffer, xi, ToDevice(yLo), xi, ToDevice(yHi), Pack(color), 1.0f,
              LICE_COMBINE_COPY, false);
    NoteLine(xi, ToDevice(yLo), xi, ToDevice(yHi));
    return true;
}

bool IGraphics::DrawHorizontalLine(const IColor* color, int yi, int xLo, int xHi) {
    yi = ToDevice(yi);
    LICE_Line(mBackBuffer, ToDevice(xLo), yi, ToDevice(xHi), yi, Pack(color), 1.0f,
              LICE_COMBINE_COPY, false);
    NoteLine(ToDevice(xLo), yi, ToDevice(xHi), yi);
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
    // Text is set at the scaled size, not enlarged: a font of its own per scale.
    IText scaled;
    if (mScale != 1.0) {
        scaled = *text;
        scaled.size = ToDevice(text->size);
        scaled.cachedFont = nullptr;
        text = &scaled;
    }
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
        const IRECT d = ToDevice(*r);
        RECT rect = {d.left, d.top, d.right, d.bottom};
        font->DrawText(mBackBuffer, str, -1, &rect, format);
        if (mBackdropValid) { // the text is not clipped to its rectangle: note what it covers
            RECT m = {0, 0, 0, 0};
            font->DrawText(mBackBuffer, str, -1, &m, format | TEXT_CALCRECT);
            int left = d.left;
            if (text->align == IText::kAlignCenter)
                left = (d.left + d.right) / 2 - m.right / 2;
            else if (text->align == IText::kAlignFar)
                left = d.right - m.right;
            // Glyphs may reach past the measured box (overhangs, rounding): a margin of the size.
            NoteDrawn(IRECT(left, d.top, left + m.right, d.top + m.bottom), text->size + 2);
        }
        return true;
    }
    RECT m = {0, 0, 0, 0};
    font->DrawText(mBackBuffer, str, -1, &m, format | TEXT_CALCRECT);
    if (mScale != 1.0) { // the extent in editor pixels
        m.right = int(std::ceil(m.right / mScale));
        m.bottom = int(std::ceil(m.bottom / mScale));
    }
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
    ForgetBackdrop(); // the caller may write anywhere
    return mBackBuffer ? mBackBuffer->getBits() : nullptr;
}
