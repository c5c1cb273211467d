// The growable array of the OpenGL ES 2.0 back end: a count, a capacity and
// storage from the engine allocator. Capacity grows in steps (capacity +
// step - capacity % step); elements are plain data, moved with memcpy. An
// append that cannot allocate leaves the array unchanged and returns false.
#pragma once
#include <cstring>
#include <type_traits>

#include "engine/runtime/palloc.h"

namespace vornGL {

template <class T, int Step = 4> class PArray {
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved with memcpy");
    static_assert(Step > 0, "growth step");

public:
    PArray() = default;
    ~PArray() { Release(); }
    PArray(PArray const&) = delete;
    PArray& operator=(PArray const&) = delete;

    int Count() const { return m_count; }
    int Capacity() const { return m_capacity; }
    T* Data() { return m_data; }
    T const* Data() const { return m_data; }
    T& operator[](int i) { return m_data[i]; }
    T const& operator[](int i) const { return m_data[i]; }
    T* begin() { return m_data; }
    T* end() { return m_data + m_count; }
    T const* begin() const { return m_data; }
    T const* end() const { return m_data + m_count; }

    bool Append(T const& v)
    {
        if (m_count == m_capacity && !Grow(m_capacity + Step - m_capacity % Step))
            return false;
        m_data[m_count++] = v;
        return true;
    }

    // Exactly n elements, zero-filled; false (array unchanged) when out of memory.
    bool Resize(int n)
    {
        if (n < 0)
            return false;
        if (n == 0) {
            Release();
            return true;
        }
        T* p = static_cast<T*>(PAllocZ(Bytes(n)));
        if (!p)
            return false;
        if (m_data) {
            std::memcpy(static_cast<void*>(p), m_data, size_t(Bytes(m_count < n ? m_count : n)));
            PFree(m_data);
        }
        m_data = p;
        m_capacity = n;
        m_count = n;
        return true;
    }

    // Removes element i; later elements move down one place.
    void RemoveAt(int i)
    {
        if (i < 0 || i >= m_count)
            return;
        std::memmove(static_cast<void*>(m_data + i), m_data + i + 1, size_t(Bytes(m_count - i - 1)));
        --m_count;
        if (m_count == 0)
            Release();
    }

    // Index of the first element equal to v, or -1.
    int Find(T const& v) const
    {
        for (int i = 0; i < m_count; ++i)
            if (m_data[i] == v)
                return i;
        return -1;
    }

    // Frees the storage: count, capacity and storage become 0.
    void Release()
    {
        if (m_data)
            PFree(m_data);
        m_data = nullptr;
        m_count = m_capacity = 0;
    }

private:
    static int Bytes(int n) { return n * int(sizeof(T)); }

    bool Grow(int capacity)
    {
        if (capacity <= m_capacity || capacity > (0x7FFFFFFF / int(sizeof(T))))
            return false;
        T* p = static_cast<T*>(PAllocZ(Bytes(capacity)));
        if (!p)
            return false;
        if (m_data) {
            std::memcpy(static_cast<void*>(p), m_data, size_t(Bytes(m_count)));
            PFree(m_data);
        }
        m_data = p;
        m_capacity = capacity;
        return true;
    }

    T* m_data = nullptr;
    int m_count = 0;
    int m_capacity = 0;
};

// The same array holding pointers or records the holder owns.
template <class T, int Step = 4> using PObjectArray = PArray<T, Step>;

} // namespace vornGL
