#pragma once
#include "support/scratch_dir.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
    const char* options = getenv("ASAN_OPTIONS");
    std::string merged = std::string(options ? options : "") + ":detect_leaks=0";
    setenv("ASAN_OPTIONS", merged.c_str(), 1);
}

struct RunResult {
    int exitCode;        // 255 for -1; -1000 when the process did not exit normally
    std::string output;  // standard output after the banner's first line
};

// Runs the real binary in dir as a script would: own session (no terminal),
// stdin from /dev/null, stdout captured. addressSpace > 0 limits the
// process's memory.
inline RunResult runTarvolt(const std::string& dir, std::vector<std::string> args,
                            rlim_t addressSpace = 0) {
    allowSceneAtExit();
    std::vector<char*> argv{const_cast<char*>(TARVOLT_BINARY)};
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {-1000, ""};
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        if (addressSpace) {
            struct rlimit limit = {addressSpace, addressSpace};
            setrlimit(RLIMIT_AS, &limit);
        }
        if (chdir(dir.c_str()) == 0) execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0) out.append(buffer, (size_t)n);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    std::string::size_type firstLine = out.find('\n');
    out = firstLine == std::string::npos ? "<no banner>" + out : out.substr(firstLine + 1);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1000, out};
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}
