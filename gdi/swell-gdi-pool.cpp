// Handle pools, memory contexts, pens and brushes, object selection, colours and clipping.
#include "gdi/swell-gdi_p.h"

#include "containers/WDL_Mutex.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

namespace swell {
namespace {

constexpr int kMaxPooledContexts = 100;
constexpr int kMaxPooledObjects = 200;

// Released records wait on free lists for reuse; the live set lets every call reject handles
// that were released, pooled or never made here, instead of reading freed memory.
struct PoolState {
    WDL_Mutex mutex;
    HDC__* contexts = nullptr;
    int contextCount = 0;
    HGDIOBJ__* objects = nullptr;
    int objectCount = 0;
    std::unordered_set<const void*> live;

    ~PoolState() {
        while (contexts) {
            HDC__* next = contexts->next;
            std::free(contexts);
            contexts = next;
        }
        while (objects) {
            HGDIOBJ__* next = objects->next;
            std::free(objects);
            objects = next;
        }
    }
};

PoolState* g_pools = nullptr;
std::once_flag g_poolsOnce;

PoolState* Pools() {
    std::call_once(g_poolsOnce, [] { g_pools = new (std::nothrow) PoolState; });
    return g_pools;
}

// Frees the pools, their mutex and the text engine's globals when the program unloads.
struct SwellGdiUnloader {
    ~SwellGdiUnloader() {
        ShutdownText();
        delete g_pools;
        g_pools = nullptr;
    }
} _swellGdiUnloader;

template <class T>
T* TakeRecord(PoolState* p, T*& list, int& count) {
    T* rec = nullptr;
    if (list) {
        rec = list;
        list = rec->next;
        --count;
    } else {
        rec = static_cast<T*>(std::malloc(sizeof(T)));
        if (!rec) return nullptr;
    }
    std::memset(rec, 0, sizeof(T));
    if (!p->live.insert(rec).second) {
        std::free(rec);
        return nullptr;
    }
    return rec;
}

template <class T>
void ReturnRecord(PoolState* p, T* rec, T*& list, int& count, int limit) {
    p->live.erase(rec);
    std::memset(rec, 0, sizeof(T));
    if (count < limit) {
        rec->inPool = true;
        rec->next = list;
        list = rec;
        ++count;
    } else {
        std::free(rec);
    }
}

} // namespace

HDC__* AllocContext() {
    PoolState* p = Pools();
    if (!p) return nullptr;
    WDL_MutexLock lock(&p->mutex);
    return TakeRecord(p, p->contexts, p->contextCount);
}

void ReleaseContext(HDC__* ctx) {
    PoolState* p = g_pools;
    if (!p) { // after unload
        std::free(ctx);
        return;
    }
    WDL_MutexLock lock(&p->mutex);
    ReturnRecord(p, ctx, p->contexts, p->contextCount, kMaxPooledContexts);
}

HGDIOBJ__* AllocObject(int type) {
    PoolState* p = Pools();
    if (!p) return nullptr;
    WDL_MutexLock lock(&p->mutex);
    HGDIOBJ__* obj = TakeRecord(p, p->objects, p->objectCount);
    if (obj) obj->type = type;
    return obj;
}

void ReleaseObject(HGDIOBJ__* obj) {
    PoolState* p = g_pools;
    if (!p) { // after unload
        std::free(obj);
        return;
    }
    WDL_MutexLock lock(&p->mutex);
    ReturnRecord(p, obj, p->objects, p->objectCount, kMaxPooledObjects);
}

bool IsContextValid(const HDC__* ctx) {
    PoolState* p = g_pools;
    if (!ctx || !p) return false;
    WDL_MutexLock lock(&p->mutex);
    return p->live.count(ctx) != 0;
}

namespace {
HGDIOBJ__ g_stockPen = {SWELL_OBJ_PEN, 0, 0, 0.0f, 0, nullptr, true, false, nullptr};
HGDIOBJ__ g_stockBrush = {SWELL_OBJ_BRUSH, 0, 0, 0.0f, 0, nullptr, true, false, nullptr};
} // namespace

bool IsObjectValid(const HGDIOBJ__* obj) {
    if (obj == &g_stockPen || obj == &g_stockBrush) return true;
    PoolState* p = g_pools;
    if (reinterpret_cast<uintptr_t>(obj) < 5 || !p) return false;
    WDL_MutexLock lock(&p->mutex);
    return p->live.count(obj) != 0;
}

} // namespace swell

