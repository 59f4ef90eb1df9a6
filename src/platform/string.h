#pragma once
#include <cstdint>

// Owning text. The empty String has no storage (data is null); the String of
// the empty text has storage for its terminator. Both have length 0.
struct String {
    char* data;

    String();
    // Moves only: a copy needs memory, which only the try operations ask for.
    String(String&& other);
    String(const String&) = delete;
    String& operator=(const String&) = delete;
    ~String();

    // The number of characters, without the terminator.
    int32_t length() const { return chars; }

    // Copies source; false when memory ran out, and the String stays as it was.
    bool tryAssign(const String& source) { return tryAssign(source.data, source.chars); }
    bool tryAssign(const char* text);
    // Copies count characters of text and a terminator; a null text makes
    // the empty String.
    bool tryAssign(const char* text, int32_t count);

    // Appends text; false when memory ran out, and the String stays as it was.
    bool tryAppend(const char* text);
    // Where the last component's extension begins (its '.'; length when it
    // has none), and where the file name begins (after the last '\\', or
    // else the last '/').
    static int32_t extensionStart(const char* path, int32_t length);
    static const char* fileNameStart(const char* path);
    void release();

    // The text, or "(null)" for the empty String, as the Log shows it.
    const char* printable() const { return data ? data : "(null)"; }

private:
    int32_t chars;
};
