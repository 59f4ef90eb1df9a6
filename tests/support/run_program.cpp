#include "support/run_program.h"
#include <cstdio>

#if defined(_WIN32)
const char* const kNativeLineEnd = "\r\n";

ProgramRun runProgram(const std::string& program, const std::string& dir, const std::vector<std::string>& args,
                      bool mergeErrors, uint64_t, long) {
    // cmd /c drops the outermost quotes. No argument here holds '"' or ends in '\'.
    std::string command = "\"cd /d \"" + dir + "\" && \"" + program + "\"";
    for (const std::string& a : args) command += " \"" + a + "\"";
    // Under Wine, starting the shell fails now and then right after a new
    // prefix is made; that is the harness's failure, not the program's.
    FILE* pipe = nullptr;
    for (int attempt = 0; attempt < 3 && !pipe; ++attempt)
        pipe = _popen((command + " <NUL" + (mergeErrors ? " 2>&1\"" : "\"")).c_str(), "rb");
#else
#include <sys/resource.h>
#include <sys/wait.h>
const char* const kNativeLineEnd = "\n";

static std::string quoted(std::string text) {
    for (size_t at = 0; (at = text.find('\'', at)) != std::string::npos; at += 4) text.replace(at, 1, "'\\''");
    return "'" + text + "'";
}

ProgramRun runProgram(const std::string& program, const std::string& dir, const std::vector<std::string>& args,
                      bool mergeErrors, uint64_t addressSpace, long stackKiB) {
    std::string command = "ulimit -t 120";
    if (addressSpace) command += " && ulimit -v " + std::to_string(addressSpace / 1024);
    if (stackKiB) command += " && ulimit -s " + std::to_string(stackKiB);
    command += " && cd " + quoted(dir) + " && exec setsid " + quoted(program);  // setsid: no terminal
    for (const std::string& a : args) command += " " + quoted(a);
    FILE* pipe = popen((command + " </dev/null" + (mergeErrors ? " 2>&1" : "")).c_str(), "r");
#endif
    ProgramRun run = {-1000, "", 0};
    char buffer[4096];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
#if defined(_WIN32)
    int code = pipe ? _pclose(pipe) : -1000;
    run.exitCode = code == -1 ? 255 : code >= 0 && code <= 255 ? code : -1000;
#else
    int status = pipe ? pclose(pipe) : -1;
    struct rusage usage = {};
    if (status != -1 && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    if (getrusage(RUSAGE_CHILDREN, &usage) == 0) run.peakKiB = usage.ru_maxrss;
#endif
    return run;
}

std::string native(const std::string& text) {
    std::string out;
    for (char c : text) c == '\n' ? out += kNativeLineEnd : out += c;
    return out;
}

std::string fromNative(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!kNativeLineEnd[1] || text.compare(i, 2, "\r\n") != 0) out += text[i];
    return out;
}