using namespace swell;

HDC SWELL_CreateMemContext(HDC reference, int w, int h) {
    (void)reference;
    // cairo refuses images above 32767 pixels a side; checking first keeps the byte count
    // below 2^33 and avoids allocating a block cairo would reject.
    if (w <= 0 || h <= 0 || w > 32767 || h > 32767) return nullptr;
    const size_t bytes = static_cast<size_t>(w) * 4 * static_cast<size_t>(h);
    void* block = std::calloc(1, bytes + 63);
    if (!block) return nullptr;
    void* bits =
        reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(block) + 63) & ~uintptr_t(63));

    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        static_cast<unsigned char*>(bits), CAIRO_FORMAT_RGB24, w, h, w * 4);
    cairo_t* cr = nullptr;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cr = cairo_create(surface);
        if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
            cairo_destroy(cr);
            cr = nullptr;
        }
    }
    HDC__* ctx = cr ? AllocContext() : nullptr;
    if (!ctx) {
        if (cr) cairo_destroy(cr);
        cairo_surface_destroy(surface);
        std::free(block);
        return nullptr;
    }
    // Grey antialiasing only: subpixel rendering would tint glyphs that the raster library
    // reads back channel by channel.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);

    ctx->cr = cr;
    ctx->surface = surface;
    ctx->ownedBlock = block;
    ctx->bits = bits;
    ctx->textColor = 0;
    return ctx;
}

void* SWELL_GetCtxFrameBuffer(HDC ctx) {
    if (!IsContextValid(ctx)) return nullptr;
    return ctx->bits;
}

void* SWELL_GetCtxGC(HDC ctx) {
    if (!IsContextValid(ctx)) return nullptr;
    return ctx->cr;
}

void SWELL_DeleteGfxContext(HDC ctx) {
    if (!IsContextValid(ctx)) return;
    if (ctx->layout) {
        WDL_MutexLock lock(&TextMutex());
        g_object_unref(ctx->layout);
    }
    if (ctx->cr) cairo_destroy(ctx->cr);
    if (ctx->surface) cairo_surface_destroy(ctx->surface);
    std::free(ctx->ownedBlock);
    ReleaseContext(ctx);
}

namespace {
HGDIOBJ__* MakeColorObject(int type, int color, float alpha, int width) {
    HGDIOBJ__* obj = AllocObject(type);
    if (!obj) return nullptr;
    obj->color = color & 0xFFFFFF;
    obj->alpha = alpha < 0.0f ? 0.0f : alpha > 1.0f ? 1.0f : alpha;
    obj->width = width;
    return obj;
}
} // namespace

HPEN CreatePen(int style, int width, int color) {
    return CreatePenAlpha(style, width, color, 1.0f);
}

HPEN CreatePenAlpha(int style, int width, int color, float alpha) {
    (void)style;
    return MakeColorObject(SWELL_OBJ_PEN, color, alpha, width);
}

HBRUSH CreateSolidBrush(int color) {
    return CreateSolidBrushAlpha(color, 1.0f);
}

HBRUSH CreateSolidBrushAlpha(int color, float alpha) {
    return MakeColorObject(SWELL_OBJ_BRUSH, color, alpha, 0);
}

HGDIOBJ GetStockObject(int which) {
    if (which == NULL_PEN) return &g_stockPen;
    if (which == NULL_BRUSH) return &g_stockBrush;
    return nullptr;
}

HGDIOBJ SWELL_CloneGDIObject(HGDIOBJ obj) {
    if (!IsObjectValid(obj)) return nullptr;
    if (!obj->isStock) ++obj->extraRefs;
    return obj;
}

