#include "raster/lice_sysbitmap.h"

#include "gdi/swell-gdi.h"

LICE_SysBitmap::LICE_SysBitmap(int w, int h) {
    LICE_SysBitmap::resize(w, h);
}

LICE_SysBitmap::~LICE_SysBitmap() {
    if (m_dc) SWELL_DeleteGfxContext(m_dc);
}

bool LICE_SysBitmap::resize(int w, int h) {
    if (w == m_width && h == m_height) return false;
    m_width = w;
    m_height = h;

    if (w > 0 && h > 0 && m_allocw >= w && m_alloch >= h && m_bits) {
        // Reuse the larger context; a flipped bitmap's rows are the last h of the block.
        if (isFlipped())
            m_bits = static_cast<LICE_pixel*>(SWELL_GetCtxFrameBuffer(m_dc)) +
                     static_cast<long>(m_alloch - h) * m_allocw;
        return true;
    }

    // Widths above INT_MAX - 3 cannot be rounded; they fail like any oversized context.
    m_allocw = w > 0 && w <= 0x7FFFFFFC ? (w + 3) & ~3 : 0;
    m_alloch = h;
    if (m_dc) SWELL_DeleteGfxContext(m_dc);
    m_dc = nullptr;
    m_bits = nullptr;
    if (h <= 0 || m_allocw <= 0) {
        // A bitmap without storage reports 0 x 0, whatever non-positive size was asked for.
        m_width = m_height = m_allocw = m_alloch = 0;
        return false;
    }
    m_dc = SWELL_CreateMemContext(nullptr, m_allocw, h);
    if (!m_dc) {
        m_width = m_height = m_allocw = m_alloch = 0;
        return true;
    }
    m_bits = static_cast<LICE_pixel*>(SWELL_GetCtxFrameBuffer(m_dc));
    return true;
}
