#pragma once
#include "platform/allocator.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

// Owning growable run of fixed-size records. Elements move bytewise when the
// storage grows; release frees the storage without destroying elements, so
// owners of elements that own storage destroy those first.
template <typename T>
struct Array {
    T* items;
    int32_t count;
    int32_t capacity;

    Array() : items(nullptr), count(0), capacity(0) {}

    // A deep copy sized exactly.
    Array(const Array& other) : items(nullptr), count(other.count), capacity(other.count) {
        if (count <= 0) return;
        items = (T*)gAllocator->realloc(nullptr, bytes(count));
        if (std::is_trivially_copyable<T>::value) {
            std::memcpy((void*)items, (const void*)other.items, (size_t)bytes(count));
        } else {
            for (int32_t i = 0; i < count; ++i) new (&items[i]) T(other.items[i]);
        }
    }
    Array& operator=(const Array&) = delete;

    ~Array() { release(); }

    // Appends a copy of element; returns its index. Capacity grows to
    // n + 3n/8 + 32 when the new count n exceeds it.
    int32_t push(const T& element) {
        if (count == INT32_MAX) outOfMemory();
        int32_t n = count + 1;
        if (n > capacity) {
            int64_t grown = (int64_t)n + (3 * (int64_t)n) / 8 + 32;
            if (grown > INT32_MAX) grown = INT32_MAX;
            // The element may live inside the block that moves.
            alignas(T) unsigned char copy[sizeof(T)];
            std::memcpy(copy, (const void*)&element, sizeof(T));
            items = (T*)gAllocator->realloc(items, bytes(grown));
            capacity = (int32_t)grown;
            count = n;
            new (&items[n - 1]) T(*reinterpret_cast<const T*>(copy));
            return n - 1;
        }
        count = n;
        new (&items[n - 1]) T(element);
        return n - 1;
    }

    // Appends a zeroed element and returns it, for records filled in place.
    T& pushCleared() {
        if (count == INT32_MAX) outOfMemory();
        if (count == capacity) {
            int64_t n = (int64_t)count + 1;
            int64_t grown = n + (3 * n) / 8 + 32;
            if (grown > INT32_MAX) grown = INT32_MAX;
            items = (T*)gAllocator->realloc(items, bytes(grown));
            capacity = (int32_t)grown;
        }
        T* element = &items[count++];
        std::memset((void*)element, 0, sizeof(T));
        return *element;
    }

    // Sets count to exactly n. Added records read as zero.
    void resize(int32_t n) {
        if (n < 0) n = 0;
        if (n != count) {
            int32_t oldBytes = items ? bytes(capacity < count ? capacity : count) : 0;
            items = (T*)gAllocator->reallocZeroed(items, oldBytes, bytes(n));
            capacity = n;
            count = 0;
        }
        if (n > 0) count = n;
    }

    // Makes room for n elements; the elements held stay, added room reads
    // zero. Storage kept from use to use grows only here.
    void reserve(int32_t n) {
        if (capacity >= n) return;
        const int32_t held = count;
        resize(n);
        count = held;
    }

    void release() {
        gAllocator->free(items);
        items = nullptr;
    }

    T& operator[](int32_t i) { return items[i]; }
    const T& operator[](int32_t i) const { return items[i]; }

private:
    static int32_t bytes(int64_t n) {
        int32_t size = byteSize(n, (int64_t)sizeof(T));
        if (size < 0) outOfMemory();
        return size;
    }
};
