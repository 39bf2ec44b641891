// Golden-image comparison for editor snapshots: PNG files under tests/editor/golden, rewritten
// only when ZERUB_UPDATE_GOLDEN=1; a mismatch writes the snapshot and a difference map next to
// the test program.
#pragma once

#include "raster/lice.h"

#include <string>

// How many pixels of two pictures differ; -1 when their sizes do.
inline int CountDifferentPixels(LICE_IBitmap* a, LICE_IBitmap* b) {
    if (a->getWidth() != b->getWidth() || a->getHeight() != b->getHeight()) return -1;
    int n = 0;
    for (int y = 0; y < a->getHeight(); ++y)
        for (int x = 0; x < a->getWidth(); ++x)
            n += LICE_GetPixel(a, x, y) != LICE_GetPixel(b, x, y);
    return n;
}

// Writes 8-bit RGBA (straight alpha); false on any failure.
bool WritePNG(const std::string& path, LICE_IBitmap* bm);

// Compares bm with golden/<name>.png. Empty on a match (or after rewriting the golden image),
// else a description of the difference.
std::string CompareWithGolden(const std::string& name, LICE_IBitmap* bm);
