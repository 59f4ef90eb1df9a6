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
    // assign for callers that unwind when memory runs out: false then, and
    // the String stays as it was.
    bool tryAssign(const String& source) { return tryAssign(source.data, source.length); }
    bool tryAssign(const char* text);
    String& operator=(const String& source) { return assign(source); }

    void append(const char* text);
    String concat(const char* text) const;
    String substring(int32_t count, int32_t start) const;
    String withoutExtension() const;
    String fileName() const;
    void release();

private:
    // length counts the terminator; 0 makes the empty String.
    bool tryAssign(const char* text, int32_t length);

public:
    // The text, or "(null)" for the empty String, as the Log shows it.
    const char* printable() const { return data ? data : "(null)"; }
};
