#pragma once
#include "platform/allocator.h"

#include <cstdint>
#include <cstring>
#include <new>

// Owning growable run of fixed-size records. Elements move bytewise when the
// storage grows; release frees the storage without destroying elements, so
// owners of elements that own storage destroy those first.
template <typename T>
struct Array {
    T* items;
    int32_t count;
    int32_t capacity;

    Array() : items(nullptr), count(0), capacity(0) {}

    // No copies: a copy needs memory, which only the try operations ask for.
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;

    ~Array() { release(); }

    // Appends a copy of element; returns its index, or -1 when memory ran
    // out (the array stays as it was). Capacity grows to n + 3n/8 + 32 when
    // the new count n exceeds it.
    int32_t tryPush(const T& element) {
        if (count >= capacity) {
            // The element may live inside the block that moves.
            alignas(T) unsigned char copy[sizeof(T)];
            std::memcpy(copy, (const void*)&element, sizeof(T));
            if (!grow()) return -1;
            new (&items[count]) T(*reinterpret_cast<const T*>(copy));
        } else {
            new (&items[count]) T(element);
        }
        return count++;
    }

    // Appends a zeroed element and returns it, for records filled in place;
    // null when memory ran out.
    T* tryPushCleared() {
        if (count == capacity && !grow()) return nullptr;
        T* element = &items[count++];
        std::memset((void*)element, 0, sizeof(T));
        return element;
    }

    // Sets count to exactly n; added records read as zero. false when memory
    // ran out, and the array stays as it was.
    bool tryResize(int32_t n) {
        if (n < 0) n = 0;
        if (n != count) {
            const int32_t newBytes = bytes(n);
            if (newBytes < 0) return false;
            int32_t oldBytes = items ? bytes(capacity < count ? capacity : count) : 0;
            T* resized = (T*)gAllocator->tryReallocZeroed(items, oldBytes, newBytes);
            if (!resized && n > 0) return false;
            items = resized;
            capacity = n;
        }
        count = n;
        return true;
    }

    // Makes room for n elements; the elements held stay, added room reads
    // zero. Storage kept from use to use grows only here. false when memory
    // ran out.
    bool tryReserve(int32_t n) {
        if (capacity >= n) return true;
        const int32_t held = count;
        if (!tryResize(n)) return false;
        count = held;
        return true;
    }

    // Frees the storage; the array is empty afterwards.
    void release() {
        gAllocator->free(items);
        items = nullptr;
        count = capacity = 0;
    }

    T& operator[](int32_t i) { return items[i]; }
    const T& operator[](int32_t i) const { return items[i]; }

private:
    // -1 when n elements do not fit the allocator's sizes.
    static int32_t bytes(int64_t n) { return byteSize(n, (int64_t)sizeof(T)); }

    // Room for one more: capacity becomes n + 3n/8 + 32 for the new count n.
    bool grow() {
        if (count == INT32_MAX) return false;
        const int64_t n = (int64_t)count + 1;
        int64_t grown = n + (3 * n) / 8 + 32;
        if (grown > INT32_MAX) grown = INT32_MAX;
        const int32_t size = bytes(grown);
        if (size < 0) return false;
        T* moved = (T*)gAllocator->tryRealloc(items, size);
        if (!moved) return false;
        items = moved;
        capacity = (int32_t)grown;
        return true;
    }
};
