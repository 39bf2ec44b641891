// A WDL_HeapBuf holding an array of one trivially copyable element type; sizes in elements.
#pragma once

#include "containers/WDL_HeapBuf.h"

#include <algorithm>
#include <climits>
#include <type_traits>

template <class T>
class WDL_TypedBuf {
    static_assert(std::is_trivially_copyable<T>::value, "elements are moved as raw bytes");

public:
    explicit WDL_TypedBuf(int granularity = 4096) : m_hb(granularity) {}

    T* Get() const { return static_cast<T*>(m_hb.Get()); }
    int GetSize() const { return m_hb.GetSize() / static_cast<int>(sizeof(T)); }

    // Sets the size to n elements and returns the data (null for 0). A size whose byte count
    // does not fit in 32 bits fails like an allocation: the buffer is left as it was.
    T* Resize(int n, bool shrink = true) {
        if (n > INT_MAX / static_cast<int>(sizeof(T))) return Get();
        return static_cast<T*>(m_hb.Resize(n * static_cast<int>(sizeof(T)), shrink));
    }

    // Appends n elements (copied from data when it is not null); returns where they start, or
    // null when the buffer could not grow.
    T* Add(const T* data, int n) {
        int old = GetSize();
        if (n <= 0 || n > INT_MAX / static_cast<int>(sizeof(T)) - old) return nullptr;
        Resize(old + n, false);
        if (GetSize() != old + n) return nullptr;
        T* at = Get() + old;
        if (data) std::copy(data, data + n, at);
        return at;
    }

    const WDL_HeapBuf& Heap() const { return m_hb; }

private:
    WDL_HeapBuf m_hb;
};
