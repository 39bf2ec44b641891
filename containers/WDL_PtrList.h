// Ordered list of pointers. Get() outside the list gives null; removal shifts later entries down.
// The list does not own its pointers unless a removal or Empty() is asked to delete them.
#pragma once

#include "containers/WDL_HeapBuf.h"

#include <climits>
#include <cstring>

template <class T>
class WDL_PtrList {
public:
    explicit WDL_PtrList(int granularity = 4096) : m_hb(granularity) {}

    T** GetList() const { return static_cast<T**>(m_hb.Get()); }
    int GetSize() const { return m_hb.GetSize() / static_cast<int>(sizeof(T*)); }
    T* Get(int i) const { return i >= 0 && i < GetSize() ? GetList()[i] : nullptr; }

    // Appends p; returns p, or null when the list could not grow.
    [[nodiscard]] T* Add(T* p) { return Insert(GetSize(), p); }

    // Inserts p before index i (clamped into 0..size); returns p, or null when out of memory.
    [[nodiscard]] T* Insert(int i, T* p) {
        int n = GetSize();
        if (n >= INT_MAX / static_cast<int>(sizeof(T*)) - 1) return nullptr;
        if (i < 0) i = 0;
        if (i > n) i = n;
        T** list = static_cast<T**>(m_hb.Resize((n + 1) * static_cast<int>(sizeof(T*)), false));
        if (!list) return nullptr;
        std::memmove(list + i + 1, list + i, static_cast<size_t>(n - i) * sizeof(T*));
        list[i] = p;
        return p;
    }

    void Set(int i, T* p) {
        if (i >= 0 && i < GetSize()) GetList()[i] = p;
    }

    int Find(const T* p) const {
        for (int i = 0; i < GetSize(); ++i)
            if (GetList()[i] == p) return i;
        return -1;
    }

    // Removes entry i, deleting the object when wantDelete (with delfunc when given).
    void Delete(int i, bool wantDelete = false, void (*delfunc)(T*) = nullptr) {
        int n = GetSize();
        if (i < 0 || i >= n) return;
        T** list = GetList();
        T* p = list[i];
        std::memmove(list + i, list + i + 1, static_cast<size_t>(n - i - 1) * sizeof(T*));
        m_hb.Shrink((n - 1) * static_cast<int>(sizeof(T*)));
        if (wantDelete && p) Destroy(p, delfunc);
    }

    // Removes every entry, deleting the objects when wantDelete (last entry first).
    void Empty(bool wantDelete = false, void (*delfunc)(T*) = nullptr) {
        if (wantDelete) {
            for (int i = GetSize() - 1; i >= 0; --i) {
                T* p = GetList()[i];
                m_hb.Shrink(i * static_cast<int>(sizeof(T*)));
                if (p) Destroy(p, delfunc);
            }
        }
        m_hb.Shrink(0, true);
    }

private:
    static void Destroy(T* p, void (*delfunc)(T*)) {
        if (delfunc)
            delfunc(p);
        else
            delete p;
    }

    WDL_HeapBuf m_hb;
};
