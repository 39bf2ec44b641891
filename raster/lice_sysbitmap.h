// A bitmap whose pixels live in a GDI memory context, so that the platform can draw text into
// it and put it on screen directly (the editor's back buffer, the font's rendering surfaces).
//
// Rows are a multiple of 4 pixels wide; the context only grows: a smaller resize keeps it and
// its contents, a larger one replaces it with a fresh, zeroed one. Allocation failure leaves a
// 0 x 0 bitmap with null bits. Used by one thread at a time.
#pragma once

#include "raster/lice_bitmap.h"

class LICE_SysBitmap : public LICE_IBitmap {
public:
    LICE_SysBitmap(int w = 0, int h = 0);
    ~LICE_SysBitmap() override;
    LICE_SysBitmap(const LICE_SysBitmap&) = delete;
    LICE_SysBitmap& operator=(const LICE_SysBitmap&) = delete;

    LICE_pixel* getBits() override { return m_bits; }
    int getWidth() override { return m_width; }
    int getHeight() override { return m_height; }
    // The allocated width, at least the width.
    int getRowSpan() override { return m_allocw; }
    bool resize(int w, int h) override;
    // The memory context holding the pixels (owned), or null without storage.
    HDC__* getDC() override { return m_dc; }

private:
    int m_width = 0;
    int m_height = 0;
    HDC__* m_dc = nullptr;
    LICE_pixel* m_bits = nullptr;
    int m_allocw = 0;
    int m_alloch = 0;
};
