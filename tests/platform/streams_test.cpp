#include "platform/filesystem.h"
#include "platform/log.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include <gtest/gtest.h>

TEST(Streams, ReadWriteAndWhatCannotBeRead) {
    ensureServices();
    ScratchDir dir;
    const std::string empty = dir / "empty", five = dir / "five", huge = dir / "huge";
    EXPECT_TRUE(!gFileSystem->openRead((dir / "missing").c_str()) && !gFileSystem->openRead(dir.path.c_str()));
    writeBytes(empty, "");
    char buffer[4] = {};
    Stream* s = gFileSystem->openRead(empty.c_str());
    EXPECT_TRUE(s && s->size() == 0 && s->read(buffer, 1) == 0);
    delete s;
    writeBytes(five, "old content");
    for (int append : {0, 1}) {  // truncates, then appends
        Stream* w = gFileSystem->openWrite(five.c_str(), append);
        EXPECT_TRUE(w && w->write(append ? "lo" : "hel", 3 - append) == 1 && w->size() == -1);
        delete w;
    }
    s = gFileSystem->openRead(five.c_str());
    ASSERT_TRUE(s && s->size() == 5 && s->skip(2) == 1);
    EXPECT_TRUE(s->read(buffer, 4) == 0 && s->seek(1) == 1 && s->read(buffer, 4) == 1 && !memcmp(buffer, "ello", 4));
    delete s;
    std::error_code error;
    writeBytes(huge, "");
    std::filesystem::resize_file(huge, 2147483648ull, error);  // sparse 2 GiB: too large
    if (error) GTEST_SKIP() << "no sparse 2 GiB file here: " << error.message();
    EXPECT_EQ(nullptr, gFileSystem->openRead(huge.c_str()));
    std::filesystem::resize_file(huge, 2147483647ull, error);  // one byte less fits
    EXPECT_EQ(INT32_MAX, gFileSystem->fileSize(huge.c_str()));
}

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
    EXPECT_TRUE(lines.lineSlots() == 2048 && std::string(lines.line(1024), 4096) == std::string(4095, 'm') + "\n");
}
