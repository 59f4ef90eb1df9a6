#pragma once
#include <cstdint>

// Owning text. length counts the terminator; the empty String has no storage
// and length 0, while the String of the empty text has length 1. capacity
// always equals length.
struct String {
    char* data;
    int32_t length;
    int32_t capacity;

    String();
    explicit String(const char* text);
    String(const String& other);
    ~String();

    String& assign(const String& source);
    String& operator=(const String& source) { return assign(source); }

    void append(const char* text);
    String concat(const char* text) const;
    String substring(int32_t count, int32_t start) const;
    String withoutExtension() const;
    String fileName() const;
    void release();

    // The text, or "(null)" for the empty String, as the Log shows it.
    const char* printable() const { return data ? data : "(null)"; }
};
