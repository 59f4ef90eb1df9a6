#include "platform/string.h"

#include "platform/allocator.h"

#include <cstring>

String::String() : data(nullptr), chars(0) {}

String::String(String&& other) : data(other.data), chars(other.chars) {
    other.data = nullptr;
    other.chars = 0;
}

String::~String() { release(); }

bool String::tryAssign(const char* text) {
    if (!text) return tryAssign(nullptr, 0);
    const size_t n = std::strlen(text);
    if (n >= (size_t)INT32_MAX) return false;
    return tryAssign(text, (int32_t)n);
}

bool String::tryAssign(const char* text, int32_t count) {
    if (text == data) return true;
    if (!text) {
        release();
        return true;
    }
    if (!data || count != chars) {
        char* resized = (char*)gAllocator->tryRealloc(data, count + 1);
        if (!resized) return false;
        data = resized;
        chars = count;
    }
    std::memcpy(data, text, (size_t)count);
    data[count] = '\0';
    return true;
}

bool String::tryAppend(const char* text) {
    if (!text || !*text) return true;
    const size_t k = std::strlen(text);
    if (k >= (size_t)INT32_MAX || (int32_t)k >= INT32_MAX - chars) return false;
    char* grown = (char*)gAllocator->tryRealloc(data, chars + (int32_t)k + 1);
    if (!grown) return false;
    data = grown;
    std::memcpy(data + chars, text, k + 1);
    chars += (int32_t)k;
    return true;
}

int32_t String::extensionStart(const char* path, int32_t length) {
    for (int32_t i = length - 1; i >= 0 && path[i] != '\\' && path[i] != '/'; --i)
        if (path[i] == '.') return i;
    return length;
}

const char* String::fileNameStart(const char* path) {
    const char* cut = std::strrchr(path, '\\');
    if (!cut) cut = std::strrchr(path, '/');
    return cut ? cut + 1 : path;
}

void String::release() {
    gAllocator->free(data);
    data = nullptr;
    chars = 0;
}
