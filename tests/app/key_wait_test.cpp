#include <gtest/gtest.h>

#include "app/run_fixture.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

// A private tmux server on a socket inside the scratch directory; killed at
// the end so no session outlives the test.
class KeyWait : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string tmux;

    void SetUp() override {
#if defined(_WIN32)
        GTEST_SKIP() << "drives a terminal through tmux; tools/windows_check.sh checks the console wait";
#endif
        if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
        allowSceneAtExit();  // the tmux server passes the environment on
        tmux = "env -u TMUX tmux -f /dev/null -S '" + (dir / "sock") + "' ";
    }
    void TearDown() override {
        if (!tmux.empty()) std::system((tmux + "kill-server >/dev/null 2>&1").c_str());
    }

    std::string screen() {
        std::string file = dir / "screen";
        std::system((tmux + "capture-pane -p > '" + file + "' 2>/dev/null").c_str());
        return readBytes(file);
    }

    template <typename Condition>
    bool within(double seconds, Condition done) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

    // Runs tarvolt with args on a terminal, stdin from /dev/null so the key
    // must come from the console itself; checks that it waits for exactly one
    // key, does not echo it, exits 0 and leaves the terminal settings as found.
    void runOnTerminal(const std::string& args) {
        writeBytes(dir / "run.sh",
                   "cd '" + dir.path + "'\n"
                   "before=$(stty -g)\n"
                   "'" TARVOLT_BINARY "' " + args + " </dev/null\n"
                   "echo \"exit=$?\" > result.tmp\n"
                   "[ \"$(stty -g)\" = \"$before\" ] && echo restored >> result.tmp\n"
                   "mv result.tmp result\n"
                   "exec sleep 60\n");
        ASSERT_EQ(0, std::system((tmux + "new-session -d -x 100 -y 30 \"sh '" + (dir / "run.sh") +
                                  "'\"").c_str()));
        std::string result = dir / "result";
        ASSERT_TRUE(within(10, [&] { return screen().find("press any key...") != std::string::npos; }))
            << screen();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(std::filesystem::exists(result)) << "did not wait for a key";

        std::system((tmux + "send-keys Z").c_str());
        ASSERT_TRUE(within(10, [&] { return std::filesystem::exists(result); })) << screen();
        EXPECT_EQ("exit=0\nrestored\n", readBytes(result));
        EXPECT_EQ(std::string::npos, screen().find('Z')) << screen();
    }
};

TEST_F(KeyWait, UsageWaitsForOneKeyOnATerminal) { runOnTerminal(""); }

TEST_F(KeyWait, SuccessWaitsForOneKeyOnATerminal) {
    writeBytes(dir / "a.ase", triangleAse());
    runOnTerminal("a.ase");
    EXPECT_TRUE(std::filesystem::exists(dir / "a.qrv"));
}

}  // namespace
