#include "GoldenImage.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

bool WritePNG(const std::string& path, LICE_IBitmap* bm) {
    const int w = bm->getWidth(), h = bm->getHeight();
    std::vector<unsigned char> rgba(size_t(w) * size_t(h) * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const LICE_pixel p = LICE_GetPixel(bm, x, y);
            unsigned char* o = &rgba[(size_t(y) * w + x) * 4];
            o[0] = (unsigned char)LICE_GETR(p);
            o[1] = (unsigned char)LICE_GETG(p);
            o[2] = (unsigned char)LICE_GETB(p);
            o[3] = (unsigned char)LICE_GETA(p);
        }
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(fp);
        return false;
    }
    png_init_io(png, fp);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y)
        png_write_row(png, &rgba[size_t(y) * w * 4]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(fp) == 0;
}

std::string CompareWithGolden(const std::string& name, LICE_IBitmap* bm) {
    const std::string golden =
        std::string(ZERUB_SOURCE_DIR) + "/tests/editor/golden/" + name + ".png";
    const char* update = std::getenv("ZERUB_UPDATE_GOLDEN");
    if (update && !std::strcmp(update, "1"))
        return WritePNG(golden, bm) ? std::string() : "cannot write " + golden;

    std::unique_ptr<LICE_IBitmap> expected(LICE_LoadPNG(golden.c_str()));
    if (!expected) return "missing " + golden + " (ZERUB_UPDATE_GOLDEN=1 writes it)";
    int box[4] = {0, 0, 0, 0};
    if (LICE_BitmapCmpEx(expected.get(), bm, 0xFFFFFFFFu, box) == 0) return std::string();

    // The snapshot, and a map with differing pixels red over a dimmed copy of the golden image.
    WritePNG(name + ".actual.png", bm);
    const int w = bm->getWidth(), h = bm->getHeight();
    LICE_MemBitmap diff(w, h, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const LICE_pixel a = LICE_GetPixel(expected.get(), x, y);
            const LICE_pixel b = LICE_GetPixel(bm, x, y);
            diff.getBits()[y * diff.getRowSpan() + x] =
                a == b ? (0xFF000000u | ((a >> 2) & 0x3F3F3F)) : 0xFFFF0000u;
        }
    WritePNG(name + ".diff.png", &diff);
    char text[1024];
    std::snprintf(text, sizeof(text),
                  "differs from %s in the box at (%d, %d) of %d x %d; wrote %s.actual.png and "
                  "%s.diff.png",
                  golden.c_str(), box[0], box[1], box[2], box[3], name.c_str(), name.c_str());
    return text;
}
