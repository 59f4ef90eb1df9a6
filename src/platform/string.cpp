#include "platform/string.h"

#include "platform/allocator.h"

#include <cstring>

String::String() : data(nullptr), chars(0) {}

String::String(const char* text) : data(nullptr), chars(0) {
    if (!tryAssign(text)) outOfMemory();
}

String::String(const String& other) : data(nullptr), chars(0) {
    if (!tryAssign(other)) outOfMemory();
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

void String::append(const char* text) {
    if (!tryAppend(text)) outOfMemory();
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

String String::concat(const char* text) const {
    String result(*this);
    result.append(text);
    return result;
}

String String::substring(int32_t count, int32_t start) const {
    if ((int64_t)start + count > chars) count = chars - start;
    if (count < 0) count = 0;
    String result;
    // Text that starts in storage the String owns may not outlive it: copy.
    result.data = (char*)gAllocator->realloc(nullptr, count + 1);
    if (count > 0) std::memcpy(result.data, data + start, (size_t)count);
    result.data[count] = '\0';
    result.chars = count;
    return result;
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

String String::withoutExtension() const {
    const int32_t stem = extensionStart(data, chars);
    return stem < chars ? substring(stem, 0) : String(*this);
}

String String::fileName() const { return chars == 0 ? String(*this) : String(fileNameStart(data)); }

void String::release() {
    gAllocator->free(data);
    data = nullptr;
    chars = 0;
}
