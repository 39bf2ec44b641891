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

    // Sets the size to n elements and returns the data: null for 0, or when the buffer could not
    // grow (a byte count past 32 bits fails so too), the buffer then left as it was.
    [[nodiscard]] T* Resize(int n, bool shrink = true) {
        if (n > INT_MAX / static_cast<int>(sizeof(T))) return nullptr;
        return static_cast<T*>(m_hb.Resize(n * static_cast<int>(sizeof(T)), shrink));
    }
    // Cuts the size to n elements when it is larger; cannot fail.
    void Shrink(int n, bool release = false) {
        m_hb.Shrink(std::max(n, 0) * static_cast<int>(sizeof(T)), release);
    }

    // Appends n elements (copied from data when it is not null); returns where they start, or
    // null when the buffer could not grow.
    [[nodiscard]] T* Add(const T* data, int n) {
        int old = GetSize();
        if (n <= 0 || n > INT_MAX / static_cast<int>(sizeof(T)) - old) return nullptr;
        T* all = Resize(old + n, false);
        if (!all) return nullptr;
        T* at = all + old;
        if (data) std::copy(data, data + n, at);
        return at;
    }

    const WDL_HeapBuf& Heap() const { return m_hb; }

private:
    WDL_HeapBuf m_hb;
};
