#include "raster/lice_bitmap.h"

#include <cstdlib>

namespace {

LICE_MemBitmap::ReallocFn s_realloc = realloc;

int lineAlignMask(unsigned int linealign) {
    if (linealign < 2) return 0;
    const unsigned int mask = (linealign & (0u - linealign)) - 1;
    return mask > 16 ? 16 : (int)mask;
}

} // namespace

void LICE_MemBitmap::SetReallocForTesting(ReallocFn fn) {
    s_realloc = fn ? fn : realloc;
}

LICE_MemBitmap::LICE_MemBitmap(int w, int h, unsigned int linealign)
    : m_linealign(lineAlignMask(linealign)) {
    if (w > 0 && h > 0) LICE_MemBitmap::resize(w, h);
}

LICE_MemBitmap::~LICE_MemBitmap() {
    free(m_fb);
}

LICE_pixel* LICE_MemBitmap::getBits() {
    if (!m_fb) return nullptr;
    const uintptr_t p = ((uintptr_t)m_fb + 63) & ~(uintptr_t)63;
    return (LICE_pixel*)p;
}

bool LICE_MemBitmap::resize(int w, int h) {
    if (w == m_width && h == m_height) return false;
    m_width = w;
    m_height = h;

    // 64-bit so that a huge request cannot wrap into a small positive size.
    const long long span = ((long long)w + m_linealign) & ~(long long)m_linealign;
    const long long need = w > 0 && h > 0 ? (long long)h * span * 4 : 0;
    if (need > 0 && need <= 0x7fffffffLL - 63) {
        const int needBytes = (int)need;
        if (m_fb && m_allocsize >= needBytes) return true;
        if (m_fb) {
            long long grown = need + need / 4;
            if (grown > 0x7fffffffLL - 63) grown = need;
            m_allocsize = (int)grown;
            void* p = s_realloc(m_fb, (size_t)m_allocsize + 63);
            if (!p) {
                // Growing in place failed: give the old block back and try the bare need.
                free(m_fb);
                m_allocsize = needBytes;
                p = s_realloc(nullptr, (size_t)m_allocsize + 63);
            }
            m_fb = p;
        } else {
            m_allocsize = needBytes;
            m_fb = s_realloc(nullptr, (size_t)m_allocsize + 63);
        }
        if (!m_fb) {
            m_allocsize = 0;
            m_width = m_height = 0;
        }
        return true;
    }

    free(m_fb);
    m_fb = nullptr;
    m_allocsize = 0;
    m_width = m_height = 0;
    return true;
}
