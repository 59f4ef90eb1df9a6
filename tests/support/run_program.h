#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ProgramRun {
    int exitCode;        // 0 to 255 as a POSIX shell reports it (-1 is 255); -1000: no normal exit, or a hang
    std::string output;  // standard output byte for byte (stderr too with mergeErrors)
    long peakKiB;        // the largest peak resident memory of all programs run so far (POSIX only)
    std::string errors = "";  // standard error without mergeErrors (POSIX only)
    int signal = 0;           // the signal that ended it (POSIX only)
};
// Faults to meet on POSIX: a file-size limit in bytes, SIGXFSZ at its default or ignored, a signal after some seconds.
struct RunFaults { long long fileSize = -1; bool ignoreFileSizeSignal = false; int signal = 0; double after = 0; };

// Whether a child may run under a memory limit: not on Windows, nor where the sanitizer reserves terabytes.
#if defined(_WIN32) || defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryLimits = false;
#elif defined(__has_feature)
constexpr bool kMemoryLimits = !__has_feature(address_sanitizer);
#else
constexpr bool kMemoryLimits = true;
#endif

// Runs program in dir as a script would: no terminal, standard input empty, standard output not a terminal. On
// POSIX, addressSpace > 0 limits its memory, stackKiB > 0 its stack, and two minutes of processor time or four of
// waiting end a hang; its output goes to files outside dir, so that dir holds only what the program leaves.
ProgramRun runProgram(const std::string& program, const std::string& dir, const std::vector<std::string>& args,
                      bool mergeErrors = false, uint64_t addressSpace = 0, long stackKiB = 0, RunFaults faults = {});

// The line end of text-mode output ("\r\n" on Windows): native() puts it for each '\n', fromNative() undoes that.
extern const char* const kNativeLineEnd;
std::string native(std::string text);
std::string fromNative(std::string text);
