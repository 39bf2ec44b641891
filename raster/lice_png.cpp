// PNG decoding through libpng into straight-alpha pixel words.
#include "raster/lice.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>

namespace {

// Images beyond this many pixels per side are refused before anything is allocated for them.
const png_uint_32 kMaxSide = 16384;
// Ancillary chunks (text, profiles) are buffered whole: a few bytes of file may claim a gigabyte.
const png_alloc_size_t kMaxChunkBytes = 8 << 20;

// Errors unwind to the decoder's jump point without printing; warnings are ignored.
void silentError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void silentWarning(png_structp, png_const_charp) {}

struct MemSource {
    const unsigned char* p;
    int remaining;
};

// Reading past the end is an error at once. (Handing out zeros instead would let a damaged
// chunk length make the decoder skip through gigabytes of them before failing.)
void readMemory(png_structp png, png_bytep out, png_size_t n) {
    MemSource* src = (MemSource*)png_get_io_ptr(png);
    memset(out, 0, n);
    const size_t take = n < (size_t)src->remaining ? n : (size_t)src->remaining;
    memcpy(out, src->p, take);
    src->p += take;
    src->remaining -= (int)take;
    if (take < n) png_error(png, "read past the end of the data");
}

// Everything a decode owns, released in one place on success and on every error path.
struct Decode {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytep* rows = nullptr;
    LICE_IBitmap* created = nullptr;

    ~Decode() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        free(rows);
        delete created;
    }
};

// Runs under the jump point set by decode(); any libpng error longjmps back there. Only the
// Decode record, which outlives the jump, is written.
__attribute__((noinline)) LICE_IBitmap* decodeBody(Decode& d, LICE_IBitmap* bmp) {
    png_structp png = d.png;
    png_infop info = d.info;
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    // Text, profiles and the like are never used: skipped unread, they cannot cost anything.
    static const png_byte kIgnored[] = "iCCP\0iTXt\0tEXt\0zTXt\0sPLT\0eXIf\0pCAL\0sCAL\0hIST\0tIME";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnored, sizeof kIgnored / 5);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);

    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(png);
        type |= PNG_COLOR_MASK_ALPHA;
    }
    if (depth == 16) png_set_strip_16(png);
    if (depth < 8) png_set_packing(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (type & PNG_COLOR_MASK_ALPHA)
        png_set_swap_alpha(png);
    else
        png_set_filler(png, 0xff, PNG_FILLER_BEFORE);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // Every row must now be width pixels of A, R, G, B; anything else would overrun the rows.
    if (png_get_rowbytes(png, info) != (png_size_t)width * 4) return nullptr;

    LICE_IBitmap* target = bmp;
    if (target) {
        target->resize((int)width, (int)height);
    } else {
        target = d.created = new (std::nothrow) LICE_MemBitmap((int)width, (int)height, 4);
        if (!target) return nullptr;
    }
    if (target->getWidth() != (int)width || target->getHeight() != (int)height ||
        !target->getBits())
        return nullptr;

    d.rows = (png_bytep*)malloc(sizeof(png_bytep) * height);
    if (!d.rows) return nullptr;
    const int span = target->getRowSpan();
    LICE_pixel* bits = target->getBits();
    for (png_uint_32 i = 0; i < height; ++i) {
        const png_uint_32 memRow = target->isFlipped() ? height - 1 - i : i;
        d.rows[i] = (png_bytep)(bits + (size_t)memRow * span);
    }
    png_read_image(png, d.rows);

    for (png_uint_32 i = 0; i < height; ++i) {
        unsigned char* p = d.rows[i];
        LICE_pixel* out = (LICE_pixel*)p;
        for (png_uint_32 x = 0; x < width; ++x, p += 4)
            out[x] = ((LICE_pixel)p[0] << 24) | ((LICE_pixel)p[1] << 16) | ((LICE_pixel)p[2] << 8) |
                     p[3];
    }
    d.created = nullptr; // handed to the caller
    return target;
}

// Drives one decode from either input; on any error everything made here is released.
LICE_IBitmap* decode(FILE* fp, MemSource* mem, LICE_IBitmap* bmp) {
    Decode d;
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, silentError, silentWarning);
    if (!d.png) return nullptr;
    d.info = png_create_info_struct(d.png);
    if (!d.info) return nullptr;
    if (setjmp(png_jmpbuf(d.png))) return nullptr;
    if (fp)
        png_init_io(d.png, fp);
    else
        png_set_read_fn(d.png, mem, readMemory);
    return decodeBody(d, bmp);
}

