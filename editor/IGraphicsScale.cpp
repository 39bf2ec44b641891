// The editor's scale factor: the mapping between editor and device pixels, and the images drawn
// at the scale (from the artwork sets, scaled down by area averaging where the factor lies
// between two sets).
#include "editor/IGraphics.h"

#include "editor/IGraphicsResources.h"
#include "editor/UserZoom.h"
#include "plugin/IPlugBase.h"
#include "raster/lice.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

struct IGraphics::ImageSource {
    int id = BitmapStorage::kNoId;
    WDL_String name;
    int frames = 1;
    bool horizontal = false;
    LICE_IBitmap* base = nullptr;   // the 1x image, held by the cache
    LICE_IBitmap* device = nullptr; // at the current scale; null at 1x
    bool ownsDevice = false;        // an enlargement made here, not held by the cache
};

namespace {

// Straight-alpha pixels averaged by the area each source pixel covers in the destination,
// colours weighted by their alpha so that transparent pixels lend no colour to an edge.
// Scales src's area (sx, sy, sw, sh) into dest's (dx, dy, dw, dh).
void AreaAverage(LICE_IBitmap* src, int sx, int sy, int sw, int sh, LICE_IBitmap* dest, int dx,
                 int dy, int dw, int dh) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    struct Tap {
        int index;
        double weight;
    };
    // The source pixels (with the share of each) that destination pixel i of n covers.
    auto taps = [](int srcLen, int dstLen, std::vector<std::vector<Tap>>* out) {
        out->assign(size_t(dstLen), {});
        const double step = double(srcLen) / dstLen;
        for (int i = 0; i < dstLen; ++i) {
            const double lo = i * step, hi = (i + 1) * step;
            for (int s = int(lo); s < srcLen && s < hi; ++s) {
                const double w = std::fmin(hi, s + 1.0) - std::fmax(lo, double(s));
                if (w > 0.0) (*out)[size_t(i)].push_back({s, w});
            }
        }
    };
    std::vector<std::vector<Tap>> xt, yt;
    taps(sw, dw, &xt);
    taps(sh, dh, &yt);

    // Rows first: premultiplied sums per destination column for every source row.
    std::vector<double> rows(size_t(dw) * size_t(sh) * 4, 0.0);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < dw; ++x) {
            double* acc = &rows[(size_t(y) * dw + x) * 4];
            for (const Tap& t : xt[size_t(x)]) {
                const LICE_pixel p = LICE_GetPixel(src, sx + t.index, sy + y);
                const double a = LICE_GETA(p) * t.weight;
                acc[0] += a;
                acc[1] += LICE_GETR(p) * a;
                acc[2] += LICE_GETG(p) * a;
                acc[3] += LICE_GETB(p) * a;
            }
        }
    LICE_pixel* bits = dest->getBits();
    const int span = dest->getRowSpan();
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) {
            double sum[4] = {0.0, 0.0, 0.0, 0.0}, area = 0.0;
            for (const Tap& t : yt[size_t(y)]) {
                const double* acc = &rows[(size_t(t.index) * dw + x) * 4];
                for (int c = 0; c < 4; ++c)
                    sum[c] += acc[c] * t.weight;
            }
            for (const Tap& t : xt[size_t(x)])
                area += t.weight;
            double rowArea = 0.0;
            for (const Tap& t : yt[size_t(y)])
                rowArea += t.weight;
            area *= rowArea;
            auto channel = [&](int c) {
                const double v = sum[0] > 0.0 ? sum[c] / sum[0] : 0.0;
                return int(std::lround(v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v)));
            };
            const int a = int(std::lround(sum[0] / area));
            bits[(dy + y) * span + dx + x] = LICE_RGBA(channel(1), channel(2), channel(3), a);
        }
}