void DeleteObject(HGDIOBJ obj) {
    if (!IsObjectValid(obj) || obj->isStock) return;
    if (obj->extraRefs > 0) {
        --obj->extraRefs;
        return;
    }
    if (obj->font) {
        WDL_MutexLock lock(&TextMutex());
        FreeFont(obj->font);
    }
    ReleaseObject(obj);
}

HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj) {
    if (!IsContextValid(ctx)) return nullptr;
    const uintptr_t value = reinterpret_cast<uintptr_t>(obj);
    int type = 0;
    if (value >= SWELL_OBJ_PEN && value <= SWELL_OBJ_FONT) {
        type = static_cast<int>(value);
        obj = nullptr; // a pseudo-handle empties its slot
    } else if (IsObjectValid(obj)) {
        type = obj->type;
    }
    HGDIOBJ__** slot = type == SWELL_OBJ_PEN     ? &ctx->pen
                       : type == SWELL_OBJ_BRUSH ? &ctx->brush
                       : type == SWELL_OBJ_FONT  ? &ctx->font
                                                 : nullptr;
    if (!slot) return nullptr;
    HGDIOBJ__* old = *slot;
    *slot = obj;
    return old ? old : reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(type));
}

void SetTextColor(HDC ctx, int color) {
    if (!IsContextValid(ctx)) return;
    ctx->textColor = color & 0xFFFFFF;
    ctx->textRGB[0] = ((color >> 16) & 0xFF) / 255.0;
    ctx->textRGB[1] = ((color >> 8) & 0xFF) / 255.0;
    ctx->textRGB[2] = (color & 0xFF) / 255.0;
}

int GetTextColor(HDC ctx) {
    return IsContextValid(ctx) ? ctx->textColor : 0;
}

void SetBkColor(HDC ctx, int color) {
    if (IsContextValid(ctx)) ctx->bkColor = color & 0xFFFFFF;
}

void SetBkMode(HDC ctx, int mode) {
    if (IsContextValid(ctx)) ctx->bkMode = mode;
}

namespace {
// Adds r, cut to the surface, to the path. cairo's 24.8 fixed point wraps far outside it, and
// an inverted rectangle is empty, as in GDI (cairo would use its mirror image).
void AddSurfaceRect(HDC__* ctx, const RECT& r) {
    const long long w = cairo_image_surface_get_width(ctx->surface);
    const long long h = cairo_image_surface_get_height(ctx->surface);
    const long long left = std::max<long long>(r.left, 0), top = std::max<long long>(r.top, 0);
    const long long right = std::min<long long>(r.right, w);
    const long long bottom = std::min<long long>(r.bottom, h);
    cairo_rectangle(ctx->cr, static_cast<double>(left), static_cast<double>(top),
                    right > left ? static_cast<double>(right - left) : 0.0,
                    bottom > top ? static_cast<double>(bottom - top) : 0.0);
}
} // namespace

void SWELL_FillRect(HDC ctx, const RECT* rect, HBRUSH brush) {
    if (!IsContextValid(ctx) || !rect || !IsObjectValid(brush) || brush->isStock ||
        brush->type != SWELL_OBJ_BRUSH)
        return;
    const int c = brush->color;
    cairo_save(ctx->cr);
    cairo_set_source_rgba(ctx->cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                          (c & 0xFF) / 255.0, brush->alpha);
    AddSurfaceRect(ctx, *rect);
    cairo_fill(ctx->cr);
    cairo_restore(ctx->cr);
}

void SWELL_PushClipRegion(HDC ctx) {
    if (!IsContextValid(ctx)) return;
    cairo_save(ctx->cr);
    ++ctx->clipDepth;
}

void SWELL_SetClipRegion(HDC ctx, const RECT* rect) {
    if (!IsContextValid(ctx) || !rect) return;
    AddSurfaceRect(ctx, *rect);
    cairo_clip(ctx->cr);
}

void SWELL_PopClipRegion(HDC ctx) {
    // A restore without a save would put the cairo context into a permanent error state.
    if (!IsContextValid(ctx) || ctx->clipDepth <= 0) return;
    cairo_restore(ctx->cr);
    --ctx->clipDepth;
}