bool (*s_bundlePath)(char* buf, int bufsize) = nullptr;

} // namespace

LICE_IBitmap* LICE_LoadPNG(const char* filename, LICE_IBitmap* bmp) {
    if (!filename) return nullptr;
    FILE* fp = fopen(filename, "rb");
    if (!fp) return nullptr;
    LICE_IBitmap* out = decode(fp, nullptr, bmp);
    fclose(fp);
    return out;
}

LICE_IBitmap* LICE_LoadPNGFromMemory(const void* data, int len, LICE_IBitmap* bmp) {
    if (!data || len < 8 || png_sig_cmp((png_const_bytep)data, 0, 8)) return nullptr;
    MemSource src = {(const unsigned char*)data, len};
    return decode(nullptr, &src, bmp);
}

void LICE_SetMainBundlePathFunc(bool (*fn)(char* buf, int bufsize)) {
    s_bundlePath = fn;
}

LICE_IBitmap* LICE_LoadPNGFromNamedResource(const char* name, LICE_IBitmap* bmp) {
    if (!name || strlen(name) > 400 || !s_bundlePath) return nullptr;
    char path[1536 + 32 + 402];
    if (!s_bundlePath(path, 1536)) return nullptr;
    path[1535] = 0;
    const size_t used = strlen(path);
    snprintf(path + used, sizeof path - used, "/Contents/Resources/%s", name);
    return LICE_LoadPNG(path, bmp);
}

LICE_IBitmap* LICE_LoadPNGFromResource(void*, const char*, LICE_IBitmap*) {
    return nullptr;
}

namespace {

// The loader's extension test: the text from the last '.', '/' or '\' must be ".png".
bool hasPngExtension(const char* name) {
    const char* p = name + strlen(name);
    while (p > name && p[-1] != '.' && p[-1] != '/' && p[-1] != '\\')
        --p;
    return p > name && p[-1] == '.' && !strcasecmp(p - 1, ".png");
}

LICE_IBitmap* loaderLoad(const char* filename, bool checkFileName, LICE_IBitmap* bmp) {
    if (!filename || (checkFileName && !hasPngExtension(filename))) return nullptr;
    return LICE_LoadPNG(filename, bmp);
}

const char* loaderExtensions() {
    return "PNG files (*.PNG)\0*.PNG\0";
}

// The PNG entry of the loader list, pushed at program start.
struct LICE_pngldr {
    LICE_ImageLoaderRec rec;
    LICE_pngldr() : rec{loaderLoad, loaderExtensions, LICE_ImageLoader_list} {
        LICE_ImageLoader_list = &rec;
    }
};

} // namespace

LICE_ImageLoaderRec* LICE_ImageLoader_list = nullptr;

namespace {
LICE_pngldr s_pngLoader;
}

namespace {

// libpng's write calls end here on an I/O error; the row buffer is the caller's.
bool encode(FILE* fp, LICE_IBitmap* bmp, unsigned char* row) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, silentError, silentWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    const int w = bmp->getWidth(), h = bmp->getHeight(), span = bmp->getRowSpan();
    png_init_io(png, fp);
    png_set_IHDR(png, info, (png_uint_32)w, (png_uint_32)h, 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const LICE_pixel* bits = bmp->getBits();
    for (int y = 0; y < h; ++y) {
        const int line = bmp->isFlipped() ? h - 1 - y : y;
        const LICE_pixel* p = bits + (size_t)line * (size_t)span;
        for (int x = 0; x < w; ++x) {
            row[4 * x] = (unsigned char)LICE_GETR(p[x]);
            row[4 * x + 1] = (unsigned char)LICE_GETG(p[x]);
            row[4 * x + 2] = (unsigned char)LICE_GETB(p[x]);
            row[4 * x + 3] = (unsigned char)LICE_GETA(p[x]);
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool LICE_WritePNG(const char* filename, LICE_IBitmap* bmp) {
    if (!filename || !bmp || !bmp->getBits() || bmp->getWidth() <= 0 || bmp->getHeight() <= 0 ||
        (png_uint_32)bmp->getWidth() > kMaxSide || (png_uint_32)bmp->getHeight() > kMaxSide)
        return false;
    unsigned char* row = new (std::nothrow) unsigned char[(size_t)bmp->getWidth() * 4];
    if (!row) return false;
    FILE* fp = fopen(filename, "wb");
    bool ok = fp && encode(fp, bmp, row);
    if (fp) ok = fclose(fp) == 0 && ok;
    delete[] row;
    if (!ok && fp) remove(filename);
    return ok;
}
