#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ProgramRun {
    // As a POSIX shell reports it: 0 to 255, so a return of -1 is 255; -1000
    // when the program could not start or did not end by exiting.
    int exitCode;
    std::string output;  // standard output, byte for byte (stderr too with mergeErrors)
};

// The exit status that exit(-1) leaves: Windows keeps all 32 bits, POSIX
// the low byte.
#if defined(_WIN32)
constexpr int kExitMinusOne = -1;
#else
constexpr int kExitMinusOne = 255;
#endif

// Runs program in dir with args as a script would: without a terminal or
// console, standard input empty. addressSpace > 0 limits the program's memory
// (POSIX only).
ProgramRun runProgram(const std::string& program, const std::string& dir,
                      const std::vector<std::string>& args, bool mergeErrors = false,
                      uint64_t addressSpace = 0);

// The platform's line end in text written through a text-mode stream: "\r\n"
// on Windows, "\n" elsewhere. native() puts it in place of each '\n';
// fromNative() turns it back into '\n'.
extern const char* const kNativeLineEnd;
std::string native(const std::string& text);
std::string fromNative(const std::string& text);
