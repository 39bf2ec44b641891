// The background under a redraw, copied only where the back buffer may differ from it.
//
// A full redraw used to copy the whole background image into the back buffer before the
// controls drew over it: at scale 2 that copy alone (2.7 MB) cost about three times everything
// else in the frame. Once the background has been drawn whole, the editor notes every device
// area any drawing call writes afterwards; the buffer outside those areas still holds the
// background, pixel for pixel, so a later background draw copies it only inside them. The
// controls then draw over exactly what they drew over before.
#include "editor/IControls.h"
#include "editor/IGraphics.h"

#include "raster/lice.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

namespace {

bool HasArea(const IRECT& r) {
    return r.right > r.left && r.bottom > r.top;
}

// ClipTo, and empty rather than an edge where the two only touch.
IRECT Intersection(const IRECT& a, const IRECT& b) {
    const IRECT r = a.ClipTo(b);
    return HasArea(r) ? r : IRECT();
}

bool Inside(const IRECT& inner, const IRECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

} // namespace

void IGraphics::ForgetBackdrop() {
    mBackdropValid = false;
    mBackdropControl = nullptr;
    mNumDrawnAreas = 0;
}

void IGraphics::NoteDrawn(int left, int top, int right, int bottom) {
    if (!mBackdropValid || mDrawingBackdrop || !mBackBuffer) return;
    const IRECT area = Intersection(IRECT(left, top, right, bottom),
                                    IRECT(0, 0, mBackBuffer->getWidth(), mBackBuffer->getHeight()));
    if (!HasArea(area)) return;
    for (int i = 0; i < mNumDrawnAreas; ++i)
        if (Inside(area, mDrawnAreas[i])) return; // already noted
    int kept = 0;
    for (int i = 0; i < mNumDrawnAreas; ++i)
        if (!Inside(mDrawnAreas[i], area)) mDrawnAreas[kept++] = mDrawnAreas[i];
    mNumDrawnAreas = kept;
    // Too scattered to follow: the next background draw copies whatever it is asked to.
    if (mNumDrawnAreas == kMaxDrawnAreas) {
        ForgetBackdrop();
        return;
    }
    mDrawnAreas[mNumDrawnAreas++] = area;
}

void IGraphics::NoteDrawn(const IRECT& device, int margin) {
    NoteDrawn(device.left - margin, device.top - margin, device.right + margin,
              device.bottom + margin);
}

void IGraphics::NoteLine(int x1, int y1, int x2, int y2) {
    NoteDrawn(IRECT(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1),
              kShapeMargin);
}

void IGraphics::NoteCircle(float cx, float cy, float r) {
    if (!mBackdropValid) return;
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(r) ||
        std::fabs(cx) + std::fabs(r) > 1e6f || std::fabs(cy) + std::fabs(r) > 1e6f) {
        ForgetBackdrop(); // nothing sensible to note: copy everything next time
        return;
    }
    r = std::fabs(r);
    NoteDrawn(IRECT(int(std::floor(cx - r)), int(std::floor(cy - r)), int(std::ceil(cx + r)) + 1,
                    int(std::ceil(cy + r)) + 1),
              kShapeMargin);
}

void IGraphics::NotePolygon(const int* x, const int* y, int n) {
    if (!mBackdropValid || n <= 0) return;
    IRECT box(x[0], y[0], x[0] + 1, y[0] + 1);
    for (int i = 1; i < n; ++i) {
        box.left = std::min(box.left, x[i]);
        box.top = std::min(box.top, y[i]);
        box.right = std::max(box.right, x[i] + 1);
        box.bottom = std::max(box.bottom, y[i] + 1);
    }
    NoteDrawn(box, kShapeMargin);
}

bool IGraphics::IsOpaqueBackdrop(IControl* background) {
    // Exactly the background AttachBackground makes: one image copied over the whole editor,
    // whatever lay under it, so that copying it again anywhere changes nothing.
    if (!background || typeid(*background) != typeid(IBitmapControl)) return false;
    const IChannelBlend* blend = background->GetBlend();
    if (blend->method != IChannelBlend::kBlendClobber || blend->weight != 1.0f) return false;
    const IBitmap* bitmap = static_cast<IBitmapControl*>(background)->GetBitmap();
    if (bitmap->frameCount != 1) return false;
    const IRECT* area = background->GetRECT();
    if (area->left > 0 || area->top > 0 || area->right < mWidth || area->bottom < mHeight)
        return false;
    LICE_IBitmap* image = DeviceImage(bitmap);
    return image && image->getWidth() >= DeviceWidth() && image->getHeight() >= DeviceHeight();
}

void IGraphics::DrawBackdrop(IControl* background, IRECT area) {
    mRedrawRect = area;
    if (!mBackBuffer || !IsOpaqueBackdrop(background)) {
        ForgetBackdrop();
        background->Draw(this);
        return;
    }
    const IRECT buffer(0, 0, mBackBuffer->getWidth(), mBackBuffer->getHeight());
    const IRECT device = Intersection(ToDevice(area), buffer);
    mDrawingBackdrop = true;
    if (mBackdropValid && mBackdropControl == background) {
        for (int i = 0; i < mNumDrawnAreas; ++i) {
            const IRECT part = Intersection(mDrawnAreas[i], device);
            if (!HasArea(part)) continue;
            // Editor pixels covering the part, within the redraw: any background pixel copied
            // beyond the part is one the buffer already holds.
            mRedrawRect = Intersection(ToEditor(part), area);
            if (HasArea(mRedrawRect)) background->Draw(this);
        }
        int kept = 0;
        for (int i = 0; i < mNumDrawnAreas; ++i)
            if (!Inside(mDrawnAreas[i], device)) mDrawnAreas[kept++] = mDrawnAreas[i];
        mNumDrawnAreas = kept;
    } else {
        background->Draw(this);
        if (device == buffer) {
            mBackdropValid = true;
            mBackdropControl = background;
            mNumDrawnAreas = 0;
        }
    }
    mDrawingBackdrop = false;
    mRedrawRect = area;
}
