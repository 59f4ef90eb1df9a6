#pragma once
#include "support/run_program.h"
#include "support/scratch_dir.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

// What the banner prints after its first line, and the usage text.
inline const std::string kBannerRest =
    "tarvolt converts 3ds max ASE files to Velder Engine qrv format\nversion 1.2\n\n";
inline const std::string kUsage =
    "usage: tarvolt [OPTION] FILE\n\n"
    "   -o\t          optimize mesh data (recommended)\n"
    "   -l <string>    lightmap name suffix\n";
inline const std::string kPrompt = "\npress any key...\n";

// One triangle named "Box" with one textured material and a second texture
// channel, so it gets a lightmap name.
inline std::string triangleAse() { return readBytes(TARVOLT_TEST_DATA "/app/triangle.ase"); }

// The Scene lives until the process ends by design; a leak-checking build
// must not count that as a failed run.
inline void allowSceneAtExit() {
#if !defined(_WIN32)
    const char* options = getenv("ASAN_OPTIONS");
    std::string merged = std::string(options ? options : "") + ":detect_leaks=0";
    setenv("ASAN_OPTIONS", merged.c_str(), 1);
#endif
}

struct RunResult {
    int exitCode;        // 255 for -1; -1000 when the process did not exit normally
    std::string output;  // standard output after the banner's first line, lines ending in '\n'
};

// Runs the real binary in dir as a script would: no terminal, stdin empty,
// stdout captured. addressSpace > 0 limits the process's memory (POSIX only).
// The platform's line ends in the output become '\n'.
inline RunResult runTarvolt(const std::string& dir, std::vector<std::string> args,
                            uint64_t addressSpace = 0) {
    allowSceneAtExit();
    ProgramRun run = runProgram(TARVOLT_BINARY, dir, args, false, addressSpace);
    std::string out = fromNative(run.output);
    std::string::size_type firstLine = out.find('\n');
    out = firstLine == std::string::npos ? "<no banner>" + out : out.substr(firstLine + 1);
    return {run.exitCode, out};
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}
