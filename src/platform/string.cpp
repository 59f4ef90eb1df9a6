#include "platform/string.h"

#include "platform/allocator.h"

#include <cstring>

String::String() : data(nullptr), length(0), capacity(0) {}

String::String(const char* text) : data(nullptr), length(0), capacity(0) {
    if (!text) return;
    size_t n = std::strlen(text);
    if (n >= (size_t)INT32_MAX) outOfMemory();
    length = capacity = (int32_t)n + 1;
    data = (char*)gAllocator->realloc(nullptr, length);
    std::memcpy(data, text, (size_t)length);
}

String::String(const String& other) : data(nullptr), length(other.length), capacity(other.length) {
    if (length > 0) {
        data = (char*)gAllocator->realloc(nullptr, length);
        std::memcpy(data, other.data, (size_t)length);
    }
}

String::~String() { release(); }

String& String::assign(const String& source) {
    if (!tryAssign(source)) outOfMemory();
    return *this;
}

bool String::tryAssign(const char* text) {
    if (!text) return tryAssign(nullptr, 0);
    const size_t n = std::strlen(text);
    if (n >= (size_t)INT32_MAX) return false;
    return tryAssign(text, (int32_t)n + 1);
}

bool String::tryAssign(const char* text, int32_t n) {
    if (text == data) return true;
    if (n != length) {
        char* resized = (char*)gAllocator->tryRealloc(data, n);
        if (!resized && n > 0) return false;
        data = resized;
        length = capacity = n;
    }
    if (n > 0) std::memcpy(data, text, (size_t)n);
    return true;
}

void String::append(const char* text) {
    if (!text || !*text) return;
    size_t k = std::strlen(text);
    int32_t growth = (int32_t)k + (length > 0 ? 0 : 1);
    if (k >= (size_t)INT32_MAX || growth > INT32_MAX - capacity) outOfMemory();
    int32_t offset = length > 0 ? length - 1 : 0;
    capacity += growth;
    data = (char*)gAllocator->realloc(data, capacity);
    std::memcpy(data + offset, text, k + 1);
    length = capacity;
}

String String::concat(const char* text) const {
    String temporary(*this);
    temporary.append(text);
    return String(temporary);
}

String String::substring(int32_t count, int32_t start) const {
    if ((int64_t)start + count > length) count = length - start;
    if (count < 0) count = 0;
    char* scratch = (char*)gAllocator->realloc(nullptr, count + 1);
    if (count > 0) std::memcpy(scratch, data + start, (size_t)count);
    scratch[count] = '\0';
    String result;
    result.length = result.capacity = count + 1;
    result.data = (char*)gAllocator->realloc(nullptr, result.length);
    std::memcpy(result.data, scratch, (size_t)result.length);
    gAllocator->free(scratch);
    return result;
}

String String::withoutExtension() const {
    for (int32_t i = length - 1; i >= 0; --i) {
        char c = data[i];
        if (c == '\\' || c == '/') break;
        if (c == '.') return substring(i, 0);
    }
    return String(*this);
}

String String::fileName() const {
    if (length <= 1) return String(*this);
    const char* cut = std::strrchr(data, '\\');
    if (!cut) cut = std::strrchr(data, '/');
    if (cut) return String(cut + 1);
    return String(*this);
}

void String::release() {
    gAllocator->free(data);
    data = nullptr;
}