// Makes a frames-strip of frames of fw x fh device pixels from src, each frame of src scaled on
// its own so that no frame bleeds into the next. Bilinear when enlarging (no artwork set).
LICE_IBitmap* ScaleFrames(LICE_IBitmap* src, int frames, bool horizontal, int fw, int fh) {
    const int sw = horizontal ? src->getWidth() / frames : src->getWidth();
    const int sh = horizontal ? src->getHeight() : src->getHeight() / frames;
    LICE_MemBitmap* out =
        new LICE_MemBitmap(horizontal ? fw * frames : fw, horizontal ? fh : fh * frames, 4);
    if (!out->getBits()) {
        delete out;
        return nullptr;
    }
    for (int f = 0; f < frames; ++f) {
        const int sx = horizontal ? f * sw : 0, sy = horizontal ? 0 : f * sh;
        const int dx = horizontal ? f * fw : 0, dy = horizontal ? 0 : f * fh;
        if (fw <= sw && fh <= sh) {
            AreaAverage(src, sx, sy, sw, sh, out, dx, dy, fw, fh);
        } else {
            LICE_FillRect(out, dx, dy, fw, fh, 0, 1.0f, LICE_COMBINE_COPY);
            LICE_ScaledBlit(out, src, dx, dy, fw, fh, float(sx), float(sy), float(sw), float(sh),
                            1.0f, LICE_COMBINE_COPY | LICE_COMBINE_FILTER_BILINEAR);
        }
    }
    return out;
}

// name with "@Nx" before its extension, into out; false when it does not fit.
bool ArtworkSetName(const char* name, int set, char* out, size_t size) {
    const char* dot = std::strrchr(name, '.');
    const char* slash = std::strrchr(name, '/');
    const size_t stem = dot && (!slash || dot > slash) ? size_t(dot - name) : std::strlen(name);
    const int n = std::snprintf(out, size, "%.*s@%dx%s", int(stem), name, set, name + stem);
    return n > 0 && size_t(n) < size;
}

} // namespace

// ---- Mapping ---------------------------------------------------------------------------------

int IGraphics::ToDevice(int editorPx) const {
    return mScale == 1.0 ? editorPx : int(std::lround(editorPx * mScale));
}

IRECT IGraphics::ToDevice(const IRECT& r) const {
    return IRECT(ToDevice(r.left), ToDevice(r.top), ToDevice(r.right), ToDevice(r.bottom));
}

int IGraphics::ToEditor(int devicePx) const {
    return mScale == 1.0 ? devicePx : int(std::floor(devicePx / mScale));
}

IRECT IGraphics::ToEditor(const IRECT& device) const {
    if (mScale == 1.0 || device.Empty()) return device;
    return IRECT(ToEditor(device.left), ToEditor(device.top), int(std::ceil(device.right / mScale)),
                 int(std::ceil(device.bottom / mScale)));
}

// ---- Scale -----------------------------------------------------------------------------------

double IGraphics::SetScale(double scale) {
    if (!std::isfinite(scale)) return mScale;
    mHostScale = scale < kMinScale ? kMinScale : (scale > kMaxScale ? kMaxScale : scale);
    scale = ZoomedScale(mHostScale, mUserZoom, kMinScale, kMaxScale);
    if (scale == mScale) return mScale;
    mScale = scale;
    if (mBackBuffer) PrepDraw();
    MakeScaledImages();
    SetAllControlsDirty();
    return mScale;
}

double IGraphics::ScaleToFit(int w, int h) const {
    if (mWidth <= 0 || mHeight <= 0 || w <= 0 || h <= 0) return kMinScale;
    double fit = std::fmin(double(w) / mWidth, double(h) / mHeight);
    // In hundredths, rounded: a host that multiplied the size by 1.25 and rounded gets 1.25.
    fit = std::round(fit * 100.0) / 100.0;
    return fit < kMinScale ? kMinScale : (fit > kMaxScale ? kMaxScale : fit);
}

void IGraphics::SetPreferredSize(int width, int height) {
    if (width > 0 && height > 0) SetScale(ScaleToFit(width, height) * 100.0 / mUserZoom);
}

// ---- The user's zoom -------------------------------------------------------------------------

bool IGraphics::SetUserZoom(int percent) {
    mUserZoom = NextUserZoomStep(percent, 0);
    const double before = mScale;
    return SetScale(mHostScale) != before; // virtual: the platform resizes its window
}

bool IGraphics::StepUserZoom(int direction) {
    const int zoom = direction == 0 ? kDefaultUserZoom : NextUserZoomStep(mUserZoom, direction);
    if (zoom == mUserZoom) return false;
    SetUserZoom(zoom);
    if (mRemembersZoom && mOwnerPlug)
        WriteUserZoom(UserSettingsPath(mOwnerPlug->GetMfrName(), mOwnerPlug->GetEffectName()),
                      zoom);
    return true;
}

