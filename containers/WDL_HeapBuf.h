// Growable raw byte buffer shared by every subsystem.
//
// Growth over-allocates by half the requested size (at least the granularity) so that repeated
// appends are amortised; a failed allocation keeps the old block and the old size, so callers
// never lose data to an out-of-memory condition. Sizes are 32-bit, as in the stored layouts.
//
// Every container reports a failed allocation the same way: a growing call (Resize, Add,
// Insert) returns null, or false, and changes nothing; its result must be used. Shrinking
// cannot fail and returns nothing.
#pragma once

#include <cstddef>

class WDL_HeapBuf {
public:
    using ReallocFn = void* (*)(void* block, size_t bytes);

    explicit WDL_HeapBuf(int granularity = 4096) : m_granul(granularity) {}
    ~WDL_HeapBuf();
    WDL_HeapBuf(const WDL_HeapBuf&) = delete;
    WDL_HeapBuf& operator=(const WDL_HeapBuf&) = delete;

    void* Get() const { return m_size ? m_buf : nullptr; }
    int GetSize() const { return m_size; }
    int GetAllocated() const { return m_alloc; }
    int GetGranul() const { return m_granul; }
    void SetGranul(int granularity) { m_granul = granularity; }

    // Sets the used size to n bytes (negative counts as 0). Returns the data, or null when n is 0
    // or the buffer could not grow (its contents and size then unchanged).
    [[nodiscard]] void* Resize(int n, bool shrink = true);
    // Cuts the used size to n bytes when it is larger (never grows); release returns memory.
    void Shrink(int n, bool release = false);

    // Replaces the allocator (blocks are still released with free); tests use it to inject
    // failures. Null restores realloc.
    static void SetReallocForTesting(ReallocFn fn);

private:
    void* m_buf = nullptr;
    int m_alloc = 0;
    int m_size = 0;
    int m_granul;
};
