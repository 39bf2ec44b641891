#include "containers/WDL_HeapBuf.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

void* SystemRealloc(void* block, size_t bytes) {
    return std::realloc(block, bytes);
}

WDL_HeapBuf::ReallocFn g_realloc = SystemRealloc;

// The allocation for a request of n bytes: n plus the larger of n/2 and the granularity. Large
// granularities round the extra to whole pages (4 KiB .. 4 MiB) and the total so that
// total + 96 fills whole pages, leaving room for the allocator's own header.
int64_t GrownAllocation(int n, int granul) {
    int64_t extra = std::max<int64_t>(n / 2, granul);
    int64_t total;
    if (granul >= 4096) {
        extra = std::clamp<int64_t>(extra & ~int64_t(4095), 4096, 4 * 1024 * 1024);
        total = n + extra;
        total = ((total + 96 + 4095) & ~int64_t(4095)) - 96;
    } else {
        total = n + extra;
    }
    return total;
}

} // namespace

WDL_HeapBuf::~WDL_HeapBuf() {
    std::free(m_buf);
}

void WDL_HeapBuf::SetReallocForTesting(ReallocFn fn) {
    g_realloc = fn ? fn : SystemRealloc;
}

void* WDL_HeapBuf::Resize(int n, bool shrink) {
    n = std::max(n, 0);
    if (n > m_alloc) {
        int64_t want = GrownAllocation(n, m_granul);
        if (want > INT_MAX) want = n; // no room for slack in 32-bit sizes: take exactly n
        void* grown = g_realloc(m_buf, static_cast<size_t>(want));
        if (!grown) return nullptr;
        m_buf = grown;
        m_alloc = static_cast<int>(want);
    } else if (shrink && n < m_alloc / 2 && n < m_alloc - 4 * int64_t(m_granul)) {
        if (n == 0) {
            std::free(m_buf);
            m_buf = nullptr;
            m_alloc = 0;
        } else if (void* smaller = g_realloc(m_buf, static_cast<size_t>(n))) {
            m_buf = smaller;
            m_alloc = n;
        } // a failed shrink keeps the larger block, which still holds n bytes
    }
    m_size = n;
    return n ? m_buf : nullptr;
}

void WDL_HeapBuf::Shrink(int n, bool release) {
    if (n <= m_size) (void)Resize(n, release); // a size at or below the old one always succeeds
}