void IGraphics::RememberUserZoom() {
    mRemembersZoom = true;
    if (!mOwnerPlug) return;
    SetUserZoom(
        ReadUserZoom(UserSettingsPath(mOwnerPlug->GetMfrName(), mOwnerPlug->GetEffectName())));
}

// ---- Images at the scale ---------------------------------------------------------------------

void IGraphics::NoteImageSource(int id, const char* name, const IBitmap& bitmap) {
    if (!bitmap.image) return;
    for (int i = 0; i < mImageSources.GetSize(); ++i)
        if (mImageSources.Get(i)->base == bitmap.image) return;
    ImageSource* source = new ImageSource;
    source->id = id;
    source->name.Set(name ? name : "");
    source->frames = bitmap.frameCount;
    source->horizontal = bitmap.framesHorizontal;
    source->base = bitmap.image;
    if (!mImageSources.Add(source)) {
        delete source;
        return;
    }
    if (mScale != 1.0) MakeScaledImage(source);
}

void IGraphics::DropScaledImage(ImageSource* source) {
    if (source->ownsDevice) delete source->device;
    source->device = nullptr;
    source->ownsDevice = false;
}

void IGraphics::MakeScaledImage(ImageSource* source) {
    DropScaledImage(source);
    if (mScale == 1.0 || !source->base) return;
    const int n = source->frames;
    LICE_IBitmap* base = source->base;
    const int fw = source->horizontal ? base->getWidth() / n : base->getWidth();
    const int fh = source->horizontal ? base->getHeight() : base->getHeight() / n;
    const int dw = ToDevice(fw), dh = ToDevice(fh);
    const int hundredths = int(std::lround(mScale * 100.0));
    const int variant = ((n * 2 + (source->horizontal ? 1 : 0)) * 1000) + hundredths;
    const bool byResource = source->id != BitmapStorage::kNoId;

    if (byResource) {
        source->device = BitmapCache().Find(source->id, variant);
        if (source->device) return;
    }
    // The smallest set at least as large as the scale: never enlarged, only ever scaled down.
    const int set = int(std::ceil(mScale - 1e-9));
    LICE_IBitmap* setImage = nullptr;
    char setName[1024];
    if (byResource && ArtworkSetName(source->name.Get(), set, setName, sizeof setName)) {
        setImage = BitmapCache().Find(source->id, set * 100);
        if (!setImage)
            setImage = BitmapCache().Add(OSLoadBitmap(source->id, setName), source->id, set * 100);
        // A set that is not the 1x image drawn at its factor would misplace every frame.
        if (setImage && (setImage->getWidth() != base->getWidth() * set ||
                         setImage->getHeight() != base->getHeight() * set))
            setImage = nullptr;
    }
    if (setImage && mScale == double(set)) {
        source->device = setImage; // the scale is the set's own
        return;
    }
    LICE_IBitmap* scaled = ScaleFrames(setImage ? setImage : base, n, source->horizontal, dw, dh);
    if (!scaled) return;
    if (byResource && setImage) {
        source->device = BitmapCache().Add(scaled, source->id, variant);
    } else {
        source->device = scaled; // an enlargement: no artwork for this scale
        source->ownsDevice = true;
    }
}

void IGraphics::MakeScaledImages() {
    ForgetBackdrop();
    for (int i = 0; i < mImageSources.GetSize(); ++i)
        MakeScaledImage(mImageSources.Get(i));
}

LICE_IBitmap* IGraphics::DeviceImage(const IBitmap* bitmap) {
    if (!bitmap || !bitmap->image || mScale == 1.0) return bitmap ? bitmap->image : nullptr;
    for (int i = 0; i < mImageSources.GetSize(); ++i) {
        ImageSource* source = mImageSources.Get(i);
        if (source->base == bitmap->image) return source->device;
    }
    // An image the editor did not load by resource (scaled, cropped or handed in): enlarged.
    ImageSource* source = new ImageSource;
    source->frames = bitmap->frameCount;
    source->horizontal = bitmap->framesHorizontal;
    source->base = bitmap->image;
    if (!mImageSources.Add(source)) {
        delete source;
        return nullptr;
    }
    MakeScaledImage(source);
    return source->device;
}

void IGraphics::DeleteImageSources() {
    for (int i = 0; i < mImageSources.GetSize(); ++i)
        DropScaledImage(mImageSources.Get(i));
    mImageSources.Empty(true);
}
