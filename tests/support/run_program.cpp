#include "support/run_program.h"
#include "support/scratch_dir.h"
#include <cstdio>

#if defined(_WIN32)
const char* const kNativeLineEnd = "\r\n";

ProgramRun runProgram(const std::string& program, const std::string& dir, const std::vector<std::string>& args,
                      bool mergeErrors, uint64_t, long, RunFaults) {
    // cmd /c drops the outermost quotes. No argument here holds '"' or ends in '\'.
    std::string command = "\"cd /d \"" + dir + "\" && \"" + program + "\"";
    for (const std::string& a : args) command += " \"" + a + "\"";
    // Under Wine, starting the shell fails now and then right after a new prefix is made: the harness's failure.
    FILE* pipe = nullptr;
    for (int attempt = 0; attempt < 3 && !pipe; ++attempt)
        pipe = _popen((command + " <NUL" + (mergeErrors ? " 2>&1\"" : "\"")).c_str(), "rb");
    ProgramRun run = {-1000, "", 0};
    char buffer[4096];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    int code = pipe ? _pclose(pipe) : -1000;
    run.exitCode = code == -1 ? 255 : code >= 0 && code <= 255 ? code : -1000;
    return run;
}
#else
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
const char* const kNativeLineEnd = "\n";

ProgramRun runProgram(const std::string& program, const std::string& dir, const std::vector<std::string>& args,
                      bool mergeErrors, uint64_t addressSpace, long stackKiB, RunFaults faults) {
    ScratchDir outDir;
    const std::string out = outDir / "out", err = outDir / (mergeErrors ? "out" : "err");
    std::vector<char*> argv = {(char*)program.c_str()};
    for (const std::string& a : args) argv.push_back((char*)a.c_str());
    argv.push_back(nullptr);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the Scene lives until the process ends, by design
    const pid_t child = fork();
    if (child == 0) {  // only calls safe between fork and exec
        auto limit = [](int resource, long long value) {  // -1: none
            if (const struct rlimit both = {(rlim_t)value, (rlim_t)value}; value >= 0) setrlimit(resource, &both); };
        limit(RLIMIT_AS, addressSpace ? (long long)addressSpace : -1), limit(RLIMIT_STACK, stackKiB ? stackKiB << 10 : -1);
        limit(RLIMIT_FSIZE, faults.fileSize), limit(RLIMIT_CPU, 120), limit(RLIMIT_CORE, 0);
        std::signal(SIGXFSZ, faults.ignoreFileSizeSignal ? SIG_IGN : SIG_DFL);
        const int output = open(out.c_str(), O_WRONLY | O_CREAT, 0644);
        dup2(open("/dev/null", O_RDONLY), 0), dup2(output, 1);
        dup2(mergeErrors ? output : open(err.c_str(), O_WRONLY | O_CREAT, 0644), 2);
        if (setsid() < 0 || chdir(dir.c_str()) != 0) _exit(120);  // setsid: no terminal
        execv(program.c_str(), argv.data());
        _exit(121);
    }
    if (faults.signal) std::this_thread::sleep_for(std::chrono::duration<double>(faults.after)), kill(child, faults.signal);
    int status = 0, ended = child < 0 ? -1 : 0;
    for (int waited = 0; waited < 120000 && ended == 0; ++waited)
        if ((ended = waitpid(child, &status, WNOHANG)) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (ended == 0) kill(child, SIGKILL), waitpid(child, &status, 0);  // a hang
    struct rusage usage = {};
    ProgramRun run = {ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1000, readBytes(out),
                      getrusage(RUSAGE_CHILDREN, &usage) == 0 ? usage.ru_maxrss : 0};
    run.signal = ended > 0 && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (!mergeErrors) run.errors = readBytes(err);
    return run;
}
#endif

std::string native(std::string text) {
    for (size_t at = 0; kNativeLineEnd[1] && (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, "\r");
    return text;
}

std::string fromNative(std::string text) {
    for (size_t at = 0; kNativeLineEnd[1] && (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);
    return text;
}
