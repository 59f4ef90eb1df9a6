#include "support/run_program.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#if defined(_WIN32)
const char* const kNativeLineEnd = "\r\n";

// Quoted so that the C runtime's argument parser gives back exactly arg.
static std::string quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, '\\');
    return out + "\"";
}

ProgramRun runProgram(const std::string& program, const std::string& dir,
                      const std::vector<std::string>& args, bool mergeErrors, uint64_t) {
    ProgramRun run = {-1000, ""};
    std::string commandLine = "\"" + program + "\"";
    for (const std::string& a : args) commandLine += " " + quoted(a);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = writeEnd;
    startup.hStdError = mergeErrors ? writeEnd : GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    // No console at all, as setsid leaves no terminal: a key wait could not block.
    BOOL started = CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                  DETACHED_PROCESS, nullptr, dir.c_str(), &startup, &process);
    CloseHandle(writeEnd);
    if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
    if (started) {
        char buffer[4096];
        DWORD n;
        while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) run.output.append(buffer, n);
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code))
            run.exitCode = code == 0xFFFFFFFFu ? 255 : code <= 255 ? (int)code : -1000;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return run;
}

#else
const char* const kNativeLineEnd = "\n";

ProgramRun runProgram(const std::string& program, const std::string& dir,
                      const std::vector<std::string>& args, bool mergeErrors, uint64_t addressSpace) {
    std::vector<std::string> copies(args);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& a : copies) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {-1000, ""};
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        dup2(pipeEnds[1], 1);
        if (mergeErrors) dup2(pipeEnds[1], 2);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        if (addressSpace) {
            struct rlimit limit = {(rlim_t)addressSpace, (rlim_t)addressSpace};
            setrlimit(RLIMIT_AS, &limit);
        }
        if (chdir(dir.c_str()) == 0) execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    ProgramRun run = {-1000, ""};
    if (pid < 0) {
        close(pipeEnds[0]);
        return run;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0) run.output.append(buffer, (size_t)n);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    return run;
}
#endif

std::string native(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c == '\n')
            result += kNativeLineEnd;
        else
            result += c;
    }
    return result;
}

std::string fromNative(const std::string& text) {
    const std::string end = kNativeLineEnd;
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, end.size(), end) == 0) {
            result += '\n';
            i += end.size() - 1;
        } else {
            result += text[i];
        }
    }
    return result;
}
