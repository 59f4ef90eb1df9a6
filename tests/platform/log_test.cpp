#include <gtest/gtest.h>

#include "platform/log.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

#include <memory>
#include <string>

namespace {

// Each test works on a Log of its own inside a scratch directory, because a
// Log writes "app.log" into the working directory when it is destroyed.
class LogTest : public ::testing::Test {
protected:
    ScratchDir dir;
    InDirectory inDir{dir.path};
    std::unique_ptr<Log> log{new Log};

    std::string written() {
        log->writeFile((dir / "out.log").c_str());
        return readBytes(dir / "out.log");
    }
};

TEST_F(LogTest, MessagesJoinIntoLinesAndTheUnfinishedLineIsNotWritten) {
    log->print("abc");
    log->print("%s%d\n", "def", 7);
    log->print("tail");
    EXPECT_EQ(1, log->lineCount);
    EXPECT_EQ(-4, log->pending);
    EXPECT_EQ(12, log->used);
    EXPECT_EQ(native("abcdef7\n"), written());

    log->print("%s", "");
    EXPECT_EQ(12, log->used);
    EXPECT_EQ(-4, log->pending);

    log->print(" end\n\n");
    EXPECT_EQ(native("abcdef7\ntail end\n\n"), written());
}

TEST_F(LogTest, KeepsExactly64KiBAndWrapsOnTheNextByte) {
    // 16 lines of 4094 characters plus '\n' hold 65,520 bytes; an unfinished
    // line of 16 brings the text to exactly 65,536.
    std::string line(4094, 'a');
    for (int i = 0; i < 16; ++i) log->print("%s\n", line.c_str());
    log->print("%s", std::string(16, 'b').c_str());
    EXPECT_EQ(65536, log->used);
    EXPECT_EQ(16, log->lineCount);
    EXPECT_EQ(-16, log->pending);

    // One byte more drops every earlier line and the unfinished one too.
    log->print("c\n");
    EXPECT_EQ(2, log->used);
    EXPECT_EQ(1, log->lineCount);
    EXPECT_EQ(0, log->pending);
    EXPECT_EQ(native("c\n"), written());
}

TEST_F(LogTest, LineTableGrowsBy1024) {
    EXPECT_EQ(0, log->lineCapacity);
    log->print("first\n");
    EXPECT_EQ(1024, log->lineCapacity);
    for (int i = 1; i < 1024; ++i) log->print("%d\n", i % 10);
    EXPECT_EQ(1024, log->lineCount);
    EXPECT_EQ(1024, log->lineCapacity);
    log->print("x\n");
    EXPECT_EQ(1025, log->lineCount);
    EXPECT_EQ(2048, log->lineCapacity);
    EXPECT_EQ(std::string("x\n"), std::string(log->lines[1024], 2));
}

TEST_F(LogTest, LongMessagesAndLinesAreCutTo4095Characters) {
    log->print("%s\n", std::string(5000, 'm').c_str());
    EXPECT_EQ(4095, log->used);  // the '\n' fell beyond the cut
    EXPECT_EQ(0, log->lineCount);
    log->print("\n");
    EXPECT_EQ(native(std::string(4095, 'm') + "\n"), written());

    // A line built from several messages is cut when it is written.
    log.reset(new Log);
    log->print("%s", std::string(3000, 'p').c_str());
    log->print("%s\n", std::string(3000, 'q').c_str());
    log->print("next\n");
    EXPECT_EQ(native(std::string(3000, 'p') + std::string(1095, 'q') + "\nnext\n"), written());
}

TEST_F(LogTest, UnwritablePathIsIgnored) {
    log->print("kept\n");
    log->writeFile(dir.path.c_str());  // a directory cannot be opened as a file
    EXPECT_EQ(native("kept\n"), written());
}

TEST_F(LogTest, DestructionWritesAppLog) {
    log->print("INIT\nlast");
    log.reset();
    EXPECT_EQ(native("INIT\n"), readBytes(dir / "app.log"));
}

}  // namespace
