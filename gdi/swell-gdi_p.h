// Records behind the GDI handles, and the pool and text-engine helpers the layer's files share.
#pragma once

#include "gdi/swell-gdi.h"

#include <cairo.h>
#include <pango/pangocairo.h>

class WDL_Mutex;

// Font data: a Pango description plus the metrics measured when the font was made.
struct SwellFont {
    PangoFontDescription* desc;      // owned
    double ascent, descent, leading; // pixels
    int antialias;                   // 0 default, 3 off, 4 on
    float angle;                     // degrees, counter-clockwise
};

struct HGDIOBJ__ {
    int type;        // SWELL_OBJ_*
    int extraRefs;   // owners beyond the first (SWELL_CloneGDIObject)
    int color;       // pens and brushes: 0x00RRGGBB
    float alpha;     // pens and brushes
    int width;       // pens
    SwellFont* font; // fonts, owned
    bool isStock;    // static record, never deleted
    bool inPool;
    HGDIOBJ__* next; // pool link
};

struct HDC__ {
    cairo_t* cr;
    cairo_surface_t* surface;
    void* ownedBlock; // malloc'd pixels of a memory context
    void* bits;       // first pixel, inside ownedBlock
    HGDIOBJ__* pen;
    HGDIOBJ__* brush;
    HGDIOBJ__* font;
    int textColor;
    double textRGB[3];
    int bkColor;
    int bkMode;
    int clipDepth;       // pushes not yet popped
    PangoLayout* layout; // made on first text call
    bool inPool;
    HDC__* next;
};

namespace swell {

// Pool records are handed out zeroed and registered as live; Release* unregisters them and
// pools or frees them. Is*Valid accept only live, unpooled records (and stock objects).
HDC__* AllocContext();
void ReleaseContext(HDC__* ctx);
HGDIOBJ__* AllocObject(int type);
void ReleaseObject(HGDIOBJ__* obj);
bool IsContextValid(const HDC__* ctx);
bool IsObjectValid(const HGDIOBJ__* obj);

// Pango's font map and contexts are not thread-safe; every use of them holds this mutex.
WDL_Mutex& TextMutex();
// Shared font map; call with TextMutex held.
PangoFontMap* FontMap();
// The fallback font (10 pixels, default face) used when nothing is selected; made once.
const SwellFont* DefaultFont();
// Frees a font made by the text code.
void FreeFont(SwellFont* font);
// Releases the text engine's globals at unload.
void ShutdownText();

} // namespace swell
