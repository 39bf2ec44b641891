// The process-wide caches behind IGraphics's resources, and the resolution of image
// resource names.
//
// Images (loaded, scaled, cropped or retained) and fonts live from first use until the process
// unloads the plug-in; nothing is evicted. Each cache has its own mutex, held for one search,
// insertion or removal; decoding and font creation run outside it.
//
// Nothing a cache hands out is freed under its holder. An image found by its resource id may be
// held by any editor of the process, on any thread, with no count of its holders: it stays until
// the cache goes. Only images without an id (scaled, cropped or retained ones, which only their
// maker holds) are destroyed on release. A font is never removed once it is handed out.
#pragma once

#include "containers/WDL_Mutex.h"
#include "containers/WDL_PtrList.h"

class LICE_IBitmap;
class LICE_IFont;
struct IText;

class BitmapStorage {
public:
    static constexpr int kNoId = -1; // images that have no resource id

    BitmapStorage() = default;
    ~BitmapStorage(); // destroys every image once, however many entries hold it
    BitmapStorage(const BitmapStorage&) = delete;
    BitmapStorage& operator=(const BitmapStorage&) = delete;

    // The image of the first entry with this id and variant, or null. kNoId finds nothing. The
    // image stays valid until the cache is destroyed. Variant 0 is the resource as loaded; an
    // editor keeps its scaled copies of the same resource as other variants (the scale in
    // hundredths).
    LICE_IBitmap* Find(int resourceId, int variant = 0);
    // Takes ownership of image and returns the image the cache now holds for resourceId and
    // variant: image itself, or, when another thread added one for the same key first, that one
    // (image is destroyed). Null, with image destroyed, when the cache cannot grow; null for a null
    // image.
    LICE_IBitmap* Add(LICE_IBitmap* image, int resourceId, int variant = 0);
    // An entry without an id for an image its holder hands over (it may already be held);
    // false, with the image left to its holder, when the cache cannot grow.
    bool Retain(LICE_IBitmap* image);
    // Removes the first entry without an id that holds image and destroys the image unless
    // another entry still holds it. An image held under a resource id is shared and stays.
    void Remove(LICE_IBitmap* image);
    int NEntries();

private:
    struct Entry {
        int id;
        LICE_IBitmap* image;
        int variant;
    };
    WDL_PtrList<Entry> mEntries{64};
    WDL_Mutex mMutex;
};

class FontStorage {
public:
    FontStorage() = default;
    ~FontStorage();
    FontStorage(const FontStorage&) = delete;
    FontStorage& operator=(const FontStorage&) = delete;

    // The font of the first entry whose size, orientation, style and (case-sensitive) font
    // name equal the text style's, or null. Colours and alignment are not part of the key.
    LICE_IFont* Find(const IText* text);
    // Takes ownership of font and returns the font the cache now holds for the text style's key:
    // font itself, or the one another thread added first (font is destroyed). Null, with font
    // destroyed, when the cache cannot grow: a font nobody owns must not be handed out.
    LICE_IFont* Add(LICE_IFont* font, const IText* text);
    int NEntries();

private:
    struct Entry;
    LICE_IFont* FindLocked(const IText* text);
    WDL_PtrList<Entry> mEntries{64};
    WDL_Mutex mMutex;
};

// The caches of the process, made on first use (after the GDI layer's own globals, so they are
// destroyed before them).
BitmapStorage& BitmapCache();
FontStorage& FontCache();

// The base name of an image resource: name's last path component without its extension, into
// out (size bytes). False for a null name, a name whose extension (the text after its last dot,
// or the whole name without one) is not "png" in some case, or a base that does not fit.
bool ImageResourceBaseName(const char* name, char* out, int size);

// Decodes base.png from the Resources folder of the loaded bundle with identifier bundleId;
// null when there is no such bundle or resource, or it is not a PNG. New image, caller owns.
LICE_IBitmap* LoadImgFromResourceOSX(const char* bundleId, const char* name);
// The same from a plain folder holding the images (a build tree's resources/img).
LICE_IBitmap* LoadImgFromResourceDir(const char* dir, const char* name);
