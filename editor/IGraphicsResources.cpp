#include "editor/IGraphicsResources.h"

#include "editor/IGraphics.h"
#include "gdi/swell-gdi.h"
#include "raster/lice.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

// ---- Caches ----------------------------------------------------------------------------------

BitmapStorage::~BitmapStorage() {
    const int n = mEntries.GetSize();
    for (int i = 0; i < n; ++i) {
        Entry* e = mEntries.Get(i);
        bool heldLater = false;
        for (int j = i + 1; j < n && !heldLater; ++j)
            heldLater = mEntries.Get(j)->image == e->image;
        if (!heldLater) delete e->image;
    }
    mEntries.Empty(true);
}

LICE_IBitmap* BitmapStorage::Find(int id, int variant) {
    if (id == kNoId) return nullptr;
    WDL_MutexLock lock(&mMutex);
    for (int i = 0; i < mEntries.GetSize(); ++i) {
        const Entry* e = mEntries.Get(i);
        if (e->id == id && e->variant == variant) return e->image;
    }
    return nullptr;
}

LICE_IBitmap* BitmapStorage::Add(LICE_IBitmap* image, int id, int variant) {
    if (!image) return nullptr;
    Entry* e = new Entry{id, image, variant};
    LICE_IBitmap* held = image;
    {
        WDL_MutexLock lock(&mMutex);
        for (int i = 0; id != kNoId && i < mEntries.GetSize(); ++i) {
            if (mEntries.Get(i)->id == id && mEntries.Get(i)->variant == variant) {
                held = mEntries.Get(i)->image; // decoded twice at once: keep the first
                break;
            }
        }
        if (held == image && !mEntries.Add(e)) held = nullptr; // out of memory
    }
    if (held != image) { // nobody else has seen image
        delete e;
        delete image;
    }
    return held;
}

bool BitmapStorage::Retain(LICE_IBitmap* image) {
    if (!image) return false;
    Entry* e = new Entry{kNoId, image, 0};
    WDL_MutexLock lock(&mMutex);
    if (mEntries.Add(e)) return true;
    delete e; // out of memory: the image stays its holder's
    return false;
}

void BitmapStorage::Remove(LICE_IBitmap* image) {
    if (!image) return;
    bool stillHeld = false;
    {
        WDL_MutexLock lock(&mMutex);
        int found = -1;
        for (int i = 0; i < mEntries.GetSize() && found < 0; ++i) {
            const Entry* e = mEntries.Get(i);
            if (e->image == image && e->id == kNoId) found = i;
        }
        if (found < 0) return;
        mEntries.Delete(found, true);
        for (int i = 0; i < mEntries.GetSize() && !stillHeld; ++i)
            stillHeld = mEntries.Get(i)->image == image;
    }
    if (!stillHeld) delete image;
}

int BitmapStorage::NEntries() {
    WDL_MutexLock lock(&mMutex);
    return mEntries.GetSize();
}

struct FontStorage::Entry {
    int size, orientation, style;
    char fontName[IText::kMaxFontNameLen];
    LICE_IFont* font;
};

FontStorage::~FontStorage() {
    for (int i = 0; i < mEntries.GetSize(); ++i)
        delete mEntries.Get(i)->font;
    mEntries.Empty(true);
}

LICE_IFont* FontStorage::Find(const IText* text) {
    WDL_MutexLock lock(&mMutex);
    return FindLocked(text);
}

LICE_IFont* FontStorage::FindLocked(const IText* text) {
    for (int i = 0; i < mEntries.GetSize(); ++i) {
        const Entry* e = mEntries.Get(i);
        if (e->size == text->size && e->orientation == text->orientation &&
            e->style == text->style && !std::strcmp(e->fontName, text->fontName))
            return e->font;
    }
    return nullptr;
}

LICE_IFont* FontStorage::Add(LICE_IFont* font, const IText* text) {
    if (!font) return nullptr;
    Entry* e = new Entry{text->size, text->orientation, text->style, {}, font};
    std::snprintf(e->fontName, sizeof(e->fontName), "%s", text->fontName);
    LICE_IFont* held = nullptr;
    {
        WDL_MutexLock lock(&mMutex);
        held = FindLocked(text); // another thread made the same font meanwhile
        if (!held && mEntries.Add(e)) held = font;
    }
    if (held != font) { // nobody else has seen this font: it goes
        delete e;
        delete font;
    }
    return held;
}

int FontStorage::NEntries() {
    WDL_MutexLock lock(&mMutex);
    return mEntries.GetSize();
}

BitmapStorage& BitmapCache() {
    static BitmapStorage storage;
    return storage;
}

FontStorage& FontCache() {
    static FontStorage storage;
    return storage;
}

// ---- Resource names --------------------------------------------------------------------------

bool ImageResourceBaseName(const char* name, char* out, int size) {
    if (!name || !out || size <= 0) return false;
    const char* dot = std::strrchr(name, '.');
    if (strcasecmp(dot ? dot + 1 : name, "png") != 0) return false;

    const char* slash = std::strrchr(name, '/');
    const char* base = slash ? slash + 1 : name;
    const char* baseDot = std::strrchr(base, '.');
    const size_t len = baseDot ? size_t(baseDot - base) : std::strlen(base);
    if (len == 0 || len >= size_t(size)) return false;
    std::memcpy(out, base, len);
    out[len] = '\0';
    return true;
}

