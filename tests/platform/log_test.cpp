#include "platform/log.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include <gtest/gtest.h>

// Each Log of its own, in a scratch directory: a Log writes "app.log" there when it is destroyed.
TEST(Log, MessagesLinesAndLimits) {
    ScratchDir dir;
    InDirectory inDir(dir.path);
    Log* log = new Log;  // two messages make one line; the unfinished last line is not written
    log->print("abc");
    log->print("%s%d\n", "def", 7);
    log->print("tail");
    delete log;
    EXPECT_EQ(native("abcdef7\n"), readBytes("app.log"));
    Log full;  // exactly 65,536 bytes kept; one more byte drops every earlier line and the unfinished one
    for (int i = 0; i < 16; ++i) full.print("%s\n", std::string(4094, 'a').c_str());
    full.print("%s", std::string(16, 'b').c_str());
    EXPECT_TRUE(full.mark().used == 65536 && full.lineTotal() == 16);
    full.print("c\n");
    full.writeFile("out.log");
    EXPECT_EQ(native("c\n"), readBytes("out.log"));
    Log lines;  // the 1025th line grows the table to 2048; a message over 4095 characters is cut
    for (int i = 0; i < 1024; ++i) lines.print("%d\n", i % 10);
    EXPECT_EQ(1024, lines.lineSlots());
    lines.print("%s\n", std::string(5000, 'm').c_str());  // the '\n' falls beyond the cut
    lines.print("\n");
    EXPECT_EQ(2048, lines.lineSlots());
    EXPECT_EQ(std::string(4095, 'm') + "\n", std::string(lines.line(1024), 4096));
}
