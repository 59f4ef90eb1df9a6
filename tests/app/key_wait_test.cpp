#include "support/scratch_dir.h"
#include <gtest/gtest.h>

// The key wait as a person meets it, on a terminal that tmux drives: "press any key..." shows, the run waits,
// one key ends it with exit code 0 without being echoed, and the terminal settings are as they were.
TEST(KeyWait, OneKeyOnATerminal) {
#if defined(_WIN32)
    GTEST_SKIP() << "drives a terminal through tmux; tools/windows_check.sh checks the console wait";
#else
    if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    ScratchDir dir;
    writeBytes(dir / "a.ase", readBytes(TARVOLT_TEST_DATA "/app/triangle.ase"));
    writeBytes(dir / "run.sh", "s=$(stty -g); ASAN_OPTIONS=detect_leaks=0 '" TARVOLT_BINARY "' a.ase </dev/null\n"
                               "echo \"exit=$?\" >r; [ \"$(stty -g)\" = \"$s\" ] && echo restored >>r\n"
                               "mv r result; exec sleep 60\n");
    writeBytes(dir / "check.sh",  // its exit code names the step that failed
               "cd '" + dir.path + "'\nt() { env -u TMUX tmux -f /dev/null -S sock \"$@\"; }\n"
               "within() { for i in $(seq 100); do eval \"$1\" && return; sleep 0.1; done; return 1; }\n"
               "t new-session -d -x 100 -y 30 'sh run.sh' || exit 1\ntrap 't kill-server' EXIT\n"
               "within 't capture-pane -p | grep -q \"press any key...\"' || exit 2\n"
               "sleep 0.3; [ -e result ] && exit 3\nt send-keys Z; within '[ -e result ]' || exit 4\n"
               "[ \"$(cat result)\" = \"$(printf 'exit=0\\nrestored')\" ] || exit 5\n"
               "t capture-pane -p | grep -q Z && exit 6\n[ -e a.qrv ] || exit 7\n");
    EXPECT_EQ(0, std::system(("sh '" + (dir / "check.sh") + "'").c_str()) >> 8);
#endif
}
