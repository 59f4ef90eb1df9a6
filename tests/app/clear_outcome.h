#pragma once
// Runs the real binary on one input and holds the run to the two outcomes a
// user may see: a pack that loads, or an ERROR line, exit code -1 and the
// reason in app.log; never a crash, a hang or a file left half written.
#include "app/run_fixture.h"
#include "qrvinfo/pack_loader.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include "support/run_program.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csignal>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define TARVOLT_TESTS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVOLT_TESTS_SANITIZED 1
#endif
#endif
#ifndef TARVOLT_TESTS_SANITIZED
#define TARVOLT_TESTS_SANITIZED 0
#endif

struct MeasuredRun {
    int exitCode;        // kExitMinusOne for -1; -1000 when killed by a signal or the watchdog
    bool hung;           // still running after the watchdog's limit
    long peakKiB;        // peak resident set size of the process
    std::string output;  // standard output
};

// Runs tarvolt with args in dir like a script would and measures its peak
// resident memory. stackKiB > 0 limits the stack. A run still going after
// limitSeconds is killed: a hang, not a timing. On Windows the run is neither
// measured nor limited (peakKiB stays 0).
#if defined(_WIN32)
inline MeasuredRun runMeasured(const std::string& dir, std::vector<std::string> args, long = 0, int = 120) {
    ProgramRun run = runProgram(TARVOLT_BINARY, dir, args);
    return MeasuredRun{run.exitCode, false, 0, run.output};
}
#else
inline MeasuredRun runMeasured(const std::string& dir, std::vector<std::string> args,
                               long stackKiB = 0, int limitSeconds = 120) {
    allowSceneAtExit();
    std::string outPath = dir + "/stdout.txt";
    std::vector<char*> argv{const_cast<char*>(TARVOLT_BINARY)};
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(out, 1);
        dup2(null, 2);
        if (stackKiB > 0) {
            struct rlimit limit = {(rlim_t)stackKiB * 1024, (rlim_t)stackKiB * 1024};
            setrlimit(RLIMIT_STACK, &limit);
        }
        if (chdir(dir.c_str()) == 0) execv(argv[0], argv.data());
        _exit(127);
    }
    MeasuredRun run = {-1000, false, 0, ""};
    int status = 0;
    struct rusage usage = {};
    time_t deadline = std::time(nullptr) + limitSeconds;
    for (;;) {
        pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid) break;
        if (std::time(nullptr) > deadline) {
            run.hung = true;
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            break;
        }
        usleep(20 * 1000);
    }
    if (!run.hung && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.peakKiB = usage.ru_maxrss;
    run.output = readBytes(outPath);
    std::remove(outPath.c_str());
    return run;
}
#endif

inline bool hasLineStarting(const std::string& text, const std::string& prefix) {
    for (const std::string& line : lines(text))
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

// Files in dir other than the run's own app.log.
inline std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename() != "app.log") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The run ended in one of the two clear outcomes. pack is the output path the
// run would write; before holds the files in dir before the run and what the
// pack held then ("" when there was none). Returns true for a written pack.
inline bool expectClearOutcome(const MeasuredRun& run, const std::string& dir, const std::string& pack,
                               const std::vector<std::string>& before, const std::string& earlierPack) {
    EXPECT_FALSE(run.hung) << "the run did not end";
    std::string log = readBytes(dir + "/app.log");
    std::vector<std::string> logLines = lines(log);
    EXPECT_TRUE(!logLines.empty() && logLines.back() == "EXIT") << "app.log does not end in EXIT";
    std::vector<std::string> after = filesIn(dir);
    if (run.exitCode == 0) {
        EXPECT_NE(std::string::npos, run.output.find("\nDone!\n")) << run.output;
        std::string bytes = readBytes(pack);
        ensureServices();
        Pack loaded;
        PackError error = {};
        EXPECT_TRUE(loadPack((const unsigned char*)bytes.data(), (int64_t)bytes.size(), loaded, error))
            << "the pack does not load: " << error.field << ": expected " << error.expected
            << ", found " << error.found;
        clearPack(loaded);
        std::vector<std::string> expected = before;
        std::string packName = std::filesystem::path(pack).filename().string();
        if (earlierPack.empty() && std::filesystem::path(pack).parent_path() == dir) {
            expected.push_back(packName);
            std::sort(expected.begin(), expected.end());
        }
        EXPECT_EQ(expected, after) << "files left beside the pack";
        return true;
    }
    EXPECT_EQ(kExitMinusOne, run.exitCode) << "neither success nor exit code -1:\n" << run.output;
    // The one quiet exit (a missing material reference) prints nothing more.
    bool quiet = run.output.find("ERROR: ") == std::string::npos;
    if (!quiet) {
        EXPECT_TRUE(hasLineStarting(run.output, "ERROR: ")) << run.output;
    }
    EXPECT_TRUE(hasLineStarting(log, "ERROR: ")) << "no reason in app.log:\n" << log;
    EXPECT_EQ(before, after) << "the failed run left or removed files";
    std::string now = std::filesystem::is_regular_file(pack) ? readBytes(pack) : "";
    EXPECT_EQ(earlierPack, now) << "the earlier pack changed";
    return false;
}