LICE_IBitmap* LoadImgFromResourceDir(const char* dir, const char* name) {
    char base[256], path[4096];
    if (!dir || !*dir || !ImageResourceBaseName(name, base, sizeof(base))) return nullptr;
    const int n = std::snprintf(path, sizeof(path), "%s/%s.png", dir, base);
    if (n < 0 || n >= int(sizeof(path))) return nullptr;
    return LICE_LoadPNG(path, nullptr);
}

// ---- Editor resource operations --------------------------------------------------------------

IBitmap IGraphics::LoadIBitmap(int id, const char* name, int nStates, bool framesAreHorizontal) {
    LICE_IBitmap* image = BitmapCache().Find(id);
    if (!image) image = BitmapCache().Add(OSLoadBitmap(id, name), id);
    if (!image) return IBitmap(nullptr, 0, 0, nStates, framesAreHorizontal);
    IBitmap bitmap(image, image->getWidth(), image->getHeight(), nStates, framesAreHorizontal);
    NoteImageSource(id, name, bitmap);
    return bitmap;
}

IBitmap IGraphics::ScaleBitmap(IBitmap* bitmap, int destW, int destH) {
    if (!bitmap || !bitmap->image || destW <= 0 || destH <= 0) return IBitmap();
    LICE_MemBitmap* dest = new LICE_MemBitmap(destW, destH, 4);
    LICE_ScaledBlit(dest, bitmap->image, 0, 0, destW, destH, 0.0f, 0.0f, float(bitmap->width),
                    float(bitmap->height), 1.0f, LICE_COMBINE_FILTER_BILINEAR);
    if (!BitmapCache().Add(dest, BitmapStorage::kNoId)) return IBitmap();
    return IBitmap(dest, destW, destH, bitmap->frameCount, false);
}

IBitmap IGraphics::CropBitmap(IBitmap* bitmap, IRECT* r) {
    if (!bitmap || !bitmap->image || !r || r->W() <= 0 || r->H() <= 0) return IBitmap();
    const int w = r->W(), h = r->H();
    LICE_MemBitmap* dest = new LICE_MemBitmap(w, h, 4);
    LICE_Blit(dest, bitmap->image, 0, 0, r->left, r->top, w, h, 1.0f, LICE_COMBINE_COPY);
    if (!BitmapCache().Add(dest, BitmapStorage::kNoId)) return IBitmap();
    return IBitmap(dest, w, h, bitmap->frameCount, false);
}

void IGraphics::RetainBitmap(IBitmap* bitmap) {
    if (bitmap) BitmapCache().Retain(bitmap->image);
}

void IGraphics::ReleaseBitmap(IBitmap* bitmap) {
    if (bitmap) BitmapCache().Remove(bitmap->image);
}

namespace {

char FontQuality(int quality) {
    switch (quality) {
    case IText::kQualityDefault:
        return DEFAULT_QUALITY;
    case IText::kQualityAntiAliased:
    case IText::kQualityClearType:
        return ANTIALIASED_QUALITY;
    default:
        return NONANTIALIASED_QUALITY;
    }
}

HFONT MakeFont(const IText* t, int height) {
    return CreateFont(height, 0, t->orientation * 10, t->orientation * 10,
                      t->style == IText::kStyleBold ? FW_BOLD : FW_NORMAL,
                      t->style == IText::kStyleItalic, 0, 0, 0, 0, 0, FontQuality(t->quality), 0,
                      t->fontName);
}

} // namespace

namespace {

// The raster font measures and renders through one bitmap shared by every font of the process,
// so fonts are made (and discarded) one at a time.
WDL_Mutex& FontMakingMutex() {
    static WDL_Mutex mutex;
    return mutex;
}

// A new font for the style, handed to the cache; the font the cache holds for the style, or null.
LICE_IFont* MakeCachedFont(const IText* text) {
    LICE_CachedFont* made = new LICE_CachedFont;
    int height = text->size > 2 ? text->size : 2;
    for (int attempt = 0; attempt < 2; ++attempt) {
        HFONT hfont = MakeFont(text, height);
        if (!hfont) {
            delete made;
            return nullptr;
        }
        made->SetFromHFont(hfont, FONT_OWNS_HFONT | FONT_PREFER_NATIVE);
        // The platform's line height may differ from the height asked for: ask once more at the
        // height that should give the wanted line height. A zero line height gives nothing to
        // scale by, so the first font is kept.
        const int lineHeight = made->GetLineHeight();
        if (attempt > 0 || lineHeight == height || lineHeight <= 0) break;
        const double square = text->size < 2 ? 4.0 : double(text->size) * text->size;
        height = int(square / lineHeight + 0.5);
        if (height < 2) height = 2;
    }
    // Only what the cache holds is handed out: made is gone when the cache could not take it.
    return FontCache().Add(made, text);
}

} // namespace

LICE_IFont* IGraphics::CacheFont(IText* text) {
    if (!text) return nullptr;
    LICE_IFont* font = FontCache().Find(text);
    if (!font) {
        WDL_MutexLock making(&FontMakingMutex());
        font = FontCache().Find(text); // made while this thread waited
        if (!font) font = MakeCachedFont(text);
        if (!font) return nullptr;
    }
    text->cachedFont = font;
    return font;
}
